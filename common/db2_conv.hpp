#pragma once
// The two ends of a DB2-to-MySQL conversion as the converter application sees them: the DB2
// side (connection settings, the CLI session, the schema) and the MySQL side (server settings,
// the MySQL session, the dump-file options), plus the checks of a dump-file destination that
// both front ends share.

#include "db2_engi.hpp"
#include "sql_dump.hpp"
#include "sql_engi.hpp"
#include "udb_db.hpp"

#include <memory>
#include <string>
#include <string_view>

class tk_converter;
class udb_profile;

/// Profile section names of the two sides.
inline constexpr std::u16string_view db2_profile_section = u"DB2 settings";
inline constexpr std::u16string_view mysql_profile_section = u"MySQL settings";

/// The DB2 side of a converter. Owns the process's DB2 session; reads and writes the source
/// name through the converter it belongs to, which must outlive it.
class db2_converter_impl {
public:
    explicit db2_converter_impl(tk_converter& owner);
    db2_converter_impl(const db2_converter_impl&) = delete;
    db2_converter_impl& operator=(const db2_converter_impl&) = delete;

    /// Connects the session to `source` with the stored user and password; failures raise the
    /// session's exceptions and leave the side unconnected.
    void connect_db2_server(const std::u16string& source);
    bool is_connected() const noexcept { return connected_; }
    /// A new source database over `schema`, owned by the caller. Internal assertion when the
    /// side is not connected.
    std::unique_ptr<udb_database> open_db(const std::u16string& schema);
    /// The same on a connection of its own (same database, user and password), for a worker
    /// thread. Internal assertion when the side is not connected.
    std::unique_ptr<udb_database> open_worker_db(const std::u16string& schema);

    /// Stores user and password, then makes `source` the converter's source name.
    void set_connection_settings(const std::u16string& source, const std::u16string& user,
                                 const std::u16string& password);
    /// Stores the schema upper-cased (a to z only), as DB2 keeps undelimited names.
    void set_schema(std::u16string_view schema);

    /// Reads user, password and schema from the profile; an empty value changes nothing and
    /// the schema is taken as written. Always true.
    bool load_profile(const udb_profile& profile);
    /// Writes user, password and schema. Always true.
    bool store_profile(udb_profile& profile) const;

    // The settings as the remembered-settings store transfers them.
    std::u16string& schema() noexcept { return schema_; }
    const std::u16string& schema() const noexcept { return schema_; }
    std::u16string& user() noexcept { return user_; }
    const std::u16string& user() const noexcept { return user_; }
    std::u16string& password() noexcept { return password_; }
    const std::u16string& password() const noexcept { return password_; }
    db2_engine& engine() noexcept { return engine_; }

private:
    tk_converter& owner_;
    bool connected_ = false;
    db2_engine engine_;
    std::u16string schema_;
    std::u16string user_;
    std::u16string password_;
};

/// The MySQL side of a converter. Owns the process's MySQL session and the dump-file options.
/// Host, user, password and port are narrow: UTF-8 from a profile, the console's code page
/// from a command line.
class mysql_converter_impl {
public:
    mysql_converter_impl();
    ~mysql_converter_impl();
    mysql_converter_impl(const mysql_converter_impl&) = delete;
    mysql_converter_impl& operator=(const mysql_converter_impl&) = delete;

    /// Stores the four values trimmed of spaces; an empty port becomes "3306".
    void store_mysql_settings(std::string_view host, std::string_view user, std::string_view password,
                              std::string_view port);
    /// Connects the session. A port whose leading digits give 0 (or more than 65535) raises
    /// "Invalid port number" (level 1); connection failures raise the session's exceptions.
    void connect_mysql_server();
    /// Whether the server has the database (it then becomes the current one).
    bool is_mysql_base_exist(const std::u16string& name);
    /// Drops the database; failures raise sql_exception.
    void del_mysql_base(const std::u16string& name);
    /// Raises tk_exception (level 1) with the server version's advice when the session's
    /// database-name validator refuses `name`.
    void check_mysql_db_name(const std::u16string& name);

    /// The port as a number: its leading decimal digits; 0 when there are none or they do not
    /// name a TCP port.
    static int port_number(std::string_view port) noexcept;

    /// Reads the "MySQL settings" section. Always true.
    bool load_profile(const udb_profile& profile);
    /// Writes the "MySQL settings" section from host to the dump options. Always true.
    bool store_profile(udb_profile& profile) const;

    std::string& host() noexcept { return host_; }
    const std::string& host() const noexcept { return host_; }
    std::string& user() noexcept { return user_; }
    const std::string& user() const noexcept { return user_; }
    std::string& password() noexcept { return password_; }
    const std::string& password() const noexcept { return password_; }
    std::string& port() noexcept { return port_; }
    const std::string& port() const noexcept { return port_; }
    dmp_options& dump_options() noexcept { return dump_options_; }
    const dmp_options& dump_options() const noexcept { return dump_options_; }
    sql_engine& engine() noexcept { return engine_; }

private:
    sql_engine engine_;
    std::string host_;
    std::string user_;
    std::string password_;
    std::string port_ = "3306";
    // Kept beside the session rather than in it: the session sits below the dump writer's layer.
    dmp_options dump_options_;
};

/// Checks a dump-file destination: it must not be a folder, a device, a pipe or a read-only
/// file, and its folder must exist. Each failure raises tk_exception (level 1) with the user's text.
void common_check_dest(const std::u16string& path);
