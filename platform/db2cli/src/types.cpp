#include "types.hpp"

#include "diagnostics.hpp"
#include "text.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <vector>

namespace db2s {

SQLSMALLINT db2_type::sql_type() const {
    switch (kind) {
    case db2_kind::char_: return SQL_CHAR;
    case db2_kind::varchar: return SQL_VARCHAR;
    case db2_kind::long_varchar: return SQL_LONGVARCHAR;
    case db2_kind::char_bit: case db2_kind::binary: return SQL_BINARY;
    case db2_kind::varchar_bit: case db2_kind::varbinary: return SQL_VARBINARY;
    case db2_kind::long_varchar_bit: return SQL_LONGVARBINARY;
    case db2_kind::graphic: return SQL_GRAPHIC;
    case db2_kind::vargraphic: return SQL_VARGRAPHIC;
    case db2_kind::long_vargraphic: return SQL_LONGVARGRAPHIC;
    case db2_kind::smallint: return SQL_SMALLINT;
    case db2_kind::integer: return SQL_INTEGER;
    case db2_kind::bigint: return SQL_BIGINT;
    case db2_kind::decimal: return SQL_DECIMAL;
    case db2_kind::real: return SQL_REAL;
    case db2_kind::double_: return SQL_DOUBLE;
    case db2_kind::decfloat: return SQL_DECFLOAT;
    case db2_kind::date: return SQL_TYPE_DATE;
    case db2_kind::time: return SQL_TYPE_TIME;
    case db2_kind::timestamp: return SQL_TYPE_TIMESTAMP;
    case db2_kind::blob: return SQL_BLOB;
    case db2_kind::clob: return SQL_CLOB;
    case db2_kind::dbclob: return SQL_DBCLOB;
    case db2_kind::xml: return SQL_XML;
    case db2_kind::boolean: return SQL_BOOLEAN;
    }
    return SQL_UNKNOWN_TYPE;
}

std::int64_t db2_type::column_size() const {
    switch (kind) {
    case db2_kind::smallint: return 5;
    case db2_kind::integer: return 10;
    case db2_kind::bigint: return 19;
    case db2_kind::real: return 7;
    case db2_kind::double_: return 15;
    case db2_kind::date: return 10;
    case db2_kind::time: return 8;
    case db2_kind::timestamp: return length == 0 ? 19 : 20 + length;
    case db2_kind::xml: return 0;
    case db2_kind::boolean: return 1;
    default: return length;
    }
}

std::int64_t db2_type::buffer_length() const {
    switch (kind) {
    case db2_kind::graphic: case db2_kind::vargraphic: case db2_kind::long_vargraphic:
    case db2_kind::dbclob:
        return 2 * length;
    case db2_kind::smallint: return 2;
    case db2_kind::integer: return 4;
    case db2_kind::bigint: return 8;
    case db2_kind::decimal: return length + 2;
    case db2_kind::real: return 4;
    case db2_kind::double_: return 8;
    case db2_kind::decfloat: return length == 16 ? 8 : 16;
    case db2_kind::date: case db2_kind::time: return 6;
    case db2_kind::timestamp: return 16;
    case db2_kind::xml: return 0;
    case db2_kind::boolean: return 1;
    default: return length;
    }
}

std::optional<int> db2_type::decimal_digits() const {
    switch (kind) {
    case db2_kind::smallint: case db2_kind::integer: case db2_kind::bigint:
    case db2_kind::time: case db2_kind::xml:
        return 0;
    case db2_kind::decimal: return scale;
    case db2_kind::timestamp: return static_cast<int>(length);
    default: return std::nullopt;
    }
}

std::optional<int> db2_type::radix() const {
    switch (kind) {
    case db2_kind::smallint: case db2_kind::integer: case db2_kind::bigint:
    case db2_kind::decimal: case db2_kind::real: case db2_kind::double_: case db2_kind::decfloat:
        return 10;
    default: return std::nullopt;
    }
}

std::optional<std::int64_t> db2_type::char_octet_length() const {
    if (is_character() || is_binary()) {
        if (kind == db2_kind::xml) return std::nullopt;
        return buffer_length();
    }
    return std::nullopt;
}

std::string db2_type::catalog_name() const {
    switch (kind) {
    case db2_kind::char_: case db2_kind::char_bit: return "CHARACTER";
    case db2_kind::varchar: case db2_kind::varchar_bit: return "VARCHAR";
    case db2_kind::long_varchar: case db2_kind::long_varchar_bit: return "LONG VARCHAR";
    case db2_kind::binary: return "BINARY";
    case db2_kind::varbinary: return "VARBINARY";
    case db2_kind::graphic: return "GRAPHIC";
    case db2_kind::vargraphic: return "VARGRAPHIC";
    case db2_kind::long_vargraphic: return "LONG VARGRAPHIC";
    case db2_kind::smallint: return "SMALLINT";
    case db2_kind::integer: return "INTEGER";
    case db2_kind::bigint: return "BIGINT";
    case db2_kind::decimal: return "DECIMAL";
    case db2_kind::real: return "REAL";
    case db2_kind::double_: return "DOUBLE";
    case db2_kind::decfloat: return "DECFLOAT";
    case db2_kind::date: return "DATE";
    case db2_kind::time: return "TIME";
    case db2_kind::timestamp: return "TIMESTAMP";
    case db2_kind::blob: return "BLOB";
    case db2_kind::clob: return "CLOB";
    case db2_kind::dbclob: return "DBCLOB";
    case db2_kind::xml: return "XML";
    case db2_kind::boolean: return "BOOLEAN";
    }
    return "";
}

std::string db2_type::odbc_name() const {
    switch (kind) {
    case db2_kind::char_bit: return "CHAR () FOR BIT DATA";
    case db2_kind::varchar_bit: return "VARCHAR () FOR BIT DATA";
    case db2_kind::long_varchar_bit: return "LONG VARCHAR FOR BIT DATA";
    default: return catalog_name();
    }
}

std::string db2_type::ddl() const {
    const std::string n = std::to_string(length);
    switch (kind) {
    case db2_kind::char_: return "CHAR(" + n + ")";
    case db2_kind::varchar: return "VARCHAR(" + n + ")";
    case db2_kind::char_bit: return "CHAR(" + n + ") FOR BIT DATA";
    case db2_kind::varchar_bit: return "VARCHAR(" + n + ") FOR BIT DATA";
    case db2_kind::long_varchar_bit: return "LONG VARCHAR FOR BIT DATA";
    case db2_kind::binary: return "BINARY(" + n + ")";
    case db2_kind::varbinary: return "VARBINARY(" + n + ")";
    case db2_kind::graphic: return "GRAPHIC(" + n + ")";
    case db2_kind::vargraphic: return "VARGRAPHIC(" + n + ")";
    case db2_kind::decimal: return "DECIMAL(" + n + "," + std::to_string(scale) + ")";
    case db2_kind::decfloat: return "DECFLOAT(" + n + ")";
    case db2_kind::timestamp: return "TIMESTAMP(" + n + ")";
    case db2_kind::blob: return "BLOB(" + n + ")";
    case db2_kind::clob: return "CLOB(" + n + ")";
    case db2_kind::dbclob: return "DBCLOB(" + n + ")";
    default: return catalog_name();
    }
}

bool db2_type::is_graphic() const {
    return kind == db2_kind::graphic || kind == db2_kind::vargraphic ||
           kind == db2_kind::long_vargraphic || kind == db2_kind::dbclob;
}

bool db2_type::is_character() const {
    switch (kind) {
    case db2_kind::char_: case db2_kind::varchar: case db2_kind::long_varchar:
    case db2_kind::clob: case db2_kind::xml:
        return true;
    default: return is_graphic();
    }
}

bool db2_type::is_binary() const {
    switch (kind) {
    case db2_kind::char_bit: case db2_kind::varchar_bit: case db2_kind::long_varchar_bit:
    case db2_kind::binary: case db2_kind::varbinary: case db2_kind::blob:
        return true;
    default: return false;
    }
}

bool db2_type::is_lob() const {
    return kind == db2_kind::blob || kind == db2_kind::clob || kind == db2_kind::dbclob ||
           kind == db2_kind::xml;
}

bool db2_type::is_integer() const {
    return kind == db2_kind::smallint || kind == db2_kind::integer || kind == db2_kind::bigint ||
           kind == db2_kind::boolean;
}

bool db2_type::is_datetime() const {
    return kind == db2_kind::date || kind == db2_kind::time || kind == db2_kind::timestamp;
}

// ---------------------------------------------------------------------------------------------

bool normalise_decimal(std::string_view text, int precision, int scale, std::string& out) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    std::string digits;
    int point = -1;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') digits.push_back(c);
        else if (c == '.' && point < 0) point = static_cast<int>(digits.size());
        else break;
    }
    if (digits.empty()) return false;
    if (point < 0) point = static_cast<int>(digits.size());
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        int exponent = 0;
        const std::size_t digits_at = i + 1 + (i + 1 < text.size() && text[i + 1] == '+');
        const auto [ptr, ec] = std::from_chars(text.data() + digits_at, text.data() + text.size(), exponent);
        if (ec != std::errc() || exponent > 400 || exponent < -400) return false;
        i = static_cast<std::size_t>(ptr - text.data());
        point += exponent;
    }
    while (i < text.size() && text[i] == ' ') ++i;
    if (i != text.size()) return false;
    // Shift the point into range of the digit string.
    while (point < 0) { digits.insert(digits.begin(), '0'); ++point; }
    while (point > static_cast<int>(digits.size())) digits.push_back('0');
    std::string whole = digits.substr(0, static_cast<std::size_t>(point));
    std::string frac = digits.substr(static_cast<std::size_t>(point));
    whole.erase(0, std::min(whole.find_first_not_of('0'), whole.size()));
    if (static_cast<int>(frac.size()) > scale) frac.resize(static_cast<std::size_t>(scale));
    while (static_cast<int>(frac.size()) < scale) frac.push_back('0');
    if (static_cast<int>(whole.size()) > precision - scale) return false;
    const bool zero = whole.empty() && frac.find_first_not_of('0') == std::string::npos;
    out.clear();
    if (negative && !zero) out.push_back('-');
    out += whole.empty() ? "0" : whole;
    if (scale > 0) out.append(".").append(frac);
    return true;
}

namespace {

bool read_int(std::string_view s, std::size_t& i, int digits, int& out) {
    if (i + static_cast<std::size_t>(digits) > s.size()) return false;
    out = 0;
    for (int k = 0; k < digits; ++k) {
        const char c = s[i + static_cast<std::size_t>(k)];
        if (c < '0' || c > '9') return false;
        out = out * 10 + (c - '0');
    }
    i += static_cast<std::size_t>(digits);
    return true;
}

bool expect(std::string_view s, std::size_t& i, std::string_view any) {
    if (i < s.size() && any.find(s[i]) != std::string_view::npos) {
        ++i;
        return true;
    }
    return false;
}

bool parse_date_part(std::string_view s, std::size_t& i, datetime_parts& p) {
    const std::size_t start = i;
    if (read_int(s, i, 4, p.year) && expect(s, i, "-") && read_int(s, i, 2, p.month) &&
        expect(s, i, "-") && read_int(s, i, 2, p.day))
        return true;
    i = start;  // USA form mm/dd/yyyy
    if (read_int(s, i, 2, p.month) && expect(s, i, "/") && read_int(s, i, 2, p.day) &&
        expect(s, i, "/") && read_int(s, i, 4, p.year))
        return true;
    i = start;  // EUR form dd.mm.yyyy
    return read_int(s, i, 2, p.day) && expect(s, i, ".") && read_int(s, i, 2, p.month) &&
           expect(s, i, ".") && read_int(s, i, 4, p.year);
}

bool parse_time_part(std::string_view s, std::size_t& i, datetime_parts& p) {
    if (!read_int(s, i, 2, p.hour) || !expect(s, i, ":.") || !read_int(s, i, 2, p.minute))
        return false;
    if (expect(s, i, ":.")) return read_int(s, i, 2, p.second);
    return true;
}

bool valid(const datetime_parts& p) {
    static const int days[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (p.year < 1 || p.month < 1 || p.month > 12 || p.day < 1 || p.day > days[p.month - 1])
        return false;
    const bool leap = (p.year % 4 == 0 && p.year % 100 != 0) || p.year % 400 == 0;
    if (p.month == 2 && p.day == 29 && !leap) return false;
    if (p.hour == 24) return p.minute == 0 && p.second == 0 && p.fraction == 0;
    return p.hour <= 23 && p.minute <= 59 && p.second <= 59;
}

}  // namespace

bool parse_datetime(std::string_view s, db2_kind what, datetime_parts& p) {
    p = {};
    p.year = 1;
    p.month = 1;
    p.day = 1;
    std::size_t i = 0;
    if (what == db2_kind::time) {
        if (!parse_time_part(s, i, p) || i != s.size()) return false;
        return valid(p);
    }
    if (!parse_date_part(s, i, p)) return false;
    if (what == db2_kind::date) return i == s.size() && valid(p);
    if (i < s.size()) {
        if (!expect(s, i, "- T") || !parse_time_part(s, i, p)) return false;
        if (i < s.size()) {
            if (!expect(s, i, ".,")) return false;
            std::uint32_t ns = 0, ps = 0;
            int n = 0;
            for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i, ++n) {
                const auto digit = static_cast<std::uint32_t>(s[i] - '0');
                if (n < 9) ns = ns * 10 + digit;
                else ps = ps * 10 + digit;
            }
            if (n == 0 || n > 12 || i != s.size()) return false;
            for (int k = n; k < 9; ++k) ns *= 10;
            for (int k = std::max(n, 9); k < 12; ++k) ps *= 10;
            p.fraction = ns;
            p.fraction2 = ps;
        }
    }
    return valid(p);
}

std::string format_datetime(const datetime_parts& p, db2_kind what, int fraction_digits) {
    char buf[128];
    if (what == db2_kind::date) {
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", p.year, p.month, p.day);
    } else if (what == db2_kind::time) {
        std::snprintf(buf, sizeof buf, "%02d.%02d.%02d", p.hour, p.minute, p.second);
    } else {
        int n = std::snprintf(buf, sizeof buf, "%04d-%02d-%02d-%02d.%02d.%02d", p.year, p.month,
                              p.day, p.hour, p.minute, p.second);
        if (fraction_digits > 0) {
            char frac[32];
            std::snprintf(frac, sizeof frac, "%09u%03u", p.fraction % 1000000000u, p.fraction2 % 1000u);
            frac[fraction_digits] = 0;
            std::snprintf(buf + n, sizeof buf - static_cast<std::size_t>(n), ".%s", frac);
        }
    }
    return buf;
}

std::string client_datetime_text(std::string_view stored, db2_kind what) {
    std::string out(stored);
    if (what == db2_kind::time && out.size() >= 8) {
        out[2] = ':';
        out[5] = ':';
    } else if (what == db2_kind::timestamp && out.size() >= 19) {
        out[10] = ' ';
        out[13] = ':';
        out[16] = ':';
    }
    return out;
}

std::string format_double(double v) {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

// ---------------------------------------------------------------------------------------------

namespace {

[[noreturn]] void too_long(std::string_view text) {
    std::string shown(text.substr(0, 32));
    throw_server(-433, "Value \"" + shown + "\" is too long.", "22001");
}

[[noreturn]] void incompatible(std::string_view column) {
    throw_server(-408,
                 "A value is not compatible with the data type of its assignment target.  "
                 "Target name is \"" + std::string(column) + "\".",
                 "42821");
}

[[noreturn]] void out_of_range() {
    throw_server(-413, "Overflow occurred during numeric data type conversion.", "22003");
}

// Rounds the coefficient `digits` (no leading zeros) half to even so that it loses `drop`
// digits; `exponent` grows by what was dropped (and by one more when 99..9 carries over).
void round_coefficient(std::string& digits, long& exponent, std::size_t drop) {
    if (drop == 0) return;
    exponent += static_cast<long>(drop);
    if (drop > digits.size()) {
        digits = "0";
        return;
    }
    const std::string kept = digits.substr(0, digits.size() - drop);
    const std::string gone = digits.substr(digits.size() - drop);
    bool up = gone[0] > '5';
    if (gone[0] == '5') {
        const bool rest = gone.find_first_not_of('0', 1) != std::string::npos;
        up = rest || (!kept.empty() && (kept.back() - '0') % 2 == 1);
    }
    digits = kept.empty() ? "0" : kept;
    if (!up) return;
    if (kept.empty()) {
        digits = "1";
        return;
    }
    int k = static_cast<int>(digits.size()) - 1;
    while (k >= 0 && digits[static_cast<std::size_t>(k)] == '9') digits[static_cast<std::size_t>(k--)] = '0';
    if (k < 0) {
        digits.insert(digits.begin(), '1');
    } else {
        ++digits[static_cast<std::size_t>(k)];
    }
}

// A DECFLOAT(16 or 34) value as DB2 keeps and returns it: the coefficient rounded half to even
// to the precision, exponents held to the format's range (overflow is an error, tiny values
// lose digits down to the smallest exponent), printed in the scientific-string form (plain
// digits while the exponent is at most 0 and the adjusted exponent at least -6), NaN, sNaN and
// Infinity with their signs. False for text that is no number.
bool normalise_decfloat(std::string_view text, int precision, std::string& out) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    bool negative = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    const std::string sign = negative ? "-" : "";
    std::string upper;
    for (char c : text) upper.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c);
    if (upper == "NAN") return out = sign + "NaN", true;
    if (upper == "SNAN") return out = sign + "sNaN", true;
    if (upper == "INF" || upper == "INFINITY") return out = sign + "Infinity", true;
    std::string digits;
    long fraction = 0;
    bool point = false, any = false;
    std::size_t i = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            any = true;
            if (!(digits.empty() && c == '0')) digits.push_back(c);
            if (point) ++fraction;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (!any) return false;
    long exponent = 0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        bool minus = false;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) minus = text[i++] == '-';
        if (i == text.size()) return false;
        for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
            exponent = std::min(exponent * 10 + (text[i] - '0'), 100'000'000L);
        if (minus) exponent = -exponent;
    }
    if (i != text.size()) return false;
    exponent -= fraction;
    const long emax = precision == 16 ? 384 : 6144;
    const long etiny = (precision == 16 ? -383 : -6143) - (precision - 1);
    const long top = emax - (precision - 1); // the largest exponent of a full coefficient
    if (digits.empty()) {
        digits = "0";
        exponent = std::clamp(exponent, etiny, top);
    } else {
        if (digits.size() > static_cast<std::size_t>(precision))
            round_coefficient(digits, exponent, digits.size() - static_cast<std::size_t>(precision));
        if (digits.size() > static_cast<std::size_t>(precision)) round_coefficient(digits, exponent, 1);
        if (exponent < etiny) round_coefficient(digits, exponent, static_cast<std::size_t>(etiny - exponent));
        if (digits == "0") exponent = std::max(exponent, etiny);
        if (digits != "0" && exponent + static_cast<long>(digits.size()) - 1 > emax) out_of_range();
        if (exponent > top) {
            // A short coefficient with a huge exponent is held as a full one with zeros.
            if (digits != "0") digits.append(static_cast<std::size_t>(exponent - top), '0');
            exponent = top;
        }
    }
    const long length = static_cast<long>(digits.size());
    const long adjusted = exponent + length - 1;
    out = sign;
    if (exponent <= 0 && adjusted >= -6) {
        const long before = length + exponent; // digits before the point
        if (exponent == 0) {
            out += digits;
        } else if (before > 0) {
            out += digits.substr(0, static_cast<std::size_t>(before)) + "." +
                   digits.substr(static_cast<std::size_t>(before));
        } else {
            out += "0." + std::string(static_cast<std::size_t>(-before), '0') + digits;
        }
        return true;
    }
    out += digits.substr(0, 1);
    if (length > 1) out += "." + digits.substr(1);
    out += adjusted < 0 ? "E-" : "E+";
    out += std::to_string(adjusted < 0 ? -adjusted : adjusted);
    return true;
}

std::string value_as_text(const value& v) {
    switch (v.kind) {
    case value::integer: return std::to_string(v.i);
    case value::real: return format_double(v.d);
    default: return v.s;
    }
}

std::int64_t to_integer(const value& v, std::int64_t lo, std::int64_t hi, std::string_view type) {
    std::int64_t result = 0;
    switch (v.kind) {
    case value::integer: result = v.i; break;
    case value::real:
        if (!(v.d >= static_cast<double>(lo) - 1 && v.d <= static_cast<double>(hi) + 1)) out_of_range();
        result = static_cast<std::int64_t>(v.d);
        break;
    case value::number:
    case value::text: {
        std::string norm;
        if (!normalise_decimal(v.s, 31, 0, norm)) {
            if (v.kind == value::number) out_of_range();
            throw_server(-420,
                         "Invalid character found in a character string argument of the "
                         "function \"" + std::string(type) + "\".",
                         "22018");
        }
        const auto [p, ec] = std::from_chars(norm.data(), norm.data() + norm.size(), result);
        if (ec != std::errc()) out_of_range();
        break;
    }
    default: break;
    }
    if (result < lo || result > hi) out_of_range();
    return result;
}

bool xml_name_char(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == ':' || c == '-' || c == '.' || static_cast<unsigned char>(c) >= 0x80;
}

// A reference &name; or &#n; at `i`: one of the five predefined entities or a character.
bool xml_reference(std::string_view s, std::size_t& i) {
    const auto semi = s.find(';', i);
    if (semi == std::string_view::npos) return false;
    const std::string_view ref = s.substr(i + 1, semi - i - 1);
    i = semi + 1;
    if (ref == "amp" || ref == "lt" || ref == "gt" || ref == "quot" || ref == "apos") return true;
    if (ref.size() < 2 || ref[0] != '#') return false;
    const bool hex = ref[1] == 'x';
    const std::string_view digits = ref.substr(hex ? 2 : 1);
    return !digits.empty() && digits.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789") ==
                                  std::string_view::npos;
}

// Well-formedness as an XML parser checks it before storing a document: one root element,
// matching tags, quoted attributes, known references.
bool well_formed_xml(std::string_view s) {
    std::vector<std::string_view> open;
    bool root_seen = false;
    std::size_t i = 0;
    auto name_at = [&](std::size_t& k) {
        const std::size_t start = k;
        while (k < s.size() && xml_name_char(s[k])) ++k;
        return s.substr(start, k - start);
    };
    auto skip_space = [&](std::size_t& k) {
        while (k < s.size() && (s[k] == ' ' || s[k] == '\t' || s[k] == '\r' || s[k] == '\n')) ++k;
    };
    while (i < s.size()) {
        if (s[i] != '<') {
            if (open.empty() && !(s[i] == ' ' || s[i] == '\t' || s[i] == '\r' || s[i] == '\n')) return false;
            if (s[i] == '&') {
                if (!xml_reference(s, i)) return false;
            } else {
                ++i;
            }
            continue;
        }
        auto skip_to = [&](std::string_view end) {
            const auto at = s.find(end, i);
            if (at == std::string_view::npos) return false;
            i = at + end.size();
            return true;
        };
        if (s.substr(i, 4) == "<!--") { if (!skip_to("-->")) return false; continue; }
        if (s.substr(i, 2) == "<?") { if (!skip_to("?>")) return false; continue; }
        if (s.substr(i, 9) == "<![CDATA[") {
            if (open.empty() || !skip_to("]]>")) return false;
            continue;
        }
        if (s.substr(i, 9) == "<!DOCTYPE") { if (root_seen || !skip_to(">")) return false; continue; }
        if (s.substr(i, 2) == "</") {
            i += 2;
            const std::string_view name = name_at(i);
            skip_space(i);
            if (open.empty() || open.back() != name || i >= s.size() || s[i] != '>') return false;
            open.pop_back();
            ++i;
            continue;
        }
        ++i;
        const std::string_view name = name_at(i);
        if (name.empty() || (open.empty() && root_seen)) return false;
        root_seen = true;
        for (;;) {
            skip_space(i);
            if (i >= s.size()) return false;
            if (s[i] == '>') { open.push_back(name); ++i; break; }
            if (s.substr(i, 2) == "/>") { i += 2; break; }
            if (name_at(i).empty()) return false;
            skip_space(i);
            if (i >= s.size() || s[i] != '=') return false;
            ++i;
            skip_space(i);
            if (i >= s.size() || (s[i] != '"' && s[i] != '\'')) return false;
            const char quote = s[i++];
            while (i < s.size() && s[i] != quote) {
                if (s[i] == '<') return false;
                if (s[i] == '&') {
                    if (!xml_reference(s, i)) return false;
                } else {
                    ++i;
                }
            }
            if (i >= s.size()) return false;
            ++i;
        }
    }
    return root_seen && open.empty();
}

}  // namespace

value coerce(const value& v, const db2_type& t, std::string_view column) {
    if (v.kind == value::null) return v;
    switch (t.kind) {
    case db2_kind::smallint:
        if (v.kind == value::blob) incompatible(column);
        return value::make_int(to_integer(v, -32768, 32767, "SMALLINT"));
    case db2_kind::integer:
        if (v.kind == value::blob) incompatible(column);
        return value::make_int(to_integer(v, std::numeric_limits<std::int32_t>::min(),
                                          std::numeric_limits<std::int32_t>::max(), "INTEGER"));
    case db2_kind::bigint:
        if (v.kind == value::blob) incompatible(column);
        return value::make_int(to_integer(v, std::numeric_limits<std::int64_t>::min(),
                                          std::numeric_limits<std::int64_t>::max(), "BIGINT"));
    case db2_kind::boolean:
        if (v.kind == value::text) {
            if (iequals(v.s, "TRUE") || v.s == "1") return value::make_int(1);
            if (iequals(v.s, "FALSE") || v.s == "0") return value::make_int(0);
            incompatible(column);
        }
        return value::make_int(to_integer(v, 0, 1, "BOOLEAN"));
    case db2_kind::decimal: {
        if (v.kind == value::blob) incompatible(column);
        std::string norm;
        if (!normalise_decimal(value_as_text(v), static_cast<int>(t.length), t.scale, norm)) {
            if (v.kind == value::text) {
                throw_server(-420,
                             "Invalid character found in a character string argument of the "
                             "function \"DECIMAL\".",
                             "22018");
            }
            out_of_range();
        }
        return value::make_text(norm);
    }
    case db2_kind::decfloat: {
        if (v.kind == value::blob) incompatible(column);
        std::string kept;
        if (!normalise_decfloat(value_as_text(v), t.length == 16 ? 16 : 34, kept)) incompatible(column);
        return value::make_text(kept);
    }
    case db2_kind::real:
    case db2_kind::double_: {
        double d = 0;
        if (v.kind == value::integer) d = static_cast<double>(v.i);
        else if (v.kind == value::real) d = v.d;
        else if (v.kind == value::blob) incompatible(column);
        else {
            const char* b = v.s.data();
            const auto [p, ec] = std::from_chars(b + (v.s.size() && v.s[0] == '+'), b + v.s.size(), d);
            if (ec != std::errc() || p != b + v.s.size()) {
                throw_server(-420,
                             "Invalid character found in a character string argument of the "
                             "function \"DOUBLE\".",
                             "22018");
            }
        }
        if (t.kind == db2_kind::real) {
            // Values that round to the largest REAL (as -3.4028235E38 does) are kept.
            const auto f = static_cast<float>(d);
            if (std::isfinite(d) && !std::isfinite(f)) out_of_range();
            d = static_cast<double>(f);
        }
        return value::make_real(d);
    }
    case db2_kind::date:
    case db2_kind::time:
    case db2_kind::timestamp: {
        if (v.kind != value::text) incompatible(column);
        datetime_parts p;
        if (!parse_datetime(v.s, t.kind, p)) {
            throw_server(-180,
                         "The syntax of the string representation of a datetime value is "
                         "incorrect.",
                         "22007");
        }
        return value::make_text(format_datetime(p, t.kind, static_cast<int>(t.length)));
    }
    case db2_kind::char_bit:
    case db2_kind::varchar_bit:
    case db2_kind::long_varchar_bit:
    case db2_kind::binary:
    case db2_kind::varbinary:
    case db2_kind::blob: {
        if (v.kind != value::blob && v.kind != value::text) incompatible(column);
        std::string bytes = v.s;
        if (static_cast<std::int64_t>(bytes.size()) > t.length) too_long(bytes);
        if (t.kind == db2_kind::char_bit) bytes.resize(static_cast<std::size_t>(t.length), ' ');
        if (t.kind == db2_kind::binary) bytes.resize(static_cast<std::size_t>(t.length), '\0');
        return value::make_blob(std::move(bytes));
    }
    default: break;
    }
    // Character, graphic and XML columns: text measured in bytes or in UTF-16 units.
    if (v.kind == value::blob && !t.is_graphic() && t.kind != db2_kind::xml) incompatible(column);
    std::string text = value_as_text(v);
    const std::int64_t length = t.is_graphic() ? static_cast<std::int64_t>(utf16_length(text))
                                               : static_cast<std::int64_t>(text.size());
    const std::int64_t limit = t.kind == db2_kind::xml ? std::numeric_limits<std::int32_t>::max()
                                                       : t.length;
    if (length > limit) {
        // Trailing blanks may be cut silently, as DB2 does for character assignments.
        std::size_t keep = text.find_last_not_of(' ');
        keep = keep == std::string::npos ? 0 : keep + 1;
        const std::int64_t excess = length - limit;
        if (static_cast<std::int64_t>(text.size() - keep) < excess) too_long(text);
        text.resize(text.size() - static_cast<std::size_t>(excess));
    }
    if (t.kind == db2_kind::xml && !well_formed_xml(text)) {
        throw_server(-16110,
                     "XML syntax error. Parsing cannot continue. Reason code = \"1\".", "2200M");
    }
    if (t.kind == db2_kind::char_ || t.kind == db2_kind::graphic) {
        const std::int64_t now = t.is_graphic() ? static_cast<std::int64_t>(utf16_length(text))
                                                : static_cast<std::int64_t>(text.size());
        text.append(static_cast<std::size_t>(t.length - now), ' ');
    }
    return value::make_text(std::move(text));
}

}  // namespace db2s
