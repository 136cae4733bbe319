// DB2 as a destination: tables, keys, indexes and foreign keys made in a schema, and the
// schema's own connection when it lies in another database than the source.

#include "db2_db.hpp"
#include "db2_engi.hpp"
#include "db2_init.hpp"
#include "db2_recs.hpp"

#include "tk_log.hpp"
#include "tk_utils.hpp"
#include "udb_errh.hpp"

#include <algorithm>

namespace {

// A failure of one foreign key: reported, and the next key follows. Without an error handler
// (a caller outside a run) there is nobody to tell, so it is raised.
void report_key(const udb_foreign_key& key, const std::string& why) {
    const db2_exception e(-1, "Foreign key '" + tk_to_utf8(key.name) + "' of table " + tk_to_utf8(key.child_table) +
                                  " is not created: " + why);
    error_handler* handler = error_handler::pointer();
    if (!handler) throw e;
    handler->handle(e, 0);
}

} // namespace

db2_database::db2_database(const std::u16string& schema, std::unique_ptr<db2_connection> connection,
                           std::int32_t mode)
    : udb_database(schema, mode, true), own_connection_(std::move(connection)), dbc_(own_connection_->get()) {
    tk_wtrace(2, u"db2_database::ctor(%s)", schema.c_str());
    // Unqualified names in statements a caller passes to query() land in this schema.
    db2_execute(dbc_, u"SET SCHEMA " + db2_quote_name(schema));
    tables_ = db2_query_column(dbc_, u"SELECT TABNAME FROM SYSCAT.TABLES WHERE TABSCHEMA = " +
                                         db2_string_literal(schema) + u" AND TYPE = 'T' ORDER BY TABNAME");
}

db2_database::~db2_database() = default;

db2_handle db2_database::alloc_statement() const { return db2_alloc_statement(dbc_); }

std::int32_t db2_database::count_rows(const std::u16string& quoted_name) const {
    if (!own_connection_) return db2_engine::instance().count_rows(quoted_name);
    const auto values = db2_query_column(dbc_, u"SELECT count(*) FROM " + quoted_name);
    return values.empty() ? 0 : std::int32_t(std::stol(tk_to_utf8(values.front())));
}

std::u16string db2_database::quoted_table(const std::u16string& table) const {
    return db2_quote_name(name_) + u"." + db2_quote_name(table);
}

std::unique_ptr<udb_recordset> db2_database::create_table(const std::u16string& name, const udb_schema& schema,
                                                          const udb_indexes& indexes) {
    tk_wtrace(2, u"db2_database::create_table(%s)", name.c_str());
    if (is_table_exist(name)) return get_table(name, 2);
    db2_schema_initializer columns(name, schema, indexes);
    db2_execute(dbc_, columns.get_init_str(quoted_table(name)));
    tables_.push_back(name);
    if (!indexes.empty()) {
        if (!index_names_read_) {
            for (const std::u16string& index : db2_query_column(
                     dbc_, u"SELECT INDNAME FROM SYSCAT.INDEXES WHERE INDSCHEMA = " + db2_string_literal(name_)))
                index_names_.add_existing_name(index);
            index_names_read_ = true;
        }
        db2_indexes_initializer keys(name, indexes, columns.schema(), columns.mapped_pairs());
        keys.build_indexes(dbc_, quoted_table(name), db2_quote_name(name_), index_names_);
    }
    names_map_.add_fn_map(name, columns.mapped_pairs());
    return get_table(name, 2);
}

bool db2_database::delete_tab(const std::u16string& name) {
    tk_wtrace(2, u"db2_database::delete_tab(%s)", name.c_str());
    try {
        db2_execute(dbc_, u"DROP TABLE " + quoted_table(name));
    } catch (const db2_exception& e) {
        tk_trace(2, "Cannot drop the table: %s", e.what());
        return false;
    }
    return udb_database::delete_tab(name);
}

void db2_database::create_relationships(const udb_relationships& relationships) {
    tk_trace(2, "db2_database::create_relationships");
    if (mode_ & mode_append) {
        tk_trace(2, "Foreign Keys are not converted in append mode");
        return;
    }
    for (const udb_foreign_key& key : relationships) {
        const std::u16string child = names_map_.get_tn_mapped_name(key.child_table, true);
        const std::u16string parent = names_map_.get_tn_mapped_name(key.parent_table, true);
        if (!key.parent_schema.empty() || find_table(child) < 0 || find_table(parent) < 0) {
            report_key(key, "its tables are not both part of the conversion");
            continue;
        }
        std::u16string sql = u"ALTER TABLE " + quoted_table(child) + u" ADD CONSTRAINT " +
                             db2_quote_name(key.name) + u" FOREIGN KEY (";
        for (std::size_t i = 0; i < key.child_fields.size(); ++i)
            sql += (i ? u", " : u"") + db2_quote_name(names_map_.get_fn_mapped_name(child, key.child_fields[i], true));
        sql += u") REFERENCES " + quoted_table(parent) + u"(";
        for (std::size_t i = 0; i < key.parent_fields.size(); ++i)
            sql += (i ? u", " : u"") +
                   db2_quote_name(names_map_.get_fn_mapped_name(parent, key.parent_fields[i], true));
        sql += u")";
        if (!key.rule_clause.empty()) sql += u" " + key.rule_clause;
        tk_wtrace(3, u"Run SQL query: %s\n", sql.c_str());
        try {
            db2_execute(dbc_, sql);
        } catch (const db2_exception& e) {
            report_key(key, e.what());
        }
    }
}

bool db2_database::query(const std::u16string& statement) {
    try {
        db2_execute(dbc_, u"SET SCHEMA " + db2_quote_name(name_));
        db2_execute(dbc_, statement);
        return true;
    } catch (const db2_exception&) {
        return false;
    }
}
