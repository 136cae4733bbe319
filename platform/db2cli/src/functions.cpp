#include "functions.hpp"

#include "diagnostics.hpp"
#include "sql_parser.hpp"
#include "text.hpp"

#include <sqlite3.h>

#include <charconv>
#include <cstring>

namespace db2s {

namespace {

// A DB2 error raised inside a function: the SQLCODE, state and text joined by this marker,
// which no SQLite message starts with.
constexpr char marker = '\x1f';

void result_db2_error(sqlite3_context* ctx, const diag_record& r) {
    std::string msg(1, marker);
    msg += std::to_string(r.native) + marker + r.sqlstate + marker + r.message;
    sqlite3_result_error(ctx, msg.c_str(), static_cast<int>(msg.size()));
}

void result_db2_error(sqlite3_context* ctx, int sqlcode, std::string_view state,
                      std::string_view text) {
    result_db2_error(ctx, server_diag(sqlcode, text, state));
}

void result_db2_error(sqlite3_context* ctx, const db2_error& e) { result_db2_error(ctx, e.record()); }

void invalid_argument(sqlite3_context* ctx, std::string_view routine) {
    result_db2_error(ctx, -171,
                     "42815",
                     "The statement was not processed because the data type, length or value "
                     "of the argument for the parameter in position \"1\" of routine \"" +
                         std::string(routine) + "\" is incorrect.");
}

std::string_view text_arg(sqlite3_value* v) {
    const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(v));
    return p ? std::string_view(p, static_cast<std::size_t>(sqlite3_value_bytes(v))) : std::string_view();
}

void result_text(sqlite3_context* ctx, const std::string& s) {
    sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

// Days since 1970-01-01 of a civil date and back (proleptic Gregorian calendar).
std::int64_t days_from_civil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void civil_from_days(std::int64_t z, datetime_parts& p) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    p.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    p.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    p.year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (p.month <= 2));
}

int days_in_month(int year, int month) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

// Which of the three kinds a stored or written value is, and its parts.
bool parse_any(std::string_view text, datetime_parts& p, db2_kind& kind) {
    for (db2_kind k : {db2_kind::timestamp, db2_kind::date, db2_kind::time}) {
        if (text.size() > 10 && k == db2_kind::date) continue;
        if (parse_datetime(text, k, p)) {
            kind = k;
            // A bare date parses as a timestamp too; keep it a date.
            if (k == db2_kind::timestamp && text.size() <= 10) kind = db2_kind::date;
            return true;
        }
    }
    return false;
}

int fraction_digits_of(std::string_view text) {
    if (text.size() <= 19) return 0;
    const auto dot = text.find_first_of(".,", 19);
    return dot == std::string_view::npos ? 0 : static_cast<int>(text.size() - dot - 1);
}

// --- collations -------------------------------------------------------------------------------

bool canonical(std::string_view s, db2_kind kind) {
    switch (kind) {
    case db2_kind::date: return s.size() == 10 && s[4] == '-' && s[7] == '-';
    case db2_kind::time: return s.size() == 8 && s[2] == '.' && s[5] == '.';
    default:
        return s.size() >= 19 && s[4] == '-' && s[10] == '-' && s[13] == '.' && s[16] == '.' &&
               (s.size() == 19 || s[19] == '.');
    }
}

std::string comparison_key(std::string_view s, db2_kind kind) {
    datetime_parts p;
    if (!parse_datetime(s, kind, p)) return std::string(s);
    return format_datetime(p, kind, 12);
}

// Stored values are in one canonical form, compared as text with missing fraction digits
// read as zeros; anything else (a literal in another form) is brought to that form first.
int compare_datetime(void* kind_ptr, int n1, const void* a, int n2, const void* b) {
    const auto kind = static_cast<db2_kind>(reinterpret_cast<std::intptr_t>(kind_ptr));
    std::string_view x(static_cast<const char*>(a), static_cast<std::size_t>(n1));
    std::string_view y(static_cast<const char*>(b), static_cast<std::size_t>(n2));
    std::string kx, ky;
    if (!canonical(x, kind)) x = kx = comparison_key(x, kind);
    if (!canonical(y, kind)) y = ky = comparison_key(y, kind);
    const std::size_t common = std::min(x.size(), y.size());
    if (const int c = std::memcmp(x.data(), y.data(), common); c != 0) return c;
    const std::string_view rest = x.size() > common ? x.substr(common) : y.substr(common);
    const bool zeros = rest.find_first_not_of(".0") == std::string_view::npos;
    if (zeros) return 0;
    return x.size() > common ? 1 : -1;
}

// Decimal texts (as stored: sign, digits, point) compare by value; anything else by bytes,
// after every number.
struct decimal_view {
    bool negative = false;
    std::string_view whole, fraction;  // without leading / trailing zeros
};

bool read_decimal(std::string_view s, decimal_view& d) {
    std::size_t i = 0;
    while (i < s.size() && s[i] == ' ') ++i;
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) d.negative = s[i++] == '-';
    const std::size_t w = i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
    d.whole = s.substr(w, i - w);
    if (i < s.size() && s[i] == '.') {
        const std::size_t f = ++i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
        d.fraction = s.substr(f, i - f);
    }
    while (i < s.size() && s[i] == ' ') ++i;
    if (i != s.size() || (d.whole.empty() && d.fraction.empty())) return false;
    while (!d.whole.empty() && d.whole.front() == '0') d.whole.remove_prefix(1);
    while (!d.fraction.empty() && d.fraction.back() == '0') d.fraction.remove_suffix(1);
    if (d.whole.empty() && d.fraction.empty()) d.negative = false;  // -0 is 0
    return true;
}

int compare_magnitude(const decimal_view& x, const decimal_view& y) {
    if (x.whole.size() != y.whole.size()) return x.whole.size() < y.whole.size() ? -1 : 1;
    if (const int c = x.whole.compare(y.whole); c != 0) return c < 0 ? -1 : 1;
    const int c = x.fraction.compare(y.fraction);
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

int compare_decimal(void*, int n1, const void* a, int n2, const void* b) {
    const std::string_view x(static_cast<const char*>(a), static_cast<std::size_t>(n1));
    const std::string_view y(static_cast<const char*>(b), static_cast<std::size_t>(n2));
    decimal_view dx, dy;
    const bool nx = read_decimal(x, dx), ny = read_decimal(y, dy);
    if (nx != ny) return nx ? -1 : 1;
    if (!nx) {
        const int c = x.compare(y);
        return c < 0 ? -1 : c > 0 ? 1 : 0;
    }
    if (dx.negative != dy.negative) return dx.negative ? -1 : 1;
    const int m = compare_magnitude(dx, dy);
    return dx.negative ? -m : m;
}

// Values of a date expression, whose kind the collation is not told: each is taken for the
// kind its text has.
int compare_any_datetime(void*, int n1, const void* a, int n2, const void* b) {
    auto kind_of = [](const void* p, int n) {
        datetime_parts parts;
        db2_kind kind = db2_kind::timestamp;
        if (!parse_any(std::string_view(static_cast<const char*>(p), static_cast<std::size_t>(n)), parts, kind))
            kind = db2_kind::timestamp;
        return kind;
    };
    db2_kind kind = kind_of(a, n1);
    if (kind != kind_of(b, n2)) kind = db2_kind::timestamp;
    return compare_datetime(reinterpret_cast<void*>(static_cast<std::intptr_t>(kind)), n1, a, n2, b);
}

// --- functions --------------------------------------------------------------------------------

// YEAR, MONTH, DAY, HOUR, MINUTE, SECOND, MICROSECOND of any datetime value.
void fn_part(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
    const auto which = reinterpret_cast<std::intptr_t>(sqlite3_user_data(ctx));
    static const char* names[] = {"YEAR", "MONTH", "DAY", "HOUR", "MINUTE", "SECOND", "MICROSECOND"};
    datetime_parts p;
    db2_kind kind;
    if (!parse_any(text_arg(argv[0]), p, kind) || (which < 3 && kind == db2_kind::time) ||
        (which >= 3 && kind == db2_kind::date))
        return invalid_argument(ctx, names[which]);
    const int parts[] = {p.year, p.month, p.day, p.hour, p.minute, p.second,
                         static_cast<int>(p.fraction / 1000)};
    sqlite3_result_int(ctx, parts[which]);
}

// DATE, TIME and TIMESTAMP of a value: the matching part in stored form.
void fn_convert(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
    const auto target = static_cast<db2_kind>(reinterpret_cast<std::intptr_t>(sqlite3_user_data(ctx)));
    const char* name = target == db2_kind::date ? "DATE" : target == db2_kind::time ? "TIME" : "TIMESTAMP";
    datetime_parts p;
    db2_kind kind;
    if (target == db2_kind::date && sqlite3_value_type(argv[0]) == SQLITE_INTEGER) {
        // DATE(n): the n-th day counted from 0001-01-01 as day 1.
        const std::int64_t n = sqlite3_value_int64(argv[0]);
        if (n < 1 || n > 3652059) return invalid_argument(ctx, name);
        civil_from_days(n - 1 + days_from_civil(1, 1, 1), p);
        return result_text(ctx, format_datetime(p, db2_kind::date, 0));
    }
    const std::string_view text = text_arg(argv[0]);
    if (!parse_any(text, p, kind) || (kind == db2_kind::time && target != db2_kind::time) ||
        (kind == db2_kind::date && target == db2_kind::time))
        return invalid_argument(ctx, name);
    const int digits = kind == db2_kind::timestamp ? std::max(6, fraction_digits_of(text)) : 6;
    result_text(ctx, format_datetime(p, target, digits));
}

// DAYS(x): 1 for 0001-01-01.
void fn_days(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
    datetime_parts p;
    db2_kind kind;
    if (!parse_any(text_arg(argv[0]), p, kind) || kind == db2_kind::time)
        return invalid_argument(ctx, "DAYS");
    sqlite3_result_int64(ctx, days_from_civil(p.year, static_cast<unsigned>(p.month),
                                              static_cast<unsigned>(p.day)) -
                                  days_from_civil(1, 1, 1) + 1);
}

// x + n UNITS, written by the query translation as DB2_ADD_DURATION(x, n, 'UNITS').
void fn_add_duration(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL)
        return sqlite3_result_null(ctx);
    std::string out;
    if (!add_duration(text_arg(argv[0]), sqlite3_value_int64(argv[1]), text_arg(argv[2]), out)) {
        return result_db2_error(ctx, -182, "42816",
                                "An expression with a datetime value or a labeled duration is "
                                "not valid.");
    }
    result_text(ctx, out);
}

// DB2_TIMESTAMPDIFF(interval, end, start), written by the query translation for DB2's
// TIMESTAMPDIFF(interval, CHAR(end - start)): the estimate DB2 makes from the duration, with
// months of 30 days and years of 365.
void fn_timestampdiff(sqlite3_context* ctx, int, sqlite3_value** argv) {
    for (int i = 0; i < 3; ++i) {
        if (sqlite3_value_type(argv[i]) == SQLITE_NULL) return sqlite3_result_null(ctx);
    }
    datetime_parts a, b;
    db2_kind ka, kb;
    if (!parse_any(text_arg(argv[1]), b, kb) || !parse_any(text_arg(argv[2]), a, ka) ||
        ka == db2_kind::time || kb == db2_kind::time)
        return invalid_argument(ctx, "TIMESTAMPDIFF");
    auto micros = [](const datetime_parts& p) {
        const std::int64_t days = days_from_civil(p.year, static_cast<unsigned>(p.month),
                                                  static_cast<unsigned>(p.day));
        return ((days * 24 + p.hour) * 60 + p.minute) * 60'000'000LL + p.second * 1'000'000LL +
               p.fraction / 1000;
    };
    // The duration yyyymmddhhmmss.zzzzzz of end - start, as DB2 subtracts timestamps.
    const bool negative = micros(b) < micros(a);
    const datetime_parts& hi = negative ? a : b;
    const datetime_parts& lo = negative ? b : a;
    std::int64_t us = static_cast<std::int64_t>(hi.fraction / 1000) - lo.fraction / 1000;
    std::int64_t sec = hi.second - lo.second, min = hi.minute - lo.minute, hr = hi.hour - lo.hour;
    std::int64_t day = hi.day - lo.day, mon = hi.month - lo.month, yr = hi.year - lo.year;
    if (us < 0) { us += 1'000'000; --sec; }
    if (sec < 0) { sec += 60; --min; }
    if (min < 0) { min += 60; --hr; }
    if (hr < 0) { hr += 24; --day; }
    if (day < 0) {
        const int before = lo.month;
        day += days_in_month(lo.year, before);
        --mon;
    }
    if (mon < 0) { mon += 12; --yr; }
    const std::int64_t total_days = yr * 365 + mon * 30 + day;
    std::int64_t r = 0;
    switch (sqlite3_value_int(argv[0])) {
    case 1: r = ((total_days * 24 + hr) * 60 + min) * 60'000'000LL + sec * 1'000'000LL + us; break;
    case 2: r = ((total_days * 24 + hr) * 60 + min) * 60 + sec; break;
    case 4: r = (total_days * 24 + hr) * 60 + min; break;
    case 8: r = total_days * 24 + hr; break;
    case 16: r = total_days; break;
    case 32: r = total_days / 7; break;
    case 64: r = yr * 12 + mon; break;
    case 128: r = (yr * 12 + mon) / 3; break;
    case 256: r = yr; break;
    default: return invalid_argument(ctx, "TIMESTAMPDIFF");
    }
    sqlite3_result_int64(ctx, negative ? -r : r);
}

void fn_chr(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
    const std::int64_t n = sqlite3_value_int64(argv[0]);
    if (n < 0 || n > 255) return invalid_argument(ctx, "CHR");
    // The character of that code point in the database's code set (UTF-8).
    std::string out;
    if (n < 0x80) out.push_back(static_cast<char>(n));
    else {
        out.push_back(static_cast<char>(0xC0 | (n >> 6)));
        out.push_back(static_cast<char>(0x80 | (n & 0x3F)));
    }
    result_text(ctx, out);
}

void fn_repeat(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL)
        return sqlite3_result_null(ctx);
    const std::string_view s = text_arg(argv[0]);
    const std::int64_t n = sqlite3_value_int64(argv[1]);
    if (n < 0) return invalid_argument(ctx, "REPEAT");
    if (static_cast<std::uint64_t>(n) * s.size() > 32672) {
        return result_db2_error(ctx, -137, "54006",
                                "The length resulting from \"REPEAT\" is greater than \"32672\".");
    }
    std::string out;
    out.reserve(static_cast<std::size_t>(n) * s.size());
    for (std::int64_t i = 0; i < n; ++i) out.append(s);
    result_text(ctx, out);
}

// LENGTH counts bytes of character data, as in a UTF-8 DB2 database.
void fn_length(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const int type = sqlite3_value_type(argv[0]);
    if (type == SQLITE_NULL) return sqlite3_result_null(ctx);
    if (type == SQLITE_BLOB) sqlite3_result_int(ctx, sqlite3_value_bytes(argv[0]));
    else {
        sqlite3_value_text(argv[0]);
        sqlite3_result_int(ctx, sqlite3_value_bytes(argv[0]));
    }
}

// The right operand of '/', checked: SQLite answers NULL where DB2 fails.
void fn_divisor(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const int type = sqlite3_value_type(argv[0]);
    if (type != SQLITE_NULL && sqlite3_value_double(argv[0]) == 0.0 &&
        (type != SQLITE_TEXT || sqlite3_value_numeric_type(argv[0]) != SQLITE_TEXT)) {
        return result_db2_error(ctx, -801, "22012", "Division by zero was attempted.");
    }
    sqlite3_result_value(ctx, argv[0]);
}

// CAST(x AS type), written by the query translation as DB2_CAST(x, 'type').
void fn_cast(sqlite3_context* ctx, int, sqlite3_value** argv) {
    value v;
    switch (sqlite3_value_type(argv[0])) {
    case SQLITE_NULL: return sqlite3_result_null(ctx);
    case SQLITE_INTEGER: v = value::make_int(sqlite3_value_int64(argv[0])); break;
    case SQLITE_FLOAT: v = value::make_real(sqlite3_value_double(argv[0])); break;
    case SQLITE_BLOB: {
        const auto* p = static_cast<const char*>(sqlite3_value_blob(argv[0]));
        v = value::make_blob(std::string(p ? p : "", static_cast<std::size_t>(sqlite3_value_bytes(argv[0]))));
        break;
    }
    default: v = value::make_text(std::string(text_arg(argv[0]))); break;
    }
    try {
        const db2_type type = parse_type(text_arg(argv[1]));
        // A cast to a shorter string cuts it (DB2 warns); assignments to columns fail instead.
        if ((type.kind == db2_kind::varchar || type.kind == db2_kind::char_) && v.kind == value::text &&
            static_cast<std::int64_t>(v.s.size()) > type.length) {
            v.s.resize(static_cast<std::size_t>(type.length));
        }
        const value out = coerce(v, type, "CAST");
        switch (out.kind) {
        case value::null: sqlite3_result_null(ctx); break;
        case value::integer: sqlite3_result_int64(ctx, out.i); break;
        case value::real: sqlite3_result_double(ctx, out.d); break;
        case value::blob:
            sqlite3_result_blob(ctx, out.s.data(), static_cast<int>(out.s.size()), SQLITE_TRANSIENT);
            break;
        default: result_text(ctx, out.s); break;
        }
    } catch (const db2_error& e) {
        result_db2_error(ctx, e);
    }
}

}  // namespace

bool add_duration(std::string_view text, std::int64_t amount, std::string_view unit_text,
                  std::string& out) {
    datetime_parts p;
    db2_kind kind;
    if (!parse_any(text, p, kind)) return false;
    std::string unit = ascii_upper(unit_text);
    if (unit.size() > 1 && unit.back() == 'S') unit.pop_back();
    const bool date_unit = unit == "YEAR" || unit == "MONTH" || unit == "DAY";
    const bool time_unit = unit == "HOUR" || unit == "MINUTE" || unit == "SECOND" || unit == "MICROSECOND";
    if ((!date_unit && !time_unit) || (kind == db2_kind::date && time_unit) ||
        (kind == db2_kind::time && (date_unit || unit == "MICROSECOND")))
        return false;
    if (unit == "YEAR" || unit == "MONTH") {
        // The day of month is kept, or becomes the last day of a shorter month.
        std::int64_t months = static_cast<std::int64_t>(p.year) * 12 + (p.month - 1) +
                              (unit == "YEAR" ? amount * 12 : amount);
        if (months < 12 || months >= 12 * 10000) return false;
        p.year = static_cast<int>(months / 12);
        p.month = static_cast<int>(months % 12) + 1;
        p.day = std::min(p.day, days_in_month(p.year, p.month));
    } else {
        const std::int64_t per_unit = unit == "DAY" ? 86'400'000'000LL
                                      : unit == "HOUR" ? 3'600'000'000LL
                                      : unit == "MINUTE" ? 60'000'000LL
                                      : unit == "SECOND" ? 1'000'000LL : 1;
        // Far beyond any valid result, and small enough that the sums below cannot overflow.
        if (amount > 2'000'000'000LL || amount < -2'000'000'000LL) return false;
        const std::int64_t day_us = 86'400'000'000LL;
        std::int64_t days = kind == db2_kind::time ? 0 : days_from_civil(p.year, static_cast<unsigned>(p.month),
                                                                         static_cast<unsigned>(p.day));
        std::int64_t us = ((p.hour * 60LL + p.minute) * 60 + p.second) * 1'000'000LL + p.fraction / 1000;
        if (unit == "DAY") days += amount;
        else us += amount * per_unit;
        days += us / day_us;
        us %= day_us;
        if (us < 0) { us += day_us; --days; }
        if (kind == db2_kind::time) days = 0;  // times wrap around midnight
        const std::uint32_t sub_us = p.fraction % 1000;
        p.fraction = static_cast<std::uint32_t>(us % 1'000'000) * 1000 + sub_us;
        us /= 1'000'000;
        p.second = static_cast<int>(us % 60);
        p.minute = static_cast<int>(us / 60 % 60);
        p.hour = static_cast<int>(us / 3600);
        if (kind != db2_kind::time) {
            civil_from_days(days, p);
            if (p.year < 1 || p.year > 9999) return false;
        }
    }
    out = format_datetime(p, kind, std::max(6, fraction_digits_of(text)));
    return true;
}

std::optional<db2_type> stored_datetime_type(std::string_view text) {
    datetime_parts p;
    for (db2_kind kind : {db2_kind::date, db2_kind::time, db2_kind::timestamp}) {
        if (canonical(text, kind) && parse_datetime(text, kind, p)) {
            const int digits = kind == db2_kind::timestamp ? fraction_digits_of(text) : 0;
            return db2_type{kind, digits, 0};
        }
    }
    return std::nullopt;
}

std::string_view storage_declaration(const db2_type& type) {
    switch (type.kind) {
    case db2_kind::date: return "TEXT COLLATE DB2DATE";
    case db2_kind::time: return "TEXT COLLATE DB2TIME";
    case db2_kind::timestamp: return "TEXT COLLATE DB2TIMESTAMP";
    case db2_kind::decimal: return "TEXT COLLATE DB2DECIMAL";
    case db2_kind::char_: case db2_kind::varchar: case db2_kind::long_varchar:
    case db2_kind::graphic: case db2_kind::vargraphic: case db2_kind::long_vargraphic:
        return "TEXT COLLATE RTRIM";
    case db2_kind::smallint: case db2_kind::integer: case db2_kind::bigint: case db2_kind::boolean:
        return "INTEGER";
    case db2_kind::real: case db2_kind::double_: return "REAL";
    default: return {};
    }
}

void rethrow_function_error(std::string_view msg) {
    if (msg.empty() || msg[0] != marker) return;
    const auto a = msg.find(marker, 1);
    const auto b = a == std::string_view::npos ? a : msg.find(marker, a + 1);
    if (b == std::string_view::npos) return;
    diag_record r;
    std::from_chars(msg.data() + 1, msg.data() + a, r.native);
    r.sqlstate = std::string(msg.substr(a + 1, b - a - 1));
    r.message = std::string(msg.substr(b + 1));
    throw db2_error(std::move(r));
}

void register_db2_functions(sqlite3* db) {
    const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
    const std::pair<const char*, db2_kind> collations[] = {
        {"DB2DATE", db2_kind::date}, {"DB2TIME", db2_kind::time}, {"DB2TIMESTAMP", db2_kind::timestamp}};
    for (const auto& [name, kind] : collations) {
        sqlite3_create_collation(db, name, SQLITE_UTF8,
                                 reinterpret_cast<void*>(static_cast<std::intptr_t>(kind)), compare_datetime);
    }
    sqlite3_create_collation(db, "DB2DECIMAL", SQLITE_UTF8, nullptr, compare_decimal);
    sqlite3_create_collation(db, "DB2DATETIME", SQLITE_UTF8, nullptr, compare_any_datetime);
    const char* parts[] = {"YEAR", "MONTH", "DAY", "HOUR", "MINUTE", "SECOND", "MICROSECOND"};
    for (std::intptr_t i = 0; i < 7; ++i) {
        sqlite3_create_function(db, parts[i], 1, flags, reinterpret_cast<void*>(i), fn_part, nullptr, nullptr);
    }
    const std::pair<const char*, db2_kind> converts[] = {
        {"DATE", db2_kind::date}, {"TIME", db2_kind::time}, {"TIMESTAMP", db2_kind::timestamp}};
    for (const auto& [name, kind] : converts) {
        sqlite3_create_function(db, name, 1, flags, reinterpret_cast<void*>(static_cast<std::intptr_t>(kind)),
                                fn_convert, nullptr, nullptr);
    }
    struct fixed { const char* name; int args; void (*fn)(sqlite3_context*, int, sqlite3_value**); };
    const fixed others[] = {{"DAYS", 1, fn_days},           {"DB2_ADD_DURATION", 3, fn_add_duration},
                            {"DB2_TIMESTAMPDIFF", 3, fn_timestampdiff}, {"CHR", 1, fn_chr},
                            {"REPEAT", 2, fn_repeat},       {"LENGTH", 1, fn_length},
                            {"DB2_DIVISOR", 1, fn_divisor}, {"DB2_CAST", 2, fn_cast}};
    for (const auto& f : others) {
        sqlite3_create_function(db, f.name, f.args, flags, nullptr, f.fn, nullptr, nullptr);
    }
}

}  // namespace db2s
