#include "db2_vali.hpp"

#include "tk_log.hpp"

namespace {

// Letters beyond ASCII are letters of an ordinary DB2 identifier in a Unicode database.
bool is_letter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c >= 0x80; }

bool is_name_char(char16_t c) {
    return is_letter(c) || (c >= u'0' && c <= u'9') || c == u'#' || c == u'$' || c == u'_';
}

} // namespace

db2_validator::db2_validator() : udb_validator(max_name_length) { tk_trace(1, "db2_validator::ctor"); }

bool db2_validator::is_acceptable(const std::u16string& name) const {
    tk_wtrace(1, u"db2_validator::is_acceptable(%s)", name.c_str());
    if (name.empty() || !is_letter(name.front())) return false;
    for (char16_t c : name) {
        if (!is_name_char(c)) {
            tk_wtrace(2, u"Name contains invalid symbol: '%c'", int(c));
            return false;
        }
    }
    // Length (in characters, not UTF-16 units) and restricted names are the base's tests.
    return udb_validator::is_acceptable(name);
}

std::u16string db2_validator::get_safe_name(const std::u16string& name) const {
    tk_wtrace(1, u"db2_validator::get_safe_name(%s)", name.c_str());
    std::u16string safe = name;
    if (safe.empty() || !is_letter(safe.front())) safe.insert(safe.begin(), u'A');
    for (char16_t& c : safe)
        if (!is_name_char(c)) c = u'_';
    return udb_validator::get_safe_name(safe);
}

db2_fn_validator::db2_fn_validator(const udb_schema& source) {
    tk_trace(1, "db2_fn_validator::ctor");
    for (const t_ftd* column : source) add_existing_name(column->name);
}

db2_in_validator::db2_in_validator(const udb_indexes& indexes) {
    tk_trace(1, "db2_in_validator::ctor");
    for (const udb_index& index : indexes) add_existing_name(index.name);
}
