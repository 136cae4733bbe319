#pragma once
// The process-wide error handler every failure reaches, and the bracket around one run.

#include "tk_errco.hpp"
#include "tk_excp.hpp"
#include "tk_singl.hpp"

#include <cstddef>
#include <ctime>
#include <functional>
#include <iosfwd>
#include <mutex>
#include <string>
#include <string_view>

class tk_converter;

/// `text` in the console's code page, never failing: a report must reach the user even for a
/// name the code page cannot show, whose other characters then appear as '?'. Control
/// characters are written escaped (tk_wprintable), so a name cannot break a report's line.
std::string udb_console_text(std::u16string_view text);

/// Thrown by error_handler::end_program when a replaced exit function returns: it unwinds
/// the run up to whoever replaced the exit (a test, the wizard's worker). Deliberately not a
/// std::exception, so that no handler of the run mistakes it for a failure to report.
struct error_handler_exit {
    int status;
};

/// Turns a tk_exception into the user's text (known MySQL error numbers become advice), puts
/// the table and record being converted in front, logs it, prints it unless silent, and ends
/// the program for run-level (1) and internal (2) errors. This is the console form; the wizard
/// derives from it and shows dialogs instead.
class error_handler : public tk_singleton<error_handler> {
public:
    /// How the program ends: receives the exit status. The default calls std::exit.
    using exit_function = std::function<void(int status)>;

    /// Becomes the single instance; the map is built from `table` (`count` entries).
    error_handler(int count, const tk_error_entry* table);
    /// Built with the MySQL error table below.
    error_handler();
    virtual ~error_handler();

    /// The context becomes `table` in the console's code page.
    void set_context(std::u16string_view table);
    /// The context becomes "<table>, record #<position>" in the console's code page.
    void set_context(std::u16string_view table, int position);
    void clear_context() noexcept { context_.clear(); }
    const std::string& context() const noexcept { return context_; }

    void set_silent(bool silent) noexcept { silent_ = silent; }
    bool silent() const noexcept { return silent_; }

    /// Where "Error:" reports go; standard output unless replaced (the stream must outlive
    /// the handler or be replaced again).
    void set_output(std::ostream& out) noexcept { out_ = &out; }

    /// Reports `e`. Returns for level 0; ends the program with status -1 for levels 1 and 2.
    /// `final_flag` is 1 for a failure of the whole run, 0 for one table or record; the console
    /// handler ignores it, the wizard's handler may stop the run (tk_final_exception) on 0.
    virtual void handle(const tk_exception& e, int final_flag);
    /// Sets the context to `table` (with record `position` when above 0) and handles `e`, as one
    /// step under lock(): reports of several worker threads never pair one's context with
    /// another's message, and a dialog waits for the one before it.
    void report(const tk_exception& e, int final_flag, std::u16string_view table, int position = 0);
    /// Held by report(), and by whoever writes console lines that must not fall between the
    /// lines of a report. Recursive: a report may be made while a console line is written.
    static std::recursive_mutex& lock() noexcept;

    /// Replaces the one way the handler ends the program and returns the previous function.
    /// An empty function restores std::exit.
    static exit_function set_exit_function(exit_function fn);
    /// Ends the program through the exit function. Never returns: when the exit function does,
    /// error_handler_exit is thrown.
    [[noreturn]] static void end_program(int status);

    /// The MySQL error numbers (plus 0x400000) with the advice shown instead of the library's text.
    static const tk_error_entry mysql_errors[];
    static const int mysql_error_count;

protected:
    /// The text for `e`: the context, ": ", then the map's advice or e's own text.
    std::string compose(const tk_exception& e) const;

private:
    std::string context_;
    bool silent_ = false;
    tk_error_converter errors_;
    std::ostream* out_;
};

/// Marks the start and the end of one run in the trace log and sets the converter's finished
/// flag at the end. Create it on the stack around the run: when the error handler ends the
/// program the end line is not written (std::exit skips it; when a replaced exit function
/// unwinds the stack instead, the destructor sees the unwinding and skips it too).
class init_conversion {
public:
    /// `converter` may be null (nothing is flagged). A false `no_com` would initialise the
    /// platform's component library, which this platform does not have.
    init_conversion(tk_converter* converter, bool no_com);
    ~init_conversion();
    init_conversion(const init_conversion&) = delete;
    init_conversion& operator=(const init_conversion&) = delete;

    /// The bracket's trace line for `when`, e.g. "Conversion started on 05/03/2024 at 09:07:03\n".
    static std::string format_line(const char* what, const std::tm& when);

private:
    tk_converter* converter_;
    bool no_com_;
    int uncaught_;
};
