#pragma once
// The one place that talks to the MySQL client library. The connection handle and every result
// set are owned by move-only wrappers from the moment they exist, so that no path (an exception
// between a query and its free included) can leak or double-free them.

#include <mysql.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

/// Releases a result set.
struct sql_result_deleter {
    void operator()(MYSQL_RES* result) const noexcept { mysql_free_result(result); }
};
/// An owned result set; null when a statement gave none.
using sql_result = std::unique_ptr<MYSQL_RES, sql_result_deleter>;

/// One client-library connection handle. Created initialised (mysql_init), closed by the
/// destructor or by close(); a closed handle is initialised again by the next connect().
class sql_connection {
public:
    /// Initialises a handle; out of memory raises tk_exception (level 1).
    sql_connection();
    ~sql_connection();
    sql_connection(sql_connection&& other) noexcept;
    sql_connection& operator=(sql_connection&& other) noexcept;
    sql_connection(const sql_connection&) = delete;
    sql_connection& operator=(const sql_connection&) = delete;

    /// The option-file group read at connect time and the connect timeout in seconds.
    void set_read_default_group(const char* group);
    void set_connect_timeout(unsigned seconds);
    /// Seconds a read (and a write) on the connection may wait before it fails as a lost
    /// connection; 0 leaves the library's default (no limit).
    void set_read_timeout(unsigned seconds);

    /// Opens the connection (no database, no client flags); an empty `socket` means the TCP
    /// port on `host`. False on failure, with error() and error_number() telling why.
    bool connect(const std::string& host, const std::string& user, const std::string& password,
                 unsigned port, const std::string& socket = {});
    /// Closes the connection and leaves a fresh handle for a later connect().
    void close() noexcept;
    bool is_open() const noexcept { return open_; }

    /// Sends one statement (its byte length counts, so it may hold NULs). False on failure.
    bool query(std::string_view statement);
    /// Sends one statement without waiting for the server's answer, so that the caller can
    /// prepare the next one while the server executes this one. read_query_result() must come
    /// before any other statement on this connection. False when it could not be sent.
    bool send_query(std::string_view statement);
    /// Waits for the answer to the statement of send_query(); false when it was refused.
    bool read_query_result();
    /// The rows of the last statement, all read into the client; null when there are none
    /// or reading failed (error_number() tells which).
    sql_result store_result();
    /// Whether the server still answers on this connection (no reconnection is attempted).
    bool ping();
    /// Selects the current database by its UTF-8 name. False on failure.
    bool select_db(const std::string& name);
    /// The server's version text; null or empty when it reports none.
    const char* server_info();
    /// Text and number of the last failure.
    const char* error();
    unsigned error_number();

    /// The client library's own maximum packet size in bytes.
    static unsigned long client_max_allowed_packet();

    /// The raw handle, for callers of this layer only.
    MYSQL* handle() noexcept { return handle_; }

private:
    MYSQL* handle_ = nullptr;
    bool open_ = false;
};
