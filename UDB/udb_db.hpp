#pragma once
// The two abstract ends of a conversion: a recordset (one table or query, read or written)
// and a database (one database or schema). Concrete sources and destinations derive from them;
// the conversion driver only talks through these operations.

#include "udb_idx.hpp"
#include "udb_rel.hpp"
#include "udb_sche.hpp"
#include "udb_vali.hpp"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

/// View or query name -> SELECT text, in code-unit order of the name.
using udb_query_map = std::map<std::u16string, std::u16string>;

/// One of the ranges of its key a table is cut into, for readers of their own (see
/// udb_database::split_table).
struct udb_key_range {
    std::u16string condition; ///< the source's condition that selects the range's rows
    std::int32_t first_row = 0; ///< rows of the table before the range, in key order
    std::int32_t rows = 0;      ///< rows in the range when it was cut
};

/// One table or query, as a source or a destination.
///
/// Source contract: the recordset starts before its first row; the caller calls reset(), then
/// alternates is_eof(), get_item() and next(). The record get_item() returns belongs to the
/// recordset and stays valid until the next get_item() or the recordset's end, so a reader
/// keeps one record and refills it in place instead of allocating one per row.
///
/// Destination contract: the caller hands rows to append_record() and, after the last row,
/// calls finish(). A recordset that buffers rows sends its last batch in finish(), so that a
/// failure of that write is raised while the caller can still report it for the table. The
/// destructor must not write; whatever finish() was not called for is discarded.
class udb_recordset {
public:
    /// A recordset over a query (`query_text` non-empty) or a table.
    udb_recordset(std::u16string name, std::u16string query_text, bool b_owner);
    udb_recordset(std::u16string name, bool b_owner);
    udb_recordset(const udb_recordset&) = delete;
    udb_recordset& operator=(const udb_recordset&) = delete;
    virtual ~udb_recordset();

    /// Writes one row. Every concrete recordset defines it.
    virtual void append_record(const udb_record& record) = 0;
    /// Base: traces the call and does nothing.
    virtual void update();
    /// The current row, owned by the recordset; null when there is none (base: always null).
    virtual const udb_record* get_item();
    /// After get_item(): takes the current row's record into `spare`, leaving the reader the
    /// record `spare` held (empty, or one this reader gave before), which it makes a record of
    /// its columns again at its next get_item(). A row so travels to another thread without a
    /// copy. For readers that refill every field at every get_item(). Base: false, nothing
    /// is exchanged (the caller copies).
    virtual bool exchange_item(udb_record& spare);
    /// True when there is no current row (base: always true).
    virtual bool is_eof();
    /// True when the recordset stands for a query.
    virtual bool is_query() const;
    /// Row movement; the base does nothing.
    virtual void next();
    virtual void prev();
    virtual void reset();
    /// Sends whatever a destination still buffers; see the destination contract above.
    /// Base: nothing to send.
    virtual void finish();
    /// Records that append_record returned from normally yet that this destination refused
    /// later (a batch answered after the next records were handed over, or at finish()); each
    /// was reported through the error handler, not raised. The driver counts them as refused
    /// instead of copied. Base: 0, for destinations that refuse only by raising.
    virtual int records_refused_late() const noexcept;

    /// Appends a copy of `index` unless the name is taken; the first primary or unique index
    /// added becomes the recordset's key.
    void add_index(const udb_index& index);

    /// The SELECT text of a query recordset; empty for a table.
    const std::u16string& query_text() const noexcept { return query_text_; }
    const std::u16string& name() const noexcept { return name_; }
    /// Columns and indexes as filled by the concrete recordset.
    const udb_schema& schema() const noexcept { return schema_; }
    const udb_indexes& indexes() const noexcept { return indexes_; }
    /// Rows held, for recordsets that hold or count them.
    std::int32_t record_count() const noexcept { return record_count_; }
    /// Position of the key in indexes(), or -1 without one.
    std::int32_t primary_key_index() const noexcept { return primary_key_index_; }
    /// A destination that writes one range of a table: its records are numbered after
    /// `rows_before` records of the table in the reports of refused records.
    void set_records_before(std::int32_t rows_before) noexcept { records_before_ = rows_before; }

protected:
    // The concrete recordset fills the schema once, before any row moves.
    std::u16string query_text_;
    std::u16string name_;
    udb_schema schema_;
    udb_indexes indexes_;
    std::int32_t record_count_ = 0;
    std::int32_t primary_key_index_ = -1;
    std::int32_t records_before_ = 0;
};

/// How many objects of one kind (foreign keys, views) a destination created and failed to create.
struct udb_object_counts {
    int created = 0;
    int failed = 0;
};

/// One database, as a source or a destination. Factories return recordsets owned by the
/// caller; a database outlives every recordset it made.
class udb_database {
public:
    /// `mode` bits belong to the concrete destination; `b_case_sensitive` decides how table
    /// names are compared (exactly, or ignoring case).
    udb_database(std::u16string name, std::int32_t mode, bool b_case_sensitive);
    udb_database(const udb_database&) = delete;
    udb_database& operator=(const udb_database&) = delete;
    virtual ~udb_database();

    /// A destination recordset for a new table built from the source's columns and indexes.
    virtual std::unique_ptr<udb_recordset> create_table(const std::u16string& name,
                                                        const udb_schema& schema,
                                                        const udb_indexes& indexes) = 0;
    /// Base: removes the name from tables(); an unknown name is an internal assertion (udb_db 44).
    virtual bool delete_tab(const std::u16string& name);
    /// A recordset over an existing table; `kind` 1 reads it as a source.
    virtual std::unique_ptr<udb_recordset> get_table(const std::u16string& name, int kind) = 0;
    /// Cuts table `name` into at most `parts` ranges of its key column `key` (which must be
    /// unique), in key order, each with rows, that get_table_range reads on its own. Empty
    /// when the source cannot cut it (base: never), or when fewer than two ranges hold rows.
    virtual std::vector<udb_key_range> split_table(const std::u16string& name, const std::u16string& key, int parts);
    /// A reader (as get_table's `kind`) over the rows of `range` of table `name`, in key order.
    /// Base: internal assertion (udb_db).
    virtual std::unique_ptr<udb_recordset> get_table_range(const std::u16string& name, const udb_key_range& range,
                                                           int kind);
    /// Whether several handles (udb_run_sides::open_worker_destination) may append to one
    /// table at once, each having found it made by another. Base: no (a dump's part keeps its
    /// rows in its own file).
    virtual bool appends_at_once() const noexcept;
    /// A recordset over a query; may be null where queries cannot be read.
    virtual std::unique_ptr<udb_recordset> get_query(const std::u16string& name,
                                                     const std::u16string& query_text,
                                                     int kind) = 0;
    /// Runs a statement that yields no rows; false when it failed.
    virtual bool query(const std::u16string& statement) = 0;
    /// Runs a statement whose rows are wanted; null when it gave none.
    /// Base: internal assertion (udb_db 70), for databases that cannot.
    virtual std::unique_ptr<udb_recordset> query_rows(const std::u16string& statement);
    /// Creates the views (name -> SELECT text) after the last table. Base: nothing.
    virtual void create_views(const udb_query_map& queries);
    /// Creates the foreign keys after the last table. Base: nothing.
    virtual void create_relationships(const udb_relationships& relationships);
    /// Ends the run's writing: a destination that buffers output (a dump file) writes and closes
    /// it here, so that a failure raises where the run reports it instead of vanishing in a
    /// destructor. Called once, after the views. Base: nothing.
    virtual void finish();
    /// Whether tables() holds the name (exactly when case-sensitive, else ignoring case).
    virtual bool is_table_exist(const std::u16string& name) const;
    /// Takes over table `name` that a worker made through `part`, a further handle on this
    /// destination (udb_run_sides::open_worker_destination), as if this database had made it:
    /// it is listed and its column names are known, so that the keys and views after the last
    /// table find it. Called on the run's thread in item order, for every item that reached
    /// `part`'s create_table, while `part` is not changing its lists. Base: the listing and
    /// the column names; nothing when `part` has no such table.
    virtual void adopt_table(udb_database& part, const std::u16string& name);

    /// The foreign keys and views this destination created and failed to create so far; a
    /// destination that does not count them reports zeros.
    udb_object_counts& foreign_key_counts() noexcept { return foreign_key_counts_; }
    const udb_object_counts& foreign_key_counts() const noexcept { return foreign_key_counts_; }
    udb_object_counts& view_counts() noexcept { return view_counts_; }
    const udb_object_counts& view_counts() const noexcept { return view_counts_; }

    /// Settings given at construction.
    std::int32_t mode() const noexcept { return mode_; }
    const std::u16string& name() const noexcept { return name_; }
    bool is_case_sensitive() const noexcept { return b_case_sensitive_; }

    /// Views and custom queries the database holds (name -> SELECT text).
    udb_query_map& queries() noexcept { return queries_; }
    const udb_query_map& queries() const noexcept { return queries_; }
    /// Tables that exist in the database, in the order found or created.
    std::vector<std::u16string>& tables() noexcept { return tables_; }
    const std::vector<std::u16string>& tables() const noexcept { return tables_; }
    /// Source-to-destination names of what this database created.
    udb_names_map& names_map() noexcept { return names_map_; }
    const udb_names_map& names_map() const noexcept { return names_map_; }
    /// Views of a source whose definitions it cannot read; the run names each in a report.
    std::vector<std::u16string>& unconverted_views() noexcept { return unconverted_views_; }
    const std::vector<std::u16string>& unconverted_views() const noexcept { return unconverted_views_; }
    /// Foreign keys: collected by a source while reading, to be created by a destination.
    udb_relationships& relationships() noexcept { return relationships_; }
    const udb_relationships& relationships() const noexcept { return relationships_; }

protected:
    /// Index of the first entry of tables() that matches `name`, or -1.
    std::ptrdiff_t find_table(const std::u16string& name) const;

    std::int32_t mode_;
    std::u16string name_;
    bool b_case_sensitive_;
    udb_query_map queries_;
    std::vector<std::u16string> tables_;
    udb_names_map names_map_;
    udb_relationships relationships_;
    std::vector<std::u16string> unconverted_views_;
    udb_object_counts foreign_key_counts_;
    udb_object_counts view_counts_;
};
