#include "vordaxen_report.hpp"

#include "udb_errh.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A few redraws a second: enough to see movement, too few to cost anything.
constexpr auto redraw_interval = std::chrono::milliseconds(250);

void write_all(int fd, const std::string& text) {
    const char* p = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n <= 0) return; // a terminal that went away loses the progress line, nothing else
        p += n;
        left -= std::size_t(n);
    }
}

double seconds_of(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

std::string fixed(double value, int decimals) {
    char text[48];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string rate_text(long long records, double seconds) {
    if (seconds <= 0.0) return "-";
    return std::to_string(static_cast<long long>(double(records) / seconds));
}

std::string pad_left(const std::string& text, std::size_t width) {
    return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

std::string pad_right(const std::string& text, std::size_t width) {
    return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

} // namespace

// The line being drawn, for the exit path: a run that ends the program from inside (a stop
// signal, a lost server) leaves no stale line behind its last message.
std::atomic<vordaxen_progress*> active_progress{nullptr};

vordaxen_progress::vordaxen_progress(const udb_converter& converter, int fd)
    : converter_(converter), fd_(fd), out_gate_(*this, std::cout.rdbuf()), err_gate_(*this, std::cerr.rdbuf()) {
    std::cout.flush();
    std::cout.rdbuf(&out_gate_);
    std::cerr.rdbuf(&err_gate_);
    static const bool registered = std::atexit([] {
        if (vordaxen_progress* progress = active_progress.load()) progress->halt();
    }) == 0;
    (void)registered;
    active_progress.store(this);
    thread_ = std::thread([this] { loop(); });
}

void vordaxen_progress::halt() {
    std::lock_guard<std::mutex> guard(lock_);
    stopping_ = true;
    erase_locked();
}

vordaxen_progress::~vordaxen_progress() {
    active_progress.store(nullptr);
    halt();
    wake_.notify_all();
    thread_.join();
    std::cout.flush();
    std::cerr.flush();
    std::cout.rdbuf(out_gate_.target());
    std::cerr.rdbuf(err_gate_.target());
}

std::string vordaxen_progress::format(int done, int total, double rate) {
    std::string text = "  " + std::to_string(done) + " of " + std::to_string(total) + " records, " +
                       std::to_string(total > 0 ? static_cast<long long>(done) * 100 / total : 100) + "%";
    if (rate > 0.0) {
        text += ", " + std::to_string(static_cast<long long>(rate)) + " records/s";
        const long long left = static_cast<long long>(double(std::max(total - done, 0)) / rate + 0.5);
        char clock[48];
        std::snprintf(clock, sizeof clock, ", %lld:%02lld:%02lld left", left / 3600, left / 60 % 60, left % 60);
        text += clock;
    }
    return text;
}

void vordaxen_progress::loop() {
    using clock = std::chrono::steady_clock;
    // The rate is the run's so far: a table's first moments or a slow fetch do not make the
    // time left jump about.
    const clock::time_point started = clock::now();
    std::unique_lock<std::mutex> guard(lock_);
    while (!wake_.wait_for(guard, redraw_interval, [this] { return stopping_; })) {
        if (mid_line_ || stopping_) continue;
        const int total = converter_.records_in_item();
        const int done = converter_.records_done();
        if (total <= 0 || done >= total) {
            erase_locked();
            continue;
        }
        const double elapsed = seconds_of(clock::now() - started);
        const double handled = double(converter_.records_copied()) + double(converter_.records_refused());
        draw_locked(format(done, total, elapsed > 0.0 ? handled / elapsed : 0.0));
    }
}

void vordaxen_progress::draw_locked(const std::string& text) {
    write_all(fd_, "\r" + text + "\033[K");
    drawn_ = true;
}

void vordaxen_progress::erase_locked() {
    if (!drawn_) return;
    write_all(fd_, "\r\033[K");
    drawn_ = false;
}

int vordaxen_progress::gate::overflow(int c) {
    if (c == traits_type::eof()) return traits_type::not_eof(c);
    const char ch = traits_type::to_char_type(c);
    return xsputn(&ch, 1) == 1 ? c : traits_type::eof();
}

std::streamsize vordaxen_progress::gate::xsputn(const char* s, std::streamsize n) {
    std::lock_guard<std::mutex> guard(owner_.lock_);
    owner_.erase_locked();
    if (n > 0) owner_.mid_line_ = s[n - 1] != '\n';
    const std::streamsize written = target_->sputn(s, n);
    // The text reaches the terminal before the line can be drawn after it.
    target_->pubsync();
    return written;
}

int vordaxen_progress::gate::sync() {
    std::lock_guard<std::mutex> guard(owner_.lock_);
    return target_->pubsync();
}

std::string vordaxen_summary(const udb_converter& converter, const std::string& dump_file,
                             std::chrono::steady_clock::duration wall_time) {
    const auto& reports = converter.item_reports();
    std::size_t width = 5;
    for (const udb_item_report& r : reports)
        width = std::max(width, udb_console_text(r.destination.empty() ? r.name : r.destination).size());

    std::string text = "Summary:\n";
    const auto row = [&](const std::string& name, long long read, long long written, long long refused,
                         double seconds, const char* note) {
        text += "  " + pad_right(name, width) + pad_left(std::to_string(read), 12) +
                pad_left(std::to_string(written), 12) + pad_left(std::to_string(refused), 12) +
                pad_left(fixed(seconds, 2), 10) + pad_left(rate_text(written, seconds), 12);
        if (*note) text += std::string("  ") + note;
        text += '\n';
    };
    text += "  " + pad_right("Table", width) + pad_left("Read", 12) + pad_left("Written", 12) +
            pad_left("Refused", 12) + pad_left("Time (s)", 10) + pad_left("Records/s", 12) + '\n';
    long long read = 0, written = 0, refused = 0;
    double seconds = 0.0;
    int failed = 0;
    for (const udb_item_report& r : reports) {
        const char* note = "";
        if (r.result == udb_item_report::outcome::failed) note = "failed";
        if (r.result == udb_item_report::outcome::skipped) note = "skipped";
        row(udb_console_text(r.destination.empty() ? r.name : r.destination), r.records_read, r.records_copied,
            r.records_refused, seconds_of(r.time), note);
        read += r.records_read;
        written += r.records_copied;
        refused += r.records_refused;
        seconds += seconds_of(r.time);
        failed += r.result == udb_item_report::outcome::failed;
    }
    row("Total", read, written, refused, seconds, "");
    text += "  Tables failed: " + std::to_string(failed) + '\n';
    const udb_object_counts keys = converter.foreign_keys();
    const udb_object_counts views = converter.views();
    text += "  Foreign keys: " + std::to_string(keys.created) + " created, " + std::to_string(keys.failed) +
            " failed\n";
    text += "  Views: " + std::to_string(views.created) + " created, " + std::to_string(views.failed) + " failed\n";
    if (!dump_file.empty()) {
        struct stat info {};
        const std::string size = ::stat(dump_file.c_str(), &info) == 0 ? std::to_string(info.st_size) : "?";
        text += "  Dump file: " + dump_file + " (" + size + " bytes)\n";
    }
    text += "  Wall time: " + fixed(seconds_of(wall_time), 2) + " s\n";
    return text;
}

bool vordaxen_run_had_failures(const udb_converter& converter) {
    return converter.records_refused() > 0 || converter.items_failed() > 0 || converter.foreign_keys().failed > 0 ||
           converter.views().failed > 0;
}
