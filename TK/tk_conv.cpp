#include "tk_conv.hpp"

#include "tk_excp.hpp"
#include "tk_fname.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

void tk_converter::operator()() {
    while (!is_done()) wait();
    notify();
}

bool tk_converter::is_done() { return false; }

void tk_converter::wait() { std::this_thread::sleep_for(std::chrono::milliseconds(100)); }

void tk_converter::notify() {}

void tk_converter::set_logfile(const std::string& path) {
    tk_trace(1, "tk_convertor::set_logfile(%s)", path.c_str());
    if (!path.empty()) {
        if (tk_is_special_file(path))
            throw tk_exception("Logfile name does not specify a regular file.", tk_level_run);
        if (tk_is_file_exist(path, tk_file_readable) && !tk_is_file_exist(path, 1))
            throw tk_exception("Logfile name specifies an existing read-only file.", tk_level_run);
        tk_file_name parts;
        parts.initialize(path.c_str());
        if (!tk_is_path_exist(parts.directory()))
            throw tk_exception("Logfile path does not exist.\nPlease verify the correct path was given.",
                               tk_level_run);
    }
    logfile_ = path;
    if (path.empty()) return;
    // A front end without a trace log (the wizard) keeps the path only.
    if (tk_log* log = tk_log::pointer()) {
        // A file that cannot be made (a folder the user may not write to, a name too long)
        // would lose every entry without a word. The log empties the file anyway.
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NONBLOCK, 0644);
        if (fd < 0) {
            const int error = errno; // the text is built before the exception reads errno
            const std::string text = "Cannot write the logfile '" + tk_printable(path) + "': ";
            errno = error;
            throw tk_exception_ex(text, tk_level_run);
        }
        ::close(fd);
        log->set_path(path.c_str());
        log->enable();
    }
}
