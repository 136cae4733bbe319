#pragma once
// A file that exists and opens for reading but not for reading and writing, for the current
// user. Root opens any ordinary file for writing whatever its mode bits, so as root the helper
// falls back to kernel attribute files that refuse writers to everyone; empty when none exists
// (the caller then skips).

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

inline std::string read_only_file(const std::filesystem::path& scratch) {
    auto opens = [](const std::string& p, int flags) {
        int fd = ::open(p.c_str(), flags | O_CLOEXEC);
        if (fd >= 0) ::close(fd);
        return fd >= 0;
    };
    if (::geteuid() != 0) {
        std::filesystem::create_directories(scratch);
        const std::string p = (scratch / "read-only.txt").string();
        { std::ofstream(p) << "x"; }
        ::chmod(p.c_str(), 0444);
        return p;
    }
    for (const char* p : {"/sys/devices/system/cpu/online", "/sys/kernel/uevent_seqnum", "/sys/devices/system/cpu/possible"})
        if (opens(p, O_RDONLY) && !opens(p, O_RDWR)) return p;
    return {};
}
