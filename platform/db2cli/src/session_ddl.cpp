#include "session.hpp"

#include "diagnostics.hpp"
#include "functions.hpp"
#include "text.hpp"

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <set>

namespace db2s {

// DDL: each CREATE, DROP, ALTER and COMMENT writes the catalogue rows of its object beside the
// SQLite object that stores it, inside the statement's write scope.

namespace {

// A DROP naming a table of the other kind.
[[noreturn]] void wrong_object_type(const table_meta& t, std::string_view expected) {
    throw_server(-159,
                 "The statement references \"" + t.schema + "." + t.name +
                     "\" which identifies a \"" + (t.type == 'V' ? "VIEW" : "TABLE") +
                     "\" rather than a \"" + std::string(expected) + "\".",
                 "42809");
}

[[noreturn]] void already_exists(std::string_view name, std::string_view type) {
    throw_server(-601,
                 "The name of the object to be created is identical to the existing name \"" +
                     std::string(name) + "\" of type \"" + std::string(type) + "\".",
                 "42710", "42S01");
}

// Unnamed constraints get names in DB2's system form: SQL followed by a time stamp.
std::string system_name() {
    static unsigned counter = 0;
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[32];
    std::snprintf(buf, sizeof buf, "SQL%02d%02d%02d%02d%02d%02d%03u", tm.tm_year % 100,
                  tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, counter++ % 1000);
    return buf;
}

std::int32_t codepage_of(const db2_type& t) {
    if (t.is_binary()) return 0;
    if (t.is_graphic()) return 1200;
    if (t.is_character()) return 1208;
    return 0;
}

// SYSCAT.COLUMNS LENGTH and SCALE: byte lengths for most types, precision for DECIMAL.
std::pair<std::int64_t, int> syscat_length(const db2_type& t) {
    switch (t.kind) {
    case db2_kind::smallint: return {2, 0};
    case db2_kind::integer: return {4, 0};
    case db2_kind::bigint: return {8, 0};
    case db2_kind::real: return {4, 0};
    case db2_kind::double_: return {8, 0};
    case db2_kind::decfloat: return {t.length == 16 ? 8 : 16, 0};
    case db2_kind::date: return {4, 0};
    case db2_kind::time: return {3, 0};
    case db2_kind::timestamp: return {10, static_cast<int>(t.length)};
    case db2_kind::xml: return {0, 0};
    case db2_kind::boolean: return {1, 0};
    case db2_kind::decimal: return {t.length, t.scale};
    default: return {t.length, 0};
    }
}

struct ddl_runner {
    session& s;
    database& db;
    const std::string& current_schema;

    std::string schema_of(const qualified_name& q) const {
        return q.schema.empty() ? current_schema : q.schema;
    }

    // A column of the SQLite table: its stored name and how its comparisons work.
    static std::string storage_column(const column_spec& c) {
        std::string out = quote_stored(c.name);
        if (const auto decl = storage_declaration(c.type); !decl.empty()) out.append(" ").append(decl);
        return out;
    }

    void ensure_schema(const std::string& schema) {
        db.prepare("INSERT OR IGNORE INTO _cat_schemas VALUES (?, ?, NULL)")
            .bind(1, schema)
            .bind(2, s.user())
            .step();
    }

    void check_default(const column_spec& c) {
        if (!c.default_text) return;
        try {
            const insert_expr e = parse_default(*c.default_text);
            if (e.kind == insert_expr::literal) coerce(e.v, c.type, c.name);
        } catch (const db2_error&) {
            throw_server(-574,
                         "DEFAULT value or IDENTITY attribute value is not valid for column \"" +
                             c.name + "\".",
                         "42894");
        }
    }

    void insert_column(const std::string& schema, const std::string& table, int colno,
                       const column_spec& c) {
        const auto [len, scale] = syscat_length(c.type);
        db.prepare(
              "INSERT INTO _cat_columns VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
              "?, ?, NULL)")
            .bind(1, schema)
            .bind(2, table)
            .bind(3, std::int64_t{colno})
            .bind(4, c.name)
            .bind(5, static_cast<std::int64_t>(c.type.kind))
            .bind(6, c.type.length)
            .bind(7, std::int64_t{c.type.scale})
            .bind(8, c.type.catalog_name())
            .bind(9, len)
            .bind(10, std::int64_t{scale})
            .bind(11, std::int64_t{codepage_of(c.type)})
            .bind(12, c.not_null || c.generated ? "N" : "Y")
            .bind_value(13, c.default_text && !c.generated ? value::make_text(*c.default_text) : value{})
            .bind(14, c.generated ? "Y" : "N")
            .bind(15, c.generated ? std::string(1, c.generated) : c.expression.empty() ? " " : "A")
            .bind(16, c.start)
            .bind(17, c.increment)
            .bind(18, c.start)
            .step();
        if (!c.expression.empty()) {
            db.prepare("INSERT INTO _cat_colexprs VALUES (?, ?, ?, ?)")
                .bind(1, schema).bind(2, table).bind(3, c.name).bind(4, c.expression).step();
        }
    }

    void add_key(const table_meta& table, key_spec key) {
        for (const auto& col : key.columns) {
            const column_meta* c = table.find(col);
            if (!c) not_a_column(col, table.schema + "." + table.name);
            if (key.kind != key_spec::foreign && c->nullable) {
                throw_server(-542,
                             "\"" + col + "\" cannot be a column of a primary key or unique key "
                             "because it can contain null values.",
                             "42831");
            }
        }
        if (key.name.empty()) key.name = system_name();
        {
            auto dup = db.prepare(
                "SELECT 1 FROM _cat_indexes WHERE tabschema = ? AND tabname = ? AND constname = ? "
                "UNION ALL SELECT 1 FROM _cat_references WHERE tabschema = ? AND tabname = ? AND "
                "constname = ?");
            dup.bind(1, table.schema).bind(2, table.name).bind(3, key.name);
            dup.bind(4, table.schema).bind(5, table.name).bind(6, key.name);
            if (dup.step()) already_exists(key.name, "CONSTRAINT");
        }
        if (key.kind == key_spec::foreign) {
            add_foreign_key(table, key);
            return;
        }
        if (key.kind == key_spec::primary) {
            auto pk = db.prepare("SELECT 1 FROM _cat_indexes WHERE tabschema = ? AND tabname = ? "
                                 "AND uniquerule = 'P'");
            pk.bind(1, table.schema).bind(2, table.name);
            if (pk.step()) {
                throw_server(-624, "Table \"" + table.schema + "." + table.name +
                                       "\" already has a \"PRIMARY KEY\".",
                             "42889");
            }
        }
        // The enforcing index carries the constraint's name, in the table's schema.
        create_index(table, key.name, key.kind == key_spec::primary ? 'P' : 'U', key.name,
                     [&] {
                         std::vector<std::pair<std::string, char>> cols;
                         for (const auto& c : key.columns) cols.emplace_back(c, 'A');
                         return cols;
                     }(),
                     table.schema);
    }

    void create_index(const table_meta& table, const std::string& name, char rule,
                      const std::string& constname,
                      const std::vector<std::pair<std::string, char>>& cols,
                      const std::string& index_schema) {
        auto exists = db.prepare("SELECT 1 FROM _cat_indexes WHERE indschema = ? AND indname = ?");
        exists.bind(1, index_schema).bind(2, name);
        if (exists.step()) already_exists(index_schema + "." + name, "INDEX");
        std::string sql = std::string("CREATE ") + (rule == 'D' ? "" : "UNIQUE ") + "INDEX " +
                          quote_identifier(index_storage_name(index_schema, name)) + " ON " +
                          quote_identifier(table.storage_name()) + " (";
        int seq = 0;
        for (const auto& [col, order] : cols) {
            if (!table.find(col)) not_a_column(col, table.schema + "." + table.name);
            sql += (seq ? ", " : "") + quote_stored(col) + (order == 'D' ? " DESC" : "");
            db.prepare("INSERT INTO _cat_indexcols VALUES (?, ?, ?, ?, ?)")
                .bind(1, index_schema)
                .bind(2, name)
                .bind(3, std::int64_t{++seq})
                .bind(4, col)
                .bind(5, std::string(1, order))
                .step();
        }
        sql += ")";
        db.prepare("INSERT INTO _cat_indexes VALUES (?, ?, ?, ?, ?, ?, ?, "
                   "(SELECT count(*) FROM _cat_indexes))")
            .bind(1, index_schema)
            .bind(2, name)
            .bind(3, table.schema)
            .bind(4, table.name)
            .bind(5, s.user())
            .bind(6, std::string(1, rule))
            .bind_value(7, constname.empty() ? value{} : value::make_text(constname))
            .step();
        try {
            db.exec(sql);
        } catch (const db2_error& e) {
            if (e.record().native == -803) {
                throw_server(-603,
                             "A unique index cannot be created because the table contains data "
                             "that would result in duplicate index entries.",
                             "23515");
            }
            throw;
        }
    }

    void add_foreign_key(const table_meta& child, const key_spec& key) {
        qualified_name parent_name = key.parent;
        auto parent = db.find_table(schema_of(parent_name), parent_name.name);
        if (!parent) throw_undefined_name(schema_of(parent_name) + "." + parent_name.name);
        // The parent key: the listed columns, or the parent's primary key.
        auto keys = db.prepare(
            "SELECT i.constname, i.uniquerule, group_concat(c.colname, '\x1f') FROM _cat_indexes i "
            "JOIN (SELECT * FROM _cat_indexcols ORDER BY colseq) c ON c.indschema = i.indschema "
            "AND c.indname = i.indname WHERE i.tabschema = ? AND i.tabname = ? AND "
            "i.uniquerule IN ('P', 'U') GROUP BY i.indschema, i.indname");
        keys.bind(1, parent->schema).bind(2, parent->name);
        std::string refkey;
        std::vector<std::string> parent_cols = key.parent_columns;
        while (keys.step()) {
            std::vector<std::string> cols;
            std::string all = keys.text(2);
            std::size_t start = 0;
            for (;;) {
                const auto sep = all.find('\x1f', start);
                cols.push_back(all.substr(start, sep - start));
                if (sep == std::string::npos) break;
                start = sep + 1;
            }
            if ((parent_cols.empty() && keys.text(1) == "P") ||
                (!parent_cols.empty() && cols == parent_cols)) {
                refkey = keys.text(0);
                parent_cols = cols;
                break;
            }
        }
        if (refkey.empty() || parent_cols.size() != key.columns.size()) {
            throw_server(-573,
                         "A column list specified in the references clause of constraint \"" +
                             key.name + "\" does not identify a unique constraint of the parent "
                             "table or nickname \"" + parent->schema + "." + parent->name + "\".",
                         "42890");
        }
        for (const auto& col : key.columns) {
            if (!child.find(col)) not_a_column(col, child.schema + "." + child.name);
        }
        db.prepare("INSERT INTO _cat_references VALUES (?, ?, ?, ?, ?, ?, ?, ?, "
                   "(SELECT count(*) FROM _cat_references))")
            .bind(1, key.name)
            .bind(2, child.schema)
            .bind(3, child.name)
            .bind(4, refkey)
            .bind(5, parent->schema)
            .bind(6, parent->name)
            .bind(7, std::string(1, key.delete_rule))
            .bind(8, std::string(1, key.update_rule))
            .step();
        for (std::size_t i = 0; i < key.columns.size(); ++i) {
            db.prepare("INSERT INTO _cat_refcols VALUES (?, ?, ?, ?, ?, ?)")
                .bind(1, key.name)
                .bind(2, child.schema)
                .bind(3, child.name)
                .bind(4, static_cast<std::int64_t>(i + 1))
                .bind(5, key.columns[i])
                .bind(6, parent_cols[i])
                .step();
        }
    }

    void create_table(const create_table_stmt& st) {
        const std::string schema = schema_of(st.table);
        if (db.find_table(schema, st.table.name)) already_exists(schema + "." + st.table.name, "TABLE");
        std::set<std::string> names;
        int identities = 0;
        for (const auto& c : st.columns) {
            if (!names.insert(c.name).second) {
                throw_server(-612, "\"" + c.name + "\" is a duplicate name.", "42711");
            }
            identities += c.generated != 0;
            check_default(c);
        }
        if (identities > 1) {
            throw_server(-372,
                         "Only one ROWID, IDENTITY, security label, row change timestamp, row-"
                         "begin, row-end, or transaction-start-ID column is allowed in a table.",
                         "428C1");
        }
        ensure_schema(schema);
        db.prepare("INSERT INTO _cat_tables VALUES (?, ?, ?, 'T', NULL, ?)")
            .bind(1, schema)
            .bind(2, st.table.name)
            .bind(3, s.user())
            .bind(4, now_db2_timestamp())
            .step();
        std::string sql = "CREATE TABLE " + quote_stored(schema + "." + st.table.name) + " (";
        for (std::size_t i = 0; i < st.columns.size(); ++i) {
            insert_column(schema, st.table.name, static_cast<int>(i), st.columns[i]);
            sql += (i ? ", " : "") + storage_column(st.columns[i]);
        }
        sql += ")";
        db.exec(sql);
        db.forget_tables();
        auto table = db.find_table(schema, st.table.name);
        // Keys in the order written, primary keys first so references to the table itself work.
        std::vector<key_spec> keys = st.keys;
        std::stable_partition(keys.begin(), keys.end(),
                              [](const key_spec& k) { return k.kind != key_spec::foreign; });
        for (const auto& k : keys) add_key(*table, k);
        for (const auto& k : st.checks) add_check(*table, k);
    }

    void add_check(const table_meta& table, check_spec check) {
        if (check.name.empty()) check.name = system_name();
        auto dup = db.prepare("SELECT 1 FROM _cat_checks WHERE tabschema = ? AND tabname = ? AND constname = ?");
        dup.bind(1, table.schema).bind(2, table.name).bind(3, check.name);
        if (dup.step()) already_exists(check.name, "CONSTRAINT");
        dup = sqlite_stmt();
        // The rows already there must satisfy it (and the condition must make sense).
        query_stmt q;
        q.text = "SELECT 1 FROM " + db2_table_ref(table) + " WHERE NOT (" + check.condition + ")";
        q.tokens = tokenize(q.text);
        auto violating = db.prepare(s.translate_query(q));
        if (violating.step()) {
            throw_server(-544,
                         "The check constraint \"" + check.name + "\" cannot be added because the "
                         "table contains a row that violates the constraint.",
                         "23512");
        }
        violating = sqlite_stmt();
        db.prepare("INSERT INTO _cat_checks VALUES (?, ?, ?, ?, (SELECT count(*) FROM _cat_checks))")
            .bind(1, table.schema).bind(2, table.name).bind(3, check.name).bind(4, check.condition)
            .step();
    }

    void create_view(const create_view_stmt& st) {
        const qualified_name name{schema_of(st.view), st.view.name};
        if (auto existing = db.find_table(name.schema, name.name)) {
            if (!st.or_replace || existing->type != 'V')
                already_exists(name.schema + "." + name.name, existing->type == 'V' ? "VIEW" : "TABLE");
            drop_view(name);
        }
        query_stmt q;
        q.text = st.query;
        q.tokens = tokenize(q.text);
        if (std::any_of(q.tokens.begin(), q.tokens.end(), [](const token& t) { return t.kind == token::param; }))
            throw_syntax_error("?", "", "<expression>");
        const std::string sql = s.translate_query(q);
        std::vector<result_column> cols;
        // Typed as a query of it is: from the first row for expressions.
        cols = s.describe_query(q);
        if (!st.columns.empty() && st.columns.size() != cols.size()) {
            throw_server(-153, "The statement does not include a required column list.", "42908");
        }
        std::set<std::string> seen;
        std::vector<column_spec> specs;
        for (std::size_t i = 0; i < cols.size(); ++i) {
            column_spec c;
            c.name = st.columns.empty() ? cols[i].name : st.columns[i];
            if (st.columns.empty() && c.name == std::to_string(i + 1)) {
                throw_server(-153, "The statement does not include a required column list.", "42908");
            }
            if (!seen.insert(c.name).second) throw_server(-612, "\"" + c.name + "\" is a duplicate name.", "42711");
            c.type = cols[i].type;
            c.not_null = !cols[i].nullable;
            specs.push_back(std::move(c));
        }
        ensure_schema(name.schema);
        db.prepare("INSERT INTO _cat_tables VALUES (?, ?, ?, 'V', NULL, ?)")
            .bind(1, name.schema).bind(2, name.name).bind(3, s.user()).bind(4, now_db2_timestamp()).step();
        std::string names;
        for (std::size_t i = 0; i < specs.size(); ++i) {
            insert_column(name.schema, name.name, static_cast<int>(i), specs[i]);
            names += (i ? ", " : "") + quote_stored(specs[i].name);
        }
        db.prepare("INSERT INTO _cat_views VALUES (?, ?, ?)")
            .bind(1, name.schema).bind(2, name.name).bind(3, st.text).step();
        db.exec("CREATE VIEW " + quote_stored(name.schema + "." + name.name) + " (" + names + ") AS " + sql);
    }

    void drop_view(const qualified_name& q) {
        auto view = s.require_table(q);
        if (view->type != 'V' || view->schema == "SYSCAT" || view->schema == "SYSIBM") wrong_object_type(*view, "VIEW");
        for (const char* sql : {"DELETE FROM _cat_tables WHERE tabschema = ?1 AND tabname = ?2",
                                "DELETE FROM _cat_columns WHERE tabschema = ?1 AND tabname = ?2",
                                "DELETE FROM _cat_views WHERE viewschema = ?1 AND viewname = ?2"}) {
            db.prepare(sql).bind(1, view->schema).bind(2, view->name).step();
        }
        db.exec("DROP VIEW " + quote_identifier(view->storage_name()));
        db.forget_tables();
    }

    void drop_table(const qualified_name& q) {
        auto table = s.require_table(q);
        if (table->type != 'T') wrong_object_type(*table, "TABLE");
        for (const char* sql :
             {"DELETE FROM _cat_tables WHERE tabschema = ?1 AND tabname = ?2",
              "DELETE FROM _cat_columns WHERE tabschema = ?1 AND tabname = ?2",
              "DELETE FROM _cat_indexcols WHERE (indschema, indname) IN (SELECT indschema, "
              "indname FROM _cat_indexes WHERE tabschema = ?1 AND tabname = ?2)",
              "DELETE FROM _cat_indexes WHERE tabschema = ?1 AND tabname = ?2",
              "DELETE FROM _cat_refcols WHERE (tabschema = ?1 AND tabname = ?2) OR "
              "(tabschema, tabname, constname) IN (SELECT tabschema, tabname, constname FROM "
              "_cat_references WHERE reftabschema = ?1 AND reftabname = ?2)",
              "DELETE FROM _cat_references WHERE (tabschema = ?1 AND tabname = ?2) OR "
              "(reftabschema = ?1 AND reftabname = ?2)",
              "DELETE FROM _cat_checks WHERE tabschema = ?1 AND tabname = ?2",
              "DELETE FROM _cat_colexprs WHERE tabschema = ?1 AND tabname = ?2"}) {
            db.prepare(sql).bind(1, table->schema).bind(2, table->name).step();
        }
        db.exec("DROP TABLE " + quote_identifier(table->storage_name()));
    }

    void drop_index(const qualified_name& q) {
        const std::string schema = schema_of(q);
        auto idx = db.prepare("SELECT uniquerule FROM _cat_indexes WHERE indschema = ? AND indname = ?");
        idx.bind(1, schema).bind(2, q.name);
        if (!idx.step()) throw_undefined_name(schema + "." + q.name);
        const bool system_required = idx.text(0) != "D";
        idx = sqlite_stmt();  // a statement still stepping would lock the schema against DROP
        if (system_required) {
            throw_server(-669, "A system required index cannot be dropped explicitly.", "42917");
        }
        db.prepare("DELETE FROM _cat_indexcols WHERE indschema = ? AND indname = ?").bind(1, schema).bind(2, q.name).step();
        db.prepare("DELETE FROM _cat_indexes WHERE indschema = ? AND indname = ?").bind(1, schema).bind(2, q.name).step();
        db.exec("DROP INDEX " + quote_identifier(index_storage_name(schema, q.name)));
    }

    void drop_schema(const std::string& name) {
        auto used = db.prepare("SELECT 1 FROM _cat_tables WHERE tabschema = ?");
        used.bind(1, name);
        if (used.step()) {
            throw_server(-478,
                         "DROP, ALTER, TRANSFER OWNERSHIP or REVOKE on object type \"SCHEMA\" "
                         "cannot be processed because there is an object \"" + name +
                             "\", of type \"TABLE\", which depends on it.",
                         "42893");
        }
        auto del = db.prepare("DELETE FROM _cat_schemas WHERE schemaname = ?");
        del.bind(1, name).step();
        if (sqlite3_changes(db.handle()) == 0) throw_undefined_name(name);
    }

    void update_column(const table_meta& t, const column_meta& c, const char* assignments,
                       const value& a = {}, const value& b = {}, const value& d = {}) {
        auto u = db.prepare(std::string("UPDATE _cat_columns SET ") + assignments +
                            " WHERE tabschema = ?4 AND tabname = ?5 AND colno = ?6");
        u.bind_value(1, a).bind_value(2, b).bind_value(3, d);
        u.bind(4, t.schema).bind(5, t.name).bind(6, std::int64_t{c.colno});
        u.step();
    }

    void alter_table(const alter_table_stmt& st) {
        auto table = s.require_table(st.table);
        int next_colno = static_cast<int>(table->columns.size());
        for (const auto& c : st.add_columns) {
            if (table->find(c.name)) throw_server(-612, "\"" + c.name + "\" is a duplicate name.", "42711");
            check_default(c);
            insert_column(table->schema, table->name, next_colno++, c);
            db.exec("ALTER TABLE " + quote_identifier(table->storage_name()) + " ADD COLUMN " +
                    storage_column(c));
            // Existing rows take the new column's default.
            if (c.default_text) {
                db.forget_tables();
                auto fresh = db.find_table(table->schema, table->name);
                const column_meta* meta = fresh->find(c.name);
                const value v = coerce(evaluate_default(*meta), meta->type, meta->name);
                auto u = db.prepare("UPDATE " + quote_identifier(table->storage_name()) + " SET " +
                                    quote_stored(c.name) + " = ?");
                u.bind_value(1, v).step();
            }
        }
        db.forget_tables();
        table = s.require_table({table->schema, table->name});
        for (const auto& a : st.alters) {
            const column_meta* c = table->find(a.column);
            if (!c) not_a_column(a.column, table->schema + "." + table->name);
            auto not_identity = [&] {
                throw_server(-372, "Column \"" + c->name + "\" is not an identity column.", "428C1");
            };
            switch (a.op) {
            case alter_column_action::drop_identity:
                if (!c->generated) not_identity();
                update_column(*table, *c, "identity = 'N', generated = ' '");
                break;
            case alter_column_action::set_identity: {
                if (c->generated) {
                    throw_server(-372,
                                 "Only one ROWID, IDENTITY, security label, row change timestamp, "
                                 "row-begin, row-end, or transaction-start-ID column is allowed in "
                                 "a table.",
                                 "428C1");
                }
                if (!c->type.is_integer() && !(c->type.kind == db2_kind::decimal && c->type.scale == 0)) {
                    throw_server(-574, "DEFAULT value or IDENTITY attribute value is not valid for "
                                       "column \"" + c->name + "\".", "42894");
                }
                const std::int64_t start = a.start.value_or(1);
                update_column(*table, *c,
                              "identity = 'Y', generated = ?1, id_start = ?2, id_next = ?2, "
                              "id_increment = ?3, deflt = NULL, nulls = 'N'",
                              value::make_text(std::string(1, a.generated)), value::make_int(start),
                              value::make_int(a.increment));
                break;
            }
            case alter_column_action::set_generated_kind:
                if (!c->generated) not_identity();
                update_column(*table, *c, "generated = ?1",
                              value::make_text(std::string(1, a.generated)));
                break;
            case alter_column_action::restart:
                if (!c->generated) not_identity();
                update_column(*table, *c, "id_next = ?1", value::make_int(a.start.value_or(c->id_start)));
                break;
            case alter_column_action::set_default:
                update_column(*table, *c, "deflt = ?1", value::make_text(a.default_text.value_or("NULL")));
                break;
            case alter_column_action::drop_default:
                update_column(*table, *c, "deflt = NULL");
                break;
            case alter_column_action::set_not_null:
                update_column(*table, *c, "nulls = 'N'");
                break;
            case alter_column_action::drop_not_null:
                update_column(*table, *c, "nulls = 'Y'");
                break;
            }
            db.forget_tables();
            table = s.require_table({table->schema, table->name});
        }
        for (const auto& k : st.add_keys) {
            add_key(*table, k);
            db.forget_tables();
            table = s.require_table({table->schema, table->name});
        }
        for (const auto& k : st.add_checks) add_check(*table, k);
    }

    // The value a column's default gives a row that exists already (ALTER TABLE ADD COLUMN).
    value evaluate_default(const column_meta& c) {
        const insert_expr e = parse_default(*c.default_text);
        if (e.kind == insert_expr::literal) return e.v;
        if (e.kind == insert_expr::current_date) return value::make_text(now_db2_timestamp().substr(0, 10));
        if (e.kind == insert_expr::current_time) return value::make_text(now_db2_timestamp().substr(11, 8));
        if (e.kind == insert_expr::current_timestamp) return value::make_text(now_db2_timestamp());
        if (e.kind == insert_expr::user) return value::make_text(s.user());
        return value{};
    }

    void comment(const comment_stmt& st) {
        auto table = s.require_table(st.table);
        if (st.column.empty()) {
            db.prepare("UPDATE _cat_tables SET remarks = ? WHERE tabschema = ? AND tabname = ?")
                .bind(1, st.text).bind(2, table->schema).bind(3, table->name).step();
            return;
        }
        const column_meta* c = table->find(st.column);
        if (!c) not_a_column(st.column, table->schema + "." + table->name);
        db.prepare("UPDATE _cat_columns SET remarks = ? WHERE tabschema = ? AND tabname = ? AND colno = ?")
            .bind(1, st.text).bind(2, table->schema).bind(3, table->name)
            .bind(4, std::int64_t{c->colno}).step();
    }
};

}  // namespace

void session::run_ddl(const statement_ast& ast) {
    ddl_runner r{*this, *db_, schema_};
    if (auto* ct = std::get_if<create_table_stmt>(&ast)) {
        r.create_table(*ct);
    } else if (auto* ci = std::get_if<create_index_stmt>(&ast)) {
        auto table = require_table(ci->table);
        r.create_index(*table, ci->index.name, ci->unique ? 'U' : 'D', "", ci->columns,
                       r.schema_of(ci->index));
    } else if (auto* cs = std::get_if<create_schema_stmt>(&ast)) {
        auto e = db_->prepare("SELECT 1 FROM _cat_schemas WHERE schemaname = ?");
        e.bind(1, cs->name);
        if (e.step()) already_exists(cs->name, "SCHEMA");
        r.ensure_schema(cs->name);
    } else if (auto* d = std::get_if<drop_stmt>(&ast)) {
        if (d->what == drop_stmt::table) r.drop_table(d->name);
        else if (d->what == drop_stmt::view) r.drop_view(d->name);
        else if (d->what == drop_stmt::index) r.drop_index(d->name);
        else r.drop_schema(d->name.name);
    } else if (auto* at = std::get_if<alter_table_stmt>(&ast)) {
        r.alter_table(*at);
    } else if (auto* cv = std::get_if<create_view_stmt>(&ast)) {
        r.create_view(*cv);
    } else if (auto* cm = std::get_if<comment_stmt>(&ast)) {
        r.comment(*cm);
    }
}

}  // namespace db2s
