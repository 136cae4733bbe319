#include "catalog.hpp"

#include "diagnostics.hpp"

#include <algorithm>
#include <set>
#include <tuple>

namespace db2s {

namespace {

result_column name_col(const char* name, bool nullable = true) {
    return {name, {db2_kind::varchar, 128, 0}, nullable, false, "", ""};
}
result_column small_col(const char* name, bool nullable = true) {
    return {name, {db2_kind::smallint, 0, 0}, nullable, false, "", ""};
}
result_column int_col(const char* name, bool nullable = true) {
    return {name, {db2_kind::integer, 0, 0}, nullable, false, "", ""};
}

value text_or_null(const std::string& s) { return value::make_text(s); }

template <typename T>
value opt(const std::optional<T>& v) {
    return v ? value::make_int(static_cast<std::int64_t>(*v)) : value{};
}

bool matches(const cli_text& pattern, const std::string& text) {
    return !pattern.present || like_match(pattern.value, text);
}

// A non-empty catalogue name matches nothing: DB2 has no catalogues.
bool catalog_excludes(const cli_text& catalog) {
    return catalog.present && !catalog.value.empty();
}

result_set make(std::vector<result_column> cols, std::vector<std::vector<value>> rows) {
    result_set rs;
    rs.columns = std::move(cols);
    rs.rows = std::make_unique<rows_cursor>(std::move(rows));
    return rs;
}

std::string type_word(char t) {
    switch (t) {
    case 'V': return "VIEW";
    case 'A': return "ALIAS";
    case 'S': return "MATERIALIZED QUERY TABLE";
    default: return "TABLE";
    }
}

// Exact-name arguments: absent means any; present must be equal.
bool equals_arg(const cli_text& arg, const std::string& text) {
    return !arg.present || arg.value == text;
}

}  // namespace

result_set catalog_tables(session& s, const cli_text& catalog, const cli_text& schema,
                          const cli_text& table, const cli_text& types) {
    std::vector<result_column> cols = {name_col("TABLE_CAT"), name_col("TABLE_SCHEM"),
                                       name_col("TABLE_NAME"), name_col("TABLE_TYPE"),
                                       {"REMARKS", {db2_kind::varchar, 254, 0}, true, false, "", ""}};
    std::vector<std::vector<value>> rows;
    if (catalog_excludes(catalog)) return make(std::move(cols), std::move(rows));
    const bool no_table = !table.present || table.value.empty();
    const bool no_type = !types.present || types.value.empty();
    // Schema "%" with no table and no type: the list of schemas, one row each. A null table
    // pointer counts as none here, which is how clients ask for that list.
    if (schema.present && schema.value == "%" && no_table && no_type) {
        std::set<std::string> names;
        auto q = s.db().prepare("SELECT schemaname FROM _cat_schemas UNION SELECT tabschema FROM _cat_tables");
        while (q.step()) names.insert(q.text(0));
        for (const auto& n : names) rows.push_back({value{}, value::make_text(n), value{}, value{}, value{}});
        return make(std::move(cols), std::move(rows));
    }
    if (types.present && types.value == "%" && (!schema.present || schema.value.empty()) && no_table) {
        for (const char* t : {"ALIAS", "TABLE", "VIEW"}) {
            rows.push_back({value{}, value{}, value{}, value::make_text(t), value{}});
        }
        return make(std::move(cols), std::move(rows));
    }
    // The type list: TABLE,'VIEW' and the like.
    std::set<std::string> wanted;
    if (!no_type) {
        std::string item;
        for (char c : types.value + ",") {
            if (c == ',') {
                if (!item.empty()) wanted.insert(ascii_upper(item));
                item.clear();
            } else if (c != '\'' && c != ' ') {
                item.push_back(c);
            }
        }
    }
    auto q = s.db().prepare("SELECT tabschema, tabname, type, remarks FROM _cat_tables");
    std::vector<std::tuple<std::string, std::string, std::string, std::string>> found;
    while (q.step()) {
        const std::string sch = q.text(0), name = q.text(1);
        const std::string type = type_word(q.text(2).empty() ? 'T' : q.text(2)[0]);
        if (!matches(schema, sch) || !(no_table || like_match(table.value, name))) continue;
        if (!wanted.empty() && !wanted.count(type)) continue;
        found.emplace_back(type, sch, name, q.is_null(3) ? "\x01" : q.text(3));
    }
    std::sort(found.begin(), found.end());
    for (const auto& [type, sch, name, remarks] : found) {
        rows.push_back({value{}, value::make_text(sch), value::make_text(name), value::make_text(type),
                        remarks == "\x01" ? value{} : value::make_text(remarks)});
    }
    return make(std::move(cols), std::move(rows));
}

result_set catalog_columns(session& s, const cli_text& catalog, const cli_text& schema,
                           const cli_text& table, const cli_text& column) {
    std::vector<result_column> cols = {
        name_col("TABLE_CAT"), name_col("TABLE_SCHEM"), name_col("TABLE_NAME", false),
        name_col("COLUMN_NAME", false), small_col("DATA_TYPE", false), name_col("TYPE_NAME", false),
        int_col("COLUMN_SIZE"), int_col("BUFFER_LENGTH"), small_col("DECIMAL_DIGITS"),
        small_col("NUM_PREC_RADIX"), small_col("NULLABLE", false),
        {"REMARKS", {db2_kind::varchar, 254, 0}, true, false, "", ""},
        {"COLUMN_DEF", {db2_kind::varchar, 254, 0}, true, false, "", ""},
        small_col("SQL_DATA_TYPE", false), small_col("SQL_DATETIME_SUB"), int_col("CHAR_OCTET_LENGTH"),
        int_col("ORDINAL_POSITION", false), {"IS_NULLABLE", {db2_kind::varchar, 254, 0}, true, false, "", ""}};
    std::vector<std::vector<value>> rows;
    if (catalog_excludes(catalog)) return make(std::move(cols), std::move(rows));
    std::vector<std::pair<std::string, std::string>> tables;
    auto q = s.db().prepare("SELECT tabschema, tabname FROM _cat_tables ORDER BY tabschema, tabname");
    while (q.step()) {
        if (matches(schema, q.text(0)) && matches(table, q.text(1))) tables.emplace_back(q.text(0), q.text(1));
    }
    for (const auto& [sch, name] : tables) {
        auto meta = s.db().find_table(sch, name);
        if (!meta) continue;
        for (const auto& c : meta->columns) {
            if (!matches(column, c.name)) continue;
            const db2_type& t = c.type;
            const SQLSMALLINT sql_type = t.sql_type();
            std::optional<int> sub;
            if (t.kind == db2_kind::date) sub = SQL_CODE_DATE;
            if (t.kind == db2_kind::time) sub = SQL_CODE_TIME;
            if (t.kind == db2_kind::timestamp) sub = SQL_CODE_TIMESTAMP;
            value def;
            if (c.default_text && !c.generated) {
                // The field holds 254 characters; a longer default reads TRUNCATED.
                def = value::make_text(c.default_text->size() > 254 ? "TRUNCATED" : *c.default_text);
            }
            rows.push_back({value{}, value::make_text(sch), value::make_text(name),
                            value::make_text(c.name), value::make_int(sql_type),
                            value::make_text(t.odbc_name()),
                            value::make_int(std::min<std::int64_t>(t.column_size(), 2147483647)),
                            value::make_int(std::min<std::int64_t>(t.buffer_length(), 2147483647)),
                            opt(t.decimal_digits()), opt(t.radix()),
                            value::make_int(c.nullable ? SQL_NULLABLE : SQL_NO_NULLS),
                            c.remarks.empty() ? value{} : value::make_text(c.remarks), def,
                            value::make_int(sub ? SQL_DATETIME : sql_type), opt(sub),
                            opt(t.char_octet_length()), value::make_int(c.colno + 1),
                            value::make_text(c.nullable ? "YES" : "NO")});
        }
    }
    return make(std::move(cols), std::move(rows));
}

result_set catalog_primary_keys(session& s, const cli_text& catalog, const cli_text& schema,
                                const cli_text& table) {
    std::vector<result_column> cols = {name_col("TABLE_CAT"), name_col("TABLE_SCHEM"),
                                       name_col("TABLE_NAME", false), name_col("COLUMN_NAME", false),
                                       small_col("KEY_SEQ", false), name_col("PK_NAME")};
    std::vector<std::vector<value>> rows;
    if (catalog_excludes(catalog)) return make(std::move(cols), std::move(rows));
    auto q = s.db().prepare(
        "SELECT i.tabschema, i.tabname, c.colname, c.colseq, i.constname FROM _cat_indexes i "
        "JOIN _cat_indexcols c ON c.indschema = i.indschema AND c.indname = i.indname "
        "WHERE i.uniquerule = 'P' ORDER BY i.tabschema, i.tabname, c.colseq");
    while (q.step()) {
        if (!equals_arg(schema, q.text(0)) || !equals_arg(table, q.text(1))) continue;
        rows.push_back({value{}, value::make_text(q.text(0)), value::make_text(q.text(1)),
                        value::make_text(q.text(2)), value::make_int(q.integer(3)),
                        text_or_null(q.text(4))});
    }
    return make(std::move(cols), std::move(rows));
}

result_set catalog_statistics(session& s, const cli_text& catalog, const cli_text& schema,
                              const cli_text& table, SQLUSMALLINT unique) {
    std::vector<result_column> cols = {
        name_col("TABLE_CAT"), name_col("TABLE_SCHEM"), name_col("TABLE_NAME", false),
        small_col("NON_UNIQUE"), name_col("INDEX_QUALIFIER"), name_col("INDEX_NAME"),
        small_col("TYPE", false), small_col("ORDINAL_POSITION"), name_col("COLUMN_NAME"),
        {"ASC_OR_DESC", {db2_kind::char_, 1, 0}, true, false, "", ""}, int_col("CARDINALITY"),
        int_col("PAGES"), name_col("FILTER_CONDITION")};
    std::vector<std::vector<value>> rows;
    if (catalog_excludes(catalog)) return make(std::move(cols), std::move(rows));
    const std::string sch = schema.present ? schema.value : s.current_schema();
    if (!table.present || !s.db().find_table(sch, table.value)) return make(std::move(cols), std::move(rows));
    // The table's own statistics row first; no statistics were collected, so its figures are
    // unknown (NULL).
    rows.push_back({value{}, value::make_text(sch), value::make_text(table.value), value{}, value{},
                    value{}, value::make_int(SQL_TABLE_STAT), value{}, value{}, value{}, value{},
                    value{}, value{}});
    auto q = s.db().prepare(
        "SELECT i.indschema, i.indname, i.uniquerule, c.colseq, c.colname, c.colorder "
        "FROM _cat_indexes i JOIN _cat_indexcols c ON c.indschema = i.indschema AND "
        "c.indname = i.indname WHERE i.tabschema = ? AND i.tabname = ? "
        "ORDER BY i.uniquerule = 'D', i.indschema, i.indname, c.colseq");
    q.bind(1, sch).bind(2, table.value);
    while (q.step()) {
        const bool non_unique = q.text(2) == "D";
        if (unique == SQL_INDEX_UNIQUE && non_unique) continue;
        rows.push_back({value{}, value::make_text(sch), value::make_text(table.value),
                        value::make_int(non_unique ? SQL_TRUE : SQL_FALSE), value::make_text(q.text(0)),
                        value::make_text(q.text(1)), value::make_int(SQL_INDEX_OTHER),
                        value::make_int(q.integer(3)), value::make_text(q.text(4)),
                        value::make_text(q.text(5)), value{}, value{}, value{}});
    }
    return make(std::move(cols), std::move(rows));
}

result_set catalog_foreign_keys(session& s, const cli_text& pk_catalog, const cli_text& pk_schema,
                                const cli_text& pk_table, const cli_text& fk_catalog,
                                const cli_text& fk_schema, const cli_text& fk_table) {
    std::vector<result_column> cols = {
        name_col("PKTABLE_CAT"), name_col("PKTABLE_SCHEM"), name_col("PKTABLE_NAME", false),
        name_col("PKCOLUMN_NAME", false), name_col("FKTABLE_CAT"), name_col("FKTABLE_SCHEM"),
        name_col("FKTABLE_NAME", false), name_col("FKCOLUMN_NAME", false),
        small_col("KEY_SEQ", false), small_col("UPDATE_RULE"), small_col("DELETE_RULE"),
        name_col("FK_NAME"), name_col("PK_NAME"), small_col("DEFERRABILITY")};
    std::vector<std::vector<value>> rows;
    if (catalog_excludes(pk_catalog) || catalog_excludes(fk_catalog)) return make(std::move(cols), std::move(rows));
    const bool by_parent = pk_table.present && !pk_table.value.empty();
    const bool by_child = fk_table.present && !fk_table.value.empty();
    if (!by_parent && !by_child) {
        throw_client("CLI0124E", "Invalid argument value.", "HY009");
    }
    auto q = s.db().prepare(
        "SELECT r.reftabschema, r.reftabname, c.pkcolname, r.tabschema, r.tabname, c.fkcolname, "
        "c.colseq, r.updaterule, r.deleterule, r.constname, r.refkeyname FROM _cat_references r "
        "JOIN _cat_refcols c ON c.constname = r.constname AND c.tabschema = r.tabschema AND "
        "c.tabname = r.tabname");
    auto rule = [](const std::string& letter) -> std::int64_t {
        if (letter == "C") return SQL_CASCADE;
        if (letter == "R") return SQL_RESTRICT;
        if (letter == "N") return SQL_SET_NULL;
        return SQL_NO_ACTION;
    };
    using key = std::tuple<std::string, std::string, std::string, std::int64_t>;
    std::vector<std::pair<key, std::vector<value>>> found;
    const std::string current = s.current_schema();
    while (q.step()) {
        if (by_parent && (q.text(1) != pk_table.value ||
                          q.text(0) != (pk_schema.present && !pk_schema.value.empty() ? pk_schema.value : current)))
            continue;
        if (by_child && (q.text(4) != fk_table.value ||
                         q.text(3) != (fk_schema.present && !fk_schema.value.empty() ? fk_schema.value : current)))
            continue;
        std::vector<value> row = {value{}, value::make_text(q.text(0)), value::make_text(q.text(1)),
                                  value::make_text(q.text(2)), value{}, value::make_text(q.text(3)),
                                  value::make_text(q.text(4)), value::make_text(q.text(5)),
                                  value::make_int(q.integer(6)), value::make_int(rule(q.text(7))),
                                  value::make_int(rule(q.text(8))), value::make_text(q.text(9)),
                                  value::make_text(q.text(10)), value::make_int(SQL_NOT_DEFERRABLE)};
        key k = by_parent ? key{q.text(3), q.text(4), q.text(9), q.integer(6)}
                          : key{q.text(0), q.text(1), q.text(9), q.integer(6)};
        found.emplace_back(std::move(k), std::move(row));
    }
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& f : found) rows.push_back(std::move(f.second));
    return make(std::move(cols), std::move(rows));
}

}  // namespace db2s
