#include "sql_client.hpp"

#include "tk_excp.hpp"

#include <utility>

sql_connection::sql_connection() : handle_(mysql_init(nullptr)) {
    if (!handle_) throw tk_exception("Cannot initialise the MySQL client library", tk_level_run);
}

sql_connection::~sql_connection() {
    if (handle_) mysql_close(handle_);
}

sql_connection::sql_connection(sql_connection&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), open_(std::exchange(other.open_, false)) {}

sql_connection& sql_connection::operator=(sql_connection&& other) noexcept {
    if (this != &other) {
        if (handle_) mysql_close(handle_);
        handle_ = std::exchange(other.handle_, nullptr);
        open_ = std::exchange(other.open_, false);
    }
    return *this;
}

void sql_connection::set_read_default_group(const char* group) {
    if (handle_) mysql_options(handle_, MYSQL_READ_DEFAULT_GROUP, group);
}

void sql_connection::set_connect_timeout(unsigned seconds) {
    if (handle_) mysql_options(handle_, MYSQL_OPT_CONNECT_TIMEOUT, &seconds);
}

bool sql_connection::ping() { return handle_ && open_ && mysql_ping(handle_) == 0; }

void sql_connection::set_read_timeout(unsigned seconds) {
    if (!handle_ || seconds == 0) return;
    mysql_options(handle_, MYSQL_OPT_READ_TIMEOUT, &seconds);
    mysql_options(handle_, MYSQL_OPT_WRITE_TIMEOUT, &seconds);
}

bool sql_connection::connect(const std::string& host, const std::string& user,
                             const std::string& password, unsigned port, const std::string& socket) {
    if (!handle_) {
        // A closed handle cannot connect again: start from a fresh one.
        handle_ = mysql_init(nullptr);
        if (!handle_) throw tk_exception("Cannot initialise the MySQL client library", tk_level_run);
    }
    open_ = mysql_real_connect(handle_, host.c_str(), user.c_str(), password.c_str(), nullptr,
                               port, socket.empty() ? nullptr : socket.c_str(), 0) != nullptr;
    return open_;
}

void sql_connection::close() noexcept {
    if (!handle_) return;
    // The options set at construction go with the handle; keep the fresh handle's defaults
    // (the caller sets its options again when it needs them).
    mysql_close(handle_);
    handle_ = mysql_init(nullptr);
    open_ = false;
}

bool sql_connection::query(std::string_view statement) {
    if (!handle_) return false;
    return mysql_real_query(handle_, statement.data(), static_cast<unsigned long>(statement.size())) == 0;
}

bool sql_connection::send_query(std::string_view statement) {
    if (!handle_) return false;
    return mysql_send_query(handle_, statement.data(), static_cast<unsigned long>(statement.size())) == 0;
}

bool sql_connection::read_query_result() { return handle_ && mysql_read_query_result(handle_) == 0; }

sql_result sql_connection::store_result() { return sql_result(handle_ ? mysql_store_result(handle_) : nullptr); }

bool sql_connection::select_db(const std::string& name) { return handle_ && mysql_select_db(handle_, name.c_str()) == 0; }

const char* sql_connection::server_info() { return handle_ ? mysql_get_server_info(handle_) : nullptr; }

const char* sql_connection::error() { return handle_ ? mysql_error(handle_) : ""; }

unsigned sql_connection::error_number() { return handle_ ? mysql_errno(handle_) : 0; }

unsigned long sql_connection::client_max_allowed_packet() {
    const MYSQL_PARAMETERS* params = mysql_get_parameters();
    return params && params->p_max_allowed_packet ? *params->p_max_allowed_packet : 0;
}
