#pragma once
// What each type code means to the readers and writers, stated once: its group, the two senses
// in which a type is "numeric", whether its literals are quoted and whether its columns have a
// short form. The predicates of the schema logic and of the statement writers are lookups in
// this table, so changing a rule for a type means changing its row.

#include "ole_var.hpp"

#include <array>
#include <cstddef>
#include <cstdint>

/// The kind of value a type code stands for.
enum class ole_type_group : std::uint8_t {
    none,     ///< no value (0, 1), or nothing a column is made of (10, 27, 0x2000, unknown codes)
    integer,  ///< whole numbers of 1 to 8 bytes, signed or not
    boolean,
    floating, ///< binary floating point
    exact,    ///< currency and decimal: exact fractions
    date,
    text,
    blob,     ///< binary objects (65, 70): always a long object, whatever their size
    bytes,    ///< byte strings (8209): short or long by size
};

/// Text and byte strings of 1 to this many units keep a short column form, a variable-length
/// string that keys may cover and that may get a default; longer and unbounded ones (size 0)
/// become long objects.
inline constexpr std::uint32_t ole_short_string_max = 255;

/// Whether a string column of `size` units (0: unbounded) keeps its short form. The one place
/// of the limit: column types, key definitions and defaults all ask here.
constexpr bool ole_fits_short_string(std::uint32_t size) noexcept {
    return size >= 1 && size <= ole_short_string_max;
}

/// The properties of one type code.
struct ole_type_props {
    std::uint16_t vt;
    ole_type_group group;
    /// Bytes of an integer or boolean value; 0 for other groups.
    std::uint8_t width;
    /// Its values are numbers the variant's numeric readers take, so a source column of it holds
    /// numbers. Not 22 and 23: the generic change of type alone makes them and no reader takes them.
    bool holds_number;
    /// A column of it is a number column: literals whose text is a number are written bare, and
    /// it accepts a source that holds numbers. 22 and 23 are number columns.
    bool number_column;
    /// Its literals go between single quotes (a date or a text; not the descriptor-only 30, 31).
    bool quoted;
    /// Its columns are short strings up to ole_short_string_max and long objects beyond.
    bool short_form;
};

/// One row per tag of ole_vt, in tag order.
inline constexpr ole_type_props ole_type_table[] = {
    // vt               group                     width  holds  column quoted short
    {VT_EMPTY,          ole_type_group::none,     0,     false, false, false, false},
    {VT_NULL,           ole_type_group::none,     0,     false, false, false, false},
    {VT_I2,             ole_type_group::integer,  2,     true,  true,  false, false},
    {VT_I4,             ole_type_group::integer,  4,     true,  true,  false, false},
    {VT_R4,             ole_type_group::floating, 0,     true,  true,  false, false},
    {VT_R8,             ole_type_group::floating, 0,     true,  true,  false, false},
    {VT_CY,             ole_type_group::exact,    0,     true,  true,  false, false},
    {VT_DATE,           ole_type_group::date,     0,     false, false, true,  false},
    {VT_BSTR,           ole_type_group::text,     0,     false, false, true,  true},
    {VT_ERROR,          ole_type_group::none,     0,     false, false, false, false},
    {VT_BOOL,           ole_type_group::boolean,  2,     true,  true,  false, false},
    {VT_DECIMAL,        ole_type_group::exact,    0,     true,  true,  false, false},
    {VT_I1,             ole_type_group::integer,  1,     true,  true,  false, false},
    {VT_UI1,            ole_type_group::integer,  1,     true,  true,  false, false},
    {VT_UI2,            ole_type_group::integer,  2,     true,  true,  false, false},
    {VT_UI4,            ole_type_group::integer,  4,     true,  true,  false, false},
    {VT_I8,             ole_type_group::integer,  8,     true,  true,  false, false},
    {VT_UI8,            ole_type_group::integer,  8,     true,  true,  false, false},
    {VT_INT,            ole_type_group::integer,  4,     false, true,  false, false},
    {VT_UINT,           ole_type_group::integer,  4,     false, true,  false, false},
    {VT_SAFEARRAY,      ole_type_group::none,     0,     false, false, false, false},
    {VT_LPSTR,          ole_type_group::text,     0,     false, false, false, false},
    {VT_LPWSTR,         ole_type_group::text,     0,     false, false, false, false},
    {VT_BLOB,           ole_type_group::blob,     0,     false, false, false, false},
    {VT_BLOB_OBJECT,    ole_type_group::blob,     0,     false, false, false, false},
    {VT_ARRAY,          ole_type_group::none,     0,     false, false, false, false},
    {VT_BYTES,          ole_type_group::bytes,    0,     false, false, false, true},
};

/// The row of a code that is no tag: no group, no property.
inline constexpr ole_type_props ole_unknown_type{0xFFFF, ole_type_group::none, 0, false, false, false, false};

namespace ole_type_detail {

// Codes below this are found by index, since the per-cell predicates look types up; the few
// larger tags by a short search.
inline constexpr std::size_t indexed_codes = 72;

inline constexpr std::size_t table_size = sizeof ole_type_table / sizeof ole_type_table[0];

inline constexpr std::array<std::uint8_t, indexed_codes> row_of_code = [] {
    std::array<std::uint8_t, indexed_codes> rows{};
    rows.fill(std::uint8_t(table_size)); // no row
    for (std::size_t i = 0; i < table_size; ++i)
        if (ole_type_table[i].vt < indexed_codes) rows[ole_type_table[i].vt] = std::uint8_t(i);
    return rows;
}();

} // namespace ole_type_detail

/// The properties of a type code; ole_unknown_type for a code that is no tag.
constexpr const ole_type_props& ole_type_of(std::uint16_t vt) noexcept {
    using namespace ole_type_detail;
    if (vt < indexed_codes) {
        const std::size_t row = row_of_code[vt];
        return row < table_size ? ole_type_table[row] : ole_unknown_type;
    }
    for (const ole_type_props& row : ole_type_table)
        if (row.vt == vt) return row;
    return ole_unknown_type;
}

/// A binary type: a binary object or a byte string.
constexpr bool ole_is_binary(std::uint16_t vt) noexcept {
    const ole_type_group group = ole_type_of(vt).group;
    return group == ole_type_group::blob || group == ole_type_group::bytes;
}

namespace ole_type_detail {

// Whether the table has a row for `vt`. Values are compared, not addresses: a sanitizer build
// does not take the comparison of two objects' addresses as a constant.
constexpr bool table_has(std::uint16_t vt) noexcept {
    for (const ole_type_props& row : ole_type_table)
        if (row.vt == vt) return true;
    return false;
}

// Stops the build when a tag has no row of its own.
template <ole_vt Tag> constexpr bool has_row() noexcept {
    static_assert(table_has(Tag) && ole_type_of(Tag).vt == Tag, "a tag of ole_vt has no row in ole_type_table");
    return true;
}

#pragma GCC diagnostic push
#pragma GCC diagnostic error "-Wswitch"
// Whether `vt` is a tag of ole_vt. The switch has no default, so a tag added to the enum and not
// listed here stops the build, and each listed tag is checked for its row.
constexpr bool is_tag(ole_vt vt) noexcept {
    switch (vt) {
    case VT_EMPTY: return has_row<VT_EMPTY>();
    case VT_NULL: return has_row<VT_NULL>();
    case VT_I2: return has_row<VT_I2>();
    case VT_I4: return has_row<VT_I4>();
    case VT_R4: return has_row<VT_R4>();
    case VT_R8: return has_row<VT_R8>();
    case VT_CY: return has_row<VT_CY>();
    case VT_DATE: return has_row<VT_DATE>();
    case VT_BSTR: return has_row<VT_BSTR>();
    case VT_ERROR: return has_row<VT_ERROR>();
    case VT_BOOL: return has_row<VT_BOOL>();
    case VT_DECIMAL: return has_row<VT_DECIMAL>();
    case VT_I1: return has_row<VT_I1>();
    case VT_UI1: return has_row<VT_UI1>();
    case VT_UI2: return has_row<VT_UI2>();
    case VT_UI4: return has_row<VT_UI4>();
    case VT_I8: return has_row<VT_I8>();
    case VT_UI8: return has_row<VT_UI8>();
    case VT_INT: return has_row<VT_INT>();
    case VT_UINT: return has_row<VT_UINT>();
    case VT_SAFEARRAY: return has_row<VT_SAFEARRAY>();
    case VT_LPSTR: return has_row<VT_LPSTR>();
    case VT_LPWSTR: return has_row<VT_LPWSTR>();
    case VT_BLOB: return has_row<VT_BLOB>();
    case VT_BLOB_OBJECT: return has_row<VT_BLOB_OBJECT>();
    case VT_ARRAY: return has_row<VT_ARRAY>();
    case VT_BYTES: return has_row<VT_BYTES>();
    }
    return false;
}
#pragma GCC diagnostic pop

// Rows in strictly rising tag order (so no tag has two), each of them a tag.
constexpr bool rows_are_tags_in_order() noexcept {
    for (std::size_t i = 0; i < table_size; ++i) {
        if (!is_tag(static_cast<ole_vt>(ole_type_table[i].vt))) return false;
        if (i > 0 && ole_type_table[i - 1].vt >= ole_type_table[i].vt) return false;
    }
    return true;
}

} // namespace ole_type_detail

static_assert(ole_type_detail::rows_are_tags_in_order(), "one row per tag of ole_vt, in tag order");
