#pragma once
// Base of every converter: the settings every front end fills whatever the two ends are,
// and the hooks a background run is driven through.

#include <atomic>
#include <string>
#include <string_view>

/// Holds the finished and silent flags, the source and destination names and the log-file
/// path. The generic driver derives from it; the run operation is replaced there.
/// Used by one thread at a time (the wizard's window thread only reads the finished flag).
class tk_converter {
public:
    tk_converter() = default;
    tk_converter(const tk_converter&) = delete;
    tk_converter& operator=(const tk_converter&) = delete;
    virtual ~tk_converter() = default;

    /// Runs the conversion. This base only waits until is_done() answers true, then calls
    /// notify(); derived converters replace it with the real run.
    virtual void operator()();
    /// Whether the run has nothing left to do; the base answers false.
    virtual bool is_done();
    /// One pause of a waiting loop: 100 milliseconds.
    virtual void wait();
    /// Told when the run ends; the base does nothing.
    virtual void notify();
    /// Switches console output off (true) or on.
    virtual void set_silent(bool silent) { silent_ = silent; }

    /// Checks and stores the trace-log path, then points the trace log at it and enables it.
    /// An empty path only clears the stored one. Raises tk_exception (level 1) with
    /// "Logfile name specifies an existing read-only file." when the file exists and cannot be
    /// opened for writing, and "Logfile path does not exist.\nPlease verify the correct path
    /// was given." when its folder does not exist. Without a trace log (the wizard has none)
    /// the path is only stored.
    void set_logfile(const std::string& path);

    /// Set at the end of every run; safe to poll from another thread.
    bool finished() const noexcept { return finished_.load(std::memory_order_acquire); }
    void set_finished(bool done) noexcept { finished_.store(done, std::memory_order_release); }
    bool silent() const noexcept { return silent_; }
    const std::u16string& source_name() const noexcept { return source_; }
    void set_source_name(std::u16string_view name) { source_ = name; }
    /// MySQL database name in direct mode, dump file path in dump mode.
    const std::u16string& destination() const noexcept { return destination_; }
    void set_destination(std::u16string_view name) { destination_ = name; }
    const std::string& logfile() const noexcept { return logfile_; }

protected:
    // The wizard's window thread polls this flag while the worker runs: atomic, so that the
    // poll is no data race and the finish page sees the counters written before it.
    std::atomic<bool> finished_ = false;
    bool silent_ = false;
    std::u16string source_;
    std::u16string destination_;
    std::string logfile_;
};
