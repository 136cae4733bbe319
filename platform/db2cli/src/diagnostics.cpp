#include "diagnostics.hpp"

#include <cstdio>
#include <cstdlib>

namespace db2s {

namespace {
constexpr std::string_view vendor = "[IBM][CLI Driver]";
constexpr std::string_view server_tag = "[DB2/LINUXX8664]";
}  // namespace

diag_record server_diag(int sqlcode, std::string_view text, std::string_view text_state,
                        std::string_view diag_state, bool with_server_tag) {
    char id[16];
    std::snprintf(id, sizeof id, "SQL%04d%c", std::abs(sqlcode), sqlcode < 0 ? 'N' : 'W');
    diag_record r;
    r.native = sqlcode;
    r.sqlstate = std::string(diag_state.empty() ? text_state : diag_state);
    r.message.append(vendor);
    if (with_server_tag) r.message.append(server_tag);
    r.message.append(" ").append(id).append("  ").append(text);
    r.message.append("  SQLSTATE=").append(text_state);
    return r;
}

diag_record client_diag(std::string_view id, std::string_view text, std::string_view state) {
    diag_record r;
    r.native = -99999;
    r.sqlstate = std::string(state);
    r.message.append(vendor).append(" ").append(id).append("  ").append(text);
    r.message.append(" SQLSTATE=").append(state);
    return r;
}

void throw_syntax_error(std::string_view token, std::string_view following,
                        std::string_view expected) {
    std::string text = "An unexpected token \"";
    text.append(token).append("\" was found following \"").append(following);
    text.append("\".  Expected tokens may include:  \"").append(expected).append("\".");
    throw db2_error(server_diag(-104, text, "42601"));
}

void throw_undefined_name(std::string_view qualified_name) {
    std::string text = "\"";
    text.append(qualified_name).append("\" is an undefined name.");
    throw db2_error(server_diag(-204, text, "42704", "42S02"));
}

void throw_client(std::string_view id, std::string_view text, std::string_view state) {
    throw db2_error(client_diag(id, text, state));
}

void throw_server(int sqlcode, std::string_view text, std::string_view state,
                  std::string_view diag_state) {
    throw db2_error(server_diag(sqlcode, text, state, diag_state),
                    sqlcode > 0 ? SQL_SUCCESS_WITH_INFO : SQL_ERROR);
}

diag_record function_sequence_error() {
    return client_diag("CLI0125E", "Function sequence error.", "HY010");
}

diag_record invalid_argument(std::string_view what) {
    return client_diag("CLI0124E", what, "HY009");
}

}  // namespace db2s
