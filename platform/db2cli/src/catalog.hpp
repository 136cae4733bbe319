#pragma once
// The catalogue functions (SQLTables, SQLColumns, SQLPrimaryKeys, SQLStatistics,
// SQLForeignKeys): ODBC result-set layouts filled with DB2's figures.

#include "results.hpp"
#include "session.hpp"
#include "text.hpp"

namespace db2s {

result_set catalog_tables(session& s, const cli_text& catalog, const cli_text& schema,
                          const cli_text& table, const cli_text& types);
result_set catalog_columns(session& s, const cli_text& catalog, const cli_text& schema,
                           const cli_text& table, const cli_text& column);
result_set catalog_primary_keys(session& s, const cli_text& catalog, const cli_text& schema,
                                const cli_text& table);
result_set catalog_statistics(session& s, const cli_text& catalog, const cli_text& schema,
                              const cli_text& table, SQLUSMALLINT unique);
result_set catalog_foreign_keys(session& s, const cli_text& pk_catalog, const cli_text& pk_schema,
                                const cli_text& pk_table, const cli_text& fk_catalog,
                                const cli_text& fk_schema, const cli_text& fk_table);

}  // namespace db2s
