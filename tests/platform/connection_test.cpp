// Connecting: the ABI the handles travel in, how data source names resolve, and DB2's
// diagnostics for the connection failures a user meets.

#include "standin_fixture.hpp"

#include <cstddef>

namespace standin_test {
namespace {

// The 64-bit Linux CLI flavour: 32-bit lengths and handles, UTF-16 text, natural alignment.
static_assert(sizeof(SQLLEN) == 4 && sizeof(SQLULEN) == 4);
static_assert(sizeof(SQLHANDLE) == 4 && sizeof(SQLHSTMT) == 4);
static_assert(sizeof(SQLSMALLINT) == 2 && sizeof(SQLINTEGER) == 4 && sizeof(SQLWCHAR) == 2);
static_assert(offsetof(TIMESTAMP_STRUCT, fraction) == 12 && sizeof(TIMESTAMP_STRUCT) == 16);
static_assert(SQL_LEN_DATA_AT_EXEC(10) == -110);

class connection_test : public standin {
protected:
    SQLHDBC other_connection() {
        SQLHDBC dbc = 0;
        EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc), SQL_SUCCESS);
        return dbc;
    }
    void release(SQLHDBC dbc) { SQLFreeHandle(SQL_HANDLE_DBC, dbc); }
};

TEST_F(connection_test, HandlesAreSmallIntegersAndStatementsNeedAConnection) {
    EXPECT_GT(dbc_, 0);
    EXPECT_LT(dbc_, 1000000);
    SQLHDBC dbc = other_connection();
    SQLHSTMT st = 0;
    EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st), SQL_ERROR);
    EXPECT_EQ(diagnostics(SQL_HANDLE_DBC, dbc).at(0).state, "08003");
    EXPECT_EQ(SQLFetch(123456), SQL_INVALID_HANDLE);
    // A connection still open keeps its environment from being freed.
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_ENV, env_), SQL_ERROR);
    EXPECT_EQ(diagnostics(SQL_HANDLE_ENV, env_).at(0).state, "HY010");
    release(dbc);
}

TEST_F(connection_test, UnknownDatabaseIsSql1013WithoutServerTag) {
    SQLHDBC dbc = other_connection();
    EXPECT_EQ(connect(dbc, "NOSUCHDB"), SQL_ERROR);
    const auto d = diagnostics(SQL_HANDLE_DBC, dbc);
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d[0].state, "08001");
    EXPECT_EQ(d[0].native, -1013);
    EXPECT_EQ(d[0].message,
              "[IBM][CLI Driver] SQL1013N  The database alias name or database name \"NOSUCHDB\" "
              "could not be found.  SQLSTATE=42705");
    release(dbc);
}

TEST_F(connection_test, NamesResolveUnderTheHomeFolderCaseInsensitively) {
    ASSERT_EQ(run_tool("create " + folder_ + "/HOMEDB"), 0);
    setenv("DB2STANDIN_HOME", folder_.c_str(), 1);
    SQLHDBC dbc = other_connection();
    EXPECT_EQ(connect(dbc, "homedb"), SQL_SUCCESS);
    SQLDisconnect(dbc);
    release(dbc);
    unsetenv("DB2STANDIN_HOME");
}

TEST_F(connection_test, UsersArePasswordCheckedOnceTheDatabaseHasAny) {
    // SetUp connected with any user: the database had none.
    ASSERT_EQ(run_tool("adduser " + dsn_ + " alice 's3cret pass'"), 0);
    SQLHDBC dbc = other_connection();
    EXPECT_EQ(connect(dbc, dsn_, "ALICE", "wrong"), SQL_ERROR);
    const auto d = diagnostics(SQL_HANDLE_DBC, dbc);
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d[0].native, -30082);
    EXPECT_EQ(d[0].state, "08001");
    EXPECT_EQ(d[0].message,
              "[IBM][CLI Driver] SQL30082N  Security processing failed with reason \"24\" "
              "(\"USERNAME AND/OR PASSWORD INVALID\").  SQLSTATE=08001");
    EXPECT_EQ(connect(dbc, dsn_, "bob", "s3cret pass"), SQL_ERROR);
    // User names fold to upper case as DB2 authorization names do; passwords do not.
    EXPECT_EQ(connect(dbc, dsn_, "alice", "S3CRET PASS"), SQL_ERROR);
    EXPECT_EQ(connect(dbc, dsn_, "alice", "s3cret pass"), SQL_SUCCESS);
    // Connecting twice without a disconnect is refused.
    EXPECT_EQ(connect(dbc, dsn_, "alice", "s3cret pass"), SQL_ERROR);
    EXPECT_EQ(diagnostics(SQL_HANDLE_DBC, dbc).at(0).state, "08002");
    SQLDisconnect(dbc);
    release(dbc);
}

TEST_F(connection_test, StoppedDatabaseIsSql1032) {
    ASSERT_EQ(run_tool("stop " + dsn_), 0);
    SQLHDBC dbc = other_connection();
    EXPECT_EQ(connect(dbc, dsn_), SQL_ERROR);
    const auto d = diagnostics(SQL_HANDLE_DBC, dbc);
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d[0].native, -1032);
    EXPECT_EQ(d[0].message,
              "[IBM][CLI Driver] SQL1032N  No start database manager command was issued.  "
              "SQLSTATE=57019");
    ASSERT_EQ(run_tool("start " + dsn_), 0);
    EXPECT_EQ(connect(dbc, dsn_), SQL_SUCCESS);
    SQLDisconnect(dbc);
    release(dbc);
}

TEST_F(connection_test, DisconnectFreesStatementsAndRollsBackOpenWork) {
    must("CREATE TABLE T (A INTEGER)");
    ASSERT_EQ(SQLSetConnectAttrW(dbc_, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(std::intptr_t{0}), 0), SQL_SUCCESS);
    must("INSERT INTO T VALUES (1)");
    SQLHSTMT st = 0;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &st), SQL_SUCCESS);
    const int before = db2standin_live_handles();
    ASSERT_EQ(SQLDisconnect(dbc_), SQL_SUCCESS);
    EXPECT_EQ(db2standin_live_handles(), before - 1);
    ASSERT_EQ(connect(dbc_, dsn_, "tester"), SQL_SUCCESS);
    EXPECT_EQ(rows("SELECT count(*) FROM T").at(0).at(0), "0");
}

TEST_F(connection_test, EndTranCommitsAndRollsBack) {
    must("CREATE TABLE T (A INTEGER)");
    ASSERT_EQ(SQLSetConnectAttrW(dbc_, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(std::intptr_t{0}), 0), SQL_SUCCESS);
    must("INSERT INTO T VALUES (1)");
    ASSERT_EQ(SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_COMMIT), SQL_SUCCESS);
    must("INSERT INTO T VALUES (2)");
    EXPECT_EQ(rows("SELECT count(*) FROM T").at(0).at(0), "2");
    ASSERT_EQ(SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_ROLLBACK), SQL_SUCCESS);
    EXPECT_EQ(rows("SELECT count(*) FROM T").at(0).at(0), "1");
}

}  // namespace
}  // namespace standin_test
