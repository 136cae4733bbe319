#include "udb_rel.hpp"

#include "tk_excp.hpp"
#include "tk_log.hpp"
#include "udb_sche.hpp"

namespace {
constexpr int line_get_index = 122; // quoted in problem reports; kept stable
}

udb_foreign_key::udb_foreign_key(std::u16string name_, std::u16string key_name_,
                                 std::u16string child_table_, std::u16string parent_table_,
                                 udb_names child_fields_, udb_names parent_fields_,
                                 std::u16string rule_clause_)
    : name(std::move(name_)), key_name(std::move(key_name_)),
      child_table(std::move(child_table_)), parent_table(std::move(parent_table_)),
      rule_clause(std::move(rule_clause_)), child_fields(std::move(child_fields_)),
      parent_fields(std::move(parent_fields_)) {}

bool udb_relationships::is_acceptable_name(const std::u16string& name) const {
    tk_wtrace(1, u"udb_relationships::is_acceptable_name(%s)", name.c_str());
    for (const udb_foreign_key& key : items_)
        if (udb_name_equal(key.name, name)) return false;
    return true;
}

udb_foreign_key& udb_relationships::get_index(const std::u16string& name) {
    tk_wtrace(1, u"udb_relationships::get_index(%s)", name.c_str());
    for (udb_foreign_key& key : items_)
        if (udb_name_equal(key.name, name)) return key;
    throw tk_mail_assertion("udb_rel", line_get_index);
}
