#include "db2_conn.hpp"

#include "db2_engi.hpp"

#include "tk_log.hpp"

#include <array>

namespace {

SQLWCHAR* wide(const std::u16string& text) { return const_cast<SQLWCHAR*>(text.c_str()); }

void check_stmt(SQLRETURN rc, SQLHSTMT stmt) { db2_engine::check_err(rc, SQL_HANDLE_STMT, stmt); }

} // namespace

db2_connection::db2_connection(const std::u16string& dsn, const std::u16string& user,
                               const std::u16string& password) {
    tk_wtrace(2, u"db2_connection::ctor(%s,%s)", dsn.c_str(), user.c_str());
    db2_engine& engine = db2_engine::instance();
    if (!engine.environment()) engine.initialize();
    SQLRETURN rc = 0;
    dbc_ = db2_handle::allocate(SQL_HANDLE_DBC, engine.environment(), rc);
    db2_engine::check_err(rc, SQL_HANDLE_ENV, engine.environment());
    db2_engine::check_err(db2_cli().SQLConnectW(dbc_.get(), wide(dsn), SQL_NTS, wide(user), SQL_NTS,
                                                wide(password), SQL_NTS),
                          SQL_HANDLE_DBC, dbc_.get());
    connected_ = true;
}

db2_connection::~db2_connection() {
    if (connected_) db2_cli().SQLDisconnect(dbc_.get());
}

std::u16string db2_string_literal(const std::u16string& text) {
    std::u16string out = u"'";
    for (char16_t c : text) {
        if (c == u'\'') out += c;
        out += c;
    }
    return out + u"'";
}

db2_handle db2_alloc_statement(SQLHDBC dbc) {
    SQLRETURN rc = 0;
    db2_handle stmt = db2_handle::allocate(SQL_HANDLE_STMT, dbc, rc);
    db2_engine::check_err(rc, SQL_HANDLE_DBC, dbc);
    return stmt;
}

void db2_execute(SQLHDBC dbc, const std::u16string& sql) {
    db2_handle stmt = db2_alloc_statement(dbc);
    check_stmt(db2_cli().SQLExecDirectW(stmt.get(), wide(sql), SQL_NTS), stmt.get());
    check_stmt(db2_cli().SQLFreeStmt(stmt.get(), SQL_CLOSE), stmt.get());
}

std::vector<std::u16string> db2_query_column(SQLHDBC dbc, const std::u16string& sql) {
    db2_handle stmt = db2_alloc_statement(dbc);
    const auto& api = db2_cli();
    check_stmt(api.SQLExecDirectW(stmt.get(), wide(sql), SQL_NTS), stmt.get());
    // Room for the longest DB2 name and for any number.
    std::array<SQLWCHAR, 130> cell{};
    SQLLEN ind = 0;
    check_stmt(api.SQLBindCol(stmt.get(), 1, SQL_C_WCHAR, cell.data(), SQLLEN(sizeof cell), &ind), stmt.get());
    std::vector<std::u16string> values;
    for (;;) {
        const SQLRETURN rc = api.SQLFetch(stmt.get());
        if (rc == SQL_NO_DATA) break;
        check_stmt(rc, stmt.get());
        values.emplace_back(ind == SQL_NULL_DATA ? u"" : cell.data());
    }
    check_stmt(api.SQLFreeStmt(stmt.get(), SQL_UNBIND), stmt.get());
    check_stmt(api.SQLFreeStmt(stmt.get(), SQL_CLOSE), stmt.get());
    return values;
}
