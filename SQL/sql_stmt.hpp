#pragma once
// The text of the statements that both MySQL destinations write, the server and the dump
// file: one builder for each kind, so that a dump holds the statements a direct conversion
// sends. Every name is quoted for the server version given (see sql_quote_name); no builder
// adds a terminator, as the server takes none and the dump adds its own.

#include <cstdint>
#include <string>
#include <string_view>
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
