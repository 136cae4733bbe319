#pragma once
// A fresh stand-in database per test, reached through the C interface like any client; the
// fixture checks after every test that no handle was left alive.

#include "db2_cli_direct.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace standin_test {

std::u16string w(const std::string& s);
std::string narrow(const SQLWCHAR* s);

struct diag {
    std::string state;
    SQLINTEGER native = 0;
    std::string message;
};

/// All diagnostic records of a handle.
std::vector<diag> diagnostics(SQLSMALLINT type, SQLHANDLE h);

/// Runs the db2standin tool with `args`; returns its exit status.
int run_tool(const std::string& args);

class standin : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    /// Connects a new connection handle to `dsn`; returns the connect's return code.
    SQLRETURN connect(SQLHDBC dbc, const std::string& dsn, const std::string& user = "",
                      const std::string& password = "");
    SQLHSTMT new_statement();
    void free_statement(SQLHSTMT st);
    /// Executes on a fresh statement and frees it; the return code of the execution.
    SQLRETURN exec(const std::string& sql);
    /// Executes on a fresh statement: the native error of a failure, 0 for anything else.
    SQLINTEGER native_of(const std::string& sql);
    /// Executes and expects success, reporting the server's message otherwise.
    void must(const std::string& sql);
    /// Every row of a query as text (NULL as "<null>"), read with SQLGetData.
    std::vector<std::vector<std::string>> rows(const std::string& sql);
    /// The rows of a statement that already holds a result set.
    std::vector<std::vector<std::string>> rows_of(SQLHSTMT st);

    std::string folder_;
    std::string dsn_;
    SQLHENV env_ = 0;
    SQLHDBC dbc_ = 0;
    std::vector<SQLHSTMT> statements_;
};

}  // namespace standin_test
