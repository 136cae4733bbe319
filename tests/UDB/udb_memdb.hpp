#pragma once
// In-memory source and destination databases for tests of anything that drives the abstract
// database and recordset interfaces. Both record what they were asked to do in a call log,
// and both can be told to fail at chosen places.

#include "tk_excp.hpp"
#include "udb_conv.hpp"
#include "udb_db.hpp"

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace memdb {

/// The code a destination gives a rejected record: MySQL's duplicate-key error in the range
/// the MySQL layer uses (0x400000 + error number).
inline constexpr int duplicate_key_code = 0x400000 + 1062;

/// One table's content. Columns are plain descriptors, rows hold one value per column.
struct table {
    std::u16string name;
    std::vector<t_ftd> columns;
    std::vector<udb_index> indexes;
    std::vector<std::vector<ole_variant>> rows;
    /// Record count a source reports; the number of rows when unset.
    std::optional<std::int32_t> reported_count;
};

/// A table of `count` rows over the columns ID (VT_I4) and NAME (VT_BSTR, 20); row i
/// (0-based) holds ID i + 1 and NAME "row<i + 1>". With `keyed`, a primary key PK_<name> on ID.
table make_table(std::u16string name, int count, bool keyed = false);

/// The ID column (first column, VT_I4) of every row of `rows`.
std::vector<int> ids(const std::vector<std::vector<ole_variant>>& rows);

/// A failure to raise at an injection point.
struct failure {
    std::string text = "injected failure";
    int level = tk_level_item;
    int code = 0;
    /// Raises the described tk_exception.
    [[noreturn]] void raise() const;
};

/// Shared call log: one line per operation, UTF-8, e.g. "create_table(ORDERS)".
using call_log = std::vector<std::string>;

/// What a source database holds and what it was asked: kept apart from the database object
/// so that a test can inspect it after the run destroyed the database.
struct source_state {
    /// Tables in the order the source lists them; add with add_table.
    std::vector<table> tables;
    /// Query text -> the result get_query gives for it.
    std::map<std::u16string, table> query_results;
    /// The source's own views (its queries map) and foreign keys.
    udb_query_map views;
    udb_relationships relationships;
    /// Views whose definitions the source cannot read.
    std::vector<std::u16string> unconverted_views;
    /// get_table / get_query of these names fail.
    std::map<std::u16string, failure> fail_open;
    /// get_query answers null, like a source that cannot read queries.
    bool no_queries = false;

    call_log log;
    /// Rows handed out by get_item, over all recordsets.
    int rows_read = 0;
    /// Recordsets made and not yet destroyed.
    int live_recordsets = 0;
    bool destroyed = false;

    void add_table(table t) { tables.push_back(std::move(t)); }
};

/// A source database over a source_state (case-sensitive table names, like a DB2 schema).
class source_db : public udb_database {
public:
    explicit source_db(std::shared_ptr<source_state> state, std::u16string name = u"SRC",
                       bool case_sensitive = true);
    ~source_db() override;

    std::unique_ptr<udb_recordset> create_table(const std::u16string& name, const udb_schema& schema,
                                                const udb_indexes& indexes) override;
    std::unique_ptr<udb_recordset> get_table(const std::u16string& name, int kind) override;
    std::unique_ptr<udb_recordset> get_query(const std::u16string& name, const std::u16string& query_text,
                                             int kind) override;
    bool query(const std::u16string& statement) override;

    source_state& state() noexcept { return *state_; }

private:
    std::shared_ptr<source_state> state_;
};

/// What a destination database holds and what it was asked.
struct dest_state {
    /// Tables in the destination: existing ones (added before the database is made) first,
    /// then those created, in creation order. create_table of an existing name keeps the
    /// table and its columns and appends to it, like a destination that keeps existing tables.
    std::vector<table> stored;

    /// Rows are held by the recordset until finish() (like a batching writer) when true.
    bool buffered = false;
    /// (table, 1-based position of the append within that recordset) -> rejected record.
    std::set<std::pair<std::u16string, int>> reject;
    /// (table, position) -> record taken by append_record but refused when its batch is sent,
    /// reported through the error handler as a batching writer does.
    std::set<std::pair<std::u16string, int>> reject_late;
    /// Rows per batch of a buffered recordset, sent when the next record is appended (as a
    /// writer settles a batch while formatting the next); 0: all at finish().
    int batch_rows = 0;
    /// finish() of these tables fails (with the code of a failed batch).
    std::set<std::u16string> fail_finish;
    std::map<std::u16string, failure> fail_create;
    std::optional<failure> fail_relationships;
    std::optional<failure> fail_views;
    /// The database's own finish (after the views) raises this.
    std::optional<failure> fail_database_finish;

    call_log log;
    /// What create_views and create_relationships received.
    udb_query_map views;
    std::size_t relationship_count = 0;
    /// Index count each create_table received, by destination name.
    std::map<std::u16string, std::size_t> index_counts;
    /// Recordsets made and not yet destroyed.
    int live_recordsets = 0;
    bool destroyed = false;

    /// The stored table of that name (ignoring case), or null.
    const table* find(const std::u16string& name) const;
    table* find(const std::u16string& name);
};

/// A destination database over a dest_state (case-insensitive table names, like MySQL).
class dest_db : public udb_database {
public:
    explicit dest_db(std::shared_ptr<dest_state> state, std::u16string name = u"DEST");
    ~dest_db() override;

    std::unique_ptr<udb_recordset> create_table(const std::u16string& name, const udb_schema& schema,
                                                const udb_indexes& indexes) override;
    bool delete_tab(const std::u16string& name) override;
    std::unique_ptr<udb_recordset> get_table(const std::u16string& name, int kind) override;
    std::unique_ptr<udb_recordset> get_query(const std::u16string& name, const std::u16string& query_text,
                                             int kind) override;
    bool query(const std::u16string& statement) override;
    void create_views(const udb_query_map& queries) override;
    void finish() override;
    void create_relationships(const udb_relationships& relationships) override;

    dest_state& state() noexcept { return *state_; }

private:
    std::shared_ptr<dest_state> state_;
};

/// Run sides over the two states: open_source / open_destination make fresh databases; the
/// validator is the base validator with a length limit, knowing the tables to convert and
/// the destination's tables, like the MySQL table-name validator.
class sides : public udb_run_sides {
public:
    std::shared_ptr<source_state> source = std::make_shared<source_state>();
    std::shared_ptr<dest_state> dest = std::make_shared<dest_state>();
    std::uint32_t max_name_length = 64;
    std::optional<failure> fail_open_source;
    std::optional<failure> fail_open_destination;
    /// Calls of prepare_destination.
    int prepared = 0;

    std::unique_ptr<udb_database> open_source() override;
    std::unique_ptr<udb_database> open_destination() override;
    std::unique_ptr<udb_validator> create_validator(const std::vector<std::u16string>& tables,
                                                    const udb_database& destination) override;
    void prepare_destination(udb_database& destination) override;
};

}  // namespace memdb
