#include "sql_dump.hpp"

#include "sql_fkey.hpp"
#include "sql_stmt.hpp"
#include "sql_view.hpp"

#include "sql_engi.hpp"
#include "sql_init.hpp"
#include "sql_util.hpp"
#include "sql_vali.hpp"
#include "tk_excp.hpp"
#include "tk_fname.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"
#include "udb_errh.hpp"

#include <exception>
#include <ctime>
#include <vector>

namespace {

constexpr const char* web_address = "https://www.velquor.example/";
constexpr const char* support_address = "support@velquor.example";

// Versions the dump writes for: the oldest dialect, and the newest the column definitions
// distinguish (from 5.5.3 text columns are utf8mb4, which holds every character; the loading
// session's own character set is set to match right after the header).
constexpr std::uint32_t old_dialect_version = 0x031401; // 3.20.1
constexpr std::uint32_t new_dialect_version = sql_ver_utf8mb4;

sql_engine& engine() { return sql_engine::instance(); }

} // namespace

std::unique_ptr<dmp_database> sql_engine::create_dump(const std::u16string& path, const dmp_options& options) {
    tk_wtrace(2, u"sql_engine::create_dump (%s)", path.c_str());
    tk_wtrace(3, u"Creating MySQL dump file '%s'", path.c_str());
    return std::make_unique<dmp_database>(path, options);
}

dmp_database::dmp_database(const std::u16string& path, const dmp_options& options)
    : udb_database(path, 1, false), options_(options), uncaught_(std::uncaught_exceptions()) {
    // Unlike a server connection, a file that cannot be created leaves nothing to convert into:
    // the run must stop here rather than "succeed" without a file.
    tk_wtrace(2, u"dmp_database::ctor(%s)", path.c_str());
    try {
        output_ = std::make_unique<dmp_output>(path);
        out_ = output_.get();
    } catch (const tk_exception&) {
        tk_trace(2, "Failed to open file");
        throw;
    }
    // A new file has no lock open, whatever an earlier dump left in the session.
    engine().set_tables_locked(false);
    engine().set_server_version(options_.b_new_version ? new_dialect_version : old_dialect_version);
    engine().set_dump_dialect(options_.b_new_version);
    tk_trace(2, "b_new_ver=%d", int(options_.b_new_version));
    if (options_.b_comments) write_header();
    if (options_.b_new_version) write_session_settings();
    if (options_.b_create_database && options_.b_create_table) write_database_block();
}

dmp_database::dmp_database(const dmp_database& run, part_tag)
    : udb_database(run.name(), run.mode(), false), options_(run.options_), uncaught_(std::uncaught_exceptions()),
      is_part_(true) {
    tk_wtrace(2, u"dmp_database::part(%s)", name().c_str());
}

std::unique_ptr<dmp_database> dmp_database::open_part() const {
    // Parts are written beside the dump; a dump written in place (a device) has no such place.
    if (output_->in_place()) return nullptr;
    return std::unique_ptr<dmp_database>(new dmp_database(*this, part_tag{}));
}

void dmp_database::adopt_table(udb_database& part, const std::u16string& name) {
    tk_wtrace(2, u"dmp_database::adopt_table(%s)", name.c_str());
    auto& from = dynamic_cast<dmp_database&>(part);
    const auto found = from.parts_.find(name);
    if (found == from.parts_.end()) return;
    if (found->second.closes_lock) close_pending_lock();
    found->second.output->copy_to(*output_);
    if (found->second.leaves_lock) engine().set_tables_locked(true);
    udb_database::adopt_table(part, name);
    if (const auto indexes = from.table_indexes_.find(name); indexes != from.table_indexes_.end())
        table_indexes_.insert_or_assign(name, indexes->second);
    from.parts_.erase(found);
}

dmp_database::~dmp_database() {
    if (is_part_) return;
    // A failure on its way out: the file must not look complete, and the old one stays.
    if (std::uncaught_exceptions() > uncaught_) return;
    try {
        finish();
    } catch (const std::exception& e) {
        tk_trace(3, "%s", e.what());
    }
}

void dmp_database::finish() {
    if (finished_) return;
    finished_ = true;
    // Without a session (ended first) no lock is known; what is buffered must still reach the
    // file, so this step does not reach for the session's single instance.
    if (sql_engine* session = sql_engine::pointer(); session && session->tables_locked()) {
        session->set_tables_locked(false);
        write_line("UNLOCK TABLES;");
    }
    if (options_.b_new_version) write_line("/*!40101 SET SQL_MODE=@OLD_SQL_MODE */;");
    // The last line says that nothing is missing: a dump cut short anywhere lacks it.
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char date[32];
    std::strftime(date, sizeof date, "%Y-%m-%d %H:%M:%S", &local);
    write(line_break());
    write_line(std::string("-- Dump completed on ") + date);
    output_->close();
}

std::string_view dmp_database::line_break() const noexcept { return options_.line_break == 0 ? "\r\n" : "\n"; }

std::u16string_view dmp_database::wline_break() const noexcept {
    return options_.line_break == 0 ? u"\r\n" : u"\n";
}

void dmp_database::write_line(std::string_view bytes) {
    write(bytes);
    write(line_break());
}

void dmp_database::write_quoted(std::u16string_view name) {
    std::string text;
    engine().append_quoted_name(text, name);
    write(text);
}

void dmp_database::close_pending_lock() {
    if (is_part_) {
        // The run's dump writes the UNLOCK (if a lock is open there) when it appends the part.
        current_part_->closes_lock = true;
        return;
    }
    sql_engine& session = engine();
    if (!session.tables_locked()) return;
    session.set_tables_locked(false);
    write_line("UNLOCK TABLES;");
}

void dmp_database::write_header() {
    // A comment line ends at the first line break: a name holding one would let the rest of
    // it run as a statement when the dump is loaded.
    std::string line = "# File name: ";
    tk_append_utf8(line, tk_wprintable(name()));
    write_line(line);

    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char date[32];
    std::snprintf(date, sizeof date, "%02d/%02d/%04d", local.tm_mon + 1, local.tm_mday, local.tm_year + 1900);
    write_line(std::string("# Creation date: ") + date);
    write_line("# Created by " + options_.creator);
    write_line("# --------------------------------------------------");
    write_line(std::string("# More conversion tools at ") + web_address);
}

void dmp_database::write_session_settings() {
    // The client reads the file in its own default character set unless told otherwise, and
    // would cut every character beyond three UTF-8 bytes. A zero in an identity column must
    // stay zero, and literals use backslash escapes and single quotes only. Strict for all
    // tables, as direct mode makes its session: a value the server cannot hold is refused
    // instead of stored altered. Versioned comments let servers without a feature skip the line.
    write_line("/*!40101 SET NAMES utf8 */;");
    write_line("/*!50503 SET NAMES utf8mb4 */;");
    write_line("/*!40101 SET @OLD_SQL_MODE=@@SQL_MODE, SQL_MODE=CONCAT_WS(',', NULLIF(TRIM(BOTH ',' FROM "
               "REPLACE(REPLACE(CONCAT(',', @@SQL_MODE, ','), ',NO_BACKSLASH_ESCAPES,', ','), ',ANSI_QUOTES,', "
               "',')), ''), 'NO_AUTO_VALUE_ON_ZERO') */;");
    write_line("/*!50002 SET SQL_MODE=CONCAT(@@SQL_MODE, ',STRICT_ALL_TABLES') */;");
}

void dmp_database::write_database_block() {
    tk_file_wname parts;
    parts.initialize(name().c_str());
    write(line_break());
    write("DROP DATABASE IF EXISTS ");
    write_quoted(parts.name);
    write_line(";");
    write("CREATE DATABASE ");
    write_quoted(parts.name);
    write_line(";");
    write("USE ");
    write_quoted(parts.name);
    write_line(";");
}

std::unique_ptr<udb_recordset> dmp_database::create_table(const std::u16string& name, const udb_schema& schema,
                                                          const udb_indexes& indexes) {
    tk_wtrace(2, u"dmp_database::create_table(%s)", name.c_str());
    if (is_table_exist(name)) throw tk_mail_assertion("sql_dump", 275);
    if (is_part_) {
        table_part& part = parts_[name];
        tk_verify(!part.output, "sql_dump", __LINE__);
        part.output = std::make_unique<dmp_output>(this->name());
        current_part_ = &part;
        out_ = part.output.get();
    }
    close_pending_lock();

    // The definitions are built first (even without CREATE TABLE: the column names they settle
    // are the ones the rows and the foreign keys use), so that a table whose definitions fail
    // leaves nothing of itself in the file.
    std::u16string auto_increment_name;
    sql_schema_initializer columns(name, schema, indexes, auto_increment_name);
    sql_chunks column_chunks;
    columns.get_init_chunks(column_chunks);
    sql_chunks key_chunks;
    if (!schema.empty()) {
        sql_indexes_initializer keys(columns.schema(), indexes, auto_increment_name, columns.names_map());
        keys.get_init_chunks(key_chunks);
    }

    std::string name_utf8; // for the comment lines only
    tk_append_utf8(name_utf8, tk_wprintable(name));
    const auto comment_block = [&](const char* title) {
        if (!options_.b_comments) return;
        write(line_break());
        write_line("#");
        write_line("# " + (title + (" for table '" + name_utf8 + "'")));
        write_line("#");
        write(line_break());
    };
    if (options_.b_create_table) {
        comment_block("Table structure");
        write("DROP TABLE IF EXISTS ");
        write_quoted(name);
        write_line(";");
    }

    if (options_.b_create_table) {
        tk_trace(2, "Right before inserting CREATE TABLE statement");
        tk_trace(2, options_.b_new_version ? "New version of dump file" : "Old version of dump file");
        // The dump's foreign keys hold only on InnoDB; other engines drop them silently.
        std::string statement = tk_to_utf8(sql_create_table_statement(
            name, column_chunks, key_chunks, options_.b_new_version ? u"InnoDB" : u"MyISAM",
            engine().server_version(), wline_break()));
        statement += ';';
        write_line(statement);
    }

    comment_block("Dumping data");
    if (options_.b_lock_for_write) {
        write("LOCK TABLES ");
        write_quoted(name);
        write_line(" WRITE;");
        if (is_part_) {
            current_part_->leaves_lock = true;
        } else {
            engine().set_tables_locked(true);
        }
    }

    tables().push_back(name);
    names_map().add_fn_map(name, columns.names_map());
    table_indexes_.insert_or_assign(name, indexes);
    return std::make_unique<dmp_recordset>(*this, name, columns.schema());
}

std::unique_ptr<udb_recordset> dmp_database::get_table(const std::u16string&, int) {
    throw tk_mail_assertion("sql_dump", 117);
}

std::unique_ptr<udb_recordset> dmp_database::get_query(const std::u16string&, const std::u16string&, int) {
    return nullptr;
}

bool dmp_database::query(const std::u16string&) { return false; }

std::unique_ptr<udb_recordset> dmp_database::query_rows(const std::u16string& statement) {
    close_pending_lock();
    std::string text;
    tk_append_utf8(text, statement);
    text += ';';
    write_line(text);
    return nullptr;
}

std::u16string dmp_database::refine_view_in(const std::u16string& text) const {
    tk_wtrace(1, u"dmp_database::refine_view_in(%s)", text.c_str());
    return sql_refine_view_in(text, names_map());
}

void dmp_database::create_views(const udb_query_map& queries) {
    tk_trace(2, "dmp_database::create_views");
    std::vector<std::u16string> view_names;
    view_names.reserve(queries.size());
    for (const auto& entry : queries) view_names.push_back(entry.first);
    // Views are written for a server that takes backquoted names, whatever the dialect.
    sql_new_tn_validator validator(view_names, {});

    for (const auto& [view, text] : queries) {
        tk_wtrace(1, u"Processing '%s'", view.c_str());
        tk_wtrace(1, u"\t'%s'", text.c_str());
        if (!sql_is_select(text)) {
            tk_trace(2, "Skip non-select query");
            continue;
        }
        std::u16string dest = view;
        if (!validator.is_acceptable(view)) {
            dest = validator.get_safe_name(view);
            names_map().add_tn_mapping(view, dest);
            tk_wtrace(2, u"Store generated column name '%s'", dest.c_str());
            validator.add_existing_name(dest);
        }
        close_pending_lock();
        std::string statement =
            tk_to_utf8(sql_view_statement(dest, refine_view_in(text), engine().server_version()));
        statement += ';';
        write_line(statement);
        ++view_counts_.created;
    }
    output_->flush();
}

void dmp_database::create_relationships(const udb_relationships& relationships) {
    tk_trace(2, "dmp_database::create_relationships");
    sql_engine& session = engine();
    if (!options_.b_new_version) {
        tk_trace(2, "This version of MySQL (%08X) doesn't support Foreign Keys", session.server_version());
        return;
    }
    close_pending_lock();
    write(line_break());
    write_line("SET FOREIGN_KEY_CHECKS = 0;");

    // Every table of a dump is created by it; a key towards any other table is reported.
    std::unique_ptr<udb_validator> validator = session.create_in_validator(udb_indexes());
    const std::vector<sql_fk_definition> keys = sql_plan_foreign_keys(
        relationships, names_map(),
        [this](const std::u16string& table) {
            return is_table_exist(table) ? sql_fk_table::created : sql_fk_table::absent;
        },
        *validator, {}, &foreign_key_counts_.failed);
    std::string statement;
    for (const sql_fk_definition& key : keys) {
        tk_wtrace(2, u"Processing FK '%s'", key.child.c_str());
        bool has_child_index = false;
        if (const auto found = table_indexes_.find(key.child); found != table_indexes_.end()) {
            tk_trace(1, "udb_indexes::has_index_on_fields");
            for (const udb_index& index : found->second) {
                if (index.starts_with_fields(key.source->child_fields)) {
                    tk_wtrace(2, u"Child index for table '%s' exists", key.child.c_str());
                    has_child_index = true;
                    break;
                }
            }
        }
        if (!has_child_index) {
            statement =
                tk_to_utf8(sql_add_index_statement(key.child, key.child_fields, session.server_version()));
            statement += ';';
            write_line(statement);
        }
        statement = tk_to_utf8(sql_fk_statement(key, session));
        statement += ';';
        write_line(statement);
        ++foreign_key_counts_.created;
    }
    write_line("SET FOREIGN_KEY_CHECKS = 1;");
    output_->flush();
}

// ---------------------------------------------------------------------------------------------

dmp_recordset::dmp_recordset(dmp_database& database, const std::u16string& table, const udb_schema& columns)
    : udb_recordset(table, true), database_(database) {
    tk_wtrace(2, u"dmp_recordset::dmp_recordset(%s)", table.c_str());
    for (const auto& column : columns) schema_.add(std::make_unique<t_ftd>(*column));

    // The column list and the source column of each destination column are the same for every
    // row: settled once here, so that a row costs only its literals.
    std::vector<std::u16string> names;
    names.reserve(schema_.size());
    source_names_.reserve(schema_.size());
    for (std::size_t i = 0; i < schema_.size(); ++i) {
        names.push_back(schema_[i].name);
        source_names_.push_back(database_.names_map().get_fn_orig_name(table, schema_[i].name, true));
    }
    head_ = sql_insert_head(table, names, engine().server_version());
    buffer_.reserve(statement_limit + statement_limit / 4);
}

dmp_recordset::~dmp_recordset() { tk_trace(2, "dmp_recordset::dtor"); }

void dmp_recordset::append_record(const udb_record& record) {
    tk_trace(1, "dmp_recordset::append_record");
    const bool first = buffer_.empty();
    if (first) tk_trace(1, "Initialize new query...");
    const std::size_t row_start = buffer_.size();
    std::size_t tuple_start = 0;
    try {
        buffer_ += first ? std::string_view(head_) : std::string_view(", ");
        tuple_start = buffer_.size();
        sql_append_insert_tuple(buffer_, schema_.size(), [&](std::size_t i) {
            const std::u16string& source = source_names_[i];
            tk_wtrace(1, u"Name=%s, original name=%s", schema_[i].name.c_str(), source.c_str());
            // Rows arrive in source column order, so the field is normally at the column's own
            // place; the name decides when it is not.
            if (i < record.size() && record[i].name == source) return sql_cell(record[i], schema_[i]);
            if (record.has_field(source)) return sql_cell(record.find_field(source), schema_[i]);
            tk_wtrace(1, u"Field %s not found", source.c_str());
            throw tk_exception(std::string("Generic error occurred while migrating the data.\nContact to ") +
                                   support_address + " for the solution.",
                               tk_level_item);
        });
    } catch (...) {
        // The row is not added: the statement stays as it was before it.
        buffer_.resize(row_start);
        throw;
    }
    ++rows_;
    if (!tk_log::skips(1)) {
        tk_trace(1, "*** FAST INSERT MODE ***");
        const std::string row(buffer_, first ? 0 : tuple_start);
        tk_trace(1, "sql_query=[%s]", row.c_str());
    }
    // The server a dump is loaded into refuses statements above its max_allowed_packet,
    // 16 MiB unless raised: a large row gets a statement of its own, and a row too large even
    // for that is written but reported with the limit that its load needs.
    const std::size_t alone = head_.size() + (buffer_.size() - tuple_start);
    if (!first && buffer_.size() + 1 > load_packet_limit) {
        const std::string row(buffer_, tuple_start); // rare: the copy costs less than the row
        buffer_.resize(row_start);
        write_statement();
        buffer_ = head_;
        buffer_ += row;
    }
    if (alone + 1 > load_packet_limit) {
        if (error_handler* handler = error_handler::pointer()) {
            handler->report(tk_exception("The record needs an INSERT statement of " + std::to_string(alone + 1) +
                                             " bytes: the dump loads only into a server whose max_allowed_packet "
                                             "is raised above that (the default is 16 MiB).",
                                         tk_level_item),
                            0, name_, rows_);
        }
    }
    if (buffer_.size() > statement_limit) write_statement();
}

void dmp_recordset::write_statement() {
    if (!tk_log::skips(2)) tk_trace(2, "Run SQL query: [%s]", buffer_.c_str());
    buffer_ += ';';
    buffer_ += database_.line_break();
    // Emptied even when the write fails: a statement is never written twice.
    struct clear_on_exit {
        std::string& text;
        ~clear_on_exit() { text.clear(); }
    } clear{buffer_};
    database_.output().write(buffer_);
    tk_trace(1, "Cleaning append_buffer...");
}

void dmp_recordset::finish() {
    if (!buffer_.empty()) write_statement();
}
