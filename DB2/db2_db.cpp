#include "db2_db.hpp"

#include "db2_engi.hpp"
#include "db2_recs.hpp"

#include "tk_log.hpp"
#include "tk_utils.hpp"

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

