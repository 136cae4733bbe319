#include "sql_server.hpp"

#include "sql_client.hpp"

#include <cstdlib>

namespace {

std::string env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string& problem() {
    static std::string text;
    return text;
}

std::optional<sql_test_server> probe() {
    sql_test_server s;
    s.host = env("DUNMERE_MYSQL_HOST");
    s.user = env("DUNMERE_MYSQL_USER");
    s.password = env("DUNMERE_MYSQL_PASSWORD");
    s.port = std::atoi(env("DUNMERE_MYSQL_PORT").c_str());
    if (s.host.empty() || s.user.empty() || s.port == 0) {
        problem() = "DUNMERE_MYSQL_HOST, DUNMERE_MYSQL_PORT and DUNMERE_MYSQL_USER are not all set";
        return std::nullopt;
    }
    sql_connection c;
    c.set_connect_timeout(5);
    if (!c.connect(s.host, s.user, s.password, unsigned(s.port))) {
        problem() = std::string("cannot connect: ") + c.error();
        return std::nullopt;
    }
    return s;
}

} // namespace

const std::optional<sql_test_server>& sql_find_test_server() {
    static const std::optional<sql_test_server> server = probe();
    return server;
}

const std::string& sql_test_server_problem() { return problem(); }

bool sql_test_server_required() { return env("CI_MARIADB_REQUIRED") == "1"; }
