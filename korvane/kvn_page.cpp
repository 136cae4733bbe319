#include "kvn_page.hpp"

#include "g_wiz_sh.hpp"
#include "kvn_conv.hpp"
#include "tk_excp.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"
#include "udb_prof.hpp"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <cerrno>
#include <unistd.h>

namespace {

// Longest text the DB2 fields and the destination box take.
constexpr int max_field = 259;
// The server versions a dump is written for: 4.1.0 and 3.20.1.
constexpr std::uint32_t new_server_version = 262400;
constexpr std::uint32_t old_server_version = 201729;

QString to_q(const std::u16string& s) { return QString::fromStdU16String(s); }
std::u16string to_u16(const QString& s) { return s.toStdU16String(); }
// Narrow settings are in the process code page, as the console agent's command line gives them.
QString narrow_to_q(const std::string& s) { return QString::fromLocal8Bit(s); }
std::string to_narrow(const QString& s) { return s.toLocal8Bit().toStdString(); }

QLineEdit* edit_field(QWidget* parent, bool masked = false) {
    auto* edit = new QLineEdit(parent);
    edit->setMaxLength(max_field);
    if (masked) edit->setEchoMode(QLineEdit::Password);
    return edit;
}

QLabel* buddy_label(const QString& text, QWidget* buddy, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setBuddy(buddy);
    return label;
}

QString profile_filter() {
    return QStringLiteral("Profile Files (*.%1);;All Files (*)").arg(QLatin1String(profile_extension));
}

} // namespace

bool korvane_load_profile(korvane_convertor& converter, const QString& path) {
    const auto fail = [&](const QString& why) {
        const QString text = QStringLiteral("Cannot load the profile file '%1': %2").arg(path, why);
        if (wizard_shell* shell = wizard_shell::current())
            shell->error(text);
        else
            QMessageBox::critical(nullptr, wizard_shell::caption("Error"), text);
        return false;
    };
    udb_profile profile;
    try {
        if (!profile.load(to_u16(path))) return fail(QStringLiteral("it cannot be read."));
        if (!converter.load_profile(profile)) return fail(QStringLiteral("a setting is not valid."));
    } catch (const std::exception& e) {
        return fail(QString::fromLocal8Bit(e.what()));
    }
    return true;
}

QLabel* korvane_error_label(QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setWordWrap(true);
    label->setStyleSheet(QStringLiteral("color: #b00020"));
    label->hide();
    return label;
}

std::optional<std::vector<std::u16string>> korvane_list_names(wizard_shell& shell, QLabel* error_label,
                                                              const char* what,
                                                              const std::function<std::vector<std::u16string>()>& list) {
    error_label->hide();
    try {
        return shell.run_long(list);
    } catch (const std::exception& e) {
        const QString text =
            QStringLiteral("%1 could not be listed: %2").arg(QLatin1String(what), QString::fromLocal8Bit(e.what()));
        error_label->setText(text);
        error_label->show();
        shell.error(text);
        return std::nullopt;
    }
}

QString korvane_destination_text(const QString& text, bool direct) {
    const qsizetype name_start = std::max(text.lastIndexOf(QLatin1Char('/')), text.lastIndexOf(QLatin1Char('\\'))) + 1;
    qsizetype dot = text.lastIndexOf(QLatin1Char('.'));
    // A dot inside a folder name, or the leading dot of a hidden file, starts no extension.
    if (dot <= name_start) dot = -1;
    if (direct) return text.mid(name_start, dot < 0 ? -1 : dot - name_start);
    return (dot < 0 ? text : text.left(dot)) + QStringLiteral(".sql");
}

// ---------------------------------------------------------------------------------------------
// Welcome

welcome_page::welcome_page(wizard_shell& shell, korvane_convertor& converter)
    : wizard_page(shell, help_topic_base + page_welcome), converter_(converter) {
    auto* layout = new QVBoxLayout(this);
    auto* heading = new QLabel(QStringLiteral("Welcome to the Database\nConversion Wizard\n"), this);
    QFont big(QStringLiteral("Verdana"));
    big.setPointSize(16);
    big.setBold(true);
    heading->setFont(big);
    layout->addWidget(heading);
    for (const char* line : {"This wizard helps you convert DB2 database into", "MySQL format. Click 'Next' to continue.",
                             "", "WARNING: conversion productivity strongly depends",
                             "on amount of available memory. It is recommended that",
                             "you exit all programs before continue with the wizard."})
        layout->addWidget(new QLabel(QString::fromLatin1(line), this));
    layout->addSpacing(12);
    layout->addWidget(new QLabel(QStringLiteral("Select conversion scenario:"), this));
    direct_ = new QRadioButton(QStringLiteral("&Move to MySQL server directly"), this);
    dump_ = new QRadioButton(QStringLiteral("&Store into dump file"), this);
    layout->addWidget(direct_);
    layout->addWidget(dump_);
    layout->addStretch();
    load_ = new QPushButton(QStringLiteral("&Load Settings"), this);
    layout->addWidget(load_, 0, Qt::AlignLeft);
    connect(load_, &QPushButton::clicked, this, &welcome_page::on_load);
}

void welcome_page::page_init() {
    tk_trace(1, "welcome_page::page_init");
    (converter_.direct_mode() ? direct_ : dump_)->setChecked(true);
}

bool welcome_page::on_next() {
    converter_.set_direct_mode(direct_->isChecked());
    tk_trace(1, "settind direct_mode to %d", converter_.direct_mode() ? 1 : 0);
    return true;
}

void welcome_page::on_load() {
    const QString path = shell().asker().choose_file(this, false, QStringLiteral("Select Profile File"),
                                                     profile_filter(), QLatin1String(profile_extension), {});
    if (path.isEmpty()) return;
    if (korvane_load_profile(converter_, path)) page_init();
}

// ---------------------------------------------------------------------------------------------
// Step 1: DB2

db2_settings_page2::db2_settings_page2(wizard_shell& shell, korvane_convertor& converter)
    : wizard_page(shell, help_topic_base + page_db2, QStringLiteral("Step 1 of 5"),
                  QStringLiteral("Connect to DB2 Server")),
      converter_(converter) {
    auto* layout = new QFormLayout(this);
    database_ = edit_field(this);
    user_ = edit_field(this);
    password_ = edit_field(this, true);
    layout->addRow(buddy_label(QStringLiteral("&Database:"), database_, this), database_);
    layout->addRow(buddy_label(QStringLiteral("&Username:"), user_, this), user_);
    layout->addRow(buddy_label(QStringLiteral("&Password:"), password_, this), password_);
}

int db2_settings_page2::nextId() const { return converter_.direct_mode() ? page_mysql : page_dump; }

void db2_settings_page2::page_init() {
    tk_trace(1, "db2_settings_page2::page_init");
    database_->setText(to_q(converter_.source_name()));
    user_->setText(to_q(converter_.db2().user()));
    password_->setText(to_q(converter_.db2().password()));
}

void db2_settings_page2::store_settings() {
    tk_trace(1, "db2_settings_page2::store_settings");
    converter_.db2().set_connection_settings(to_u16(database_->text()), to_u16(user_->text()),
                                             to_u16(password_->text()));
}

bool db2_settings_page2::on_next() {
    tk_trace(1, "db2_settings_page2::on_next");
    store_settings();
    const std::u16string source = converter_.source_name();
    shell().run_long([&] { converter_.db2().connect_db2_server(source); });
    return true;
}

// ---------------------------------------------------------------------------------------------
// Step 2: MySQL server

sql_settings_page2::sql_settings_page2(wizard_shell& shell, korvane_convertor& converter)
    : wizard_page(shell, help_topic_base + page_mysql, QStringLiteral("Step 2 of 5"),
                  QStringLiteral("Connect to MySQL Server")),
      converter_(converter) {
    auto* layout = new QVBoxLayout(this);

    auto* access = new QGroupBox(QStringLiteral(" Access mode "), this);
    auto* access_layout = new QHBoxLayout(access);
    local_ = new QRadioButton(QStringLiteral("&Local"), access);
    remote_ = new QRadioButton(QStringLiteral("&Remote"), access);
    access_layout->addWidget(local_);
    access_layout->addWidget(remote_);
    layout->addWidget(access);

    auto* auth = new QGroupBox(QStringLiteral(" Authorization settings "), this);
    auto* auth_layout = new QFormLayout(auth);
    user_ = edit_field(auth);
    password_ = edit_field(auth, true);
    auth_layout->addRow(buddy_label(QStringLiteral("&User name:"), user_, auth), user_);
    auth_layout->addRow(buddy_label(QStringLiteral("User pa&ssword:"), password_, auth), password_);
    layout->addWidget(auth);

    auto* remote = new QGroupBox(QStringLiteral(" Remote settings "), this);
    auto* remote_layout = new QGridLayout(remote);
    host_ = edit_field(remote);
    port_ = edit_field(remote);
    host_->setProperty("ctrl_id", 1);
    port_->setProperty("ctrl_id", 2);
    remote_layout->addWidget(buddy_label(QStringLiteral("H&ost:"), host_, remote), 0, 0);
    remote_layout->addWidget(host_, 0, 1);
    remote_layout->addWidget(new QLabel(QStringLiteral("(it could be network name or IP address)"), remote), 0, 2);
    remote_layout->addWidget(buddy_label(QStringLiteral("&Port number:"), port_, remote), 1, 0);
    remote_layout->addWidget(port_, 1, 1);
    remote_layout->addWidget(new QLabel(QStringLiteral("(default MySQL port is 3306)"), remote), 1, 2);
    layout->addWidget(remote);
    layout->addStretch();

    connect(local_, &QRadioButton::toggled, this, &sql_settings_page2::on_access_mode);
}

void sql_settings_page2::page_init() {
    tk_trace(1, "sql_settings_page2::page_init");
    tk_trace(1, "Step #1");
    const mysql_converter_impl& mysql = converter_.mysql();
    user_->setText(narrow_to_q(mysql.user()));
    password_->setText(narrow_to_q(mysql.password()));
    if (mysql.host().empty()) {
        tk_trace(1, "Step #2.2");
        local_->setChecked(true);
    } else {
        tk_trace(1, "Step #2.1");
        remote_->setChecked(true);
        host_->setText(narrow_to_q(mysql.host()));
        port_->setText(narrow_to_q(mysql.port()));
    }
    on_access_mode();
}

void sql_settings_page2::on_access_mode() {
    const bool remote = remote_->isChecked();
    // Port first, so that the host box ends up with the focus.
    enable_ctrl(port_, remote);
    enable_ctrl(host_, remote);
}

void sql_settings_page2::store_settings() {
    tk_trace(1, "sql_settings_page2::store_settings");
    std::string host, port = "3306";
    if (remote_->isChecked()) {
        host = to_narrow(host_->text());
        port = to_narrow(port_->text());
    }
    converter_.mysql().store_mysql_settings(host, to_narrow(user_->text()), to_narrow(password_->text()), port);
}

bool sql_settings_page2::on_next() {
    tk_trace(1, "sql_settings_page2::on_next");
    store_settings();
    shell().run_long([&] { converter_.mysql().connect_mysql_server(); });
    return true;
}

// ---------------------------------------------------------------------------------------------
// Step 2: dump file

sql_dump_page::sql_dump_page(wizard_shell& shell, korvane_convertor& converter)
    : wizard_page(shell, help_topic_base + page_dump, QStringLiteral("Step 2 of 5"),
                  QStringLiteral("MySQL dump file settings")),
      converter_(converter) {
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("On this page you can specify how to format output MySQL dump file."), this));

    auto* version = new QGroupBox(QStringLiteral(" MySQL server version: "), this);
    auto* version_layout = new QVBoxLayout(version);
    new_version_ = new QRadioButton(QStringLiteral("n&ew (4.1 or higher)"), version);
    old_version_ = new QRadioButton(QStringLiteral("&old (before 4.1)"), version);
    version_layout->addWidget(new_version_);
    version_layout->addWidget(old_version_);

    auto* breaks = new QGroupBox(QStringLiteral(" Line breaks: "), this);
    auto* breaks_layout = new QVBoxLayout(breaks);
    windows_ = new QRadioButton(QStringLiteral("MS &Windows style (\\r\\n)"), breaks);
    unix_ = new QRadioButton(QStringLiteral("Uni&x style (\\n)"), breaks);
    breaks_layout->addWidget(windows_);
    breaks_layout->addWidget(unix_);

    auto* groups = new QHBoxLayout;
    groups->addWidget(version);
    groups->addWidget(breaks);
    layout->addLayout(groups);

    lock_ = new QCheckBox(QStringLiteral("&Add lock for write around 'INSERT' statements"), this);
    create_database_ = new QCheckBox(QStringLiteral("Insert 'CREATE &DATABASE' statement"), this);
    create_tables_ = new QCheckBox(QStringLiteral("Insert 'CREATE &TABLE' statements"), this);
    comments_ = new QCheckBox(QStringLiteral("Insert &comments"), this);
    for (QCheckBox* box : {lock_, create_database_, create_tables_, comments_}) layout->addWidget(box);
    layout->addStretch();
}

void sql_dump_page::page_init() {
    tk_trace(1, "sql_dump_page<t_converter>::page_init");
    const dmp_options& dump = converter_.mysql().dump_options();
    (dump.b_new_version ? new_version_ : old_version_)->setChecked(true);
    (dump.line_break == 0 ? windows_ : unix_)->setChecked(true);
    lock_->setChecked(dump.b_lock_for_write);
    create_database_->setChecked(dump.b_create_database);
    create_tables_->setChecked(dump.b_create_table);
    comments_->setChecked(dump.b_comments);
    create_database_->setEnabled(dump.b_create_table);
}

void sql_dump_page::store_settings() {
    dmp_options& dump = converter_.mysql().dump_options();
    dump.b_lock_for_write = lock_->isChecked();
    dump.b_create_database = create_database_->isChecked();
    dump.b_create_table = create_tables_->isChecked();
    dump.b_comments = comments_->isChecked();
    dump.b_new_version = new_version_->isChecked();
    converter_.mysql().engine().set_server_version(dump.b_new_version ? new_server_version : old_server_version);
    dump.line_break = windows_->isChecked() ? 0 : 1;
}

bool sql_dump_page::on_next() {
    store_settings();
    return true;
}

// ---------------------------------------------------------------------------------------------
// Step 3: schema and destination

sel_database_page::sel_database_page(wizard_shell& shell, korvane_convertor& converter)
    : wizard_page(shell, help_topic_base + page_database, QStringLiteral("Step 3 of 5"),
                  QStringLiteral("Select databases")),
      converter_(converter) {
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(
        QStringLiteral("Enter source and destination database names. Customize the conversion process."), this));
    schemas_ = new QListWidget(this);
    layout->addWidget(buddy_label(QStringLiteral("&DB2 schema name:"), schemas_, this));
    layout->addWidget(schemas_, 1);
    load_error_ = korvane_error_label(this);
    layout->addWidget(load_error_);

    auto* settings = new QGroupBox(QStringLiteral(" Conversion settings: "), this);
    auto* settings_layout = new QVBoxLayout(settings);
    definitions_only_ = new QCheckBox(QStringLiteral("&Convert table definitions only"), settings);
    skip_indexes_ = new QCheckBox(QStringLiteral("S&kip converting indexes"), settings);
    settings_layout->addWidget(definitions_only_);
    settings_layout->addWidget(skip_indexes_);
    jobs_ = new QSpinBox(settings);
    jobs_->setRange(1, korvane_convertor::max_jobs);
    auto* jobs_row = new QHBoxLayout;
    jobs_row->addWidget(buddy_label(QStringLiteral("Parallel &jobs:"), jobs_, settings));
    jobs_row->addWidget(jobs_);
    jobs_row->addStretch(1);
    settings_layout->addLayout(jobs_row);
    layout->addWidget(settings);

    destination_ = edit_field(this);
    destination_label_ = buddy_label(QString(), destination_, this);
    browse_ = new QPushButton(QStringLiteral("Browse..."), this);
    browse_->setProperty("ctrl_id", 3);
    auto* dest_row = new QHBoxLayout;
    dest_row->addWidget(destination_, 1);
    dest_row->addWidget(browse_);
    layout->addWidget(destination_label_);
    layout->addLayout(dest_row);

    connect(schemas_, &QListWidget::itemSelectionChanged, this, &sel_database_page::on_schema_selected);
    connect(browse_, &QPushButton::clicked, this, &sel_database_page::on_browse);
}

void sel_database_page::page_init() {
    tk_trace(1, "sel_database_page::page_init");
    const bool direct = converter_.direct_mode();
    definitions_only_->setChecked(converter_.definitions_only());
    skip_indexes_->setChecked(converter_.skip_indexes());
    jobs_->setValue(converter_.jobs());
    destination_label_->setText(direct ? QStringLiteral("My&SQL destination database name:")
                                       : QStringLiteral("&Destination dump file path:"));
    show_ctrl(browse_, !direct);

    filling_ = true;
    schemas_->clear();
    // An empty list would look like a database without schemas.
    const auto names = korvane_list_names(shell(), load_error_, "The DB2 schemas",
                                          [this] { return converter_.get_db2_schemas(); });
    if (!names) {
        filling_ = false;
        return;
    }
    for (const std::u16string& name : *names) schemas_->addItem(to_q(name));

    const QString stored = to_q(converter_.db2().schema());
    const QString stored_dest = to_q(converter_.destination());
    bool found = false;
    if (!stored.isEmpty()) {
        for (int row = 0; row < schemas_->count() && !found; ++row) {
            if (schemas_->item(row)->text().startsWith(stored, Qt::CaseInsensitive)) {
                schemas_->setCurrentRow(row);
                found = true;
            }
        }
        if (!found && schemas_->count() > 0) schemas_->setCurrentRow(0);
    }
    if (found || (stored.isEmpty() && !stored_dest.isEmpty())) {
        const QString source = stored_dest.isEmpty() ? schemas_->currentItem()->text() : stored_dest;
        destination_->setText(korvane_destination_text(source, direct));
    }
    filling_ = false;
}

void sel_database_page::on_schema_selected() {
    if (filling_ || schemas_->selectedItems().isEmpty()) return;
    destination_->setText(schemas_->selectedItems().front()->text());
    // The tables of another schema replace the cached list.
    converter_.table_list().clear();
}

void sel_database_page::on_browse() {
    const QString path = shell().asker().choose_file(
        this, true, QStringLiteral("Select destination MySQL dump file"),
        QStringLiteral("MySQL Dump Files (*.sql);;All Files (*)"), QStringLiteral("sql"), destination_->text());
    if (!path.isEmpty()) destination_->setText(path);
}

bool sel_database_page::on_next() {
    tk_trace(1, "sel_database_page::on_next");
    converter_.set_definitions_only(definitions_only_->isChecked());
    converter_.set_skip_indexes(skip_indexes_->isChecked());
    converter_.set_jobs(jobs_->value());
    const QList<QListWidgetItem*> chosen = schemas_->selectedItems();
    const bool selected = !chosen.isEmpty();
    // Kept as the catalogue spells it: a delimited lower-case schema must not be upper-cased.
    if (selected) converter_.db2().schema() = to_u16(chosen.front()->text());
    const std::u16string dest = to_u16(destination_->text().left(max_field));
    converter_.set_destination(dest);
    const bool direct = converter_.direct_mode();

    if (!selected) {
        shell().error(QStringLiteral("You should select DB2 schema"));
        return false;
    }
    if (dest.empty()) {
        shell().error(direct ? QStringLiteral("You should enter MySQL database name")
                             : QStringLiteral("You should enter MySQL dump file name"));
        return false;
    }
    return direct ? check_direct(dest) : check_dump(dest);
}

bool sel_database_page::check_direct(const std::u16string& name) {
    mysql_converter_impl& mysql = converter_.mysql();
    mysql.check_mysql_db_name(name);
    if (!shell().run_long([&] { return mysql.is_mysql_base_exist(name); })) {
        tk_trace(1, "Creating new MySQL DB...");
        return true;
    }
    tk_trace(1, "MySQL DB exists...");
    overwrite_dlg2 dialog(shell(), QStringLiteral("The destination database already exists. Select one of the\n"
                                                  "options below. Click 'Help' button for more information."));
    const std::optional<int> mode = dialog.choose();
    if (!mode) return false;
    if (*mode == udb_mode_overwrite_database) shell().run_long([&] { mysql.del_mysql_base(name); });
    converter_.set_mode(*mode);
    return true;
}

bool sel_database_page::check_dump(const std::u16string& path) {
    common_check_dest(path);
    if (!tk_is_file_exist(path, tk_file_readable)) return true;
    if (!shell().question(QStringLiteral("Destination file already exists. Overwrite?"), false)) return false;
    const std::string file = tk_to_ansi(path);
    if (::unlink(file.c_str()) != 0) throw tk_exception_ex(tk_level_run);
    return true;
}

// ---------------------------------------------------------------------------------------------
// Overwrite dialog

overwrite_dlg2::overwrite_dlg2(wizard_shell& shell, const QString& text) : QDialog(&shell) {
    tk_trace(1, "overwrite_dlg2::ctor");
    setWindowTitle(wizard_shell::caption("Warning"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(text, this));
    const char* labels[4] = {"&Overwrite the entire database", "Overwrite existing &tables only",
                             "&Skip existing tables", "&Merge"};
    for (int mode = 0; mode < 4; ++mode) {
        modes_[mode] = new QRadioButton(QString::fromLatin1(labels[mode]), this);
        layout->addWidget(modes_[mode]);
    }
    modes_[0]->setChecked(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Help, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons, &QDialogButtonBox::helpRequested, this, [&shell] { shell.display_help(help_topic_overwrite); });
}

std::optional<int> overwrite_dlg2::choose() {
    tk_trace(1, "overwrite_dlg2::on_init");
    QApplication::beep();
    if (exec() != QDialog::Accepted) return std::nullopt;
    for (int mode = 0; mode < 4; ++mode)
        if (modes_[mode]->isChecked()) return mode;
    return std::nullopt;
}
