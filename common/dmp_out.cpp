#include "dmp_out.hpp"

#include "tk_excp.hpp"
#include "tk_utils.hpp"

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// Bytes kept before the file is written to: large enough that a write call costs little per
// row, small enough that memory stays flat whatever the table size.
constexpr std::size_t output_buffer_size = 256 * 1024;

std::string console_text(std::u16string_view text) {
    std::string out;
    if (!tk_try_to_ansi(tk_wprintable(text), out)) out = "?";
    return out;
}

// Temporary dump files not yet in place. The error handler ends a failed run with exit(), which
// runs no destructor: these are removed at exit instead.
std::vector<std::string>& pending_files() {
    static std::vector<std::string> files;
    return files;
}

// Workers create and drop parts of a dump at once.
std::mutex& pending_lock() {
    static std::mutex lock;
    return lock;
}

void remove_pending_files() {
    std::lock_guard<std::mutex> hold(pending_lock());
    for (const std::string& file : pending_files()) ::unlink(file.c_str());
}

void add_pending_file(const std::string& file) {
    // The list exists before the handler is registered, so it is destroyed after it has run.
    std::lock_guard<std::mutex> hold(pending_lock());
    pending_files().push_back(file);
    static const bool registered = std::atexit(remove_pending_files) == 0;
    (void)registered;
}

void drop_pending_file(const std::string& file) {
    std::lock_guard<std::mutex> hold(pending_lock());
    auto& files = pending_files();
    for (auto it = files.begin(); it != files.end(); ++it) {
        if (*it == file) {
            files.erase(it);
            return;
        }
    }
}

} // namespace

dmp_output::dmp_output(const std::u16string& path) : path_(console_text(path)) {
    if (!tk_try_to_ansi(path, final_path_)) {
        throw tk_exception("Cannot create the dump file '" + path_ +
                               "': the name cannot be written in the system's character set.",
                           tk_level_run);
    }
    struct stat existing {};
    if (::stat(final_path_.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode)) {
        fd_ = ::open(final_path_.c_str(), O_WRONLY | O_CLOEXEC);
    } else {
        std::string pattern = final_path_ + ".part-XXXXXX";
        fd_ = ::mkstemp(pattern.data());
        if (fd_ >= 0) {
            temp_path_ = std::move(pattern);
            add_pending_file(temp_path_);
            // The mode a newly created file would get, not the private one of a temporary file.
            const mode_t mask = ::umask(0);
            ::umask(mask);
            (void)::fchmod(fd_, 0666 & ~mask);
            (void)::fcntl(fd_, F_SETFD, FD_CLOEXEC);
        }
    }
    if (fd_ < 0) {
        // The text is built before the exception reads errno, so errno is set again after it.
        const int error = errno;
        const std::string text = "Cannot create the dump file '" + path_ + "': ";
        errno = error;
        throw tk_exception_ex(text, tk_level_run);
    }
    buffer_.reserve(output_buffer_size);
}

dmp_output::~dmp_output() {
    if (fd_ >= 0) ::close(fd_);
    if (!temp_path_.empty()) {
        ::unlink(temp_path_.c_str());
        drop_pending_file(temp_path_);
    }
}

void dmp_output::fail(int error) {
    error_ = error;
    const std::string text = "Cannot write the dump file '" + path_ + "': ";
    errno = error;
    throw tk_exception_ex(text, tk_level_run);
}

void dmp_output::write_all(const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t done = ::write(fd_, data, size);
        if (done < 0) {
            if (errno == EINTR) continue;
            fail(errno);
        }
        if (done == 0) fail(EIO);
        data += done;
        size -= std::size_t(done);
    }
}

void dmp_output::write(std::string_view bytes) {
    if (error_) fail(error_);
    tk_verify(fd_ >= 0, "dmp_out", __LINE__);
    if (buffer_.size() + bytes.size() <= output_buffer_size) {
        buffer_.append(bytes);
        return;
    }
    flush();
    if (bytes.size() >= output_buffer_size) {
        write_all(bytes.data(), bytes.size());
    } else {
        buffer_.append(bytes);
    }
}

void dmp_output::flush() {
    if (error_) fail(error_);
    if (buffer_.empty()) return;
    tk_verify(fd_ >= 0, "dmp_out", __LINE__);
    // Emptied first: a failed write must not be written again at the next call.
    const std::string pending = std::move(buffer_);
    buffer_.clear();
    buffer_.reserve(output_buffer_size);
    write_all(pending.data(), pending.size());
}

void dmp_output::copy_to(dmp_output& out) {
    flush();
    tk_verify(fd_ >= 0, "dmp_out", __LINE__);
    std::string chunk(output_buffer_size, '\0');
    for (off_t offset = 0;;) {
        const ssize_t got = ::pread(fd_, chunk.data(), chunk.size(), offset);
        if (got < 0) {
            if (errno == EINTR) continue;
            fail(errno);
        }
        if (got == 0) return;
        out.write(std::string_view(chunk.data(), std::size_t(got)));
        offset += got;
    }
}

void dmp_output::close() {
    if (fd_ < 0) return;
    flush();
    const int fd = fd_;
    fd_ = -1;
    // A delayed write error (a full disk behind a cache, a network file system) shows here.
    if (::close(fd) != 0) fail(errno);
    if (temp_path_.empty()) return;
    if (::rename(temp_path_.c_str(), final_path_.c_str()) != 0) fail(errno);
    drop_pending_file(temp_path_);
    temp_path_.clear();
}
