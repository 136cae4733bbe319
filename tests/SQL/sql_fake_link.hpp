#pragma once
// A scripted stand-in for the table writer's connection: it answers each statement from a
// script written by the test (accepted, refused with an error, connection lost, a value) and
// records every call, so that a test can assert the exact statements a server would have got.

#include "sql_link.hpp"

#include <deque>
#include <string>
#include <vector>

/// The answer to one statement.
struct sql_fake_answer {
    unsigned error = 0;              ///< 0: accepted
    std::string text;                ///< the server's text for a refusal
    bool at_send = false;            ///< send_query() itself fails (the connection was gone)
    std::optional<std::string> value; ///< what query_value() reads

    static sql_fake_answer accept() { return {}; }
    static sql_fake_answer refuse(unsigned error, std::string text) { return {error, std::move(text), false, {}}; }
    /// The connection is gone when the statement is sent (2006) or while it waits (2013).
    static sql_fake_answer gone_at_send() { return {2006, "MySQL server has gone away", true, {}}; }
    static sql_fake_answer lost() { return {2013, "Lost connection to MySQL server during query", false, {}}; }
    static sql_fake_answer cell(std::string value) { return {0, {}, false, std::move(value)}; }
};

/// Answers in script order, one answer per statement (a statement sent with send_query() is
/// answered by its read_query_result(), however much later). The log holds "query <text>",
/// "send <text>", "read" and "value <text>". Using the link while an answer is awaited, or
/// running past the script, fails the test, as a server would refuse the first.
class sql_fake_link final : public sql_statement_link {
public:
    explicit sql_fake_link(std::vector<sql_fake_answer> script) : script_(script.begin(), script.end()) {}

    bool query(std::string_view statement) override;
    bool send_query(std::string_view statement) override;
    bool read_query_result() override;
    std::optional<std::string> query_value(std::string_view statement, unsigned column) override;
    std::string error() override { return last_.text; }
    unsigned error_number() override { return last_.error; }

    /// Adds the test's own mark to the log (what the writer did between two calls).
    void note(std::string mark) { log_.push_back(std::move(mark)); }
    const std::vector<std::string>& log() const noexcept { return log_; }
    /// Answers not used yet.
    std::size_t unused() const noexcept { return script_.size(); }

private:
    /// Logs the call and takes the next answer; a call while an answer is awaited is refused.
    bool take(std::string entry, std::string_view statement);

    std::deque<sql_fake_answer> script_;
    std::vector<std::string> log_;
    sql_fake_answer last_;
    bool awaiting_ = false;
};
