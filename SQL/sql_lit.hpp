#pragma once
// The literals of MySQL statements: a value written as SQL text for a cell of an INSERT or
// UPDATE and for a DEFAULT clause, with its escaping. The direct table writer and the dump
// writer both go through these functions, so both write the same literals.

#include "udb_sche.hpp"

#include <cstdint>
#include <string>
#include <string_view>

/// The literal of a text for a column of type `vt`: NULL for 0 and 1, "" for an empty text,
/// otherwise escaped (backslash before backslash and quote, NUL as \0) and single-quoted when
/// needs_quotes(vt). Dates are printed in the canonical form first. Binary types (65, 70)
/// follow the binary rule (GUIDs and hexadecimal or decimal literals pass as they are).
std::string to_mysql_str(std::string_view text, std::uint16_t vt);
/// The wide form; binary types are an internal assertion ("Don't process BLOBs here!").
std::u16string to_mysql_wstr(std::u16string_view text, std::uint16_t vt);
/// The literal of a cell by its own type; byte arrays are written byte by byte.
std::string to_mysql_str(const udb_field& cell);

/// The UTF-8 literal of one cell for a column, as INSERT and UPDATE statements write it. A
/// TIME column gets the time of day alone; a value that a DECIMAL(p, s) column cannot hold
/// exactly (too many digits, NaN, an infinity, text that is no number), or a date after
/// 9999-12-31 (a time past 838:59:59), raises sql_exception (the server's errors 1264, 1366 and
/// 1292), the failure of its record in either mode.
std::string get_fld_append_str(const udb_field& cell, const t_ftd& column);
/// The same, appended to `out`: the per-cell path of the writers, which allocates nothing
/// beyond the growth of `out` for text and byte-array cells.
void append_fld_str(std::string& out, const udb_field& cell, const t_ftd& column);

/// The value of the column's DEFAULT clause, or empty when it gets none (bad defaults are
/// dropped, not reported).
std::u16string make_mysql_def_val(const t_ftd& column);
