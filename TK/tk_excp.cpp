#include "tk_excp.hpp"

#include "tk_log.hpp"
#include "tk_utils.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {
constexpr const char* unknown_text = "Unknown exception";

std::string system_text(int error) {
    char buffer[256];
    // GNU strerror_r returns the text, which may or may not live in the buffer.
    const char* text = strerror_r(error, buffer, sizeof buffer);
    return text ? std::string(text) : std::string();
}
} // namespace

tk_exception::tk_exception(std::string_view text, int level)
    : message_(text.empty() ? std::string(unknown_text) : std::string(text)), level_(level) {}

tk_exception::tk_exception(int level) : message_(unknown_text), level_(level) {}

tk_exception::tk_exception(std::u16string_view text, int level) : level_(level) {
    std::string narrow;
    if (!tk_try_to_ansi(text, narrow)) {
        // A message must never be lost to its own encoding: keep its ASCII and mark what the
        // code page cannot hold.
        narrow.clear();
        for (char16_t c : text) narrow += c < 0x80 ? static_cast<char>(c) : '?';
    }
    message_ = narrow.empty() ? std::string(unknown_text) : std::move(narrow);
}

tk_mail_assertion::tk_mail_assertion(const char* source, int line) : tk_exception(tk_level_internal) {
    tk_trace(2, "tk_mail_assertion::ctor(%s)", source ? source : "");
    std::string location = std::string(source ? source : "") + "\\" + std::to_string(line);
    std::string message = "Internal error: \ncode=";
    char hex[4];
    for (unsigned char byte : location) {
        std::snprintf(hex, sizeof hex, "%x", byte);
        message += hex;
    }
    set_message(std::move(message));
}

tk_exception_ex::tk_exception_ex(int level) : tk_exception_ex(std::string_view(), level, errno) {}

tk_exception_ex::tk_exception_ex(std::string_view text, int level) : tk_exception_ex(text, level, errno) {}

tk_exception_ex::tk_exception_ex(std::string_view text, int level, int error) : tk_exception(level) {
    set_code(error);
    std::string sys = error ? system_text(error) : std::string();
    if (!sys.empty()) {
        tk_trace(2, "GetLastError: %s", sys.c_str());
        set_message(std::string(text) + sys);
    }
}
