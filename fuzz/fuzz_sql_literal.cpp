// Any bytes and any UTF-16 text made into literals of the statements and dumps: the server must
// read back exactly the value, so a literal is one quoted string whose escapes undo to the
// value, with no bare quote or NUL that would end it early.
#include "sql_util.hpp"
#include "tk_excp.hpp"
#include "tk_utils.hpp"
#include "udb_sche.hpp"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace {

// The server's reading of a quoted literal; false when the literal is not one whole string.
bool unquote(const std::string& literal, std::string& value) {
    if (literal.size() < 2 || literal.front() != '\'' || literal.back() != '\'') return false;
    value.clear();
    for (std::size_t i = 1; i + 1 < literal.size(); ++i) {
        const char c = literal[i];
        if (c == '\'' || c == '\0') return false;
        if (c != '\\') {
            value += c;
            continue;
        }
        if (++i + 1 >= literal.size()) return false; // a backslash escaping the closing quote
        switch (literal[i]) {
        case '0': value += '\0'; break;
        case 'n': value += '\n'; break;
        case 'r': value += '\r'; break;
        case 'Z': value += '\x1A'; break;
        default: value += literal[i];
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    std::string value;

    const std::vector<std::uint8_t> bytes(data, data + size);
    const std::string binary = to_mysql_str(udb_field(u"b", 0, ole_variant(bytes)));
    if (!unquote(binary, value) || value != std::string(bytes.begin(), bytes.end())) __builtin_trap();

    std::u16string text;
    for (std::size_t i = 0; i + 1 < size; i += 2) text += char16_t(data[i] | (data[i + 1] << 8));
    std::string utf8;
    try {
        utf8 = tk_to_utf8(text);
    } catch (const tk_exception&) {
        return 0; // an unpaired surrogate has no UTF-8 form: refused, never written
    }
    if (utf8.empty()) return 0;
    const t_ftd column(0, u"t", VT_BSTR, false);
    const std::string literal = get_fld_append_str(udb_field(u"t", 0, ole_variant(text)), column);
    if (!unquote(literal, value) || value != utf8) __builtin_trap();
    return 0;
}
