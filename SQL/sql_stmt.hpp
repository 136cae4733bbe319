#pragma once
// The text of the statements that both MySQL destinations write, the server and the dump
// file: one builder for each kind, so that a dump holds the statements a direct conversion
// sends. Every name is quoted for the server version given (see sql_quote_name); no builder
// adds a terminator, as the server takes none and the dump adds its own.

#include "sql_util.hpp"
#include "udb_sche.hpp"

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

/// "a, b": the names quoted and separated by ", ".
std::u16string sql_name_list(const std::vector<std::u16string>& names, std::uint32_t server_version);

/// "CREATE TABLE t (definitions) ENGINE=<storage_engine>" (TYPE= up to 4.0.22), the column
/// definitions before the key definitions. With an empty `line_break` the definitions follow
/// one another separated by ", " (the server's form); otherwise each stands on a line of its
/// own indented by two blanks, and the closing parenthesis on a line after them (the dump's).
std::u16string sql_create_table_statement(std::u16string_view table,
                                          const std::vector<std::u16string>& columns,
                                          const std::vector<std::u16string>& keys,
                                          std::u16string_view storage_engine, std::uint32_t server_version,
                                          std::u16string_view line_break = {});

/// "ALTER TABLE t ADD INDEX (a, b)": the index a foreign key needs over `columns`
/// (destination names).
std::u16string sql_add_index_statement(std::u16string_view table, const std::vector<std::u16string>& columns,
                                       std::uint32_t server_version);

/// "CREATE OR REPLACE VIEW v AS <select_text>"; the text is taken as it is (see
/// sql_refine_view_in for the MySQL form of a source text).
std::u16string sql_view_statement(std::u16string_view view, std::u16string_view select_text,
                                  std::uint32_t server_version);

/// "INSERT INTO t(a, b) VALUES" in UTF-8: an extended INSERT up to its first tuple; the tuples
/// follow it separated by ", ". `columns` are destination names in the order of the tuples'
/// values.
std::string sql_insert_head(std::u16string_view table, const std::vector<std::u16string>& columns,
                            std::uint32_t server_version);

/// A record's field and the destination column whose type its literal follows.
using sql_cell = std::pair<const udb_field&, const t_ftd&>;

/// Appends the tuple "(v1, v2)" of one record to `out`: for each k below `count`, `cell(k)`
/// gives the sql_cell of the k-th value. The pairing is the caller's (the two destinations
/// find a column's field differently); the text is this one. What `cell` or a literal raises
/// passes with part of the tuple appended: callers cut `out` back to where it was.
template <class Cell>
void sql_append_insert_tuple(std::string& out, std::size_t count, Cell&& cell) {
    out += '(';
    for (std::size_t k = 0; k < count; ++k) {
        const auto [field, column] = cell(k);
        if (k) out += ", ";
        append_fld_str(out, field, column);
    }
    out += ')';
}
