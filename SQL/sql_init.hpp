#pragma once
// The column and key definitions of a MySQL CREATE TABLE, shared by the direct writer and the
// dump writer. The writer puts "CREATE TABLE name (" in front, joins the column definitions
// and then the key definitions with ", ", and adds the storage clause.

#include "ole_type.hpp"
#include "tk_excp.hpp"
#include "tk_log.hpp"
#include "udb_db.hpp"
#include "udb_vali.hpp"

#include <memory>
#include <string>
#include <vector>

/// Definitions in statement order.
using sql_chunks = std::vector<std::u16string>;

/// Whether AUTO_INCREMENT may be given to the column: integer and boolean kinds.
inline bool can_have_auto_num(const t_ftd& column) {
    const ole_type_group group = ole_type_of(column.vartype).group;
    return group == ole_type_group::integer || group == ole_type_group::boolean;
}

/// Whether the column may get a DEFAULT clause: not auto-increment columns, binary columns, or
/// text columns that become TEXT kinds.
inline bool can_have_def_value(const t_ftd& column) {
    if (column.b_auto_increment) {
        tk_trace(2, "WARNING: auto_increment columns cannot have default value!");
        return false;
    }
    if (ole_is_binary(column.vartype)) return false;
    return !ole_type_of(column.vartype).short_form || ole_fits_short_string(column.size);
}

/// Something that contributes definitions to a CREATE TABLE.
class sql_initializer {
public:
    virtual ~sql_initializer() = default;
    /// Appends this builder's definitions to `list`.
    virtual void get_init_chunks(sql_chunks& list) = 0;
};

/// Validates and renames a table's columns and writes one definition per column. The names
/// that changed stay in the validator's mapped pairs for the indexes, rows and foreign keys.
class sql_schema_initializer : public sql_initializer {
public:
    /// Builds the output schema at once. `source`, `indexes` and `auto_increment_name` (which
    /// get_init_chunks fills) must outlive this object. Needs the session (its version).
    sql_schema_initializer(std::u16string table, const udb_schema& source, const udb_indexes& indexes,
                           std::u16string& auto_increment_name);
    /// One definition per column in source order. A second auto-increment column in one table
    /// is an internal assertion (sql_init).
    void get_init_chunks(sql_chunks& list) override;

    /// The destination columns (source descriptors under their destination names).
    const udb_schema& schema() const noexcept { return schema_; }
    /// Source name -> destination name of every renamed column.
    const t_names_map& names_map() const noexcept { return validator_->mapped_pairs(); }
    const udb_validator& validator() const noexcept { return *validator_; }

private:
    std::u16string table_;
    udb_schema schema_;
    std::u16string& auto_increment_name_;
    const udb_indexes& indexes_;
    std::unique_ptr<udb_validator> validator_;
    const udb_schema& source_;
};

/// Renames a table's indexes, maps their columns to the destination names and writes one key
/// definition per index MySQL can take; an auto-increment column that no key covers gets one.
class sql_indexes_initializer : public sql_initializer {
public:
    /// `schema` is the column builder's output schema and must outlive this object.
    sql_indexes_initializer(const udb_schema& schema, const udb_indexes& source,
                            std::u16string auto_increment_name, const t_names_map& column_names);
    /// Key definitions; indexes MySQL would refuse (BLOB or TEXT columns, too long, more than
    /// 16 columns, past the index limit) are dropped with a trace line.
    void get_init_chunks(sql_chunks& list) override;

    /// The renamed indexes over destination column names, in source order.
    const udb_indexes& indexes() const noexcept { return indexes_; }

private:
    std::u16string auto_increment_name_;
    udb_indexes indexes_;
    const udb_schema& schema_;
    t_names_map column_names_;
};
