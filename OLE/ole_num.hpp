#pragma once
// Number text scanning shared by the variant and the date parser. Everything here ignores the
// process locale on purpose: the engine reads "." as the decimal point whatever the user's
// locale says, and C's strtod/atof would not.

#include <cstdint>
#include <string_view>

namespace ole_num {

/// A decimal number as read from text: value = digits * 10^power (digits without leading zeros).
struct scanned {
    static constexpr int max_digits = 100;
    char digits[max_digits]; ///< '0'..'9'
    int count = 0;
    std::int64_t power = 0;
    bool negative = false;
    bool sticky = false; ///< a non-zero digit beyond max_digits was dropped
};

/// Strict whole-text form for currency and decimal: blanks, optional sign, digits with at most
/// one point, optional exponent, blanks. False when anything else is present or no digit.
bool scan_strict(std::string_view text, scanned& out);

/// The value rounded half-to-even to `scale` fraction digits, as an integer count of
/// 10^-scale; false when it does not fit in 128 bits.
bool to_fixed(const scanned& number, int scale, unsigned __int128& out);

/// atoi-like: leading white space, optional sign, digits up to the first non-digit (0 when
/// none); saturates at the 64-bit range instead of overflowing.
std::int64_t leading_integer(std::string_view text);
/// strtoull-like: as leading_integer but unsigned; a minus sign negates modulo 2^64; `ok`
/// tells whether any digit was read.
std::uint64_t leading_unsigned(std::string_view text, bool& ok);
/// atof-like: the longest leading decimal floating-point number (no hex, inf or nan); 0 when
/// there is none; overflow gives an infinity.
double leading_double(std::string_view text);

/// Writes the decimal digits of `value` at the end of `buf` (40 bytes); returns the first.
char* u128_digits(unsigned __int128 value, char* end);

} // namespace ole_num
