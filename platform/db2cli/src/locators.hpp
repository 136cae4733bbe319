#pragma once
// LOB locators: 32-bit tokens standing for one large value of a connection, read back in
// pieces with SQLGetLength and SQLGetSubString.

#include "db2_cli.h"

#include <string>
#include <string_view>
#include <unordered_map>

namespace db2s {

struct locator {
    SQLSMALLINT c_type = 0;  // SQL_C_BLOB_LOCATOR, SQL_C_CLOB_LOCATOR or SQL_C_DBCLOB_LOCATOR
    std::string bytes;       // BLOB bytes or CLOB text in UTF-8
    std::u16string units;    // DBCLOB text: its lengths count UTF-16 units
    SQLHANDLE owner = 0;     // the statement whose fetch made it
};

/// The locators of one connection. A value is copied when its locator is made, so later
/// changes to the row do not show through it.
class locator_store {
public:
    SQLINTEGER add(SQLSMALLINT c_type, std::string_view data, SQLHANDLE owner);
    SQLINTEGER add(locator loc);
    const locator* find(SQLINTEGER id) const;
    /// Drops the locators a statement's fetches made (next fetch, close, free).
    void free_owned_by(SQLHANDLE stmt);
    /// Drops everything: the transaction ended.
    void clear() { map_.clear(); }
    std::size_t size() const { return map_.size(); }

private:
    std::unordered_map<SQLINTEGER, locator> map_;
    SQLINTEGER next_ = 1;
};

}  // namespace db2s
