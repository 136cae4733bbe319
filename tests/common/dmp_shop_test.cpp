// End to end: the SHOP sample of the DB2 stand-in converted into a dump file by a conversion
// run, the file loaded into a MySQL server by the plain command-line client (no character-set
// option), and every table read back and compared with the source, row by row and value by
// value.

#include "db2_db.hpp"
#include "db2_fixture.hpp"
#include "dmp_fixture.hpp"
#include "shop_compare.hpp"
#include "sql_client.hpp"
#include "sql_server.hpp"
#include "sql_util.hpp"
#include "tk_utils.hpp"
#include "udb_conv.hpp"
#include "udb_errh.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <unistd.h>

using namespace dmp_test;

namespace {

// The run's two sides: the stand-in's SHOP schema and a dump file.
struct shop_sides : udb_run_sides {
    db2_engine& db2;
    std::u16string path;
    dmp_options options;

    shop_sides(db2_engine& e, std::u16string p, dmp_options o) : db2(e), path(std::move(p)), options(std::move(o)) {}
    std::unique_ptr<udb_database> open_source() override { return db2.open_db(u"SHOP", u"", u""); }
    std::unique_ptr<udb_database> open_destination() override {
        return sql_engine::instance().create_dump(path, options);
    }
    std::unique_ptr<udb_validator> create_validator(const std::vector<std::u16string>& tables,
                                                    const udb_database& destination) override {
        return sql_engine::instance().create_tn_validator(tables, destination.tables());
    }
};

using shop_compare::table_rows;

class ShopDump : public ::testing::Test {
protected:
    std::unique_ptr<sql_engine> engine;
    std::unique_ptr<error_handler> handler;
    std::vector<int> exits;
    std::ostringstream reports;
    temp_dir dir;

    void SetUp() override {
        engine = std::make_unique<sql_engine>();
        handler = std::make_unique<error_handler>();
        handler->set_output(reports);
        error_handler::set_exit_function([this](int status) { exits.push_back(status); });
    }
    void TearDown() override {
        error_handler::set_exit_function(nullptr);
        handler.reset();
        engine.reset();
    }
};

} // namespace

TEST_F(ShopDump, LoadedByThePlainClientGivesBackEveryRowAndCharacter) {
    SQL_REQUIRE_SERVER(server);
    std::ifstream in(std::string(DMP_SAMPLES_DIR) + "/shop.sql");
    ASSERT_TRUE(in) << "no SHOP sample";
    std::stringstream text;
    text << in.rdbuf();
    const std::string script = text.str();
    db2_test::create_database("SHOPDB", script);
    auto db2 = db2_test::connect(u"SHOPDB");

    // The database block names the database after the file.
    const std::string database = "dmp_shop_" + std::to_string(getpid());
    const std::u16string path = dir.file((database + ".sql").c_str());
    dmp_options options;
    options.b_create_database = true;
    options.creator = "Dunmere tests";
    {
        shop_sides sides(*db2, path, options);
        udb_converter run;
        std::ostringstream out, err;
        run.set_console(out, err);
        run.set_source_name(u"SHOPDB");
        run.run(sides);
        EXPECT_TRUE(exits.empty()) << reports.str();
        EXPECT_EQ(reports.str(), "");
        EXPECT_EQ(err.str(), "");
    }

    const std::string client = "MYSQL_PWD='" + server.password + "' mariadb --no-defaults --host=" + server.host +
                               " --port=" + std::to_string(server.port) + " --user=" + server.user;
    const std::string log = dir.path() + "/client.log";
    const int status = std::system((client + " < '" + tk_to_utf8(path) + "' > '" + log + "' 2>&1").c_str());
    EXPECT_EQ(status, 0) << read_file(tk_from_utf8(log));
    if (const char* keep = std::getenv("DMP_KEEP_DUMP")) std::system(("cp '" + tk_to_utf8(path) + "' " + keep).c_str());

    sql_connection c;
    ASSERT_TRUE(c.connect(server.host, server.user, server.password, unsigned(server.port))) << c.error();
    struct drop_at_end {
        sql_connection& c;
        std::string name;
        ~drop_at_end() { c.query("DROP DATABASE IF EXISTS `" + name + "`"); }
    } dropper{c, database};
    ASSERT_TRUE(c.query("SET NAMES utf8mb4"));
    ASSERT_TRUE(c.select_db(database)) << c.error();

    auto source = db2->open_db(u"SHOP", u"", u"");
    ASSERT_FALSE(source->tables().empty());
    std::size_t total = 0;
    bool beyond_bmp = false;
    for (const std::u16string& table : source->tables()) {
        auto rs = source->get_table(table, 1);
        const table_rows expected = shop_compare::recordset_rows(*rs);
        std::vector<t_ftd> columns;
        for (std::size_t i = 0; i < rs->schema().size(); ++i) columns.push_back(rs->schema()[i]);
        const table_rows loaded = shop_compare::loaded_rows(c, table, columns);
        ASSERT_EQ(loaded.size(), expected.size()) << tk_to_utf8(table);
        ASSERT_EQ(loaded.size(), std::size_t(rs->record_count())) << tk_to_utf8(table);
        for (std::size_t r = 0; r < expected.size(); ++r) {
            for (std::size_t i = 0; i < expected[r].size(); ++i) {
                ASSERT_EQ(loaded[r][i], expected[r][i])
                    << tk_to_utf8(table) << "." << tk_to_utf8(rs->schema()[i].name) << " row " << r;
                for (unsigned char ch : expected[r][i]) beyond_bmp |= ch >= 0xF0;
            }
        }
        total += expected.size();
    }
    EXPECT_GT(total, 0u);
    EXPECT_TRUE(beyond_bmp) << "the sample should hold characters beyond three UTF-8 bytes";
}

TEST_F(ShopDump, LoadingKeepsZerosInIdentityColumnsAndIsStrictForAllTables) {
    SQL_REQUIRE_SERVER(server);
    const std::string database = "dmp_zero_" + std::to_string(getpid());
    const std::u16string path = dir.file((database + ".sql").c_str());
    table_def t;
    t.col(u"id", VT_I4, 4, true).b_auto_increment = true;
    t.col(u"note", VT_BSTR, 20);
    t.index(u"pk", {u"id"}, true, true);
    {
        dmp_options options;
        options.b_create_database = true;
        dmp_database db(path, options);
        auto rs = db.create_table(u"t", t.schema, t.indexes);
        rs->append_record(*row(t, {ole_variant(0), ole_variant(u"zero")}));
        rs->append_record(*row(t, {ole_variant(5), ole_variant(u"five \U0001F600")}));
        rs->finish();
        // The client prints what the loading session runs with.
        db.query_rows(u"SELECT CONCAT('mode=', @@SESSION.sql_mode, '|')");
        db.finish();
    }
    const std::string client = "MYSQL_PWD='" + server.password + "' mariadb --no-defaults --host=" + server.host +
                               " --port=" + std::to_string(server.port) + " --user=" + server.user;
    const std::string log = dir.path() + "/client.log";
    const int status = std::system((client + " < '" + tk_to_utf8(path) + "' > '" + log + "' 2>&1").c_str());
    const std::string printed = read_file(tk_from_utf8(log));
    EXPECT_EQ(status, 0) << printed;

    sql_connection c;
    ASSERT_TRUE(c.connect(server.host, server.user, server.password, unsigned(server.port))) << c.error();
    struct drop_at_end {
        sql_connection& c;
        std::string name;
        ~drop_at_end() { c.query("DROP DATABASE IF EXISTS `" + name + "`"); }
    } dropper{c, database};
    ASSERT_TRUE(c.query("SET NAMES utf8mb4"));
    ASSERT_TRUE(c.select_db(database)) << c.error();
    ASSERT_TRUE(c.query("SELECT GROUP_CONCAT(id, ':', note ORDER BY id SEPARATOR ','), @@GLOBAL.sql_mode FROM t"));
    sql_result result = c.store_result();
    ASSERT_TRUE(result);
    MYSQL_ROW values = mysql_fetch_row(result.get());
    ASSERT_TRUE(values && values[0] && values[1]);
    EXPECT_EQ(std::string(values[0]), "0:zero,5:five \xf0\x9f\x98\x80");

    // Every flag of the server's own mode stays on while loading, except the two that change
    // how literals read, and strictness is added.
    const std::size_t from = printed.rfind("mode="); // after the column heading
    ASSERT_NE(from, std::string::npos) << printed;
    const std::string mode = "," + printed.substr(from + 5, printed.find('|', from) - from - 5) + ",";
    EXPECT_NE(mode.find(",NO_AUTO_VALUE_ON_ZERO,"), std::string::npos) << mode;
    // Strict for all tables, as direct mode is: what the server cannot hold is refused.
    EXPECT_NE(mode.find(",STRICT_ALL_TABLES,"), std::string::npos) << mode;
    std::stringstream global(values[1]);
    for (std::string flag; std::getline(global, flag, ',');) {
        if (flag == "NO_BACKSLASH_ESCAPES" || flag == "ANSI_QUOTES") continue;
        EXPECT_NE(mode.find("," + flag + ","), std::string::npos) << flag << " lost: " << mode;
    }
}
