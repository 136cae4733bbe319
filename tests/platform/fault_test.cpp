// Fault injection and handle accounting, which the DB2 reader's own tests rely on.

#include "standin_fixture.hpp"

#include <cstdlib>

namespace standin_test {
namespace {

class fault_test : public standin {
protected:
    void TearDown() override {
        unsetenv("DB2STANDIN_FAULTS");
        standin::TearDown();
    }
};

TEST_F(fault_test, TheNthCallFailsWithTheGivenDiagnostic) {
    must("CREATE TABLE T (A INTEGER)");
    must("INSERT INTO T VALUES (1), (2), (3)");
    setenv("DB2STANDIN_FAULTS", "SQLFetch:2:40003:-30081", 1);
    SQLHSTMT st = new_statement();
    std::u16string q = u"SELECT A FROM T";
    ASSERT_EQ(SQLExecDirectW(st, q.data(), SQL_NTS), SQL_SUCCESS);
    EXPECT_EQ(SQLFetch(st), SQL_SUCCESS);
    EXPECT_EQ(SQLFetch(st), SQL_ERROR);
    const auto d = diagnostics(SQL_HANDLE_STMT, st);
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d[0].state, "40003");
    EXPECT_EQ(d[0].native, -30081);
    EXPECT_EQ(d[0].message.rfind("[IBM][CLI Driver][DB2/LINUXX8664] SQL30081N  ", 0), 0u) << d[0].message;
    // The failed call consumed nothing: the next fetch returns the second row.
    SQLINTEGER a = 0;
    SQLLEN ind = 0;
    SQLBindCol(st, 1, SQL_C_LONG, &a, 4, &ind);
    EXPECT_EQ(SQLFetch(st), SQL_SUCCESS);
    EXPECT_EQ(a, 2);
}

TEST_F(fault_test, WarningsSucceedWithInformation) {
    setenv("DB2STANDIN_FAULTS", "SQLConnectW:1:01S00:-99999:warn;SQLAllocHandle:2:HY001:-99999", 1);
    SQLHDBC dbc = 0;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc), SQL_SUCCESS);
    EXPECT_EQ(connect(dbc, dsn_), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(diagnostics(SQL_HANDLE_DBC, dbc).at(0).state, "01S00");
    SQLHSTMT st = 0;
    EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st), SQL_ERROR);
    EXPECT_EQ(diagnostics(SQL_HANDLE_DBC, dbc).at(0).state, "HY001");
    SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
}

TEST_F(fault_test, AMissingClientLibraryCanBeSimulated) {
    setenv("DB2STANDIN_FAULTS", "SQLAllocHandle:1:HY000:-99999", 1);
    SQLHENV env = 77;
    EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env), SQL_ERROR);
    EXPECT_EQ(env, SQL_NULL_HANDLE);
}

TEST_F(fault_test, AWarningOnAFreeDoesNotOutliveTheHandle) {
    setenv("DB2STANDIN_FAULTS", "SQLFreeHandle:1:01000:-99999:warn;SQLFreeStmt:1:01000:-99999:warn", 1);
    SQLHSTMT a = 0, b = 0;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &a), SQL_SUCCESS);
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &b), SQL_SUCCESS);
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_STMT, a), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(SQLFreeStmt(b, SQL_DROP), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(db2standin_live_handles(), 2);
}

TEST_F(fault_test, LiveHandlesAreCounted) {
    const int before = db2standin_live_handles();
    EXPECT_EQ(before, 2);  // the fixture's environment and connection
    SQLHSTMT st = 0;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &st), SQL_SUCCESS);
    EXPECT_EQ(db2standin_live_handles(), before + 1);
    ASSERT_EQ(SQLFreeStmt(st, SQL_DROP), SQL_SUCCESS);
    EXPECT_EQ(db2standin_live_handles(), before);
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_STMT, st), SQL_INVALID_HANDLE);
}

TEST(sample, ShopBuildsWithOneCommand) {
    const char* from_env = std::getenv("DUNMERE_SOURCE_DIR");
    const char* source = from_env ? from_env : DUNMERE_SOURCE_TREE;
    char pattern[] = "/tmp/db2standin-shop-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string folder = std::string(pattern) + "/SHOPDB";
    ASSERT_EQ(run_tool("create " + folder + " " + source + "/samples/shop.sql"), 0);
    const std::string out = std::string(pattern) + "/out.txt";
    ASSERT_EQ(std::system((std::string(DB2STANDIN_TOOL) + " query " + folder +
                           " 'SELECT count(*) FROM SHOP.ORDER_LINES' > " + out).c_str()), 0);
    std::FILE* f = std::fopen(out.c_str(), "r");
    ASSERT_NE(f, nullptr);
    char header[32] = {}, count[32] = {};
    ASSERT_EQ(std::fscanf(f, "%31s %31s", header, count), 2);
    std::fclose(f);
    EXPECT_GT(std::atoi(count), 1000);
    std::system((std::string("rm -rf ") + pattern).c_str());
}

}  // namespace
}  // namespace standin_test
