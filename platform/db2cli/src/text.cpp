#include "text.hpp"

#include <algorithm>

namespace db2s {

namespace {

// Decodes one code point at `i`; invalid input yields U+FFFD and advances by one byte.
char32_t decode_utf8(std::string_view s, std::size_t& i) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    int extra = 0;
    char32_t cp = 0;
    if ((b0 & 0xE0) == 0xC0) { extra = 1; cp = b0 & 0x1F; }
    else if ((b0 & 0xF0) == 0xE0) { extra = 2; cp = b0 & 0x0F; }
    else if ((b0 & 0xF8) == 0xF0) { extra = 3; cp = b0 & 0x07; }
    else { ++i; return 0xFFFD; }
    if (i + extra >= s.size()) {
        ++i;
        return 0xFFFD;
    }
    for (int k = 1; k <= extra; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80) {
            ++i;
            return 0xFFFD;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    i += extra + 1;
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0xFFFD;
    return cp;
}

}  // namespace

void append_utf8(std::string& out, std::u16string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
}

void append_utf16(std::u16string& out, std::string_view text) {
    // Never more units than bytes: size once, write through a pointer, cut to what was written.
    const std::size_t old = out.size();
    out.resize(old + text.size());
    char16_t* const begin = out.data();
    char16_t* dst = begin + old;
    std::size_t i = 0;
    while (i < text.size()) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b < 0x80) {
            *dst++ = b;
            ++i;
            continue;
        }
        const char32_t cp = decode_utf8(text, i);
        if (cp >= 0x10000) {
            *dst++ = static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
            *dst++ = static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            *dst++ = static_cast<char16_t>(cp);
        }
    }
    out.resize(std::size_t(dst - begin));
}

std::size_t utf16_length(std::string_view text) {
    std::size_t n = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b < 0x80) {
            ++n;
            ++i;
            continue;
        }
        n += decode_utf8(text, i) >= 0x10000 ? 2 : 1;
    }
    return n;
}

std::size_t utf8_to_utf16_prefix(std::string_view text, char16_t* out, std::size_t capacity,
                                 std::size_t& consumed) {
    std::size_t n = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b < 0x80) {
            if (n >= capacity) break;
            out[n++] = b;
            ++i;
            continue;
        }
        std::size_t next = i;
        const char32_t cp = decode_utf8(text, next);
        if (cp >= 0x10000) {
            if (n + 2 > capacity) break;
            out[n++] = static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
            out[n++] = static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            if (n >= capacity) break;
            out[n++] = static_cast<char16_t>(cp);
        }
        i = next;
    }
    consumed = i;
    return n;
}

cli_text read_wide_arg(const SQLWCHAR* text, SQLINTEGER length) {
    cli_text result;
    if (!text) return result;
    result.present = true;
    std::size_t n = 0;
    if (length == SQL_NTS) {
        while (text[n] != 0) ++n;
    } else if (length > 0) {
        n = static_cast<std::size_t>(length);
    }
    append_utf8(result.value, std::u16string_view(text, n));
    return result;
}

std::string ascii_upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

bool iequals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
        if (x != y) return false;
    }
    return true;
}

bool write_wide_out(std::string_view text, SQLWCHAR* buffer, std::size_t buffer_units,
                    SQLSMALLINT* length_out) {
    const std::size_t full = utf16_length(text);
    if (length_out) *length_out = static_cast<SQLSMALLINT>(std::min<std::size_t>(full, 32767));
    if (!buffer || buffer_units == 0) return full > 0;
    std::size_t consumed = 0;
    const std::size_t n = utf8_to_utf16_prefix(text, buffer, buffer_units - 1, consumed);
    buffer[n] = 0;
    return consumed < text.size();
}

bool like_match(std::string_view pattern, std::string_view text) {
    // Iterative matcher with one backtrack point for the latest %, enough for LIKE patterns.
    std::size_t p = 0, t = 0, star_p = std::string_view::npos, star_t = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '\\' && p + 1 < pattern.size() &&
            pattern[p + 1] == text[t]) {
            p += 2;
            ++t;
        } else if (p < pattern.size() && pattern[p] == '%') {
            star_p = p++;
            star_t = t;
        } else if (p < pattern.size() && (pattern[p] == '_' || pattern[p] == text[t]) &&
                   pattern[p] != '\\') {
            // '_' is one character, which in UTF-8 may be several bytes.
            if (pattern[p] == '_') {
                const auto b = static_cast<unsigned char>(text[t]);
                std::size_t len = b < 0x80 ? 1 : (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : 4;
                t += std::min(len, text.size() - t);
            } else {
                ++t;
            }
            ++p;
        } else if (star_p != std::string_view::npos) {
            p = star_p + 1;
            t = ++star_t;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '%') ++p;
    return p == pattern.size();
}

}  // namespace db2s
