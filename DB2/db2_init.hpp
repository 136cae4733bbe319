#pragma once
// What a new DB2 table is made of: its columns (names made valid, keys made NOT NULL) and the
// statements for its keys and indexes.

#include "db2_cli.hpp"
#include "db2_vali.hpp"

#include "udb_idx.hpp"
#include "udb_sche.hpp"

#include <string>
#include <vector>

/// The destination columns of a new table, built from the source's columns and indexes.
class db2_schema_initializer {
public:
    /// Names each column (its own name, or a safe one when DB2 refuses it), makes identity and
    /// primary-key columns NOT NULL and drops the default of the identity column.
    db2_schema_initializer(std::u16string table, const udb_schema& source, const udb_indexes& indexes);

    /// The CREATE TABLE statement; `qualified_table` is the table's quoted SQL name.
    std::u16string get_init_str(const std::u16string& qualified_table) const;

    const std::u16string& table() const noexcept { return table_; }
    const udb_schema& schema() const noexcept { return schema_; }
    /// Source column -> generated column, for the renamed columns only.
    const t_names_map& mapped_pairs() const noexcept { return validator_.mapped_pairs(); }
    const std::u16string& identity_column() const noexcept { return identity_; }

private:
    std::u16string table_;
    udb_schema schema_{true};
    db2_fn_validator validator_;
    std::u16string identity_;
};

/// The primary key and indexes of a new table, with destination column names.
class db2_indexes_initializer {
public:
    /// `indexes` are the source's; `columns` the new table's (destination names); `renamed` maps
    /// source to destination column names.
    db2_indexes_initializer(std::u16string table, const udb_indexes& indexes, const udb_schema& columns,
                            const t_names_map& renamed);

    /// Creates the key and the indexes on `dbc`; index names that `registry` refuses or already
    /// holds are replaced by safe ones, and every name used is added to it. `qualified_table`
    /// is the table's quoted SQL name, `schema` the quoted schema that qualifies index names.
    /// Raises db2_exception at the first statement DB2 refuses.
    void build_indexes(SQLHDBC dbc, const std::u16string& qualified_table, const std::u16string& schema,
                       db2_validator& registry) const;

    const std::u16string& table() const noexcept { return table_; }
    /// Whether a column may be a key column (large objects may not).
    bool can_be_part_of_index(const std::u16string& column) const;

private:
    std::u16string table_;
    std::vector<udb_index> indexes_;
    const udb_schema& columns_;
};
