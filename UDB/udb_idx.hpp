#pragma once
// Keys and indexes of one table in a destination-independent form; the writers turn them into
// their own definitions. Plain values: lists hold copies.

#include <string>
#include <vector>

/// Column names in key order.
using udb_names = std::vector<std::u16string>;

/// One index or key. A primary key has both flags set.
struct udb_index {
    std::u16string name;
    bool b_unique = false;
    bool b_primary = false;
    udb_names fields;
    /// Per column of `fields`, whether it is kept in descending order; columns past its end
    /// are ascending.
    std::vector<bool> descending;

    udb_index(std::u16string name, bool b_unique, bool b_primary, udb_names fields);

    /// Whether the leading columns of this index are `columns`, position by position, ignoring
    /// case. An empty list matches every index.
    bool starts_with_fields(const udb_names& columns) const;
};

/// The indexes of a table in the order they were added.
class udb_indexes {
public:
    /// False when an index of that name (ignoring case) is already listed.
    bool is_acceptable_name(const std::u16string& name) const;
    /// The first index of that name; none is an internal assertion (udb_idx 134).
    const udb_index& get_index(const std::u16string& name) const;
    /// Whether `column` is a column of some index (of a primary key only, when `primary_only`).
    /// The column is compared exactly, case counts.
    bool is_idx_field(const std::u16string& column, bool primary_only) const;
    /// Whether some index starts with `columns` (see udb_index::starts_with_fields).
    bool has_index_on_fields(const udb_names& columns) const;
    /// Appends a copy and returns it; callers that must keep names unique ask
    /// is_acceptable_name first.
    udb_index& add(const udb_index& index) { return items_.emplace_back(index); }

    /// Read access in insertion order.
    std::size_t size() const noexcept { return items_.size(); }
    bool empty() const noexcept { return items_.empty(); }
    const udb_index& operator[](std::size_t i) const { return items_[i]; }
    auto begin() const noexcept { return items_.begin(); }
    auto end() const noexcept { return items_.end(); }

private:
    std::vector<udb_index> items_;
};
