#include "udb_errh.hpp"

#include "tk_conv.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <utility>

namespace {

constexpr int mysql_range = 0x400000;

const char msg_overwrite[] =
    "Failed to overwrite MySQL database. It is being used by\nanother application. Specify a different destination name.";
const char msg_connect[] =
    "Can't connect to the MySQL server. Check to verify that MySQL server\nis launched and the correct host/port values were given.";
const char msg_auth[] =
    "The program does not support authentication protocol requested by server.\nSee 'Troubleshooting' article of the product documentation.";

error_handler::exit_function& exit_slot() {
    static error_handler::exit_function fn;
    return fn;
}

}  // namespace

std::string udb_console_text(std::u16string_view text) {
    const std::u16string printable = tk_wprintable(text);
    std::string out;
    if (tk_try_to_ansi(printable, out)) return out;
    out.clear();
    for (char16_t c : printable) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return out;
}

const tk_error_entry error_handler::mysql_errors[] = {
    {mysql_range + 1044, "Access denied. Ask your system administrator to grant you\nthe necessary privileges to write into the database."},
    {mysql_range + 1045, "Access denied. Verify the user name and password are correct, and you have\nthe necessary privileges to connect to the target MySQL server."},
    {mysql_range + 1062, "Duplicate field values being used for an unique index were found.\nSee 'Troubleshooting' article of the product documentation\nfor solution."},
    {mysql_range + 1071, "Primary key in the original database is too long.\nRestart the program with \"Skip converting indexes\"\ncheckbox selected in order to resolve the conflict.\n"},
    {mysql_range + 1011, msg_overwrite},
    {mysql_range + 1130, "You are not allowed to connect to the destination MySQL server.\nAsk your system administrator to grant you necessary privileges\nto create new databases on target MySQL server."},
    {mysql_range + 1051, msg_overwrite},
    {mysql_range + 2003, msg_connect},
    {mysql_range + 2005, msg_connect},
    // The MariaDB client reports a refused TCP connection as 2002, which older clients kept
    // for sockets: the user needs the same advice either way.
    {mysql_range + 2002, msg_connect},
    {mysql_range + 2006, "Transferred value is too big. Increase MySQL max packet size and try\nagain. See 'Troubleshooting' article of the product documentation."},
    {mysql_range + 1249, msg_auth},
    {mysql_range + 1250, msg_auth},
};
const int error_handler::mysql_error_count = static_cast<int>(std::size(error_handler::mysql_errors));

error_handler::error_handler(int count, const tk_error_entry* table)
    : errors_(count, table), out_(&std::cout) {
    tk_trace(2, "error_handler::ctor");
}

error_handler::error_handler() : error_handler(mysql_error_count, mysql_errors) {}

error_handler::~error_handler() = default;

void error_handler::set_context(std::u16string_view table) { context_ = udb_console_text(table); }

void error_handler::set_context(std::u16string_view table, int position) {
    context_ = udb_console_text(table);
    context_ += ", record #";
    context_ += std::to_string(position);
}

void error_handler::report(const tk_exception& e, int final_flag, std::u16string_view table, int position) {
    std::lock_guard<std::recursive_mutex> hold(lock());
    if (position > 0) {
        set_context(table, position);
    } else {
        set_context(table);
    }
    handle(e, final_flag);
}

std::recursive_mutex& error_handler::lock() noexcept {
    // Never destroyed: a handler that ends the program holds it while exit() runs.
    static std::recursive_mutex* serial = new std::recursive_mutex;
    return *serial;
}

std::string error_handler::compose(const tk_exception& e) const {
    std::string message;
    if (!context_.empty()) {
        message = context_;
        message += ": ";
    }
    std::string advice = errors_.convert(e.code());
    message += advice.empty() ? e.message() : advice;
    return message;
}

void error_handler::handle(const tk_exception& e, int /*final_flag*/) {
    tk_trace(2, "error_handler::handle");
    if (e.level() == tk_level_internal) {
        tk_trace(3, "Internal error:\n%s", e.what());
        // Printed even when silent: an internal error is the one thing a silent run must show.
        *out_ << "Internal error: " << e.what() << '\n' << std::flush;
        end_program(-1);
    }
    std::string message = compose(e);
    tk_trace(3, "Error:\n%s", message.c_str());
    for (char& c : message) {
        if (c == '\n') c = ' ';
    }
    if (!silent_) {
        *out_ << "Error:\n" << std::flush;
        *out_ << message << '\n' << std::flush;
    }
    if (e.level() == tk_level_run) {
        tk_trace(1, "Got 1-level error");
        end_program(-1);
    }
    tk_trace(1, "Got 0-level error");
}

error_handler::exit_function error_handler::set_exit_function(exit_function fn) {
    return std::exchange(exit_slot(), std::move(fn));
}

void error_handler::end_program(int status) {
    if (exit_slot()) {
        exit_slot()(status);
        throw error_handler_exit{status};
    }
    std::exit(status);
}

init_conversion::init_conversion(tk_converter* converter, bool no_com)
    : converter_(converter), no_com_(no_com), uncaught_(std::uncaught_exceptions()) {
    tk_trace(2, "init_conversion::ctor");
    if (!tk_log::skips(3)) {
        std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        tk_trace(3, "%s", format_line("started", local).c_str());
    }
    // No component library to initialise on this platform, whatever no_com_ says.
}

init_conversion::~init_conversion() {
    // Unwinding means the error handler ended the program through a replaced exit function:
    // the run did not end, so it gets no end line and no finished flag, as with std::exit.
    if (std::uncaught_exceptions() > uncaught_) return;
    tk_trace(2, "init_conversion::dtor");
    (void)no_com_;
    if (!tk_log::skips(3)) {
        std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        tk_trace(3, "%s", format_line("ended", local).c_str());
    }
    if (converter_) converter_->set_finished(true);
}

std::string init_conversion::format_line(const char* what, const std::tm& when) {
    char text[96];
    std::snprintf(text, sizeof text, "Conversion %s on %02d/%02d/%04d at %02d:%02d:%02d\n", what, when.tm_mday,
                  when.tm_mon + 1, when.tm_year + 1900, when.tm_hour, when.tm_min, when.tm_sec);
    return text;
}
