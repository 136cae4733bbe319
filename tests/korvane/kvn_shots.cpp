// Walks the wizard offscreen over the stand-in's SHOP sample and writes a PNG of every page,
// dialog and kind of message box into the folder given as the only argument. For reviewers
// without a display; scripts/wizard-screenshots.sh builds and runs it.
//
// Needs DB2_CLI_LIBRARY and DB2STANDIN_HOME pointing at a stand-in home that holds SHOPDB.

#include "g_f_dlg.hpp"
#include "g_finish.hpp"
#include "kvn_conv.hpp"
#include "kvn_errh.hpp"
#include "kvn_page.hpp"
#include "kvn_prog.hpp"
#include "kvn_shel.hpp"
#include "kvn_tabs.hpp"
#include "udb_errh.hpp"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
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
    // The run's first refused row: the progress page behind the dialog, then the dialog,
    // answered Continue with "do not show again" so that the run goes on to its end.
    int run_dialog(QDialog& dialog) override {
        if (auto* ask = qobject_cast<dlg_error_continue*>(&dialog)) {
            if (wizard) {
                // The run waits for the answer: one tick shows where it stands.
                wizard->run_page().on_tick();
                save(*wizard, "step5-progress-mid-run");
            }
            dialog.show();
            save(dialog, "dialog-error-continue");
            ask->do_not_show_box()->setChecked(true);
            ask->continue_button()->click();
        } else {
            dialog.show();
            save(dialog, "dialog-error-internal");
            dialog.accept();
        }
        return dialog.result();
    }
    bool answer = false;
    korvane_wizard* wizard = nullptr;
};

// Runs Step 5 over every table of `schema` into the dump file `path`, from Step 4 to the finish page.
bool run_into_dump(korvane_wizard& wizard, korvane_convertor& converter, const char16_t* schema, const QString& path) {
    converter.set_direct_mode(false);
    converter.db2().schema() = schema;
    converter.set_destination(path.toStdU16String());
    QFile::remove(path);
    wizard.setStartId(page_tables);
    wizard.restart();
    qobject_cast<sel_tables_page*>(wizard.page(page_tables))->on_add_all();
    wizard.next();
    QElapsedTimer clock;
    clock.start();
    while (wizard.currentId() != page_finish && clock.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return wizard.currentId() == page_finish;
}

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

    korvane_error_handler handler;
    korvane_convertor converter(korvane_front_end::wizard);
    converter.set_silent(true); // the folder is all this program prints
    korvane_wizard wizard(converter);
    auto asker = std::make_unique<photographing_asker>();
    photographing_asker& answers = *asker;
    wizard.set_asker(std::move(asker));
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

    // Real runs: schema LAB's READINGS has rows whose DECFLOAT is NaN, which MySQL has no number for.
    answers.wizard = &wizard;
    if (!run_into_dump(wizard, converter, u"LAB", QDir::tempPath() + QStringLiteral("/korvane-shots-lab.sql"))) {
        std::fprintf(stderr, "the run over LAB did not end\n");
        return 1;
    }
    save(wizard, "finish-errors");
    dlg_error_ex internal(&wizard, answers, wizard.windowTitle(),
                          QStringLiteral("Internal error: \ncode=7564625F636F6E765C323137"));
    answers.run_dialog(internal);
    if (!run_into_dump(wizard, converter, u"SHOP", QDir::tempPath() + QStringLiteral("/korvane-shots-shop.sql"))) {
        std::fprintf(stderr, "the run over SHOP did not end\n");
        return 1;
    }
    save(wizard, "finish-success");
    QFile::remove(QDir::tempPath() + QStringLiteral("/korvane-shots-lab.sql"));
    QFile::remove(QDir::tempPath() + QStringLiteral("/korvane-shots-shop.sql"));

    std::printf("%s\n", qPrintable(QDir(folder).absolutePath()));
    return 0;
}
