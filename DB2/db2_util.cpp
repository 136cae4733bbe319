#include "db2_util.hpp"

#include "db2_conn.hpp"
#include "db2_engi.hpp"
#include "ole_date.hpp"

#include "ole_date.hpp"
#include "ole_type.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Characters of a DECFLOAT cell. DECFLOAT(34)'s longest forms take 42 ("-d.ddd...E-6143",
// "-0.000000ddd..."); the room beyond them is for NaN payloads and whatever form a client may
// choose, since a text cut by the cell would end the table with a truncation warning.
constexpr std::uint32_t k_decfloat_chars = 63;

bool is_wide_text(SQLSMALLINT t) {
    switch (t) {
    case SQL_CHAR: case SQL_VARCHAR: case SQL_WCHAR: case SQL_WVARCHAR:
    case SQL_GRAPHIC: case SQL_VARGRAPHIC:
    case SQL_LONGVARCHAR: case SQL_WLONGVARCHAR: case SQL_LONGVARGRAPHIC:
        return true;
    default:
        return false;
    }
}

std::uint32_t text_cell(std::uint32_t size) { return 2 * size + 2; }

} // namespace

// ---------------------------------------------------------------------------------------------
// ora_type

std::uint16_t ora_type::get_vartype(SQLSMALLINT t) {
    if (is_wide_text(t)) return VT_BSTR;
    switch (t) {
    // Bytes, like the other FOR BIT DATA types: as text they would arrive hex-encoded.
    case SQL_LONGVARBINARY: return VT_BYTES;
    case SQL_NUMERIC: case SQL_DECIMAL: return VT_DECIMAL;
    case SQL_INTEGER: return VT_I4;
    case SQL_SMALLINT: return VT_I2;
    case SQL_BIGINT: return VT_I8;
    case SQL_REAL: case SQL_FLOAT: case SQL_DOUBLE: return VT_R8;
    case SQL_DECFLOAT: return VT_DECIMAL;
    case SQL_TYPE_DATE: case SQL_TYPE_TIME: case SQL_TYPE_TIMESTAMP: return VT_DATE;
    case SQL_BINARY: case SQL_VARBINARY: return VT_BYTES;
    case SQL_BLOB: return VT_BLOB;
    case SQL_CLOB: case SQL_DBCLOB: case SQL_XML: return VT_BSTR;
    // DB2's BOOLEAN is a truth value, not text: as text its size of 1 cannot hold the TRUE/FALSE
    // of its default.
    case SQL_BIT: case SQL_BOOLEAN: return VT_BOOL;
    case SQL_TINYINT: return VT_I1;
    default: return VT_BSTR;
    }
}

std::uint32_t ora_type::get_buffer_size(SQLSMALLINT t, std::uint32_t size, std::uint8_t precision) {
    if (is_wide_text(t)) return text_cell(size);
    switch (t) {
    case SQL_LONGVARBINARY: return size;
    case SQL_NUMERIC: case SQL_DECIMAL: return 2u * precision + 6u;
    case SQL_INTEGER: return 4;
    case SQL_SMALLINT: return 2;
    case SQL_BIGINT: return 8;
    case SQL_REAL: return 4;
    case SQL_FLOAT: case SQL_DOUBLE: return 8;
    case SQL_DECFLOAT: return text_cell(k_decfloat_chars);
    case SQL_TYPE_DATE: case SQL_TYPE_TIME: case SQL_TYPE_TIMESTAMP: return sizeof(TIMESTAMP_STRUCT);
    case SQL_BINARY: case SQL_VARBINARY: return size;
    case SQL_BLOB: case SQL_CLOB: case SQL_DBCLOB: case SQL_XML: return sizeof(SQLINTEGER);
    case SQL_BIT: case SQL_BOOLEAN: case SQL_TINYINT: return 1;
    default: return text_cell(size);
    }
}

SQLSMALLINT ora_type::get_target_type(SQLSMALLINT t) {
    if (is_wide_text(t)) return SQL_C_WCHAR;
    switch (t) {
    case SQL_LONGVARBINARY: return SQL_C_BINARY;
    case SQL_NUMERIC: case SQL_DECIMAL: return SQL_C_WCHAR;
    case SQL_INTEGER: return SQL_C_LONG;
    case SQL_SMALLINT: return SQL_C_SHORT;
    case SQL_BIGINT: return SQL_C_SBIGINT;
    case SQL_REAL: return SQL_C_FLOAT;
    case SQL_FLOAT: case SQL_DOUBLE: return SQL_C_DOUBLE;
    // As text: every digit and the exponent arrive, in any client.
    case SQL_DECFLOAT: return SQL_C_WCHAR;
    case SQL_TYPE_DATE: case SQL_TYPE_TIME: case SQL_TYPE_TIMESTAMP: return SQL_C_TYPE_TIMESTAMP;
    case SQL_BINARY: case SQL_VARBINARY: return SQL_C_BINARY;
    case SQL_BLOB: return SQL_C_BLOB_LOCATOR;
    case SQL_CLOB: case SQL_XML: return SQL_C_CLOB_LOCATOR;
    case SQL_DBCLOB: return SQL_C_DBCLOB_LOCATOR;
    case SQL_BIT: case SQL_BOOLEAN: return SQL_C_BIT;
    case SQL_TINYINT: return SQL_C_TINYINT;
    default: return SQL_C_WCHAR;
    }
}

bool ora_type::is_lob(SQLSMALLINT t) {
    return t == SQL_BLOB || t == SQL_CLOB || t == SQL_DBCLOB || t == SQL_XML;
}

std::uint32_t ora_type::get_date_reserved(SQLSMALLINT t, std::uint32_t fraction_digits) {
    switch (t) {
    case SQL_TYPE_TIMESTAMP: return 1u | (std::min(fraction_digits, 255u) << 8);
    case SQL_TYPE_DATE: return 2u;
    case SQL_TYPE_TIME: return 3u;
    default: return 0u;
    }
}

std::uint32_t ora_type::get_reserved(SQLSMALLINT t, std::uint32_t precision, std::uint32_t scale) {
    if (t == SQL_DECFLOAT) return 65u * 256u + 30u;
    return precision * 256u + scale;
}

bool ora_type::is_preset_text(SQLSMALLINT t) {
    return t == SQL_CHAR || t == SQL_VARCHAR || t == SQL_WCHAR || t == SQL_WVARCHAR ||
           t == SQL_GRAPHIC || t == SQL_VARGRAPHIC;
}

// ---------------------------------------------------------------------------------------------
// ora_field

ole_variant ora_field::get_variant(std::uint16_t vartype, std::uint32_t /*size*/, const char16_t* text) {
    tk_trace(1, "ora_field::get_variant");
    tk_verify(text != nullptr, "db2_util", __LINE__);
    std::u16string value(text);
    if (vartype == VT_BSTR || vartype == VT_DATE) {
        if (value.size() > 1 && value.front() == u'\'' && value.back() == u'\'')
            value = value.substr(1, value.size() - 2);
        std::u16string unquoted;
        unquoted.reserve(value.size());
        for (std::size_t i = 0; i < value.size(); ++i) {
            unquoted.push_back(value[i]);
            if (value[i] == u'\'' && i + 1 < value.size() && value[i + 1] == u'\'') ++i;
        }
        value = std::move(unquoted);
    }
    if (vartype == VT_DATE) {
        tk_trace(1, "Extract date value");
        if (value.size() == 26) {
            tk_trace(1, "Trying timestamp format (yyyy-mm-dd-hh.mm.ss.mmmmmm)...");
            const std::string narrow = tk_to_utf8(value);
            int y, mo, d, h, mi, s, f;
            if (std::sscanf(narrow.c_str(), "%4d-%2d-%2d-%2d.%2d.%2d.%6d", &y, &mo, &d, &h, &mi, &s, &f) == 7) {
                ole_systemtime t;
                t.year = std::uint16_t(y);
                t.month = std::uint16_t(mo);
                t.day = std::uint16_t(d);
                t.hour = std::uint16_t(h);
                t.minute = std::uint16_t(mi);
                t.second = std::uint16_t(s);
                t.microseconds = f >= 0 && f <= 999'999 ? std::uint32_t(f) : 0;
                t.milliseconds = std::uint16_t(t.microseconds / 1000);
                ole_date::carry_hour_24(t);
                return ole_variant(t);
            }
        }
    }
    return ole_variant::from_wstring(value, vartype);
}

ole_variant db2_decfloat_value(std::u16string_view text) {
    std::string s;
    s.reserve(text.size());
    for (char16_t c : text) {
        if (c > 0x7F) return {};
        s.push_back(char(c));
    }
    s = tk_trim(s);
    // sign, digits with an optional point, optional exponent
    std::size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    std::string digits;
    long fraction = 0;
    bool point = false, any = false;
    for (; i < s.size(); ++i) {
        if (s[i] >= '0' && s[i] <= '9') {
            any = true;
            if (!(digits.empty() && s[i] == '0')) digits.push_back(s[i]);
            if (point) ++fraction;
        } else if (s[i] == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    long exponent = 0;
    bool exact = any;
    if (exact && i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        char* end = nullptr;
        const long e = std::strtol(s.c_str() + i + 1, &end, 10);
        if (end == s.c_str() + i + 1 || e > 100000 || e < -100000) exact = false;
        else exponent = e, i = std::size_t(end - s.c_str());
    }
    if (exact && i != s.size()) exact = false;
    if (exact) {
        long scale = fraction - exponent;
        // Trailing zeros beyond what the payload can scale carry no value.
        while (scale > ole_decimal::max_scale && !digits.empty() && digits.back() == '0') {
            digits.pop_back();
            --scale;
        }
        if (digits.empty()) scale = std::clamp<long>(scale, 0, ole_decimal::max_scale);
        if (scale < 0) {
            if (!digits.empty()) digits.append(std::size_t(-scale), '0');
            scale = 0;
        }
        if (scale <= ole_decimal::max_scale && digits.size() <= 38) {
            ole_decimal d;
            for (char c : digits) d.magnitude = d.magnitude * 10 + unsigned(c - '0');
            d.scale = std::uint8_t(scale);
            d.negative = negative && d.magnitude != 0;
            return ole_variant(d);
        }
    }
    // Outside the exact payload (NaN, the infinities, huge and tiny exponents): DB2's own
    // text, never a nearest double. The destination keeps it or refuses its row.
    if (s.empty()) return {};
    return ole_variant(tk_from_utf8(s));
}

udb_default_register db2_default_register(std::u16string_view text) {
    // Upper case, "_" as a blank, single blanks, no precision: "current_timestamp(6)" and
    // "CURRENT  TIMESTAMP" are the same register.
    std::string word;
    for (char16_t c : text) {
        if (c > 0x7F) return udb_reg_none;
        char a = c == u'_' || c == u'\t' ? ' ' : char(c);
        if (a >= 'a' && a <= 'z') a = char(a - 'a' + 'A');
        if (a == ' ' && (word.empty() || word.back() == ' ')) continue;
        word.push_back(a);
    }
    if (!word.empty() && word.back() == ' ') word.pop_back();
    if (const std::size_t open = word.find('('); open != std::string::npos && word.back() == ')')
        word.erase(word.find_last_not_of(' ', open - 1) + 1);
    if (word == "CURRENT TIMESTAMP") return udb_reg_current_timestamp;
    if (word == "CURRENT DATE") return udb_reg_current_date;
    if (word == "CURRENT TIME") return udb_reg_current_time;
    if (word == "USER" || word == "SESSION USER" || word == "SYSTEM USER" || word.rfind("CURRENT ", 0) == 0)
        return udb_reg_other;
    return udb_reg_none;
}

// ---------------------------------------------------------------------------------------------
// db2_cache_column

db2_cache_column::db2_cache_column(db2_cache& cache, std::u16string name, SQLUSMALLINT number,
                                   SQLSMALLINT sql_type, std::uint32_t size, std::uint8_t scale,
                                   std::uint8_t precision, bool not_null,
                                   const ole_variant& default_value)
    : sql_type_(sql_type), scale_(scale), precision_(precision), number_(number), cache_(cache),
      not_null_(not_null), name_(std::move(name)) {
    tk_trace(2, "db2_cache_column::db2_cache_column(N%d)", int(number));
    buffer_size_ = ora_type::get_buffer_size(sql_type, size, precision);
    const std::size_t rows = cache.block_size();
    // Indicators start on an 8-byte boundary whatever the cell size.
    indicator_offset_ = (rows * buffer_size_ + 7) / 8 * 8;
    const std::size_t total = indicator_offset_ + rows * sizeof(SQLLEN);
    data_ = std::make_unique<std::byte[]>(total); // value-initialised: zeroed
    if (!default_value.is_empty_or_null()) {
        const std::u16string text = default_value.to_wstring();
        default_value_ = ora_field::get_variant(ora_type::get_vartype(sql_type), size, text.c_str());
        if (!tk_log::skips(2)) {
            const std::u16string shown = default_value_.to_wstring();
            tk_wtrace(2, u"Def.value=%s", shown.c_str());
        }
    }
    if (sql_type == SQL_TYPE_TIME && !tk_log::skips(3))
        tk_wtrace(3, u"TIME column '%s': times of day without the client's date (midnight is 00:00:00)",
                  name_.c_str());
    // DB2's precision of a timestamp is in the precision byte.
    if (sql_type == SQL_TYPE_TIMESTAMP && precision > 6 && !tk_log::skips(3))
        tk_wtrace(3, u"TIMESTAMP(%d) column '%s': digits of a second past the sixth are cut", int(precision),
                  name_.c_str());
    if (ora_type::is_preset_text(sql_type)) {
        const SQLLEN preset = SQLLEN(buffer_size_) - 2;
        for (std::size_t r = 0; r < rows; ++r) std::memcpy(indicators() + r, &preset, sizeof preset);
    }
    set_bind_params();
}

SQLLEN* db2_cache_column::indicators() const noexcept {
    return reinterpret_cast<SQLLEN*>(data_.get() + indicator_offset_);
}

SQLLEN db2_cache_column::indicator(std::size_t row) const noexcept { return indicators()[row]; }

void db2_cache_column::set_bind_params() {
    target_type_ = ora_type::get_target_type(sql_type_);
    if (is_wide_text(sql_type_)) { getter_ = &db2_cache_column::get_text; return; }
    switch (sql_type_) {
    case SQL_LONGVARBINARY: case SQL_BINARY: case SQL_VARBINARY: getter_ = &db2_cache_column::get_binary; break;
    case SQL_NUMERIC: case SQL_DECIMAL: getter_ = &db2_cache_column::get_decimal; break;
    case SQL_INTEGER: getter_ = &db2_cache_column::get_long; break;
    case SQL_SMALLINT: getter_ = &db2_cache_column::get_short; break;
    case SQL_BIGINT: getter_ = &db2_cache_column::get_bigint; break;
    case SQL_REAL: getter_ = &db2_cache_column::get_float; break;
    case SQL_FLOAT: case SQL_DOUBLE: getter_ = &db2_cache_column::get_double; break;
    case SQL_DECFLOAT: getter_ = &db2_cache_column::get_decfloat; break;
    case SQL_TYPE_DATE: case SQL_TYPE_TIME: case SQL_TYPE_TIMESTAMP: getter_ = &db2_cache_column::get_timestamp; break;
    case SQL_BLOB: getter_ = &db2_cache_column::get_blob; break;
    case SQL_CLOB: case SQL_DBCLOB: case SQL_XML: getter_ = &db2_cache_column::get_clob; break;
    case SQL_BIT: case SQL_BOOLEAN: getter_ = &db2_cache_column::get_bit; break;
    case SQL_TINYINT: getter_ = &db2_cache_column::get_tinyint; break;
    default: getter_ = &db2_cache_column::get_text; break;
    }
}

void db2_cache_column::bind(SQLHSTMT statement) {
    const auto& api = db2_cli();
    if (ora_type::is_lob(sql_type_)) {
        // Locators belong to the connection of the fetching statement.
        length_stmt_ = cache_.alloc_statement();
        substring_stmt_ = cache_.alloc_statement();
        // The indicator is bound too: without it a NULL large object could not be told apart.
        db2_engine::check_err(api.SQLBindCol(statement, number_, target_type_, cell(0), 0, indicators()),
                              SQL_HANDLE_STMT, statement);
        return;
    }
    db2_engine::check_err(api.SQLBindCol(statement, number_, target_type_, cell(0),
                                         SQLLEN(buffer_size_), indicators()),
                          SQL_HANDLE_STMT, statement);
}

ole_variant db2_cache_column::get_text(std::size_t row) {
    const SQLLEN ind = indicator(row);
    if (ind == SQL_NULL_DATA) return {};
    const auto* p = reinterpret_cast<const char16_t*>(cell(row));
    const std::size_t room = buffer_size_ >= 2 ? (buffer_size_ - 2) / 2 : 0;
    std::size_t units = ind >= 0 ? std::min<std::size_t>(std::size_t(ind) / 2, room)
                                 : std::char_traits<char16_t>::length(p);
    units = std::min(units, room);
    return ole_variant(std::u16string(p, units));
}

ole_variant db2_cache_column::get_decimal(std::size_t row) {
    if (indicator(row) == SQL_NULL_DATA) return {};
    const auto* p = reinterpret_cast<const char16_t*>(cell(row));
    return ole_variant::from_wstring(p, VT_DECIMAL);
}

ole_variant db2_cache_column::get_decfloat(std::size_t row) {
    if (indicator(row) == SQL_NULL_DATA) return {};
    return db2_decfloat_value(reinterpret_cast<const char16_t*>(cell(row)));
}

ole_variant db2_cache_column::get_short(std::size_t row) {
    if (indicator(row) == SQL_NULL_DATA) return {};
    std::int16_t v;
    std::memcpy(&v, cell(row), sizeof v);
    return ole_variant(short(v));
}

ole_variant db2_cache_column::get_long(std::size_t row) {
    if (indicator(row) == SQL_NULL_DATA) return {};
    std::int32_t v;
    std::memcpy(&v, cell(row), sizeof v);
    return ole_variant(int(v));
}

ole_variant db2_cache_column::get_bigint(std::size_t row) {
    if (indicator(row) == SQL_NULL_DATA) return {};
    std::int64_t v;
    std::memcpy(&v, cell(row), sizeof v);
    return ole_variant(static_cast<long long>(v));
}

ole_variant db2_cache_column::get_float(std::size_t row) {
    if (indicator(row) == SQL_NULL_DATA) return {};
    float v;
    std::memcpy(&v, cell(row), sizeof v);
    return ole_variant(v);
}

ole_variant db2_cache_column::get_double(std::size_t row) {
    if (indicator(row) == SQL_NULL_DATA) return {};
    double v;
    std::memcpy(&v, cell(row), sizeof v);
    return ole_variant(v);
}

ole_variant db2_cache_column::get_timestamp(std::size_t row) {
    if (indicator(row) == SQL_NULL_DATA) return {};
    tk_trace(1, "Extract date value");
    TIMESTAMP_STRUCT ts;
    std::memcpy(&ts, cell(row), sizeof ts);
    ole_systemtime t;
    t.hour = ts.hour;
    t.minute = ts.minute;
    t.second = ts.second;
    // A TIME arrives in a timestamp structure whose date the client fills in with today's:
    // it is no part of the value. Hour 24 stays, as a TIME column holds it.
    if (sql_type_ == SQL_TYPE_TIME) return ole_variant(t);
    t.year = std::uint16_t(ts.year);
    t.month = ts.month;
    t.day = ts.day;
    // Nanoseconds: the microseconds are kept and the rest cut, never rounded up.
    t.microseconds = std::uint32_t(ts.fraction / 1000u) % 1'000'000u;
    t.milliseconds = std::uint16_t(t.microseconds / 1000u);
    if (t.hour == 24) ole_date::carry_hour_24(t);
    return ole_variant(t);
}

ole_variant db2_cache_column::get_binary(std::size_t row) {
    const SQLLEN ind = indicator(row);
    if (ind == SQL_NULL_DATA) return {};
    const std::size_t n = ind >= 0 ? std::min<std::size_t>(std::size_t(ind), buffer_size_) : buffer_size_;
    const auto* p = reinterpret_cast<const std::uint8_t*>(cell(row));
    return ole_variant(std::vector<std::uint8_t>(p, p + n));
}

ole_variant db2_cache_column::get_bit(std::size_t row) {
    if (indicator(row) == SQL_NULL_DATA) return {};
    return ole_variant(std::to_integer<unsigned char>(*cell(row)) != 0);
}

ole_variant db2_cache_column::get_tinyint(std::size_t row) {
    if (indicator(row) == SQL_NULL_DATA) return {};
    return ole_variant(static_cast<signed char>(std::to_integer<unsigned char>(*cell(row))));
}

ole_variant db2_cache_column::get_blob(std::size_t row) {
    if (indicator(row) == SQL_NULL_DATA) return {};
    SQLINTEGER locator;
    std::memcpy(&locator, cell(row), sizeof locator);
    const auto& api = db2_cli();
    SQLINTEGER length = 0, ind = 0;
    db2_engine::check_err(api.SQLGetLength(length_stmt_.get(), SQL_C_BLOB_LOCATOR, locator, &length, &ind),
                          SQL_HANDLE_STMT, length_stmt_.get());
    std::vector<std::uint8_t> bytes(std::size_t(std::max<SQLINTEGER>(length, 0)));
    // An empty value has no position 1 to read from.
    if (!bytes.empty()) {
        SQLINTEGER written = 0;
        db2_engine::check_err(api.SQLGetSubString(substring_stmt_.get(), SQL_C_BLOB_LOCATOR, locator, 1,
                                                  SQLUINTEGER(length), SQL_C_BINARY, bytes.data(),
                                                  length, &written, &ind),
                              SQL_HANDLE_STMT, substring_stmt_.get());
        if (written >= 0 && std::size_t(written) < bytes.size()) bytes.resize(std::size_t(written));
    }
    return ole_variant(std::move(bytes));
}

ole_variant db2_cache_column::get_clob(std::size_t row) {
    if (indicator(row) == SQL_NULL_DATA) return {};
    SQLINTEGER locator;
    std::memcpy(&locator, cell(row), sizeof locator);
    const SQLSMALLINT kind = target_type_;
    const auto& api = db2_cli();
    SQLINTEGER length = 0, ind = 0;
    db2_engine::check_err(api.SQLGetLength(length_stmt_.get(), kind, locator, &length, &ind),
                          SQL_HANDLE_STMT, length_stmt_.get());
    std::u16string text;
    if (length > 0) {
        // Bytes of a CLOB never make more UTF-16 units than bytes; a DBCLOB counts characters.
        text.assign(std::size_t(length) + 1, u'\0');
        SQLINTEGER written = 0;
        db2_engine::check_err(api.SQLGetSubString(substring_stmt_.get(), kind, locator, 1,
                                                  SQLUINTEGER(length), SQL_C_WCHAR, text.data(),
                                                  SQLINTEGER((std::size_t(length) + 1) * sizeof(char16_t)),
                                                  &written, &ind),
                              SQL_HANDLE_STMT, substring_stmt_.get());
        const std::size_t units = written >= 0 ? std::size_t(written) / sizeof(char16_t)
                                               : std::char_traits<char16_t>::length(text.c_str());
        text.resize(std::min(units, std::size_t(length)));
    }
    return ole_variant(std::move(text));
}

// ---------------------------------------------------------------------------------------------
// db2_cache

void db2_cache::allocate(const udb_schema& schema) {
    tk_trace(1, "db2_cache::allocate");
    columns_.clear();
    columns_.reserve(schema.size());
    SQLUSMALLINT number = 0;
    for (const t_ftd* column : schema) {
        const auto* d = dynamic_cast<const db2_ftd*>(column);
        tk_verify(d != nullptr, "db2_util", __LINE__);
        const std::uint8_t scale = std::uint8_t(d->reserved & 0xFF);
        const std::uint8_t precision = std::uint8_t((d->reserved >> 8) & 0xFF);
        columns_.push_back(std::make_unique<db2_cache_column>(*this, d->name, ++number, d->sql_type,
                                                              d->size, scale, precision, d->b_not_null,
                                                              d->default_value));
    }
}

void db2_cache::bind(SQLHSTMT statement) {
    tk_trace(1, "db2_cache::bind");
    const auto& api = db2_cli();
    db2_engine::check_err(api.SQLSetStmtAttrW(statement, SQL_ATTR_ROW_ARRAY_SIZE,
                                              reinterpret_cast<SQLPOINTER>(std::uintptr_t(block_size_)), 0),
                          SQL_HANDLE_STMT, statement);
    db2_engine::check_err(api.SQLSetStmtAttrW(statement, SQL_ATTR_ROW_BIND_TYPE,
                                              reinterpret_cast<SQLPOINTER>(std::uintptr_t(SQL_BIND_BY_COLUMN)), 0),
                          SQL_HANDLE_STMT, statement);
    for (auto& column : columns_) column->bind(statement);
}

// ---------------------------------------------------------------------------------------------
// DB2 as a destination

namespace {

bool is_text_tag(std::uint16_t vt) { return udb_is_text_type(vt); }
bool is_binary_tag(std::uint16_t vt) { return udb_is_binary_type(vt); }

// The DB2 printing of a date of `kind`; ole_date prints the ISO forms DB2 reads.
std::u16string date_literal(std::u16string_view text, std::uint32_t kind) {
    ole_date date(text);
    date.drop_zero_time = false;
    std::u16string printed = date.to_wstring();
    if (kind == 3) {
        static constexpr std::u16string_view null_date = u"0000-00-00 ";
        if (printed.starts_with(null_date)) {
            tk_trace(1, "Null date has been found");
            printed.erase(0, null_date.size());
        } else if (printed.size() > 11) {
            printed.erase(0, 11);
        }
    } else if (kind == 2) {
        printed = printed.substr(0, 10);
    } else if (printed.size() == 10) {
        // A date and time at midnight is read as a date; DB2 wants its time too.
        printed += u" 00:00:00";
    }
    return u"'" + printed + u"'";
}

bool is_digits(std::u16string_view text, bool hex) {
    if (text.empty()) return false;
    for (char16_t c : text) {
        const bool digit = c >= u'0' && c <= u'9';
        const bool hex_digit = (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
        if (!digit && !(hex && hex_digit)) return false;
    }
    return true;
}

} // namespace

bool is_db2_lob_column(const t_ftd& column) {
    const std::uint32_t size = column.size;
    if (is_text_tag(column.vartype)) return size == 0 || size > db2_max_vargraphic;
    if (is_binary_tag(column.vartype)) return size == 0 || size > db2_max_varbinary;
    return false;
}

std::u16string get_db2_type(const t_ftd& column) {
    const std::uint32_t precision = (column.reserved >> 8) & 0xff;
    const std::uint32_t scale = column.reserved & 0xff;
    char buffer[64];
    switch (column.vartype) {
    case VT_I2: case VT_UI1: return u"SMALLINT";
    case VT_I4: case VT_UI2: case VT_INT: return u"INTEGER";
    case VT_UI4: case VT_I8: case VT_UI8: case VT_UINT: return u"BIGINT";
    case VT_R4: return u"FLOAT";
    case VT_R8: return u"DOUBLE";
    case VT_CY: return u"DECIMAL(19, 4)";
    case VT_DECIMAL:
        if (precision >= 32) return u"DECFLOAT(34)";
        std::snprintf(buffer, sizeof buffer, "DECIMAL(%u,%u)", precision, scale);
        return tk_from_utf8(buffer);
    case VT_DATE: {
        const std::uint32_t kind = column.reserved & 3;
        if (kind == 2) return u"DATE";
        if (kind == 3) return u"TIME";
        // A timestamp read from the catalogue knows its fraction digits (DB2 takes 0 to 12).
        if (kind != 1) return u"TIMESTAMP";
        std::snprintf(buffer, sizeof buffer, "TIMESTAMP(%u)", std::min((column.reserved >> 8) & 0xff, 12u));
        return tk_from_utf8(buffer);
    }
    case VT_BOOL: case VT_I1: return u"CHAR(1)";
    case VT_BSTR: case VT_LPSTR: case VT_LPWSTR:
        tk_trace(1, "process as text");
        // The largest LOB DB2 logs; a plain CLOB would stop at one megabyte.
        if (is_db2_lob_column(column)) return u"CLOB(1G)";
        std::snprintf(buffer, sizeof buffer, "VARGRAPHIC(%u) ", column.size);
        return tk_from_utf8(buffer);
    case VT_BLOB: case VT_BLOB_OBJECT: case VT_BYTES:
        tk_trace(1, "process as binary");
        if (is_db2_lob_column(column)) return u"BLOB(1G)";
        std::snprintf(buffer, sizeof buffer, "VARCHAR(%u) FOR BIT DATA", column.size);
        return tk_from_utf8(buffer);
    default:
        throw tk_mail_assertion("db2_util", __LINE__);
    }
}

std::u16string make_db2_def_val(const t_ftd& column) {
    if (column.default_register != udb_reg_none) {
        // The source's special register where DB2 has the same one for the column's kind.
        const std::uint32_t kind = column.vartype == VT_DATE ? column.reserved & 3 : 0;
        if (column.default_register == udb_reg_current_timestamp && kind == 1) return u"CURRENT TIMESTAMP";
        if (column.default_register == udb_reg_current_date && kind == 2) return u"CURRENT DATE";
        if (column.default_register == udb_reg_current_time && kind == 3) return u"CURRENT TIME";
        return {};
    }
    const std::u16string text = column.default_value.to_wstring();
    tk_wtrace(1, u"make_db2_def_val(%s)", text.c_str());
    if (column.default_value.is_empty_or_null() || text.empty()) {
        tk_trace(1, "Got empty def value");
        return {};
    }
    switch (ole_type_of(column.vartype).group) {
    case ole_type_group::integer: {
        std::u16string_view digits = text;
        if (!digits.empty() && digits.front() == u'-') digits.remove_prefix(1);
        return is_digits(digits, false) && (digits.size() == 1 || digits.front() != u'0') ? text : u"";
    }
    case ole_type_group::floating:
    case ole_type_group::exact: {
        // The default may arrive as text: its value is what counts.
        const ole_variant number = udb_is_numeric_type(column.default_value.vt())
                                       ? column.default_value
                                       : ole_variant::from_wstring(text, VT_R8);
        if (!udb_is_numeric_type(number.vt())) return {};
        if (number.to_double() != 0) return text;
        const bool zero = text.find_first_not_of(u"eE-+.,0") == std::u16string::npos;
        return zero ? text : u"";
    }
    case ole_type_group::date: {
        tk_trace(1, "Got DATE def value");
        ole_date date(text);
        if (!date.is_valid()) return {};
        tk_wtrace(1, u"After canonization: %s", date.to_wstring().c_str());
        return to_db2_str(text, VT_DATE, column.reserved & 3);
    }
    case ole_type_group::text: {
        if (column.vartype != VT_BSTR) return {}; // descriptor-only text tags get none
        tk_wtrace(1, u"Got BSTR or DATE def value: %s", text.c_str());
        const std::u16string cut = column.size && text.size() > column.size ? text.substr(0, column.size) : text;
        return to_db2_str(cut, VT_BSTR, 0);
    }
    // Rows of a truth-value column are written as the digits 1 and 0 (its type is CHAR(1)), so
    // its default is too: a hexadecimal literal would be a control character.
    case ole_type_group::boolean: return column.default_value.to_bool() ? u"'1'" : u"'0'";
    default: return {};
    }
}

std::u16string to_db2_str(std::u16string_view text, std::uint16_t tag, std::uint32_t detail) {
    tk_wtrace(1, u"to_db2_str(%s,%d)", std::u16string(text).c_str(), int(tag));
    if (tag == VT_DATE) return date_literal(text, detail);
    if (is_binary_tag(tag)) {
        tk_trace(1, "GOT BLOB");
        if (text.size() < 2) return u"''";
        const ole_guid_extractor guid(text);
        if (guid.found()) {
            tk_trace(1, "BLOB IS AN GUID");
            return u"'" + guid.whex() + u"'";
        }
        const bool prefixed = text[0] == u'0' && (text[1] == u'x' || text[1] == u'X');
        if ((prefixed && is_digits(text.substr(2), true)) || is_digits(text, false)) {
            tk_trace(1, "BLOB IS VALID");
            return u"'" + std::u16string(text.substr(2)) + u"'";
        }
        return u"''";
    }
    const ole_guid_extractor guid(text);
    if (guid.found()) {
        tk_trace(1, "BSTR IS AN GUID");
        return u"'" + tk_from_utf8(guid.braced()) + u"'";
    }
    std::u16string out = u"'";
    for (char16_t c : text) {
        if (c == u'\'') out += c;
        out += c;
    }
    return out + u"'";
}

db2_handle db2_cache::alloc_statement() const {
    return connection_ ? db2_alloc_statement(connection_) : db2_engine::instance().alloc_statement();
}
