#pragma once
// One DB2 schema as a source: its tables, and recordsets over a table or a custom query.

#include "db2_cli.hpp"
#include "db2_conn.hpp"
#include "db2_vali.hpp"

#include "udb_db.hpp"

#include <cstdint>
#include <memory>
#include <string>

/// A DB2 schema, read as a source or written as a destination. Table names compare exactly
/// (DB2 keeps their case).
class db2_database : public udb_database {
public:
    /// Mode bit: rows are appended to existing tables, foreign keys are not created.
    static constexpr std::int32_t mode_append = 8;

    /// Makes `schema` the connection's current schema (a failure is only traced) and lists its
    /// tables. The engine must be connected.
    explicit db2_database(const std::u16string& schema);
    /// A schema reached through a connection of its own (a destination in another database
    /// than the source). The schema need not exist yet: DB2 makes it with its first table.
    db2_database(const std::u16string& schema, std::unique_ptr<db2_connection> connection,
                 std::int32_t mode = 0);
    ~db2_database() override;

    /// Creates the table with its primary key and indexes and returns a recordset that
    /// appends to it. A table that exists already is kept and appended to.
    std::unique_ptr<udb_recordset> create_table(const std::u16string& name, const udb_schema& schema,
                                                const udb_indexes& indexes) override;
    /// Drops the table; false when DB2 refused.
    bool delete_tab(const std::u16string& name) override;
    /// Creates the foreign keys between tables of this database; a key DB2 refuses, or whose
    /// tables are not here, is reported through the error handler and the next one is tried.
    void create_relationships(const udb_relationships& relationships) override;
    /// A table recordset (`kind` 1 reads keys, indexes and foreign keys); the table must be listed.
    std::unique_ptr<udb_recordset> get_table(const std::u16string& name, int kind) override;
    /// Cuts the table by the values of an integer key column: MIN to MAX in `parts` spans of
    /// equal width (a dense key gives ranges of about equal rows), each counted. Keys whose
    /// values are not whole numbers give no ranges.
    std::vector<udb_key_range> split_table(const std::u16string& name, const std::u16string& key, int parts) override;
    /// A table recordset whose SELECT keeps the range's rows, ordered by the key.
    std::unique_ptr<udb_recordset> get_table_range(const std::u16string& name, const udb_key_range& range,
                                                   int kind) override;
    /// A recordset over a SELECT text.
    std::unique_ptr<udb_recordset> get_query(const std::u16string& name, const std::u16string& query_text,
                                             int kind) override;
    /// Runs one statement in this schema; false when DB2 refused it.
    bool query(const std::u16string& statement) override;

    /// The connection the database works on (the engine's, or its own).
    SQLHDBC connection() const noexcept { return dbc_; }
    /// A new statement on that connection.
    db2_handle alloc_statement() const;
    /// Rows of a table given by its quoted SQL name.
    std::int32_t count_rows(const std::u16string& quoted_name) const;
    /// The table's quoted SQL name: schema and table, each delimited.
    std::u16string quoted_table(const std::u16string& table) const;

private:
    std::unique_ptr<db2_connection> own_connection_;
    SQLHDBC dbc_;
    // Index names are unique per schema: those that exist, and those this run made.
    db2_validator index_names_;
    bool index_names_read_ = false;
};
