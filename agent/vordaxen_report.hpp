#pragma once
// What the agent tells a person while and after a run: the progress line on a terminal and the
// end-of-run summary.

#include "udb_conv.hpp"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <ostream>
#include <streambuf>
#include <string>
#include <thread>

/// One line redrawn in place on a terminal (file descriptor `fd`) from a timer thread, so that
/// the conversion's per-record path only bumps the driver's counters. Standard output and
/// standard error are routed through it while it lives: any text written there first erases
/// the line, and the line is drawn again only once that text ended with a line feed, so the
/// ordinary lines read exactly as without it.
class vordaxen_progress {
public:
    /// Starts drawing the progress of `converter`'s current item on `fd`.
    vordaxen_progress(const udb_converter& converter, int fd);
    /// Erases the line, stops the thread and gives the streams back their own buffers.
    ~vordaxen_progress();
    vordaxen_progress(const vordaxen_progress&) = delete;
    vordaxen_progress& operator=(const vordaxen_progress&) = delete;

    /// Erases the line and draws no more (also called when the program exits mid-run).
    void halt();

    /// The line for `done` of `total` records at `rate` records per second, e.g.
    /// "  1500 of 6000 records, 25%, 300 records/s, 0:00:15 left".
    static std::string format(int done, int total, double rate);

private:
    // Passes a stream's text through after erasing the progress line.
    class gate : public std::streambuf {
    public:
        gate(vordaxen_progress& owner, std::streambuf* target) : owner_(owner), target_(target) {}
        std::streambuf* target() const noexcept { return target_; }

    protected:
        int overflow(int c) override;
        std::streamsize xsputn(const char* s, std::streamsize n) override;
        int sync() override;

    private:
        vordaxen_progress& owner_;
        std::streambuf* target_;
    };

    void loop();
    void draw_locked(const std::string& text);
    void erase_locked();

    const udb_converter& converter_;
    int fd_;
    std::mutex lock_;
    std::condition_variable wake_;
    bool stopping_ = false;
    bool drawn_ = false;
    bool mid_line_ = false; // some stream's last text did not end its line
    gate out_gate_;
    gate err_gate_;
    std::thread thread_;
};

/// The end-of-run summary of `converter`'s last run: one row per item (destination name,
/// records read, written and refused, time, records per second), the totals, the foreign keys
/// and views, the dump file and its size when `dump_file` is not empty, and the wall time.
std::string vordaxen_summary(const udb_converter& converter, const std::string& dump_file,
                             std::chrono::steady_clock::duration wall_time);

/// Whether the last run refused a record or failed an item, a foreign key or a view.
bool vordaxen_run_had_failures(const udb_converter& converter);
