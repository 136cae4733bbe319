// The wizard walked from the welcome page to the start of the run over the SHOP sample, in both
// modes: the converter must then hold exactly what VORDAXEN makes of the equivalent command line,
// and the run that follows must end on the finish page.

#include "g_finish.hpp"
#include "kvn_prog.hpp"
#include "kvn_tabs.hpp"
#include "kvn_wizard_fixture.hpp"
#include "sql_client.hpp"
#include "sql_server.hpp"
#include "test_files.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"
#include "vordaxen.hpp"

#include <QLabel>
#include <QListWidget>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <fstream>
#include <optional>
#include <sstream>

using namespace wizard_test;

namespace {

// Every setting a run reads, as one text.
std::string settings_of(const korvane_convertor& c) {
    std::ostringstream s;
    const auto w = [](const std::u16string& t) { return tk_to_utf8(t); };
    const dmp_options& d = c.mysql().dump_options();
    s << "src=" << w(c.source_name()) << "\ndest=" << w(c.destination()) << "\ndirect=" << c.direct_mode()
      << "\nmode=" << c.mode() << "\nskip_idx=" << c.skip_indexes() << "\ntab_def=" << c.definitions_only()
      << "\njobs=" << c.jobs()
      << "\nlogfile=" << c.logfile() << "\ndb2=" << w(c.db2().user()) << '/' << w(c.db2().password()) << '/'
      << w(c.db2().schema()) << "\nmysql=" << c.mysql().host() << '/' << c.mysql().user() << '/'
      << c.mysql().password() << '/' << c.mysql().port() << "\ndump=" << d.line_break << d.b_new_version
      << d.b_lock_for_write << d.b_comments << d.b_create_database << d.b_create_table << "\ntables=";
    for (const auto& t : c.table_list()) s << w(t) << ',';
    s << "\nitems=";
    for (const auto& [name, text] : c.selected_items()) s << w(name) << '=' << w(text) << ';';
    return s.str();
}

class WizardRun : public Wizard {
protected:
    // Walks every page in `direct` or dump mode into `dest`, goes all the way Back and forward
    // again, and returns the settings at the start of the run.
    std::string walk(bool direct, const std::string& dest, const sql_test_server* server) {
        // A trace log at its most detailed: no password may reach it.
        const std::string trace = dir + "/trace.log";
        tk_log log(trace.c_str(), true, 1, false);
        start_at(page_welcome);
        auto& welcome = page<welcome_page>(page_welcome);
        (direct ? welcome.direct_button() : welcome.dump_button())->click();
        next();
        auto& db2 = page<db2_settings_page2>(page_db2);
        db2.database()->setText(QString::fromStdString(shop_database()));
        db2.password()->setText(QStringLiteral("db2-Secret-7"));
        next();
        EXPECT_EQ(current(), direct ? page_mysql : page_dump);
        if (direct) {
            auto& mysql = page<sql_settings_page2>(page_mysql);
            mysql.remote_button()->click();
            mysql.host()->setText(QString::fromStdString(server->host));
            mysql.port()->setText(QString::number(server->port));
            mysql.user()->setText(QString::fromStdString(server->user));
            mysql.password()->setText(QString::fromStdString(server->password));
        }
        next();
        auto& database = page<sel_database_page>(page_database);
        const QList<QListWidgetItem*> shop = database.schemas()->findItems("SHOP", Qt::MatchExactly);
        EXPECT_EQ(shop.size(), 1);
        if (shop.empty()) return {};
        database.schemas()->setCurrentItem(shop.front());
        EXPECT_EQ(database.destination()->text(), "SHOP");
        database.destination()->setText(QString::fromStdString(dest));
        database.jobs()->setValue(3);
        next();
        auto& tables = page<sel_tables_page>(page_tables);
        for (QPushButton* b : tables.findChildren<QPushButton*>())
            if (b->text() == "Add a&ll >") b->click();
        EXPECT_EQ(tables.available()->count(), 0);

        // Back visits exactly the pages of this mode, and forward again keeps every setting.
        std::vector<int> visited;
        for (int i = 0; i < 4; ++i) {
            back();
            visited.push_back(current());
        }
        EXPECT_EQ(visited, (std::vector<int>{page_database, direct ? page_mysql : page_dump, page_db2, page_welcome}));
        for (int i = 0; i < 4; ++i) next();
        EXPECT_EQ(current(), page_tables);
        for (QPushButton* b : tables.findChildren<QPushButton*>())
            if (b->text() == "Add a&ll >") b->click();

        std::string at_start;
        auto run = wizard->set_run_function([] {});
        wizard->set_run_function([&] {
            at_start = settings_of(*converter);
            run();
        });
        next();
        EXPECT_EQ(current(), page_progress);
        EXPECT_TRUE(wait_for_page(page_finish));
        EXPECT_TRUE(wizard->finish_page().errors().isEmpty()) << wizard->finish_page().errors().join('\n').toStdString();
        // Every row of the schema reached the destination, and the finish page says so.
        int rows = 0;
        for (const auto& [table, count] : source_counts()) rows += count;
        EXPECT_GT(rows, 0);
        EXPECT_EQ(converter->records_copied(), rows);
        EXPECT_EQ(converter->records_refused(), 0);
        EXPECT_TRUE(wizard->finish_page().summary_label()->text().startsWith(
            QStringLiteral("Tables converted: 8 of 8 (0 failed). Rows copied: %1 (0 refused).").arg(rows)))
            << wizard->finish_page().summary_label()->text().toStdString();
        const std::string logged = test_files::read_file(trace);
        EXPECT_NE(logged.find("db2_engine::connect"), std::string::npos);
        EXPECT_EQ(logged.find("db2-Secret-7"), std::string::npos);
        if (server) {
            EXPECT_EQ(logged.find(server->password), std::string::npos);
        }
        return at_start;
    }

    // Table -> rows of the SHOP schema, as the source counts them.
    std::map<std::string, int> source_counts() {
        std::map<std::string, int> counts;
        std::unique_ptr<udb_database> source = converter->db2().open_db(u"SHOP");
        for (const std::u16string& table : source->tables())
            counts[tk_to_utf8(table)] = source->get_table(table, 1)->record_count();
        return counts;
    }

    // What VORDAXEN makes of `args`, from settings of its own.
    std::string agent_settings(std::vector<std::string> args) {
        wizard.reset();
        converter.reset();
        const std::string agent_home = dir + "/agent";
        std::filesystem::create_directory(agent_home);
        setenv("XDG_CONFIG_HOME", agent_home.c_str(), 1);
        converter = std::make_unique<korvane_convertor>(korvane_front_end::agent);
        args.insert(args.begin(), "VORDAXEN");
        std::vector<const char*> argv;
        for (const std::string& a : args) argv.push_back(a.c_str());
        // The test server's password is in the environment under the name the agent reads
        // when no option gives one; the wizard never reads it.
        const char* env = std::getenv("DUNMERE_MYSQL_PASSWORD");
        const std::string saved = env ? env : "";
        unsetenv("DUNMERE_MYSQL_PASSWORD");
        EXPECT_TRUE(parse_cmd_line(int(argv.size()), argv.data()));
        if (env) setenv("DUNMERE_MYSQL_PASSWORD", saved.c_str(), 1);
        return settings_of(*converter);
    }

    // The table-list file naming every SHOP table in the order of the wizard's list.
    std::string tab_file() {
        const std::string path = dir + "/tables.txt";
        std::ofstream out(path);
        for (const char* t : {"CATEGORIES", "COUNTRIES", "CUSTOMERS", "ORDER_LINES", "ORDERS", "PRODUCT_TAGS",
                              "PRODUCTS", "SHIPMENTS"})
            out << t << '\n';
        return path;
    }
};

} // namespace

TEST_F(WizardRun, DumpModeMatchesTheAgentAndWritesTheDump) {
    const std::string dest = dir + "/shop.sql";
    const std::string wizard_settings = walk(false, dest, nullptr);
    EXPECT_NE(test_files::read_file(dest).find("CREATE TABLE `CUSTOMERS`"), std::string::npos);
    EXPECT_EQ(wizard_settings, agent_settings({"--src=" + shop_database(), "--db2schema=SHOP", "--db2pswd=db2-Secret-7", "--dump",
                                               "--dest=" + dest, "--tab_file=" + tab_file(), "--jobs=3"}));
}

TEST_F(WizardRun, DirectModeMatchesTheAgentAndFillsTheServer) {
    SQL_REQUIRE_SERVER(server);
    sql_connection admin;
    ASSERT_TRUE(admin.connect(server.host, server.user, server.password, unsigned(server.port)));
    ASSERT_TRUE(admin.query("DROP DATABASE IF EXISTS kvn_wizard_walk"));
    const std::string wizard_settings = walk(true, "kvn_wizard_walk", &server);
    for (const auto& [table, count] : source_counts()) {
        ASSERT_TRUE(admin.query("SELECT COUNT(*) FROM kvn_wizard_walk.`" + table + "`")) << admin.error();
        sql_result result = admin.store_result();
        MYSQL_ROW row = mysql_fetch_row(result.get());
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(std::atoi(row[0]), count) << table;
    }
    EXPECT_EQ(wizard_settings,
              agent_settings({"--src=" + shop_database(), "--db2schema=SHOP", "--db2pswd=db2-Secret-7", "--dest=kvn_wizard_walk",
                              "--mysqlh=" + server.host, "--port=" + std::to_string(server.port),
                              "--mysqlu=" + server.user, "--mysqlp=" + server.password, "--tab_file=" + tab_file(),
                              "--jobs=3"}));
    admin.query("DROP DATABASE IF EXISTS kvn_wizard_walk");
}
