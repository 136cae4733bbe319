#pragma once
// Diagnostic records and the errors that produce them, worded the way IBM's client words them:
// "[IBM][CLI Driver][DB2/LINUXX8664] SQL0204N  <text>  SQLSTATE=42704".

#include "db2_cli.h"

#include <exception>
#include <string>
#include <string_view>
#include <vector>

namespace db2s {

struct diag_record {
    std::string sqlstate;  // what SQLGetDiagRec reports (ODBC 3 mapping applied)
    SQLINTEGER native = 0;
    std::string message;
};

/// A failed (or warned) operation: carries one diagnostic record and the return code.
class db2_error : public std::exception {
public:
    explicit db2_error(diag_record record, SQLRETURN rc = SQL_ERROR)
        : record_(std::move(record)), rc_(rc) {}
    const char* what() const noexcept override { return record_.message.c_str(); }
    const diag_record& record() const noexcept { return record_; }
    SQLRETURN rc() const noexcept { return rc_; }

private:
    diag_record record_;
    SQLRETURN rc_;
};

/// A server message: SQLnnnnN (or W for a positive code). `text_state` is the SQLSTATE written
/// in the text; `diag_state` the one SQLGetDiagRec reports when ODBC 3 maps it differently.
/// `with_server_tag` is false for connect-time failures, which IBM's client words without it.
diag_record server_diag(int sqlcode, std::string_view text, std::string_view text_state,
                        std::string_view diag_state = {}, bool with_server_tag = true);

/// A message of the client itself: "[IBM][CLI Driver] CLI0109E  text SQLSTATE=22001",
/// native error -99999.
diag_record client_diag(std::string_view id, std::string_view text, std::string_view state);

// The conditions the stand-in raises, one helper each so their wording stays in one place.
[[noreturn]] void throw_syntax_error(std::string_view token, std::string_view following,
                                     std::string_view expected);
[[noreturn]] void throw_undefined_name(std::string_view qualified_name);
[[noreturn]] void throw_client(std::string_view id, std::string_view text, std::string_view state);
[[noreturn]] void throw_server(int sqlcode, std::string_view text, std::string_view state,
                               std::string_view diag_state = {});

diag_record function_sequence_error();
diag_record invalid_argument(std::string_view what = "Invalid argument value.");

/// The records of one handle: cleared when a call on the handle starts.
class diag_area {
public:
    void clear() noexcept { records_.clear(); }
    void add(diag_record record) { records_.push_back(std::move(record)); }
    const std::vector<diag_record>& records() const noexcept { return records_; }

private:
    std::vector<diag_record> records_;
};

}  // namespace db2s
