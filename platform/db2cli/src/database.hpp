#pragma once
// One stand-in database: a folder holding an SQLite file with the user tables (named
// "SCHEMA.TABLE") and the catalogue tables that describe them in DB2 terms.

#include "sql_lexer.hpp"
#include "types.hpp"

#include <memory>
#include <optional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace db2s {

/// Owns one prepared SQLite statement.
class sqlite_stmt {
public:
    sqlite_stmt() = default;
    explicit sqlite_stmt(sqlite3_stmt* s) : s_(s) {}
    sqlite_stmt(sqlite_stmt&& o) noexcept : s_(o.s_) { o.s_ = nullptr; }
    sqlite_stmt& operator=(sqlite_stmt&& o) noexcept;
    sqlite_stmt(const sqlite_stmt&) = delete;
    sqlite_stmt& operator=(const sqlite_stmt&) = delete;
    ~sqlite_stmt();

    sqlite3_stmt* get() const noexcept { return s_; }
    sqlite_stmt& bind(int i, std::string_view text);
    sqlite_stmt& bind(int i, std::int64_t v);
    sqlite_stmt& bind_null(int i);
    sqlite_stmt& bind_value(int i, const value& v);
    /// True while a row is available; errors throw db2_error.
    bool step();
    std::string text(int col) const;
    std::int64_t integer(int col) const;
    bool is_null(int col) const;
    /// The cell as a value of its storage class.
    value cell(int col) const;
    void reset();

private:
    sqlite3_stmt* s_ = nullptr;
};

struct column_meta {
    std::string name;
    int colno = 0;  // 0-based, as SYSCAT.COLUMNS numbers them
    db2_type type;
    bool nullable = true;
    std::optional<std::string> default_text;  // catalogue form: 'abc', 42, CURRENT DATE, NULL
    char generated = 0;                       // 'A' always, 'D' by default, 0 not identity
    std::int64_t id_start = 1, id_increment = 1;
    std::string remarks;
    std::string expression;  // a generated column's expression (DB2 text); empty for others
};

struct check_meta {
    std::string name;
    std::string condition;  // DB2 text
};

struct table_meta {
    std::string schema, name;
    char type = 'T';
    std::string remarks;
    std::vector<column_meta> columns;
    std::vector<check_meta> checks;

    /// The SQLite table's name (see encode_name).
    std::string storage_name() const { return encode_name(schema + "." + name); }
    const column_meta* find(std::string_view column) const;
};

/// The SQLite name of an index. DB2 keeps indexes apart from tables, SQLite does not (a primary
/// key named like its table would collide), so index names end in "~#", which no stored table
/// name does.
std::string index_storage_name(std::string_view schema, std::string_view name);

/// The current time in DB2's timestamp form, 2024-01-31-13.45.00.123456 (local time).
std::string now_db2_timestamp();

class database {
public:
    /// `$DB2STANDIN_HOME`, else ~/.local/share/db2standin.
    static std::string home_folder();
    /// A data source name with a '/' is a folder path; any other is a name under the home
    /// folder, case-insensitive as DB2 aliases are.
    static std::string resolve_folder(std::string_view dsn);
    static bool exists(const std::string& folder);
    /// Opens an existing database; SQL1013N (state 08001) when there is none.
    static std::unique_ptr<database> open(std::string_view dsn);
    /// Creates the folder and an empty catalogue; SQL1005N when one exists already.
    static std::unique_ptr<database> create(const std::string& folder);
    /// Removes the database files and the folder when it is left empty.
    static void drop(const std::string& folder);

    ~database();
    database(const database&) = delete;
    database& operator=(const database&) = delete;

    sqlite3* handle() const noexcept { return db_; }
    const std::string& folder() const noexcept { return folder_; }
    const std::string& name() const noexcept { return name_; }

    void exec(std::string_view sql);
    sqlite_stmt prepare(std::string_view sql);

    bool stopped();
    void set_stopped(bool on);
    bool has_users();
    bool check_password(std::string_view user, std::string_view password);
    void add_user(std::string_view user, std::string_view password);

    /// Catalogue entry of a table or view, cached until the next change of the catalogue.
    std::shared_ptr<const table_meta> find_table(std::string_view schema, std::string_view name);
    /// Called by every statement that changes the catalogue.
    void forget_tables() { tables_.clear(); }
    /// Next identity value of a column, advanced in the catalogue.
    std::int64_t next_identity(const table_meta& table, const column_meta& column);

private:
    database(sqlite3* db, std::string folder);
    void register_functions();
    /// Adds what newer versions keep in the catalogue (views, checks, generated columns) to a
    /// database made by an older one, and renames its lower-case names to their stored form.
    void upgrade_catalogue();

    sqlite3* db_ = nullptr;
    std::string folder_;
    std::string name_;
    std::map<std::string, std::shared_ptr<const table_meta>> tables_;
};

}  // namespace db2s
