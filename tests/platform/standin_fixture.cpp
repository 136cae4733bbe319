#include "standin_fixture.hpp"

#include "tk_utils.hpp"

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace standin_test {

// The toolkit's strict conversions, independent of the stand-in's own.
std::u16string w(const std::string& s) { return tk_from_utf8(s); }

std::string narrow(const SQLWCHAR* s) { return tk_to_utf8(std::u16string_view(s)); }

std::vector<diag> diagnostics(SQLSMALLINT type, SQLHANDLE h) {
    std::vector<diag> out;
    SQLWCHAR state[6];
    SQLINTEGER native = 0;
    SQLWCHAR message[1025];
    SQLSMALLINT length = 0;
    for (SQLSMALLINT i = 1;
         SQLGetDiagRecW(type, h, i, state, &native, message, 1025, &length) == SQL_SUCCESS; ++i) {
        out.push_back({narrow(state), native, narrow(message)});
    }
    return out;
}

int run_tool(const std::string& args) {
    const std::string command = std::string(DB2STANDIN_TOOL) + " " + args + " > /dev/null";
    return std::system(command.c_str());
}

void standin::SetUp() {
    char pattern[] = "/tmp/db2standin-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
    dsn_ = folder_ + "/TESTDB";
    ASSERT_EQ(run_tool("create " + dsn_), 0);
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_), SQL_SUCCESS);
    ASSERT_EQ(SQLSetEnvAttrW(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(std::intptr_t{3}), 0), SQL_SUCCESS);
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_), SQL_SUCCESS);
    ASSERT_EQ(SQLSetConnectAttrW(dbc_, SQL_ATTR_CONNECTTYPE, reinterpret_cast<SQLPOINTER>(std::intptr_t{1}), SQL_NTS), SQL_SUCCESS);
    ASSERT_EQ(connect(dbc_, dsn_, "tester", "secret"), SQL_SUCCESS);
}

void standin::TearDown() {
    for (SQLHSTMT st : statements_) SQLFreeHandle(SQL_HANDLE_STMT, st);
    if (dbc_) {
        SQLDisconnect(dbc_);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    }
    if (env_) SQLFreeHandle(SQL_HANDLE_ENV, env_);
    EXPECT_EQ(db2standin_live_handles(), 0) << "a handle leaked";
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
}

SQLRETURN standin::connect(SQLHDBC dbc, const std::string& dsn, const std::string& user,
                           const std::string& password) {
    std::u16string d = w(dsn), u = w(user), p = w(password);
    return SQLConnectW(dbc, d.data(), SQL_NTS, u.data(), SQL_NTS, p.data(), SQL_NTS);
}

SQLHSTMT standin::new_statement() {
    SQLHSTMT st = 0;
    EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &st), SQL_SUCCESS);
    statements_.push_back(st);
    return st;
}

void standin::free_statement(SQLHSTMT st) {
    SQLFreeHandle(SQL_HANDLE_STMT, st);
    std::erase(statements_, st);
}

SQLINTEGER standin::native_of(const std::string& sql) {
    SQLHSTMT st = new_statement();
    std::u16string text = w(sql);
    const SQLRETURN rc = SQLExecDirectW(st, text.data(), SQL_NTS);
    const auto d = diagnostics(SQL_HANDLE_STMT, st);
    free_statement(st);
    return rc == SQL_ERROR && !d.empty() ? d[0].native : 0;
}

SQLRETURN standin::exec(const std::string& sql) {
    SQLHSTMT st = new_statement();
    std::u16string text = w(sql);
    const SQLRETURN rc = SQLExecDirectW(st, text.data(), SQL_NTS);
    if (rc != SQL_SUCCESS && rc != SQL_NO_DATA) {
        for (const auto& d : diagnostics(SQL_HANDLE_STMT, st)) ADD_FAILURE() << sql << "\n" << d.message;
    }
    free_statement(st);
    return rc;
}

void standin::must(const std::string& sql) {
    SQLHSTMT st = new_statement();
    std::u16string text = w(sql);
    const SQLRETURN rc = SQLExecDirectW(st, text.data(), SQL_NTS);
    if (rc != SQL_SUCCESS) {
        std::string why;
        for (const auto& d : diagnostics(SQL_HANDLE_STMT, st)) why += d.message;
        ADD_FAILURE() << sql << "\n" << why;
    }
    free_statement(st);
}

std::vector<std::vector<std::string>> standin::rows_of(SQLHSTMT st) {
    std::vector<std::vector<std::string>> out;
    SQLSMALLINT cols = 0;
    EXPECT_EQ(SQLNumResultCols(st, &cols), SQL_SUCCESS);
    while (SQLFetch(st) == SQL_SUCCESS) {
        std::vector<std::string> row;
        for (SQLUSMALLINT c = 1; c <= cols; ++c) {
            SQLWCHAR buf[4096];
            SQLLEN ind = 0;
            const SQLRETURN rc = SQLGetData(st, c, SQL_C_WCHAR, buf, sizeof buf, &ind);
            EXPECT_EQ(rc, SQL_SUCCESS);
            row.push_back(ind == SQL_NULL_DATA ? "<null>" : narrow(buf));
        }
        out.push_back(std::move(row));
    }
    return out;
}

std::vector<std::vector<std::string>> standin::rows(const std::string& sql) {
    SQLHSTMT st = new_statement();
    std::u16string text = w(sql);
    const SQLRETURN rc = SQLExecDirectW(st, text.data(), SQL_NTS);
    if (rc != SQL_SUCCESS) {
        for (const auto& d : diagnostics(SQL_HANDLE_STMT, st)) ADD_FAILURE() << sql << "\n" << d.message;
        free_statement(st);
        return {};
    }
    auto out = rows_of(st);
    free_statement(st);
    return out;
}

}  // namespace standin_test
