#pragma once
// Name validation and mapping: decides whether a source name suits the destination, makes a
// safe replacement when it does not, and remembers every replacement so that later statements
// (indexes, foreign keys, views, rows) use the same destination names.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

/// Source name -> destination name, one entry per source name, in exact code-unit key order.
class t_names_map {
public:
    using map_type = std::map<std::u16string, std::u16string>;

    /// Inserts the pair; a source name that is already a key keeps its first mapping.
    void add(const std::u16string& source, const std::u16string& dest);
    /// The destination name of `name` (exact match, or ignoring case when `exact` is false;
    /// the first in key order wins), or `name` unchanged when it is not mapped.
    std::u16string get_mapped_name(const std::u16string& name, bool exact) const;

    /// The pairs in key order.
    const map_type& pairs() const noexcept { return pairs_; }
    std::size_t size() const noexcept { return pairs_.size(); }
    bool empty() const noexcept { return pairs_.empty(); }
    auto begin() const noexcept { return pairs_.begin(); }
    auto end() const noexcept { return pairs_.end(); }

private:
    map_type pairs_;
};

/// A database's record of renamed tables and, per destination table, renamed columns.
class udb_names_map {
public:
    /// Keeps the first mapping of a source table name.
    void add_tn_mapping(const std::u16string& source, const std::u16string& dest);
    /// Destination name of a table, or `name` unchanged.
    std::u16string get_tn_mapped_name(const std::u16string& name, bool exact) const;
    /// Stores a copy of a table's column map under the destination table name (exact key);
    /// a second map for the same table is dropped.
    void add_fn_map(const std::u16string& table, const t_names_map& columns);
    /// Destination name of a column of `table` (table looked up exactly), or `column` unchanged.
    std::u16string get_fn_mapped_name(const std::u16string& table, const std::u16string& column,
                                      bool exact) const;
    /// Reverse lookup: the source column a destination column of `table` was made from, or
    /// `column` unchanged.
    std::u16string get_fn_orig_name(const std::u16string& table, const std::u16string& column,
                                    bool exact) const;

    /// Rewrites `text` to destination names: the table map first, then every column map in
    /// key order, each pass working on the result of the previous one.
    std::u16string do_global_replace1(const std::u16string& text, const std::u16string& prefix,
                                      const std::u16string& suffix) const;
    /// Replaces every whole-word occurrence (ignoring case) of each source name of `names` by
    /// prefix + destination + suffix. A neighbouring letter or digit makes an occurrence part
    /// of a longer word; dots, underscores and the like do not.
    static std::u16string do_global_replace2(const std::u16string& text, const t_names_map& names,
                                             const std::u16string& prefix,
                                             const std::u16string& suffix);

    /// Stored maps, for writers that list or persist them.
    const t_names_map& table_map() const noexcept { return tables_; }
    const std::map<std::u16string, t_names_map>& column_maps() const noexcept { return columns_; }

private:
    t_names_map tables_;
    std::map<std::u16string, t_names_map> columns_;
};

/// The base name validator: length limit, reserved words, illegal characters and the names
/// already used in the current scope. Destinations derive to supply their own lists.
class udb_validator {
public:
    /// `max_length` 0 means no limit.
    explicit udb_validator(std::uint32_t max_length);
    udb_validator(const udb_validator&) = default;
    udb_validator& operator=(const udb_validator&) = default;
    /// Virtual so that factories can hand out validators as unique_ptr<udb_validator>.
    virtual ~udb_validator() = default;

    /// Length, reserved words (ignoring case) and illegal characters; duplicates are not tested.
    virtual bool is_acceptable(const std::u16string& name) const;
    /// Whether the name (ignoring case) is already used in the scope.
    virtual bool is_duplicated(const std::u16string& name) const;
    /// An acceptable name not used in the scope, derived from `name`: cut to the limit, illegal
    /// characters made underscores, then numbered 00000 to 99999 when still refused. Does not
    /// record the result; the caller adds it. Exhausting the numbers is an internal assertion.
    virtual std::u16string get_safe_name(const std::u16string& name) const;

    /// Marks a name as used in the scope (get_safe_name will avoid it).
    void add_existing_name(const std::u16string& name);
    /// Remembers source -> generated; the first mapping of a source name stays.
    void add_mapped_pair(const std::u16string& source, const std::u16string& generated);

    /// The limit and the lists; concrete validators fill illegal characters and reserved
    /// words, the driver adds names it has used.
    std::uint32_t max_length() const noexcept { return max_length_; }
    const t_names_map& mapped_pairs() const noexcept { return mapped_; }
    std::vector<char16_t>& illegal_chars() noexcept { return illegal_chars_; }
    const std::vector<char16_t>& illegal_chars() const noexcept { return illegal_chars_; }
    std::vector<std::u16string>& restricted_names() noexcept { return restricted_names_; }
    const std::vector<std::u16string>& restricted_names() const noexcept { return restricted_names_; }
    std::vector<std::u16string>& existing_names() noexcept { return existing_names_; }
    const std::vector<std::u16string>& existing_names() const noexcept { return existing_names_; }

private:
    std::uint32_t max_length_;
    t_names_map mapped_;
    std::vector<char16_t> illegal_chars_;
    std::vector<std::u16string> restricted_names_;
    std::vector<std::u16string> existing_names_;
};
