#include "sql_db.hpp"

#include "sql_init.hpp"
#include "sql_recs.hpp"
#include "sql_stmt.hpp"
#include "sql_tab.hpp"
#include "sql_util.hpp"
#include "sql_view.hpp"
#include "tk_excp.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"
#include "udb_errh.hpp"

#include <algorithm>
#include <cstdio>

namespace {

constexpr std::uint32_t sql_ver_strict_mode = 0x050002; // 5.0.2: strict SQL modes

void wtrace_text(int level, tk_wformat_string<const char16_t*> format, const std::u16string& text) {
    if (!tk_log::skips(level)) tk_wtrace(level, format, text.c_str());
}

std::u16string text_of(const udb_field& field) {
    return field.is_empty_or_null() ? std::u16string() : field.to_wstring();
}

// A database that owns the worker session it works on; the session goes after the database.
struct worker_session {
    std::unique_ptr<sql_engine> session;
};
class worker_database : private worker_session, public sql_database {
public:
    worker_database(std::unique_ptr<sql_engine> own, const std::u16string& name, std::int32_t mode)
        : worker_session{std::move(own)}, sql_database(name, *session, mode) {}
};

} // namespace

std::string sql_string_literal(std::u16string_view text) {
    const std::string utf8 = tk_to_utf8(text);
    std::string out;
    out.reserve(utf8.size() + 2);
    out += '\'';
    for (char c : utf8) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\'': out += "\\'"; break;
        case '\0': out += "\\0"; break;
        default: out += c;
        }
    }
    out += '\'';
    return out;
}

std::unique_ptr<sql_database> sql_open_database(sql_engine& engine, const std::u16string& name, std::int32_t mode) {
    engine.open_db(name);
    return std::make_unique<sql_database>(name, engine, mode);
}

sql_database::sql_database(const std::u16string& name, sql_engine& engine, std::int32_t mode)
    : udb_database(name, mode, false), engine_(engine) {
    if (!tk_log::skips(2)) tk_trace(2, "sql_database::sql_database(%s, mode=%d)", tk_to_utf8(name).c_str(), int(mode));
    init_tables();
    make_rows_strict();
    if ((mode & sql_db_skip_views) == 0) {
        try {
            init_views();
        } catch (const sql_exception& e) {
            // A server without views support still opens.
            tk_trace(2, "ERROR1:\n%s", e.what());
        }
    }
}

sql_database::~sql_database() = default;

void sql_database::make_rows_strict() {
    // Under STRICT_TRANS_TABLES a table without transactions refuses a bad value only in the
    // first row of a multi-row INSERT and silently cuts or changes it in every later row, and
    // without strict mode every row is stored altered. Strict for all tables, every such row
    // is refused, and the table writer isolates and reports it; a dump sets the same mode for
    // its statements, so that a value one mode refuses the other refuses as well.
    if (server_version() < sql_ver_strict_mode) return;
    if (!connection().query("SELECT @@SESSION.sql_mode")) return;
    sql_result result = connection().store_result();
    MYSQL_ROW row = result ? mysql_fetch_row(result.get()) : nullptr;
    if (!row || !row[0]) return;
    const std::string mode = row[0];
    const std::string flag = "STRICT_ALL_TABLES";
    for (std::size_t p = mode.find(flag); p != std::string::npos; p = mode.find(flag, p + 1)) {
        const std::size_t end = p + flag.size();
        if ((p == 0 || mode[p - 1] == ',') && (end == mode.size() || mode[end] == ',')) return;
    }
    const std::string statement = "SET SESSION sql_mode='" + mode + (mode.empty() ? "" : ",") + flag + "'";
    tk_trace(2, "%s", statement.c_str());
    if (!connection().query(statement)) tk_trace(2, "Cannot set SQL mode: %s", connection().error());
}

void sql_database::init_tables() {
    tk_trace(2, "sql_database::init_tables");
    auto add = [this](std::u16string table) {
        wtrace_text(2, u"Got table name: '%s'", table);
        tables_.push_back(std::move(table));
    };
    if (server_version() < sql_ver_full_tables) {
        tk_trace(2, "Extracting tables in old way");
        sql_result result(mysql_list_tables(connection().handle(), nullptr));
        if (!result) throw sql_exception(connection());
        while (MYSQL_ROW row = mysql_fetch_row(result.get())) {
            const unsigned long* lengths = mysql_fetch_lengths(result.get());
            if (row[0]) add(tk_from_utf8(std::string_view(row[0], lengths[0])));
        }
        return;
    }
    tk_trace(2, "Extracting tables in new way");
    std::unique_ptr<udb_recordset> rows = query_rows(u"show full tables where Table_type='BASE TABLE'");
    if (!rows) return;
    for (rows->reset(); !rows->is_eof(); rows->next()) add(text_of((*rows->get_item())[0]));
}

void sql_database::init_views() {
    tk_trace(2, "sql_database::init_views");
    // The name goes into a string literal: escaped, so that a quote or backslash in it
    // can neither break the statement nor change what it asks.
    const std::u16string statement =
        u"SELECT table_name, view_definition FROM information_schema.views WHERE table_schema=" +
        tk_from_utf8(sql_string_literal(name_));
    std::unique_ptr<udb_recordset> rows = query_rows(statement);
    if (!rows) return;
    for (rows->reset(); !rows->is_eof(); rows->next()) {
        const udb_record& row = *rows->get_item();
        const std::u16string view = text_of(row[0]);
        const std::u16string definition = text_of(row[1]);
        wtrace_text(2, u"Got query name: '%s'", view);
        wtrace_text(2, u"Got query SQL: '%s'", definition);
        queries_[view] = refine_view_out(definition);
    }
}

std::unique_ptr<udb_recordset> sql_database::create_table(const std::u16string& name, const udb_schema& schema,
                                                          const udb_indexes& indexes) {
    wtrace_text(2, u"sql_database::create_table(%s)", name);
    tk_verify((mode_ & sql_db_read_only) == 0, "sql_db", __LINE__);
    // An earlier table may have lost the connection: each table starts on a live one.
    engine_.ensure_connection(this->name());
    if (is_table_exist(name)) {
        tk_verify((mode_ & sql_db_keep_tables) != 0, "sql_db", __LINE__);
        return open_table(name);
    }
    std::u16string auto_increment;
    sql_schema_initializer columns(name, schema, indexes, auto_increment);
    sql_chunks chunks;
    columns.get_init_chunks(chunks);

    sql_chunks key_chunks;
    if (!indexes.empty() || !auto_increment.empty()) {
        sql_indexes_initializer keys(columns.schema(), indexes, auto_increment, columns.names_map());
        keys.get_init_chunks(key_chunks);
    }
    const std::uint32_t version = server_version();
    const std::u16string_view storage =
        version > sql_ver_engine_clause && engine_.is_innodb() ? u"InnoDB" : u"MyISAM";
    const std::u16string statement = sql_create_table_statement(name, chunks, key_chunks, storage, version);
    wtrace_text(2, u"Run SQL query: %s\n", statement);
    if (!engine_.send(statement)) throw sql_exception(connection());

    tables_.push_back(name);
    created_.push_back(name);
    names_map_.add_fn_map(name, columns.names_map());
    return open_table(name);
}

void sql_database::adopt_table(udb_database& part, const std::u16string& name) {
    udb_database::adopt_table(part, name);
    const auto& made = dynamic_cast<sql_database&>(part).created_;
    const auto same = [&name](const std::u16string& t) { return udb_name_equal(t, name); };
    if (std::any_of(made.begin(), made.end(), same) && std::none_of(created_.begin(), created_.end(), same))
        created_.push_back(name);
}

bool sql_database::appends_at_once() const noexcept { return true; }

std::unique_ptr<sql_database> sql_database::open_worker() const {
    std::unique_ptr<sql_engine> session = engine_.open_worker_session();
    session->open_db(name());
    return std::make_unique<worker_database>(std::move(session), name(), mode_ | sql_db_skip_views);
}

bool sql_database::delete_tab(const std::u16string& name) {
    wtrace_text(2, u"sql_database::delete_tab (%s)", name);
    tk_verify((mode_ & sql_db_read_only) == 0, "sql_db", __LINE__);
    // The session keeps the key checks off, so a parent that keys of an earlier run still
    // refer to can be dropped; the keys are created anew after the last table.
    engine_.ensure_connection(this->name());
    if (!engine_.send(u"DROP TABLE " + engine_.quote_name(listed_name(name)))) throw sql_exception(connection());
    std::erase_if(created_, [&name](const std::u16string& t) { return udb_name_equal(t, name); });
    return udb_database::delete_tab(name);
}

const std::u16string& sql_database::listed_name(const std::u16string& name) const {
    const std::ptrdiff_t i = find_table(name);
    tk_verify(i >= 0, "sql_db", __LINE__);
    return tables_[std::size_t(i)];
}

std::unique_ptr<sql_table> sql_database::open_table(const std::u16string& name) {
    wtrace_text(2, u"sql_database::get_table (%s)", name);
    // Names match ignoring case, but a server on a case-sensitive file system knows the table
    // only under its own spelling.
    return std::make_unique<sql_table>(*this, listed_name(name));
}

std::unique_ptr<udb_recordset> sql_database::get_table(const std::u16string& name, int) { return open_table(name); }

std::unique_ptr<udb_recordset> sql_database::get_query(const std::u16string& name, const std::u16string& query_text,
                                                       int) {
    if (!tk_log::skips(2)) tk_wtrace(2, u"sql_database::get_query(%s,%s)", name.c_str(), query_text.c_str());
    return std::make_unique<sql_recordset>(*this, name, query_text);
}

bool sql_database::query(const std::u16string& statement) {
    wtrace_text(2, u"sql_database::query(%s)", statement);
    if (!connection().query(tk_to_utf8(statement))) return false;
    sql_result result(mysql_use_result(connection().handle()));
    return true;
}

std::unique_ptr<udb_recordset> sql_database::query_rows(const std::u16string& statement) {
    wtrace_text(2, u"sql_database::query(%s)", statement);
    sql_result result = do_query(statement);
    if (connection().error_number() != 0) throw sql_exception(connection());
    if (!result) return nullptr;
    return std::make_unique<sql_tmp_recordset>(std::move(result));
}

sql_result sql_database::do_query(const std::u16string& statement) {
    wtrace_text(1, u"sql_database::do_query2(%s)", statement);
    if (!connection().query(tk_to_utf8(statement))) return nullptr;
    return sql_result(mysql_use_result(connection().handle()));
}

bool sql_database::try_query_append(std::string_view statement) {
    return start_query_append(statement) && finish_query_append();
}

bool sql_database::start_query_append(std::string_view statement) {
    tk_trace(2, "sql_database::query_append( q_len=%d)", int(statement.size()));
    tk_trace(2, "(%.*s)", int(statement.size()), statement.data());
    tk_trace(1, "sql_database::do_query1(%.*s)", int(statement.size()), statement.data());
    return connection().send_query(statement);
}

bool sql_database::finish_query_append() {
    if (!connection().read_query_result()) return false;
    sql_result result(mysql_use_result(connection().handle()));
    return connection().error_number() == 0;
}

void sql_database::query_append(std::string_view statement) {
    if (!try_query_append(statement)) throw sql_exception(connection());
}

sql_database::sql_limited_query::sql_limited_query(sql_database& database, const std::u16string& table_or_query,
                                                   long offset, long count, bool is_query) {
    std::u16string statement = u"SELECT * FROM ";
    if (is_query) {
        statement += u"(" + table_or_query + u") as temp___table";
    } else {
        statement += database.engine().quote_name(table_or_query);
    }
    char limit[64];
    std::snprintf(limit, sizeof limit, " LIMIT %ld,%ld", offset, count);
    statement += tk_ascii_to_wide(limit);
    wtrace_text(1, u"sql_database::sql_limited_query::sql_limited_query(%s)", statement);
    result_ = database.do_query(statement);
    // A refused page would read as an empty table.
    if (!result_) throw sql_exception(database.connection());
}

sql_database::sql_limited_query::~sql_limited_query() {
    tk_trace(1, "sql_database::sql_limited_query::~sql_limited_query");
}

unsigned sql_database::sql_limited_query::field_count() const noexcept { return mysql_num_fields(result_.get()); }

const MYSQL_FIELD* sql_database::sql_limited_query::fields() const noexcept {
    return mysql_fetch_fields(result_.get());
}

void sql_database::sql_limited_query::store_to(sql_page* page) {
    tk_trace(1, "sql_database::sql_limited_query::store_to");
    tk_verify(page != nullptr, "sql_db", __LINE__);
    for (auto& slot : *page) slot.reset();
    tk_trace(1, "Step #1");
    const unsigned n = field_count();
    const MYSQL_FIELD* descriptions = fields();
    for (std::size_t slot = 0; slot < page->size(); ++slot) {
        MYSQL_ROW row = mysql_fetch_row(result_.get());
        if (!row) break;
        tk_trace(1, "Step #2.%d", int(slot));
        (*page)[slot] = std::make_unique<sql_record>(n, descriptions, mysql_fetch_lengths(result_.get()), row);
    }
}

void sql_database::create_fk_index_if(const std::u16string& table, const udb_names& columns) {
    wtrace_text(2, u"sql_database::create_fk_index_if(%s)", table);
    std::unique_ptr<sql_table> t = open_table(table);
    tk_verify(t != nullptr, "sql_db", __LINE__);
    // The table's indexes carry destination names, so the key's columns are mapped first.
    udb_names mapped;
    for (const auto& column : columns) mapped.push_back(names_map_.get_fn_mapped_name(table, column, true));
    if (t->indexes().has_index_on_fields(mapped)) {
        wtrace_text(2, u"Child index for table '%s' exists", table);
        return;
    }
    t.reset();
    try {
        query_rows(sql_add_index_statement(table, mapped, server_version()));
    } catch (const sql_exception& e) {
        tk_trace(2, "Error while creating index for FK:\n%s\n", e.what());
    }
}

void sql_database::create_relationships(const udb_relationships& relationships) {
    tk_trace(2, "sql_database::create_relationships");
    tk_trace(3, "Converting foreign keys");
    engine_.ensure_connection(name());
    if (server_version() < sql_ver_innodb) {
        tk_trace(3, "This version of MySQL doesn't support Foreign Keys");
        return;
    }
    if ((mode_ & sql_db_keep_tables) != 0 && created_.empty()) {
        // Every table was kept as it was (merged into or skipped): so are its keys.
        tk_trace(3, "Foreign keys are not converted in append mode");
        return;
    }
    std::unique_ptr<udb_validator> validator = engine_.create_in_validator(udb_indexes());
    const std::vector<sql_fk_definition> keys = sql_plan_foreign_keys(
        relationships, names_map_, [this](const std::u16string& table) { return table_state(table); }, *validator,
        other_constraint_names(), &foreign_key_counts_.failed);
    if (keys.empty()) return;
    try {
        query_rows(u"SET FOREIGN_KEY_CHECKS = 0");
    } catch (const sql_exception& e) {
        tk_trace(2, "Cannot turn OFF foreign key check: %s", e.what());
    }
    for (const sql_fk_definition& key : keys) {
        wtrace_text(3, u"Processing '%s'", key.source->name);
        try {
            create_relationship(key);
            ++foreign_key_counts_.created;
        } catch (const tk_exception& e) {
            ++foreign_key_counts_.failed;
            tk_trace(2, "Error while creating FK:\n%s\n", e.what());
            error_handler& handler = error_handler::instance();
            if (!key.source->name.empty()) {
                handler.set_context(u"Foreign key '" + key.source->name + u"'");
            } else {
                handler.set_context(key.source->child_table);
            }
            handler.handle(tk_exception(std::string("Can't create foreign key. Contact to ") + sql_support_address +
                                            " for the solution.",
                                        tk_level_item),
                           0);
        }
    }
    try {
        query_rows(u"SET FOREIGN_KEY_CHECKS = 1");
    } catch (const sql_exception& e) {
        tk_trace(2, "Cannot turn ON foreign key check: %s", e.what());
    }
}

void sql_database::create_relationship(const sql_fk_definition& key) {
    create_fk_index_if(key.child, key.source->child_fields);
    create_fk_index_if(key.parent, key.source->parent_fields);
    query_rows(sql_fk_statement(key, engine_));
}

sql_fk_table sql_database::table_state(const std::u16string& name) const {
    for (const std::u16string& table : created_)
        if (udb_name_equal(table, name)) return sql_fk_table::created;
    return is_table_exist(name) ? sql_fk_table::kept : sql_fk_table::absent;
}

std::vector<std::u16string> sql_database::other_constraint_names() {
    std::vector<std::u16string> names;
    if (server_version() < sql_ver_strict_mode) return names; // no information_schema
    try {
        std::unique_ptr<udb_recordset> rows = query_rows(
            u"SELECT constraint_name, table_name FROM information_schema.table_constraints "
            u"WHERE constraint_type='FOREIGN KEY' AND constraint_schema=" +
            tk_from_utf8(sql_string_literal(name_)));
        if (!rows) return names;
        for (rows->reset(); !rows->is_eof(); rows->next()) {
            const udb_record& row = *rows->get_item();
            if (table_state(text_of(row[1])) != sql_fk_table::created) names.push_back(text_of(row[0]));
        }
    } catch (const sql_exception& e) {
        tk_trace(2, "Cannot list foreign keys: %s", e.what());
    }
    return names;
}

void sql_database::create_views(const udb_query_map& queries) {
    tk_trace(2, "sql_database::create_views");
    engine_.ensure_connection(name());
    std::vector<std::u16string> names;
    for (const auto& item : queries) names.push_back(item.first);
    std::unique_ptr<udb_validator> validator = engine_.create_tn_validator(names, tables_);
    for (const auto& [view, text] : queries) {
        wtrace_text(1, u"Processing '%s'", view);
        wtrace_text(1, u"\t'%s'", text);
        try {
            if (!sql_is_select(text)) {
                tk_trace(2, "Skip non-select query");
                continue;
            }
            std::u16string dest = view;
            if (!validator->is_acceptable(view)) {
                dest = validator->get_safe_name(view);
                names_map_.add_tn_mapping(view, dest);
                wtrace_text(2, u"Store generated column name '%s'", dest);
                validator->add_existing_name(dest);
            }
            query_rows(sql_view_statement(dest, refine_view_in(text), server_version()));
            ++view_counts_.created;
        } catch (const tk_exception& e) {
            ++view_counts_.failed;
            tk_trace(2, "Error while creating view:\n%s\n", e.what());
            error_handler& handler = error_handler::instance();
            handler.set_context(u"View '" + view + u"'");
            handler.handle(tk_exception(std::string("Can't create view. Contact to ") + sql_support_address +
                                            " for the solution.",
                                        tk_level_item),
                           0);
        }
    }
}

std::u16string sql_database::refine_view_in(const std::u16string& text) const {
    wtrace_text(1, u"sql_database::refine_view_in(%s)", text);
    return sql_refine_view_in(text, names_map_);
}

std::u16string sql_database::refine_view_out(const std::u16string& text) const {
    wtrace_text(1, u"sql_database::refine_view_out(%s)", text);
    std::u16string out = text;
    const std::size_t open = out.find(u"/*");
    if (open != std::u16string::npos) {
        const std::size_t close = out.find(u"*/");
        if (close != std::u16string::npos && close >= open) out.erase(open, close + 2 - open);
    }
    const std::u16string qualifier = u"`" + name_ + u"`.";
    for (std::size_t p = sql_find_nocase(out, qualifier); p != std::u16string::npos;
         p = sql_find_nocase(out, qualifier, p)) {
        tk_trace(1, "Remove template found at pos=%d", int(p));
        out.erase(p, qualifier.size());
    }
    return sql_view_converter(out).convert_to_ansi();
}
