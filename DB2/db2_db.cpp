#include "db2_db.hpp"

#include "db2_conn.hpp"
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

std::vector<udb_key_range> db2_database::split_table(const std::u16string& name, const std::u16string& key,
                                                    int parts) {
    tk_wtrace(2, u"db2_database::split_table(%s, %s)", name.c_str(), key.c_str());
    tk_verify(find_table(name) >= 0, "db2_db", __LINE__);
    const std::u16string column = db2_quote_name(key);
    const std::u16string table = quoted_table(name);
    const auto whole = [](const std::u16string& text, long long& value) {
        const std::string digits = tk_to_utf8(text);
        std::size_t used = 0;
        try {
            value = std::stoll(digits, &used);
        } catch (const std::exception&) {
            return false;
        }
        return used == digits.size();
    };
    long long low = 0, high = 0;
    const std::vector<std::u16string> ends = db2_query_column(dbc_, u"SELECT MIN(" + column + u") FROM " + table);
    const std::vector<std::u16string> tops = db2_query_column(dbc_, u"SELECT MAX(" + column + u") FROM " + table);
    if (parts < 2 || ends.size() != 1 || tops.size() != 1 || !whole(ends[0], low) || !whole(tops[0], high) ||
        high <= low)
        return {};
    std::vector<udb_key_range> ranges;
    std::int32_t before = 0;
    const __int128 span = __int128(high) - low + 1;
    for (int i = 0; i < parts; ++i) {
        std::u16string condition;
        if (i > 0) condition = column + u" >= " + tk_from_utf8(std::to_string((long long)(low + span * i / parts)));
        if (i + 1 < parts) {
            if (!condition.empty()) condition += u" AND ";
            condition += column + u" < " + tk_from_utf8(std::to_string((long long)(low + span * (i + 1) / parts)));
        }
        const std::vector<std::u16string> count =
            db2_query_column(dbc_, u"SELECT COUNT(*) FROM " + table + u" WHERE " + condition);
        const std::int32_t rows = count.empty() ? 0 : std::int32_t(std::stol(tk_to_utf8(count.front())));
        if (rows == 0) continue;
        ranges.push_back(udb_key_range{condition + u" ORDER BY " + column, before, rows});
        before += rows;
    }
    if (ranges.size() < 2) ranges.clear();
    return ranges;
}

std::unique_ptr<udb_recordset> db2_database::get_table_range(const std::u16string& name, const udb_key_range& range,
                                                             int kind) {
    tk_wtrace(2, u"db2_database::get_table_range(%s, %s)", name.c_str(), range.condition.c_str());
    tk_verify(find_table(name) >= 0, "db2_db", __LINE__);
    return std::make_unique<db2_recordset>(*this, name, relationships_, kind, u" WHERE " + range.condition);
}

std::unique_ptr<udb_recordset> db2_database::get_query(const std::u16string& name,
                                                       const std::u16string& query_text, int kind) {
    tk_wtrace(2, u"db2_database::get_table(%s)", name.c_str());
    return std::make_unique<db2_recordset>(*this, name, query_text, relationships_, kind);
}

