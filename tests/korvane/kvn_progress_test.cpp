// Step 5 through the real worker thread: the percentage, row failures answered in the continue
// dialog, the internal-error dialog's clipboard and bug report, and closing the window mid-run.

#include "g_f_dlg.hpp"
#include "g_finish.hpp"
#include "kvn_prog.hpp"
#include "kvn_tabs.hpp"
#include "kvn_wizard_fixture.hpp"
#include "db2_fixture.hpp"
#include "test_files.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"

#include <QClipboard>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QUrlQuery>

#include <filesystem>

using namespace wizard_test;

namespace {

// Schema F: BAD holds 25 rows whose DECFLOAT is NaN, which MySQL has no number for (each row
// is refused), then GOOD with 3 rows. Schema G: MANY with 400 such rows.
const std::string& fault_database() {
    static const std::string name = [] {
        std::string script = "CREATE SCHEMA F;\nCREATE SCHEMA G;\n"
                             "CREATE TABLE F.BAD (ID INTEGER NOT NULL, D DECFLOAT(16));\n"
                             "CREATE TABLE F.GOOD (ID INTEGER NOT NULL);\n"
                             "INSERT INTO F.GOOD VALUES (1), (2), (3);\n"
                             "CREATE TABLE G.MANY (ID INTEGER NOT NULL, D DECFLOAT(16));\n";
        for (int i = 1; i <= 25; ++i) script += "INSERT INTO F.BAD VALUES (" + std::to_string(i) + ", 'NaN');\n";
        for (int i = 1; i <= 400; ++i) script += "INSERT INTO G.MANY VALUES (" + std::to_string(i) + ", 'NaN');\n";
        db2_test::use_standin();
        db2_test::create_database("FAULTDB", script);
        return std::string("FAULTDB");
    }();
    return name;
}

class WizardProgress : public Wizard {
protected:
    // Starts a dump-mode run of every table of `schema` from Step 4.
    void start_run(const char16_t* schema, const std::string& file = "fault.sql") {
        connect_db2(fault_database());
        converter->set_direct_mode(false);
        dump = dir + "/" + file;
        converter->set_destination(tk_from_utf8(dump));
        converter->db2().schema() = schema;
        start_at(page_tables);
        page<sel_tables_page>(page_tables).on_add_all();
        next();
    }
    std::string dump;
};

} // namespace

TEST(WizardPercent, TablesDoneAndTheCurrentTablesRecords) {
    struct row {
        int tables, done, records, record, percent;
    };
    const row rows[] = {
        {4, 2, 200, 50, 56}, // 50 + 25 / 4
        {0, 0, 200, 50, 0},  {4, 0, 0, 0, 0},  {4, 4, 0, 0, 100}, {3, 1, 0, 0, 33},
        {1, 0, 3, 1, 33},    {4, 3, 200, 200, 100},
        {2, 3, 10, 5, 100},  // queries run after the tables without counting among them
    };
    for (const row& r : rows)
        EXPECT_EQ(korvane_progress_percent(r.tables, r.done, r.records, r.record), r.percent)
            << r.tables << ' ' << r.done << ' ' << r.records << ' ' << r.record;
}

TEST_F(WizardProgress, RowFailuresAskToContinueAndTheFinishPageListsTwenty) {
    struct row {
        const char* name;
        bool tick_second; // "do not show again" at the second dialog, else Abort there
        int dialogs, listed, refused;
        bool good_converted;
    };
    const row rows[] = {
        {"continue, then do not show again", true, 2, 20, 25, true},
        {"abort at the second", false, 2, 2, 2, false},
    };
    const std::string log_path = dir + "/trace.log";
    tk_log log(log_path.c_str(), false, 3, false);
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        converter->set_logfile(log_path);
        make_wizard();
        desk.dialogs.clear();
        desk.presses = {press("Continue"), r.tick_second ? press("Continue", true) : press("Abort")};
        start_run(u"F", std::string(r.tick_second ? "continue" : "abort") + ".sql");
        ASSERT_TRUE(wait_for_page(page_finish));
        EXPECT_TRUE(desk.presses.empty());
        ASSERT_EQ(int(desk.dialogs.size()), r.dialogs);
        EXPECT_EQ(desk.dialogs[0].caption, wizard_shell::caption("Error"));
        EXPECT_EQ(desk.dialogs[1].text, "BAD, record #2: Incorrect decimal value: 'NaN' for column 'D'");
        const gui_finish_page& finish = wizard->finish_page();
        ASSERT_EQ(int(finish.errors().size()), r.listed);
        EXPECT_EQ(finish.errors().front(), "BAD, record #1: Incorrect decimal value: 'NaN' for column 'D'");
        EXPECT_EQ(finish.errors().back(), QStringLiteral("BAD, record #%1: Incorrect decimal value: 'NaN' for column 'D'")
                                              .arg(r.listed));
        EXPECT_TRUE(finish.error_box()->isVisible());
        EXPECT_EQ(converter->records_refused(), r.refused);
        EXPECT_EQ(handler->do_not_show_again(), r.tick_second);
        // An aborted run leaves no dump file: it would not load as a whole database.
        if (r.good_converted)
            EXPECT_NE(test_files::read_file(dump).find("CREATE TABLE `GOOD`"), std::string::npos);
        else
            EXPECT_FALSE(std::filesystem::exists(dump));
        EXPECT_TRUE(finish.summary_label()->isVisible());
        // A trace log named by the profile is offered; it holds the run's errors.
        ASSERT_TRUE(finish.trace_button()->isVisible());
        desk.opened.clear();
        finish.trace_button()->click();
        ASSERT_EQ(desk.opened.size(), 1u);
        EXPECT_EQ(desk.opened.front(), QUrl::fromLocalFile(QString::fromStdString(log_path)));
        EXPECT_NE(test_files::read_file(log_path).find("BAD, record #1: Incorrect decimal value"), std::string::npos);
    }
}

TEST_F(WizardProgress, ARunThatCannotWriteItsDestinationIsShownAndListed) {
    // The folder of the dump file is gone by the time the run starts.
    start_run(u"F", "gone/fault.sql");
    ASSERT_TRUE(wait_for_page(page_finish));
    EXPECT_TRUE(desk.dialogs.empty());
    ASSERT_EQ(desk.boxes.size(), 1u);
    EXPECT_EQ(desk.boxes[0].kind, wizard_asker::icon::error);
    EXPECT_EQ(desk.boxes[0].caption, wizard_shell::caption("Error"));
    EXPECT_EQ(wizard->finish_page().errors(), QStringList{desk.boxes[0].text});
    EXPECT_EQ(converter->records_copied(), 0);
}

TEST_F(WizardProgress, InternalErrorDialogCopiesOrMailsTheMessage) {
    start_at(page_welcome);
    // Text that a URL or a mail header could mangle.
    const QString message = QStringLiteral("T, record #7: a&b=c+d #e %20 \"q\"\r\nzweite Zeile \u00e9\u4e2d\t;?");
    const QString title = wizard->windowTitle();
    struct row {
        const char* button;
        bool mail_handler;
        int opened;
    };
    for (const row r : {row{"OK", true, 0}, row{"Copy to clipboard", true, 0}, row{"Send bug", false, 1},
                        row{"Send bug", true, 1}}) {
        SCOPED_TRACE(std::string(r.button) + (r.mail_handler ? " with" : " without") + " a mail handler");
        QGuiApplication::clipboard()->setText(QStringLiteral("before"));
        desk.opened.clear();
        desk.mail_handler = r.mail_handler;
        desk.presses = {press(r.button)};
        dlg_error_ex dialog(wizard.get(), wizard->asker(), title, message);
        EXPECT_EQ(dialog.windowTitle(), wizard_shell::caption("Error"));
        EXPECT_TRUE(dialog.ok_button()->isDefault());
        EXPECT_EQ(wizard->asker().run_dialog(dialog), QDialog::Accepted);
        EXPECT_EQ(QGuiApplication::clipboard()->text(),
                  std::string(r.button) == "Copy to clipboard" ? message : QStringLiteral("before"));
        ASSERT_EQ(int(desk.opened.size()), r.opened);
        if (r.opened) {
            const QUrl& url = desk.opened.front();
            EXPECT_EQ(url.scheme(), "mailto");
            EXPECT_EQ(url.path(), "support@velquor.example");
            const QUrlQuery query(url);
            EXPECT_EQ(query.queryItemValue("subject", QUrl::FullyDecoded), "Bug report on " + title);
            EXPECT_EQ(query.queryItemValue("body", QUrl::FullyDecoded), message);
        }
    }
}

TEST_F(WizardProgress, ClosingTheWindowMidRunStopsTheRunAtTheNextRecord) {
    // The first refused row is answered, and the window is closed while the run goes on.
    desk.presses = {[this](QDialog& d) {
        // While the run waits here there is no way back and no way on.
        EXPECT_FALSE(wizard->button(QWizard::BackButton)->isEnabled());
        EXPECT_FALSE(wizard->button(QWizard::NextButton)->isEnabled());
        EXPECT_EQ(current(), page_progress);
        press("Continue")(d);
        QTimer::singleShot(0, wizard.get(), [this] { wizard->close(); });
    }};
    desk.answers = {true}; // "Are you sure you want to exit the wizard?"
    start_run(u"G");
    QElapsedTimer clock;
    clock.start();
    while (wizard->isVisible() && clock.elapsed() < 60000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_FALSE(wizard->isVisible());
    EXPECT_FALSE(wizard->run_page().running());
    EXPECT_EQ(desk.dialogs.size(), 1u) << "no dialog while the window closes";
    EXPECT_LT(converter->records_refused(), 400);
    const QStringList errors = handler->errors();
    ASSERT_FALSE(errors.isEmpty());
    EXPECT_TRUE(errors.back().startsWith("MANY: Stopped after ")) << errors.back().toStdString();
    // The unfinished dump was discarded, not abandoned: neither it nor its temporary file is left.
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        EXPECT_NE(entry.path().filename().string().rfind("fault.sql", 0), 0u) << entry.path();
}
