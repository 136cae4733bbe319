#include "db2_engi.hpp"

#include "db2_db.hpp"

#include "tk_errco.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"

#include <array>

namespace {

const tk_error_entry k_native_messages[] = {
    {-1032, "Cannot connect to DB2 server. Check to verify that DB2 server is launched and allows "
            "connection."},
    {-30082, "Incorrect username or password"},
};

const tk_error_converter& native_messages() {
    static const tk_error_converter map(int(std::size(k_native_messages)), k_native_messages);
    return map;
}

constexpr const char* k_no_environment =
    "Cannot find DB2 environment. Make sure you have valid DB2 installation on your system";

SQLWCHAR* wide(const std::u16string& text) { return const_cast<SQLWCHAR*>(text.c_str()); }

// The server's text without its message number and SQLSTATE tail, or the whole text when it
// does not have that shape.
std::string server_text(const SQLWCHAR* message) {
    const std::string text = tk_trim(tk_to_ansi(message));
    const auto number = text.find(" SQL");
    if (number == std::string::npos) return text;
    const auto blank = text.find(' ', number + 1);
    const auto state = text.find("SQLSTATE");
    if (blank == std::string::npos || state == std::string::npos || state < blank) return text;
    return text.substr(blank, state - blank);
}

} // namespace

db2_exception::db2_exception(int /*code*/, std::string_view text, int level) : tk_exception(text, level) {
    tk_trace(2, "db2_exception::ctor");
}

std::u16string db2_quote_name(std::u16string_view name) {
    std::u16string out;
    out.reserve(name.size() + 2);
    out.push_back(u'"');
    for (char16_t c : name) {
        if (c == u'"') out.push_back(u'"');
        out.push_back(c);
    }
    out.push_back(u'"');
    return out;
}

std::u16string db2_exact_pattern(std::u16string_view name) {
    std::u16string out;
    out.reserve(name.size());
    for (char16_t c : name) {
        if (c == u'_' || c == u'%' || c == u'\\') out.push_back(u'\\');
        out.push_back(c);
    }
    return out;
}

db2_engine::db2_engine() { tk_trace(2, "db2_engine::ctor"); }

db2_engine::~db2_engine() {
    tk_trace(2, "db2_engine::dtor");
    if (initialized_ && connected_ && db2_cli().SQLDisconnect) db2_cli().SQLDisconnect(dbc_.get());
    dbc_.reset();
    env_.reset();
}

void db2_engine::initialize() {
    tk_trace(2, "db2_engine::initialize");
    std::string detail;
    if (!db2_cli_load(detail)) {
        tk_trace(3, "DB2 client not loaded: %s", detail.c_str());
        throw db2_exception(-1, k_no_environment);
    }
    SQLRETURN rc = 0;
    db2_handle env = db2_handle::allocate(SQL_HANDLE_ENV, SQL_NULL_HANDLE, rc);
    if (!SQL_SUCCEEDED(rc)) throw db2_exception(-1, k_no_environment);
    check_err(db2_cli().SQLSetEnvAttrW(env.get(), SQL_ATTR_ODBC_VERSION,
                                       reinterpret_cast<SQLPOINTER>(std::intptr_t(SQL_OV_ODBC3)), 0),
              SQL_HANDLE_ENV, env.get());
    db2_handle dbc = db2_handle::allocate(SQL_HANDLE_DBC, env.get(), rc);
    check_err(rc, SQL_HANDLE_ENV, env.get());
    check_err(db2_cli().SQLSetConnectAttrW(dbc.get(), SQL_ATTR_CONNECTTYPE,
                                           reinterpret_cast<SQLPOINTER>(std::intptr_t(SQL_CONCURRENT_TRANS)),
                                           SQL_NTS),
              SQL_HANDLE_DBC, dbc.get());
    // Only a complete pair replaces whatever an earlier attempt left.
    dbc_.reset();
    env_ = std::move(env);
    dbc_ = std::move(dbc);
    initialized_ = true;
}

void db2_engine::connect(const std::u16string& dsn, const std::u16string& user,
                         const std::u16string& password) {
    // The password stays out of the trace log, which users attach to problem reports.
    tk_wtrace(2, u"db2_engine::connect(%s,%s,%s)", dsn.c_str(), user.c_str(), password.empty() ? u"" : u"*****");
    if (!initialized_) initialize();
    if (connected_) {
        tk_trace(2, "Connection was established already - disconnecting...");
        connected_ = false;
        check_err(db2_cli().SQLDisconnect(dbc_.get()), SQL_HANDLE_DBC, dbc_.get());
    }
    check_err(db2_cli().SQLConnectW(dbc_.get(), wide(dsn), SQL_NTS, wide(user), SQL_NTS,
                                    wide(password), SQL_NTS),
              SQL_HANDLE_DBC, dbc_.get());
    connected_ = true;
    tk_trace(1, "The connection has been established");
    dsn_ = dsn;
    user_ = user;
    password_ = password;
}

SQLRETURN db2_engine::check_err(SQLRETURN rc, SQLSMALLINT handle_type, SQLHANDLE handle) {
    if (rc == SQL_SUCCESS) return rc;
    const bool warning = rc == SQL_SUCCESS_WITH_INFO;
    if (warning && tk_log::skips(2)) return rc;
    std::string message;
    bool connection_lost = false;
    for (SQLSMALLINT record = 1;; ++record) {
        std::array<SQLWCHAR, SQL_SQLSTATE_SIZE + 1> state{};
        std::array<SQLWCHAR, 1025> text{};
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        if (db2_cli().SQLGetDiagRecW(handle_type, handle, record, state.data(), &native,
                                     text.data(), SQLSMALLINT(text.size()), &length) != SQL_SUCCESS)
            break;
        if (warning)
            tk_wtrace(2, u"db2_engine::check_err. ODBC warning. SQLState: %s Message: %s  Native Error: %ld",
                      state.data(), text.data(), long(native));
        else
            tk_wtrace(2, u"db2_engine::check_err. ODBC error. SQLState: %s Message: %s  Native Error: %ld",
                      state.data(), text.data(), long(native));
        if (warning) continue;
        const std::u16string_view sqlstate(state.data());
        // A link that broke under a statement; a refused connect (08001, 08004) is not "lost".
        connection_lost = connection_lost || sqlstate == u"08S01" || sqlstate == u"08003" || sqlstate == u"40003";
        const std::string fixed = native_messages().convert(native);
        message += fixed.empty() ? server_text(text.data()) : fixed;
    }
    if (warning) return rc;
    if (message.empty()) message = "A DB2 call failed (return code " + std::to_string(rc) + ") without diagnostics.";
    if (connection_lost) message = "The connection to DB2 was lost: " + message;
    throw db2_exception(rc, message, connection_lost ? tk_level_run : tk_level_item);
}

std::vector<std::u16string> db2_engine::get_contents() {
    tk_trace(2, "db2_engine::get_contents");
    if (!connected_) throw db2_exception(-1, "Not connected to DB2 server");
    std::vector<std::u16string> names;
    get_tables(u"%", u"", names);
    return names;
}

void db2_engine::get_tables(const std::u16string& schema_pattern,
                            const std::u16string& table_pattern,
                            std::vector<std::u16string>& out, const std::u16string& type) {
    tk_wtrace(2, u"schema_pattern=%s, table_pattern=%s", schema_pattern.c_str(),
              table_pattern.c_str());
    tk_verify(!schema_pattern.empty(), "db2_engi", __LINE__);
    const bool schemas = schema_pattern.front() == u'%';
    db2_handle stmt = alloc_statement();
    const auto& api = db2_cli();
    check_err(schemas ? api.SQLTablesW(stmt.get(), nullptr, 0, wide(schema_pattern), SQL_NTS,
                                       nullptr, 0, nullptr, 0)
                      : api.SQLTablesW(stmt.get(), nullptr, 0, wide(schema_pattern), SQL_NTS,
                                       wide(table_pattern), SQL_NTS, wide(type), SQL_NTS),
              SQL_HANDLE_STMT, stmt.get());
    // Room for the longest DB2 name (128) and its terminator; the length is in bytes.
    std::array<SQLWCHAR, 130> schema{}, table{};
    SQLLEN schema_ind = 0, table_ind = 0;
    check_err(api.SQLBindCol(stmt.get(), 2, SQL_C_WCHAR, schema.data(), SQLLEN(sizeof schema), &schema_ind),
              SQL_HANDLE_STMT, stmt.get());
    check_err(api.SQLBindCol(stmt.get(), 3, SQL_C_WCHAR, table.data(), SQLLEN(sizeof table), &table_ind),
              SQL_HANDLE_STMT, stmt.get());
    for (;;) {
        const SQLRETURN rc = api.SQLFetch(stmt.get());
        if (rc == SQL_NO_DATA) break;
        // An error would otherwise repeat forever.
        check_err(rc, SQL_HANDLE_STMT, stmt.get());
        const SQLWCHAR* name = schemas ? schema.data() : table.data();
        const SQLLEN ind = schemas ? schema_ind : table_ind;
        tk_wtrace(1, u"Found: %s", ind == SQL_NULL_DATA ? u"" : name);
        out.emplace_back(ind == SQL_NULL_DATA ? u"" : name);
    }
    check_err(api.SQLFreeStmt(stmt.get(), SQL_UNBIND), SQL_HANDLE_STMT, stmt.get());
    check_err(api.SQLFreeStmt(stmt.get(), SQL_RESET_PARAMS), SQL_HANDLE_STMT, stmt.get());
    check_err(api.SQLFreeStmt(stmt.get(), SQL_CLOSE), SQL_HANDLE_STMT, stmt.get());
}

std::unique_ptr<db2_database> db2_engine::open_db(const std::u16string& schema,
                                                  const std::u16string& user,
                                                  const std::u16string& password) {
    tk_wtrace(2, u"db2_engine::open_db( %s, %s, %s )", schema.c_str(), user.c_str(),
              password.empty() ? u"" : u"*****");
    return std::make_unique<db2_database>(schema);
}

void db2_engine::execute(const std::u16string& sql) {
    tk_verify(bool(dbc_), "db2_engi", __LINE__);
    db2_handle stmt = alloc_statement();
    const auto& api = db2_cli();
    check_err(api.SQLExecDirectW(stmt.get(), wide(sql), SQL_NTS), SQL_HANDLE_STMT, stmt.get());
    check_err(api.SQLFreeStmt(stmt.get(), SQL_CLOSE), SQL_HANDLE_STMT, stmt.get());
    check_err(api.SQLFreeStmt(stmt.get(), SQL_CLOSE), SQL_HANDLE_STMT, stmt.get());
}

std::int32_t db2_engine::count_rows(const std::u16string& quoted_name) {
    const std::u16string sql = u"SELECT count(*) FROM " + quoted_name;
    db2_handle stmt = alloc_statement();
    const auto& api = db2_cli();
    check_err(api.SQLExecDirectW(stmt.get(), wide(sql), SQL_NTS), SQL_HANDLE_STMT, stmt.get());
    SQLINTEGER count = 0;
    SQLLEN ind = 0;
    check_err(api.SQLBindCol(stmt.get(), 1, SQL_C_LONG, &count, 4, &ind), SQL_HANDLE_STMT, stmt.get());
    const SQLRETURN rc = api.SQLFetch(stmt.get());
    const std::int32_t result = SQL_SUCCEEDED(rc) && ind != SQL_NULL_DATA ? count : 0;
    check_err(api.SQLFreeStmt(stmt.get(), SQL_UNBIND), SQL_HANDLE_STMT, stmt.get());
    check_err(api.SQLFreeStmt(stmt.get(), SQL_CLOSE), SQL_HANDLE_STMT, stmt.get());
    return result;
}

db2_handle db2_engine::alloc_statement() {
    tk_verify(bool(dbc_), "db2_engi", __LINE__);
    SQLRETURN rc = 0;
    db2_handle stmt = db2_handle::allocate(SQL_HANDLE_STMT, dbc_.get(), rc);
    check_err(rc, SQL_HANDLE_DBC, dbc_.get());
    return stmt;
}
