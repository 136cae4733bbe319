#pragma once
// Compile-time checking of the wide trace's printf formats against their arguments.
//
// The wide formatter reads its arguments through a C variable argument list, where a wrong type
// is undefined behaviour (a narrow `char*` for %s reads UTF-16 units past the end of the text).
// A format written at a call site is parsed here during compilation, conversion by conversion
// exactly as the formatter reads it, and a wrong argument or count stops the build with an error
// that names the fault.

#include <array>
#include <cstddef>
#include <type_traits>

/// An argument reduced to what the wide formatter can read from it.
enum class tk_warg : unsigned char {
    other,     ///< nothing a conversion reads
    text,      ///< const char16_t* (or char16_t*): %s
    small_int, ///< an integer that travels as an int or unsigned: %c, %d, %u, %x, a `*` width
    big_int,   ///< a 64-bit integer: %ld, %lld, %zu, %I64d and the like
    real,      ///< float or double: %f, %e, %g, %a
    long_real, ///< long double: %Lf and the like
    pointer,   ///< any other pointer: %p, which takes texts too
};

/// The kind of a (decayed) argument type.
template <class T> consteval tk_warg tk_warg_of() {
    if constexpr (std::is_same_v<T, const char16_t*> || std::is_same_v<T, char16_t*>) return tk_warg::text;
    else if constexpr (std::is_integral_v<T>)
        return sizeof(T) <= sizeof(int) ? tk_warg::small_int
               : sizeof(T) == sizeof(long long) ? tk_warg::big_int : tk_warg::other;
    else if constexpr (std::is_same_v<T, float> || std::is_same_v<T, double>) return tk_warg::real;
    else if constexpr (std::is_same_v<T, long double>) return tk_warg::long_real;
    else if constexpr (std::is_pointer_v<T>) return tk_warg::pointer;
    else return tk_warg::other;
}

/// The faults the check reports. Each is an ordinary function, so calling one while the format is
/// checked during compilation is an error whose message carries the function's name.
namespace tk_wformat_error {
inline void s_needs_a_char16_t_pointer() {}
inline void c_needs_a_char16_t_or_int() {}
inline void d_i_u_x_o_need_an_int_or_unsigned() {}
inline void l_ll_z_j_t_I64_need_a_64_bit_integer() {}
inline void star_width_or_precision_needs_an_int() {}
inline void e_f_g_a_need_a_double() {}
inline void L_e_f_g_a_need_a_long_double() {}
inline void p_needs_a_pointer() {}
inline void n_is_not_allowed_in_a_trace() {}
inline void unknown_conversion() {}
inline void format_ends_inside_a_conversion() {}
inline void too_few_arguments() {}
inline void too_many_arguments() {}
} // namespace tk_wformat_error

/// What the length letters of one conversion ask for.
struct tk_wformat_size {
    bool long_int = false;    ///< a 64-bit integer
    bool long_double = false; ///< a long double
};

/// Reads the length letters at `q` and leaves `q` on the conversion character: l, q, j, z, t,
/// I and I64 take 64 bits (long, size_t and ptrdiff_t are all 64 bits here), L a long double,
/// h and I32 change nothing. Shared by the formatter and its compile-time check, so that both
/// read the same arguments.
constexpr tk_wformat_size tk_wformat_length(const char16_t*& q) {
    tk_wformat_size size;
    for (;; ++q) {
        if (*q == u'h') continue;
        if (*q == u'l' || *q == u'q' || *q == u'j' || *q == u'z' || *q == u't') {
            size.long_int = true;
            continue;
        }
        if (*q == u'L') {
            size.long_double = true;
            continue;
        }
        if (*q == u'I') {
            if (q[1] == u'3' && q[2] == u'2') q += 2;
            else if (q[1] == u'6' && q[2] == u'4') q += 2, size.long_int = true;
            else size.long_int = true;
            continue;
        }
        return size;
    }
}

/// What a conversion character reads.
enum class tk_wconv : unsigned char {
    percent, text, character, signed_int, unsigned_int, real, pointer, count, unknown
};

/// The conversion characters the wide formatter knows, shared with its compile-time check.
constexpr tk_wconv tk_wconversion(char16_t c) {
    switch (c) {
    case u'%': return tk_wconv::percent;
    case u's':
    case u'S': return tk_wconv::text;
    case u'c':
    case u'C': return tk_wconv::character;
    case u'd':
    case u'i': return tk_wconv::signed_int;
    case u'u':
    case u'x':
    case u'X':
    case u'o': return tk_wconv::unsigned_int;
    case u'e':
    case u'E':
    case u'f':
    case u'F':
    case u'g':
    case u'G':
    case u'a':
    case u'A': return tk_wconv::real;
    case u'p': return tk_wconv::pointer;
    case u'n': return tk_wconv::count;
    default: return tk_wconv::unknown;
    }
}

/// Checks `format` against the kinds of its `count` arguments; only meaningful during
/// compilation, where a fault is a compile error (see tk_wformat_string).
constexpr void tk_wformat_check(const char16_t* format, const tk_warg* args, std::size_t count) {
    namespace fault = tk_wformat_error;
    std::size_t used = 0;
    auto next = [&]() {
        if (used == count) {
            fault::too_few_arguments();
            return tk_warg::other;
        }
        return args[used++];
    };
    auto is_digit = [](char16_t c) { return c >= u'0' && c <= u'9'; };
    for (const char16_t* p = format; *p; ++p) {
        if (*p != u'%') continue;
        const char16_t* q = p + 1;
        while (*q == u'-' || *q == u'+' || *q == u' ' || *q == u'#' || *q == u'0') ++q;
        if (*q == u'*') {
            if (next() != tk_warg::small_int) fault::star_width_or_precision_needs_an_int();
            ++q;
        }
        while (is_digit(*q)) ++q;
        if (*q == u'.') {
            ++q;
            if (*q == u'*') {
                if (next() != tk_warg::small_int) fault::star_width_or_precision_needs_an_int();
                ++q;
            }
            while (is_digit(*q)) ++q;
        }
        const auto [long_int, long_double] = tk_wformat_length(q);
        p = q;
        if (!*q) {
            fault::format_ends_inside_a_conversion();
            return;
        }
        switch (tk_wconversion(*q)) {
        case tk_wconv::percent:
            break;
        case tk_wconv::text:
            if (next() != tk_warg::text) fault::s_needs_a_char16_t_pointer();
            break;
        case tk_wconv::character:
            if (next() != tk_warg::small_int) fault::c_needs_a_char16_t_or_int();
            break;
        case tk_wconv::signed_int:
        case tk_wconv::unsigned_int:
            if (long_int) {
                if (next() != tk_warg::big_int) fault::l_ll_z_j_t_I64_need_a_64_bit_integer();
            } else if (next() != tk_warg::small_int) {
                fault::d_i_u_x_o_need_an_int_or_unsigned();
            }
            break;
        case tk_wconv::real:
            if (long_double) {
                if (next() != tk_warg::long_real) fault::L_e_f_g_a_need_a_long_double();
            } else if (next() != tk_warg::real) {
                fault::e_f_g_a_need_a_double();
            }
            break;
        case tk_wconv::pointer:
            if (const tk_warg kind = next(); kind != tk_warg::pointer && kind != tk_warg::text)
                fault::p_needs_a_pointer();
            break;
        case tk_wconv::count:
            fault::n_is_not_allowed_in_a_trace();
            break;
        case tk_wconv::unknown:
            fault::unknown_conversion();
            return;
        }
    }
    if (used != count) fault::too_many_arguments();
}

/// A wide printf format checked during compilation against the (decayed) argument types `A`.
/// Built implicitly from a format written at the call site; a format known only at run time does
/// not compile, which is the point: pass it on as a tk_wformat_string instead.
template <class... A> class tk_wformat_string {
public:
    consteval tk_wformat_string(const char16_t* format) : format_(format) {
        constexpr std::array<tk_warg, sizeof...(A)> kinds{tk_warg_of<A>()...};
        tk_wformat_check(format, kinds.data(), kinds.size());
    }
    const char16_t* get() const noexcept { return format_; }

private:
    const char16_t* format_;
};
