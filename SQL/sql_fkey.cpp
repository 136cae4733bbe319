#include "sql_fkey.hpp"

#include "sql_stmt.hpp"
#include "tk_excp.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"
#include "udb_errh.hpp"

namespace {

// Why a key cannot be written, or empty when it can.
std::u16string missing_table(const udb_foreign_key& key, sql_fk_table child, sql_fk_table parent) {
    if (child != sql_fk_table::created) return key.child_table;
    if (!key.parent_schema.empty()) return key.parent_schema + u"." + key.parent_table;
    if (parent != sql_fk_table::created) return key.parent_table;
    return {};
}

void report_skipped(const udb_foreign_key& key, const std::u16string& table) {
    tk_wtrace(2, u"Foreign key '%s' skipped: table '%s' is not created by this run", key.name.c_str(),
              table.c_str());
    error_handler& handler = error_handler::instance();
    handler.set_context(key.name.empty() ? key.child_table : u"Foreign key '" + key.name + u"'");
    handler.handle(tk_exception("Table '" + tk_to_utf8(table) +
                                    "' is not converted by this run, so the foreign key is not created.",
                                tk_level_item),
                   0);
}

udb_names mapped_fields(const udb_names_map& names, const std::u16string& table, const udb_names& fields) {
    udb_names out;
    out.reserve(fields.size());
    for (const std::u16string& field : fields) out.push_back(names.get_fn_mapped_name(table, field, true));
    return out;
}

} // namespace

std::vector<sql_fk_definition> sql_plan_foreign_keys(const udb_relationships& keys, const udb_names_map& names,
                                                     const std::function<sql_fk_table(const std::u16string&)>& state,
                                                     udb_validator& validator,
                                                     const std::vector<std::u16string>& taken, int* skipped) {
    tk_trace(2, "sql_plan_foreign_keys");
    // Names the database already uses are refused outright; the names of this run's keys are
    // known up front, so that a generated name never takes the name of a key still to come.
    for (const std::u16string& name : taken) validator.restricted_names().push_back(name);
    for (const udb_foreign_key& key : keys) validator.add_existing_name(key.name);

    std::vector<sql_fk_definition> planned;
    for (const udb_foreign_key& key : keys) {
        // Every table the run renamed is in the map under its exact source name; a lookup that
        // ignored case would take ORDERS for Orders.
        const std::u16string child = names.get_tn_mapped_name(key.child_table, true);
        const std::u16string parent = names.get_tn_mapped_name(key.parent_table, true);
        const sql_fk_table child_state = state(child);
        if (child_state == sql_fk_table::kept) {
            tk_wtrace(2, u"Foreign key '%s' of kept table '%s' is left as it is", key.name.c_str(), child.c_str());
            continue;
        }
        const std::u16string missing =
            missing_table(key, child_state, key.parent_schema.empty() ? state(parent) : sql_fk_table::absent);
        if (!missing.empty()) {
            report_skipped(key, missing);
            if (skipped) ++*skipped;
            continue;
        }
        sql_fk_definition& d = planned.emplace_back();
        d.name = validator.is_acceptable(key.name) ? key.name : validator.get_safe_name(key.name);
        if (d.name != key.name) tk_wtrace(2, u"Store generated constraint name '%s'", d.name.c_str());
        validator.add_existing_name(d.name);
        // Ignoring case, as the server does on most systems: a later key must not reuse it.
        validator.restricted_names().push_back(d.name);
        d.child = child;
        d.parent = parent;
        d.child_fields = mapped_fields(names, child, key.child_fields);
        d.parent_fields = mapped_fields(names, parent, key.parent_fields);
        d.rule_clause = key.rule_clause;
        d.source = &key;
    }
    return planned;
}

std::u16string sql_fk_statement(const sql_fk_definition& key, const sql_engine& engine) {
    const std::uint32_t version = engine.server_version();
    std::u16string statement =
        u"ALTER TABLE " + engine.quote_name(key.child) + u" ADD CONSTRAINT " + engine.quote_name(key.name) +
        u" FOREIGN KEY(" + sql_name_list(key.child_fields, version) + u") REFERENCES " +
        engine.quote_name(key.parent) + u"(" + sql_name_list(key.parent_fields, version) + u")";
    if (!key.rule_clause.empty()) statement += u" " + key.rule_clause;
    return statement;
}
