#include "db2_db.hpp"

#include "db2_conn.hpp"
#include "db2_engi.hpp"
#include "db2_recs.hpp"

#include "tk_log.hpp"
#include "tk_utils.hpp"
#include "udb_errh.hpp"

#include <algorithm>
#include <optional>

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
    if (parts < 2) return {};
    const std::u16string column = db2_quote_name(key);
    const std::u16string table = quoted_table(name);
    // The one value a query answers, when it is a whole number.
    const auto whole = [this](const std::u16string& sql) -> std::optional<long long> {
        const std::vector<std::u16string> values = db2_query_column(dbc_, sql);
        if (values.size() != 1) return std::nullopt;
        const std::string digits = tk_to_utf8(values.front());
        std::size_t used = 0;
        try {
            const long long value = std::stoll(digits, &used);
            if (used == digits.size()) return value;
        } catch (const std::exception&) {
        }
        return std::nullopt;
    };
    // The keys found at every parts-th of the rows in key order, so that the ranges hold as many
    // rows each however the keys are spread. A DB2 without OFFSET (before 11.1) gets the keys
    // that divide the span from the lowest to the highest key evenly instead.
    std::vector<long long> bounds;
    try {
        const std::optional<long long> count = whole(u"SELECT COUNT(*) FROM " + table);
        for (int i = 1; count && i < parts; ++i) {
            const std::optional<long long> at =
                whole(u"SELECT " + column + u" FROM " + table + u" ORDER BY " + column + u" OFFSET " +
                      tk_from_utf8(std::to_string(*count * i / parts)) + u" ROWS FETCH FIRST 1 ROW ONLY");
            if (!at) return {};
            bounds.push_back(*at);
        }
    } catch (const tk_exception& e) {
        tk_trace(2, "The key is divided by its span: %s", e.what());
        const std::optional<long long> low = whole(u"SELECT MIN(" + column + u") FROM " + table);
        const std::optional<long long> high = whole(u"SELECT MAX(" + column + u") FROM " + table);
        if (!low || !high || *high <= *low) return {};
        const __int128 span = __int128(*high) - *low + 1;
        bounds.clear();
        for (int i = 1; i < parts; ++i) bounds.push_back((long long)(*low + span * i / parts));
    }
    bounds.erase(std::unique(bounds.begin(), bounds.end()), bounds.end());

    std::vector<udb_key_range> ranges;
    std::int32_t before = 0;
    for (std::size_t i = 0; i <= bounds.size(); ++i) {
        std::u16string condition;
        if (i > 0) condition = column + u" >= " + tk_from_utf8(std::to_string(bounds[i - 1]));
        if (i < bounds.size()) {
            if (!condition.empty()) condition += u" AND ";
            condition += column + u" < " + tk_from_utf8(std::to_string(bounds[i]));
        }
        const std::optional<long long> rows = whole(u"SELECT COUNT(*) FROM " + table + u" WHERE " + condition);
        if (!rows || *rows == 0) continue;
        ranges.push_back(udb_key_range{condition + u" ORDER BY " + column, before, std::int32_t(*rows)});
        before += std::int32_t(*rows);
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

