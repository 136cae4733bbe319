#include "ole_var.hpp"

#include "ole_date.hpp"
#include "ole_num.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

using u128 = unsigned __int128;

std::atomic<int> g_bool_style{0};

// Result codes the platform conversions report; only traced.
constexpr unsigned hr_ok = 0;
constexpr unsigned hr_type_mismatch = 0x80020005u;
constexpr unsigned hr_overflow = 0x8002000Au;

// Longest byte array rendered as text: anything longer is cut, as destinations expect.
constexpr std::size_t max_rendered_bytes = 10'000'000;

template <class T>
std::string integer_text(T value) {
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, r.ptr);
}

// "%.16e": 17 significant digits, enough for any double (and a widened float) to read back
// to the same bits. to_chars prints the same characters as printf, only faster.
std::string scientific_text(double value) {
    char buf[40];
    const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, 16);
    return std::string(buf, r.ptr);
}

std::string currency_text(std::int64_t value) {
    const bool negative = value < 0;
    const std::uint64_t magnitude = negative ? std::uint64_t(0) - std::uint64_t(value) : std::uint64_t(value);
    char buf[32];
    char* p = buf;
    if (negative) *p++ = '-';
    p = std::to_chars(p, buf + sizeof buf, magnitude / 10000).ptr;
    unsigned fraction = unsigned(magnitude % 10000);
    if (fraction != 0) {
        *p++ = '.';
        char digits[4];
        for (int k = 3; k >= 0; --k) { digits[k] = char('0' + fraction % 10); fraction /= 10; }
        int n = 4;
        while (digits[n - 1] == '0') --n;
        std::memcpy(p, digits, std::size_t(n));
        p += n;
    }
    return std::string(buf, p);
}

bool text_is(std::string_view text, const char* word) { return text == word; }

// Hex digit value, -1 for anything else.
int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string commas_to_points(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c == ',') c = '.';
    return out;
}

// Checks what the platform's calendar conversion would refuse, only to keep its trace line.
bool convertible_time(const ole_systemtime& t) {
    return t.year >= 100 && t.year <= 9999 && t.month >= 1 && t.month <= 12 && t.day >= 1 && t.day <= 31 &&
           t.hour <= 23 && t.minute <= 59 && t.second <= 59;
}

std::int32_t saturate_i32(double v) {
    if (std::isnan(v)) return 0;
    if (v >= 2147483647.0) return std::numeric_limits<std::int32_t>::max();
    if (v <= -2147483648.0) return std::numeric_limits<std::int32_t>::min();
    return std::int32_t(v);
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Decimal and currency

bool ole_decimal::parse(std::string_view text, ole_decimal& out) {
    ole_num::scanned n;
    if (!ole_num::scan_strict(text, n)) return false;
    // Keep the fraction digits the text wrote (1.50 stays scale 2), fewer only when the value
    // would not fit otherwise.
    std::int64_t wanted = n.count == 0 && n.power > 0 ? 0 : -n.power;
    int scale = int(std::clamp<std::int64_t>(wanted, 0, max_scale));
    for (;; --scale) {
        u128 magnitude = 0;
        if (ole_num::to_fixed(n, scale, magnitude)) {
            out.magnitude = magnitude;
            out.scale = std::uint8_t(scale);
            out.negative = n.negative && magnitude != 0;
            return true;
        }
        if (scale == 0) return false;
    }
}

std::string ole_decimal::to_string() const {
    std::string out;
    append_to(out);
    return out;
}

void ole_decimal::append_to(std::string& out) const {
    char buf[48];
    char* end = buf + sizeof buf;
    char* p = ole_num::u128_digits(magnitude, end);
    const int digits = int(end - p);
    const int s = scale > max_scale ? max_scale : scale;
    if (negative && magnitude != 0) out.push_back('-');
    if (s == 0) {
        out.append(p, end);
    } else if (digits > s) {
        out.append(p, end - s);
        out.push_back('.');
        out.append(end - s, end);
    } else {
        out.append("0.");
        out.append(std::size_t(s - digits), '0');
        out.append(p, end);
    }
}

double ole_decimal::to_double() const {
    static constexpr double exact_pow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                             1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                             1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    double v;
    if (magnitude < (u128(1) << 53) && scale <= 22) {
        // Both operands exact: one correctly rounded division.
        v = double(std::uint64_t(magnitude)) / exact_pow10[scale];
    } else {
        const std::string text = to_string();
        const char* first = text.data() + (text[0] == '-' ? 1 : 0);
        std::from_chars(first, text.data() + text.size(), v);
    }
    return negative ? -v : v;
}

ole_type_exception::ole_type_exception() : tk_exception("The operating type is not supported yet", tk_level_item) {}

int ole_bool_style() noexcept { return g_bool_style.load(std::memory_order_relaxed); }
void ole_set_bool_style(int style) noexcept { g_bool_style.store(style, std::memory_order_relaxed); }

// ---------------------------------------------------------------------------------------------
// Construction

ole_variant::ole_variant(bool value) {
    tk_trace(1, "ole_variant::ctor from bool (%d)", int(value));
    vt_ = VT_BOOL;
    v_.boolean = value ? -1 : 0;
}

ole_variant::ole_variant(char value) {
    tk_trace(1, "ole_variant::ctor from char(%d)", int(value));
    vt_ = VT_I1;
    v_.i1 = std::int8_t(value);
}

ole_variant::ole_variant(signed char value) {
    tk_trace(1, "ole_variant::ctor from char(%d)", int(value));
    vt_ = VT_I1;
    v_.i1 = value;
}

ole_variant::ole_variant(unsigned char value) {
    tk_trace(1, "ole_variant::ctor from byte(%d)", int(value));
    vt_ = VT_UI1;
    v_.ui1 = value;
}

ole_variant::ole_variant(short value) {
    tk_trace(1, "ole_variant::ctor from short(%d)", int(value));
    vt_ = VT_I2;
    v_.i2 = value;
}

ole_variant::ole_variant(unsigned short value) {
    tk_trace(1, "ole_variant::ctor from ushort(%d)", int(value));
    vt_ = VT_UI2;
    v_.ui2 = value;
}

ole_variant::ole_variant(int value) {
    tk_trace(1, "ole_variant::ctor from int(%d)", value);
    vt_ = VT_I4;
    v_.i4 = value;
}

ole_variant::ole_variant(unsigned int value) {
    tk_trace(1, "ole_variant::ctor from uint(%u)", value);
    vt_ = VT_UI4;
    v_.ui4 = value;
}

ole_variant::ole_variant(long value) : ole_variant(static_cast<long long>(value)) {}

ole_variant::ole_variant(long long value) {
    tk_trace(1, "ole_variant::ctor(hyper, %lld)", value);
    vt_ = VT_I8;
    i8_ = value;
}

ole_variant::ole_variant(unsigned long value) : ole_variant(static_cast<unsigned long long>(value)) {}

ole_variant::ole_variant(unsigned long long value) {
    tk_trace(1, "ole_variant::ctor(uhyper, %llu)", value);
    vt_ = VT_UI8;
    ui8_ = value;
}

ole_variant::ole_variant(float value) {
    tk_trace(1, "ole_variant::ctor from float(%f)", double(value));
    vt_ = VT_R4;
    v_.r4 = value;
}

ole_variant::ole_variant(double value) {
    tk_trace(1, "ole_variant::ctor from double(%e)", value);
    vt_ = VT_R8;
    v_.r8 = value;
}

ole_variant::ole_variant(const ole_currency& value) {
    tk_trace(1, "Construct ole_variant from CY");
    vt_ = VT_CY;
    v_.cy = value.value;
}

ole_variant::ole_variant(const ole_decimal& value) {
    tk_trace(1, "Construct ole_variant from DECIMAL");
    tk_verify(value.scale <= ole_decimal::max_scale, "ole_var", __LINE__);
    vt_ = VT_DECIMAL;
    dec_ = value;
}

ole_variant::ole_variant(const char16_t* text) {
    tk_trace(1, "Construct ole_variant from BSTR");
    vt_ = VT_BSTR;
    if (text) text_ = text;
}

ole_variant::ole_variant(std::u16string text) : text_(std::move(text)) {
    tk_trace(1, "Construct ole_variant from BSTR");
    vt_ = VT_BSTR;
}

ole_variant::ole_variant(const char* text) {
    tk_trace(1, "ole_variant::ctor from string(%s)", text ? text : "");
    attach_string(text ? std::string_view(text) : std::string_view());
}

ole_variant::ole_variant(const std::string& text) {
    tk_trace(1, "ole_variant::ctor from string(%s)", text.c_str());
    attach_string(text);
}

ole_variant::ole_variant(const ole_systemtime& time) {
    tk_trace(1, "Construct ole_variant from SYSTEMTIME");
    vt_ = VT_DATE;
    time_ = time;
    if (!convertible_time(time)) tk_trace(2, "Failed to convert SYSTEMTIME->VARIANT");
}

ole_variant::ole_variant(std::size_t count, const std::uint8_t* bytes) { attach_binary(count, bytes); }

ole_variant::ole_variant(const std::vector<std::uint8_t>& bytes) { attach_binary(bytes); }

ole_variant::ole_variant(std::vector<std::uint8_t>&& bytes) : bytes_(std::move(bytes)) {
    tk_trace(1, "ole_variant::attach_binary(1)");
    vt_ = VT_BYTES;
}

// Every member is copied, not just the slot of the tag, so that no stale payload survives; the
// traces mark the tags that need more than a flat copy.
ole_variant::ole_variant(const ole_variant& other)
    : i8_(other.i8_), ui8_(other.ui8_), time_(other.time_), vt_(other.vt_), v_(other.v_), dec_(other.dec_),
      text_(other.text_), bytes_(other.bytes_) {
    tk_trace(1, "ole_variant::copy ctor");
    switch (vt_) {
    case VT_DATE: tk_trace(1, "Special processing for VT_DATE"); break;
    case VT_I8:
    case VT_UI8: tk_trace(1, "Special processing for VT_(U)I8 type"); break;
    case VT_SAFEARRAY:
    case VT_BYTES:
        tk_trace(1, "Special processing for VT_SAFEARRAY");
        vt_ = VT_BYTES;
        break;
    default: break;
    }
}

ole_variant::ole_variant(ole_variant&& other) noexcept
    : i8_(other.i8_), ui8_(other.ui8_), time_(other.time_), vt_(other.vt_), v_(other.v_), dec_(other.dec_),
      text_(std::move(other.text_)), bytes_(std::move(other.bytes_)) {
    if (vt_ == VT_SAFEARRAY) vt_ = VT_BYTES;
    other.clear();
}

ole_variant& ole_variant::operator=(const ole_variant& other) {
    if (this == &other) return *this;
    if (other.vt_ == VT_DATE)
        tk_trace(1, "%04d-%02d-%02d %02d:%02d:%02d", other.time_.year, other.time_.month, other.time_.day,
                 other.time_.hour, other.time_.minute, other.time_.second);
    // Assign the owning members first: if copying them throws, this variant is unchanged.
    text_ = other.text_;
    bytes_ = other.bytes_;
    i8_ = other.i8_;
    ui8_ = other.ui8_;
    time_ = other.time_;
    v_ = other.v_;
    dec_ = other.dec_;
    vt_ = other.vt_ == VT_SAFEARRAY ? std::uint16_t(VT_BYTES) : other.vt_;
    return *this;
}

ole_variant& ole_variant::operator=(ole_variant&& other) noexcept {
    if (this == &other) return *this;
    text_ = std::move(other.text_);
    bytes_ = std::move(other.bytes_);
    i8_ = other.i8_;
    ui8_ = other.ui8_;
    time_ = other.time_;
    v_ = other.v_;
    dec_ = other.dec_;
    vt_ = other.vt_ == VT_SAFEARRAY ? std::uint16_t(VT_BYTES) : other.vt_;
    other.clear();
    return *this;
}

ole_variant::~ole_variant() = default;

void ole_variant::clear() noexcept {
    i8_ = 0;
    ui8_ = 0;
    time_ = ole_systemtime{};
    vt_ = VT_EMPTY;
    v_ = payload{};
    dec_ = ole_decimal{};
    text_.clear();
    bytes_.clear();
}

// ---------------------------------------------------------------------------------------------
// Text forms

namespace {
template <typename T>
bool append_integer(std::string& out, T value) {
    char buf[24];
    out.append(buf, std::to_chars(buf, buf + sizeof buf, value).ptr);
    return true;
}

bool append_scientific(std::string& out, double value) {
    if (!std::isfinite(value)) return false;
    char buf[40];
    out.append(buf, std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, 16).ptr);
    return true;
}
} // namespace

bool ole_variant::append_number(std::string& out) const {
    switch (vt_) {
    case VT_I2: return append_integer(out, int(v_.i2));
    case VT_I1: return append_integer(out, int(v_.i1));
    case VT_I4: return append_integer(out, v_.i4);
    case VT_UI1: return append_integer(out, unsigned(v_.ui1));
    case VT_UI2: return append_integer(out, unsigned(v_.ui2));
    case VT_UI4: return append_integer(out, v_.ui4);
    case VT_I8: return append_integer(out, i8_);
    case VT_UI8: return append_integer(out, ui8_);
    case VT_R4: return append_scientific(out, double(v_.r4));
    case VT_R8: return append_scientific(out, v_.r8);
    case VT_DECIMAL: dec_.append_to(out); return true;
    default: return false;
    }
}

std::string ole_variant::to_string() const {
    tk_trace(1, "ole_variant::to_string (vt=%08X)", unsigned(vt_));
    switch (vt_) {
    case VT_I2: return integer_text(int(v_.i2));
    case VT_I1: return integer_text(int(v_.i1));
    case VT_I4: return integer_text(v_.i4);
    case VT_UI1: return integer_text(unsigned(v_.ui1));
    case VT_UI2: return integer_text(unsigned(v_.ui2));
    case VT_UI4: return integer_text(v_.ui4);
    case VT_R4: return scientific_text(double(v_.r4));
    case VT_R8: return scientific_text(v_.r8);
    case VT_I8: return integer_text(i8_);
    case VT_UI8: return integer_text(ui8_);
    case VT_CY: tk_trace(1, "Converting VT_CY"); return currency_text(v_.cy);
    case VT_DECIMAL: tk_trace(1, "Converting VT_DECIMAL"); return dec_.to_string();
    case VT_DATE: {
        tk_trace(1, "Converting VT_DATE");
        ole_date date(time_);
        return date.to_string();
    }
    case VT_BSTR: return tk_to_ansi(text_);
    case VT_BOOL:
        tk_trace(1, "to_string - bool: %d", int(v_.boolean));
        if (ole_bool_style() == 1) {
            tk_trace(1, "Mapping BOOL like MS!");
            return v_.boolean == -1 ? "-1" : "0";
        }
        tk_trace(1, "Mapping BOOL like ANSI!");
        return v_.boolean == -1 ? "1" : "0";
    case VT_BYTES: {
        tk_trace(1, "Converting VT_ARRAY");
        if (bytes_.empty()) return {};
        static constexpr char hex[] = "0123456789ABCDEF";
        const std::size_t n = std::min(bytes_.size(), max_rendered_bytes);
        std::string out(2 + 2 * n, '\0');
        out[0] = '0';
        out[1] = 'x';
        for (std::size_t k = 0; k < n; ++k) {
            out[2 + 2 * k] = hex[bytes_[k] >> 4];
            out[3 + 2 * k] = hex[bytes_[k] & 15];
        }
        return out;
    }
    default: return {};
    }
}

std::u16string ole_variant::to_wstring() const {
    if (vt_ == VT_BSTR) return text_;
    // Every other form is plain ASCII.
    return tk_ascii_to_wide(to_string());
}

// ---------------------------------------------------------------------------------------------
// From text

// The platform's generic change of type from text, for the wanted types no rule of
// from_string covers. Integer targets take the whole text as a number, rounding half to even.
bool ole_variant::change_text_type(ole_variant& v, std::string_view text, std::uint16_t type) {
    switch (type) {
    case VT_BSTR: v.attach_string(text); return true;
    case VT_EMPTY: return true;
    case VT_INT:
    case VT_UINT: {
        ole_num::scanned n;
        u128 magnitude = 0;
        if (!ole_num::scan_strict(text, n) || !ole_num::to_fixed(n, 0, magnitude)) return false;
        if (type == VT_INT) {
            const u128 limit = n.negative ? u128(1) << 31 : (u128(1) << 31) - 1;
            if (magnitude > limit) return false;
            const std::int64_t value = n.negative ? -std::int64_t(magnitude) : std::int64_t(magnitude);
            v = ole_variant::make_int(VT_INT, std::uint32_t(std::int32_t(value)));
        } else {
            if (magnitude > 0xFFFFFFFFu || (n.negative && magnitude != 0)) return false;
            v = ole_variant::make_int(VT_UINT, std::uint32_t(magnitude));
        }
        return true;
    }
    default: return false;
    }
}

namespace {

ole_variant bytes_from_hex(std::string_view text) {
    if (text.size() % 2 != 0) {
        tk_trace(2, "Incorrect BLOB (size is odd)");
        return {};
    }
    tk_trace(1, "Got BLOB size: %d", int(text.size()));
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.remove_prefix(2);
    std::vector<std::uint8_t> bytes(text.size() / 2);
    for (std::size_t k = 0; k < bytes.size(); ++k) {
        const int hi = hex_value(text[2 * k]);
        const int lo = hex_value(text[2 * k + 1]);
        if (hi < 0 || lo < 0) {
            // Half-read data would reach the destination as if it were the value.
            tk_trace(2, "Incorrect BLOB (not hexadecimal at %d)", int(2 * k));
            return {};
        }
        bytes[k] = std::uint8_t(hi << 4 | lo);
    }
    return ole_variant(std::move(bytes));
}

std::int32_t leading_int32(std::string_view text) {
    const std::int64_t v = ole_num::leading_integer(text);
    if (v > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
    if (v < std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
    return std::int32_t(v);
}

} // namespace

ole_variant ole_variant::make_int(std::uint16_t type, std::uint32_t value) {
    ole_variant v;
    v.vt_ = type;
    v.v_.ui4 = value;
    return v;
}

ole_variant ole_variant::from_string(std::string_view text, std::uint16_t type) {
    tk_trace(1, "ole_variant::from_string('%.*s', 0x%08X)", int(text.size()), text.data(), unsigned(type));
    if (text.empty()) {
        if (type == VT_BSTR) return ole_variant(std::u16string());
        return {};
    }
    switch (type) {
    case VT_I2: return ole_variant(static_cast<short>(leading_int32(text)));
    case VT_I4: return ole_variant(static_cast<int>(leading_int32(text)));
    case VT_I1: return ole_variant(static_cast<signed char>(leading_int32(text)));
    case VT_UI1: return ole_variant(static_cast<unsigned char>(leading_int32(text)));
    case VT_UI2: return ole_variant(static_cast<unsigned short>(leading_int32(text)));
    case VT_UI4: {
        bool ok = false;
        const std::uint64_t v = ole_num::leading_unsigned(text, ok);
        return ole_variant(static_cast<unsigned int>(ok ? v : 0));
    }
    case VT_I8: return ole_variant(static_cast<long long>(ole_num::leading_integer(text)));
    case VT_UI8: {
        bool ok = false;
        const std::uint64_t v = ole_num::leading_unsigned(text, ok);
        return ole_variant(static_cast<unsigned long long>(ok ? v : 0));
    }
    case VT_R4:
    case VT_R8: {
        const double v = ole_num::leading_double(commas_to_points(text));
        return type == VT_R4 ? ole_variant(static_cast<float>(v)) : ole_variant(v);
    }
    case VT_CY: {
        tk_trace(1, "GOT VT_CY");
        ole_num::scanned n;
        u128 magnitude = 0;
        unsigned hr = hr_ok;
        if (!ole_num::scan_strict(commas_to_points(text), n))
            hr = hr_type_mismatch;
        else if (!ole_num::to_fixed(n, 4, magnitude) ||
                 magnitude > (n.negative ? u128(1) << 63 : (u128(1) << 63) - 1))
            hr = hr_overflow;
        if (hr != hr_ok) {
            tk_trace(3, "VarCyFromStr failed: %08X", hr);
            return {};
        }
        const std::uint64_t m = std::uint64_t(magnitude);
        return ole_variant(ole_currency{n.negative ? std::int64_t(std::uint64_t(0) - m) : std::int64_t(m)});
    }
    case VT_DECIMAL: {
        tk_trace(1, "GOT VT_DECIMAL");
        const std::string points = commas_to_points(text);
        ole_decimal d;
        if (!ole_decimal::parse(points, d)) {
            ole_num::scanned n;
            tk_trace(3, "VarDecFromStr failed: %08X", ole_num::scan_strict(points, n) ? hr_overflow : hr_type_mismatch);
            return {};
        }
        return ole_variant(d);
    }
    case VT_DATE: {
        tk_trace(1, "GOT VT_DATE");
        ole_date date(text);
        if (!date.is_valid()) return {};
        // The variant keeps only the calendar time, so a two-digit year is made whole here.
        date.expand_short_year();
        return ole_variant(date.time());
    }
    case VT_BOOL:
        if (text_is(text, "yes") || text_is(text, "true")) return ole_variant(true);
        if (text_is(text, "no") || text_is(text, "false")) return ole_variant(false);
        return ole_variant(leading_int32(text) != 0);
    case VT_BLOB:
    case VT_BYTES: return bytes_from_hex(text);
    default: {
        // Only a text result needs the text variant; the numeric targets read the text itself.
        ole_variant v;
        if (!change_text_type(v, text, type)) throw ole_type_exception();
        tk_trace(1, "VariantChangeType succeeded");
        return v;
    }
    }
}

ole_variant ole_variant::from_wstring(std::u16string_view text, std::uint16_t type) {
    tk_trace(1, "ole_variant::from_wstring");
    if (type == VT_BSTR) return ole_variant(std::u16string(text));
    tk_trace(1, "=== RIGHT BEFORE W2A_EX ===");
    return from_string(tk_to_ansi(text), type);
}

// ---------------------------------------------------------------------------------------------
// Numeric readers

std::int32_t ole_variant::to_long() const {
    tk_trace(1, "ole_variant::to_long(vt=%08X)", unsigned(vt_));
    switch (vt_) {
    case VT_EMPTY:
    case VT_NULL: return 0;
    case VT_I2:
    case VT_BOOL: return v_.i2;
    case VT_I4: return v_.i4;
    case VT_UI4: return std::int32_t(v_.ui4);
    case VT_I1: return v_.i1;
    case VT_UI1: return v_.ui1;
    case VT_UI2: return v_.ui2;
    // Out-of-range values saturate rather than invoke undefined behaviour.
    case VT_R4: return saturate_i32(double(v_.r4));
    case VT_R8: return saturate_i32(v_.r8);
    case VT_DECIMAL: {
        ole_num::scanned n;
        u128 magnitude = 0;
        bool ok = ole_num::scan_strict(dec_.to_string(), n) && ole_num::to_fixed(n, 0, magnitude) &&
                  magnitude <= (n.negative ? u128(1) << 31 : (u128(1) << 31) - 1);
        tk_trace(1, "from DECIMAL, hr=%08X", ok ? hr_ok : hr_overflow);
        if (!ok) return 0;
        return std::int32_t(n.negative ? -std::int64_t(magnitude) : std::int64_t(magnitude));
    }
    case VT_I8: return std::int32_t(std::uint32_t(std::uint64_t(i8_)));
    case VT_UI8: return std::int32_t(std::uint32_t(ui8_));
    default: throw tk_mail_assertion("ole_var", __LINE__);
    }
}

double ole_variant::to_double() const {
    tk_trace(1, "ole_variant::to_double(%08X)", unsigned(vt_));
    switch (vt_) {
    case VT_EMPTY:
    case VT_NULL: return 0.0;
    case VT_I2:
    case VT_BOOL: return v_.i2;
    case VT_I1: return v_.i1;
    case VT_UI1: return v_.ui1;
    case VT_UI2: return v_.ui2;
    case VT_I4: return v_.i4;
    case VT_UI4: return v_.ui4;
    case VT_R4: return v_.r4;
    case VT_R8: return v_.r8;
    case VT_CY: {
        const double res = double(v_.cy) / 10000.0;
        tk_trace(1, "from CURRECY: res=%lg, hr=%08X", res, hr_ok);
        return res;
    }
    case VT_DECIMAL: {
        const double res = dec_.to_double();
        tk_trace(1, "from DECIMAL: res=%lg, hr=%08X", res, hr_ok);
        return res;
    }
    case VT_I8: return double(i8_);
    case VT_UI8: return double(ui8_);
    default: throw tk_mail_assertion("ole_var", __LINE__);
    }
}

bool ole_variant::to_bool() const {
    tk_trace(1, "ole_variant::to_bool(vt=%08X)", unsigned(vt_));
    switch (vt_) {
    case VT_EMPTY:
    case VT_NULL: return false;
    case VT_I2: return v_.i2 != 0;
    case VT_UI2: return v_.ui2 != 0;
    case VT_I4: return v_.i4 != 0;
    case VT_UI4: return v_.ui4 != 0;
    case VT_I1: return v_.i1 != 0;
    case VT_UI1: return v_.ui1 != 0;
    case VT_R4: return v_.r4 != 0.0f;
    case VT_R8: return v_.r8 != 0.0;
    case VT_BOOL: return v_.boolean == -1;
    case VT_DECIMAL: return to_long() != 0;
    case VT_I8: return i8_ != 0;
    case VT_UI8: return ui8_ != 0;
    default: throw tk_mail_assertion("ole_var", __LINE__);
    }
}

std::size_t ole_variant::get_bytes(const std::uint8_t*& data) const {
    tk_trace(1, "ole_variant::get_bytes(%d)", int(vt_));
    switch (vt_) {
    case VT_EMPTY:
    case VT_NULL: data = nullptr; return 0;
    case VT_BYTES: data = bytes_.data(); return bytes_.size();
    default: throw tk_mail_assertion("ole_var", __LINE__);
    }
}

// ---------------------------------------------------------------------------------------------
// In-place fills

void ole_variant::allocate_safe_array(std::size_t size) {
    tk_trace(1, "ole_variant::allocate_safe_array (size=%d)", int(size));
    if (vt_ == VT_BYTES) {
        tk_trace(1, "Redimension array");
        bytes_.resize(size);
        return;
    }
    clear();
    bytes_.assign(size, 0);
    vt_ = VT_BYTES;
}

void ole_variant::attach_binary(std::size_t count, const std::uint8_t* bytes) {
    tk_trace(1, "ole_variant::attach_binary(2)");
    tk_verify(bytes != nullptr, "ole_var", __LINE__);
    allocate_safe_array(count);
    if (count) std::memcpy(bytes_.data(), bytes, count);
}

void ole_variant::attach_binary(const std::vector<std::uint8_t>& bytes) {
    tk_trace(1, "ole_variant::attach_binary(1)");
    allocate_safe_array(bytes.size());
    if (!bytes.empty()) std::memcpy(bytes_.data(), bytes.data(), bytes.size());
}

void ole_variant::attach_string(std::string_view text) {
    tk_trace(1, "ole_variant::attach_string('%.*s')", int(text.size()), text.data());
    std::u16string wide;
    tk_trace(1, "=== RIGHT BEFORE A2W_EX ===");
    wide = tk_from_ansi(text);
    if (vt_ != VT_BSTR) {
        clear();
        vt_ = VT_BSTR;
    }
    text_ = std::move(wide);
}

std::size_t ole_variant::get_safe_array_size(long lower, long upper) {
    tk_trace(1, "get_safe_array_size");
    tk_trace(1, "lower=%d, upper=%d", int(lower), int(upper));
    if (upper < lower) return 0;
    return std::size_t(upper - lower) + 1;
}

// ---------------------------------------------------------------------------------------------
// GUID extraction

ole_guid_extractor::ole_guid_extractor(std::string_view text) { extract(text); }

ole_guid_extractor::ole_guid_extractor(std::u16string_view text) {
    std::string narrow;
    if (tk_try_to_ansi(text, narrow)) extract(narrow);
}

void ole_guid_extractor::extract(std::string_view text) {
    tk_trace(1, "ole_guid_extractor::ctor(%.*s)", int(text.size()), text.data());
    constexpr std::size_t braced_size = 38;
    if (text.size() < 45) return;
    const std::size_t lower = text.find("guid");
    const std::size_t upper = text.find("GUID");
    tk_trace(1, "Locating 'guid' (%d : %d)", lower == text.npos ? -1 : int(lower), upper == text.npos ? -1 : int(upper));
    const std::size_t at = lower != text.npos ? lower : upper;
    if (at == text.npos) return;
    const std::size_t brace = text.find('{', at + 4);
    // A brace too near the end would make the braced form run past the text.
    if (brace == text.npos || text.size() - brace < braced_size) return;
    braced_.assign(text.substr(brace, braced_size));
    found_ = true;
}

std::string ole_guid_extractor::hex() const {
    if (!found_) return {};
    std::string out;
    out.reserve(32);
    out.append(braced_, 1, 8);
    out.append(braced_, 10, 4);
    out.append(braced_, 15, 4);
    out.append(braced_, 20, 4);
    out.append(braced_, 25, 12);
    return out;
}

std::u16string ole_guid_extractor::whex() const {
    const std::string digits = hex();
    std::u16string out;
    if (!tk_try_from_ansi(digits, out)) out = tk_ascii_to_wide(digits);
    return out;
}
