#include "fetch.hpp"

#include "text.hpp"

#include <charconv>
#include <cmath>
#include <cstring>
#include <ctime>
#include <limits>

namespace db2s {

std::size_t c_type_size(SQLSMALLINT c_type) {
    switch (c_type) {
    case SQL_C_LONG: case SQL_C_SLONG: case SQL_C_ULONG: return 4;
    case SQL_C_SHORT: case SQL_C_SSHORT: case SQL_C_USHORT: return 2;
    case SQL_C_SBIGINT: case SQL_C_UBIGINT: return 8;
    case SQL_C_TINYINT: case SQL_C_STINYINT: case SQL_C_UTINYINT: case SQL_C_BIT: return 1;
    case SQL_C_FLOAT: return 4;
    case SQL_C_DOUBLE: return 8;
    case SQL_C_TYPE_DATE: return sizeof(DATE_STRUCT);
    case SQL_C_TYPE_TIME: return sizeof(TIME_STRUCT);
    case SQL_C_TYPE_TIMESTAMP: return sizeof(TIMESTAMP_STRUCT);
    case SQL_C_NUMERIC: return sizeof(SQL_NUMERIC_STRUCT);
    case SQL_C_DECIMAL64: return 8;
    case SQL_C_DECIMAL128: return 16;
    case SQL_C_BLOB_LOCATOR: case SQL_C_CLOB_LOCATOR: case SQL_C_DBCLOB_LOCATOR: return 4;
    default: return 0;
    }
}

bool is_known_c_type(SQLSMALLINT c_type) {
    return c_type_size(c_type) != 0 || c_type == SQL_C_CHAR || c_type == SQL_C_WCHAR ||
           c_type == SQL_C_DBCHAR || c_type == SQL_C_BINARY || c_type == SQL_C_DEFAULT;
}

namespace {

SQLSMALLINT default_c_type(const db2_type& t) {
    switch (t.kind) {
    case db2_kind::smallint: return SQL_C_SHORT;
    case db2_kind::integer: return SQL_C_LONG;
    case db2_kind::bigint: return SQL_C_SBIGINT;
    case db2_kind::real: return SQL_C_FLOAT;
    case db2_kind::double_: return SQL_C_DOUBLE;
    case db2_kind::date: return SQL_C_TYPE_DATE;
    case db2_kind::time: return SQL_C_TYPE_TIME;
    case db2_kind::timestamp: return SQL_C_TYPE_TIMESTAMP;
    case db2_kind::boolean: return SQL_C_BIT;
    default:
        if (t.is_binary()) return SQL_C_BINARY;
        if (t.is_graphic()) return SQL_C_DBCHAR;
        return SQL_C_CHAR;
    }
}

[[noreturn]] void invalid_conversion() {
    throw_client("CLI0102E", "Invalid conversion.", "07006");
}

[[noreturn]] void numeric_out_of_range() {
    throw_client("CLI0111E", "Numeric value out of range.", "22003");
}

[[noreturn]] void invalid_character_value() {
    throw_client("CLI0112E", "Error in assignment.", "22018");
}

// The text a character fetch returns for a cell, in UTF-8. `scratch` holds it when it is not
// the cell itself.
std::string_view render_text(const result_column& col, const cursor& cur, int i, int kind,
                             std::string& scratch) {
    switch (kind) {
    case cell_integer: {
        char buf[24];
        const auto r = std::to_chars(buf, buf + sizeof buf, cur.get_int(i));
        scratch.assign(buf, r.ptr);
        return scratch;
    }
    case cell_real:
        if (col.type.kind == db2_kind::real) {
            char buf[32];
            const auto r = std::to_chars(buf, buf + sizeof buf, static_cast<float>(cur.get_real(i)));
            scratch.assign(buf, r.ptr);
        } else {
            scratch = format_double(cur.get_real(i));
        }
        return scratch;
    case cell_blob: {
        static const char* digits = "0123456789ABCDEF";
        const std::string_view b = cur.get_bytes(i);
        scratch.clear();
        scratch.reserve(b.size() * 2);
        for (unsigned char c : b) {
            scratch.push_back(digits[c >> 4]);
            scratch.push_back(digits[c & 15]);
        }
        return scratch;
    }
    default: break;
    }
    const std::string_view text = cur.get_bytes(i);
    if (col.type.kind == db2_kind::time || col.type.kind == db2_kind::timestamp) {
        scratch = client_datetime_text(text, col.type.kind);
        return scratch;
    }
    // A DECIMAL(p,p) value has no room for a leading zero: DB2 writes -.50, not -0.50.
    if (col.type.kind == db2_kind::decimal && col.type.scale == col.type.length) {
        const std::size_t zero = text.size() > 1 && text[0] == '-' ? 1 : 0;
        if (text.size() > zero + 1 && text[zero] == '0' && text[zero + 1] == '.') {
            scratch.assign(text.substr(0, zero));
            scratch.append(text.substr(zero + 1));
            return scratch;
        }
    }
    return text;
}

std::int64_t cell_integer_value(const cursor& cur, int i, int kind, bool& fraction_lost) {
    fraction_lost = false;
    if (kind == cell_integer) return cur.get_int(i);
    if (kind == cell_real) {
        const double d = cur.get_real(i);
        if (!(d > -9.3e18 && d < 9.3e18)) numeric_out_of_range();
        const auto v = static_cast<std::int64_t>(d);
        fraction_lost = static_cast<double>(v) != d;
        return v;
    }
    if (kind == cell_blob) invalid_conversion();
    const std::string_view text = cur.get_bytes(i);
    std::size_t b = 0;
    while (b < text.size() && text[b] == ' ') ++b;
    std::size_t e = text.size();
    while (e > b && text[e - 1] == ' ') --e;
    std::string_view t = text.substr(b, e - b);
    const std::size_t point = t.find('.');
    std::string_view whole = t.substr(0, point);
    if (!whole.empty() && whole[0] == '+') whole.remove_prefix(1);
    std::int64_t v = 0;
    const auto [p, ec] = std::from_chars(whole.data(), whole.data() + whole.size(), v);
    if (ec == std::errc::result_out_of_range) numeric_out_of_range();
    if (ec != std::errc() || p != whole.data() + whole.size()) {
        // "-.5" and ".5" have an empty whole part.
        if (!(whole.empty() || whole == "-") || point == std::string_view::npos) invalid_character_value();
    }
    if (point != std::string_view::npos) {
        for (char c : t.substr(point + 1)) {
            if (c < '0' || c > '9') invalid_character_value();
            if (c != '0') fraction_lost = true;
        }
    }
    return v;
}

double cell_double_value(const cursor& cur, int i, int kind) {
    if (kind == cell_real) return cur.get_real(i);
    if (kind == cell_integer) return static_cast<double>(cur.get_int(i));
    if (kind == cell_blob) invalid_conversion();
    const std::string_view t = cur.get_bytes(i);
    double d = 0;
    const char* b = t.data();
    const auto [p, ec] = std::from_chars(b + (!t.empty() && t[0] == '+'), b + t.size(), d);
    if (ec != std::errc() || p != b + t.size()) invalid_character_value();
    return d;
}

template <typename T>
void store_integer(void* out, std::int64_t v) {
    if (v < static_cast<std::int64_t>(std::numeric_limits<T>::min()) ||
        (v > 0 && static_cast<std::uint64_t>(v) > static_cast<std::uint64_t>(std::numeric_limits<T>::max())))
        numeric_out_of_range();
    const T x = static_cast<T>(v);
    std::memcpy(out, &x, sizeof x);
}

bool parse_cell_datetime(const result_column& col, const cursor& cur, int i, int kind,
                         datetime_parts& p, db2_kind& parsed_as) {
    if (kind != cell_text) invalid_conversion();
    const std::string_view t = cur.get_bytes(i);
    parsed_as = col.type.is_datetime() ? col.type.kind : db2_kind::timestamp;
    if (parse_datetime(t, parsed_as, p)) return true;
    // Character columns may hold any of the three forms.
    for (db2_kind k : {db2_kind::timestamp, db2_kind::date, db2_kind::time}) {
        if (parse_datetime(t, k, p)) {
            parsed_as = k;
            return true;
        }
    }
    throw_client("CLI0113E", "SQLSTATE 22007: An invalid datetime format was detected; that "
                             "is, an invalid string representation or value was specified.",
                 "22007");
}

void today(datetime_parts& p) {
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    p.year = tm.tm_year + 1900;
    p.month = tm.tm_mon + 1;
    p.day = tm.tm_mday;
}

using u128 = unsigned __int128;

bool decimal_digits(std::string_view text, bool& negative, std::string& digits, int& exponent) {
    std::size_t i = 0;
    negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    digits.clear();
    exponent = 0;
    bool point = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            digits.push_back(c);
            if (point) --exponent;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        int e = 0;
        const std::size_t digits_at = i + 1 + (i + 1 < text.size() && text[i + 1] == '+');
        const auto [p, ec] = std::from_chars(text.data() + digits_at, text.data() + text.size(), e);
        if (ec != std::errc() || p != text.data() + text.size()) return false;
        exponent += e;
    } else if (i != text.size()) {
        return false;
    }
    digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size()));
    return true;
}

}  // namespace

bool encode_decimal_bid(std::string_view text, bool wide, unsigned char* out) {
    bool negative = false;
    std::string digits;
    int exponent = 0;
    if (!decimal_digits(text, negative, digits, exponent)) return false;
    const std::size_t max_digits = wide ? 34 : 16;
    // Too many digits: drop trailing ones (DB2 rounds; truncation keeps this simple and exact
    // for every value that fits).
    while (digits.size() > max_digits) {
        digits.pop_back();
        ++exponent;
    }
    u128 coefficient = 0;
    for (char c : digits) coefficient = coefficient * 10 + static_cast<unsigned>(c - '0');
    const int bias = wide ? 6176 : 398;
    const int max_exp = wide ? 12287 : 767;
    int biased = exponent + bias;
    while (biased < 0 && coefficient != 0) {
        coefficient /= 10;
        ++biased;
    }
    if (biased < 0) biased = 0;
    if (biased > max_exp) return false;
    if (!wide) {
        std::uint64_t bits = negative ? (1ULL << 63) : 0;
        const auto c = static_cast<std::uint64_t>(coefficient);
        if (c < (1ULL << 53)) {
            bits |= static_cast<std::uint64_t>(biased) << 53;
            bits |= c;
        } else {
            bits |= 3ULL << 61;
            bits |= static_cast<std::uint64_t>(biased) << 51;
            bits |= c & ((1ULL << 51) - 1);
        }
        std::memcpy(out, &bits, 8);
        return true;
    }
    u128 bits = negative ? (u128{1} << 127) : 0;
    bits |= static_cast<u128>(biased) << 113;
    bits |= coefficient;
    std::memcpy(out, &bits, 16);
    return true;
}

namespace {

struct cell_writer {
    statement& st;
    std::string scratch;
    std::u16string wide_scratch;

    // Writes cell `i` of the current row into one buffer; true when text or binary was cut.
    bool write(const result_column& col, int i, SQLSMALLINT c_type, char* data, SQLLEN capacity,
               SQLLEN* ind) {
        cursor& cur = *st.result->rows;
        const int kind = cur.kind(i);
        if (kind == cell_null) {
            if (!ind) {
                throw_client("CLI0164E", "Indicator variable required but not supplied.", "22002");
            }
            *ind = SQL_NULL_DATA;
            return false;
        }
        if (c_type == SQL_C_DEFAULT) c_type = default_c_type(col.type);
        switch (c_type) {
        case SQL_C_WCHAR:
        case SQL_C_DBCHAR: {
            const std::string_view text = render_text(col, cur, i, kind, scratch);
            const std::size_t units = capacity > 1 ? static_cast<std::size_t>(capacity) / 2 : 0;
            if (units == 0) {
                if (ind) *ind = static_cast<SQLLEN>(utf16_length(text) * 2);
                return !text.empty();
            }
            std::size_t consumed = 0;
            auto* out = reinterpret_cast<char16_t*>(data);
            const std::size_t n = utf8_to_utf16_prefix(text, out, units - 1, consumed);
            out[n] = 0;
            const bool cut = consumed < text.size();
            if (ind) {
                *ind = static_cast<SQLLEN>(
                    (cut ? n + utf16_length(text.substr(consumed)) : n) * 2);
            }
            return cut;
        }
        case SQL_C_CHAR: {
            const std::string_view text = render_text(col, cur, i, kind, scratch);
            if (ind) *ind = static_cast<SQLLEN>(text.size());
            if (capacity <= 0) return !text.empty();
            const std::size_t n = std::min(text.size(), static_cast<std::size_t>(capacity) - 1);
            std::memcpy(data, text.data(), n);
            data[n] = 0;
            return n < text.size();
        }
        case SQL_C_BINARY: {
            std::string_view bytes;
            if (kind == cell_blob || kind == cell_text) {
                bytes = cur.get_bytes(i);
                if (kind == cell_text && col.type.is_graphic()) {
                    wide_scratch.clear();
                    append_utf16(wide_scratch, bytes);
                    bytes = std::string_view(reinterpret_cast<const char*>(wide_scratch.data()),
                                             wide_scratch.size() * 2);
                }
            } else {
                bytes = render_text(col, cur, i, kind, scratch);
            }
            if (ind) *ind = static_cast<SQLLEN>(bytes.size());
            const std::size_t n = std::min(bytes.size(), static_cast<std::size_t>(std::max<SQLLEN>(capacity, 0)));
            if (n) std::memcpy(data, bytes.data(), n);
            return n < bytes.size();
        }
        case SQL_C_BLOB_LOCATOR:
        case SQL_C_CLOB_LOCATOR:
        case SQL_C_DBCLOB_LOCATOR: {
            const bool fits = (c_type == SQL_C_BLOB_LOCATOR && col.type.kind == db2_kind::blob) ||
                              (c_type == SQL_C_CLOB_LOCATOR &&
                               (col.type.kind == db2_kind::clob || col.type.kind == db2_kind::xml)) ||
                              (c_type == SQL_C_DBCLOB_LOCATOR && col.type.kind == db2_kind::dbclob);
            if (!fits) invalid_conversion();
            const SQLINTEGER id = st.conn->locators.add(c_type, cur.get_bytes(i), st.id);
            std::memcpy(data, &id, sizeof id);
            if (ind) *ind = sizeof id;
            return false;
        }
        default: break;
        }
        if (ind) *ind = static_cast<SQLLEN>(c_type_size(c_type));
        bool fraction_lost = false;
        switch (c_type) {
        case SQL_C_LONG: case SQL_C_SLONG:
            store_integer<std::int32_t>(data, cell_integer_value(cur, i, kind, fraction_lost)); break;
        case SQL_C_ULONG:
            store_integer<std::uint32_t>(data, cell_integer_value(cur, i, kind, fraction_lost)); break;
        case SQL_C_SHORT: case SQL_C_SSHORT:
            store_integer<std::int16_t>(data, cell_integer_value(cur, i, kind, fraction_lost)); break;
        case SQL_C_USHORT:
            store_integer<std::uint16_t>(data, cell_integer_value(cur, i, kind, fraction_lost)); break;
        case SQL_C_SBIGINT:
            store_integer<std::int64_t>(data, cell_integer_value(cur, i, kind, fraction_lost)); break;
        case SQL_C_UBIGINT:
            store_integer<std::uint64_t>(data, cell_integer_value(cur, i, kind, fraction_lost)); break;
        case SQL_C_TINYINT: case SQL_C_STINYINT:
            store_integer<std::int8_t>(data, cell_integer_value(cur, i, kind, fraction_lost)); break;
        case SQL_C_UTINYINT: case SQL_C_BIT:
            store_integer<std::uint8_t>(data, cell_integer_value(cur, i, kind, fraction_lost)); break;
        case SQL_C_DOUBLE: {
            const double d = cell_double_value(cur, i, kind);
            std::memcpy(data, &d, sizeof d);
            break;
        }
        case SQL_C_FLOAT: {
            const double d = cell_double_value(cur, i, kind);
            if (std::isfinite(d) && std::fabs(d) > std::numeric_limits<float>::max()) numeric_out_of_range();
            const float f = static_cast<float>(d);
            std::memcpy(data, &f, sizeof f);
            break;
        }
        case SQL_C_TYPE_DATE:
        case SQL_C_TYPE_TIME:
        case SQL_C_TYPE_TIMESTAMP: {
            datetime_parts p;
            db2_kind parsed_as;
            parse_cell_datetime(col, cur, i, kind, p, parsed_as);
            if (parsed_as == db2_kind::time && c_type == SQL_C_TYPE_TIMESTAMP) today(p);
            if (parsed_as == db2_kind::date && c_type == SQL_C_TYPE_TIME) invalid_conversion();
            if (c_type == SQL_C_TYPE_DATE) {
                const DATE_STRUCT d{static_cast<SQLSMALLINT>(p.year), static_cast<SQLUSMALLINT>(p.month),
                                    static_cast<SQLUSMALLINT>(p.day)};
                std::memcpy(data, &d, sizeof d);
            } else if (c_type == SQL_C_TYPE_TIME) {
                const TIME_STRUCT t{static_cast<SQLUSMALLINT>(p.hour), static_cast<SQLUSMALLINT>(p.minute),
                                    static_cast<SQLUSMALLINT>(p.second)};
                std::memcpy(data, &t, sizeof t);
            } else {
                const TIMESTAMP_STRUCT ts{static_cast<SQLSMALLINT>(p.year), static_cast<SQLUSMALLINT>(p.month),
                                          static_cast<SQLUSMALLINT>(p.day), static_cast<SQLUSMALLINT>(p.hour),
                                          static_cast<SQLUSMALLINT>(p.minute), static_cast<SQLUSMALLINT>(p.second),
                                          p.fraction};
                std::memcpy(data, &ts, sizeof ts);
            }
            break;
        }
        case SQL_C_DECIMAL64:
        case SQL_C_DECIMAL128: {
            const std::string_view text = render_text(col, cur, i, kind, scratch);
            if (kind == cell_blob || !encode_decimal_bid(text, c_type == SQL_C_DECIMAL128,
                                                         reinterpret_cast<unsigned char*>(data)))
                invalid_conversion();
            break;
        }
        case SQL_C_NUMERIC: {
            const std::string_view text = render_text(col, cur, i, kind, scratch);
            bool negative = false;
            std::string digits;
            int exponent = 0;
            if (kind == cell_blob || !decimal_digits(text, negative, digits, exponent)) invalid_character_value();
            SQL_NUMERIC_STRUCT n{};
            // Scale follows the column; the value is rescaled to it.
            const int scale = col.type.kind == db2_kind::decimal ? col.type.scale : std::max(0, -exponent);
            while (-exponent < scale) { digits.push_back('0'); --exponent; }
            while (-exponent > scale && !digits.empty()) { digits.pop_back(); ++exponent; }
            if (digits.size() > 38) numeric_out_of_range();
            u128 v = 0;
            for (char c : digits) v = v * 10 + static_cast<unsigned>(c - '0');
            n.precision = static_cast<SQLCHAR>(col.type.kind == db2_kind::decimal ? col.type.length : 38);
            n.scale = static_cast<signed char>(scale);
            n.sign = negative ? 0 : 1;
            for (int b = 0; b < SQL_MAX_NUMERIC_LEN; ++b) {
                n.val[b] = static_cast<SQLCHAR>(v & 0xFF);
                v >>= 8;
            }
            std::memcpy(data, &n, sizeof n);
            break;
        }
        default:
            throw_client("CLI0122E", "Program type out of range.", "HY003");
        }
        (void)fraction_lost;  // DB2 truncates fractions silently for integer targets
        return false;
    }
};

}  // namespace

SQLRETURN fetch_rowset(statement& st) {
    if (!st.has_cursor()) throw_client("CLI0115E", "Invalid cursor state.", "24000");
    st.need_data.reset();
    // Locators of the previous rowset go, so reading a large table keeps memory flat.
    st.conn->locators.free_owned_by(st.id);
    cursor& cur = *st.result->rows;
    const auto& cols = st.result->columns;
    const SQLULEN rows = st.row_array_size == 0 ? 1 : st.row_array_size;
    // Only bound columns that exist in the result take part.
    struct bound {
        int index;
        const binding* b;
        std::size_t stride;
        SQLSMALLINT c_type;
    };
    std::vector<bound> active;
    for (std::size_t c = 1; c < st.columns.size() && c <= cols.size(); ++c) {
        const binding& b = st.columns[c];
        if (!b.target && !b.indicator) continue;
        std::size_t stride = c_type_size(b.c_type);
        if (b.c_type == SQL_C_DEFAULT) {
            stride = c_type_size(default_c_type(cols[c - 1].type));
        }
        if (stride == 0) stride = static_cast<std::size_t>(std::max<SQLLEN>(b.buffer_length, 0));
        if (st.row_bind_type != SQL_BIND_BY_COLUMN) stride = st.row_bind_type;
        active.push_back({static_cast<int>(c - 1), &b, stride, b.c_type});
    }
    cell_writer writer{st, {}, {}};
    bool truncated = false;
    SQLULEN fetched = 0;
    for (; fetched < rows; ++fetched) {
        if (!cur.next()) break;
        bool row_cut = false;
        for (const auto& a : active) {
            char* data = a.b->target ? static_cast<char*>(a.b->target) + fetched * a.stride : nullptr;
            SQLLEN* ind = nullptr;
            if (a.b->indicator) {
                ind = st.row_bind_type == SQL_BIND_BY_COLUMN
                          ? a.b->indicator + fetched
                          : reinterpret_cast<SQLLEN*>(reinterpret_cast<char*>(a.b->indicator) +
                                                      fetched * st.row_bind_type);
            }
            if (!data) {
                // Only the length is wanted.
                if (ind) {
                    *ind = cur.kind(a.index) == cell_null ? SQL_NULL_DATA
                                                          : static_cast<SQLLEN>(cur.get_bytes(a.index).size());
                }
                continue;
            }
            row_cut |= writer.write(cols[static_cast<std::size_t>(a.index)], a.index, a.c_type,
                                    data, a.b->buffer_length, ind);
        }
        if (st.row_status) st.row_status[fetched] = row_cut ? SQL_ROW_SUCCESS_WITH_INFO : SQL_ROW_SUCCESS;
        truncated |= row_cut;
    }
    if (st.rows_fetched) *st.rows_fetched = fetched;
    if (st.row_status) {
        for (SQLULEN r = fetched; r < rows; ++r) st.row_status[r] = SQL_ROW_NOROW;
    }
    st.row_available = fetched > 0;
    st.get_data_offset.assign(cols.size() + 1, 0);
    if (fetched == 0) return SQL_NO_DATA;
    if (truncated) {
        st.diag.add(client_diag("CLI0002W", "Data truncated.", "01004"));
        return SQL_SUCCESS_WITH_INFO;
    }
    return SQL_SUCCESS;
}

SQLRETURN get_data(statement& st, SQLUSMALLINT column, SQLSMALLINT c_type, SQLPOINTER target,
                   SQLLEN buffer_length, SQLLEN* indicator) {
    if (!st.has_cursor() || !st.row_available) {
        throw_client("CLI0115E", "Invalid cursor state.", "24000");
    }
    const auto& cols = st.result->columns;
    if (column < 1 || column > cols.size()) {
        throw_client("CLI0145E", "Invalid descriptor index.", "07009");
    }
    const result_column& col = cols[column - 1];
    const int i = column - 1;
    cursor& cur = *st.result->rows;
    if (c_type == SQL_C_DEFAULT) c_type = default_c_type(col.type);
    const bool piecewise = c_type == SQL_C_CHAR || c_type == SQL_C_WCHAR ||
                           c_type == SQL_C_DBCHAR || c_type == SQL_C_BINARY;
    std::size_t& offset = st.get_data_offset[column];
    if (!piecewise || cur.kind(i) == cell_null) {
        if (offset > 0) return SQL_NO_DATA;
        cell_writer writer{st, {}, {}};
        writer.write(col, i, c_type, static_cast<char*>(target), buffer_length, indicator);
        offset = 1;
        return SQL_SUCCESS;
    }
    // Text and binary may come in pieces: build the whole value in the target's encoding and
    // hand out the part after what earlier calls returned.
    std::string scratch;
    std::string whole;
    const int kind = cur.kind(i);
    if (c_type == SQL_C_BINARY) {
        whole = std::string(kind == cell_blob || kind == cell_text ? cur.get_bytes(i)
                                                                   : render_text(col, cur, i, kind, scratch));
        if (kind == cell_text && col.type.is_graphic()) {
            const std::u16string u = to_utf16(whole);
            whole.assign(reinterpret_cast<const char*>(u.data()), u.size() * 2);
        }
    } else if (c_type == SQL_C_CHAR) {
        whole = std::string(render_text(col, cur, i, kind, scratch));
    } else {
        const std::u16string u = to_utf16(render_text(col, cur, i, kind, scratch));
        whole.assign(reinterpret_cast<const char*>(u.data()), u.size() * 2);
    }
    if (offset > 0 && offset >= whole.size()) return SQL_NO_DATA;
    const std::size_t unit = c_type == SQL_C_CHAR ? 1 : c_type == SQL_C_BINARY ? 1 : 2;
    const std::size_t terminator = c_type == SQL_C_BINARY ? 0 : unit;
    const std::size_t remaining = whole.size() - offset;
    if (indicator) *indicator = static_cast<SQLLEN>(remaining);
    std::size_t room = buffer_length > 0 ? static_cast<std::size_t>(buffer_length) : 0;
    room = room >= terminator ? (room - terminator) / unit * unit : 0;
    const std::size_t n = std::min(remaining, room);
    if (target && buffer_length > 0) {
        std::memcpy(target, whole.data() + offset, n);
        std::memset(static_cast<char*>(target) + n, 0, std::min<std::size_t>(terminator, static_cast<std::size_t>(buffer_length) - n));
    }
    offset += n;
    if (n < remaining) {
        st.diag.add(client_diag("CLI0002W", "Data truncated.", "01004"));
        return SQL_SUCCESS_WITH_INFO;
    }
    if (offset == 0) offset = 1;  // an empty value is delivered once
    return SQL_SUCCESS;
}

}  // namespace db2s
