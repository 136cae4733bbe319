#include "sql_fake_link.hpp"

#include <gtest/gtest.h>

namespace {

// The client library's "commands out of sync": a statement while an answer is awaited.
constexpr unsigned out_of_sync = 2014;

} // namespace

bool sql_fake_link::take(std::string entry, std::string_view statement) {
    log_.push_back(std::move(entry.append(statement)));
    if (awaiting_) {
        ADD_FAILURE() << "statement while an answer is awaited: " << log_.back();
        last_ = sql_fake_answer::refuse(out_of_sync, "Commands out of sync; you can't run this command now");
        return false;
    }
    if (script_.empty()) {
        ADD_FAILURE() << "statement past the end of the script: " << log_.back();
        last_ = sql_fake_answer::gone_at_send();
        return false;
    }
    last_ = std::move(script_.front());
    script_.pop_front();
    return true;
}

bool sql_fake_link::query(std::string_view statement) { return take("query ", statement) && last_.error == 0; }

bool sql_fake_link::send_query(std::string_view statement) {
    if (!take("send ", statement)) return false;
    if (last_.at_send) return false;
    awaiting_ = true;
    return true;
}

bool sql_fake_link::read_query_result() {
    log_.push_back("read");
    if (!awaiting_) {
        ADD_FAILURE() << "read_query_result without a statement sent";
        last_ = sql_fake_answer::refuse(out_of_sync, "Commands out of sync; you can't run this command now");
        return false;
    }
    awaiting_ = false;
    return last_.error == 0;
}

std::optional<std::string> sql_fake_link::query_value(std::string_view statement, unsigned) {
    if (!take("value ", statement) || last_.error != 0) return std::nullopt;
    return last_.value;
}
