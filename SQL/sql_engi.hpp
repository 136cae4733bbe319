#pragma once
// The process's one MySQL session: the connection, the server version that decides the SQL
// dialect of the whole destination, database creation and removal, and the name validators.

#include "sql_client.hpp"
#include "sql_util.hpp"
#include "tk_excp.hpp"
#include "tk_singl.hpp"
#include "udb_db.hpp"
#include "udb_vali.hpp"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// The dump writer sits in a higher layer; the session only names it (see create_dump).
class dmp_database;
struct dmp_options;

/// A failed client-library call: the library's text, and its error number (low 16 bits) plus
/// 0x400000, the range the error-code map keeps for MySQL. Level 0: the item failed.
class sql_exception : public tk_exception {
public:
    /// From the connection's last failure.
    explicit sql_exception(sql_connection& connection);
    sql_exception(std::string_view message, unsigned error_number);
};

/// The server asks for an authentication protocol this program cannot speak (4.1.0 with a
/// password). Level 1: nothing can be done on this connection.
class sql_auth_not_supported_exception : public tk_exception {
public:
    sql_auth_not_supported_exception();
};

/// The MySQL session. A process-wide single instance; created unconnected with version 0, in
/// which state the dump writer uses it for the oldest dialect (or sets a version itself).
class sql_engine : public tk_singleton<sql_engine> {
public:
    /// Prepares the handle: option-file group "VLQ MySQL Lib", 10-second connect timeout.
    sql_engine();
    /// Turns foreign-key checks back on and closes the connection.
    ~sql_engine();

    /// Connects (closing an earlier connection first), then sets the character set, reads the
    /// version, turns foreign-key checks off and makes the session's sql_mode fit the literals.
    /// A failed connection raises sql_exception; an unreadable version text is an internal
    /// assertion; 4.1.0 with a password raises sql_auth_not_supported_exception.
    void connect(const std::string& host, const std::string& user, const std::string& password, int port);
    /// After a statement found the connection lost (is_connection_lost): when the server no
    /// longer answers, connects once more with the same settings and selects `database`
    /// again. A connection that cannot be made again raises sql_exception at level 1: the
    /// run cannot go on. Does nothing while the server answers, or when never connected.
    void ensure_connection(const std::u16string& database);
    /// Another session to the same server for a worker thread, connected with this one's
    /// settings (host, user, password, port, read timeout) and set up as connect() sets every
    /// session. It is not the process's instance. A failed connection raises sql_exception.
    std::unique_ptr<sql_engine> open_worker_session() const;
    /// Whether a client or server error number means the connection is gone (the server was
    /// stopped or killed, a read timed out, the session was killed).
    static bool is_connection_lost(unsigned error) noexcept;

    /// The session's max_allowed_packet as the server reported it at connect time: the
    /// largest statement it accepts (0 when unknown).
    std::size_t max_packet() const noexcept { return max_packet_; }

    /// Seconds a statement's answer may take before the connection counts as lost (used by
    /// the next connect; 0: no limit).
    void set_read_timeout(unsigned seconds) noexcept { read_timeout_ = seconds; }
    unsigned read_timeout() const noexcept { return read_timeout_; }

    /// CREATE DATABASE, then selects it. Failures raise sql_exception. (The database writer
    /// built over the selection belongs to the destination's database module.)
    void create_db(const std::u16string& name);
    /// Selects the database; a failure raises sql_exception.
    void open_db(const std::u16string& name);
    /// Drops the database with foreign-key checks off; a failure raises sql_exception.
    void db_delete(const std::u16string& name);
    /// Whether the database can be selected; if so it becomes the current one.
    bool is_db_exist(const std::u16string& name);
    /// A new dump database writing the file at `path` with `options`, owned by the caller; no
    /// server access. Declared here because the application reaches every MySQL destination
    /// through the session; defined by the dump writer's library, which callers link.
    std::unique_ptr<dmp_database> create_dump(const std::u16string& path, const dmp_options& options);
    /// Raises the server's max_allowed_packet when the client's own limit is below `size`;
    /// the result is not checked.
    void set_max_allowed_packet(int size);

    /// Validators of the dialect of the server version: old below 4.1.0, new from it on.
    std::unique_ptr<udb_validator> create_tn_validator(const std::vector<std::u16string>& first,
                                                       const std::vector<std::u16string>& second) const;
    std::unique_ptr<udb_validator> create_fn_validator(const udb_schema& schema) const;
    std::unique_ptr<udb_validator> create_fn_validator(const udb_record& record) const;
    std::unique_ptr<udb_validator> create_in_validator(const udb_indexes& indexes) const;
    std::unique_ptr<udb_validator> create_dn_validator() const;

    /// The name as statements write it for this server (see sql_quote_name).
    std::u16string quote_name(std::u16string_view name) const;
    /// The same appended to `out` as UTF-8.
    void append_quoted_name(std::string& out, std::u16string_view name) const;
    /// Character set of the connection and of text columns for this server.
    const char* text_charset() const noexcept;

    /// Version as major * 65536 + minor * 256 + patch; 0 when unknown.
    std::uint32_t server_version() const noexcept { return server_version_; }
    /// The dump writer's dialect choice, for a session that has no server.
    void set_server_version(std::uint32_t version) noexcept { server_version_ = version; }
    /// The dump writer's mark that statements go to a new-dialect dump file (cleared by connect).
    void set_dump_dialect(bool on) noexcept { dump_dialect_ = on; }
    /// The version and what it does not tell: the server's kind, or that a dump is written.
    sql_dialect dialect() const noexcept { return {server_version_, mariadb_, dump_dialect_}; }
    bool is_innodb() const noexcept { return innodb_; }
    void set_innodb(bool on) noexcept { innodb_ = on; }
    bool is_connected() const noexcept { return connected_; }
    /// The dump writer's flag: a LOCK TABLES written to the dump is still open.
    bool tables_locked() const noexcept { return tables_locked_; }
    void set_tables_locked(bool on) noexcept { tables_locked_ = on; }

    /// The one connection every statement of the direct destination goes through.
    sql_connection& connection() noexcept { return connection_; }
    /// Sends a statement as UTF-8; false on failure.
    bool send(std::u16string_view statement);

    /// Parses "%d.%d.%d" and whatever follows; fewer than three numbers is an internal
    /// assertion (sql_engi).
    static std::uint32_t parse_version(const char* text);
    /// The sql_mode list with the flags that break the literals removed and
    /// NO_AUTO_VALUE_ON_ZERO added (identity columns keep their zeros).
    static std::string fit_sql_mode(std::string_view mode);

private:
    explicit sql_engine(unregistered tag);
    void initialize();
    void adjust_sql_mode();

    bool tables_locked_ = false;
    bool connected_ = false;
    unsigned read_timeout_ = 0;
    std::size_t max_packet_ = 0;
    // What connect() was given, for ensure_connection.
    std::string host_, user_, password_;
    int port_ = 0;
    std::uint32_t server_version_ = 0;
    sql_connection connection_;
    bool innodb_ = false;
    bool mariadb_ = false;
    bool dump_dialect_ = false;
};
