#pragma once
// One DB2 table or custom query as a source: its columns from the catalogue, its keys, and its
// rows fetched a block at a time.

#include "db2_append.hpp"
#include "db2_cli.hpp"
#include "db2_util.hpp"

#include "udb_db.hpp"

#include <cstdint>
#include <memory>
#include <string>

class db2_database;

/// A table (kind 1: as a source, with keys; kind 2: opened for its columns only) or a query.
/// Every CLI failure or warning raises db2_exception; the statement and the locator statements
/// are freed whatever happens. The engine must outlive the recordset.
class db2_recordset : public udb_recordset {
public:
    /// A table of `db`: columns, keys (kind 1), row count, then the open cursor. A non-empty
    /// `clause` (" WHERE ... ORDER BY ...") follows the SELECT: the cursor reads those rows only.
    db2_recordset(db2_database& db, const std::u16string& table, udb_relationships& relationships,
                  int kind, std::u16string clause = {});
    /// A query: the SELECT text runs at once and its result describes the columns.
    db2_recordset(db2_database& db, const std::u16string& name, const std::u16string& query_text,
                  udb_relationships& relationships, int kind);
    ~db2_recordset() override;

    /// Writes one row into a table opened with kind 2. The first call switches the table's
    /// identity columns off (so that their values are copied) and prepares the insert; rows go
    /// to DB2 a block at a time. A refused row is reported with its record number (the count of
    /// records this recordset was handed) and the next follows.
    void append_record(const udb_record& record) override;
    /// Inserts the rows still waiting and switches the identity columns on again, to continue
    /// above the highest value in the table.
    void finish() override;
    /// Records reported as refused without raising: a value that does not fit its cell, or a
    /// row of a block DB2 refused.
    int records_refused_late() const noexcept override { return insert_ ? int(insert_->refused()) : 0; }
    /// The current row; refilled in place by the next call. Null at the end or outside a block.
    const udb_record* get_item() override;
    bool exchange_item(udb_record& spare) override;
    bool is_eof() override;
    void next() override;
    /// Binds the fetch buffers and fetches the first block, once.
    void reset() override;

    /// Rows in the block fetched last (for callers that watch the fetching).
    std::uint32_t rows_fetched() const noexcept { return rows_fetched_; }
    /// Number of blocks fetched so far, the last empty one included.
    std::uint32_t fetch_count() const noexcept { return fetch_count_; }
    /// The SELECT text a table recordset runs (empty for a query).
    const std::u16string& select_text() const noexcept { return select_text_; }

    /// Identity columns that appending has switched off (and finish() or the destructor will
    /// switch on again).
    const std::vector<std::u16string>& disabled_identities() const noexcept { return disabled_identities_; }

private:
    void disable_all_identities();
    void enable_all_identities();
    void init_schema();
    void init_cursor();
    void deinit_cursor();
    void fetch_block();

    std::int32_t current_row_ = -1;
    SQLULEN rows_fetched_ = 0;
    db2_cache cache_;
    std::u16string schema_name_;
    udb_relationships& relationships_;
    bool eof_ = false;
    std::unique_ptr<udb_record> last_record_;
    std::uint32_t fetch_count_ = 0;
    std::u16string select_text_;
    std::u16string clause_;
    SQLHDBC dbc_;
    std::u16string quoted_table_;
    std::unique_ptr<db2_insert_cache> insert_;
    std::vector<std::u16string> disabled_identities_;
    int appended_ = 0;
    db2_handle statement_;
};

/// Reads a table's primary key, other indexes and foreign keys from the catalogue.
struct ora_table {
    /// Adds to `table` its primary key and indexes (columns its schema lacks are skipped) and to
    /// `relationships` the foreign keys in which it is the child. Uses `statement`, which must be
    /// idle, and leaves it closed.
    static void init_indexes(SQLHSTMT statement, const std::u16string& schema_name,
                             udb_recordset& table, udb_relationships& relationships);
    /// The rule word of a catalogue DELETE_RULE or UPDATE_RULE ("" for no action and unknown values).
    static const char16_t* get_delete_rule(SQLSMALLINT rule);
    /// "ON DELETE <word>" and "ON UPDATE <word>" joined by a blank, each left out when its rule
    /// is NULL (`*_null`) or no action, which is also the destination's default.
    static std::u16string get_rule_clause(SQLSMALLINT delete_rule, bool delete_null, SQLSMALLINT update_rule,
                                          bool update_null);
};
