#pragma once
// The writing side of a DB2 table: rows gathered column-wise into parameter arrays and
// inserted a block at a time through one prepared INSERT, large objects sent at execution.

#include "db2_cli.hpp"

#include "ole_var.hpp"
#include "udb_sche.hpp"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

/// The insert side of a table's cache: one parameter array per column, `block_size` rows deep.
/// A block DB2 refuses for its data (SQLSTATE classes 22 and 23) is not lost: it is split until
/// the refused rows stand alone, the good ones are stored and each refused row is reported
/// through the error handler with its record number. A value longer than its cell is refused
/// the same way before it reaches DB2. Any other failure raises db2_exception.
class db2_insert_cache {
public:
    /// Prepares the INSERT of every column of `columns` (db2_ftd descriptors, as the catalogue
    /// describes the table) into `qualified_table` on `dbc`. `table` names the table in reports.
    db2_insert_cache(SQLHDBC dbc, std::u16string table, const std::u16string& qualified_table,
                     const udb_schema& columns, std::uint32_t block_size = 100);
    db2_insert_cache(const db2_insert_cache&) = delete;
    db2_insert_cache& operator=(const db2_insert_cache&) = delete;
    ~db2_insert_cache();

    /// Puts the record (fields by position) into the next row of the block and inserts the
    /// block once it is full. `record_number` (1-based) names the row in reports.
    void add(const udb_record& record, int record_number);
    /// Inserts the rows waiting in the block.
    void flush();

    /// Rows waiting in the block.
    std::size_t pending() const noexcept { return rows_; }
    /// Rows stored and rows refused so far.
    std::int64_t stored() const noexcept { return stored_; }
    std::int64_t refused() const noexcept { return refused_; }

private:
    struct column;
    // A large object waiting to be sent at execution.
    struct lob_value {
        std::vector<std::uint8_t> bytes;
        std::u16string text;
    };

    bool set_cell(column& c, std::size_t row, const ole_variant& value, std::string& why);
    void execute_rows(std::size_t first, std::size_t last);
    // Inserts rows [first, last) in one execution; false with `error` and `state` when refused.
    bool run(std::size_t first, std::size_t last, std::string& error, std::string& state);
    void send_lob(SQLPOINTER cell);
    void report(int record_number, const std::string& text);

    SQLHDBC dbc_;
    std::u16string table_;
    std::uint32_t block_size_;
    std::vector<column> columns_;
    std::vector<int> records_;           // record number per row of the block
    std::vector<lob_value> lobs_;        // per row and column: row * columns + column
    std::size_t rows_ = 0;
    SQLULEN paramset_size_ = 0;
    std::int64_t stored_ = 0;
    std::int64_t refused_ = 0;
    db2_handle statement_;
};
