#include "locators.hpp"

#include "text.hpp"

namespace db2s {

SQLINTEGER locator_store::add(SQLSMALLINT c_type, std::string_view data, SQLHANDLE owner) {
    locator loc;
    loc.c_type = c_type;
    loc.owner = owner;
    if (c_type == SQL_C_DBCLOB_LOCATOR) append_utf16(loc.units, data);
    else loc.bytes = std::string(data);
    return add(std::move(loc));
}

SQLINTEGER locator_store::add(locator loc) {
    if (next_ <= 0) next_ = 1;
    const SQLINTEGER id = next_++;
    map_[id] = std::move(loc);
    return id;
}

const locator* locator_store::find(SQLINTEGER id) const {
    const auto it = map_.find(id);
    return it == map_.end() ? nullptr : &it->second;
}

void locator_store::free_owned_by(SQLHANDLE stmt) {
    if (map_.empty()) return;
    for (auto it = map_.begin(); it != map_.end();) {
        if (it->second.owner == stmt) it = map_.erase(it);
        else ++it;
    }
}

}  // namespace db2s
