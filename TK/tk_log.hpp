#pragma once
// The trace log: one text file that records what the engine did, entry by entry.

#include "tk_singl.hpp"
#include "tk_wfmt.hpp"

#include <atomic>
#include <cstdarg>
#include <mutex>
#include <string>
#include <type_traits>
#include <utility>

/// Trace levels: 1 detail, 2 operation entry, 3 what a user needs.
/// An entry is written when its level is at least the threshold. The file is opened and closed
/// for every entry so that it is complete up to the last entry even if the process dies.
/// Entries may come from two threads (the wizard's window and its run); each stays one line.
/// The settings are changed only while no run is under way.
class tk_log : public tk_singleton<tk_log> {
public:
    /// A null path means the program's own path with ".log" appended. Created enabled, the
    /// file is emptied at once.
    tk_log(const char* path, bool enabled, int threshold, bool time_stamps);
    ~tk_log() = default;

    /// Replaces the path; null is an internal assertion. Does not empty the new file when the
    /// process already emptied one.
    void set_path(const char* path);
    void enable(bool on = true) noexcept { enabled_ = on; }
    void set_threshold(int level) noexcept { threshold_ = level; }
    void set_time_stamps(bool on) noexcept { time_stamps_ = on; }
    void set_line_end(bool on) noexcept { line_end_ = on; }

    const std::string& path() const noexcept { return path_; }
    bool enabled() const noexcept { return enabled_; }
    int threshold() const noexcept { return threshold_; }

    /// True when an entry of `level` would do nothing: the whole cost of a silent entry.
    /// (An entry below the threshold still empties the file once, hence the truncated test.)
    static bool skips(int level) noexcept {
        const tk_log* log = pointer();
        return !log || !log->enabled_ || (log->truncated_.load(std::memory_order_relaxed) && level < log->threshold_);
    }

    /// Writes one entry of already formatted text (steps 2 to 8 of an entry).
    void write(int level, const char* text, std::size_t size);

private:
    std::string path_;
    int threshold_ = 3;
    bool line_end_ = true;
    bool enabled_ = false;
    // Set by the first entry, which may come from a worker thread while the window thread
    // asks skips(); entries are written whole under write_lock_.
    std::atomic<bool> truncated_ = false;
    std::mutex write_lock_;
    bool time_stamps_ = false;
};

/// Formats and writes one narrow entry; use through tk_trace, which skips it cheaply.
void tk_trace_write(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));
/// Formats one wide entry (a printf format in UTF-16 whose %s arguments are `const char16_t*`)
/// and writes it as UTF-8. Nothing checks the arguments here: reach it through tk_wtrace.
void tk_wtrace_unchecked(int level, const char16_t* format, ...);
/// Formats and writes one wide entry whose format was checked against `args` during compilation;
/// use through tk_wtrace, which skips it cheaply.
template <class... A>
void tk_wtrace_write(int level, tk_wformat_string<std::decay_t<A>...> format, A&&... args) {
    tk_wtrace_unchecked(level, format.get(), std::forward<A>(args)...);
}
/// The wide formatter on its own, for callers that need the text (at most `max_units` units).
std::u16string tk_wformat(const char16_t* format, va_list args, std::size_t max_units = 10239);

/// Writes a narrow trace entry. The arguments are not even evaluated when the entry is skipped.
#define tk_trace(level, ...) (tk_log::skips(level) ? void() : tk_trace_write((level), __VA_ARGS__))
/// Writes a wide trace entry (UTF-16 format, `const char16_t*` for %s), stored as UTF-8. A format
/// that does not fit its arguments does not compile; skipped entries evaluate no argument.
#define tk_wtrace(level, ...) (tk_log::skips(level) ? void() : tk_wtrace_write((level), __VA_ARGS__))
