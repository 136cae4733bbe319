#pragma once
// One cell as text that a source and a MySQL table read back must agree on: the comparison the
// SHOP round-trip tests of the dump writer and of the console agent share.

#include "ole_var.hpp"
#include "sql_client.hpp"
#include "udb_db.hpp"
#include "udb_sche.hpp"

#include <string>
#include <vector>

namespace shop_compare {

/// The value by the kind of its source column: text as UTF-8, bytes as hex, floats to their
/// type's precision, numbers without the zeros a scale adds, dates without fractions of seconds
/// (the sample holds whole seconds), NULL as "<null>".
std::string canonical(const t_ftd& column, const ole_variant& v);

/// Rows of canonical cells, sorted: the order rows come back in is not compared.
using table_rows = std::vector<std::vector<std::string>>;

/// Every row of a source recordset, each cell by its own column.
table_rows recordset_rows(udb_recordset& rs);
/// Every row of `table` as the server returns it, each cell by the source column it came from
/// (`columns`, in table order). A refused SELECT or another column count is a test failure.
table_rows loaded_rows(sql_connection& c, const std::u16string& table, const std::vector<t_ftd>& columns);

} // namespace shop_compare
