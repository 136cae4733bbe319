#pragma once
// Where the server tests find their MySQL server, and what they do when there is none: CI
// (CI_MARIADB_REQUIRED=1) starts a private server and a missing one is a failure there;
// elsewhere the tests are skipped.

#include <gtest/gtest.h>

#include <optional>
#include <string>

struct sql_test_server {
    std::string host;
    int port = 0;
    std::string user;
    std::string password;
};

/// The server named by DUNMERE_MYSQL_HOST/PORT/USER/PASSWORD if it answers; probed once.
const std::optional<sql_test_server>& sql_find_test_server();
/// Why no server was found, for the skip or failure message.
const std::string& sql_test_server_problem();
/// Whether CI demands a server.
bool sql_test_server_required();

/// Binds `var` to the server, or ends the test: a failure when CI demands a server, else a skip.
#define SQL_REQUIRE_SERVER(var)                                                              \
    if (!sql_find_test_server()) {                                                           \
        if (sql_test_server_required()) FAIL() << "MySQL server required: " << sql_test_server_problem(); \
        GTEST_SKIP() << "no MySQL server: " << sql_test_server_problem();                    \
    }                                                                                        \
    const sql_test_server& var = *sql_find_test_server()
