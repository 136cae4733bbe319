// The stand-in's feature sample converted by the agent in both modes: tables and columns whose
// names differ only in letter case arrive whole, the second of each pair under its mapped
// name, and custom queries that filter and order by DATE, TIME and TIMESTAMP bring DB2's rows.

#include "agent_fixture.hpp"
#include "db2_fixture.hpp"

#include <gtest/gtest.h>

#include <unistd.h>

using namespace agent_test;

namespace {

const std::string& cases_database() {
    static const std::string name = sample_database("CASEDB", "db2_features.sql");
    return name;
}

// Each query's rows in DB2's order; values compared as the dump writes them.
struct query_case {
    const char* name;
    const char* select;
    const char* dump_rows;  // the VALUES of the query's INSERT in the dump
};
const query_case queries[] = {
    {"BY_DATE", "SELECT ID FROM CASES.\"ORDERS\" WHERE PLACED BETWEEN '01/01/2024' AND DATE '2024-02-29' ORDER BY PLACED DESC",
     "VALUES(1), (2);"},
    {"BY_TIME", "SELECT ID FROM CASES.\"ORDERS\" WHERE STARTS < '12:00:00' OR STARTS = '12.00.00' ORDER BY STARTS DESC",
     "VALUES(3), (1);"},
    {"BY_STAMP", "SELECT ID FROM CASES.\"ORDERS\" WHERE STAMP > '2024-01-31 23:59:59.999999999998' ORDER BY STAMP",
     "VALUES(2), (1);"},
};

// The profile of a run; `server` given: direct mode into it.
std::string profile_text(const std::string& dest, const sql_test_server* server) {
    std::string text = "[DB2 settings]\r\nschema=CASES\r\n\r\n[Generic settings]\r\nsrc=" + cases_database() +
                       "\r\ndest=" + dest + "\r\n\r\n[MySQL settings]\r\ndirect mode=" + (server ? "1" : "0") + "\r\n";
    if (server) {
        text += "host=" + server->host + "\r\nport=" + std::to_string(server->port) + "\r\nuser=" + server->user +
                "\r\npassword=" + server->password + "\r\n";
    }
    text += "\r\n[Selected Tables]\r\nORDERS\r\nOrders\r\nPAIRS\r\n";
    for (const auto& q : queries) text += std::string(q.name) + "=" + q.select + "\r\n";
    return text;
}

const char* const run_lines = "Converting database CASEDB(3 tables)\n"
                              "Converting table BY_DATE(0 records)\n"
                              "Converting table BY_STAMP(0 records)\n"
                              "Converting table BY_TIME(0 records)\n"
                              "Converting table ORDERS(4 records)\n"
                              "Converting table Orders(2 records)\n"
                              "Converting table PAIRS(2 records)\n"
                              // The source reads no view definitions and names its views.
                              "Error:\nView RECENT_ORDERS is not converted\n";

std::vector<std::string> column_of(sql_connection& c, const std::string& statement) {
    std::vector<std::string> out;
    EXPECT_TRUE(c.query(statement)) << statement << ": " << c.error();
    sql_result result = c.store_result();
    if (!result) return out;
    while (MYSQL_ROW row = mysql_fetch_row(result.get())) {
        std::string line;
        for (unsigned i = 0; i < mysql_num_fields(result.get()); ++i) {
            line += (i ? "|" : "") + std::string(row[i] ? row[i] : "<null>");
        }
        out.push_back(line);
    }
    return out;
}

class AgentCases : public ::testing::Test {
protected:
    scratch_dir dir;
    run_result run(const std::vector<std::string>& args) { return run_agent(args, dir.file("config")); }
};

} // namespace

TEST_F(AgentCases, DumpKeepsBothNamesOfEachPairAndTheQueriesRows) {
    const std::string profile = dir.file("cases.kvp"), dest = dir.file("cases.sql");
    write_file(profile, profile_text(dest, nullptr));
    const run_result r = run({"--profile=" + profile});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out, run_lines);
    const std::string dump = read_file(dest);
    for (const char* expected :
         {"CREATE TABLE `ORDERS` (", "CREATE TABLE `Orders00000` (", "`placed00000` DATETIME",
          "`a` VARCHAR(10)", "`A00000` VARCHAR(10)",
          "INSERT INTO `Orders00000`(`ID`, `Placed`, `placed00000`) VALUES(1, '2024-03-01', '2024-03-01 08:30:00'), (2, NULL, NULL);",
          "VALUES(1, 'lower', 'UPPER', 'é  ', 3, 1.50, 4.50, 'first'), (2, 'x', 'X', 'ab ', 0, 99.99, 0.00, NULL);",
          "'2024-02-29 13:14:15.123456', 'leap day'), (2, '2024-01-31',"}) {
        EXPECT_NE(dump.find(expected), std::string::npos) << expected;
    }
    for (const auto& q : queries) {
        const auto at = dump.find("INSERT INTO `" + std::string(q.name) + "`");
        ASSERT_NE(at, std::string::npos) << q.name;
        EXPECT_EQ(dump.substr(dump.find("VALUES(", at), std::string(q.dump_rows).size()), q.dump_rows) << q.name;
    }
}

TEST_F(AgentCases, DirectModeKeepsBothNamesOfEachPairAndTheQueriesRows) {
    SQL_REQUIRE_SERVER(server);
    const std::string database = "vdx_cases_" + std::to_string(getpid());
    drop_database dropper{server, database};
    const std::string profile = dir.file("cases.kvp");
    write_file(profile, profile_text(database, &server));
    const run_result r = run({"--profile=" + profile});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out, run_lines);
    sql_connection c;
    ASSERT_TRUE(connect(c, server));
    ASSERT_TRUE(c.query("USE `" + database + "`")) << c.error();
    EXPECT_EQ(column_of(c, "SELECT ID, PLACED, NOTE FROM `ORDERS` WHERE ID < 4 ORDER BY ID"),
              (std::vector<std::string>{"1|2024-02-29|leap day", "2|2024-01-31|month end\nsecond line",
                                        "3|1999-12-31|ababab"}));
    EXPECT_EQ(column_of(c, "SELECT ID, Placed, placed00000 FROM `Orders00000` ORDER BY ID"),
              (std::vector<std::string>{"1|2024-03-01|2024-03-01 08:30:00.000000", "2|<null>|<null>"}));
    EXPECT_EQ(column_of(c, "SELECT `a`, `A00000`, TOTAL FROM PAIRS ORDER BY ID"),
              (std::vector<std::string>{"lower|UPPER|4.50", "x|X|0.00"}));
    EXPECT_EQ(column_of(c, "SELECT ID FROM BY_DATE"), (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(column_of(c, "SELECT ID FROM BY_TIME"), (std::vector<std::string>{"3", "1"}));
    EXPECT_EQ(column_of(c, "SELECT ID FROM BY_STAMP"), (std::vector<std::string>{"2", "1"}));
    // The verification finds every table and query under the names the run gave them.
    const run_result v = run({"--profile=" + profile, "--verify_only"});
    EXPECT_EQ(v.status, 0) << v.out << v.err;
    EXPECT_NE(v.out.find("Table Orders (MySQL Orders00000): identical (2 rows)\n"), std::string::npos) << v.out;
    EXPECT_NE(v.out.find("Verified 6 tables: 6 identical, 0 differ\n"), std::string::npos) << v.out;
}
