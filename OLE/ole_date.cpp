#include "ole_date.hpp"

#include "ole_num.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"

#include <cstdio>
#include <cstring>
#include <limits>

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

/// What a scanf-style pattern read: integers (with their digit counts) and one word.
struct scan_result {
    long ints[6] = {};
    int digits[6] = {};
    std::string word;
    int items = 0;
};

// The scanf subset the fixed date patterns use: "%d", "%Nd", "%0Nd", "%hd", "%s", white space
// and literal characters; returns the number of items assigned, as sscanf does. Written out
// rather than calling sscanf so that the digit count of each field is known and so that
// overflow is defined (saturating, as strtol does, before the narrowing store).
int mini_scan(std::string_view t, const char* fmt, scan_result& r) {
    std::size_t i = 0;
    int n_int = 0;
    for (const char* f = fmt; *f;) {
        if (*f == ' ') {
            while (i < t.size() && is_blank(t[i])) ++i;
            ++f;
            continue;
        }
        if (*f != '%') {
            if (i >= t.size() || t[i] != *f) return r.items;
            ++i;
            ++f;
            continue;
        }
        ++f;
        std::size_t width = std::numeric_limits<std::size_t>::max();
        if (is_digit(*f)) {
            width = 0;
            while (is_digit(*f)) width = width * 10 + std::size_t(*f++ - '0');
            if (width == 0) width = std::numeric_limits<std::size_t>::max();
        }
        bool half = false;
        if (*f == 'h') { half = true; ++f; }
        const char conv = *f++;
        while (i < t.size() && is_blank(t[i])) ++i;
        if (i >= t.size()) return r.items;
        if (conv == 's') {
            const std::size_t b = i;
            while (i < t.size() && !is_blank(t[i]) && i - b < width) ++i;
            r.word.assign(t.substr(b, i - b));
            ++r.items;
            continue;
        }
        // conv == 'd'
        const std::size_t end = width > t.size() - i ? t.size() : i + width;
        bool neg = false;
        if (i < end && (t[i] == '+' || t[i] == '-')) neg = t[i++] == '-';
        if (i >= end || !is_digit(t[i])) return r.items;
        long long v = 0;
        int digits = 0;
        while (i < end && is_digit(t[i])) {
            if (v < 1'000'000'000'000LL) v = v * 10 + (t[i] - '0');
            ++i;
            ++digits;
        }
        if (neg) v = -v;
        if (v > std::numeric_limits<long>::max()) v = std::numeric_limits<long>::max();
        long stored = long(v);
        stored = half ? long(static_cast<short>(stored)) : long(static_cast<int>(stored));
        if (n_int < 6) {
            r.ints[n_int] = stored;
            r.digits[n_int] = digits;
        }
        ++n_int;
        ++r.items;
    }
    return r.items;
}

std::uint16_t field(long v) { return static_cast<std::uint16_t>(v); }

int days_in_month(int year, int month) {
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month == 2 && ((year % 4 == 0 && year % 100 != 0) || year % 400 == 0)) return 29;
    return days[month - 1];
}

// Reads exactly `min`..`max` digits at `i`; -1 when there are fewer or more.
int read_number(std::string_view t, std::size_t& i, std::size_t min, std::size_t max) {
    std::size_t b = i;
    int v = 0;
    while (i < t.size() && is_digit(t[i]) && i - b < max) v = v * 10 + (t[i++] - '0');
    if (i - b < min || (i < t.size() && is_digit(t[i]))) return -1;
    return v;
}

bool take(std::string_view t, std::size_t& i, char c) {
    if (i < t.size() && t[i] == c) { ++i; return true; }
    return false;
}

// Text that cannot be narrowed cannot be a date either: it parses as nothing.
std::string narrow_date_text(std::u16string_view text) {
    std::string narrow;
    if (!tk_try_to_ansi(text, narrow)) narrow.clear();
    return narrow;
}

} // namespace

ole_date::ole_date(const ole_systemtime& time) : kind_(1), time_(time) {
    tk_trace(1, "ole_date::ole_date(SYSTEMTIME)");
    refine_type();
}

ole_date::ole_date(std::string_view text) {
    tk_trace(1, "ole_date::ole_date('%.*s')", int(text.size()), text.data());
    time_ = ole_systemtime{};
    std::string buf = tk_trim(text);
    tk_trace(1, "After tk_trim: %s", buf.c_str());
    for (const char* marker : {"AM", "PM", "am", "pm"}) {
        const std::size_t at = buf.find(marker);
        if (at != std::string::npos) {
            buf = tk_trim(std::string_view(buf).substr(0, at));
            break;
        }
    }
    tk_trace(1, "Again buf1=%s", buf.c_str());
    if (buf.size() <= 4) {
        tk_trace(2, "Invalid date/time format: '%s'", buf.c_str());
        return;
    }
    import_from_string(buf);
    if ((kind_ == 1 || kind_ == 2) && time_.day > 31 && time_.year < 32) {
        std::swap(time_.year, time_.day);
        std::swap(year_digits_, day_digits_);
        short_year_text_ = year_digits_ >= 1 && year_digits_ <= 2;
    }
    if ((text.find("PM") != text.npos || text.find("pm") != text.npos) && time_.hour < 12) time_.hour += 12;
}

ole_date::ole_date(std::u16string_view text) : ole_date(std::string_view(narrow_date_text(text))) {}

bool ole_date::is_valid() const {
    tk_trace(1, "ole_date::is_valid");
    if (kind_ == 0) return false;
    if (time_.year == 0 && time_.month == 0 && time_.day == 0) {
        tk_trace(1, "DATETIME is a pute time");
    } else {
        if (time_.month < 1 || time_.month > 12) {
            tk_trace(1, "Invalid month");
            return false;
        }
        if (time_.day == 0 || time_.year == 0 || (time_.day > 31 && time_.year > 31)) {
            tk_trace(1, "Invalid day and/or year");
            return false;
        }
    }
    if (time_.hour > 60 || time_.minute > 60 || time_.second > 60) {
        tk_trace(1, "Invalid time");
        return false;
    }
    return true;
}

void ole_date::refine_type() {
    tk_trace(1, "ole_date::refine_type(%d,%d,%d,%d,%d,%d)", time_.year, time_.month, time_.day, time_.hour, time_.minute,
             time_.second);
    if (time_.day == 0 && time_.month == 0 && time_.year == 0)
        kind_ = 3;
    else if (time_.hour == 0 && time_.minute == 0 && time_.second == 0 && time_.microseconds == 0 &&
             time_.day != 0 && time_.month != 0 && time_.year != 0)
        kind_ = 2;
}

void ole_date::import_from_string(std::string_view text) {
    tk_trace(1, "ole_date::import_from_string");
    short_year_text_ = false;
    year_digits_ = day_digits_ = 0;
    auto finish = [this](int year_digits, int day_digits) {
        year_digits_ = year_digits;
        day_digits_ = day_digits;
        short_year_text_ = (kind_ == 1 || kind_ == 2) && year_digits >= 1 && year_digits <= 2;
    };

    if (text.size() == 14 || text.size() == 8) {
        const bool full = text.size() == 14;
        tk_trace(1, full ? "Trying timestamp format (1)..." : "Trying timestamp format (2)...");
        scan_result r;
        const int items = mini_scan(text, full ? "%4d%02d%02d%02d%02d%02d" : "%4d%02d%02d", r);
        ole_systemtime t{};
        t.year = field(r.ints[0]);
        t.month = field(r.ints[1]);
        t.day = field(r.ints[2]);
        t.hour = field(r.ints[3]);
        t.minute = field(r.ints[4]);
        t.second = field(r.ints[5]);
        time_ = t;
        if (items == (full ? 6 : 3)) {
            kind_ = full ? 1 : 2;
            if (is_valid()) return finish(r.digits[0], r.digits[2]);
        }
        time_ = ole_systemtime{};
    }

    tk_trace(1, "Trying pure time format...");
    {
        scan_result r;
        const int items = mini_scan(text, "%hd:%hd:%s", r);
        time_.hour = field(r.ints[0]);
        time_.minute = field(r.ints[1]);
        if (items == 3) {
            kind_ = 3;
            if (is_valid()) {
                process_milliseconds(r.word.c_str());
                return finish(0, 0);
            }
        }
        time_ = ole_systemtime{};
    }

    if (import_platform_form(text)) {
        tk_trace(1, "Got datetime using Microsoft API");
        kind_ = 1;
        refine_type();
        return finish(4, 2);
    }

    static constexpr const char* patterns[] = {"%hd-%hd-%hd %hd:%hd:%s", "%hd/%hd/%hd %hd:%hd:%s",
                                               "%hd.%hd.%hd %hd:%hd:%s"};
    for (int k = 0; k < 3; ++k) {
        tk_trace(1, "Trying datetime format #%d", k);
        scan_result r;
        const int items = mini_scan(text, patterns[k], r);
        // Fields a failed pattern read stay for the next one, as they always have.
        std::uint16_t* slots[] = {&time_.year, &time_.month, &time_.day, &time_.hour, &time_.minute};
        for (int f = 0; f < items && f < 5; ++f) *slots[f] = field(r.ints[f]);
        if (items == 3) {
            tk_trace(1, "Format #%d succeeded (3 items)", k);
            kind_ = 2;
            if (is_valid()) return finish(r.digits[0], r.digits[2]);
        } else if (items == 6) {
            tk_trace(1, "Format #%d succeeded (6 items)", k);
            kind_ = 1;
            if (is_valid()) {
                process_milliseconds(r.word.c_str());
                refine_type();
                return finish(r.digits[0], r.digits[2]);
            }
        }
    }

    kind_ = 0;
    tk_trace(2, "Invalid date/time format: '%.*s'", int(text.size()), text.data());
}

// The subset of locale date forms the engine meets: ISO dates with an optional time, DB2
// timestamps and US month-first dates, each with a four-digit year and a real calendar day.
bool ole_date::import_platform_form(std::string_view t) {
    std::size_t i = 0;
    int year, month, day;
    bool db2_timestamp = false;
    if (t.size() >= 5 && is_digit(t[0]) && is_digit(t[1]) && is_digit(t[2]) && is_digit(t[3]) && t[4] == '-') {
        year = read_number(t, i, 4, 4);
        if (!take(t, i, '-') || (month = read_number(t, i, 1, 2)) < 0 || !take(t, i, '-') ||
            (day = read_number(t, i, 1, 2)) < 0)
            return false;
        db2_timestamp = i < t.size() && t[i] == '-';
    } else {
        if ((month = read_number(t, i, 1, 2)) < 0 || !take(t, i, '/') || (day = read_number(t, i, 1, 2)) < 0 ||
            !take(t, i, '/') || (year = read_number(t, i, 4, 4)) < 0)
            return false;
    }
    int hour = 0, minute = 0, second = 0;
    std::uint32_t micro = 0;
    if (i < t.size()) {
        const char sep = db2_timestamp ? '.' : ':';
        if (!(t[i] == ' ' || (t[i] == 'T' && t[4] == '-') || db2_timestamp)) return false;
        ++i;
        if ((hour = read_number(t, i, 1, 2)) < 0 || !take(t, i, sep) || (minute = read_number(t, i, 2, 2)) < 0)
            return false;
        if (take(t, i, sep)) {
            if ((second = read_number(t, i, 2, 2)) < 0) return false;
            if (take(t, i, '.')) {
                // Six digits are kept and the rest cut: a fraction never rounds into the
                // next second.
                std::size_t b = i;
                std::uint32_t scale = 1'000'000;
                while (i < t.size() && is_digit(t[i])) {
                    if (i - b < 6) micro += std::uint32_t(t[i] - '0') * (scale /= 10);
                    ++i;
                }
                if (i == b) return false;
            }
        } else if (db2_timestamp) {
            return false;
        }
        if (i != t.size()) return false;
    }
    // Hour 24 ends a day in DB2's timestamps; it is the next day's midnight.
    const bool end_of_day = hour == 24 && minute == 0 && second == 0 && micro == 0;
    if (year < 100 || month < 1 || month > 12 || day < 1 || day > days_in_month(year, month) ||
        (hour > 23 && !end_of_day) || minute > 59 || second > 59)
        return false;
    time_ = ole_systemtime{};
    time_.year = field(year);
    time_.month = field(month);
    time_.day = field(day);
    time_.hour = field(hour);
    time_.minute = field(minute);
    time_.second = field(second);
    time_.milliseconds = field(micro / 1000);
    time_.microseconds = micro;
    carry_hour_24(time_);
    return true;
}

void ole_date::process_milliseconds(const char* seconds_text) {
    tk_trace(1, "ole_date::process_milliseconds");
    tk_verify(seconds_text != nullptr, "ole_date", __LINE__);
    tk_trace(1, "Got row sec: '%s'", seconds_text);
    double x = ole_num::leading_double(seconds_text);
    // Keep the conversion to integers defined whatever the text held.
    if (!(x >= 0.0)) x = 0.0;
    if (x > 65535.0) x = 65535.0;
    const int sec = int(x);
    // The fraction is read from its digits, not from the double, which would turn .7 into
    // .69999...: six digits are kept, the rest cut.
    std::uint32_t micro = 0;
    if (const char* point = std::strchr(seconds_text, '.'); point && x < 65535.0) {
        int n = 0;
        for (const char* d = point + 1; is_digit(*d); ++d)
            if (n < 6) micro = micro * 10 + std::uint32_t(*d - '0'), ++n;
        for (; n < 6; ++n) micro *= 10;
    }
    tk_trace(1, "Got sec: %d", sec);
    tk_trace(1, "Got msec: %d", int(micro / 1000));
    time_.second = field(sec);
    time_.milliseconds = field(micro / 1000);
    time_.microseconds = micro;
    bool carried = false;
    if (time_.second > 59) {
        ++time_.minute;
        time_.second -= 60;
        carried = true;
    }
    if (time_.minute > 59) {
        ++time_.hour;
        time_.minute -= 60;
        carried = true;
    }
    // 24:00:00 as written is the end of a day, which a TIME holds; any later hour, or one
    // reached by a carry, wraps.
    const bool end_of_day = time_.hour == 24 && !carried && !time_.minute && !time_.second && !micro;
    if (time_.hour > 23 && !end_of_day) time_.hour -= 24;
    tk_trace(1, "After processing: %02d:%02d:%02d", time_.hour, time_.minute, time_.second);
}

bool ole_date::carry_hour_24(ole_systemtime& t) {
    if (t.hour != 24 || t.month < 1 || t.month > 12 || t.day == 0) return false;
    t.hour = 0;
    if (++t.day > days_in_month(t.year, t.month)) {
        t.day = 1;
        if (++t.month == 13) {
            t.month = 1;
            ++t.year;
        }
    }
    return true;
}

void ole_date::expand_short_year() {
    if (!short_year_text_) return;
    if (time_.year < 100) time_.year += time_.year < 50 ? 2000 : 1900;
    short_year_text_ = false;
}

namespace {

// printf's "%0*d" for the non-negative fields of a date, without parsing a format per cell:
// dumps and INSERT batches print two dates a row.
char* put_padded(char* out, unsigned value, int width) {
    char digits[8];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value);
    for (int i = n; i < width; ++i) *out++ = '0';
    while (n) *out++ = digits[--n];
    return out;
}

char* put_date(char* out, const ole_systemtime& t) {
    out = put_padded(out, t.year, 4);
    *out++ = '-';
    out = put_padded(out, t.month, 2);
    *out++ = '-';
    return put_padded(out, t.day, 2);
}

char* put_time(char* out, const ole_systemtime& t) {
    out = put_padded(out, t.hour, 2);
    *out++ = ':';
    out = put_padded(out, t.minute, 2);
    *out++ = ':';
    out = put_padded(out, t.second, 2);
    // Only a value with a fraction prints one: every other value prints as it always has.
    if (t.microseconds == 0 || t.microseconds > 999'999) return out;
    unsigned digits = t.microseconds, width = 6;
    while (digits % 10 == 0) digits /= 10, --width;
    *out++ = '.';
    return put_padded(out, digits, int(width));
}

}  // namespace

std::string ole_date::print() {
    std::string out;
    append_to(out);
    return out;
}

void ole_date::append_to(std::string& out) {
    expand_short_year();
    char buf[64];
    char* end = buf;
    const ole_systemtime& t = time_;
    switch (kind_) {
    case 1:
        tk_trace(1, "printing datetime...");
        end = put_date(buf, t);
        if (t.hour || t.minute || t.second || t.microseconds || !drop_zero_time) {
            *end++ = ' ';
            end = put_time(end, t);
        }
        break;
    case 2:
        tk_trace(1, "printing date...");
        end = put_date(buf, t);
        break;
    case 3:
        tk_trace(1, "printing time...");
        std::memcpy(buf, "0000-00-00 ", 11);
        end = put_time(buf + 11, t);
        break;
    default: return;
    }
    out.append(buf, end);
}

void ole_date::append_time_to(std::string& out) const {
    char buf[32];
    out.append(buf, put_time(buf, time_));
}

std::string ole_date::to_string() {
    tk_trace(1, "ole_date::to_string");
    return print();
}

std::u16string ole_date::to_wstring() {
    tk_trace(1, "ole_date::to_wstring");
    return tk_ascii_to_wide(print());
}
