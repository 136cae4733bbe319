#include "database.hpp"

#include "diagnostics.hpp"
#include "functions.hpp"
#include "sha256.hpp"
#include "sql_lexer.hpp"
#include "text.hpp"

#include <sqlite3.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <random>
#include <tuple>

namespace fs = std::filesystem;

namespace db2s {

namespace {

constexpr const char* file_name = "standin.db";

// The catalogue: DB2's view of the tables lives here, the SYSCAT views are built on it.
constexpr const char* catalogue_ddl = R"(
CREATE TABLE _cat_schemas(schemaname TEXT PRIMARY KEY, owner TEXT, remarks TEXT);
CREATE TABLE _cat_tables(tabschema TEXT, tabname TEXT, owner TEXT, type TEXT, remarks TEXT,
  create_time TEXT, PRIMARY KEY(tabschema, tabname));
CREATE TABLE _cat_columns(tabschema TEXT, tabname TEXT, colno INTEGER, colname TEXT,
  kind INTEGER, length INTEGER, scale INTEGER, typename TEXT, sys_length INTEGER,
  sys_scale INTEGER, codepage INTEGER, nulls TEXT, deflt TEXT, identity TEXT, generated TEXT,
  id_start INTEGER, id_increment INTEGER, id_next INTEGER, remarks TEXT,
  PRIMARY KEY(tabschema, tabname, colno));
CREATE TABLE _cat_indexes(indschema TEXT, indname TEXT, tabschema TEXT, tabname TEXT,
  owner TEXT, uniquerule TEXT, constname TEXT, seq INTEGER, PRIMARY KEY(indschema, indname));
CREATE TABLE _cat_indexcols(indschema TEXT, indname TEXT, colseq INTEGER, colname TEXT,
  colorder TEXT);
CREATE TABLE _cat_references(constname TEXT, tabschema TEXT, tabname TEXT, refkeyname TEXT,
  reftabschema TEXT, reftabname TEXT, deleterule TEXT, updaterule TEXT, seq INTEGER,
  PRIMARY KEY(tabschema, tabname, constname));
CREATE TABLE _cat_refcols(constname TEXT, tabschema TEXT, tabname TEXT, colseq INTEGER,
  fkcolname TEXT, pkcolname TEXT);
CREATE TABLE _cat_users(username TEXT PRIMARY KEY, salt TEXT, hash TEXT);
CREATE TABLE _cat_state(key TEXT PRIMARY KEY, value TEXT);
CREATE VIEW "SYSCAT.TABLES" AS SELECT tabschema AS TABSCHEMA, tabname AS TABNAME,
  owner AS OWNER, type AS TYPE, 'N' AS STATUS,
  (SELECT count(*) FROM _cat_columns c WHERE c.tabschema = t.tabschema AND c.tabname = t.tabname)
  AS COLCOUNT, -1 AS CARD, -1 AS NPAGES, create_time AS CREATE_TIME, remarks AS REMARKS
  FROM _cat_tables t;
CREATE VIEW "SYSCAT.COLUMNS" AS SELECT tabschema AS TABSCHEMA, tabname AS TABNAME,
  colname AS COLNAME, colno AS COLNO, 'SYSIBM' AS TYPESCHEMA, typename AS TYPENAME,
  sys_length AS LENGTH, sys_scale AS SCALE, deflt AS "DEFAULT", nulls AS NULLS,
  codepage AS CODEPAGE, identity AS IDENTITY, generated AS GENERATED, remarks AS REMARKS
  FROM _cat_columns;
CREATE VIEW "SYSCAT.INDEXES" AS SELECT indschema AS INDSCHEMA, indname AS INDNAME,
  owner AS OWNER, tabschema AS TABSCHEMA, tabname AS TABNAME,
  (SELECT group_concat(CASE colorder WHEN 'D' THEN '-' ELSE '+' END || colname, '')
     FROM (SELECT * FROM _cat_indexcols c WHERE c.indschema = i.indschema
           AND c.indname = i.indname ORDER BY colseq)) AS COLNAMES,
  uniquerule AS UNIQUERULE,
  (SELECT count(*) FROM _cat_indexcols c WHERE c.indschema = i.indschema
     AND c.indname = i.indname) AS COLCOUNT,
  'REG' AS INDEXTYPE FROM _cat_indexes i;
CREATE VIEW "SYSCAT.REFERENCES" AS SELECT constname AS CONSTNAME, tabschema AS TABSCHEMA,
  tabname AS TABNAME, refkeyname AS REFKEYNAME, reftabschema AS REFTABSCHEMA,
  reftabname AS REFTABNAME,
  (SELECT count(*) FROM _cat_refcols c WHERE c.constname = r.constname
     AND c.tabschema = r.tabschema AND c.tabname = r.tabname) AS COLCOUNT,
  deleterule AS DELETERULE, updaterule AS UPDATERULE FROM _cat_references r;
CREATE VIEW "SYSIBM.SYSDUMMY1" AS SELECT 'Y' AS IBMREQD;
INSERT INTO _cat_schemas VALUES ('SYSCAT', 'SYSIBM', NULL), ('SYSIBM', 'SYSIBM', NULL);
INSERT INTO _cat_tables VALUES
  ('SYSCAT', 'TABLES', 'SYSIBM', 'V', NULL, NULL), ('SYSCAT', 'COLUMNS', 'SYSIBM', 'V', NULL, NULL),
  ('SYSCAT', 'INDEXES', 'SYSIBM', 'V', NULL, NULL),
  ('SYSCAT', 'REFERENCES', 'SYSIBM', 'V', NULL, NULL),
  ('SYSIBM', 'SYSDUMMY1', 'SYSIBM', 'V', NULL, NULL);
)";

// Catalogue tables added after the first layout; upgrade_catalogue adds them to older files.
constexpr const char* catalogue_additions = R"(
CREATE TABLE IF NOT EXISTS _cat_views(viewschema TEXT, viewname TEXT, text TEXT,
  PRIMARY KEY(viewschema, viewname));
CREATE TABLE IF NOT EXISTS _cat_checks(tabschema TEXT, tabname TEXT, constname TEXT, text TEXT,
  seq INTEGER, PRIMARY KEY(tabschema, tabname, constname));
CREATE TABLE IF NOT EXISTS _cat_colexprs(tabschema TEXT, tabname TEXT, colname TEXT, text TEXT,
  PRIMARY KEY(tabschema, tabname, colname));
CREATE VIEW IF NOT EXISTS "SYSCAT.VIEWS" AS SELECT v.viewschema AS VIEWSCHEMA,
  v.viewname AS VIEWNAME, t.owner AS OWNER, 0 AS SEQNO, 'N' AS VIEWCHECK, 'Y' AS READONLY,
  'Y' AS VALID, v.text AS TEXT FROM _cat_views v JOIN _cat_tables t
  ON t.tabschema = v.viewschema AND t.tabname = v.viewname;
CREATE VIEW IF NOT EXISTS "SYSCAT.CHECKS" AS SELECT constname AS CONSTNAME,
  tabschema AS TABSCHEMA, tabname AS TABNAME, 'C' AS TYPE, text AS TEXT FROM _cat_checks;
INSERT OR IGNORE INTO _cat_tables VALUES ('SYSCAT', 'VIEWS', 'SYSIBM', 'V', NULL, NULL),
  ('SYSCAT', 'CHECKS', 'SYSIBM', 'V', NULL, NULL);
)";

[[noreturn]] void throw_sqlite(sqlite3* db, int rc) {
    const int primary = rc & 0xFF;
    const char* msg = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    rethrow_function_error(msg);
    if (rc == SQLITE_CONSTRAINT_UNIQUE || rc == SQLITE_CONSTRAINT_PRIMARYKEY) {
        // "UNIQUE constraint failed: SCHEMA.TABLE.COLUMN" names the table.
        std::string table = msg;
        const auto colon = table.find(": ");
        table = colon == std::string::npos ? "" : table.substr(colon + 2);
        const auto dot = table.rfind('.');
        if (dot != std::string::npos) table.resize(dot);
        table = decode_name(table);
        throw_server(-803,
                     "One or more values in the INSERT statement, UPDATE statement, or foreign "
                     "key update caused by a DELETE statement are not valid because the primary "
                     "key, unique constraint or unique index identified by \"1\" constrains "
                     "table \"" + table + "\" from having duplicate values for the index key.",
                     "23505");
    }
    if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED) {
        throw_server(-911,
                     "The current transaction has been rolled back because of a deadlock or "
                     "timeout.  Reason code \"68\".",
                     "40001");
    }
    throw_server(-901,
                 std::string("The SQL statement or command failed because of a database system "
                             "error. (Reason \"") + msg + "\".)",
                 "58004");
}

std::string now_timestamp() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t t = std::chrono::system_clock::to_time_t(now);
    std::tm tm{};
    localtime_r(&t, &tm);
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(
                            now.time_since_epoch()).count() % 1000000;
    char buf[96];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d-%02d.%02d.%02d.%06lld", tm.tm_year + 1900,
                  tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                  static_cast<long long>(micros));
    return buf;
}

// SQL functions the translated statements call: DB2 spellings and DB2 value formats.
void fn_identity(sqlite3_context* ctx, int, sqlite3_value** argv) {
    sqlite3_result_value(ctx, argv[0]);
}

void fn_current(sqlite3_context* ctx, int, sqlite3_value**) {
    const auto which = reinterpret_cast<std::intptr_t>(sqlite3_user_data(ctx));
    std::string ts = now_timestamp();
    if (which == 0) ts.resize(10);
    else if (which == 1) ts = ts.substr(11, 8);
    sqlite3_result_text(ctx, ts.c_str(), static_cast<int>(ts.size()), SQLITE_TRANSIENT);
}

}  // namespace

std::string now_db2_timestamp() { return now_timestamp(); }

std::string index_storage_name(std::string_view schema, std::string_view name) {
    return encode_name(std::string(schema) + "." + std::string(name)) + "~#";
}

// ---------------------------------------------------------------------------------------------

sqlite_stmt& sqlite_stmt::operator=(sqlite_stmt&& o) noexcept {
    if (this != &o) {
        sqlite3_finalize(s_);
        s_ = o.s_;
        o.s_ = nullptr;
    }
    return *this;
}

sqlite_stmt::~sqlite_stmt() { sqlite3_finalize(s_); }

sqlite_stmt& sqlite_stmt::bind(int i, std::string_view text) {
    sqlite3_bind_text(s_, i, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    return *this;
}

sqlite_stmt& sqlite_stmt::bind(int i, std::int64_t v) {
    sqlite3_bind_int64(s_, i, v);
    return *this;
}

sqlite_stmt& sqlite_stmt::bind_null(int i) {
    sqlite3_bind_null(s_, i);
    return *this;
}

sqlite_stmt& sqlite_stmt::bind_value(int i, const value& v) {
    switch (v.kind) {
    case value::null: sqlite3_bind_null(s_, i); break;
    case value::integer: sqlite3_bind_int64(s_, i, v.i); break;
    case value::real: sqlite3_bind_double(s_, i, v.d); break;
    case value::blob:
        sqlite3_bind_blob(s_, i, v.s.data(), static_cast<int>(v.s.size()), SQLITE_TRANSIENT);
        break;
    default:
        sqlite3_bind_text(s_, i, v.s.data(), static_cast<int>(v.s.size()), SQLITE_TRANSIENT);
        break;
    }
    return *this;
}

bool sqlite_stmt::step() {
    const int rc = sqlite3_step(s_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    throw_sqlite(sqlite3_db_handle(s_), sqlite3_extended_errcode(sqlite3_db_handle(s_)));
}

std::string sqlite_stmt::text(int col) const {
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(s_, col));
    return p ? std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(s_, col))) : std::string();
}

std::int64_t sqlite_stmt::integer(int col) const { return sqlite3_column_int64(s_, col); }

bool sqlite_stmt::is_null(int col) const { return sqlite3_column_type(s_, col) == SQLITE_NULL; }

value sqlite_stmt::cell(int col) const {
    switch (sqlite3_column_type(s_, col)) {
    case SQLITE_NULL: return value{};
    case SQLITE_INTEGER: return value::make_int(sqlite3_column_int64(s_, col));
    case SQLITE_FLOAT: return value::make_real(sqlite3_column_double(s_, col));
    case SQLITE_BLOB: {
        const auto* p = static_cast<const char*>(sqlite3_column_blob(s_, col));
        return value::make_blob(std::string(p ? p : "", static_cast<std::size_t>(sqlite3_column_bytes(s_, col))));
    }
    default: return value::make_text(text(col));
    }
}

void sqlite_stmt::reset() {
    sqlite3_reset(s_);
    sqlite3_clear_bindings(s_);
}

// ---------------------------------------------------------------------------------------------

const column_meta* table_meta::find(std::string_view column) const {
    for (const auto& c : columns) {
        if (c.name == column) return &c;
    }
    return nullptr;
}

std::string database::home_folder() {
    if (const char* home = std::getenv("DB2STANDIN_HOME"); home && *home) return home;
    const char* user_home = std::getenv("HOME");
    return std::string(user_home ? user_home : ".") + "/.local/share/db2standin";
}

std::string database::resolve_folder(std::string_view dsn) {
    if (dsn.find('/') != std::string_view::npos) return std::string(dsn);
    return home_folder() + "/" + ascii_upper(dsn);
}

bool database::exists(const std::string& folder) {
    std::error_code ec;
    return fs::is_regular_file(fs::path(folder) / file_name, ec);
}

database::database(sqlite3* db, std::string folder) : db_(db), folder_(std::move(folder)) {
    name_ = ascii_upper(fs::path(folder_).filename().string());
    if (name_.empty()) name_ = ascii_upper(fs::path(folder_).parent_path().filename().string());
    // One CLI connection is used by one thread at a time, so SQLite's own locking per call
    // (SQLITE_OPEN_NOMUTEX above) would only cost time on every cell.
    sqlite3_busy_timeout(db_, 5000);
    // A double-quoted name is always a name in DB2, never a string that SQLite guesses at.
    sqlite3_db_config(db_, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
    sqlite3_db_config(db_, SQLITE_DBCONFIG_DQS_DDL, 0, nullptr);
    // DB2's LIKE tells upper from lower case.
    sqlite3_exec(db_, "PRAGMA case_sensitive_like = ON", nullptr, nullptr, nullptr);
    register_functions();
}

database::~database() { sqlite3_close_v2(db_); }

void database::register_functions() {
    const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
    for (const char* name : {"XML2CLOB", "XMLSERIALIZE_CONTENT", "BLOB", "CLOB", "DBCLOB"}) {
        sqlite3_create_function(db_, name, 1, flags, nullptr, fn_identity, nullptr, nullptr);
    }
    register_db2_functions(db_);
    const char* current[] = {"DB2_CURRENT_DATE", "DB2_CURRENT_TIME", "DB2_CURRENT_TIMESTAMP"};
    for (std::intptr_t i = 0; i < 3; ++i) {
        sqlite3_create_function(db_, current[i], 0, SQLITE_UTF8, reinterpret_cast<void*>(i),
                                fn_current, nullptr, nullptr);
    }
}

std::unique_ptr<database> database::open(std::string_view dsn) {
    const std::string folder = resolve_folder(dsn);
    if (!exists(folder)) {
        std::string name = ascii_upper(dsn);
        throw db2_error(server_diag(-1013,
                                    "The database alias name or database name \"" + name +
                                        "\" could not be found.",
                                    "42705", "08001", false));
    }
    sqlite3* db = nullptr;
    const std::string file = (fs::path(folder) / file_name).string();
    const int rc = sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_close_v2(db);
        throw db2_error(server_diag(-1013,
                                    "The database alias name or database name \"" +
                                        ascii_upper(dsn) + "\" could not be found.",
                                    "42705", "08001", false));
    }
    std::unique_ptr<database> result(new database(db, folder));
    result->upgrade_catalogue();
    return result;
}

void database::upgrade_catalogue() {
    {
        auto current = prepare("SELECT 1 FROM sqlite_master WHERE name = '_cat_colexprs'");
        if (current.step()) return;
    }
    exec("BEGIN IMMEDIATE");
    try {
        exec(catalogue_additions);
        // Older files stored delimited lower-case names as written, where SQLite took "Orders"
        // and "ORDERS" for one name.
        std::vector<std::pair<std::string, std::string>> tables;
        auto t = prepare("SELECT tabschema, tabname FROM _cat_tables WHERE type = 'T'");
        while (t.step()) tables.emplace_back(t.text(0), t.text(1));
        t = sqlite_stmt();
        for (const auto& [schema, name] : tables) {
            const std::string old_name = schema + "." + name;
            if (encode_name(old_name) != old_name) {
                exec("ALTER TABLE " + quote_identifier(old_name) + " RENAME TO " + quote_stored(old_name));
            }
            auto c = prepare("SELECT colname FROM _cat_columns WHERE tabschema = ? AND tabname = ?");
            c.bind(1, schema).bind(2, name);
            std::vector<std::string> renames;
            while (c.step()) {
                if (encode_name(c.text(0)) != c.text(0)) renames.push_back(c.text(0));
            }
            c = sqlite_stmt();
            for (const auto& col : renames) {
                exec("ALTER TABLE " + quote_stored(old_name) + " RENAME COLUMN " +
                     quote_identifier(col) + " TO " + quote_stored(col));
            }
        }
        // SQLite renames no index: each is made again under its stored name (its definition
        // already follows the renamed table and columns).
        std::vector<std::tuple<std::string, std::string, std::string>> indexes;
        std::vector<std::pair<std::string, std::string>> names;
        {
            auto n = prepare("SELECT indschema, indname FROM _cat_indexes");
            while (n.step()) names.emplace_back(n.text(0), n.text(1));
        }
        for (const auto& [schema, name] : names) {
            auto m = prepare("SELECT sql FROM sqlite_master WHERE type = 'index' AND name = ?");
            m.bind(1, schema + "." + name);
            if (m.step()) indexes.emplace_back(schema + "." + name, m.text(0), index_storage_name(schema, name));
        }
        for (const auto& [old_name, sql, new_name] : indexes) {
            std::string definition = sql;
            const std::string old_quoted = quote_identifier(old_name);
            const auto at = definition.find(old_quoted);
            if (at == std::string::npos) continue;
            definition.replace(at, old_quoted.size(), quote_identifier(new_name));
            exec("DROP INDEX " + old_quoted);
            exec(definition);
        }
        exec("COMMIT");
    } catch (...) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

std::unique_ptr<database> database::create(const std::string& folder) {
    if (exists(folder)) {
        throw_server(-1005, "The database alias \"" + fs::path(folder).filename().string() +
                                "\" already exists in either the local database directory or "
                                "system database directory.",
                     "00000");
    }
    std::error_code ec;
    fs::create_directories(folder, ec);
    sqlite3* db = nullptr;
    const std::string file = (fs::path(folder) / file_name).string();
    const int rc = sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                                   nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_close_v2(db);
        throw_server(-1031, "The database directory cannot be found on the indicated file system.",
                     "58031");
    }
    std::unique_ptr<database> result(new database(db, folder));
    result->exec("PRAGMA journal_mode=WAL");
    result->exec(std::string("BEGIN;") + catalogue_ddl + catalogue_additions + "COMMIT;");
    return result;
}

void database::drop(const std::string& folder) {
    std::error_code ec;
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
        fs::remove(fs::path(folder) / (std::string(file_name) + suffix), ec);
    }
    fs::remove(folder, ec);  // only when empty
}

void database::exec(std::string_view sql) {
    const std::string text(sql);
    const int rc = sqlite3_exec(db_, text.c_str(), nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) throw_sqlite(db_, sqlite3_extended_errcode(db_));
}

sqlite_stmt database::prepare(std::string_view sql) {
    sqlite3_stmt* s = nullptr;
    const int rc = sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &s, nullptr);
    if (rc != SQLITE_OK) throw_sqlite(db_, sqlite3_extended_errcode(db_));
    return sqlite_stmt(s);
}

bool database::stopped() {
    auto s = prepare("SELECT value FROM _cat_state WHERE key = 'stopped'");
    return s.step() && s.text(0) == "1";
}

void database::set_stopped(bool on) {
    prepare("INSERT OR REPLACE INTO _cat_state VALUES ('stopped', ?)").bind(1, on ? "1" : "0").step();
}

bool database::has_users() {
    auto s = prepare("SELECT count(*) FROM _cat_users");
    return s.step() && s.integer(0) > 0;
}

bool database::check_password(std::string_view user, std::string_view password) {
    auto s = prepare("SELECT salt, hash FROM _cat_users WHERE username = ?");
    s.bind(1, ascii_upper(user));
    if (!s.step()) return false;
    return sha256_hex(s.text(0) + std::string(password)) == s.text(1);
}

void database::add_user(std::string_view user, std::string_view password) {
    std::random_device rd;
    char salt[17];
    std::snprintf(salt, sizeof salt, "%08x%08x", rd(), rd());
    prepare("INSERT OR REPLACE INTO _cat_users VALUES (?, ?, ?)")
        .bind(1, ascii_upper(user))
        .bind(2, salt)
        .bind(3, sha256_hex(std::string(salt) + std::string(password)))
        .step();
}

std::shared_ptr<const table_meta> database::find_table(std::string_view schema,
                                                       std::string_view name) {
    std::string key = std::string(schema) + '\x1f' + std::string(name);
    if (auto it = tables_.find(key); it != tables_.end()) return it->second;
    auto t = prepare("SELECT type, remarks FROM _cat_tables WHERE tabschema = ? AND tabname = ?");
    t.bind(1, schema).bind(2, name);
    if (!t.step()) return nullptr;
    auto meta = std::make_shared<table_meta>();
    meta->schema = schema;
    meta->name = name;
    meta->type = t.text(0).empty() ? 'T' : t.text(0)[0];
    meta->remarks = t.text(1);
    auto c = prepare(
        "SELECT colno, colname, kind, length, scale, nulls, deflt, generated, id_start, "
        "id_increment, remarks FROM _cat_columns WHERE tabschema = ? AND tabname = ? "
        "ORDER BY colno");
    c.bind(1, schema).bind(2, name);
    while (c.step()) {
        column_meta col;
        col.colno = static_cast<int>(c.integer(0));
        col.name = c.text(1);
        col.type.kind = static_cast<db2_kind>(c.integer(2));
        col.type.length = c.integer(3);
        col.type.scale = static_cast<int>(c.integer(4));
        col.nullable = c.text(5) != "N";
        if (!c.is_null(6)) col.default_text = c.text(6);
        const std::string gen = c.text(7);
        col.generated = gen == "A" || gen == "D" ? gen[0] : 0;
        col.id_start = c.integer(8);
        col.id_increment = c.integer(9);
        col.remarks = c.text(10);
        meta->columns.push_back(std::move(col));
    }
    auto g = prepare("SELECT colname, text FROM _cat_colexprs WHERE tabschema = ? AND tabname = ?");
    g.bind(1, schema).bind(2, name);
    while (g.step()) {
        for (auto& col : meta->columns) {
            if (col.name == g.text(0)) {
                col.expression = g.text(1);
                col.generated = 0;  // GENERATED 'A' in the catalogue, but not an identity
            }
        }
    }
    auto k = prepare("SELECT constname, text FROM _cat_checks WHERE tabschema = ? AND tabname = ? ORDER BY seq");
    k.bind(1, schema).bind(2, name);
    while (k.step()) meta->checks.push_back({k.text(0), k.text(1)});
    tables_[key] = meta;
    return meta;
}

std::int64_t database::next_identity(const table_meta& table, const column_meta& column) {
    auto s = prepare("SELECT id_next FROM _cat_columns WHERE tabschema = ? AND tabname = ? AND colno = ?");
    s.bind(1, table.schema).bind(2, table.name).bind(3, std::int64_t{column.colno});
    const std::int64_t next = s.step() && !s.is_null(0) ? s.integer(0) : column.id_start;
    prepare("UPDATE _cat_columns SET id_next = ? WHERE tabschema = ? AND tabname = ? AND colno = ?")
        .bind(1, next + column.id_increment)
        .bind(2, table.schema)
        .bind(3, table.name)
        .bind(4, std::int64_t{column.colno})
        .step();
    return next;
}

}  // namespace db2s
