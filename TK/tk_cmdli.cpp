#include "tk_cmdli.hpp"

#include "tk_excp.hpp"

#include <cstring>

void tk_cmdli::start(int argc, const char* const* argv, const tk_cmd_option* table) {
    tk_verify(argv != nullptr && table != nullptr, "tk_cmdli", __LINE__);
    table_ = table;
    cursor_ = argv + 1;
    remaining_ = argc > 1 ? argc - 1 : 0;
    unrecognised_.clear();
    classify();
}

void tk_cmdli::next() {
    if (remaining_ <= 0) return;
    ++cursor_;
    --remaining_;
    classify();
}

void tk_cmdli::classify() {
    id_ = -1;
    value_.clear();
    if (remaining_ <= 0) return;
    const char* arg = *cursor_ ? *cursor_ : "";
    for (const tk_cmd_option* option = table_; option->prefix && *option->prefix; ++option) {
        const std::size_t length = std::strlen(option->prefix);
        if (std::strncmp(arg, option->prefix, length) == 0) {
            id_ = option->id;
            value_.assign(arg + length);
            return;
        }
    }
    value_.assign(arg);
    if (static_cast<int>(unrecognised_.size()) >= max_unrecognised) throw tk_mail_assertion("tk_cmdli", __LINE__);
    unrecognised_.push_back(value_);
}
