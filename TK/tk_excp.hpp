#pragma once
// The exception family every failure of the engine travels in.

#include <exception>
#include <string>
#include <string_view>

/// Failure levels: what the run does after the exception reaches the error handler.
enum tk_level : int {
    tk_level_item = 0,     ///< the current table or record failed; the run goes on
    tk_level_run = 1,      ///< the run cannot go on
    tk_level_internal = 2, ///< internal consistency check failed
};

/// Base of every failure the engine raises: a narrow message, an error code and a level.
class tk_exception : public std::exception {
public:
    /// An empty text becomes "Unknown exception".
    tk_exception(std::string_view text, int level);
    /// Message "Unknown exception".
    explicit tk_exception(int level);
    /// Wide text, narrowed with the system code page (unconvertible text keeps a readable form).
    tk_exception(std::u16string_view text, int level);

    const char* what() const noexcept override { return message_.c_str(); }
    const std::string& message() const noexcept { return message_; }
    int code() const noexcept { return code_; }
    int level() const noexcept { return level_; }
    void set_code(int code) noexcept { code_ = code; }

protected:
    void set_message(std::string text) { message_ = std::move(text); }

private:
    std::string message_;
    int code_ = 0;
    int level_;
};

/// Internal consistency check failure (level 2). The message carries the source location in a
/// hex form ("Internal error: \ncode=" + hex bytes of "source\\line") so that a user's report
/// names the place without exposing paths in readable form.
class tk_mail_assertion : public tk_exception {
public:
    tk_mail_assertion(const char* source, int line);
};

/// A failure of a system call: the caller's text followed by the system's text for errno,
/// whose number becomes the code.
class tk_exception_ex : public tk_exception {
public:
    explicit tk_exception_ex(int level = tk_level_run);
    tk_exception_ex(std::string_view text, int level = tk_level_run);

private:
    // errno is taken as an argument so that nothing done while building the base can change it.
    tk_exception_ex(std::string_view text, int level, int error);
};

/// A quiet stop chosen by the user; carries nothing and is not a tk_exception.
class tk_final_exception : public std::exception {
public:
    const char* what() const noexcept override { return "tk_final_exception"; }
};

/// Raises the internal assertion for `source`/`line` when `ok` is false.
inline void tk_verify(bool ok, const char* source, int line) {
    if (!ok) throw tk_mail_assertion(source, line);
}
