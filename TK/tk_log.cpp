#include "tk_log.hpp"

#include "tk_utils.hpp"

#include <climits>
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

tk_log::tk_log(const char* path, bool enabled, int threshold, bool time_stamps) {
    // The instance is already registered here: finding the program path may raise an
    // assertion, which traces, so the log must read as disabled until it is complete.
    path_ = path ? std::string(path) : tk_program_path() + ".log";
    threshold_ = threshold;
    time_stamps_ = time_stamps;
    enabled_ = enabled;
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
    std::lock_guard<std::mutex> hold(write_lock_);
    if (!truncated_.load(std::memory_order_relaxed)) {
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

namespace {
// Formats one numeric conversion with the C formatter; `spec` is built from a trusted format.
template <class T> void append_formatted(std::u16string& out, const std::string& spec, T value) {
    char small[128];
    int n = std::snprintf(small, sizeof small, spec.c_str(), value);
    if (n <= 0) return;
    std::string big;
    const char* text = small;
    if (static_cast<std::size_t>(n) >= sizeof small) {
        big.assign(static_cast<std::size_t>(n) + 1, '\0');
        std::snprintf(big.data(), big.size(), spec.c_str(), value);
        text = big.data();
    }
    for (int i = 0; i < n; ++i) out += static_cast<char16_t>(static_cast<unsigned char>(text[i]));
}

void append_padded(std::u16string& out, std::u16string_view text, int width, bool left) {
    const std::size_t pad = width > 0 && static_cast<std::size_t>(width) > text.size()
                                ? static_cast<std::size_t>(width) - text.size() : 0;
    if (!left) out.append(pad, u' ');
    out += text;
    if (left) out.append(pad, u' ');
}

int read_number(const char16_t*& q) {
    int n = 0;
    while (*q >= u'0' && *q <= u'9') {
        if (n < 100000) n = n * 10 + (*q - u'0');
        ++q;
    }
    return n;
}
} // namespace

std::u16string tk_wformat(const char16_t* format, va_list args, std::size_t max_units) {
    std::u16string out;
    if (!format) return out;
    for (const char16_t* p = format; *p && out.size() < max_units; ++p) {
        if (*p != u'%') {
            out += *p;
            continue;
        }
        // One conversion: flags, width, precision, length, conversion character. Every
        // argument a conversion names is consumed, so that the ones after it stay in step.
        const char16_t* q = p + 1;
        std::string flags;
        while (*q && std::u16string_view(u"-+ #0").find(*q) != std::u16string_view::npos) flags += static_cast<char>(*q++);
        int width = -1;
        if (*q == u'*') {
            width = va_arg(args, int);
            if (width < 0) {
                flags += '-';
                width = width == INT_MIN ? INT_MAX : -width;
            }
            ++q;
        } else if (*q >= u'0' && *q <= u'9') {
            width = read_number(q);
        }
        int precision = -1;
        if (*q == u'.') {
            ++q;
            if (*q == u'*') {
                precision = va_arg(args, int);
                ++q;
            } else {
                precision = read_number(q);
            }
        }
        if (width > 100000) width = 100000;
        const auto [long_int, long_double] = tk_wformat_length(q);
        const char16_t conv = *q;
        if (!conv) break;
        p = q;
        const bool left = flags.find('-') != std::string::npos;
        std::string spec = "%" + flags;
        if (width >= 0) spec += std::to_string(width);
        if (precision >= 0) spec += "." + std::to_string(precision);
        const tk_wconv kind = tk_wconversion(conv);
        switch (kind) {
        case tk_wconv::percent:
            out += u'%';
            break;
        case tk_wconv::text: {
            const char16_t* s = va_arg(args, const char16_t*);
            std::u16string_view text = s ? std::u16string_view(s) : std::u16string_view(u"(null)");
            if (precision >= 0 && static_cast<std::size_t>(precision) < text.size()) text = text.substr(0, precision);
            // Arguments are names and paths from outside: one must not forge a line of its own.
            append_padded(out, tk_wprintable(text), width, left);
            break;
        }
        case tk_wconv::character: {
            const char16_t c = static_cast<char16_t>(va_arg(args, int));
            append_padded(out, std::u16string_view(&c, 1), width, left);
            break;
        }
        case tk_wconv::signed_int:
            if (long_int) append_formatted(out, spec + "lld", va_arg(args, long long));
            else append_formatted(out, spec + "d", va_arg(args, int));
            break;
        case tk_wconv::unsigned_int:
            if (long_int) append_formatted(out, spec + "ll" + static_cast<char>(conv), va_arg(args, unsigned long long));
            else append_formatted(out, spec + static_cast<char>(conv), va_arg(args, unsigned));
            break;
        case tk_wconv::real:
            if (long_double) append_formatted(out, spec + "L" + static_cast<char>(conv), va_arg(args, long double));
            else append_formatted(out, spec + static_cast<char>(conv), va_arg(args, double));
            break;
        case tk_wconv::pointer:
            append_formatted(out, std::string("%p"), va_arg(args, void*));
            break;
        case tk_wconv::count:
            (void)va_arg(args, void*); // a trace never writes through its arguments
            break;
        case tk_wconv::unknown:
            break; // unknown conversion: its argument type is unknown too, so stop reading them
        }
        if (kind == tk_wconv::unknown) break;
    }
    if (out.size() > max_units) out.resize(max_units);
    return out;
}

void tk_wtrace_unchecked(int level, const char16_t* format, ...) {
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
