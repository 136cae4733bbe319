// The db2standin tool: its generator makes a deterministic table a client can read at once, and
// it runs the feature sample, a DB2 script using every statement the stand-in offers.

#include "standin_fixture.hpp"

namespace standin_test {
namespace {

using tool_test = standin;

TEST_F(tool_test, GeneratorFillsADeterministicTableOfMixedTypes) {
    ASSERT_EQ(run_tool("generate " + dsn_ + " BENCH.ROWS 250"), 0);
    EXPECT_EQ(rows("SELECT count(*), count(AMOUNT), count(BIRTH), count(NOTE) FROM BENCH.ROWS"),
              (std::vector<std::vector<std::string>>{{"250", "236", "228", "200"}}));
    const auto first = rows("SELECT ID, NAME, CODE FROM BENCH.ROWS WHERE ID = 1");
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(first[0][2], "C000001 ");
    // The same command makes the same rows in another database.
    const std::string other = folder_ + "/OTHER";
    ASSERT_EQ(run_tool("create " + other), 0);
    ASSERT_EQ(run_tool("generate " + other + " BENCH.ROWS 250"), 0);
    SQLHDBC dbc = 0;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc), SQL_SUCCESS);
    ASSERT_EQ(connect(dbc, other, "tester"), SQL_SUCCESS);
    SQLHSTMT st = 0;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st), SQL_SUCCESS);
    std::u16string q = u"SELECT ID, NAME, CODE FROM BENCH.ROWS WHERE ID = 1";
    ASSERT_EQ(SQLExecDirectW(st, q.data(), SQL_NTS), SQL_SUCCESS);
    EXPECT_EQ(rows_of(st), first);
    SQLFreeHandle(SQL_HANDLE_STMT, st);
    SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    // Generating over an existing table is refused rather than mixing rows.
    EXPECT_NE(run_tool("generate " + dsn_ + " BENCH.ROWS 10"), 0);
}

TEST_F(tool_test, RunsTheFeatureSample) {
    ASSERT_EQ(run_tool("run " + dsn_ + " " DUNMERE_SOURCE_TREE "/samples/db2_features.sql"), 0);
    EXPECT_EQ(rows("SELECT TABNAME, TYPE FROM SYSCAT.TABLES WHERE TABSCHEMA = 'CASES' ORDER BY TABNAME"),
              (std::vector<std::vector<std::string>>{{"ORDERS", "T"}, {"Orders", "T"}, {"PAIRS", "T"}, {"RECENT_ORDERS", "V"}}));
    EXPECT_EQ(rows("SELECT ID, NEXT_DAY FROM CASES.RECENT_ORDERS WHERE ID < 4 ORDER BY PLACED"),
              (std::vector<std::vector<std::string>>{{"2", "2024-02-01"}, {"1", "2024-03-01"}}));
    EXPECT_EQ(rows("SELECT \"a\", \"A\", TOTAL FROM CASES.PAIRS ORDER BY ID"),
              (std::vector<std::vector<std::string>>{{"lower", "UPPER", "4.50"}, {"x", "X", "0.00"}}));
    // Run again, the script stops at its first statement: the schema exists.
    EXPECT_NE(run_tool("run " + dsn_ + " " DUNMERE_SOURCE_TREE "/samples/db2_features.sql"), 0);
}

}  // namespace
}  // namespace standin_test
