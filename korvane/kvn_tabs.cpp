#include "kvn_tabs.hpp"

#include "g_wiz_sh.hpp"
#include "kvn_conv.hpp"
#include "tk_log.hpp"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// Longest texts the dialog reads from its boxes.
constexpr int max_name = 2048;
constexpr int max_query = 10000;

QString to_q(const std::u16string& s) { return QString::fromStdU16String(s); }
std::u16string to_u16(const QString& s) { return s.toStdU16String(); }

bool is_blank(QChar c) {
    return c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QLatin1Char(' ');
}

// Row of `name` in `list`, compared ignoring case; -1 when absent.
int find_name(const QListWidget* list, const QString& name) {
    for (int row = 0; row < list->count(); ++row)
        if (list->item(row)->text().compare(name, Qt::CaseInsensitive) == 0) return row;
    return -1;
}

} // namespace

bool korvane_name_less::operator()(const QString& a, const QString& b) const {
    const int folded = a.compare(b, Qt::CaseInsensitive);
    // Names equal but for case still get one fixed order.
    return folded != 0 ? folded < 0 : a < b;
}

int korvane_insert_sorted(QListWidget* list, const QString& name) {
    int row = 0;
    while (row < list->count() && !korvane_name_less()(name, list->item(row)->text())) ++row;
    list->insertItem(row, name);
    return row;
}

bool korvane_select_test(const QString& text, QString& kept) {
    kept.clear();
    if (text.isEmpty()) return true;
    qsizetype start = 0;
    while (start < text.size() && is_blank(text[start])) ++start;
    kept = text.mid(start);
    return kept.size() >= 6 && kept.left(6).compare(QLatin1String("SELECT"), Qt::CaseInsensitive) == 0;
}

// ---------------------------------------------------------------------------------------------
// Query dialog

set_query_dlg::set_query_dlg(wizard_shell& shell, korvane_convertor& converter, const QString& name,
                             const QString& text)
    : QDialog(&shell), shell_(shell), converter_(converter) {
    tk_trace(1, "set_query_dlg::set_query_dlg");
    setWindowTitle(QStringLiteral("Add Query"));
    auto* layout = new QGridLayout(this);
    name_box_ = new QLineEdit(name, this);
    name_box_->setMaxLength(max_name);
    query_box_ = new QPlainTextEdit(text, this);
    auto* name_label = new QLabel(QStringLiteral("Store as Table:"), this);
    name_label->setBuddy(name_box_);
    auto* query_label = new QLabel(QStringLiteral("Query:"), this);
    query_label->setBuddy(query_box_);
    layout->addWidget(name_label, 0, 0);
    layout->addWidget(name_box_, 0, 1);
    layout->addWidget(query_label, 1, 0, Qt::AlignTop);
    layout->addWidget(query_box_, 1, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Help, this);
    test_ = buttons->addButton(QStringLiteral("Test Query"), QDialogButtonBox::ActionRole);
    layout->addWidget(buttons, 2, 0, 1, 2);
    connect(buttons, &QDialogButtonBox::accepted, this, &set_query_dlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons, &QDialogButtonBox::helpRequested, this, [&shell] { shell.display_help(help_topic_query); });
    connect(test_, &QPushButton::clicked, this, &set_query_dlg::on_test_query);
    tk_trace(1, "set_query_dlg::on_init");
    resize(560, 320);
}

QString set_query_dlg::query_text() const { return query_box_->toPlainText().left(max_query); }

void set_query_dlg::on_test_query() {
    QString kept;
    if (!korvane_select_test(query_text(), kept)) {
        shell_.error(QStringLiteral("The query must start with SELECT."));
        return;
    }
    const std::u16string statement = to_u16(kept);
    if (shell_.run_long([&] { return converter_.test_query(statement); }))
        shell_.message(QStringLiteral("The query is correct."));
    else
        shell_.error(QStringLiteral("You have an error in your query syntax. Make sure that it is a correct SQL "
                                    "SELECT-statement. Contact support@velquor.example if the error persists."));
}

void set_query_dlg::accept() {
    tk_trace(1, "set_query_dlg::on_ok");
    const QString name = name_box_->text().left(max_name);
    QString kept;
    if (name.isEmpty()) {
        shell_.message(QStringLiteral("Table name is empty!"));
        return;
    }
    if (!korvane_select_test(query_text(), kept)) {
        shell_.error(QStringLiteral("The query must start with SELECT."));
        return;
    }
    if (kept.isEmpty()) {
        shell_.error(QStringLiteral("Query is empty!"));
        return;
    }
    name_ = name;
    query_ = kept;
    QDialog::accept();
}

// ---------------------------------------------------------------------------------------------
// Step 4

sel_tables_page::sel_tables_page(wizard_shell& shell, korvane_convertor& converter)
    : wizard_page(shell, help_topic_base + page_tables, QStringLiteral("Step 4 of 5"),
                  QStringLiteral("Select tables to convert")),
      converter_(converter) {
    auto* layout = new QGridLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Select DB2 tables to convert into MySQL format."), this), 0, 0, 1, 3);
    available_ = new QListWidget(this);
    selected_ = new QListWidget(this);
    auto* available_label = new QLabel(QStringLiteral("&Available tables:"), this);
    available_label->setBuddy(available_);
    auto* selected_label = new QLabel(QStringLiteral("&Selected tables:"), this);
    selected_label->setBuddy(selected_);
    layout->addWidget(available_label, 1, 0);
    layout->addWidget(selected_label, 1, 2);
    layout->addWidget(available_, 2, 0);
    layout->addWidget(selected_, 2, 2);

    auto* buttons = new QVBoxLayout;
    const auto add_button = [&](const char* text, void (sel_tables_page::*slot)()) {
        auto* b = new QPushButton(QString::fromLatin1(text), this);
        connect(b, &QPushButton::clicked, this, slot);
        buttons->addWidget(b);
    };
    buttons->addStretch();
    add_button("A&dd >", &sel_tables_page::on_add);
    add_button("Add a&ll >", &sel_tables_page::on_add_all);
    add_button("< &Remove", &sel_tables_page::on_delete);
    add_button("< Re&move all", &sel_tables_page::on_del_all);
    buttons->addSpacing(16);
    add_button("&Add Query", &sel_tables_page::on_add_query);
    buttons->addStretch();
    layout->addLayout(buttons, 2, 1);

    load_error_ = korvane_error_label(this);
    layout->addWidget(load_error_, 3, 0, 1, 3);

    connect(available_, &QListWidget::itemDoubleClicked, this, &sel_tables_page::on_add);
    connect(selected_, &QListWidget::itemDoubleClicked, this, &sel_tables_page::on_edit_query);
}

int sel_tables_page::nextId() const {
    // The run's own page follows when the program has one; the finish page otherwise.
    return wizard()->page(page_progress) ? page_progress : page_finish;
}

void sel_tables_page::page_init() {
    tk_trace(1, "sel_tables_page::page_init");
    do_page_init();
}

void sel_tables_page::do_page_init() {
    tk_trace(1, "sel_tables_page::do_page_init");
    available_->clear();
    selected_->clear();
    selected_queries_.clear();
    // An empty list would look like a schema without tables, and converting "nothing selected"
    // converts every table.
    const auto tables = korvane_list_names(shell(), load_error_, "The tables of the schema",
                                           [this] { return converter_.get_all_tables(); });
    loaded_ = tables.has_value();
    if (!loaded_) return;
    for (const std::u16string& table : *tables) korvane_insert_sorted(available_, to_q(table));
    if (available_->count() > 0) available_->setCurrentRow(0);

    for (const auto& [key, text] : converter_.selected_items()) {
        const QString name = to_q(key);
        if (text.empty()) {
            for (int row = 0; row < available_->count(); ++row) {
                if (available_->item(row)->text() == name) {
                    delete available_->takeItem(row);
                    korvane_insert_sorted(selected_, name);
                    break;
                }
            }
        } else if (!listed(name)) {
            korvane_insert_sorted(selected_, name);
            selected_queries_[name] = to_q(text);
        }
    }
    available_queries_.clear();
    for (const auto& [key, text] : converter_.available_queries()) {
        const QString name = to_q(key);
        available_queries_[name] = to_q(text);
        if (!text.empty() && find_name(available_, name) < 0) korvane_insert_sorted(available_, name);
    }
}

bool sel_tables_page::listed(const QString& name) const {
    return find_name(available_, name) >= 0 || find_name(selected_, name) >= 0;
}

bool sel_tables_page::move_current(QListWidget* from, QListWidget* to, korvane_query_map& from_queries,
                                   korvane_query_map& to_queries) {
    const int row = from->currentRow();
    if (row < 0) return false;
    QListWidgetItem* item = from->takeItem(row);
    const QString name = item->text();
    delete item;
    to->setCurrentRow(korvane_insert_sorted(to, name));
    if (auto it = from_queries.find(name); it != from_queries.end()) {
        to_queries[name] = it->second;
        from_queries.erase(it);
    }
    return true;
}

void sel_tables_page::reselect(QListWidget* list, int row, QListWidget* other) {
    if (list->count() == 0) {
        other->setFocus();
        if (other->count() > 0) other->setCurrentRow(0);
        return;
    }
    list->setCurrentRow(std::min(row, list->count() - 1));
}

void sel_tables_page::move_one(QListWidget* from, QListWidget* to, korvane_query_map& from_queries,
                               korvane_query_map& to_queries) {
    const int row = from->currentRow();
    if (move_current(from, to, from_queries, to_queries)) reselect(from, row, to);
}

void sel_tables_page::move_all(QListWidget* from, QListWidget* to, korvane_query_map& from_queries,
                               korvane_query_map& to_queries) {
    while (from->count() > 0) {
        from->setCurrentRow(0);
        move_current(from, to, from_queries, to_queries);
    }
    reselect(from, 0, to);
}

void sel_tables_page::on_add() {
    tk_trace(1, "sel_tables_page::on_add");
    move_one(available_, selected_, available_queries_, selected_queries_);
}

void sel_tables_page::on_add_all() {
    tk_trace(1, "sel_tables_page::on_add_all");
    move_all(available_, selected_, available_queries_, selected_queries_);
}

void sel_tables_page::on_delete() {
    tk_trace(1, "sel_tables_page::on_delete");
    move_one(selected_, available_, selected_queries_, available_queries_);
}

void sel_tables_page::on_del_all() {
    tk_trace(1, "sel_tables_page::on_del_all");
    move_all(selected_, available_, selected_queries_, available_queries_);
}

void sel_tables_page::on_add_query() {
    tk_trace(1, "sel_tables_page::on_add_query");
    QString name, text;
    for (;;) {
        set_query_dlg dialog(shell(), converter_, name, text);
        if (dialog.exec() != QDialog::Accepted) return;
        name = dialog.name();
        text = dialog.query();
        if (!listed(name)) break;
        shell().message(QStringLiteral("Duplicate table name. Try again."));
    }
    selected_->setCurrentRow(korvane_insert_sorted(selected_, name));
    selected_queries_[name] = text;
}

void sel_tables_page::on_edit_query() {
    tk_trace(1, "sel_tables_page::on_edit_query");
    QListWidgetItem* item = selected_->currentItem();
    if (!item) return;
    const auto it = selected_queries_.find(item->text());
    if (it == selected_queries_.end()) return;
    set_query_dlg dialog(shell(), converter_, it->first, it->second);
    if (dialog.exec() != QDialog::Accepted) return;
    selected_queries_.erase(it);
    selected_queries_[dialog.name()] = dialog.query();
    delete selected_->takeItem(selected_->row(item));
    selected_->setCurrentRow(korvane_insert_sorted(selected_, dialog.name()));
}

bool sel_tables_page::on_next() {
    tk_trace(1, "sel_tables_page::on_next");
    if (!loaded_) {
        shell().error(load_error_->text());
        return false;
    }
    if (available_->count() > 0 && selected_->count() == 0 &&
        !shell().question(QStringLiteral("There are no tables selected. Continue anyway?"), false))
        return false;
    std::vector<std::u16string> tables;
    for (int row = 0; row < selected_->count(); ++row) {
        const QString name = selected_->item(row)->text();
        if (!selected_queries_.count(name)) tables.push_back(to_u16(name));
    }
    converter_.table_list() = std::move(tables);
    udb_query_map& items = converter_.selected_items();
    items.clear();
    for (const auto& [name, text] : selected_queries_) items[to_u16(name)] = to_u16(text);
    udb_query_map& offered = converter_.available_queries();
    offered.clear();
    for (const auto& [name, text] : available_queries_) offered[to_u16(name)] = to_u16(text);
    return true;
}
