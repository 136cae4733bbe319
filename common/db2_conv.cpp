#include "db2_conv.hpp"

#include "db2_db.hpp"
#include "tk_conv.hpp"
#include "tk_fname.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"
#include "udb_prof.hpp"
#include "udb_errh.hpp"
#include "udb_vali.hpp"

#include <sys/stat.h>


namespace {

// Read-write access as the file checks take it.
constexpr int read_write_access = 1;

// Keys of the "MySQL settings" section, in the order they are written.
constexpr std::u16string_view key_host = u"host";
constexpr std::u16string_view key_user = u"user";
constexpr std::u16string_view key_password = u"password";
constexpr std::u16string_view key_port = u"port";
constexpr std::u16string_view key_line_break = u"dump line break";
constexpr std::u16string_view key_new_version = u"dump new version";
constexpr std::u16string_view key_lock = u"dump add lock to insert";
constexpr std::u16string_view key_comments = u"dump insert comments";
constexpr std::u16string_view key_create_database = u"dump create database";
constexpr std::u16string_view key_create_table = u"dump create table";
constexpr std::u16string_view key_schema = u"schema";

const char16_t* flag_text(bool on) { return on ? u"1" : u"0"; }

} // namespace

// ---------------------------------------------------------------------------------------------
// DB2 side

db2_converter_impl::db2_converter_impl(tk_converter& owner) : owner_(owner) {
    tk_trace(2, "db2_converter_impl::ctor");
}

void db2_converter_impl::connect_db2_server(const std::u16string& source) {
    tk_wtrace(1, u"db2_converter_impl::connect_db2_server(%s)", source.c_str());
    connected_ = false;
    engine_.connect(source, user_, password_);
    connected_ = true;
}

std::unique_ptr<udb_database> db2_converter_impl::open_db(const std::u16string& schema) {
    tk_wtrace(2, u"db2_converter_impl::open_db(%s)", schema.c_str());
    if (!connected_) throw tk_mail_assertion("db2_conv", 75);
    return engine_.open_db(schema, user_, password_);
}

std::unique_ptr<udb_database> db2_converter_impl::open_worker_db(const std::u16string& schema) {
    tk_wtrace(2, u"db2_converter_impl::open_worker_db(%s)", schema.c_str());
    if (!connected_) throw tk_mail_assertion("db2_conv", __LINE__);
    return std::make_unique<db2_database>(schema, std::make_unique<db2_connection>(engine_.dsn(), user_, password_));
}

void db2_converter_impl::set_connection_settings(const std::u16string& source, const std::u16string& user,
                                                 const std::u16string& password) {
    user_ = user;
    password_ = password;
    owner_.set_source_name(source);
}

void db2_converter_impl::set_schema(std::u16string_view schema) { schema_ = tk_wstring::to_upper(schema); }

bool db2_converter_impl::load_profile(const udb_profile& profile) {
    if (std::u16string v = profile.get_value(db2_profile_section, key_user); !v.empty()) user_ = std::move(v);
    if (std::u16string v = profile.get_value(db2_profile_section, key_password); !v.empty()) password_ = std::move(v);
    if (std::u16string v = profile.get_value(db2_profile_section, key_schema); !v.empty()) schema_ = std::move(v);
    return true;
}

bool db2_converter_impl::store_profile(udb_profile& profile) const {
    profile.set_value(db2_profile_section, key_user, user_);
    profile.set_value(db2_profile_section, key_password, password_);
    profile.set_value(db2_profile_section, key_schema, schema_);
    return true;
}

// ---------------------------------------------------------------------------------------------
// MySQL side

mysql_converter_impl::mysql_converter_impl() { tk_trace(2, "mysql_converter_impl::ctor"); }

mysql_converter_impl::~mysql_converter_impl() { tk_trace(2, "mysql_converter_impl::dtor"); }

void mysql_converter_impl::store_mysql_settings(std::string_view host, std::string_view user,
                                                std::string_view password, std::string_view port) {
    // The password stays out of the trace log, which users attach to problem reports.
    tk_trace(1, "mysql_converter_impl::store_mysql_settings(%.*s,%.*s,%s,%.*s)", int(host.size()), host.data(),
             int(user.size()), user.data(), password.empty() ? "" : "*****", int(port.size()), port.data());
    host_ = tk_trim(host);
    user_ = tk_trim(user);
    password_ = tk_trim(password);
    port_ = tk_trim(port);
    if (port_.empty()) port_ = "3306";
}

int mysql_converter_impl::port_number(std::string_view port) noexcept {
    long value = 0;
    for (char c : port) {
        if (c < '0' || c > '9') break;
        value = value * 10 + (c - '0');
        // A longer number would wrap into some other port: refuse it instead.
        if (value > 65535) return 0;
    }
    return static_cast<int>(value);
}

void mysql_converter_impl::connect_mysql_server() {
    tk_trace(2, "mysql_converter_impl::connect_mysql_server");
    const int port = port_number(port_);
    if (port == 0) throw tk_exception("Invalid port number", tk_level_run);
    engine_.connect(host_, user_, password_, port);
}

bool mysql_converter_impl::is_mysql_base_exist(const std::u16string& name) {
    tk_wtrace(2, u"mysql_converter_impl::is_mysql_base_exist( %s )", name.c_str());
    return engine_.is_db_exist(name);
}

void mysql_converter_impl::del_mysql_base(const std::u16string& name) {
    tk_wtrace(2, u"mysql_converter_impl::del_mysql_base (%s)", name.c_str());
    engine_.db_delete(name);
}

void mysql_converter_impl::check_mysql_db_name(const std::u16string& name) {
    tk_wtrace(2, u"mysql_converter_impl::check_mysql_db_name(%s)", name.c_str());
    std::unique_ptr<udb_validator> validator = engine_.create_dn_validator();
    if (validator->is_acceptable(name)) return;
    if (engine_.server_version() < 0x040100)
        throw tk_exception("Not a valid MySQL database name. It cannot consist only of numbers\n"
                           "or start with a digit and must differ from any MySQL keyword. Use\n"
                           "alphanumeric symbols (A-Z, a-z, 0-9), '_' and '$' to compose\n"
                           "new database name.",
                           tk_level_run);
    throw tk_exception("Not a valid MySQL database name. Use alphanumeric characters\r\n"
                       "(A-Z, a-z, 0-9), '_', '$' and spaces to compose new database name.",
                       tk_level_run);
}

bool mysql_converter_impl::load_profile(const udb_profile& profile) {
    tk_trace(2, "mysql_converter_impl::load_profile");
    const auto value = [&](std::u16string_view key) { return profile.get_value(mysql_profile_section, key); };
    // Host and password may be emptied by a profile (local server, no password); user and port
    // only replaced.
    host_ = tk_to_utf8(value(key_host));
    if (std::u16string v = value(key_user); !v.empty()) user_ = tk_to_utf8(v);
    password_ = tk_to_utf8(value(key_password));
    if (std::u16string v = value(key_port); !v.empty()) port_ = tk_to_utf8(v);
    const auto flag = [&](std::u16string_view key, bool& member) {
        if (std::u16string v = value(key); !v.empty()) member = v == u"1";
    };
    if (std::u16string v = value(key_line_break); !v.empty()) dump_options_.line_break = v == u"1" ? 1 : 0;
    flag(key_new_version, dump_options_.b_new_version);
    flag(key_lock, dump_options_.b_lock_for_write);
    flag(key_comments, dump_options_.b_comments);
    flag(key_create_database, dump_options_.b_create_database);
    flag(key_create_table, dump_options_.b_create_table);
    return true;
}

bool mysql_converter_impl::store_profile(udb_profile& profile) const {
    tk_trace(2, "mysql_converter_impl::store_profile");
    const auto set = [&](std::u16string_view key, std::u16string_view value) {
        profile.set_value(mysql_profile_section, key, value);
    };
    set(key_host, tk_from_utf8(host_));
    set(key_user, tk_from_utf8(user_));
    set(key_password, tk_from_utf8(password_));
    set(key_port, tk_from_utf8(port_));
    set(key_line_break, flag_text(dump_options_.line_break == 1));
    set(key_new_version, flag_text(dump_options_.b_new_version));
    set(key_lock, flag_text(dump_options_.b_lock_for_write));
    set(key_comments, flag_text(dump_options_.b_comments));
    set(key_create_database, flag_text(dump_options_.b_create_database));
    set(key_create_table, flag_text(dump_options_.b_create_table));
    return true;
}

// ---------------------------------------------------------------------------------------------

void common_check_dest(const std::u16string& path) {
    tk_wtrace(1, u"common_check_dest(%s)", path.c_str());
    if (tk_is_path_exist(path))
        throw tk_exception("Destination name should specify a file, not folder.", tk_level_run);
    // A device or a pipe is never replaced by a dump (nor, for a device, removed).
    std::string fs_path;
    struct stat existing {};
    if (tk_try_to_ansi(path, fs_path) && ::stat(fs_path.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode))
        throw tk_exception("Destination '" + udb_console_text(path) +
                               "' is not a regular file; it is left as it is. Please give the path of a dump file.",
                           tk_level_run);
    if (tk_is_file_exist(path, tk_file_readable) && !tk_is_file_exist(path, read_write_access))
        throw tk_exception("Destination name specifies an existing read-only file.", tk_level_run);
    tk_file_wname parts;
    parts.initialize(path.c_str());
    if (!tk_is_path_exist(parts.directory()))
        throw tk_exception("Destination path does not exist.\nPlease verify the correct path was given.",
                           tk_level_run);
}
