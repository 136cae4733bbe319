// Whole conversions of the SHOP sample by the agent: into a dump file and straight into a
// server, the existing-data modes, definitions only, skipped indexes, table-list files,
// profiles, the trace log and silent runs.

#include "agent_fixture.hpp"
#include "db2_fixture.hpp"

#include <gtest/gtest.h>

#include <unistd.h>

using namespace agent_test;

namespace {

const char* const shop_lines = "Converting database SHOPDB(8 tables)\n"
                               "Converting table CATEGORIES(10 records)\n"
                               "Converting table COUNTRIES(10 records)\n"
                               "Converting table CUSTOMERS(400 records)\n"
                               "Converting table ORDERS(1500 records)\n"
                               "Converting table ORDER_LINES(3756 records)\n"
                               "Converting table PRODUCTS(160 records)\n"
                               "Converting table PRODUCT_TAGS(260 records)\n"
                               "Converting table SHIPMENTS(2011 records)\n";

class AgentShop : public ::testing::Test {
protected:
    scratch_dir dir;
    run_result run(const std::vector<std::string>& args) { return run_agent(args, dir.file("config")); }
    std::vector<std::string> dump_args(const std::string& dest) {
        return {"--src=" + shop_database(), "--db2schema=shop", "--dump", "--dest=" + dest};
    }
    std::vector<std::string> direct_args(const sql_test_server& server, const std::string& database) {
        std::vector<std::string> args{"--src=" + shop_database(), "--db2schema=SHOP", "--dest=" + database};
        for (auto& option : server_options(server)) args.push_back(option);
        return args;
    }
    // A database name of this test and process.
    static std::string database_name(const char* what) { return std::string("vdx_") + what + "_" + std::to_string(getpid()); }
};

} // namespace

TEST_F(AgentShop, DumpModeWritesEveryTableAndLoadsBackToTheSourceValues) {
    const std::string dest = dir.file("shop.sql"), log = dir.file("trace.log");
    auto args = dump_args(dest);
    args.push_back("--logfile=" + log);
    const run_result r = run(args);
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out, shop_lines);
    EXPECT_EQ(r.err, "");
    const std::string trace = read_file(log);
    EXPECT_NE(trace.find("Conversion started on "), std::string::npos) << trace;
    EXPECT_NE(trace.find("Conversion ended on "), std::string::npos) << trace;
    EXPECT_NE(trace.find("\r\n"), std::string::npos) << "entries end with CR LF";
    EXPECT_NE(read_file(dest).find("# Created by Dunmere 2.1 "), std::string::npos);

    SQL_REQUIRE_SERVER(server);
    const std::string database = database_name("dump");
    drop_database dropper{server, database};
    std::string printed;
    ASSERT_EQ(load_dump(server, database, dest, printed), 0) << printed;
    expect_shop_equal(server, database);
}

TEST_F(AgentShop, DirectModeGivesBackEveryRowOfTheSource) {
    SQL_REQUIRE_SERVER(server);
    const std::string database = database_name("direct");
    drop_database dropper{server, database};
    const run_result r = run(direct_args(server, database));
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out, shop_lines);
    EXPECT_EQ(r.err, "");
    expect_shop_equal(server, database);
}

TEST_F(AgentShop, ModesAgainstAnExistingDatabase) {
    SQL_REQUIRE_SERVER(server);
    const std::string database = database_name("modes");
    drop_database dropper{server, database};
    const std::string tabs = dir.file("tables.txt");
    write_file(tabs, "COUNTRIES\nCATEGORIES\n");
    sql_connection c;
    ASSERT_TRUE(connect(c, server));
    const auto convert = [&](const char* mode) {
        auto args = direct_args(server, database);
        args.push_back(std::string("--mode=") + mode);
        args.push_back("--tab_file=" + tabs);
        return run(args);
    };
    // Each round starts from the two tables converted, three countries left, and a table of
    // the user's own.
    const auto prepare = [&] {
        ASSERT_EQ(convert("0").status, 0);
        ASSERT_TRUE(c.select_db(database)) << c.error();
        ASSERT_TRUE(c.query("DELETE FROM COUNTRIES WHERE CODE NOT IN ('DE','FR','JP')")) << c.error();
        ASSERT_TRUE(c.query("CREATE TABLE EXTRA (ID INT)")) << c.error();
    };
    const auto count = [&](const char* table) {
        return scalar(c, "SELECT COUNT(*) FROM information_schema.tables WHERE table_schema='" + database +
                             "' AND table_name='" + table + "'") == "1"
                   ? scalar(c, std::string("SELECT COUNT(*) FROM `") + database + "`." + table)
                   : std::string("missing");
    };

    prepare();
    ASSERT_EQ(count("COUNTRIES"), "3");
    run_result r = convert("0");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(count("EXTRA"), "missing") << "mode 0 drops the whole database";
    EXPECT_EQ(count("COUNTRIES"), "10");

    prepare();
    r = convert("1");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(count("EXTRA"), "0") << "mode 1 keeps other tables";
    EXPECT_EQ(count("COUNTRIES"), "10");

    prepare();
    ASSERT_TRUE(c.query("DROP TABLE CATEGORIES"));
    r = convert("2");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "Converting database SHOPDB(2 tables)\nConverting table CATEGORIES(10 records)\n");
    EXPECT_EQ(count("COUNTRIES"), "3") << "mode 2 skips an existing table";
    EXPECT_EQ(count("CATEGORIES"), "10");

    prepare();
    ASSERT_TRUE(c.query("DELETE FROM COUNTRIES")) << c.error();
    r = convert("3");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(count("COUNTRIES"), "10") << "mode 3 appends to the existing table";
    EXPECT_EQ(count("EXTRA"), "0");

    ASSERT_TRUE(c.query("DELETE FROM COUNTRIES")) << c.error();
    ASSERT_TRUE(c.query("ALTER TABLE COUNTRIES ADD COLUMN SURPLUS INT")) << c.error();
    r = convert("3");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("Error:\nCOUNTRIES: The structure of data source does not conform to the destination "
                         "table.\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(count("COUNTRIES"), "0");
    EXPECT_EQ(count("CATEGORIES"), "10") << "the other table still converts";
}

TEST_F(AgentShop, DefinitionsOnlyAndSkippedIndexes) {
    const std::string definitions = dir.file("defs.sql");
    auto args = dump_args(definitions);
    args.push_back("--tab_def");
    run_result r = run(args);
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out, shop_lines) << "the record counts are still shown";
    std::string dump = read_file(definitions);
    EXPECT_NE(dump.find("CREATE TABLE `ORDERS`"), std::string::npos);
    EXPECT_EQ(dump.find("INSERT INTO"), std::string::npos);
    EXPECT_NE(dump.find("PRIMARY KEY"), std::string::npos);

    const std::string bare = dir.file("bare.sql");
    args = dump_args(bare);
    args.push_back("--skip_idx");
    r = run(args);
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    dump = read_file(bare);
    EXPECT_NE(dump.find("INSERT INTO `ORDERS`"), std::string::npos);
    EXPECT_EQ(dump.find("PRIMARY KEY"), std::string::npos);
    EXPECT_EQ(dump.find("UQ_CUSTOMERS_EMAIL"), std::string::npos);
}

TEST_F(AgentShop, TableListFiles) {
    const std::string dest = dir.file("list.sql"), list = dir.file("tables.txt");
    auto args = dump_args(dest);
    args.push_back("--tab_file=" + list);
    // A byte-order mark, CR LF line ends and blank lines.
    write_file(list, "\xEF\xBB\xBFORDERS\r\n\r\n\nCOUNTRIES\r\n");
    run_result r = run(args);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    // ORDERS' key to CUSTOMERS, which is not in the list, is named and left out.
    EXPECT_EQ(r.out, "Converting database SHOPDB(2 tables)\nConverting table COUNTRIES(10 records)\n"
                     "Converting table ORDERS(1500 records)\nError:\nForeign key 'FK_ORDERS_CUSTOMER': Table "
                     "'CUSTOMERS' is not converted by this run, so the foreign key is not created.\n");
    EXPECT_EQ(read_file(dest).find("FOREIGN KEY"), std::string::npos);
    EXPECT_EQ(r.err, "");

    // No mark; an unknown table is named on standard error and the others still convert.
    write_file(list, "\nNOPE\nPRODUCTS\n");
    r = run(args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Converting database SHOPDB(2 tables)\nConverting table PRODUCTS(160 records)\nError:\n"
                     "Foreign key 'FK_PRODUCTS_CATEGORY': Table 'CATEGORIES' is not converted by this run, so "
                     "the foreign key is not created.\n");
    EXPECT_EQ(r.err, "Table NOPE not exists\n");

    // A name is one line of at most 254 bytes.
    write_file(list, "ORDERS\n" + std::string(254, 'A') + "\r\n" + std::string(255, 'B') + "\nCOUNTRIES\n");
    r = run(args);
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err, "Table names file '" + list + "': line 3 is longer than 254 bytes.\n");

    write_file(list, "ORDERS\n\xFF\xFE\n");
    r = run(args);
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err, "Table names file '" + list + "': line 2 is not valid text in its character set.\n");
}

TEST_F(AgentShop, ProfileAndTheOptionsAroundIt) {
    const std::string profile = dir.file("shop.kvp"), from_profile = dir.file("profile.sql"),
                      from_option = dir.file("option.sql");
    write_file(profile, "[DB2 settings]\r\nschema=SHOP\r\n\r\n[Generic settings]\r\nsrc=" + shop_database() +
                            "\r\ndest=" + from_profile +
                            "\r\n\r\n[MySQL settings]\r\ndirect mode=0\r\n\r\n[Selected Tables]\r\nCOUNTRIES\r\n");
    const std::string lines = "Converting database SHOPDB(1 tables)\nConverting table COUNTRIES(10 records)\n";

    run_result r = run({"--profile=" + profile});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out, lines);
    EXPECT_NE(read_file(from_profile).find("INSERT INTO `COUNTRIES`"), std::string::npos);
    unlink(from_profile.c_str());

    // An option before the profile is overridden by it; one after it overrides the profile.
    r = run({"--dest=" + from_option, "--profile=" + profile});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(access(from_profile.c_str(), F_OK) == 0);
    EXPECT_FALSE(access(from_option.c_str(), F_OK) == 0);
    unlink(from_profile.c_str());

    r = run({"--profile=" + profile, "--dest=" + from_option, "--mysqlu=ignored", "--silent"});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(access(from_profile.c_str(), F_OK) == 0);
    EXPECT_TRUE(access(from_option.c_str(), F_OK) == 0);
}

TEST_F(AgentShop, LaterSourceWinsAndSilentRunsPrintNothing) {
    const std::string dest = dir.file("s.sql");
    const run_result r = run({"--src=NO_SUCH_DATABASE", "--src=" + shop_database(), "--db2schema=shop", "--dump",
                              "--dest=" + dest, "--silent"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    EXPECT_NE(read_file(dest).find("INSERT INTO `SHIPMENTS`"), std::string::npos);
}
