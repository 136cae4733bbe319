#include "tk_errco.hpp"

#include "tk_excp.hpp"
#include "tk_log.hpp"

tk_error_converter::tk_error_converter(int count, const tk_error_entry* table) {
    tk_trace(2, "tk_error_converter::ctor (map size=%d)", count);
    load_map(count, table);
}

void tk_error_converter::load_map(int count, const tk_error_entry* table) {
    tk_trace(2, "tk_error_converter::load_map (map size=%d)", count);
    if (!table) throw tk_mail_assertion("tk_errco", 43);
    for (int i = 0; i < count; ++i) {
        // A null text would otherwise be read as a string: a broken table is our own fault.
        if (!table[i].message) throw tk_mail_assertion("tk_errco", __LINE__);
        map_.emplace(table[i].code, table[i].message);
    }
}

std::string tk_error_converter::convert(std::int32_t code) const {
    tk_trace(2, "tk_error_converter::convert(%d)", code);
    auto it = map_.find(code);
    if (it == map_.end()) {
        tk_trace(1, "Error message not found!");
        return {};
    }
    tk_trace(1, "Error message has been found: %s", it->second.c_str());
    return it->second;
}
