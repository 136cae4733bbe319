// The wizard's pages and dialogs driven through their widgets: server and dump settings, the
// schema and destination rules, the existing-destination choices, table and query selection,
// Cancel, help and profiles.

#include "g_finish.hpp"
#include "kvn_tabs.hpp"
#include "kvn_prog.hpp"
#include "kvn_wizard_fixture.hpp"
#include "sql_client.hpp"
#include "sql_server.hpp"
#include "test_files.hpp"
#include "tk_utils.hpp"
#include "udb_prof.hpp"

#include <QAbstractButton>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>

using namespace wizard_test;

namespace {

QStringList items(const QListWidget* list) {
    QStringList out;
    for (int row = 0; row < list->count(); ++row) out << list->item(row)->text();
    return out;
}

} // namespace

TEST_F(Wizard, ServerPageStoresHostAndPortOnlyForRemote) {
    struct row {
        bool remote;
        const char* host;
        const char* port;
        const char* stored_host;
        const char* stored_port;
    };
    // Port "0" fails before any network use and nothing listens on the loopback port 3306, so every
    // case stays on the page quickly.
    const row rows[] = {
        {false, "elsewhere", "0", "", "3306"},
        {true, "  db.example  ", "0", "db.example", "0"},
        {true, "127.0.0.1", "   ", "127.0.0.1", "3306"},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(std::string(r.host) + "/" + r.port);
        converter->mysql().host() = "remembered";
        converter->mysql().port() = "4406";
        start_at(page_mysql);
        auto& p = page<sql_settings_page2>(page_mysql);
        EXPECT_TRUE(p.remote_button()->isChecked());
        EXPECT_EQ(p.host()->text(), "remembered");
        EXPECT_EQ(p.password()->echoMode(), QLineEdit::Password);
        (r.remote ? p.remote_button() : p.local_button())->click();
        EXPECT_EQ(p.host()->isEnabled(), r.remote);
        p.host()->setText(QString::fromLatin1(r.host));
        p.port()->setText(QString::fromLatin1(r.port));
        p.user()->setText(QStringLiteral(" me "));
        desk.boxes.clear();
        if (r.remote) {
            next();
            EXPECT_EQ(current(), page_mysql);
            ASSERT_FALSE(desk.boxes.empty());
            EXPECT_EQ(desk.boxes.back().caption, "Dunmere 2.1  Error");
        } else {
            // Local reaches for this machine's server, which may or may not answer: only the
            // stored values matter here.
            wizard->validateCurrentPage();
        }
        EXPECT_EQ(converter->mysql().host(), r.stored_host);
        EXPECT_EQ(converter->mysql().port(), r.stored_port);
        EXPECT_EQ(converter->mysql().user(), "me");
    }
    converter->mysql().host().clear();
    start_at(page_mysql);
    auto& p = page<sql_settings_page2>(page_mysql);
    EXPECT_TRUE(p.local_button()->isChecked());
    EXPECT_FALSE(p.host()->isEnabled());
    EXPECT_FALSE(p.port()->isEnabled());
}

TEST_F(Wizard, StoredSchemaChoosesTheEntryAndFillsTheDestination) {
    connect_db2(schemas_database());
    struct row {
        const char16_t* schema;
        const char16_t* dest;
        bool direct;
        const char* selected; // "" for none
        const char* box;      // the box was "typed" before
    };
    const row rows[] = {
        {u"shop", u"", true, "SHOP", "SHOP"},
        {u"SHOP", u"C:\\data\\shop.sql", true, "SHOP", "shop"},
        {u"SHOP", u"/srv/dumps/shop.sql", true, "SHOP", "shop"},
        {u"SHOP", u"", false, "SHOP", "SHOP.sql"},
        {u"SHOP", u"/srv/v1.2/shop.dump", false, "SHOP", "/srv/v1.2/shop.sql"},
        {u"GONE", u"kept", true, "ARCHIVE", "typed"},
        {u"", u"/tmp/out.sql", true, "", "out"},
        {u"", u"", true, "", "typed"},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(tk_to_utf8(r.schema) + " | " + tk_to_utf8(r.dest));
        converter->db2().schema() = r.schema;
        converter->set_destination(r.dest);
        converter->set_direct_mode(r.direct);
        auto& p = page<sel_database_page>(page_database);
        p.destination()->setText(QStringLiteral("typed"));
        start_at(page_database);
        // The catalogue's own schemas are listed too.
        ASSERT_EQ(items(p.schemas()), (QStringList{"ARCHIVE", "SHOP", "SHOPPING", "SYSCAT", "SYSIBM"}));
        QListWidgetItem* item = p.schemas()->currentItem();
        EXPECT_EQ(item && item->isSelected() ? item->text() : QString(), r.selected);
        EXPECT_EQ(p.destination()->text(), r.box);
        EXPECT_EQ(p.browse_button()->isVisibleTo(&p), !r.direct);
        EXPECT_EQ(p.destination_label()->text(),
                  r.direct ? "My&SQL destination database name:" : "&Destination dump file path:");
    }
    // The user's choice of schema names the destination after it.
    auto& p = page<sel_database_page>(page_database);
    converter->table_list() = {u"STALE"};
    p.schemas()->setCurrentRow(2);
    EXPECT_EQ(p.destination()->text(), p.schemas()->item(2)->text());
    EXPECT_TRUE(converter->table_list().empty());
}

TEST_F(Wizard, AListThatFailsToLoadIsAnErrorNotAnEmptyList) {
    // Not connected: the engine refuses to list schemas and tables alike.
    struct row {
        int page;
        QListWidget* list;
        QLabel* error;
        const char* refusal; // what Next then says
    };
    auto& schemas = page<sel_database_page>(page_database);
    auto& tables = page<sel_tables_page>(page_tables);
    const row rows[] = {
        {page_database, schemas.schemas(), schemas.load_error(), "You should select DB2 schema"},
        {page_tables, tables.available(), tables.load_error(), nullptr},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.page);
        desk.boxes.clear();
        start_at(r.page);
        EXPECT_EQ(r.list->count(), 0);
        EXPECT_TRUE(r.error->isVisibleTo(wizard->page(r.page)));
        EXPECT_TRUE(r.error->text().contains("could not be listed: ")) << r.error->text().toStdString();
        ASSERT_EQ(desk.boxes.size(), 1u);
        EXPECT_EQ(desk.boxes[0].kind, wizard_asker::icon::error);
        next();
        EXPECT_EQ(current(), r.page);
        EXPECT_EQ(desk.texts().back(), r.refusal ? QString::fromLatin1(r.refusal) : r.error->text());
    }
}

TEST_F(Wizard, DumpDestinationChecks) {
    connect_db2(schemas_database());
    const std::string existing = dir + "/old.sql";
    std::filesystem::create_directory(dir + "/folder.sql");
    struct row {
        std::string dest;
        std::deque<bool> answers;
        const char* message; // last box shown; nullptr for none
        bool moves_on;
    };
    const row rows[] = {
        {"", {}, "You should enter MySQL dump file name", false},
        {dir + "/folder.sql", {}, "Destination name should specify a file, not folder.", false},
        {dir + "/missing/x.sql", {}, "Destination path does not exist.\nPlease verify the correct path was given.", false},
        {existing, {false}, "Destination file already exists. Overwrite?", false},
        {existing, {true}, "Destination file already exists. Overwrite?", true},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.dest);
        if (!std::filesystem::exists(existing)) std::ofstream(existing) << "OLD DUMP";
        converter->set_direct_mode(false);
        converter->db2().schema() = u"SHOP";
        start_at(page_database);
        wizard->set_run_function([] {});
        auto& p = page<sel_database_page>(page_database);
        p.destination()->setText(QString::fromStdString(r.dest));
        desk.boxes.clear();
        desk.answers = r.answers;
        next();
        EXPECT_EQ(current(), r.moves_on ? page_tables : page_database);
        ASSERT_FALSE(desk.boxes.empty());
        EXPECT_EQ(desk.boxes.back().text.toStdString(), r.message);
        EXPECT_TRUE(desk.answers.empty());
        EXPECT_EQ(test_files::read_file(existing), r.moves_on ? "" : "OLD DUMP");
    }
    EXPECT_FALSE(std::filesystem::exists(existing));
    EXPECT_EQ(converter->destination(), tk_from_utf8(existing));
}

TEST_F(Wizard, OverwriteDialogChoicesOnAnExistingDatabase) {
    SQL_REQUIRE_SERVER(server);
    shop_database();
    connect_db2(schemas_database());
    converter->mysql().store_mysql_settings(server.host, server.user, server.password, std::to_string(server.port));
    converter->mysql().connect_mysql_server();
    sql_connection admin;
    ASSERT_TRUE(admin.connect(server.host, server.user, server.password, unsigned(server.port)));
    const auto exists = [&] { return admin.select_db("kvn_wizard_exists"); };
    // Cancel (-1) first, then each mode; the database is dropped only by mode 0.
    for (int choice : {-1, 3, 2, 1, 0}) {
        SCOPED_TRACE(choice);
        ASSERT_TRUE(admin.query("CREATE DATABASE IF NOT EXISTS kvn_wizard_exists"));
        converter->set_mode(3);
        converter->set_direct_mode(true);
        converter->db2().schema() = u"SHOP";
        converter->set_destination(u"kvn_wizard_exists");
        start_at(page_database);
        bool helped = false;
        when_dialog<overwrite_dlg2>([&](overwrite_dlg2& d) {
            EXPECT_EQ(d.windowTitle(), "Dunmere 2.1  Warning");
            EXPECT_TRUE(d.mode_button(0)->isChecked());
            if (choice == 2) {
                d.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Help)->click();
                helped = true;
            }
            if (choice < 0) {
                d.reject();
                return;
            }
            d.mode_button(choice)->click();
            d.accept();
        });
        next();
        EXPECT_EQ(current(), choice < 0 ? page_database : page_tables);
        EXPECT_EQ(converter->mode(), choice < 0 ? 3 : choice);
        EXPECT_EQ(exists(), choice != 0);
        if (helped) {
            ASSERT_EQ(desk.opened.size(), 1u);
            EXPECT_TRUE(desk.opened[0].toLocalFile().endsWith("/help/topic_1012.html"));
        }
    }
    // A missing database asks nothing: the run creates it.
    desk.boxes.clear();
    start_at(page_database);
    next();
    EXPECT_EQ(current(), page_tables);
    EXPECT_TRUE(desk.boxes.empty());
    admin.query("DROP DATABASE IF EXISTS kvn_wizard_exists");
}

TEST_F(Wizard, TableSelectionMovesSortedEntries) {
    connect_db2(shop_database());
    converter->db2().schema() = u"SHOP";
    start_at(page_tables);
    auto& p = page<sel_tables_page>(page_tables);
    const QStringList all = items(p.available());
    ASSERT_EQ(all.size(), 8);
    QStringList sorted = all;
    sorted.sort(Qt::CaseInsensitive);
    EXPECT_EQ(all, sorted);

    p.available()->setCurrentRow(1);
    p.on_add();
    EXPECT_EQ(items(p.selected()), QStringList{all[1]});
    EXPECT_EQ(p.available()->currentRow(), 1);
    p.on_add_all();
    EXPECT_EQ(p.available()->count(), 0);
    EXPECT_EQ(items(p.selected()), all);
    p.selected()->setCurrentRow(7);
    p.on_delete();
    EXPECT_EQ(p.selected()->currentRow(), 6);
    p.on_del_all();
    EXPECT_EQ(items(p.available()), all);
    EXPECT_EQ(p.selected()->count(), 0);
    p.on_delete(); // nothing selected: nothing happens
    EXPECT_EQ(p.available()->count(), 8);

    // A query named like a table in another letter case is refused and the dialog reopens
    // with what was typed.
    when_dialog<set_query_dlg>([&](set_query_dlg& d) {
        d.name_box()->setText(QStringLiteral("customers"));
        d.query_box()->setPlainText(QStringLiteral("\n  select 1 from sysibm.sysdummy1"));
        d.accept();
        when_dialog<set_query_dlg>([&](set_query_dlg& again) {
            EXPECT_EQ(again.name_box()->text(), "customers");
            EXPECT_EQ(again.query_box()->toPlainText(), "select 1 from sysibm.sysdummy1");
            again.name_box()->setText(QStringLiteral("aQuery"));
            again.accept();
        });
    });
    p.on_add_query();
    EXPECT_EQ(desk.texts().back(), "Duplicate table name. Try again.");
    EXPECT_EQ(items(p.selected()), QStringList{"aQuery"});
    EXPECT_EQ(p.selected_queries().at("aQuery"), "select 1 from sysibm.sysdummy1");

    // Removed, the query stays defined among the available entries; added again, it keeps its text.
    p.selected()->setCurrentRow(0);
    p.on_delete();
    EXPECT_EQ(items(p.available()).first(), "aQuery");
    EXPECT_EQ(p.available_queries().count("aQuery"), 1u);
    p.available()->setCurrentRow(0);
    p.on_add();
    EXPECT_EQ(p.selected_queries().at("aQuery"), "select 1 from sysibm.sysdummy1");

    when_dialog<set_query_dlg>([&](set_query_dlg& d) {
        d.name_box()->setText(QStringLiteral("bQuery"));
        d.accept();
    });
    p.selected()->setCurrentRow(0);
    p.on_edit_query();
    EXPECT_EQ(items(p.selected()), QStringList{"bQuery"});
    EXPECT_EQ(p.selected_queries().count("bQuery"), 1u);

    p.available()->setCurrentRow(p.available()->count() - 1);
    p.on_add();
    bool started = false;
    wizard->set_run_function([&] { started = true; });
    next();
    ASSERT_TRUE(wait_for_page(page_finish));
    EXPECT_TRUE(started);
    const std::vector<std::u16string> tables{tk_from_utf8(all.last().toStdString())};
    EXPECT_EQ(converter->table_list(), tables);
    EXPECT_EQ(converter->selected_items(), (udb_query_map{{u"bQuery", u"select 1 from sysibm.sysdummy1"}}));

    // Coming back restores the queries from the converter.
    start_at(page_tables);
    EXPECT_EQ(items(p.selected()), QStringList{"bQuery"});
}

TEST_F(Wizard, NoSelectionIsQuestionedOnlyWhenTablesAreAvailableAndConvertsNothing) {
    connect_db2(schemas_database());
    const std::string dump = dir + "/nothing.sql";
    converter->set_direct_mode(false);
    converter->set_destination(tk_from_utf8(dump));
    converter->db2().schema() = u"SHOP";
    start_at(page_tables);
    desk.answers = {false, true};
    next();
    EXPECT_EQ(current(), page_tables);
    next();
    EXPECT_TRUE(wait_for_page(page_finish));
    EXPECT_EQ(desk.texts(), (std::vector<QString>{"There are no tables selected. Continue anyway?",
                                                  "There are no tables selected. Continue anyway?"}));
    // Going on without a selection must not convert every table.
    EXPECT_FALSE(std::filesystem::exists(dump));

    // An empty schema asks nothing; its run shows 0 percent and ends on the finish page.
    int runs = 0;
    wizard->set_run_function([&] { ++runs; });
    converter->db2().schema() = u"ARCHIVE";
    start_at(page_tables);
    next();
    EXPECT_TRUE(wait_for_page(page_finish));
    EXPECT_EQ(wizard->run_page().progress_bar()->value(), 0);
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(desk.boxes.size(), 2u);
}

TEST_F(Wizard, QueryDialogChecksAndTestQuery) {
    connect_db2(shop_database());
    converter->db2().schema() = u"SHOP";
    struct row {
        const char* name;
        const char* query;
        bool accepted;
        const char* box; // message shown by OK
    };
    const row rows[] = {
        {"", "SELECT 1", false, "Table name is empty!"},
        {"q", "SELEC", false, "The query must start with SELECT."},
        {"q", "  \t\r\n", false, "The query must start with SELECT."},
        {"q", "UPDATE T SET A=1", false, "The query must start with SELECT."},
        {"q", "", false, "Query is empty!"},
        {"q", " \n\tselect * from CUSTOMERS", true, nullptr},
        {"q", "SELECT", true, nullptr},
    };
    start_at(page_tables);
    for (const row& r : rows) {
        SCOPED_TRACE(r.query);
        desk.boxes.clear();
        set_query_dlg d(*wizard, *converter, QString::fromLatin1(r.name), QString::fromLatin1(r.query));
        d.open();
        d.accept();
        EXPECT_EQ(d.result() == QDialog::Accepted, r.accepted);
        if (r.accepted) {
            EXPECT_EQ(d.query(), QString::fromLatin1(r.query).trimmed());
            EXPECT_TRUE(desk.boxes.empty());
        } else {
            ASSERT_EQ(desk.boxes.size(), 1u);
            EXPECT_EQ(desk.boxes[0].text, r.box);
        }
        d.close();
    }

    const std::pair<const char*, const char*> tests[] = {
        {"\n SELECT FIRST_NAME FROM CUSTOMERS", "The query is correct."},
        {"SELECT * FROM NO_SUCH_TABLE", "You have an error in your query syntax. Make sure that it is a correct SQL "
                                        "SELECT-statement. Contact support@velquor.example if the error persists."},
        {"DELETE FROM CUSTOMERS", "The query must start with SELECT."},
    };
    for (const auto& [query, answer] : tests) {
        desk.boxes.clear();
        set_query_dlg d(*wizard, *converter, QStringLiteral("t"), QString::fromLatin1(query));
        d.test_button()->click();
        ASSERT_EQ(desk.boxes.size(), 1u) << query;
        EXPECT_EQ(desk.boxes[0].text, answer);
    }
}

TEST_F(Wizard, CancelAsksBeforeClosing) {
    start_at(page_welcome);
    desk.answers = {false, true};
    wizard->button(QWizard::CancelButton)->click();
    EXPECT_TRUE(wizard->isVisible());
    ASSERT_EQ(desk.boxes.size(), 1u);
    EXPECT_EQ(desk.boxes[0].text, "Are you sure you want to exit the wizard?");
    EXPECT_EQ(desk.boxes[0].caption, "Dunmere 2.1  Question");
    wizard->button(QWizard::CancelButton)->click();
    EXPECT_FALSE(wizard->isVisible());
    EXPECT_EQ(wizard->result(), QDialog::Rejected);
}

TEST_F(Wizard, ProfilesAreLoadedAndSaved) {
    const std::string path = dir + "/saved.kvp";
    converter->set_direct_mode(false);
    converter->db2().set_connection_settings(u"SHOPDB", u"alice", u"s3cret");
    converter->db2().schema() = u"Shop";
    converter->mysql().dump_options().line_break = 1;
    converter->selected_items() = {{u"q1", u"SELECT 1"}};
    start_at(page_finish);
    auto& finish = wizard->finish_page();
    EXPECT_TRUE(finish.text_label()->text().startsWith("Wizard has migrated"));
    EXPECT_FALSE(wizard->button(QWizard::CancelButton)->isEnabled());
    desk.files = {QString::fromStdString(path)};
    finish.save_button()->click();
    ASSERT_TRUE(std::filesystem::exists(path));

    // Another program run loads it on the welcome page.
    wizard.reset();
    converter.reset();
    std::filesystem::remove_all(dir + "/velquor");
    converter = std::make_unique<korvane_convertor>(korvane_front_end::wizard);
    make_wizard();
    desk.files = {QString::fromStdString(path)};
    start_at(page_welcome);
    auto& welcome = page<welcome_page>(page_welcome);
    EXPECT_TRUE(welcome.direct_button()->isChecked());
    welcome.load_button()->click();
    EXPECT_TRUE(welcome.dump_button()->isChecked());
    EXPECT_EQ(converter->db2().user(), u"alice");
    EXPECT_EQ(converter->db2().schema(), u"Shop");
    EXPECT_EQ(converter->mysql().dump_options().line_break, 1u);
    EXPECT_EQ(converter->selected_items(), (udb_query_map{{u"q1", u"SELECT 1"}}));
    next();
    auto& db2 = page<db2_settings_page2>(page_db2);
    EXPECT_EQ(db2.user()->text(), "alice");
    EXPECT_EQ(db2.password()->echoMode(), QLineEdit::Password);

    // A profile that cannot be read is an error, and nothing changes.
    desk.files = {QString::fromStdString(dir + "/none.kvp")};
    back();
    welcome.load_button()->click();
    ASSERT_FALSE(desk.boxes.empty());
    EXPECT_EQ(desk.boxes.back().kind, wizard_asker::icon::error);
    EXPECT_EQ(converter->db2().user(), u"alice");
}

TEST_F(Wizard, FinishPageListsErrorsOnOneLineEach) {
    wizard->finish_page().set_errors({"ORDERS: first\nsecond", "other"});
    start_at(page_finish);
    auto& finish = wizard->finish_page();
    EXPECT_EQ(finish.text_label()->text(),
              "There were some errors while converting the database.\nClick 'Finish' to exit the wizard.");
    EXPECT_EQ(finish.error_box()->toPlainText(), "ORDERS: first second\n\nother\n\n");
}
