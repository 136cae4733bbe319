#include "sql_engi.hpp"

#include "sql_util.hpp"
#include "sql_vali.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr std::uint32_t sql_ver_no_auth = 0x040100;  // 4.1.0 exactly: unsupported password scheme
constexpr std::uint32_t sql_ver_sql_mode = 0x040101; // 4.1.1: NO_AUTO_VALUE_ON_ZERO exists
constexpr int mysql_error_base = 0x400000;

void wtrace_name(int level, tk_wformat_string<const char16_t*> format, const std::u16string& name) {
    tk_wtrace(level, format, name.c_str());
}

} // namespace

sql_exception::sql_exception(sql_connection& connection)
    : sql_exception(connection.error(), connection.error_number()) {}

sql_exception::sql_exception(std::string_view message, unsigned error_number)
    : tk_exception(message, tk_level_item) {
    set_code(int(error_number & 0xFFFF) + mysql_error_base);
    tk_trace(2, "sql_exception::sql_exception( msg=%s)", this->message().c_str());
    tk_trace(2, "Got MySQL error code=%d", code());
}

sql_auth_not_supported_exception::sql_auth_not_supported_exception()
    : tk_exception("The program does not support authentication protocol requested by server. See "
                   "'Troubleshooting' article of the product documentation.",
                   tk_level_run) {}

sql_engine::sql_engine() { initialize(); }

sql_engine::sql_engine(unregistered tag) : tk_singleton(tag) { initialize(); }

std::unique_ptr<sql_engine> sql_engine::open_worker_session() const {
    tk_trace(2, "sql_engine::open_worker_session");
    std::unique_ptr<sql_engine> session(new sql_engine(unregistered{}));
    session->read_timeout_ = read_timeout_;
    session->connect(host_, user_, password_, port_);
    session->innodb_ = innodb_;
    return session;
}

sql_engine::~sql_engine() {
    if (connected_) {
        if (!connection_.query("SET FOREIGN_KEY_CHECKS = 1"))
            tk_trace(2, "Cannot turn ON foreign key check: %s", connection_.error());
        connection_.close();
        connected_ = false;
    }
}

void sql_engine::initialize() {
    tk_trace(1, "sql_engine::initialize");
    tk_trace(1, "sql_engine::initialize - 1");
    connection_.set_read_default_group("VLQ MySQL Lib");
    tk_trace(1, "sql_engine::initialize - 2");
    connection_.set_connect_timeout(10);
    tk_trace(1, "sql_engine::initialize - END");
}

std::uint32_t sql_engine::parse_version(const char* text) {
    int major = 0, minor = 0, patch = 0;
    if (std::sscanf(text, "%d.%d.%d", &major, &minor, &patch) < 3) {
        tk_trace(3, "Invalid MySQL version: %s", text);
        throw tk_mail_assertion("sql_engi", __LINE__);
    }
    return std::uint32_t(major) * 65536u + std::uint32_t(minor) * 256u + std::uint32_t(patch);
}

std::string sql_engine::fit_sql_mode(std::string_view mode) {
    std::string out;
    bool has_zero = false;
    while (!mode.empty()) {
        const std::size_t comma = mode.find(',');
        const std::string_view flag = mode.substr(0, comma);
        mode = comma == std::string_view::npos ? std::string_view() : mode.substr(comma + 1);
        if (flag.empty() || flag == "NO_BACKSLASH_ESCAPES" || flag == "ANSI_QUOTES") continue;
        if (flag == "NO_AUTO_VALUE_ON_ZERO") has_zero = true;
        if (!out.empty()) out += ',';
        out += flag;
    }
    if (!has_zero) {
        if (!out.empty()) out += ',';
        out += "NO_AUTO_VALUE_ON_ZERO";
    }
    return out;
}

void sql_engine::connect(const std::string& host, const std::string& user, const std::string& password, int port) {
    // The password stays out of the trace log, which users attach to problem reports.
    tk_trace(2, "sql_engine::connect(%s,%s,%s)", host.c_str(), user.c_str(), password.empty() ? "" : "*****");
    if (connected_) {
        tk_trace(2, "Connection was established already - disconnecting...");
        connection_.close();
        connected_ = false;
        initialize();
    }
    tk_trace(3, "Connecting to MySQL server...");
    host_ = host;
    user_ = user;
    password_ = password;
    port_ = port;
    connection_.set_read_timeout(read_timeout_);
    if (!connection_.connect(host, user, password, unsigned(port))) throw sql_exception(connection_);
    connected_ = true;

    // The version decides the character set, so it is read before SET NAMES.
    const char* version_text = connection_.server_info();
    const bool has_version = version_text && *version_text;
    std::uint32_t version = 0;
    bool version_ok = true;
    if (has_version) {
        int major = 0, minor = 0, patch = 0;
        version_ok = std::sscanf(version_text, "%d.%d.%d", &major, &minor, &patch) == 3;
        if (version_ok) version = std::uint32_t(major) * 65536u + std::uint32_t(minor) * 256u + std::uint32_t(patch);
    }

    tk_trace(3, "Setting UTF-8 collation...");
    const std::string set_names = std::string("SET NAMES ") + (version >= sql_ver_utf8mb4 ? "utf8mb4" : "UTF8");
    if (!connection_.query(set_names)) {
        tk_trace(3, "Failed");
        tk_trace(2, "Cannot set UTF-8 collation: %s", connection_.error());
    }

    if (!has_version) return;
    tk_trace(2, "Got MySQL server version: %s", version_text);
    if (!version_ok) {
        tk_trace(3, "Invalid MySQL version: %s", version_text);
        throw tk_mail_assertion("sql_engi", __LINE__);
    }
    server_version_ = version;
    mariadb_ = std::strstr(version_text, "MariaDB") != nullptr;
    dump_dialect_ = false;
    tk_trace(1, "Hex version: %08X", unsigned(server_version_));
    if (server_version_ >= sql_ver_innodb) innodb_ = true;
    if (server_version_ == sql_ver_no_auth && !password.empty()) throw sql_auth_not_supported_exception();

    if (!connection_.query("SET FOREIGN_KEY_CHECKS = 0"))
        tk_trace(2, "Cannot turn off foreign key check: %s", connection_.error());
    // The session keeps the limit it started with, whatever SET GLOBAL does later.
    max_packet_ = 0;
    if (connection_.query("SELECT @@max_allowed_packet")) {
        sql_result result = connection_.store_result();
        MYSQL_ROW row = result ? mysql_fetch_row(result.get()) : nullptr;
        if (row && row[0]) max_packet_ = std::size_t(std::strtoull(row[0], nullptr, 10));
        tk_trace(2, "max_allowed_packet=%zu", max_packet_);
    }
    if (server_version_ >= sql_ver_sql_mode) adjust_sql_mode();
}

void sql_engine::adjust_sql_mode() {
    tk_trace(3, "Setting SQL mode...");
    std::string mode;
    bool ok = connection_.query("SELECT @@SESSION.sql_mode");
    if (ok) {
        sql_result result = connection_.store_result();
        MYSQL_ROW row = result ? mysql_fetch_row(result.get()) : nullptr;
        ok = row != nullptr;
        if (ok && row[0]) mode = row[0];
    }
    if (ok) {
        const std::string statement = "SET SESSION sql_mode='" + fit_sql_mode(mode) + "'";
        tk_trace(2, "%s", statement.c_str());
        ok = connection_.query(statement);
    }
    if (!ok) {
        tk_trace(3, "Failed");
        tk_trace(2, "Cannot set SQL mode: %s", connection_.error());
    }
}

bool sql_engine::send(std::u16string_view statement) { return connection_.query(tk_to_utf8(statement)); }

void sql_engine::create_db(const std::u16string& name) {
    wtrace_name(2, u"sql_engine::create_db (%s)", name);
    wtrace_name(3, u"Creating MySQL database '%s'", name);
    if (!send(u"CREATE DATABASE " + quote_name(name))) throw sql_exception(connection_);
    open_db(name);
}

void sql_engine::open_db(const std::u16string& name) {
    wtrace_name(2, u"sql_engine::open_db (%s)", name);
    wtrace_name(3, u"Opening MySQL database '%s'", name);
    if (!connection_.select_db(tk_to_utf8(name))) throw sql_exception(connection_);
}

void sql_engine::db_delete(const std::u16string& name) {
    wtrace_name(2, u"sql_engine::db_delete(%s)", name);
    wtrace_name(3, u"Deleting MySQL database '%s'", name);
    if (!connection_.query("SET FOREIGN_KEY_CHECKS = 0"))
        tk_trace(2, "Cannot turn off foreign key check: %s", connection_.error());
    if (!send(u"DROP DATABASE " + quote_name(name))) throw sql_exception(connection_);
    if (!connection_.query("SET FOREIGN_KEY_CHECKS = 1"))
        tk_trace(2, "Cannot turn on foreign key check: %s", connection_.error());
}

bool sql_engine::is_db_exist(const std::u16string& name) {
    wtrace_name(1, u"sql_engine::is_db_exist(%s)", name);
    return connection_.select_db(tk_to_utf8(name));
}

bool sql_engine::is_connection_lost(unsigned error) noexcept {
    switch (error) {
    case 2006: // server has gone away
    case 2013: // lost connection during query (also a read that timed out)
    case 2055: // lost connection at a system call
    case 1053: // server shutdown in progress
    case 1927: // connection was killed
        return true;
    default: return false;
    }
}

void sql_engine::ensure_connection(const std::u16string& database) {
    if (!connected_ || connection_.ping()) return;
    tk_trace(3, "The connection to the MySQL server was lost: connecting again");
    // Once: a server that refuses now will not take the rest of the run either.
    connection_.close();
    connected_ = false;
    initialize();
    try {
        connect(host_, user_, password_, port_);
        if (!database.empty()) open_db(database);
    } catch (const tk_exception& e) {
        throw tk_exception("The connection to the MySQL server was lost and cannot be made again: " + e.message(),
                           tk_level_run);
    }
    tk_trace(3, "Connected again");
}

void sql_engine::set_max_allowed_packet(int size) {
    tk_trace(2, "sql_engine::set_max_allowed_packet(%d)", size);
    if (size > 0 && sql_connection::client_max_allowed_packet() < static_cast<unsigned long>(size)) {
        char statement[64];
        std::snprintf(statement, sizeof statement, "SET GLOBAL max_allowed_packet=%d", size);
        connection_.query(statement);
    }
}

std::unique_ptr<udb_validator> sql_engine::create_tn_validator(const std::vector<std::u16string>& first,
                                                               const std::vector<std::u16string>& second) const {
    tk_trace(2, "sql_engine::create_tn_validator");
    if (server_version_ < sql_ver_new) return std::make_unique<sql_old_tn_validator>(first, second);
    return std::make_unique<sql_new_tn_validator>(first, second);
}

std::unique_ptr<udb_validator> sql_engine::create_fn_validator(const udb_schema& schema) const {
    tk_trace(2, "sql_engine::create_fn_validator( const udb_schema& )");
    if (server_version_ < sql_ver_new) return std::make_unique<sql_old_fn_validator>(schema);
    return std::make_unique<sql_new_fn_validator>(schema);
}

std::unique_ptr<udb_validator> sql_engine::create_fn_validator(const udb_record& record) const {
    tk_trace(2, "sql_engine::create_fn_validator( const udb_record& )");
    if (server_version_ < sql_ver_new) return std::make_unique<sql_old_fn_validator>(record);
    return std::make_unique<sql_new_fn_validator>(record);
}

std::unique_ptr<udb_validator> sql_engine::create_in_validator(const udb_indexes& indexes) const {
    tk_trace(2, "sql_engine::create_in_validator");
    if (server_version_ < sql_ver_new) return std::make_unique<sql_old_in_validator>(indexes);
    return std::make_unique<sql_new_in_validator>(indexes);
}

std::unique_ptr<udb_validator> sql_engine::create_dn_validator() const {
    tk_trace(2, "sql_engine::create_dn_validator");
    if (server_version_ < sql_ver_new) return std::make_unique<sql_old_dn_validator>();
    return std::make_unique<sql_new_dn_validator>();
}

std::u16string sql_engine::quote_name(std::u16string_view name) const { return sql_quote_name(name, server_version_); }

void sql_engine::append_quoted_name(std::string& out, std::u16string_view name) const {
    sql_append_quoted_name(out, name, server_version_);
}

const char* sql_engine::text_charset() const noexcept { return sql_text_charset(server_version_); }
