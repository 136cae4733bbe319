#pragma once
// The catalogue functions (SQLTables, SQLColumns, SQLPrimaryKeys, SQLStatistics,
// SQLForeignKeys): ODBC result-set layouts filled with DB2's figures.

#include "results.hpp"
#include "session.hpp"
#include "text.hpp"

namespace db2s {

// Absent arguments (null pointers) match everything; a non-empty catalogue matches nothing,
// as DB2 has none. Pattern arguments take % and _; the others are exact names.

/// TABLE_CAT .. REMARKS; schema "%" with no table and no type lists the schemas instead.
result_set catalog_tables(session& s, const cli_text& catalog, const cli_text& schema,
                          const cli_text& table, const cli_text& types);
/// The 18 ODBC columns, one row per column in table and ordinal order.
result_set catalog_columns(session& s, const cli_text& catalog, const cli_text& schema,
                           const cli_text& table, const cli_text& column);
/// One row per key column, PK_NAME being the constraint's name.
result_set catalog_primary_keys(session& s, const cli_text& catalog, const cli_text& schema,
                                const cli_text& table);
/// The table's statistics row (TYPE 0) first, then each index column; `unique` is
/// SQL_INDEX_UNIQUE or SQL_INDEX_ALL.
result_set catalog_statistics(session& s, const cli_text& catalog, const cli_text& schema,
                              const cli_text& table, SQLUSMALLINT unique);
/// The keys referring to the given parent table, or held by the given child table.
result_set catalog_foreign_keys(session& s, const cli_text& pk_catalog, const cli_text& pk_schema,
                                const cli_text& pk_table, const cli_text& fk_catalog,
                                const cli_text& fk_schema, const cli_text& fk_table);

}  // namespace db2s
