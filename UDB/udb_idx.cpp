#include "udb_idx.hpp"

#include "tk_excp.hpp"
#include "tk_log.hpp"
#include "udb_sche.hpp"

namespace {
constexpr int line_get_index = 134; // quoted in problem reports; kept stable
}

udb_index::udb_index(std::u16string name_, bool unique, bool primary, udb_names fields_)
    : name(std::move(name_)), b_unique(unique), b_primary(primary), fields(std::move(fields_)) {}

bool udb_index::starts_with_fields(const udb_names& columns) const {
    tk_wtrace(1, u"udb_index(%s)::starts_with_fields", name.c_str());
    if (fields.size() < columns.size()) return false;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (!udb_name_equal(columns[i], fields[i])) {
            tk_wtrace(1, u"Field '%s' not found", columns[i].c_str());
            return false;
        }
    }
    tk_trace(1, "starts_with_fields returns true");
    return true;
}

bool udb_indexes::is_acceptable_name(const std::u16string& name) const {
    tk_wtrace(1, u"udb_indexes::is_acceptable_name(%s)", name.c_str());
    for (const udb_index& index : items_)
        if (udb_name_equal(index.name, name)) return false;
    return true;
}

const udb_index& udb_indexes::get_index(const std::u16string& name) const {
    tk_wtrace(1, u"udb_indexes::get_index(%s)", name.c_str());
    for (const udb_index& index : items_)
        if (udb_name_equal(index.name, name)) return index;
    throw tk_mail_assertion("udb_idx", line_get_index);
}

bool udb_indexes::is_idx_field(const std::u16string& column, bool primary_only) const {
    tk_wtrace(1, u"udb_indexes::is_idx_field(%s)", column.c_str());
    for (const udb_index& index : items_) {
        if (primary_only && !index.b_primary) continue;
        for (const std::u16string& field : index.fields) {
            if (field == column) {
                tk_trace(1, "index field");
                return true;
            }
        }
    }
    tk_trace(1, "non-index field");
    return false;
}

bool udb_indexes::has_index_on_fields(const udb_names& columns) const {
    tk_trace(1, "udb_indexes::has_index_on_fields");
    for (const udb_index& index : items_)
        if (index.starts_with_fields(columns)) return true;
    return false;
}
