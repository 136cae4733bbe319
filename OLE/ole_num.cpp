#include "ole_num.hpp"

#include <charconv>
#include <limits>

namespace ole_num {
namespace {

using u128 = unsigned __int128;
constexpr u128 u128_max = ~u128(0);

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

void add_digit(scanned& n, char d, bool in_fraction) {
    if (in_fraction) --n.power;
    if (n.count == 0 && d == '0') return;
    if (n.count < scanned::max_digits) {
        n.digits[n.count++] = d;
    } else {
        ++n.power;
        n.sticky |= d != '0';
    }
}

// Reads "[digits][.digits]" at `i`; returns how many digits were seen.
int scan_mantissa(std::string_view t, std::size_t& i, scanned& n) {
    int seen = 0;
    while (i < t.size() && is_digit(t[i])) { add_digit(n, t[i++], false); ++seen; }
    if (i < t.size() && t[i] == '.') {
        std::size_t j = i + 1;
        int frac = 0;
        while (j < t.size() && is_digit(t[j])) { add_digit(n, t[j++], true); ++frac; }
        if (seen + frac > 0) { i = j; seen += frac; }
    }
    return seen;
}

// Reads "[eE][sign]digits" at `i` when present; the exponent is clamped far outside any range.
void scan_exponent(std::string_view t, std::size_t& i, scanned& n) {
    if (i >= t.size() || (t[i] != 'e' && t[i] != 'E')) return;
    std::size_t j = i + 1;
    bool neg = false;
    if (j < t.size() && (t[j] == '+' || t[j] == '-')) neg = t[j++] == '-';
    if (j >= t.size() || !is_digit(t[j])) return;
    std::int64_t e = 0;
    while (j < t.size() && is_digit(t[j])) {
        if (e < 10'000'000) e = e * 10 + (t[j] - '0');
        ++j;
    }
    n.power += neg ? -e : e;
    i = j;
}

bool mul_add(u128& v, unsigned digit) {
    if (v > (u128_max - digit) / 10) return false;
    v = v * 10 + digit;
    return true;
}

} // namespace

bool scan_strict(std::string_view text, scanned& out) {
    out = scanned{};
    std::size_t i = 0;
    while (i < text.size() && is_blank(text[i])) ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) out.negative = text[i++] == '-';
    if (scan_mantissa(text, i, out) == 0) return false;
    scan_exponent(text, i, out);
    while (i < text.size() && is_blank(text[i])) ++i;
    return i == text.size();
}

bool to_fixed(const scanned& n, int scale, u128& out) {
    out = 0;
    if (n.count == 0) return true;
    const std::int64_t shift = n.power + scale;
    if (shift >= 0) {
        if (n.count + shift > 39) return false;
        for (int k = 0; k < n.count; ++k)
            if (!mul_add(out, unsigned(n.digits[k] - '0'))) return false;
        for (std::int64_t k = 0; k < shift; ++k)
            if (!mul_add(out, 0)) return false;
        return true;
    }
    const std::int64_t drop = -shift;
    if (drop > n.count) return true; // below half a unit
    const int kept = n.count - int(drop);
    for (int k = 0; k < kept; ++k)
        if (!mul_add(out, unsigned(n.digits[k] - '0'))) return false;
    const char first = n.digits[kept];
    bool rest = n.sticky;
    for (int k = kept + 1; k < n.count && !rest; ++k) rest = n.digits[k] != '0';
    const bool odd = kept > 0 && ((n.digits[kept - 1] - '0') & 1);
    if (first > '5' || (first == '5' && (rest || odd))) {
        if (out == u128_max) return false;
        ++out;
    }
    return true;
}

std::int64_t leading_integer(std::string_view t) {
    std::size_t i = 0;
    while (i < t.size() && is_blank(t[i])) ++i;
    bool neg = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) neg = t[i++] == '-';
    constexpr std::uint64_t limit = std::uint64_t(1) << 63;
    std::uint64_t v = 0;
    while (i < t.size() && is_digit(t[i])) {
        v = v * 10 + unsigned(t[i++] - '0');
        if (v >= limit) { v = limit; while (i < t.size() && is_digit(t[i])) ++i; }
    }
    if (neg) return v >= limit ? std::numeric_limits<std::int64_t>::min() : -std::int64_t(v);
    return v >= limit ? std::numeric_limits<std::int64_t>::max() : std::int64_t(v);
}

std::uint64_t leading_unsigned(std::string_view t, bool& ok) {
    std::size_t i = 0;
    while (i < t.size() && is_blank(t[i])) ++i;
    bool neg = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) neg = t[i++] == '-';
    ok = i < t.size() && is_digit(t[i]);
    u128 v = 0;
    bool overflow = false;
    while (i < t.size() && is_digit(t[i])) {
        v = v * 10 + unsigned(t[i++] - '0');
        if (v > std::numeric_limits<std::uint64_t>::max()) { overflow = true; v = 0; }
    }
    if (overflow) return std::numeric_limits<std::uint64_t>::max();
    const std::uint64_t r = std::uint64_t(v);
    return neg ? std::uint64_t(0) - r : r;
}

double leading_double(std::string_view t) {
    std::size_t i = 0;
    while (i < t.size() && is_blank(t[i])) ++i;
    bool neg = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) neg = t[i++] == '-';
    const std::size_t start = i;
    scanned n;
    if (scan_mantissa(t, i, n) == 0) return 0.0;
    scan_exponent(t, i, n);
    double v = 0.0;
    const auto r = std::from_chars(t.data() + start, t.data() + i, v, std::chars_format::general);
    if (r.ec == std::errc::result_out_of_range)
        v = n.count + n.power > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    return neg ? -v : v;
}

char* u128_digits(u128 value, char* end) {
    char* p = end;
    constexpr std::uint64_t chunk = 10'000'000'000'000'000'000ull;
    while (value > std::numeric_limits<std::uint64_t>::max()) {
        std::uint64_t part = std::uint64_t(value % chunk);
        value /= chunk;
        for (int k = 0; k < 19; ++k) { *--p = char('0' + part % 10); part /= 10; }
    }
    std::uint64_t low = std::uint64_t(value);
    do { *--p = char('0' + low % 10); low /= 10; } while (low);
    return p;
}

} // namespace ole_num
