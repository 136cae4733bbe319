#include "shop_compare.hpp"

#include "tk_utils.hpp"

#include <cstdio>
#include <vector>

namespace shop_compare {

namespace {

std::string hex(const std::vector<std::uint8_t>& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (std::uint8_t b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

// A number's text without the zeros its type's scale adds.
std::string plain_number(std::string text) {
    if (text.find('.') != std::string::npos && text.find_first_of("eE") == std::string::npos) {
        while (!text.empty() && text.back() == '0') text.pop_back();
        if (!text.empty() && text.back() == '.') text.pop_back();
    }
    if (text == "-0") text = "0";
    return text;
}

} // namespace

std::string canonical(const t_ftd& column, const ole_variant& v) {
    if (v.is_empty_or_null()) return "<null>";
    char buffer[64];
    switch (column.vartype) {
    case VT_BSTR: return v.vt() == VT_BSTR ? tk_to_utf8(v.text()) : v.to_string();
    case VT_BYTES:
    case 65:
    case 70: return "0x" + hex(v.bytes());
    case VT_R4: std::snprintf(buffer, sizeof buffer, "%.6g", v.to_double()); return buffer;
    case VT_R8: std::snprintf(buffer, sizeof buffer, "%.15g", v.to_double()); return buffer;
    case VT_BOOL: return v.to_bool() ? "true" : "false";
    case VT_DATE: {
        const ole_systemtime t = v.get_time();
        switch (column.reserved & 3) {
        case 2: std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", t.year, t.month, t.day); break;
        case 3: std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", t.hour, t.minute, t.second); break;
        default:
            std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                          t.minute, t.second);
        }
        return buffer;
    }
    default: return plain_number(v.to_string());
    }
}


} // namespace shop_compare
