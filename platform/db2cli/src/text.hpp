#pragma once
// Text helpers of the stand-in. The stand-in sits below every product layer, so it carries its
// own small UTF-8/UTF-16 conversions instead of using the toolkit's.

#include "db2_cli.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace db2s {

/// Appends the UTF-8 form of UTF-16 text; unpaired surrogates become U+FFFD.
void append_utf8(std::string& out, std::u16string_view text);
/// UTF-16 units of UTF-8 text appended to `out`; invalid bytes become U+FFFD.
void append_utf16(std::u16string& out, std::string_view text);

inline std::string to_utf8(std::u16string_view text) {
    std::string out;
    append_utf8(out, text);
    return out;
}

inline std::u16string to_utf16(std::string_view text) {
    std::u16string out;
    append_utf16(out, text);
    return out;
}

/// Number of UTF-16 units that UTF-8 text needs (what DBCS lengths count).
std::size_t utf16_length(std::string_view text);

/// Converts as much UTF-8 as fits in `capacity` units, never splitting a surrogate pair.
/// Returns the units written; `consumed` receives the UTF-8 bytes they came from.
std::size_t utf8_to_utf16_prefix(std::string_view text, char16_t* out, std::size_t capacity,
                                 std::size_t& consumed);

/// The text of a CLI string argument: `length` SQL_NTS means null-terminated; a null pointer
/// is an absent argument (`present` false).
struct cli_text {
    std::string value;
    bool present = false;
};
cli_text read_wide_arg(const SQLWCHAR* text, SQLINTEGER length);

/// Upper-cases ASCII letters only: DB2 folds ordinary identifiers that way.
std::string ascii_upper(std::string_view text);
bool iequals(std::string_view a, std::string_view b);

/// Writes UTF-8 text into a wide output buffer of `buffer_units` units, terminated; the result
/// is true when the text had to be cut. `length_out` receives the full length in units.
bool write_wide_out(std::string_view text, SQLWCHAR* buffer, std::size_t buffer_units,
                    SQLSMALLINT* length_out);

/// ODBC search pattern match: % any run, _ one character, \ escapes.
bool like_match(std::string_view pattern, std::string_view text);

}  // namespace db2s
