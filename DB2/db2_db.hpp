#pragma once
// One DB2 schema as a source: its tables, and recordsets over a table or a custom query.

#include "udb_db.hpp"

#include <memory>
#include <string>

/// A DB2 schema read as a source. Table names compare exactly (DB2 keeps their case).
/// Writing into DB2 is not supported: create_table is an internal assertion.
class db2_database : public udb_database {
public:
    /// Makes `schema` the connection's current schema (a failure is only traced) and lists its
    /// tables. The engine must be connected.
    explicit db2_database(const std::u16string& schema);

    std::unique_ptr<udb_recordset> create_table(const std::u16string& name, const udb_schema& schema,
                                                const udb_indexes& indexes) override;
    /// A table recordset (`kind` 1 reads keys, indexes and foreign keys); the table must be listed.
    std::unique_ptr<udb_recordset> get_table(const std::u16string& name, int kind) override;
    /// A recordset over a SELECT text.
    std::unique_ptr<udb_recordset> get_query(const std::u16string& name, const std::u16string& query_text,
                                             int kind) override;
    /// Runs one statement; false when DB2 refused it.
    bool query(const std::u16string& statement) override;
};
