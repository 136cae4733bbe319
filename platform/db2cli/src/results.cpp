#include "results.hpp"

#include <sqlite3.h>

namespace db2s {

sqlite_cursor::sqlite_cursor(sqlite_stmt stmt) : stmt_(std::move(stmt)) {
    has_first_ = stmt_.step();
    done_ = !has_first_;
}

bool sqlite_cursor::next() {
    if (first_pending_) {
        first_pending_ = false;
        return has_first_;
    }
    if (done_) return false;
    if (!stmt_.step()) {
        done_ = true;
        return false;
    }
    return true;
}

int sqlite_cursor::kind(int col) const { return sqlite3_column_type(stmt_.get(), col); }

std::int64_t sqlite_cursor::get_int(int col) const { return sqlite3_column_int64(stmt_.get(), col); }

double sqlite_cursor::get_real(int col) const { return sqlite3_column_double(stmt_.get(), col); }

std::string_view sqlite_cursor::get_bytes(int col) const {
    // The blob accessor hands out text as stored (UTF-8) without a type test or conversion.
    const void* p = sqlite3_column_blob(stmt_.get(), col);
    const int n = sqlite3_column_bytes(stmt_.get(), col);
    return p ? std::string_view(static_cast<const char*>(p), static_cast<std::size_t>(n))
             : std::string_view();
}

int sqlite_cursor::first_row_kind(int col) const {
    return has_first_ && first_pending_ ? sqlite3_column_type(stmt_.get(), col) : cell_null;
}

bool rows_cursor::next() {
    if (pos_ >= rows_.size()) {
        pos_ = rows_.size() + 1;
        return false;
    }
    ++pos_;
    return true;
}

int rows_cursor::kind(int col) const {
    switch (cell(col).kind) {
    case value::null: return cell_null;
    case value::integer: return cell_integer;
    case value::real: return cell_real;
    case value::blob: return cell_blob;
    default: return cell_text;
    }
}

std::int64_t rows_cursor::get_int(int col) const {
    const value& v = cell(col);
    return v.kind == value::real ? static_cast<std::int64_t>(v.d) : v.i;
}

double rows_cursor::get_real(int col) const {
    const value& v = cell(col);
    return v.kind == value::integer ? static_cast<double>(v.i) : v.d;
}

std::string_view rows_cursor::get_bytes(int col) const { return cell(col).s; }

value cell_value(const cursor& cur, int col) {
    switch (cur.kind(col)) {
    case cell_null: return value{};
    case cell_integer: return value::make_int(cur.get_int(col));
    case cell_real: return value::make_real(cur.get_real(col));
    case cell_blob: return value::make_blob(std::string(cur.get_bytes(col)));
    default: return value::make_text(std::string(cur.get_bytes(col)));
    }
}

}  // namespace db2s
