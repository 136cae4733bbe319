// Walks the wizard offscreen over the stand-in's SHOP sample and writes a PNG of every page,
// dialog and kind of message box into the folder given as the only argument. For reviewers
// without a display; scripts/wizard-screenshots.sh builds and runs it.
//
// Needs DB2_CLI_LIBRARY and DB2STANDIN_HOME pointing at a stand-in home that holds SHOPDB.

#include "g_finish.hpp"
#include "kvn_conv.hpp"
#include "kvn_page.hpp"
#include "kvn_shel.hpp"
#include "kvn_tabs.hpp"
#include "udb_errh.hpp"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>

#include <clocale>
#include <cstdio>
#include <cstdlib>

namespace {

QString folder;
int shot_number = 0;

void save(QWidget& w, const char* name) {
    QCoreApplication::processEvents();
    const QString path = QStringLiteral("%1/%2-%3.png").arg(folder).arg(++shot_number, 2, 10, QLatin1Char('0')).arg(QLatin1String(name));
    if (!w.grab().save(path)) std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
}

// Shows each message box long enough to photograph it, then answers as scripted.
class photographing_asker : public wizard_asker {
public:
    bool message_box(QWidget* parent, icon kind, const QString& caption, const QString& text, bool default_yes) override {
        QMessageBox box(parent);
        box.setWindowTitle(caption);
        box.setText(text);
        box.setIcon(kind == icon::error         ? QMessageBox::Critical
                    : kind == icon::information ? QMessageBox::Information
                    : kind == icon::warning     ? QMessageBox::Warning
                                                : QMessageBox::Question);
        if (kind == icon::question) {
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            box.setDefaultButton(default_yes ? QMessageBox::Yes : QMessageBox::No);
        }
        box.show();
        save(box, kind == icon::error ? "message-error" : kind == icon::question ? "message-question" : "message-info");
        return answer;
    }
    QString choose_file(QWidget*, bool, const QString&, const QString&, const QString&, const QString&) override {
        return {};
    }
    bool open_url(const QUrl&) override { return true; }
    bool answer = false;
};

void show_page(korvane_wizard& wizard, int id, const char* name) {
    wizard.setStartId(id);
    wizard.restart();
    save(wizard, name);
}

} // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT-FOLDER\n", argv[0]);
        return 2;
    }
    folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder);

    error_handler handler;
    korvane_convertor converter(korvane_front_end::wizard);
    korvane_wizard wizard(converter);
    auto asker = std::make_unique<photographing_asker>();
    photographing_asker& answers = *asker;
    wizard.set_asker(std::move(asker));
    wizard.set_run_function([] { return true; });
    wizard.show();

    // The walk a user makes, into a dump file.
    auto& welcome = *qobject_cast<welcome_page*>(wizard.page(page_welcome));
    welcome.dump_button()->click();
    save(wizard, "welcome");
    wizard.next();
    auto& db2 = *qobject_cast<db2_settings_page2*>(wizard.page(page_db2));
    db2.database()->setText(QStringLiteral("SHOPDB"));
    db2.user()->setText(QStringLiteral("alice"));
    save(wizard, "step1-db2");
    wizard.next();
    if (wizard.currentId() != page_dump) {
        std::fprintf(stderr, "the stand-in's SHOPDB did not connect\n");
        return 1;
    }
    save(wizard, "step2-dump-file");
    wizard.next();
    auto& database = *qobject_cast<sel_database_page*>(wizard.page(page_database));
    database.schemas()->setCurrentItem(database.schemas()->findItems(QStringLiteral("SHOP"), Qt::MatchExactly).value(0));
    database.destination()->clear();
    wizard.next(); // refused: no file name
    database.destination()->setText(QDir::tempPath() + QStringLiteral("/shop.sql"));
    save(wizard, "step3-databases-dump");
    wizard.next();
    auto& tables = *qobject_cast<sel_tables_page*>(wizard.page(page_tables));
    for (int i = 0; i < 3; ++i) tables.on_add();
    save(wizard, "step4-tables");

    set_query_dlg query(wizard, converter, QStringLiteral("VIP_CUSTOMERS"),
                        QStringLiteral("SELECT FIRST_NAME, LAST_NAME FROM CUSTOMERS WHERE VIP_LEVEL > 0"));
    query.show();
    save(query, "dialog-add-query");
    query.test_button()->click();
    query.close();
    tables.on_del_all();
    answers.answer = false;
    wizard.next(); // the no-selection question, answered No
    wizard.button(QWizard::CancelButton)->click(); // Cancel's question, answered No

    // The pages of direct mode.
    converter.set_direct_mode(true);
    converter.mysql().host() = "db.example";
    show_page(wizard, page_mysql, "step2-mysql-server");
    converter.set_destination(u"shop");
    show_page(wizard, page_database, "step3-databases-direct");
    overwrite_dlg2 overwrite(wizard, QStringLiteral("The destination database already exists. Select one of the\n"
                                                    "options below. Click 'Help' button for more information."));
    overwrite.show();
    save(overwrite, "dialog-overwrite");
    overwrite.close();

    show_page(wizard, page_finish, "finish-success");
    wizard.finish_page().set_errors({QStringLiteral("ORDERS, record #12: Duplicate entry '12' for key 'PRIMARY'"),
                                     QStringLiteral("SHIPMENTS: Table 'shop.SHIPMENTS' doesn't exist")});
    show_page(wizard, page_finish, "finish-errors");

    std::printf("%s\n", qPrintable(QDir(folder).absolutePath()));
    return 0;
}
