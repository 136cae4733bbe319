#pragma once
// Foreign keys of a database, collected by the source while it reads its tables and written
// by the destination after the last table.

#include "udb_idx.hpp"

#include <string>
#include <vector>

/// One foreign key. `child_fields` and `parent_fields` pair up by position.
struct udb_foreign_key {
    std::u16string name;
    std::u16string key_name;     ///< primary key of the child table as the source reported it
    std::u16string child_table;  ///< source spelling
    std::u16string parent_table; ///< source spelling
    std::u16string rule_clause;  ///< "ON DELETE <rule>", "ON UPDATE <rule>", both or empty
    /// Schema of the parent when it lies outside the schema being converted, else empty: such
    /// a key cannot be written, since its parent is never part of the run.
    std::u16string parent_schema;
    udb_names child_fields;
    udb_names parent_fields;

    udb_foreign_key(std::u16string name, std::u16string key_name, std::u16string child_table,
                    std::u16string parent_table, udb_names child_fields, udb_names parent_fields,
                    std::u16string rule_clause);
};

/// Foreign keys in the order they were added.
class udb_relationships {
public:
    /// False when a foreign key of that name (ignoring case) is already listed.
    bool is_acceptable_name(const std::u16string& name) const;
    /// The first foreign key of that name, modifiable so that a reader can extend a multi-column
    /// key row by row; none is an internal assertion (udb_rel 122).
    udb_foreign_key& get_index(const std::u16string& name);
    /// Appends a copy.
    void add(const udb_foreign_key& key) { items_.push_back(key); }

    /// Read access in insertion order.
    std::size_t size() const noexcept { return items_.size(); }
    bool empty() const noexcept { return items_.empty(); }
    const udb_foreign_key& operator[](std::size_t i) const { return items_[i]; }
    auto begin() const noexcept { return items_.begin(); }
    auto end() const noexcept { return items_.end(); }

private:
    std::vector<udb_foreign_key> items_;
};
