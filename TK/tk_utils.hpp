#pragma once
// Text conversions, trimming, upper-casing, file checks and the program's own path.
//
// Wide text is UTF-16 (std::u16string). Narrow text is either UTF-8 (what MySQL, the dump file
// and the trace log get) or the process locale's character set, the "ANSI" code page, which is
// what the console, narrow trace entries and narrow settings use.

#include <string>
#include <string_view>

/// Wide to UTF-8. Unpaired surrogates fail: tk_exception_ex level 0,
/// "Cannot convert to UTF8 string: " + system text.
std::string tk_to_utf8(std::u16string_view text);
/// Appends the UTF-8 form of `text` to `out` (the per-cell path: no temporary string).
void tk_append_utf8(std::string& out, std::u16string_view text);
/// UTF-8 to wide. Malformed input fails: tk_exception_ex level 0,
/// "Cannot convert to UNICODE string: " + system text.
std::u16string tk_from_utf8(std::string_view text);
/// Wide to the given code page (an ICU converter name), the process locale's when null.
/// Failure: tk_exception_ex level 0, "Cannot convert to ANSI string: " + system text.
std::string tk_to_ansi(std::u16string_view text, const char* code_page = nullptr);
/// Process code page to wide. Failure: "Cannot convert to UNICODE string: ".
std::u16string tk_from_ansi(std::string_view text);
/// The same conversions reporting failure by a false result (the console agent's arguments).
bool tk_try_to_ansi(std::u16string_view text, std::string& out);
bool tk_try_from_ansi(std::string_view text, std::u16string& out);
/// Name of the process code page (nl_langinfo(CODESET) after setlocale); "UTF-8" on normal systems.
const std::string& tk_ansi_code_page();
/// Widens ASCII text; for literals and formatted numbers, never for user data.
std::u16string tk_ascii_to_wide(std::string_view text);

/// The text with every control character (U+0000 to U+001F and U+007F) written as \n, \r, \t
/// or \xHH, so that a name printed into a dump comment, a message or a trace line can neither
/// end the line nor start a new one. Everything else stays, backslashes included.
std::u16string tk_wprintable(std::u16string_view text);
/// The same for narrow text (UTF-8 or the ANSI code page: control characters are single bytes).
std::string tk_printable(std::string_view text);

/// Only U+0020 counts as a space in every trim; tabs stay.
std::string tk_trim(std::string_view text);
std::string tk_trim_left(std::string_view text);
std::u16string tk_wtrim(std::u16string_view text);
std::u16string tk_wtrim_left(std::u16string_view text);
std::u16string tk_wtrim_right(std::u16string_view text);

/// Wide-string helpers with the runtime's locale rules.
struct tk_wstring {
    /// Upper-cases a to z only (the default locale's rule); other letters stay.
    static std::u16string to_upper(std::u16string_view text);
};

/// The `access` of tk_is_file_exist that asks only whether the file exists and can be read: it
/// opens read-only, so a regular file, a named pipe or a device answers, a folder does not.
inline constexpr int tk_file_readable = 0x4000;
/// True when the file exists and opens with `access`: 1 read-write, anything else read-only
/// (callers pass tk_file_readable). Never creates the file.
bool tk_is_file_exist(const std::string& path, int access);
bool tk_is_file_exist(std::u16string_view path, int access);
/// True when something exists at `path` and it is not a regular file (a device, a pipe, a
/// folder, a socket): a file the program would read or write there would hang or do harm.
bool tk_is_special_file(const std::string& path);

/// True when `path` is a directory that can be searched. Does not change the working directory.
bool tk_is_path_exist(const std::string& path);
bool tk_is_path_exist(std::u16string_view path);

/// Full path of the running program (/proc/self/exe); internal assertion when unreadable.
std::string tk_program_path();
std::u16string tk_program_wpath();
