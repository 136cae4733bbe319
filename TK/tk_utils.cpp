#include "tk_utils.hpp"

#include "tk_log.hpp"

#include <cerrno>
#include <clocale>
#include <fcntl.h>
#include <langinfo.h>
#include <limits.h>
#include <memory>
#include <sys/stat.h>
#include <type_traits>
#include <unicode/ucnv.h>
#include <unistd.h>

namespace {

[[noreturn]] void fail(const char* text) {
    errno = EILSEQ;
    throw tk_exception_ex(text, tk_level_item);
}

// Appends UTF-8; false on an unpaired surrogate (with the text before it appended).
bool append_utf8(std::string& out, std::u16string_view in) {
    // Sized for ASCII, one byte a unit, so that short text stays in the string's own buffer;
    // the first wider character sizes it for three bytes a unit left (a surrogate pair takes
    // four for two), so it grows at most once. Written through a pointer, cut to what was written.
    const std::size_t n = in.size();
    out.resize(out.size() + n);
    char* dst = out.data() + (out.size() - n);
    bool ok = true;
    for (std::size_t i = 0; i < n;) {
        char32_t c = in[i++];
        if (c < 0x80) {
            *dst++ = static_cast<char>(c);
            continue;
        }
        const std::size_t used = std::size_t(dst - out.data());
        const std::size_t need = used + 3 * (n - i + 1);
        if (out.size() < need) {
            out.resize(need);
            dst = out.data() + used;
        }
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i == n || in[i] < 0xDC00 || in[i] > 0xDFFF) {
                ok = false;
                break;
            }
            c = 0x10000 + ((c - 0xD800) << 10) + (in[i++] - 0xDC00);
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            ok = false;
            break;
        }
        if (c < 0x800) {
            *dst++ = static_cast<char>(0xC0 | (c >> 6));
            *dst++ = static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            *dst++ = static_cast<char>(0xE0 | (c >> 12));
            *dst++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            *dst++ = static_cast<char>(0x80 | (c & 0x3F));
        } else {
            *dst++ = static_cast<char>(0xF0 | (c >> 18));
            *dst++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            *dst++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            *dst++ = static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    out.resize(std::size_t(dst - out.data()));
    return ok;
}

// Strict UTF-8 decoding (no overlongs, no surrogates, nothing above U+10FFFF).
bool decode_utf8(std::string_view in, std::u16string& out) {
    out.clear();
    out.reserve(in.size());
    const auto* s = reinterpret_cast<const unsigned char*>(in.data());
    const std::size_t n = in.size();
    std::size_t i = 0;
    while (i < n) {
        unsigned char b = s[i];
        if (b < 0x80) {
            out += static_cast<char16_t>(b);
            ++i;
            continue;
        }
        int extra;
        char32_t c, min;
        if ((b & 0xE0) == 0xC0) extra = 1, c = b & 0x1F, min = 0x80;
        else if ((b & 0xF0) == 0xE0) extra = 2, c = b & 0x0F, min = 0x800;
        else if ((b & 0xF8) == 0xF0) extra = 3, c = b & 0x07, min = 0x10000;
        else return false;
        if (i + static_cast<std::size_t>(extra) >= n) return false;
        for (int k = 1; k <= extra; ++k) {
            unsigned char t = s[i + k];
            if ((t & 0xC0) != 0x80) return false;
            c = (c << 6) | (t & 0x3F);
        }
        if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
        i += static_cast<std::size_t>(extra) + 1;
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
    }
    return true;
}

bool is_utf8_name(const std::string& name) {
    std::string n;
    for (char c : name)
        if (c != '-' && c != '_') n += static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    return n == "UTF8";
}

struct converter_closer {
    void operator()(UConverter* c) const noexcept { ucnv_close(c); }
};
using converter_ptr = std::unique_ptr<UConverter, converter_closer>;

converter_ptr open_converter(const char* name) {
    UErrorCode status = U_ZERO_ERROR;
    converter_ptr conv(ucnv_open(name, &status));
    if (U_FAILURE(status)) return nullptr;
    // Refuse instead of substituting: a silently replaced character is lost data.
    status = U_ZERO_ERROR;
    ucnv_setFromUCallBack(conv.get(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    ucnv_setToUCallBack(conv.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    return conv;
}

bool icu_from_unicode(const char* code_page, std::u16string_view in, std::string& out) {
    converter_ptr conv = open_converter(code_page);
    if (!conv) return false;
    out.assign(in.size() * 4 + 4, '\0');
    UErrorCode status = U_ZERO_ERROR;
    int32_t n = ucnv_fromUChars(conv.get(), out.data(), static_cast<int32_t>(out.size()), in.data(),
                                static_cast<int32_t>(in.size()), &status);
    if (U_FAILURE(status)) return false;
    out.resize(static_cast<std::size_t>(n));
    return true;
}

bool icu_to_unicode(const char* code_page, std::string_view in, std::u16string& out) {
    converter_ptr conv = open_converter(code_page);
    if (!conv) return false;
    out.assign(in.size() * 2 + 2, u'\0');
    UErrorCode status = U_ZERO_ERROR;
    int32_t n = ucnv_toUChars(conv.get(), out.data(), static_cast<int32_t>(out.size()), in.data(),
                              static_cast<int32_t>(in.size()), &status);
    if (U_FAILURE(status)) return false;
    out.resize(static_cast<std::size_t>(n));
    return true;
}

} // namespace

const std::string& tk_ansi_code_page() {
    static const std::string name = [] {
        const char* locale = std::setlocale(LC_CTYPE, nullptr);
        const char* cs = nl_langinfo(CODESET);
        // The plain C locale reports ASCII; the engine then still speaks UTF-8 so that no
        // console or setting loses non-ASCII names.
        if (!locale || std::string(locale) == "C" || std::string(locale) == "POSIX" || !cs || !*cs)
            return std::string("UTF-8");
        std::string s(cs);
        return s == "ANSI_X3.4-1968" ? std::string("UTF-8") : s;
    }();
    return name;
}

void tk_append_utf8(std::string& out, std::u16string_view text) {
    if (!append_utf8(out, text)) fail("Cannot convert to UTF8 string: ");
}

std::string tk_to_utf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    tk_append_utf8(out, text);
    return out;
}

std::u16string tk_from_utf8(std::string_view text) {
    std::u16string out;
    if (!decode_utf8(text, out)) fail("Cannot convert to UNICODE string: ");
    return out;
}

bool tk_try_to_ansi(std::u16string_view text, std::string& out) {
    const std::string& cp = tk_ansi_code_page();
    if (is_utf8_name(cp)) {
        out.clear();
        return append_utf8(out, text);
    }
    return icu_from_unicode(cp.c_str(), text, out);
}

bool tk_try_from_ansi(std::string_view text, std::u16string& out) {
    const std::string& cp = tk_ansi_code_page();
    if (is_utf8_name(cp)) return decode_utf8(text, out);
    return icu_to_unicode(cp.c_str(), text, out);
}

std::string tk_to_ansi(std::u16string_view text, const char* code_page) {
    std::string out;
    bool ok = code_page ? (is_utf8_name(code_page) ? (out.clear(), append_utf8(out, text))
                                                   : icu_from_unicode(code_page, text, out))
                        : tk_try_to_ansi(text, out);
    if (!ok) fail("Cannot convert to ANSI string: ");
    return out;
}

std::u16string tk_from_ansi(std::string_view text) {
    std::u16string out;
    if (!tk_try_from_ansi(text, out)) fail("Cannot convert to UNICODE string: ");
    return out;
}

std::u16string tk_ascii_to_wide(std::string_view text) {
    std::u16string out(text.size(), u'\0');
    for (std::size_t i = 0; i < text.size(); ++i) out[i] = static_cast<unsigned char>(text[i]);
    return out;
}

std::string tk_trim(std::string_view text) {
    std::size_t b = text.find_first_not_of(' ');
    if (b == std::string_view::npos) return {};
    std::size_t e = text.find_last_not_of(' ');
    return std::string(text.substr(b, e - b + 1));
}

std::string tk_trim_left(std::string_view text) {
    std::size_t b = text.find_first_not_of(' ');
    return b == std::string_view::npos ? std::string() : std::string(text.substr(b));
}

namespace {
template <class Char> std::basic_string<Char> printable(std::basic_string_view<Char> text) {
    const auto is_control = [](Char c) {
        const auto u = static_cast<std::make_unsigned_t<Char>>(c);
        return u < 0x20 || u == 0x7F;
    };
    std::basic_string<Char> out;
    out.reserve(text.size());
    for (Char c : text) {
        if (!is_control(c)) {
            out += c;
            continue;
        }
        out += Char('\\');
        if (c == '\n') out += Char('n');
        else if (c == '\r') out += Char('r');
        else if (c == '\t') out += Char('t');
        else {
            static constexpr char digits[] = "0123456789ABCDEF";
            out += Char('x');
            const auto u = static_cast<unsigned>(static_cast<std::make_unsigned_t<Char>>(c));
            out += Char(digits[(u >> 4) & 0xF]);
            out += Char(digits[u & 0xF]);
        }
    }
    return out;
}
} // namespace

std::u16string tk_wprintable(std::u16string_view text) { return printable(text); }

std::string tk_printable(std::string_view text) { return printable(text); }

std::u16string tk_wtrim_right(std::u16string_view text) {
    std::size_t e = text.find_last_not_of(u' ');
    return e == std::u16string_view::npos ? std::u16string() : std::u16string(text.substr(0, e + 1));
}

std::u16string tk_wtrim_left(std::u16string_view text) {
    std::size_t b = text.find_first_not_of(u' ');
    return b == std::u16string_view::npos ? std::u16string() : std::u16string(text.substr(b));
}

std::u16string tk_wtrim(std::u16string_view text) {
    std::size_t e = text.find_last_not_of(u' ');
    if (e == std::u16string_view::npos) {
        if (!text.empty()) tk_trace(1, "Special processing for all-spaces-string");
        return {};
    }
    std::size_t b = text.find_first_not_of(u' ');
    return std::u16string(text.substr(b, e - b + 1));
}

std::u16string tk_wstring::to_upper(std::u16string_view text) {
    if (!tk_log::skips(1)) {
        std::string narrow;
        tk_try_to_ansi(text, narrow);
        tk_trace(1, "tk_wstring::to_upper(%s)", narrow.c_str());
    }
    std::u16string out(text);
    for (char16_t& c : out)
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
    return out;
}

bool tk_is_file_exist(const std::string& path, int access) {
    tk_trace(1, "tk_is_file_exist(%s)", path.c_str());
    // Non-blocking, so that a named pipe answers at once instead of waiting for a writer.
    int fd = ::open(path.c_str(), (access == 1 ? O_RDWR : O_RDONLY) | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        tk_trace(1, "File not exists!");
        return false;
    }
    struct stat st {};
    bool is_dir = ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
    ::close(fd);
    if (is_dir) {
        // A folder opens read-only on Linux, yet it is no file.
        tk_trace(1, "File not exists!");
        return false;
    }
    return true;
}

bool tk_is_file_exist(std::u16string_view path, int access) {
    std::string narrow;
    if (!tk_try_to_ansi(path, narrow)) return false;
    return tk_is_file_exist(narrow, access);
}

bool tk_is_special_file(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode);
}

bool tk_is_path_exist(const std::string& path) {
    tk_trace(1, "tk_is_path_exist(%s)", path.c_str());
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

bool tk_is_path_exist(std::u16string_view path) {
    std::string narrow;
    if (!tk_try_to_ansi(path, narrow)) return false;
    return tk_is_path_exist(narrow);
}

std::string tk_program_path() {
    char buffer[PATH_MAX + 1];
    ssize_t n = ::readlink("/proc/self/exe", buffer, PATH_MAX);
    if (n <= 0) throw tk_mail_assertion("tk_utils", 113);
    return std::string(buffer, static_cast<std::size_t>(n));
}

std::u16string tk_program_wpath() {
    std::u16string out;
    if (!tk_try_from_ansi(tk_program_path(), out)) throw tk_mail_assertion("tk_utils", 126);
    return out;
}
