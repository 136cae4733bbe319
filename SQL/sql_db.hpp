#pragma once
// The database of a MySQL server as the destination of a conversion: it lists what exists,
// creates and drops tables, hands out table writers and readers, runs statements, and adds
// the foreign keys and views after the last table.

#include "sql_client.hpp"
#include "sql_engi.hpp"
#include "sql_fkey.hpp"
#include "sql_rec.hpp"
#include "udb_db.hpp"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class sql_table;
class sql_recordset;

/// Where the user is sent when a foreign key or a view cannot be created.
inline constexpr const char* sql_support_address = "support@velquor.example";

/// Open-mode bits of an sql_database.
enum sql_db_mode : std::int32_t {
    sql_db_read_only = 1,         ///< create_table and delete_tab are internal assertions
    sql_db_created = 2,           ///< a database just created (no effect here)
    sql_db_overwrite = 4,         ///< an existing database opened to be overwritten (no effect here)
    sql_db_keep_tables = 8,       ///< create_table of an existing table writes into it
    sql_db_skip_views = 0x80,     ///< the views are not listed at opening
};

/// Rows of one page of a table or query read at a time.
inline constexpr int sql_page_size = 256;
/// One page: a slot per row, empty past the last row.
using sql_page = std::array<std::unique_ptr<sql_record>, sql_page_size>;

/// The MySQL database selected on the session's connection. Every statement of the database
/// and of the recordsets it makes goes through that one connection, so they are used by one
/// thread at a time, and a reader's unbuffered result must be consumed or released before
/// the next statement.
class sql_database : public udb_database {
public:
    /// Lists the tables and, unless `mode` has sql_db_skip_views, the views (a server without
    /// views support still opens). A failure to list the tables raises sql_exception. A session
    /// is made strict for all tables (see make_rows_strict), whatever mode the server gave it.
    sql_database(const std::u16string& name, sql_engine& engine, std::int32_t mode);
    ~sql_database() override;

    /// A writer for a new table built from the source's columns and keys; with
    /// sql_db_keep_tables an existing table is written into as it is. Raises sql_exception.
    std::unique_ptr<udb_recordset> create_table(const std::u16string& name, const udb_schema& schema,
                                                const udb_indexes& indexes) override;
    /// Drops the table. Raises sql_exception; an unknown name is an internal assertion.
    bool delete_tab(const std::u16string& name) override;
    /// A writer (and page reader) over an existing table; `kind` does not matter here.
    std::unique_ptr<udb_recordset> get_table(const std::u16string& name, int kind) override;
    /// A page reader over a SELECT text.
    std::unique_ptr<udb_recordset> get_query(const std::u16string& name, const std::u16string& query_text,
                                             int kind) override;
    /// Runs a statement, discarding any rows; false when the server refused it. Never raises.
    bool query(const std::u16string& statement) override;
    /// Runs a statement and reads all its rows; null when it gives none. Raises sql_exception.
    std::unique_ptr<udb_recordset> query_rows(const std::u16string& statement) override;
    /// Creates each SELECT as a view; a view that fails is reported and the rest go on.
    void create_views(const udb_query_map& queries) override;
    /// Adds the foreign keys whose tables this object created (and the child and parent
    /// indexes they need), under constraint names unique in the database; a key that fails or
    /// points at a table this run did not create is reported and the rest go on. Keys of
    /// tables kept from an earlier run are left alone.
    void create_relationships(const udb_relationships& relationships) override;

    /// The base's listing and column names, and the table counts as created by this run when
    /// `part` (an sql_database) created it.
    void adopt_table(udb_database& part, const std::u16string& name) override;
    /// Yes: the server takes rows for one table from several sessions.
    bool appends_at_once() const noexcept override;
    /// The same database opened on a session of its own (sql_engine::open_worker_session) for
    /// a worker thread: opened, never created or dropped, with this one's mode, its views not
    /// listed. Raises sql_exception.
    std::unique_ptr<sql_database> open_worker() const;

    /// The writer over an existing table, as its own type. Unknown name: internal assertion.
    std::unique_ptr<sql_table> open_table(const std::u16string& name);
    /// Sends a statement and opens its rows for reading one at a time; null when it gives
    /// none or failed (the connection's error number tells which).
    sql_result do_query(const std::u16string& statement);
    /// Sends an already UTF-8 statement and frees any result; raises sql_exception on failure.
    void query_append(std::string_view statement);
    /// The same without raising: false on failure, the connection then tells why.
    bool try_query_append(std::string_view statement);
    /// try_query_append in two halves, so that a writer can format its next statement while
    /// the server executes this one: start sends it (false: it could not be sent, and no
    /// answer is awaited); finish_query_append waits for the answer (false: refused). Between
    /// the two halves nothing else may use the connection.
    bool start_query_append(std::string_view statement);
    bool finish_query_append();
    /// Gives `table` an index over `columns` (source names, mapped here) unless one of its
    /// indexes already starts with them. A refused ALTER is traced, not raised.
    void create_fk_index_if(const std::u16string& table, const udb_names& columns);

    /// A source SELECT rewritten for MySQL: white space, brackets, isnull, destination names.
    std::u16string refine_view_in(const std::u16string& text) const;
    /// A view definition read from this server reduced to a more portable form.
    std::u16string refine_view_out(const std::u16string& text) const;

    /// The session this database was opened on, its connection and the server version that
    /// decides the dialect of every statement.
    sql_engine& engine() noexcept { return engine_; }
    sql_connection& connection() noexcept { return engine_.connection(); }
    std::uint32_t server_version() const noexcept { return engine_.server_version(); }

    /// One page of a table or query. Owns its unbuffered result until destroyed, so it must
    /// be gone before the connection runs another statement.
    class sql_limited_query {
    public:
        /// Runs SELECT * over the table (or the query as a derived table) LIMIT offset,count.
        /// A refused statement raises sql_exception.
        sql_limited_query(sql_database& database, const std::u16string& table_or_query, long offset,
                          long count, bool is_query);
        ~sql_limited_query();
        sql_limited_query(const sql_limited_query&) = delete;
        sql_limited_query& operator=(const sql_limited_query&) = delete;

        /// Replaces the page's records by the fetched rows from slot 0 on; a null page is an
        /// internal assertion (sql_db).
        void store_to(sql_page* page);
        /// The result's column descriptions.
        unsigned field_count() const noexcept;
        const MYSQL_FIELD* fields() const noexcept;

    private:
        sql_result result_;
    };

private:
    /// The server's spelling of a listed table; an unknown name is an internal assertion.
    const std::u16string& listed_name(const std::u16string& name) const;
    void make_rows_strict();
    void init_tables();
    void init_views();
    void create_relationship(const sql_fk_definition& key);
    /// What became of a table in this run.
    sql_fk_table table_state(const std::u16string& name) const;
    /// Foreign-key constraint names the database holds for tables this run did not create.
    std::vector<std::u16string> other_constraint_names();

    sql_engine& engine_;
    /// Tables created by this object (server spelling), in order.
    std::vector<std::u16string> created_;
};

/// Selects `name` on the session's connection and opens it as a destination database.
/// Raises sql_exception.
std::unique_ptr<sql_database> sql_open_database(sql_engine& engine, const std::u16string& name, std::int32_t mode);

/// `text` as a single-quoted MySQL string literal (backslash, quote and NUL escaped), UTF-8.
std::string sql_string_literal(std::u16string_view text);
