#include "sql_util.hpp"

#include "ole_type.hpp"
#include "sql_engi.hpp"
#include "tk_excp.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"

#include <algorithm>
#include <type_traits>
#include <cstdio>

namespace {

std::u16string wide_ascii(const char* text) { return tk_ascii_to_wide(text); }

std::u16string sized(const char* format, unsigned value) {
    char buf[48];
    std::snprintf(buf, sizeof buf, format, value);
    return tk_ascii_to_wide(buf);
}

// The four sizes of the TEXT and BLOB kinds: 0 up to the short-string limit (where text is a
// VARCHAR), 1 up to 65,535, 2 up to 16,777,215, 3 beyond or unbounded (size 0).
std::size_t long_kind_tier(std::uint32_t size) noexcept {
    if (ole_fits_short_string(size)) return 0;
    if (size != 0 && size <= 65535) return 1;
    if (size != 0 && size <= 0xFFFFFF) return 2;
    return 3;
}

std::u16string blob_kind(std::uint32_t size) {
    tk_trace(1, "process as blob");
    static constexpr const char16_t* kinds[] = {u"TINYBLOB", u"BLOB", u"MEDIUMBLOB", u"LONGBLOB"};
    return kinds[long_kind_tier(size)];
}

std::u16string text_kind(std::uint32_t size) {
    tk_trace(1, "process as text");
    static constexpr const char16_t* kinds[] = {nullptr, u"TEXT", u"MEDIUMTEXT", u"LONGTEXT"};
    const std::size_t tier = long_kind_tier(size);
    return tier == 0 ? sized("VARCHAR(%u)", size) : kinds[tier];
}

} // namespace

bool sql_dialect::fractional_seconds() const noexcept {
    return dump || version >= 0x050604 || (mariadb && version >= 0x050300);
}

std::u16string sql_register_default(const t_ftd& column, const sql_dialect& dialect) {
    const unsigned date_kind = column.vartype == VT_DATE ? column.reserved & 3 : 0;
    const char* value = nullptr;
    // Server versions from which the clause is accepted: MySQL's and, where MariaDB's own
    // numbering differs, MariaDB's; a dump's version comment can only name one.
    std::uint32_t mysql_from = 0, mariadb_from = 0;
    char timestamp[32] = "CURRENT_TIMESTAMP";
    switch (column.default_register) {
    case udb_reg_current_timestamp:
        if (date_kind != 1) break;
        // The precision must be the column's own, or the server refuses the default.
        if (const unsigned n = std::min((column.reserved >> 8) & 0xFFu, 6u); n && dialect.fractional_seconds())
            std::snprintf(timestamp, sizeof timestamp, "CURRENT_TIMESTAMP(%u)", n);
        value = timestamp;
        mysql_from = mariadb_from = 0x050605;
        break;
    case udb_reg_current_date:
    case udb_reg_current_time:
        if (date_kind != (column.default_register == udb_reg_current_date ? 2u : 3u)) break;
        value = column.default_register == udb_reg_current_date ? "(CURRENT_DATE)" : "(CURRENT_TIME)";
        mysql_from = 0x08000D;
        mariadb_from = 0x0A0201;
        break;
    default: break;
    }
    std::string clause;
    if (value && dialect.dump) {
        // MySQL numbers stay below 10.0, so a comment for MariaDB's version is skipped by
        // every MySQL, and one for MySQL 5.6.5 is read by every MariaDB from 10.0 on.
        char guard[16];
        std::snprintf(guard, sizeof guard, "%u%02u%02u", mariadb_from >> 16, (mariadb_from >> 8) & 0xFF,
                      mariadb_from & 0xFF);
        clause = std::string(" /*!") + guard + " DEFAULT " + value + " */";
    } else if (value) {
        // MariaDB 10.0 and 10.1 number above MySQL 8.0 yet lack expression defaults.
        const std::uint32_t v = dialect.version;
        if (v >= mariadb_from || (v >= mysql_from && v < 0x0A0000)) clause = std::string(" DEFAULT ") + value;
    }
    if (clause.empty() && !tk_log::skips(3))
        tk_wtrace(3, u"Default of column '%s' dropped: the destination has no such default", column.name.c_str());
    return tk_ascii_to_wide(clause);
}

const char* sql_text_charset(std::uint32_t server_version) noexcept {
    return server_version >= sql_ver_utf8mb4 ? "utf8mb4" : "utf8";
}

std::u16string sql_quote_name(std::u16string_view name, std::uint32_t server_version) {
    if (server_version < sql_ver_new) return std::u16string(name);
    std::u16string out;
    out.reserve(name.size() + 2);
    out += u'`';
    for (char16_t c : name) {
        if (c == u'`') out += u'`';
        out += c;
    }
    out += u'`';
    return out;
}

void sql_append_quoted_name(std::string& out, std::u16string_view name, std::uint32_t server_version) {
    if (server_version < sql_ver_new) return tk_append_utf8(out, name);
    out += '`';
    const std::size_t from = out.size();
    tk_append_utf8(out, name);
    // A backquote is one byte in UTF-8 and never part of a longer sequence.
    std::size_t extra = 0;
    for (std::size_t i = from; i < out.size(); ++i) extra += out[i] == '`';
    if (extra) {
        std::size_t src = out.size();
        out.resize(out.size() + extra);
        std::size_t dst = out.size();
        while (src > from) {
            const char c = out[--src];
            out[--dst] = c;
            if (c == '`') out[--dst] = c;
        }
    }
    out += '`';
}

bool is_numeric_type(std::uint16_t vt) noexcept { return ole_type_of(vt).number_column; }

bool needs_quotes(std::uint16_t vt) noexcept { return ole_type_of(vt).quoted; }

std::u16string get_native_type(std::uint16_t vt, std::uint32_t size, std::uint32_t reserved) {
    const sql_engine* engine = sql_engine::pointer();
    return engine ? get_native_type(vt, size, reserved, engine->server_version(), engine->dialect().fractional_seconds())
                  : get_native_type(vt, size, reserved, 0);
}

std::u16string get_native_type(std::uint16_t vt, std::uint32_t size, std::uint32_t reserved,
                               std::uint32_t server_version, bool fractional_seconds) {
    tk_trace(1, "get_native_type(%d,%d,%d)", int(vt), int(size), int(reserved));
    switch (vt) {
    case VT_I2: return u"SMALLINT";
    case VT_I4:
    case VT_INT: return u"INT";
    case VT_R4: return u"FLOAT";
    case VT_R8: return u"DOUBLE";
    case VT_CY: return u"DECIMAL(19,4)";
    case VT_DATE:
        switch (reserved & 3) {
        case 1:
            // Fractions of seconds to the microsecond where the destination keeps them.
            if (const unsigned digits = std::min((reserved >> 8) & 0xFFu, 6u); digits && fractional_seconds)
                return sized("DATETIME(%u)", digits);
            return u"DATETIME";
        case 2: return u"DATE";
        case 3: return u"TIME";
        default: return u"CHAR(19)";
        }
    case VT_BSTR: return text_kind(size);
    case VT_BOOL: return ole_bool_style() == 1 ? u"TINYINT" : u"BIT";
    case VT_DECIMAL: {
        const unsigned precision = (reserved >> 8) & 0xFF;
        const unsigned scale = reserved & 0xFF;
        tk_trace(1, "Scale/precision for decimal column: (%d, %d)", int(scale), int(precision));
        if (precision == 0) return u"DOUBLE";
        char buf[48];
        std::snprintf(buf, sizeof buf, "DECIMAL(%u,%u)", precision, scale);
        return wide_ascii(buf);
    }
    case VT_I1: return u"TINYINT";
    case VT_UI1: return u"TINYINT UNSIGNED";
    case VT_UI2: return u"SMALLINT UNSIGNED";
    case VT_UI4:
    case VT_UINT: return u"INT UNSIGNED";
    case VT_I8: return u"BIGINT";
    case VT_UI8: return u"BIGINT UNSIGNED";
    case VT_BLOB:
    case udb_vt_blob_object: return blob_kind(size);
    case VT_BYTES:
        // Short byte strings stay indexable (keys are often FOR BIT DATA columns).
        if (ole_fits_short_string(size) && server_version >= sql_ver_varbinary) {
            tk_trace(1, "process as binary string");
            return sized("VARBINARY(%u)", size);
        }
        return blob_kind(size);
    default: throw tk_mail_assertion("sql_util", __LINE__);
    }
}

std::uint16_t get_mysql_vartype(int field_type, unsigned flags) noexcept {
    const bool is_unsigned = (flags & UNSIGNED_FLAG) != 0;
    switch (field_type) {
    case MYSQL_TYPE_DECIMAL:
    case MYSQL_TYPE_NEWDECIMAL: return VT_DECIMAL;
    case MYSQL_TYPE_TINY: return is_unsigned ? VT_UI1 : VT_I1;
    case MYSQL_TYPE_SHORT: return is_unsigned ? VT_UI2 : VT_I2;
    case MYSQL_TYPE_LONG: return is_unsigned ? VT_UI4 : VT_I4;
    case MYSQL_TYPE_FLOAT: return VT_R4;
    case MYSQL_TYPE_DOUBLE: return VT_R8;
    case MYSQL_TYPE_TIMESTAMP:
    case MYSQL_TYPE_DATE:
    case MYSQL_TYPE_TIME:
    case MYSQL_TYPE_DATETIME: return VT_DATE;
    case MYSQL_TYPE_LONGLONG: return is_unsigned ? VT_UI8 : VT_I8;
    case MYSQL_TYPE_INT24: return VT_I4;
    case MYSQL_TYPE_YEAR: return VT_UI2;
    case MYSQL_TYPE_BIT: return VT_BOOL;
    case MYSQL_TYPE_TINY_BLOB:
    case MYSQL_TYPE_MEDIUM_BLOB:
    case MYSQL_TYPE_LONG_BLOB:
    case MYSQL_TYPE_BLOB: return VT_BLOB;
    case MYSQL_TYPE_VAR_STRING:
    case MYSQL_TYPE_STRING:
        // BINARY and VARBINARY columns: the read side must know byte strings as such.
        return (flags & BINARY_FLAG) ? VT_BYTES : VT_BSTR;
    default: return VT_BSTR;
    }
}

ole_variant get_variant(std::uint16_t vt, const char* text) {
    if (!text) return ole_variant();
    if (vt == VT_BOOL) return ole_variant(text[0] != '\0');
    return ole_variant::from_string(text, vt);
}

ole_variant get_variant(std::uint16_t vt, const char16_t* text) {
    if (!text) return ole_variant();
    if (vt == VT_BOOL) return ole_variant(text[0] != u'\0');
    return ole_variant::from_wstring(text, vt);
}

namespace {

bool is_blob_field(int field_type) noexcept { return field_type >= MYSQL_TYPE_TINY_BLOB && field_type <= MYSQL_TYPE_BLOB; }

// One cell of a result row, narrow (UTF-8 as the server sends it) or wide (one code unit a
// character, a byte a unit for binary columns); only the text conversions differ.
template <class Char>
ole_variant variant_of_cell(int field_type, unsigned long length, unsigned flags, const Char* data) {
    tk_trace(1, "get_variant(%d,%lu,%u)", field_type, length, flags);
    if (!data) {
        tk_trace(1, "process NULL-values");
        return ole_variant();
    }
    const std::uint16_t vt = get_mysql_vartype(field_type, flags);
    if (vt == VT_BYTES || (is_blob_field(field_type) && (flags & BINARY_FLAG))) {
        tk_trace(1, "Extract BINARY value");
        if constexpr (std::is_same_v<Char, char>) {
            return ole_variant(std::size_t(length), reinterpret_cast<const std::uint8_t*>(data));
        } else {
            std::vector<std::uint8_t> bytes(length);
            for (unsigned long i = 0; i < length; ++i) bytes[i] = std::uint8_t(data[i] & 0xFF);
            return ole_variant(std::move(bytes));
        }
    }
    const std::basic_string_view<Char> text(data, length);
    if (vt == VT_BSTR || vt == VT_BLOB) {
        if (vt == VT_BLOB) tk_trace(1, "Extract TEXT value");
        if constexpr (std::is_same_v<Char, char>) return ole_variant(tk_from_utf8(text));
        else return ole_variant(std::u16string(text));
    }
    if (vt == VT_BOOL) return ole_variant(length > 0 && data[0] != Char(0));
    if constexpr (std::is_same_v<Char, char>) return ole_variant::from_string(text, vt);
    else return ole_variant::from_wstring(text, vt);
}

} // namespace

ole_variant get_variant(int field_type, unsigned long length, unsigned flags, const char* data) {
    return variant_of_cell(field_type, length, flags, data);
}

ole_variant get_variant(int field_type, unsigned long length, unsigned flags, const char16_t* data) {
    return variant_of_cell(field_type, length, flags, data);
}
