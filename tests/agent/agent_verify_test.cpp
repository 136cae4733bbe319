// Proof of a copy: the agent compares the MySQL database with the DB2 schema value by value,
// after a direct run and on its own against a loaded dump, and names each difference a user
// could make to the copy, in tables with and without a key.

#include "agent_fixture.hpp"
#include "db2_fixture.hpp"

#include <gtest/gtest.h>

#include <unistd.h>

using namespace agent_test;

namespace {

// Hostile values in a keyed table, a table without a key (duplicate rows included) and a
// table whose name MySQL cannot take as it stands.
const char* const verify_script =
    "CREATE SCHEMA V;\n"
    "CREATE TABLE V.VK (ID INTEGER NOT NULL PRIMARY KEY, T VARCHAR(40), D DOUBLE, R REAL, TS TIMESTAMP(6),"
    " N DECIMAL(12,3), TM TIME);\n"
    "CREATE TABLE V.VN (K INTEGER, T VARCHAR(40), D DOUBLE, TS TIMESTAMP(6));\n"
    "CREATE TABLE V.\"T;1\" (K INTEGER NOT NULL PRIMARY KEY, C VARCHAR(5));\n"
    "INSERT INTO V.VK VALUES (1, 'it''s a\\b\r\n\x1A end ', 0.1, 3.1415927, '2024-01-02-03.04.05.123456',"
    " -0.000, '00:00:00');\n"
    "INSERT INTO V.VK VALUES (2, '', 1E300, -1.5E-30, '2000-01-01-24.00.00.000000', 123456789.123, '24:00:00');\n"
    "INSERT INTO V.VK VALUES (3, NULL, NULL, NULL, NULL, NULL, NULL);\n"
    "INSERT INTO V.VK VALUES (4, 'Gr\xC3\xBC\xC3\x9F" "e \xF0\x9F\x98\x80', -0.0, 16777217,"
    " '0001-01-01-00.00.00.000001', 0.001, '23:59:59');\n"
    "INSERT INTO V.VN VALUES (1, 'a\rb', 0.1, '2024-01-02-03.04.05.999999');\n"
    "INSERT INTO V.VN VALUES (2, 'x', 5E-324, '9999-12-31-23.59.59.999999');\n"
    "INSERT INTO V.VN VALUES (2, 'x', 5E-324, '9999-12-31-23.59.59.999999');\n"
    "INSERT INTO V.VN VALUES (NULL, NULL, NULL, NULL);\n"
    "INSERT INTO V.\"T;1\" VALUES (1, 'one');\n";

const std::string& verify_database() {
    static const std::string name = [] {
        shop_database(); // points this process at the stand-in
        db2_test::create_database("VERIFYDB", verify_script);
        return std::string("VERIFYDB");
    }();
    return name;
}

class AgentVerify : public ::testing::Test {
protected:
    scratch_dir dir;
    run_result run(const std::string& source, const char* schema, const sql_test_server& server,
                   const std::string& database, std::vector<std::string> extra) {
        std::vector<std::string> args{"--src=" + source, std::string("--db2schema=") + schema, "--dest=" + database};
        for (auto& option : server_options(server)) args.push_back(option);
        for (auto& option : extra) args.push_back(option);
        return run_agent(args, dir.file("config"));
    }
    static std::string database_name(const char* what) {
        return std::string("vfy_") + what + "_" + std::to_string(getpid());
    }
};

} // namespace

TEST_F(AgentVerify, ShopIsIdenticalAfterBothModes) {
    SQL_REQUIRE_SERVER(server);
    const char* const summary = "Verified 8 tables: 8 identical, 0 differ\n";

    const std::string direct = database_name("direct");
    drop_database drop_direct{server, direct};
    run_result r = run(shop_database(), "SHOP", server, direct, {"--verify"});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("Table ORDER_LINES: identical (3756 rows)\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(summary), std::string::npos) << r.out;

    const std::string dump = dir.file("shop.sql"), loaded = database_name("dump");
    drop_database drop_loaded{server, loaded};
    r = run_agent({"--src=" + shop_database(), "--db2schema=SHOP", "--dump", "--dest=" + dump}, dir.file("config"));
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    std::string printed;
    ASSERT_EQ(load_dump(server, loaded, dump, printed), 0) << printed;
    r = run(shop_database(), "SHOP", server, loaded, {"--verify_only"});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out.find("Converting"), std::string::npos) << "--verify_only converts nothing: " << r.out;
    EXPECT_NE(r.out.find(summary), std::string::npos) << r.out;
}

TEST_F(AgentVerify, EveryChangeToTheCopyIsFoundWithItsKeyAndColumn) {
    SQL_REQUIRE_SERVER(server);
    const std::string database = database_name("changes");
    drop_database dropper{server, database};
    run_result r = run(verify_database(), "V", server, database, {"--verify"});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("Table T;1 (MySQL "), std::string::npos) << "the renamed table is found: " << r.out;
    EXPECT_NE(r.out.find("Verified 3 tables: 3 identical, 0 differ\n"), std::string::npos) << r.out;

    struct change {
        const char* what;
        const char* statement;
        const char* line; // the table's verdict
        const char* example;
    };
    const char* const keyed_different = "Table VK: 0 missing, 0 extra, 1 different rows (4 rows in DB2, 4 in MySQL)";
    const char* const unkeyed_different = "Table VN: 0 missing, 0 extra, 1 different rows (4 rows in DB2, 4 in MySQL)";
    const change changes[] = {
        {"value", "UPDATE VK SET N = 0.002 WHERE ID = 4", keyed_different, "different row ID=4: column N: DB2 0.001, MySQL 0.002"},
        {"deleted", "DELETE FROM VK WHERE ID = 3", "Table VK: 1 missing, 0 extra, 0 different rows (4 rows in DB2, 3 in MySQL)",
         "missing row ID=3"},
        {"added", "INSERT INTO VK (ID) VALUES (99)", "Table VK: 0 missing, 1 extra, 0 different rows (4 rows in DB2, 5 in MySQL)",
         "extra row ID=99"},
        {"text cut", "UPDATE VK SET T = LEFT(T, CHAR_LENGTH(T) - 1) WHERE ID = 4", keyed_different,
         "different row ID=4: column T: DB2 'Gr\xC3\xBC\xC3\x9F" "e \xF0\x9F\x98\x80', MySQL 'Gr\xC3\xBC\xC3\x9F" "e '"},
        {"double's last digit", "UPDATE VK SET D = 0.10000000000000002 WHERE ID = 1", keyed_different,
         "different row ID=1: column D"},
        {"real's last digit", "UPDATE VK SET R = 3.1415925 WHERE ID = 1", keyed_different, "different row ID=1: column R"},
        {"fraction cut", "UPDATE VK SET TS = '2024-01-02 03:04:05.12345' WHERE ID = 1", keyed_different,
         "different row ID=1: column TS: DB2 '2024-01-02 03:04:05.123456', MySQL '2024-01-02 03:04:05.12345'"},
        {"time", "UPDATE VK SET TM = '23:59:58' WHERE ID = 2", keyed_different, "different row ID=2: column TM"},
        {"value, no key", "UPDATE VN SET D = 0.2 WHERE K = 1", unkeyed_different,
         "different row (K=1, T='a\\rb', D=1.0000000000000001e-01, ...): column D"},
        {"deleted, no key", "DELETE FROM VN WHERE K = 2 LIMIT 1",
         "Table VN: 1 missing, 0 extra, 0 different rows (4 rows in DB2, 3 in MySQL)", "missing row (K=2, T='x'"},
        {"added, no key", "INSERT INTO VN (K) VALUES (99)",
         "Table VN: 0 missing, 1 extra, 0 different rows (4 rows in DB2, 5 in MySQL)", "extra row (K=99, T=NULL"},
        {"text cut, no key", "UPDATE VN SET T = LEFT(T, 2) WHERE K = 1", unkeyed_different,
         "different row (K=1, T='a\\rb', D=1.0000000000000001e-01, ...): column T: DB2 'a\\rb', MySQL 'a\\r'"},
        {"double's last digit, no key", "UPDATE VN SET D = 1E-323 WHERE K = 2 LIMIT 1", unkeyed_different,
         "different row (K=2, T='x', D=4.9406564584124654e-324, ...): column D"},
        {"fraction cut, no key", "UPDATE VN SET TS = '2024-01-02 03:04:05.99999' WHERE K = 1", unkeyed_different,
         "different row (K=1, T='a\\rb', D=1.0000000000000001e-01, ...): column TS: DB2 '2024-01-02 03:04:05.999999',"
         " MySQL '2024-01-02 03:04:05.99999'"},
    };
    sql_connection c;
    ASSERT_TRUE(connect(c, server));
    for (const change& k : changes) {
        SCOPED_TRACE(k.what);
        ASSERT_EQ(run(verify_database(), "V", server, database, {"--mode=0"}).status, 0);
        ASSERT_TRUE(c.select_db(database)) << c.error();
        ASSERT_TRUE(c.query(k.statement)) << c.error();
        r = run(verify_database(), "V", server, database, {"--verify_only"});
        EXPECT_EQ(r.status, 1) << r.out << r.err;
        EXPECT_NE(r.out.find(std::string(k.line) + "\n  " + k.example), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("Verified 3 tables: 2 identical, 1 differs\n"), std::string::npos) << r.out;
    }
}
