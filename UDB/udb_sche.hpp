#pragma once
// The source- and destination-independent description of tables and rows: column descriptors,
// the column list, the named cell and the row. Every reader and writer speaks in these terms.

#include "ole_type.hpp"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

/// Type codes that only appear in column descriptors (never as a cell's own tag).
inline constexpr std::uint16_t udb_vt_lpstr = VT_LPSTR;
inline constexpr std::uint16_t udb_vt_lpwstr = VT_LPWSTR;
inline constexpr std::uint16_t udb_vt_blob_object = VT_BLOB_OBJECT;

/// Names are equal when they match ignoring letter case (full Unicode case folding), the rule
/// every schema, record, index list, relationship list and name map shares.
bool udb_name_equal(std::u16string_view a, std::u16string_view b);

/// Type groups of the schema logic, read from ole_type_table. "Numeric" here is
/// `ole_type_props::holds_number`: a source VT_INT/VT_UINT column is not numeric, though as a
/// destination type those two are number columns and accept numbers (see t_ftd::conform_to).
bool udb_is_numeric_type(std::uint16_t vt) noexcept;
bool udb_is_date_type(std::uint16_t vt) noexcept;
bool udb_is_text_type(std::uint16_t vt) noexcept;
bool udb_is_binary_type(std::uint16_t vt) noexcept;

/// Column descriptor: a copyable plain record. Sources may derive to add fields of their own;
/// the destructor is virtual so that an owning schema can hold such extensions safely.
/// A default that is a special register of the source, evaluated as each row is inserted:
/// it has no value to write, only a meaning the destination may or may not have.
enum udb_default_register : std::uint8_t {
    udb_reg_none,
    udb_reg_current_timestamp,
    udb_reg_current_date,
    udb_reg_current_time,
    udb_reg_other, ///< the user, the schema, the server: no destination default means the same
};

struct t_ftd {
    /// Text size meaning "unbounded source text".
    static constexpr std::uint32_t unbounded = 0xFFFFFFFFu;

    std::uint32_t size = 0;        ///< text: characters (0 unlimited); binary: bytes (0 unlimited)
    std::u16string name;           ///< column name as the source spells it
    std::uint16_t vartype = VT_EMPTY;
    bool b_auto_increment = false;
    bool b_not_null = false;
    ole_variant default_value;     ///< empty variant: no default
    std::uint32_t reserved = 0;    ///< decimal: precision << 8 | scale; date: kind in bits 0-1
    std::u16string comment;        ///< column remark, set after construction
    /// Set instead of default_value when the default is a special register.
    udb_default_register default_register = udb_reg_none;

    t_ftd(std::uint32_t size, std::u16string name, std::uint16_t vartype, bool b_not_null = false,
          bool b_auto_increment = false, const ole_variant& default_value = ole_variant(),
          std::uint32_t reserved = 0);
    t_ftd(const t_ftd& other);
    t_ftd& operator=(const t_ftd& other);
    t_ftd(t_ftd&&) noexcept = default;
    t_ftd& operator=(t_ftd&&) noexcept = default;
    virtual ~t_ftd() = default;

    /// Type equality only: DECIMAL and CY match each other, two BSTRs must share the size;
    /// names, flags and defaults do not count.
    bool operator==(const t_ftd& other) const;
    /// Whether values of this (source) column fit into `dest` without loss of kind or length.
    bool conform_to(const t_ftd& dest) const;
    bool is_numeric() const noexcept { return udb_is_numeric_type(vartype); }
    bool is_binary() const noexcept { return udb_is_binary_type(vartype); }
};

/// The columns of a table, in column order (column numbers in messages are 1-based positions).
/// An owning schema holds its descriptors; a borrowing one only refers to descriptors that
/// someone else keeps alive for the schema's lifetime. Which it is, is fixed at construction.
class udb_schema {
public:
    explicit udb_schema(bool b_owner);
    udb_schema(udb_schema&&) noexcept = default;
    udb_schema& operator=(udb_schema&&) noexcept = default;
    udb_schema(const udb_schema&) = delete;
    udb_schema& operator=(const udb_schema&) = delete;
    virtual ~udb_schema() = default;

    /// Whether the schema releases its descriptors.
    bool is_owner() const noexcept { return b_owner_; }
    /// Appends an owned descriptor; adding to a borrowing schema is an internal assertion.
    t_ftd& add(std::unique_ptr<t_ftd> column);
    /// Appends a borrowed descriptor; adding to an owning schema is an internal assertion.
    void add_ref(t_ftd& column);
    /// An owning schema of plain copies of every descriptor (source extensions are dropped).
    udb_schema copy() const;
    /// Forgets every column (releasing them when owning).
    void clear() noexcept;

    /// Column count and positional access (0-based here; messages count from 1).
    std::size_t size() const noexcept { return columns_.size(); }
    bool empty() const noexcept { return columns_.empty(); }
    t_ftd& operator[](std::size_t i) { return *columns_[i]; }
    const t_ftd& operator[](std::size_t i) const { return *columns_[i]; }
    /// Iteration yields `t_ftd*` in column order.
    auto begin() const noexcept { return columns_.begin(); }
    auto end() const noexcept { return columns_.end(); }

    /// Whether a column of that name (ignoring case) exists.
    bool has_field(const std::u16string& name) const;
    /// The first column of that name; none is an internal assertion (udb_sche 312 / 327).
    t_ftd& find_field(const std::u16string& name);
    const t_ftd& find_field(const std::u16string& name) const;
    /// Size / type of the named column; none is an internal assertion (udb_sche 342 / 358).
    std::uint32_t get_field_size(const std::u16string& name) const;
    std::uint16_t get_field_type(const std::u16string& name) const;
    /// Position-by-position type conformance of this (source) schema to `dest`; names do
    /// not count. The reason of a refusal goes to the trace log.
    bool conform_to(const udb_schema& dest) const;

private:
    const t_ftd* lookup(const std::u16string& name) const noexcept;

    std::vector<t_ftd*> columns_;               // column order, owned or borrowed
    std::vector<std::unique_ptr<t_ftd>> owned_; // set only for an owning schema
    bool b_owner_;
};

/// One cell: a variant value (its type is the variant's own tag) with the column's name,
/// size and flags. Copying copies the value.
class udb_field : public ole_variant {
public:
    std::uint32_t size = 0;
    std::u16string name;
    bool b_not_null = false;
    bool b_auto_increment = false;

    /// An empty value without a name.
    udb_field();
    udb_field(std::u16string name, std::uint32_t size, const ole_variant& value,
              bool b_not_null = false, bool b_auto_increment = false);
    /// Same, taking the value over: the per-row path of readers.
    udb_field(std::u16string name, std::uint32_t size, ole_variant&& value,
              bool b_not_null = false, bool b_auto_increment = false);
    udb_field(const udb_field&) = default;
    udb_field(udb_field&&) noexcept = default;
    udb_field& operator=(const udb_field&) = default;
    udb_field& operator=(udb_field&&) noexcept = default;
    ~udb_field() override = default;

    /// The value's type code; readers may refine it.
    virtual std::uint16_t get_type() const;
    /// Replaces the value, keeping name, size and flags: how a reader refills a row in place.
    void set_value(const ole_variant& value) { ole_variant::operator=(value); }
    void set_value(ole_variant&& value) noexcept { ole_variant::operator=(std::move(value)); }
    /// The value alone, without the column's name and flags.
    const ole_variant& value() const noexcept { return *this; }
};

/// One row: owned fields, one per column in schema order. A reader keeps one record and
/// refills its fields in place row after row; a record is not copyable (its fields may be of
/// a reader's own kind).
class udb_record {
public:
    udb_record() = default;
    udb_record(udb_record&&) noexcept = default;
    udb_record& operator=(udb_record&&) noexcept = default;
    udb_record(const udb_record&) = delete;
    udb_record& operator=(const udb_record&) = delete;
    virtual ~udb_record() = default;

    /// Appends an owned field in column order; null is an internal assertion.
    udb_field& add(std::unique_ptr<udb_field> field);
    /// Room for a row's fields, so that building the reader's one record allocates once.
    void reserve(std::size_t count) { fields_.reserve(count); }
    /// Releases every field.
    void clear() noexcept { fields_.clear(); }
    /// Exchanges the fields of two records.
    void swap(udb_record& other) noexcept { fields_.swap(other.fields_); }

    /// Field count and positional access in column order.
    std::size_t size() const noexcept { return fields_.size(); }
    bool empty() const noexcept { return fields_.empty(); }
    udb_field& operator[](std::size_t i) { return *fields_[i]; }
    const udb_field& operator[](std::size_t i) const { return *fields_[i]; }
    /// Iteration yields `const std::unique_ptr<udb_field>&` in column order.
    auto begin() const noexcept { return fields_.begin(); }
    auto end() const noexcept { return fields_.end(); }

    /// Whether a field of that name (ignoring case) exists.
    bool has_field(const std::u16string& name) const;
    /// The first field of that name, or a shared empty field (empty value, empty name) when
    /// there is none: callers test the value, nothing is raised.
    const udb_field& find_field(const std::u16string& name) const;

private:
    std::vector<std::unique_ptr<udb_field>> fields_;
};
