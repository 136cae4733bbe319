#pragma once
// The MySQL dump file as a conversion destination: a UTF-8 script of SQL statements that
// recreates the converted tables, their rows, foreign keys and views when a MySQL client runs
// it. The statements are the ones the direct destination would send (same column and key
// definitions, same literals), so a dump and a direct conversion give the same database.

#include "dmp_out.hpp"
#include "udb_db.hpp"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>

/// What the dump file holds and how it is written; the application fills it from its settings.
struct dmp_options {
    std::uint32_t line_break = 0;   ///< 0: lines end with CR LF; anything else: LF alone
    bool b_new_version = true;      ///< backquoted names, ENGINE clause, utf8mb4, foreign keys
    bool b_lock_for_write = true;   ///< LOCK TABLES ... WRITE around each table's rows
    bool b_comments = true;         ///< file header and a comment block before each table part
    bool b_create_database = false; ///< DROP/CREATE/USE DATABASE (only with b_create_table)
    bool b_create_table = true;     ///< DROP TABLE IF EXISTS and CREATE TABLE per table
    std::string creator;            ///< program title for the header's "Created by" line
};

/// The dump destination database. Tables, rows, foreign keys and views go to the file in the
/// order the driver asks for them; table names are not checked against anything but this
/// dump's own tables (a dump has no server to ask). Uses the MySQL session (sql_engine) for
/// the dialect, the storage-engine flag and the LOCK TABLES flag, and sets its version.
class dmp_database : public udb_database {
public:
    /// Creates the file at `path`, sets the session's dialect and writes the header, the
    /// loading session's settings and the database block as the options ask. A file that
    /// cannot be created raises a run-level tk_exception_ex; so does a failed write anywhere.
    dmp_database(const std::u16string& path, const dmp_options& options);
    /// Finishes the file as finish() does, unless an exception is passing: a run that fails
    /// leaves its old dump (or none) in place. It cannot report a failure: create_relationships
    /// and create_views flush what they wrote, and finish() closes with reporting for callers
    /// that can call it.
    ~dmp_database() override;

    /// The table's structure (as the options ask) and a recordset that writes its rows. A
    /// table created twice is an internal assertion (sql_dump 275).
    std::unique_ptr<udb_recordset> create_table(const std::u16string& name, const udb_schema& schema,
                                                const udb_indexes& indexes) override;
    /// A dump cannot be read back: internal assertion (sql_dump 117).
    std::unique_ptr<udb_recordset> get_table(const std::u16string& name, int kind) override;
    /// No queries in a dump: null.
    std::unique_ptr<udb_recordset> get_query(const std::u16string& name, const std::u16string& query_text,
                                             int kind) override;
    /// Writes nothing; false, as nothing was run.
    bool query(const std::u16string& statement) override;
    /// Writes the statement (after a pending UNLOCK TABLES); there are never rows: null.
    std::unique_ptr<udb_recordset> query_rows(const std::u16string& statement) override;
    /// CREATE OR REPLACE VIEW for every SELECT text, in name order; then flushes.
    void create_views(const udb_query_map& queries) override;
    /// The foreign-key block (new dialect only); then flushes.
    void create_relationships(const udb_relationships& relationships) override;

    /// A handle for a worker thread: each table it creates goes, structure and rows, into a
    /// temporary file of its own beside the dump, which adopt_table then appends to this dump.
    /// It writes no header and never finishes; the session's LOCK TABLES flag stays this
    /// dump's (a part keeps its own), so parts appended in item order give the same bytes as
    /// tables written one after another.
    /// Null when this dump is written in place (a device): parts have nowhere to go.
    std::unique_ptr<dmp_database> open_part() const;
    /// Appends the part's file for table `name` (after the UNLOCK TABLES a table written here
    /// would have closed first), then the base's listing, column names and the table's indexes.
    void adopt_table(udb_database& part, const std::u16string& name) override;

    /// Writes the closing lines and the completion line "-- Dump completed on <date>", flushes,
    /// closes and puts the file in place, reporting a failure; the destructor then has nothing
    /// left to do. Safe to call more than once.
    void finish() override;

    /// A view's SELECT text in MySQL form: white space collapsed outside literals, brackets
    /// made backquotes, two-argument isnull made ifnull, source names made destination names.
    std::u16string refine_view_in(const std::u16string& text) const;

    /// The line break of the options, narrow and wide.
    std::string_view line_break() const noexcept;
    std::u16string_view wline_break() const noexcept;

    const dmp_options& options() const noexcept { return options_; }
    /// The file, for the recordsets this database hands out.
    dmp_output& output() noexcept { return *out_; }

private:
    // A part's file for one table, and the LOCK TABLES state around it.
    struct table_part {
        std::unique_ptr<dmp_output> output;
        bool closes_lock = false; // the table closed the lock before it
        bool leaves_lock = false; // the table's rows are under its own lock
    };
    struct part_tag {};
    dmp_database(const dmp_database& run, part_tag);

    void write(std::string_view bytes) { out_->write(bytes); }
    void write_line(std::string_view bytes);
    void write_quoted(std::u16string_view name);
    void close_pending_lock();
    void write_header();
    void write_session_settings();
    void write_database_block();

    std::unique_ptr<dmp_output> output_;
    dmp_output* out_ = nullptr; // output_, or in a part the file of the table being written
    dmp_options options_;
    /// Table as given to create_table -> the source indexes it was created with.
    std::map<std::u16string, udb_indexes> table_indexes_;
    bool finished_ = false;
    int uncaught_ = 0; // exceptions passing at construction
    // A part (open_part): output_ is the file of the table being written, parts_ every table's.
    bool is_part_ = false;
    std::map<std::u16string, table_part> parts_;
    table_part* current_part_ = nullptr;
};

/// The destination recordset of one dump table: rows become extended INSERT statements of
/// about 1,000,000 bytes, each with its column list, built in one buffer that is reused for
/// every statement.
class dmp_recordset : public udb_recordset {
public:
    /// Copies the destination columns; `database` must outlive the recordset.
    dmp_recordset(dmp_database& database, const std::u16string& table, const udb_schema& columns);
    /// Discards what finish() was not called for (the destination contract).
    ~dmp_recordset() override;

    /// Adds the row to the statement being built and writes the statement once it passes the
    /// threshold. A destination column whose source column the row lacks fails the row with
    /// the generic message and leaves the statement as it was.
    void append_record(const udb_record& record) override;
    /// Writes the last statement.
    void finish() override;

    /// Bytes after which a statement is ended; the next row starts a new one.
    static constexpr std::size_t statement_limit = 1000000;
    /// The packet limit of a server that loads the dump, unless raised (16 MiB): no
    /// statement of several rows passes it, and a row that alone does is reported.
    static constexpr std::size_t load_packet_limit = 16u * 1024 * 1024;

private:
    void write_statement();

    dmp_database& database_;
    std::string head_;                       // INSERT INTO t(columns) VALUES
    std::vector<std::u16string> source_names_; // source column of each destination column
    std::string buffer_;
    int rows_ = 0; // records appended, for reports
};
