#pragma once
// The dump writer's file: one buffer in front of the descriptor, and the temporary name that
// keeps an unfinished dump from standing under the real one.

#include <cstddef>
#include <string>
#include <string_view>

/// The dump file itself, written through one buffer so that statements of any size stream to
/// disk with flat memory. A regular file (or a missing one) is written as a temporary file
/// beside it and renamed into place by close(), so an old dump stays whole until a new one is
/// complete, and a run that fails or is stopped leaves no part of a dump under the name; the
/// temporary file is removed when the object goes without close(), and at process exit when
/// the program ends in between. Anything else at the path (a device) is written in place.
/// Every failure is a run-level tk_exception_ex naming the file, with the system's text; once
/// a write has failed, every later write fails the same way, so a cut file is never reported
/// as complete.
class dmp_output {
public:
    /// Creates the temporary file (or opens a device); failure raises "Cannot create the dump
    /// file '<path>': ".
    explicit dmp_output(const std::u16string& path);
    /// Closes the descriptor without writing and removes the temporary file: callers that want
    /// the rest on disk call close().
    ~dmp_output();
    dmp_output(const dmp_output&) = delete;
    dmp_output& operator=(const dmp_output&) = delete;

    /// Appends bytes; writes the buffer out when it is full. Large pieces go straight to disk.
    void write(std::string_view bytes);
    /// Writes out everything buffered.
    void flush();
    /// Flushes, closes and renames the temporary file into place; afterwards every write fails
    /// as an internal assertion (dmp_out).
    void close();
    /// False once close() has run, whether or not it succeeded.
    bool is_open() const noexcept { return fd_ >= 0; }
    /// Whether the file is written where it lies (a device) rather than put in place by close().
    bool in_place() const noexcept { return temp_path_.empty(); }
    /// Appends everything written here so far to `out`, a chunk at a time (a part of a dump
    /// written by a worker, see dmp_database::open_part). Failures raise as writes do.
    void copy_to(dmp_output& out);

private:
    void write_all(const char* data, std::size_t size);
    [[noreturn]] void fail(int error);

    std::string path_;   // for messages, in the console's code page
    std::string final_path_; // the file system's names: the destination and the file written
    std::string temp_path_;  // empty when writing in place
    int fd_ = -1;
    int error_ = 0;      // first write failure; sticky
    std::string buffer_;
};
