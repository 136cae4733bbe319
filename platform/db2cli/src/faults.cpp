#include "faults.hpp"

#include "handles.hpp"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace db2s {

namespace {

struct rule {
    std::string function;
    long nth = 0;
    std::string sqlstate;
    int native = 0;
    bool warning = false;
};

struct fault_state {
    std::mutex mutex;
    std::string setting;  // the variable's value the counters belong to
    std::vector<rule> rules;
    std::map<std::string, long> calls;
};

fault_state& state() {
    static fault_state s;
    return s;
}

std::vector<std::string> split(const std::string& s, char sep) {
    std::vector<std::string> out;
    std::string item;
    for (char c : s) {
        if (c == sep) {
            out.push_back(item);
            item.clear();
        } else {
            item.push_back(c);
        }
    }
    out.push_back(item);
    return out;
}

std::vector<rule> parse(const std::string& setting) {
    std::vector<rule> rules;
    for (const auto& text : split(setting, ';')) {
        const auto parts = split(text, ':');
        if (parts.size() < 4 || parts[0].empty()) continue;  // malformed rules are ignored
        rule r;
        r.function = parts[0];
        r.nth = std::strtol(parts[1].c_str(), nullptr, 10);
        r.sqlstate = parts[2];
        r.native = static_cast<int>(std::strtol(parts[3].c_str(), nullptr, 10));
        r.warning = parts.size() > 4 && parts[4] == "warn";
        if (r.nth > 0 && r.sqlstate.size() == 5) rules.push_back(std::move(r));
    }
    return rules;
}

// DB2STANDIN_CALL_LOG names a file that gets, at exit, one line "FUNCTION COUNT" per function
// called and a last line "live_handles N": what a fault sweep needs to know of a run.
const char* call_log() {
    static const char* path = std::getenv("DB2STANDIN_CALL_LOG");
    return path && *path ? path : nullptr;
}

void write_call_log() {
    fault_state& s = state();
    std::lock_guard lock(s.mutex);
    std::FILE* out = std::fopen(call_log(), "w");
    if (!out) return;
    for (const auto& [function, count] : s.calls) std::fprintf(out, "%s %ld\n", function.c_str(), count);
    std::fprintf(out, "live_handles %d\n", handle_table::instance().live());
    std::fclose(out);
}

}  // namespace

std::optional<injected_fault> check_fault(const char* function) {
    const char* env = std::getenv("DB2STANDIN_FAULTS");
    fault_state& s = state();
    if (call_log()) {
        // Registered after the handle table exists, so it runs before the table is gone.
        handle_table::instance();
        static const bool registered = std::atexit(write_call_log) == 0;
        (void)registered;
    }
    std::lock_guard lock(s.mutex);
    const std::string setting = env ? env : "";
    if (setting != s.setting) {
        s.setting = setting;
        s.rules = parse(setting);
        s.calls.clear();
    }
    if (s.rules.empty() && !call_log()) return std::nullopt;
    const long n = ++s.calls[function];
    for (const auto& r : s.rules) {
        if (r.function != function || r.nth != n) continue;
        if (r.sqlstate == "pause") {
            // A slow server, so that a test can act while a client waits on this call.
            std::this_thread::sleep_for(std::chrono::milliseconds(r.native));
            continue;
        }
        injected_fault f;
        f.warning = r.warning;
        const std::string text = "Fault injected into " + r.function + " (call " +
                                 std::to_string(n) + ").";
        f.record = r.native == -99999 ? client_diag("CLI0001E", text, r.sqlstate)
                                      : server_diag(r.native, text, r.sqlstate, r.sqlstate);
        return f;
    }
    return std::nullopt;
}

}  // namespace db2s
