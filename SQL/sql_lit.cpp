#include "sql_lit.hpp"

#include "ole_date.hpp"
#include "ole_type.hpp"
#include "sql_engi.hpp"
#include "sql_util.hpp"
#include "tk_excp.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"
#include "udb_rule.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <type_traits>

namespace {

constexpr char empty_literal[] = "\"\"";

// Backslash escapes for text literals. NUL, CR, LF and Ctrl-Z are escaped too: the stored
// bytes are the same, and the command-line client that replays a dump file reads the file by
// lines, drops a CR standing before a line break, stops a statement at a raw NUL and, on some
// platforms, ends its input at Ctrl-Z.
template <class Char> constexpr int escape_of(Char c) noexcept {
    switch (c) {
    case Char('\\'): return '\\';
    case Char('\''): return '\'';
    case Char(0): return '0';
    case Char('\r'): return 'r';
    case Char('\n'): return 'n';
    case Char(0x1A): return 'Z';
    default: return -1;
    }
}

// Escapes out[from, end) in place: one counting pass, then one backward pass that moves the
// text after the first escape, run by run. No temporary string.
// The counting pass reads every character of every text cell, so it looks each one up in a
// table instead of walking escape_of's cases; only characters below 256 can need an escape.
constexpr std::array<unsigned char, 256> escaped_units = [] {
    std::array<unsigned char, 256> table{};
    for (int c = 0; c < 256; ++c) table[std::size_t(c)] = escape_of(char16_t(c)) >= 0 ? 1 : 0;
    return table;
}();

template <class String> void escape_in_place(String& out, std::size_t from) {
    using Char = typename String::value_type;
    using Unit = std::make_unsigned_t<Char>;
    const auto escaped = [](Char c) { return Unit(c) < 256 && escaped_units[Unit(c)]; };
    const Char* text = out.data();
    std::size_t first = from; // the first character to escape
    while (first < out.size() && !escaped(text[first])) ++first;
    if (first == out.size()) return;
    std::size_t extra = 0;
    for (std::size_t i = first, end = out.size(); i < end; ++i) extra += escaped(text[i]);
    std::size_t src = out.size();
    out.resize(out.size() + extra);
    Char* data = out.data();
    std::size_t dst = out.size();
    // Runs between escapes move as blocks; the text before the first escape stays where it is.
    while (src > first) {
        std::size_t run = src;
        while (!escaped(data[run - 1])) --run;
        dst -= src - run;
        std::memmove(data + dst, data + run, (src - run) * sizeof(Char));
        src = run - 1;
        data[--dst] = Char(escape_of(data[src]));
        data[--dst] = Char('\\');
    }
}

// The escape letter of each byte of a byte-array literal, 0 for a byte written as it is.
constexpr std::array<char, 256> byte_escapes = [] {
    std::array<char, 256> table{};
    table[0x00] = '0';
    table[0x0D] = 'r';
    table[0x0A] = 'n';
    table[0x1A] = 'Z';
    table['\\'] = '\\';
    table['\''] = '\'';
    table['"'] = '"';
    return table;
}();

// The per-byte table of byte-array literals; the bytes between escapes are appended as runs.
void append_escaped_bytes(std::string& out, const std::uint8_t* data, std::size_t size) {
    out.reserve(out.size() + size + 2);
    out += '\'';
    const char* bytes = reinterpret_cast<const char*>(data);
    std::size_t run = 0;
    for (std::size_t i = 0; i < size; ++i) {
        const char e = byte_escapes[data[i]];
        if (e == 0) continue;
        out.append(bytes + run, i - run);
        out += '\\';
        out += e;
        run = i + 1;
    }
    out.append(bytes + run, size - run);
    out += '\'';
}

bool is_digit(char16_t c) noexcept { return c >= u'0' && c <= u'9'; }
bool is_hex_digit(char c) noexcept {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// A numeric literal MySQL reads bare: [sign] digits [. digits] [e [sign] digits], or 0x hex.
// Anything else written bare would be SQL text of the source's making.
bool is_number_literal(std::string_view t) noexcept {
    if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
        for (std::size_t i = 2; i < t.size(); ++i)
            if (!is_hex_digit(t[i])) return false;
        return true;
    }
    std::size_t i = 0;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    std::size_t digits = 0;
    while (i < t.size() && is_digit(char16_t(t[i]))) ++i, ++digits;
    if (i < t.size() && t[i] == '.') {
        ++i;
        while (i < t.size() && is_digit(char16_t(t[i]))) ++i, ++digits;
    }
    if (digits == 0) return false;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
        std::size_t exp_digits = 0;
        while (i < t.size() && is_digit(char16_t(t[i]))) ++i, ++exp_digits;
        if (exp_digits == 0) return false;
    }
    return i == t.size();
}

// The binary rule for text of a BLOB-typed value: recognised literals pass as they are,
// anything else is quoted (and escaped, so that the text cannot end the literal).
void append_binary_text(std::string& out, std::string_view text) {
    tk_trace(1, "GOT BLOB");
    const auto quoted = [&] {
        append_escaped_bytes(out, reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    };
    if (text.size() == 1) return quoted();
    const ole_guid_extractor guid(text);
    if (guid.found()) {
        // The braced form is taken as it stands; only hexadecimal digits may go out bare.
        const std::string hex = guid.hex();
        if (std::all_of(hex.begin(), hex.end(), is_hex_digit)) {
            tk_trace(1, "BLOB IS AN GUID");
            out += "0x";
            out += hex;
            return;
        }
    }
    bool valid = false;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        valid = true;
        for (std::size_t i = 2; i < text.size() && valid; ++i) valid = is_hex_digit(text[i]);
    } else if (text.size() >= 2 && is_digit(char16_t(text[0])) && is_digit(char16_t(text[1]))) {
        valid = true;
        for (std::size_t i = 2; i < text.size() && valid; ++i) valid = is_digit(char16_t(text[i]));
    }
    if (valid) {
        tk_trace(1, "BLOB IS VALID");
        out += text;
        return;
    }
    quoted();
}

// The literal of a NULL or an empty value; false (nothing appended) for any other value.
bool append_null_or_empty(std::string& out, std::uint16_t vt, bool empty) {
    if (vt == VT_EMPTY || vt == VT_NULL) {
        tk_trace(1, "******* NULL VALUE ******");
        out += "NULL";
        return true;
    }
    if (!empty) return false;
    out += empty_literal;
    return true;
}

// Steps of the text literal shared by the narrow function and the cell paths; `text` is the
// narrow text (UTF-8 or the value's own narrow form).
void append_text_literal(std::string& out, std::string_view text, std::uint16_t vt) {
    if (append_null_or_empty(out, vt, text.empty())) return;
    if (ole_type_of(vt).group == ole_type_group::blob) return append_binary_text(out, text);
    std::string printed;
    if (vt == VT_DATE) {
        ole_date date(text);
        printed = date.to_string();
        text = printed;
    }
    bool quote = needs_quotes(vt);
    if (!quote && is_numeric_type(vt) && !is_number_literal(text)) {
        // Text that is no number is quoted, so that the server converts or refuses it instead
        // of reading it as SQL.
        tk_trace(1, "Not a number, quoted");
        quote = true;
    }
    if (quote) out += '\'';
    const std::size_t from = out.size();
    out += text;
    escape_in_place(out, from);
    if (quote) out += '\'';
}

// The wide text literal appended as UTF-8 (the text-column path).
void append_wide_literal(std::string& out, std::u16string_view text, std::uint16_t vt) {
    if (append_null_or_empty(out, vt, text.empty())) return;
    if (ole_is_binary(vt)) {
        tk_trace(1, "Don't process BLOBs here!");
        throw tk_mail_assertion("sql_util", __LINE__);
    }
    const bool quote = needs_quotes(vt);
    if (quote) out += '\'';
    const std::size_t from = out.size();
    if (vt == VT_DATE) {
        ole_date(text).append_to(out);
    } else {
        tk_append_utf8(out, text);
    }
    escape_in_place(out, from);
    if (quote) out += '\'';
}

// The narrow text of a cell. Text is UTF-8, the connection's and the dump file's character
// set, whatever the process locale is.
std::string narrow_form(const udb_field& cell) {
    return cell.vt() == VT_BSTR ? tk_to_utf8(cell.text()) : cell.to_string();
}

void append_cell_literal(std::string& out, const udb_field& cell, std::uint16_t vt) {
    if (vt == VT_DATE && cell.vt() == VT_DATE) {
        // The literal the text path gives (the value printed, read back and printed again:
        // the same text, as the date tests show), printed once.
        out += '\'';
        const std::size_t from = out.size();
        ole_date(cell.get_time()).append_to(out);
        if (out.size() == from) {
            out.resize(from - 1);
            out += empty_literal;
            return;
        }
        out += '\'';
        return;
    }
    if (vt == cell.vt() && cell.append_number(out)) return; // a plain number literal, as the text path writes it
    if (vt == VT_BYTES) {
        tk_trace(1, "special processing for BLOBs");
        const std::uint8_t* data = nullptr;
        const std::size_t size = cell.get_bytes(data);
        append_escaped_bytes(out, data, size);
        return;
    }
    append_text_literal(out, narrow_form(cell), vt);
}

// A TIME column's literal: the time of day alone. Written as a date and time, a TIME value
// would carry whatever date its source filled in, and hour 24 would be no valid datetime.
// False (nothing appended) for a value that is no date or time.
bool append_time_literal(std::string& out, const udb_field& cell) {
    ole_systemtime time;
    if (cell.vt() == VT_DATE) {
        time = cell.get_time();
    } else if (cell.vt() == VT_BSTR && !cell.text().empty()) {
        ole_date parsed(cell.text());
        if (!parsed.is_valid()) return false;
        time = parsed.time();
    } else {
        return false;
    }
    out += '\'';
    ole_date(time).append_time_to(out);
    out += '\'';
    return true;
}

// Digits of a number as a DECIMAL column sees it: the integer digits and the fraction
// digits that are not trailing zeros.
struct decimal_extent {
    int integer_digits = 0;
    int fraction_digits = 0;
};

// 10^0 to 10^38, every power a 128-bit magnitude holds.
constexpr std::array<unsigned __int128, 39> powers_of_ten = [] {
    std::array<unsigned __int128, 39> t{};
    t[0] = 1;
    for (std::size_t i = 1; i < t.size(); ++i) t[i] = t[i - 1] * 10;
    return t;
}();

int digit_count(unsigned __int128 v) noexcept {
    int n = 0;
    for (; v; v /= 10) ++n;
    return n;
}

decimal_extent extent_of(const ole_decimal& d) noexcept {
    unsigned __int128 m = d.magnitude;
    int scale = d.scale;
    while (scale > 0 && m % 10 == 0) m /= 10, --scale;
    return {std::max(digit_count(m) - scale, 0), scale};
}

// The extent of a number literal's text ([sign] digits [. digits] [e [sign] digits]); false
// for anything else.
bool extent_of(std::string_view t, decimal_extent& e) {
    if (!is_number_literal(t) || (t.size() > 1 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X'))) return false;
    std::size_t i = t[0] == '+' || t[0] == '-';
    // Significant digits and the power of ten of the last one.
    long first = -1, last = -1, position = 0, point = -1;
    for (; i < t.size() && (is_digit(char16_t(t[i])) || t[i] == '.'); ++i) {
        if (t[i] == '.') {
            point = position;
            continue;
        }
        if (t[i] != '0') {
            if (first < 0) first = position;
            last = position;
        }
        ++position;
    }
    if (point < 0) point = position;
    long exponent = 0;
    if (i < t.size()) {
        // e[sign]digits; a huge exponent saturates, which is out of range either way.
        ++i;
        const bool negative = t[i] == '-';
        if (t[i] == '+' || t[i] == '-') ++i;
        for (; i < t.size(); ++i) exponent = std::min(exponent * 10 + (t[i] - '0'), 1'000'000L);
        if (negative) exponent = -exponent;
    }
    if (first < 0) {
        e = {};
        return true;
    }
    // Digit k stands for 10^(point - 1 - k + exponent).
    const long high = point - 1 - first + exponent, low = point - 1 - last + exponent;
    e.integer_digits = int(std::clamp(high + 1, 0L, 1'000'000L));
    e.fraction_digits = int(std::clamp(-low, 0L, 1'000'000L));
    return true;
}

[[noreturn]] void refuse_value(const char* what, std::string_view value, const t_ftd& column, unsigned error) {
    std::string message = what;
    if (!value.empty()) message += ": '" + std::string(value.substr(0, 64)) + "'";
    message += " for column '" + tk_to_utf8(column.name) + "'";
    throw sql_exception(message, error);
}

// A DECIMAL(p, s) column holds a value exactly or not at all: a server rounds extra fraction
// digits without a word, and a dump would be stopped on load by a value out of range. Such a
// value is refused here, the same in both modes, as the record's failure. NaN and the
// infinities have no DECIMAL value.
void check_decimal_fits(const udb_field& cell, const t_ftd& column) {
    const int precision = int((column.reserved >> 8) & 0xFF), scale = int(column.reserved & 0xFF);
    if (precision == 0) return; // DOUBLE
    decimal_extent e;
    switch (cell.vt()) {
    case VT_DECIMAL: {
        // The common case, a source DECIMAL of the column's own scale, takes one comparison.
        const ole_decimal& d = cell.decimal();
        const int room = precision - scale + d.scale; // the digits the magnitude may have
        if (d.scale <= scale && room >= 0 && (room >= 39 || d.magnitude < powers_of_ten[std::size_t(room)])) return;
        e = extent_of(d);
        break;
    }
    case VT_R4:
    case VT_R8: {
        const double v = cell.to_double();
        if (!std::isfinite(v)) refuse_value("Incorrect decimal value", cell.to_string(), column, 1366);
        e.integer_digits = v == 0.0 ? 0 : std::max(int(std::floor(std::log10(std::fabs(v)))) + 1, 0);
        break;
    }
    case VT_BSTR: {
        const std::string text = tk_to_utf8(cell.text());
        if (text.empty()) return;
        if (!extent_of(text, e)) refuse_value("Incorrect decimal value", text, column, 1366);
        break;
    }
    default: return; // integers: far inside DECIMAL(65); others are the server's to judge
    }
    if (e.integer_digits > precision - scale || e.fraction_digits > scale)
        refuse_value("Out of range value", cell.vt() == VT_BSTR ? tk_to_utf8(cell.text()) : cell.to_string(), column,
                     1264);
}

// MySQL's dates end with 9999-12-31 and its times at 838:59:59: a later value (DB2's
// 9999-12-31-24.00.00 is the next day) would be refused by a strict server, or stop the load
// of a dump, so its record is refused here.
void check_date_fits(const udb_field& cell, const t_ftd& column) {
    if (cell.vt() != VT_DATE) return;
    const ole_systemtime t = cell.get_time();
    const bool time_only = (column.reserved & 3) == 3 || (t.year == 0 && t.month == 0 && t.day == 0);
    if (time_only ? t.hour > 838 : t.year > 9999) refuse_value("Incorrect datetime value", cell.to_string(), column, 1292);
}

} // namespace

std::string to_mysql_str(std::string_view text, std::uint16_t vt) {
    tk_trace(1, "to_mysql_str(%.*s)", int(text.size() > 200 ? 200 : text.size()), text.data());
    std::string out;
    append_text_literal(out, text, vt);
    return out;
}

std::u16string to_mysql_wstr(std::u16string_view text, std::uint16_t vt) {
    tk_trace(1, "to_mysql_wstr(%d)", int(vt));
    if (vt == VT_EMPTY || vt == VT_NULL) {
        tk_trace(1, "******* NULL VALUE ******");
        return u"NULL";
    }
    if (text.empty()) return u"\"\"";
    if (ole_is_binary(vt)) {
        tk_trace(1, "Don't process BLOBs here!");
        throw tk_mail_assertion("sql_util", __LINE__);
    }
    std::u16string out;
    const bool quote = needs_quotes(vt);
    if (quote) out += u'\'';
    if (vt == VT_DATE) {
        ole_date date(text);
        out += date.to_wstring();
    } else {
        out += text;
    }
    escape_in_place(out, quote ? 1 : 0);
    if (quote) out += u'\'';
    return out;
}

std::string to_mysql_str(const udb_field& cell) {
    std::string out;
    append_cell_literal(out, cell, cell.get_type());
    return out;
}

std::string get_fld_append_str(const udb_field& cell, const t_ftd& column) {
    std::string out;
    append_fld_str(out, cell, column);
    return out;
}

void append_fld_str(std::string& out, const udb_field& cell, const t_ftd& column) {
    if (udb_custom_conversion::is_acceptable2(cell)) {
        tk_append_utf8(out, udb_custom_conversion::handle2(cell));
        return;
    }
    const std::uint16_t cell_vt = cell.get_type();
    const std::size_t from = out.size();
    if (column.vartype == VT_BSTR) {
        if (cell_vt == VT_BSTR) {
            append_wide_literal(out, cell.text(), cell_vt);
        } else {
            append_wide_literal(out, cell.to_wstring(), cell_vt);
        }
        if (!tk_log::skips(1))
            tk_trace(1, "Got BSTR value: %.*s", int(std::min<std::size_t>(out.size() - from, 200)), out.data() + from);
        return;
    }
    if (column.vartype == VT_DATE) check_date_fits(cell, column);
    if (column.vartype == VT_DATE && (column.reserved & 3) == 3 && append_time_literal(out, cell)) return;
    if (column.vartype == VT_DECIMAL) check_decimal_fits(cell, column);
    append_cell_literal(out, cell, cell_vt);
    if (is_numeric_type(column.vartype) && !is_numeric_type(cell_vt)) {
        out.resize(from);
        append_text_literal(out, narrow_form(cell), column.vartype);
        tk_trace(1, "Got field: %s, type=%08X", out.c_str() + from, unsigned(column.vartype));
    }
    const std::string_view literal(out.data() + from, out.size() - from);
    if (cell_vt != VT_EMPTY && cell_vt != VT_NULL && !literal.empty() && literal != empty_literal && literal != "''")
        return;
    // An empty or NULL value: text and binary columns keep the empty value as it is.
    if (column.vartype == VT_BSTR || ole_is_binary(column.vartype)) return;
    if (column.b_not_null) return;
    tk_trace(1, "Put NULL-field");
    out.resize(from);
    out += "NULL";
}

std::u16string make_mysql_def_val(const t_ftd& column) {
    std::u16string text = column.default_value.to_wstring();
    tk_wtrace(1, u"make_mysql_def_val(%d,%s)", int(column.vartype), text.c_str());
    if (text.empty()) {
        tk_trace(1, "Got empty def value");
        return {};
    }
    const ole_type_props& type = ole_type_of(column.vartype);
    switch (type.group) {
    case ole_type_group::integer:
    case ole_type_group::boolean: {
        if (type.width == 8) return {}; // eight-byte integer columns get no DEFAULT clause
        const std::string narrow = tk_to_utf8(text);
        const long value = std::strtol(narrow.c_str(), nullptr, 10);
        if (std::to_string(value) != narrow) return {};
        tk_trace(1, "Int/long default value is correct");
        return text;
    }
    case ole_type_group::floating:
    case ole_type_group::exact: {
        const std::string narrow = tk_to_utf8(text);
        char* end = nullptr;
        const double value = std::strtod(narrow.c_str(), &end);
        if (value != 0.0) {
            // Only a whole number goes into the statement bare.
            return is_number_literal(narrow) ? text : std::u16string();
        }
        for (char16_t c : text)
            if (std::u16string_view(u"0.,+-eE").find(c) == std::u16string_view::npos) return {};
        return text;
    }
    case ole_type_group::date: {
        tk_trace(1, "Got DATE def value");
        ole_date date(text);
        std::u16string printed = date.to_wstring();
        if ((column.reserved & 3) == 3 && !printed.empty()) {
            // A TIME column's default is a time of day, as its values are.
            std::string time;
            date.append_time_to(time);
            printed = tk_ascii_to_wide(time);
        }
        tk_wtrace(1, u"After canonization: %s", printed.c_str());
        if (printed.empty()) return {};
        return u"\"" + printed + u"\"";
    }
    case ole_type_group::text:
        if (column.vartype != VT_BSTR) return {}; // descriptor-only text tags get none
        tk_wtrace(1, u"Got BSTR def value: %s", text.c_str());
        return to_mysql_wstr(text, VT_BSTR);
    default: return {};
    }
}
