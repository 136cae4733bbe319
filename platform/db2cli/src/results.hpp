#pragma once
// Result sets: what a statement's cursor hands to the fetch code, whether it comes from a
// live SQLite query or from rows built by a catalogue function.

#include "database.hpp"
#include "types.hpp"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace db2s {

struct result_column {
    std::string name;
    db2_type type;
    bool nullable = true;
    bool auto_unique = false;  // an identity column; SQLColAttributeW field 11 answers false all the same
    std::string schema, table;  // base table, when the column is one of its columns
};

/// Storage classes of a cell, numbered as SQLite numbers them.
enum cell_kind : int { cell_integer = 1, cell_real = 2, cell_text = 3, cell_blob = 4, cell_null = 5 };

/// A forward-only cursor; cells of the current row stay valid until the next `next()`.
class cursor {
public:
    virtual ~cursor() = default;
    /// Moves to the next row; false at the end.
    virtual bool next() = 0;
    virtual int kind(int col) const = 0;
    virtual std::int64_t get_int(int col) const = 0;
    virtual double get_real(int col) const = 0;
    /// The bytes of a text (UTF-8) or blob cell.
    virtual std::string_view get_bytes(int col) const = 0;
};

/// Cursor over a prepared SQLite statement. The first step is taken at once so that errors
/// and the first row's storage classes are known when the statement is executed.
class sqlite_cursor final : public cursor {
public:
    explicit sqlite_cursor(sqlite_stmt stmt);
    bool next() override;
    int kind(int col) const override;
    std::int64_t get_int(int col) const override;
    double get_real(int col) const override;
    std::string_view get_bytes(int col) const override;
    /// Storage class of a cell of the first row (cell_null when there is none).
    int first_row_kind(int col) const;

private:
    sqlite_stmt stmt_;
    bool first_pending_ = true;
    bool has_first_ = false;
    bool done_ = false;
};

/// Cursor over rows built in memory.
class rows_cursor final : public cursor {
public:
    explicit rows_cursor(std::vector<std::vector<value>> rows) : rows_(std::move(rows)) {}
    bool next() override;
    int kind(int col) const override;
    std::int64_t get_int(int col) const override;
    double get_real(int col) const override;
    std::string_view get_bytes(int col) const override;

private:
    const value& cell(int col) const { return rows_[pos_ - 1][static_cast<std::size_t>(col)]; }
    std::vector<std::vector<value>> rows_;
    std::size_t pos_ = 0;
};

/// The current row's cell `col` as a value.
value cell_value(const cursor& cur, int col);

/// A whole result: its columns and its cursor.
struct result_set {
    std::vector<result_column> columns;
    std::unique_ptr<cursor> rows;
};

}  // namespace db2s
