#include "db2_db.hpp"

#include "db2_engi.hpp"
#include "db2_recs.hpp"

#include "tk_log.hpp"
#include "tk_utils.hpp"
#include "udb_errh.hpp"

db2_database::db2_database(const std::u16string& schema)
    : udb_database(schema, 1, true), dbc_(db2_engine::instance().connection()) {
    tk_wtrace(2, u"db2_database::ctor(%s)", schema.c_str());
    db2_engine& engine = db2_engine::instance();
    try {
        engine.execute(u"SET SCHEMA " + db2_quote_name(tk_wstring::to_upper(schema)));
    } catch (const db2_exception&) {
        tk_trace(2, "Cannot set current schema");
    }
    engine.get_tables(db2_exact_pattern(schema), u"%", tables_);
    engine.get_tables(db2_exact_pattern(schema), u"%", unconverted_views_, u"VIEW");
    if (!tables_.empty() || !unconverted_views_.empty()) return;
    // Nothing listed: an empty schema converts to nothing, but a schema that does not exist is a
    // mistake the run must not report as a success. Schema names are exact in DB2.
    const std::vector<std::u16string> schemas = engine.get_contents();
    std::u16string other_case;
    for (const std::u16string& existing : schemas) {
        if (existing == schema) return;
        if (tk_wstring::to_upper(existing) == tk_wstring::to_upper(schema)) other_case = existing;
    }
    std::string text = "Schema '" + udb_console_text(schema) + "' does not exist in DB2 database '" +
                       udb_console_text(engine.dsn()) + "'.";
    if (!other_case.empty())
        text += " Schema names are case-sensitive: did you mean '" + udb_console_text(other_case) + "'?";
    throw db2_exception(-1, text, tk_level_run);
}

std::unique_ptr<udb_recordset> db2_database::get_table(const std::u16string& name, int kind) {
    tk_wtrace(2, u"db2_database::get_table(%s)", name.c_str());
    tk_verify(find_table(name) >= 0, "db2_db", __LINE__);
    return std::make_unique<db2_recordset>(*this, name, relationships_, kind);
}

std::unique_ptr<udb_recordset> db2_database::get_query(const std::u16string& name,
                                                       const std::u16string& query_text, int kind) {
    tk_wtrace(2, u"db2_database::get_table(%s)", name.c_str());
    return std::make_unique<db2_recordset>(*this, name, query_text, relationships_, kind);
}

