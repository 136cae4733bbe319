#include "tk_log.hpp"

#include "tk_utils.hpp"

#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

namespace {
// Writes all of `size` bytes; a short write ends the entry silently (a lost entry is no error).
bool write_all(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}
} // namespace

tk_log::tk_log(const char* path, bool enabled, int threshold, bool time_stamps)
    : path_(path ? std::string(path) : tk_program_path() + ".log"), threshold_(threshold), enabled_(enabled),
      time_stamps_(time_stamps) {
    if (enabled_) {
        int fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd >= 0) ::close(fd);
        truncated_ = true;
    }
}

void tk_log::set_path(const char* path) {
    if (!path) throw tk_mail_assertion("tk_log", 82);
    path_ = path;
}

void tk_log::write(int level, const char* text, std::size_t size) {
    if (!enabled_) return;
    if (!truncated_) {
        int fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd >= 0) ::close(fd);
        truncated_ = true;
    }
    if (level < threshold_) return;
    int fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return;
    bool ok = true;
    if (time_stamps_) {
        std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        char stamp[16];
        int n = std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d ", local.tm_hour, local.tm_min, local.tm_sec);
        ok = write_all(fd, stamp, static_cast<std::size_t>(n));
    }
    if (ok) ok = write_all(fd, text, size);
    if (ok && line_end_) write_all(fd, "\r\n", 2);
    ::close(fd);
}

void tk_trace_write(int level, const char* format, ...) {
    tk_log* log = tk_log::pointer();
    if (!log) return;
    char small[512];
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    int n = std::vsnprintf(small, sizeof small, format, args);
    va_end(args);
    if (n < 0) {
        va_end(again);
        log->write(level, "", 0);
        return;
    }
    if (static_cast<std::size_t>(n) < sizeof small) {
        va_end(again);
        log->write(level, small, static_cast<std::size_t>(n));
        return;
    }
    std::string big(static_cast<std::size_t>(n) + 1, '\0');
    std::vsnprintf(big.data(), big.size(), format, again);
    va_end(again);
    log->write(level, big.data(), static_cast<std::size_t>(n));
}

std::u16string tk_wformat(const char16_t* format, va_list args, std::size_t max_units) {
    std::u16string out;
    if (!format) return out;
    for (const char16_t* p = format; *p && out.size() < max_units; ++p) {
        if (*p != u'%') {
            out += *p;
            continue;
        }
        // Collect one conversion: flags, width, precision, length, conversion character.
        std::string spec = "%";
        const char16_t* q = p + 1;
        while (*q && std::u16string_view(u"-+ #0123456789.*hlLqjztI").find(*q) != std::u16string_view::npos)
            spec += static_cast<char>(*q++);
        if (!*q) break;
        const char16_t conv = *q;
        p = q;
        if (conv == u'%') {
            out += u'%';
            continue;
        }
        if (spec.find('*') != std::string::npos) {
            // Width or precision from the arguments is not used by the engine's formats.
            out += u'?';
            continue;
        }
        if (conv == u's' || conv == u'S') {
            const char16_t* s = va_arg(args, const char16_t*);
            out += s ? s : u"(null)";
            continue;
        }
        spec += static_cast<char>(conv);
        char buffer[128];
        int n = 0;
        const bool wide_int = spec.find("ll") != std::string::npos || spec.find("I64") != std::string::npos ||
                              spec.find('j') != std::string::npos || spec.find('z') != std::string::npos ||
                              (spec.find('l') != std::string::npos);
        switch (conv) {
        case u'd':
        case u'i':
        case u'u':
        case u'x':
        case u'X':
        case u'o':
        case u'c':
            if (auto pos = spec.find("I64"); pos != std::string::npos) spec.replace(pos, 3, "ll");
            if (wide_int) {
                // long and long long are both 64-bit here.
                std::string s = spec;
                if (s.find("ll") == std::string::npos) s.insert(s.size() - 1, "l");
                n = std::snprintf(buffer, sizeof buffer, s.c_str(), va_arg(args, long long));
            } else {
                n = std::snprintf(buffer, sizeof buffer, spec.c_str(), va_arg(args, int));
            }
            break;
        case u'e':
        case u'E':
        case u'f':
        case u'F':
        case u'g':
        case u'G':
            n = std::snprintf(buffer, sizeof buffer, spec.c_str(), va_arg(args, double));
            break;
        case u'p':
            n = std::snprintf(buffer, sizeof buffer, "%p", va_arg(args, void*));
            break;
        default:
            n = 0;
            break;
        }
        for (int i = 0; i < n && i < static_cast<int>(sizeof buffer) - 1; ++i)
            out += static_cast<char16_t>(static_cast<unsigned char>(buffer[i]));
    }
    if (out.size() > max_units) out.resize(max_units);
    return out;
}

void tk_wtrace_write(int level, const char16_t* format, ...) {
    tk_log* log = tk_log::pointer();
    if (!log) return;
    va_list args;
    va_start(args, format);
    std::u16string text = tk_wformat(format, args);
    va_end(args);
    std::string utf8;
    try {
        utf8 = tk_to_utf8(text);
    } catch (const tk_exception&) {
        utf8.clear(); // a text that cannot be converted is dropped, the line end is still written
    }
    log->write(level, utf8.data(), utf8.size());
}
