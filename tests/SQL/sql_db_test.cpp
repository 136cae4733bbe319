// The direct writer against a real server (see sql_server.hpp): CREATE TABLE texts, opening a
// database with tables and views, learning an existing table, reading it in pages, batches,
// refused rows, the conversion run's modes, foreign keys and views.
#include "sql_db.hpp"
#include "sql_recs.hpp"
#include "sql_server.hpp"
#include "sql_tab.hpp"
#include "sql_util.hpp"
#include "sql_view.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"
#include "udb_conv.hpp"
#include "udb_errh.hpp"
#include "udb_memdb.hpp"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

namespace {

// Records what reaches the error handler: the context and the failure's code and text.
struct capturing_handler : error_handler {
    struct report {
        std::string context;
        int code;
        std::string text;
    };
    std::vector<report> seen;
    void handle(const tk_exception& e, int final_flag) override {
        seen.push_back({context(), e.code(), e.message()});
        error_handler::handle(e, final_flag);
    }
};

// A record of the given cells under the given names.
std::unique_ptr<udb_record> make_record(const std::vector<std::pair<std::u16string, ole_variant>>& cells) {
    auto r = std::make_unique<udb_record>();
    for (const auto& [name, value] : cells) r->add(std::make_unique<udb_field>(name, 0, value));
    return r;
}

class SqlWriter : public ::testing::Test {
protected:
    void SetUp() override {
        SQL_REQUIRE_SERVER(s);
        server = s;
        handler = std::make_unique<capturing_handler>();
        handler->set_output(reports);
        error_handler::set_exit_function([this](int status) { exits.push_back(status); });
        engine = std::make_unique<sql_engine>();
        engine->connect(s.host, s.user, s.password, s.port);
        static int counter = 0;
        db = u"dunmere_w" + tk_ascii_to_wide(std::to_string(getpid()) + "_" + std::to_string(++counter));
        if (engine->is_db_exist(db)) engine->db_delete(db);
        engine->create_db(db);
    }
    void TearDown() override {
        if (engine) {
            try {
                engine->db_delete(db);
            } catch (...) {
            }
        }
        engine.reset();
        error_handler::set_exit_function(nullptr);
        handler.reset();
        log.reset();
        if (!log_path.empty()) std::filesystem::remove(log_path);
    }

    void start_trace() {
        log_path = (std::filesystem::temp_directory_path() / ("sql_db_test_" + std::to_string(getpid()) + ".log"))
                       .string();
        std::filesystem::remove(log_path);
        log = std::make_unique<tk_log>(log_path.c_str(), true, 1, false);
    }
    std::string trace() const {
        std::ifstream in(log_path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    std::unique_ptr<sql_database> open(std::int32_t mode = sql_db_created) { return sql_open_database(*engine, db, mode); }
    sql_connection& c() { return engine->connection(); }
    void exec(const std::string& statement) {
        ASSERT_TRUE(c().query(statement)) << statement.substr(0, 300) << ": " << c().error();
    }
    std::string scalar(const std::string& statement) {
        if (!c().query(statement)) return std::string("<error> ") + c().error();
        sql_result result = c().store_result();
        MYSQL_ROW row = result ? mysql_fetch_row(result.get()) : nullptr;
        return row && row[0] ? row[0] : "<null>";
    }
    long count(const std::string& table) { return std::stol(scalar("SELECT COUNT(*) FROM `" + table + "`")); }
    // The context of every report, in order.
    std::vector<std::string> contexts() const {
        std::vector<std::string> out;
        for (const auto& r : handler->seen) out.push_back(r.context);
        return out;
    }

    sql_test_server server;
    std::unique_ptr<tk_log> log;
    std::string log_path;
    std::unique_ptr<capturing_handler> handler;
    std::ostringstream reports;
    std::vector<int> exits;
    std::unique_ptr<sql_engine> engine;
    std::u16string db;
};

// The conversion run from the in-memory source into this server's test database.
struct server_sides : udb_run_sides {
    server_sides(sql_engine& e, std::u16string d, std::int32_t m) : engine(e), db(std::move(d)), mode(m) {}
    std::unique_ptr<udb_database> open_source() override { return std::make_unique<memdb::source_db>(source); }
    std::unique_ptr<udb_database> open_destination() override { return sql_open_database(engine, db, mode); }
    std::unique_ptr<udb_validator> create_validator(const std::vector<std::u16string>& tables,
                                                    const udb_database& destination) override {
        return engine.create_tn_validator(tables, destination.tables());
    }
    void prepare_destination(udb_database&) override { engine.set_max_allowed_packet(10000000); }

    std::shared_ptr<memdb::source_state> source = std::make_shared<memdb::source_state>();
    sql_engine& engine;
    std::u16string db;
    std::int32_t mode;
};

class SqlRun : public SqlWriter {
protected:
    void run(server_sides& sides, int mode) {
        udb_converter conv;
        conv.set_console(out, err);
        conv.set_source_name(u"SRC");
        conv.set_mode(mode);
        conv.run(sides);
    }
    std::ostringstream out, err;
};

// A table of `n` rows: ID (key when `keyed`), NAME VARCHAR(20), with NAME "row<ID>".
memdb::table id_table(const std::u16string& name, int n, bool keyed) { return memdb::make_table(name, n, keyed); }

} // namespace

TEST_F(SqlWriter, CreateTableStatementsFollowTheServerVersionAndFlags) {
    start_trace();
    engine->set_innodb(true);
    auto database = open();
    udb_schema schema(true);
    schema.add(std::make_unique<t_ftd>(0, u"a", VT_I4));
    schema.add(std::make_unique<t_ftd>(10, u"b", VT_BSTR));
    auto t = database->create_table(u"t", schema, udb_indexes());
    EXPECT_NE(trace().find("Run SQL query: CREATE TABLE `t` (`a` INT, `b` VARCHAR(10) CHARACTER SET utf8mb4 ) "
                           "ENGINE=InnoDB"),
              std::string::npos)
        << trace().substr(0, 3000);
    EXPECT_EQ(scalar("SELECT ENGINE FROM information_schema.TABLES WHERE TABLE_SCHEMA=DATABASE() AND TABLE_NAME='t'"),
              "InnoDB");
    EXPECT_TRUE(database->is_table_exist(u"T"));

    // Older dialects: the storage clause keyword and engine (the server refuses them today).
    const std::uint32_t version = engine->server_version();
    engine->set_server_version(0x040014);
    EXPECT_THROW(database->create_table(u"t40", schema, udb_indexes()), sql_exception);
    engine->set_server_version(0x03171E);
    EXPECT_THROW(database->create_table(u"t323", schema, udb_indexes()), sql_exception);
    engine->set_server_version(version);
    EXPECT_NE(trace().find("CREATE TABLE t40 (a INT, b VARCHAR(10)) TYPE=InnoDB"), std::string::npos)
        << trace().substr(trace().find("Run SQL query: CREATE TABLE t40"), 100);
    EXPECT_NE(trace().find(") TYPE=MyISAM"), std::string::npos);
    EXPECT_FALSE(database->is_table_exist(u"t40"));

    // A key and an identity column, with the MyISAM default.
    engine->set_innodb(false);
    udb_schema keyed(true);
    keyed.add(std::make_unique<t_ftd>(0, u"id", VT_I4, true, true));
    keyed.add(std::make_unique<t_ftd>(30, u"code", VT_BSTR, true));
    udb_indexes indexes;
    indexes.add(udb_index(u"pk", true, true, {u"id"}));
    indexes.add(udb_index(u"ux_code", true, false, {u"code"}));
    auto k = database->create_table(u"k", keyed, indexes);
    EXPECT_EQ(k->indexes().size(), 2u);
    EXPECT_EQ(k->primary_key_index(), 0);
    EXPECT_EQ(scalar("SELECT ENGINE FROM information_schema.TABLES WHERE TABLE_SCHEMA=DATABASE() AND TABLE_NAME='k'"),
              "MyISAM");
    EXPECT_TRUE(k->schema()[0].b_auto_increment);
}

TEST_F(SqlWriter, KeepingExistingTablesSendsNoCreateAndLearnsTheTable) {
    exec("CREATE TABLE old (v VARCHAR(40), f FLOAT(7,2), g FLOAT(7,0), d DATE NOT NULL DEFAULT '0000-00-00', "
         "n INT NOT NULL DEFAULT 5, s VARCHAR(5) DEFAULT 'ab', tx TEXT, bl BLOB, vb VARBINARY(8), "
         "PRIMARY KEY (n, v), KEY ix (s))");
    start_trace();
    auto database = open(sql_db_keep_tables);
    udb_schema schema(true);
    schema.add(std::make_unique<t_ftd>(0, u"x", VT_I4));
    auto t = database->create_table(u"OLD", schema, udb_indexes());
    EXPECT_EQ(trace().find("Run SQL query: CREATE TABLE"), std::string::npos);
    const udb_schema& s = t->schema();
    ASSERT_EQ(s.size(), 9u);
    EXPECT_EQ(s[0].vartype, VT_BSTR);
    EXPECT_EQ(s[0].size, 40u);
    EXPECT_EQ(s[1].vartype, VT_DECIMAL);
    EXPECT_EQ(s[1].reserved, 7u * 256 + 2);
    EXPECT_EQ(s[2].vartype, VT_R4);
    EXPECT_EQ(s[3].vartype, VT_DATE);
    EXPECT_FALSE(s[3].b_not_null);
    EXPECT_TRUE(s[3].default_value.is_empty_or_null());
    EXPECT_EQ(s[4].default_value.to_long(), 5);
    EXPECT_EQ(s[5].default_value.to_wstring(), u"ab");
    EXPECT_EQ(s[6].vartype, VT_BSTR); // TEXT
    EXPECT_EQ(s[7].vartype, VT_BLOB);
    ASSERT_EQ(t->indexes().size(), 2u);
    EXPECT_TRUE(t->indexes()[0].b_primary);
    EXPECT_EQ(t->indexes()[0].fields, (udb_names{u"n", u"v"}));
    EXPECT_FALSE(t->indexes()[1].b_unique);
    EXPECT_EQ(t->primary_key_index(), 0);
}

TEST_F(SqlWriter, PagesAndByteValuesReadBackExactly) {
    exec("CREATE TABLE p (id INT, tx TEXT, bl BLOB, vb VARBINARY(8))");
    std::string insert = "INSERT INTO p VALUES (0, 'caf\xc3\xa9', x'00ff10', x'ff00fe')";
    for (int i = 1; i < 600; ++i) insert += ", (" + std::to_string(i) + ", NULL, NULL, NULL)";
    exec(insert + ", (600, '', '', '')");
    auto database = open();
    auto reader = database->get_table(u"p", 1);
    EXPECT_EQ(reader->record_count(), 601);
    reader->reset();
    const udb_record* r = reader->get_item();
    ASSERT_NE(r, nullptr);
    EXPECT_EQ((*r)[1].to_wstring(), u"caf\u00e9");
    EXPECT_EQ((*r)[2].bytes(), (std::vector<std::uint8_t>{0x00, 0xFF, 0x10}));
    // A VARBINARY value does not pass through UTF-8 decoding.
    EXPECT_EQ((*r)[3].bytes(), (std::vector<std::uint8_t>{0xFF, 0x00, 0xFE}));
    int rows = 0;
    for (; !reader->is_eof(); reader->next(), ++rows) {
        ASSERT_NE(reader->get_item(), nullptr) << rows;
        ASSERT_EQ((*reader->get_item())[0].to_long(), rows);
    }
    EXPECT_EQ(rows, 601);

    auto query = database->get_query(u"q", u"SELECT id FROM p WHERE id >= 590", 1);
    EXPECT_EQ(query->record_count(), 11);
    EXPECT_TRUE(query->is_query());
}

TEST_F(SqlWriter, DatabaseListsTablesAndPortableViews) {
    exec("CREATE TABLE t1 (id INT, v INT)");
    exec("CREATE TABLE t2 (id INT)");
    exec("CREATE VIEW vj AS SELECT t1.id FROM t1 JOIN t2 ON t1.id = t2.id WHERE t1.v > 0 ORDER BY t1.id");
    auto database = open();
    EXPECT_EQ(database->tables().size(), 2u);
    ASSERT_EQ(database->queries().size(), 1u);
    const std::u16string& view = database->queries().at(u"vj");
    EXPECT_EQ(view.find(db), std::u16string::npos) << tk_to_utf8(view);
    EXPECT_EQ(sql_find_nocase(view, u"order by"), std::u16string::npos) << tk_to_utf8(view);
    EXPECT_NE(sql_find_nocase(view, u"cross join"), std::u16string::npos) << tk_to_utf8(view);

    auto without = open(sql_db_skip_views);
    EXPECT_TRUE(without->queries().empty());
}

TEST_F(SqlWriter, DatabaseNameWithQuoteStillListsItsViews) {
    // The database name goes into a string literal when the views are listed.
    const std::u16string quoted = db + u"q'\\x";
    if (engine->is_db_exist(quoted)) engine->db_delete(quoted);
    engine->create_db(quoted);
    struct drop {
        sql_engine& e;
        std::u16string n;
        ~drop() {
            try {
                e.db_delete(n);
            } catch (...) {
            }
        }
    } cleanup{*engine, quoted};
    exec("CREATE TABLE t (id INT)");
    exec("CREATE VIEW v AS SELECT id FROM t");
    auto database = sql_open_database(*engine, quoted, sql_db_created);
    EXPECT_EQ(database->tables().size(), 1u);
    ASSERT_EQ(database->queries().size(), 1u);
    EXPECT_EQ(database->queries().begin()->second.find(u"\\x"), std::u16string::npos);
}

TEST_F(SqlWriter, RecordsGoOutInOneStatementAtFinish) {
    start_trace();
    auto database = open();
    exec("CREATE TABLE t (a INT, b VARCHAR(10), c INT DEFAULT 7)");
    database = open();
    auto t = database->get_table(u"t", 0);
    t->append_record(*make_record({{u"a", ole_variant(1)}, {u"b", ole_variant(u"x")}, {u"c", ole_variant(1)}}));
    t->append_record(*make_record({{u"a", ole_variant(2)}, {u"b", ole_variant(u"y'")}, {u"c", ole_variant()}}));
    t->append_record(*make_record({{u"a", ole_variant(3)}, {u"b", ole_variant(u"z")}, {u"c", ole_variant(3)}}));
    EXPECT_EQ(count("t"), 0);
    t->finish();
    EXPECT_EQ(count("t"), 3);
    EXPECT_NE(trace().find("INSERT INTO `t`(`a`, `b`, `c`) VALUES(1, 'x', 1), (2, 'y\\'', NULL), (3, 'z', 3)"),
              std::string::npos);

    // Fewer fields than columns: only the record's columns are written, the rest get defaults;
    // a new shape starts a new statement.
    t->append_record(*make_record({{u"B", ole_variant(u"w")}, {u"A", ole_variant(4)}}));
    t->append_record(*make_record({{u"a", ole_variant(5)}, {u"b", ole_variant(u"v")}, {u"c", ole_variant(5)}}));
    t->finish();
    EXPECT_EQ(scalar("SELECT CONCAT(b, c) FROM t WHERE a = 4"), "w7");
    EXPECT_EQ(scalar("SELECT CONCAT(b, c) FROM t WHERE a = 5"), "v5");

    // A field the table does not have: the structure failure, nothing of the record is kept.
    EXPECT_THROW(t->append_record(*make_record({{u"a", ole_variant(6)}, {u"nope", ole_variant(1)}})), tk_exception);
    t->append_record(*make_record({{u"a", ole_variant(7)}, {u"b", ole_variant(u"u")}, {u"c", ole_variant(7)}}));
    t->finish();
    EXPECT_EQ(count("t"), 6);
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM t WHERE a = 6"), "0");
}

TEST_F(SqlWriter, UnfinishedBatchIsDiscardedNotSent) {
    exec("CREATE TABLE t (a INT)");
    auto database = open();
    {
        auto t = database->get_table(u"t", 0);
        t->append_record(*make_record({{u"a", ole_variant(1)}}));
    }
    EXPECT_EQ(count("t"), 0);
}

TEST_F(SqlWriter, BatchesAreSentOncePastAMegabyte) {
    exec("CREATE TABLE big (id INT, pad VARCHAR(1000))");
    auto database = open();
    std::unique_ptr<sql_table> t = database->open_table(u"big");
    const std::u16string pad(990, u'p');
    auto com_insert = [&] {
        c().query("SHOW SESSION STATUS LIKE 'Com_insert'");
        sql_result r = c().store_result();
        MYSQL_ROW row = mysql_fetch_row(r.get());
        return std::stol(row[1]);
    };
    const long start = com_insert();
    int appended = 0;
    // About 1,005 bytes a tuple: the first batch goes out with the record that passes 1,000,000.
    // The writer does not wait for the server's answer, so the connection is not asked until
    // the table is finished.
    while (t->rows_sent() == 0) {
        t->append_record(*make_record({{u"id", ole_variant(++appended)}, {u"pad", ole_variant(pad)}}));
        ASSERT_LT(appended, 2000);
    }
    EXPECT_GE(appended, 990);
    EXPECT_LE(appended, 1000);
    EXPECT_EQ(t->rows_sent(), appended);
    const int first_batch = appended;
    for (int i = 0; i < 1500; ++i) {
        t->append_record(*make_record({{u"id", ole_variant(++appended)}, {u"pad", ole_variant(pad)}}));
    }
    const std::int64_t second_batch = t->rows_sent() - first_batch; // ids of four digits now
    EXPECT_GE(second_batch, 985);
    EXPECT_LE(second_batch, first_batch);
    EXPECT_EQ(t->rows_stored(), first_batch); // the second batch's answer is read later
    t->finish();
    EXPECT_EQ(t->rows_stored(), appended);
    EXPECT_EQ(com_insert(), start + 3);
    EXPECT_EQ(count("big"), appended);
    EXPECT_EQ(scalar("SELECT COUNT(DISTINCT id) FROM big"), std::to_string(appended));
}

// A table whose item fails after a batch went out: the batch is stored, the unsent rows are
// given up, and the connection answers the next statement.
TEST_F(SqlWriter, AWriterDroppedWithABatchInFlightLeavesTheConnectionUsable) {
    exec("CREATE TABLE dropped (id INT, pad VARCHAR(1000))");
    auto database = open();
    std::int64_t sent = 0;
    {
        std::unique_ptr<sql_table> t = database->open_table(u"dropped");
        const std::u16string pad(990, u'p');
        for (int id = 1; t->rows_sent() == 0 || id % 100 != 0; ++id) {
            t->append_record(*make_record({{u"id", ole_variant(id)}, {u"pad", ole_variant(pad)}}));
        }
        sent = t->rows_sent();
    }
    EXPECT_EQ(count("dropped"), sent);
    exec("INSERT INTO dropped VALUES (0, 'after')");
    EXPECT_EQ(count("dropped"), sent + 1);
}

class SqlBadRows : public SqlWriter, public ::testing::WithParamInterface<const char*> {};

// Thousands of rows with bad ones among them, each engine: every good row is stored, each bad
// row is reported once with its own record number; the table is then still written to.
TEST_P(SqlBadRows, EveryGoodRowIsStoredAndEachBadRowReportedWithItsNumber) {
    const std::string engine_name = GetParam();
    exec("CREATE TABLE r (id INT PRIMARY KEY, name VARCHAR(20) NOT NULL) ENGINE=" + engine_name);
    // The session keeps the server's default strictness (STRICT_TRANS_TABLES): the writer's
    // database makes a too-long value refused in MyISAM batches too, instead of cut short.
    auto database = open();
    auto t = database->get_table(u"r", 0);
    const std::u16string pad(15, u'n');
    const int total = 60000;
    std::set<int> bad = {1, 2500, 2501, 30000, 30001, 59999, total};
    for (int i = 1; i <= total; ++i) {
        int id = i;
        std::u16string name = pad;
        if (i == 2500) id = i - 1;                  // duplicate key
        if (i == 30001 || i == total) id = i - 2;   // duplicate key, after a refused row
        if (i == 1 || i == 2501 || i == 30000 || i == 59999) name = std::u16string(30, u'x'); // too long
        t->append_record(*make_record({{u"id", ole_variant(id)}, {u"name", ole_variant(name)}}));
    }
    t->finish();
    auto* writer = dynamic_cast<sql_table*>(t.get());
    ASSERT_NE(writer, nullptr);
    EXPECT_EQ(writer->rows_rejected(), long(bad.size()));
    EXPECT_EQ(count("r"), total - long(bad.size()));
    std::vector<std::string> expected;
    for (int b : bad) expected.push_back("r, record #" + std::to_string(b));
    EXPECT_EQ(contexts(), expected);
    for (const auto& report : handler->seen) EXPECT_GT(report.code, 0x400000) << report.context;
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM r WHERE id IN (1, 2499, 2501, 29999, 30000, 30001, 59998, 59999)"), "3");
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM r WHERE name LIKE 'x%'"), "0");
}

INSTANTIATE_TEST_SUITE_P(Engines, SqlBadRows, ::testing::Values("InnoDB", "MyISAM"));

TEST_F(SqlWriter, LostConnectionFailsTheTableOnce) {
    exec("CREATE TABLE t (a INT)");
    auto database = open();
    auto t = database->get_table(u"t", 0);
    for (int i = 0; i < 100; ++i) t->append_record(*make_record({{u"a", ole_variant(i)}}));
    const std::string id = scalar("SELECT CONNECTION_ID()");
    sql_connection killer;
    ASSERT_TRUE(killer.connect(server.host, server.user, server.password, unsigned(server.port)));
    ASSERT_TRUE(killer.query("KILL " + id)) << killer.error();
    try {
        t->finish();
        ADD_FAILURE() << "no failure";
    } catch (const tk_exception& e) {
        EXPECT_FALSE(udb_converter::is_record_rejection(e)) << e.code() << " " << e.what();
    }
    EXPECT_TRUE(handler->seen.empty());
    engine->connect(server.host, server.user, server.password, server.port);
    engine->open_db(db);
}

TEST_F(SqlRun, ModesAgainstExistingTables) {
    exec("CREATE TABLE A (ID INT NOT NULL, NAME VARCHAR(20))");
    exec("INSERT INTO A VALUES (100, 'old')");
    exec("CREATE TABLE B LIKE A");
    exec("INSERT INTO B SELECT * FROM A");
    exec("CREATE TABLE C LIKE A");
    exec("INSERT INTO C SELECT * FROM A");
    exec("CREATE TABLE X (ID INT NOT NULL, NAME VARCHAR(20), EXTRA INT DEFAULT 9)");
    exec("CREATE TABLE Y (ID INT NOT NULL, NAME INT)");

    auto ids = [&](const char* table) { return scalar(std::string("SELECT GROUP_CONCAT(ID ORDER BY ID) FROM ") + table); };
    {
        server_sides sides(*engine, db, sql_db_keep_tables);
        sides.source->add_table(id_table(u"A", 3, false));
        run(sides, udb_mode_overwrite_tables);
        EXPECT_EQ(ids("A"), "1,2,3");
    }
    {
        server_sides sides(*engine, db, sql_db_keep_tables);
        sides.source->add_table(id_table(u"B", 3, false));
        run(sides, udb_mode_skip_tables);
        EXPECT_EQ(ids("B"), "100");
        EXPECT_EQ(out.str().find("Converting table B"), std::string::npos);
    }
    {
        // Merge: appended to what is there; one with extra columns and one of other types are refused.
        server_sides sides(*engine, db, sql_db_keep_tables);
        sides.source->add_table(id_table(u"C", 3, false));
        sides.source->add_table(id_table(u"X", 3, false));
        sides.source->add_table(id_table(u"Y", 3, false));
        run(sides, udb_mode_merge);
        EXPECT_EQ(ids("C"), "1,2,3,100");
        EXPECT_EQ(count("X"), 0);
        EXPECT_EQ(count("Y"), 0);
        EXPECT_EQ(contexts(), (std::vector<std::string>{"X", "Y"}));
        for (const auto& r : handler->seen) {
            EXPECT_EQ(r.text, "The structure of data source does not conform to the destination table.");
        }
    }
    {
        // Mode 0 drops the database first; the run then creates every table.
        engine->db_delete(db);
        engine->create_db(db);
        server_sides sides(*engine, db, sql_db_created);
        sides.source->add_table(id_table(u"A", 5, true));
        sides.source->add_table(id_table(u"D", 2, false));
        run(sides, udb_mode_overwrite_database);
        EXPECT_EQ(ids("A"), "1,2,3,4,5");
        EXPECT_EQ(ids("D"), "1,2");
    }
    EXPECT_TRUE(exits.empty());
}

TEST_F(SqlRun, RefusedRowsAreReportedThroughTheRunWithTheirNumbers) {
    engine->set_innodb(true);
    server_sides sides(*engine, db, sql_db_created);
    memdb::table t = id_table(u"T", 3000, true);
    t.rows[1499][0] = ole_variant(1); // record 1500 repeats the key of record 1
    sides.source->add_table(t);
    run(sides, udb_mode_overwrite_database);
    EXPECT_EQ(count("T"), 2999);
    EXPECT_EQ(contexts(), (std::vector<std::string>{"T, record #1500"}));
    EXPECT_NE(reports.str().find("T, record #1500: Duplicate field values"), std::string::npos) << reports.str();
}

TEST_F(SqlRun, ForeignKeysWithAndWithoutChildIndexAndAMissingParent) {
    engine->set_innodb(true);
    server_sides sides(*engine, db, sql_db_created);
    sides.source->add_table(id_table(u"P", 3, true));
    memdb::table child = id_table(u"CH", 3, true);
    child.columns.emplace_back(0, u"PID", VT_I4);
    child.indexes.emplace_back(u"IX_PID", false, false, udb_names{u"PID"});
    for (auto& row : child.rows) row.push_back(ole_variant(row[0].i4()));
    sides.source->add_table(child);
    memdb::table bare = id_table(u"BARE", 2, false);
    bare.columns.emplace_back(0, u"PID", VT_I4);
    for (auto& row : bare.rows) row.push_back(ole_variant(1));
    sides.source->add_table(bare);
    sides.source->relationships.add(udb_foreign_key(u"FK_CH", u"", u"CH", u"P", {u"PID"}, {u"ID"}, u""));
    sides.source->relationships.add(udb_foreign_key(u"FK_GONE", u"", u"BARE", u"NOT_CONVERTED", {u"PID"}, {u"ID"}, u""));
    sides.source->relationships.add(udb_foreign_key(u"FK_BARE", u"", u"BARE", u"P", {u"PID"}, {u"ID"}, u""));
    run(sides, udb_mode_overwrite_database);

    EXPECT_EQ(scalar("SELECT GROUP_CONCAT(CONSTRAINT_NAME ORDER BY CONSTRAINT_NAME) FROM "
                     "information_schema.REFERENTIAL_CONSTRAINTS WHERE CONSTRAINT_SCHEMA=DATABASE()"),
              "FK_BARE,FK_CH");
    // The child that had an index on PID got no second one; the bare child got one.
    EXPECT_EQ(scalar("SELECT COUNT(DISTINCT INDEX_NAME) FROM information_schema.STATISTICS WHERE "
                     "TABLE_SCHEMA=DATABASE() AND TABLE_NAME='CH' AND COLUMN_NAME='PID'"),
              "1");
    EXPECT_EQ(scalar("SELECT COUNT(DISTINCT INDEX_NAME) FROM information_schema.STATISTICS WHERE "
                     "TABLE_SCHEMA=DATABASE() AND TABLE_NAME='BARE' AND COLUMN_NAME='PID'"),
              "1");
    ASSERT_EQ(contexts(), (std::vector<std::string>{"Foreign key 'FK_GONE'"}));
    EXPECT_EQ(handler->seen[0].text,
              "Table 'NOT_CONVERTED' is not converted by this run, so the foreign key is not created.");
    EXPECT_TRUE(exits.empty());
}

TEST_F(SqlWriter, ViewsAreRewrittenCreatedAndTheirFailuresReported) {
    exec("CREATE TABLE T (ID INT, `A_B` VARCHAR(10))");
    exec("INSERT INTO T VALUES (1, NULL), (2, 'two')");
    auto database = open();
    // As if the run had created T from a source whose column A#B became A_B.
    t_names_map columns;
    columns.add(u"A#B", u"A_B");
    database->names_map().add_fn_map(u"T", columns);

    EXPECT_EQ(database->refine_view_in(u"select\n\t[ID],  ISNULL(A#B, 'a  b') from [T]"),
              u"select `ID`, ifnull(`A_B`, 'a  b') from `T`");

    udb_query_map views;
    views[u"v_ok"] = u"SELECT ID, isnull(A#B, 'none') AS n FROM T WHERE ID > 0 ORDER BY ID";
    views[u"v_bad"] = u"select nosuch from T";
    views[u"v_skip"] = u"  select 1";
    views[u"v_call"] = u"call p()";
    database->create_views(views);
    EXPECT_EQ(scalar("SELECT GROUP_CONCAT(n ORDER BY ID) FROM v_ok"), "none,two");
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM information_schema.VIEWS WHERE TABLE_SCHEMA=DATABASE()"), "1");
    ASSERT_EQ(contexts(), (std::vector<std::string>{"View 'v_bad'"}));
    EXPECT_EQ(handler->seen[0].text,
              std::string("Can't create view. Contact to ") + sql_support_address + " for the solution.");
}

TEST_F(SqlWriter, ViewNameRefusedByTheServerDialectGetsItsSafeNameRecorded) {
    exec("CREATE TABLE t (id INT)");
    auto database = open();
    const std::uint32_t version = engine->server_version();
    // A 4.0 server writes names bare, so a keyword cannot name a view.
    engine->set_server_version(0x040000);
    udb_query_map views;
    views[u"order"] = u"select id from t";
    database->create_views(views);
    engine->set_server_version(version);
    const std::u16string safe = database->names_map().get_tn_mapped_name(u"order", true);
    EXPECT_NE(safe, u"order");
    EXPECT_EQ(scalar("SELECT TABLE_NAME FROM information_schema.VIEWS WHERE TABLE_SCHEMA=DATABASE()"), tk_to_utf8(safe));
    EXPECT_TRUE(handler->seen.empty());
}

TEST_F(SqlWriter, UpdateByKeyAndTheProgrammingErrorsOfTheDatabase) {
    exec("CREATE TABLE k (id INT PRIMARY KEY, v VARCHAR(10), w INT)");
    exec("CREATE TABLE nokey (id INT, v VARCHAR(10))");
    exec("INSERT INTO k VALUES (1, 'a', 1), (2, 'b', 2)");
    exec("INSERT INTO nokey VALUES (1, 'a')");
    auto database = open();
    auto k = database->open_table(u"K");
    k->update(*make_record({{u"v", ole_variant(u"it's")}, {u"id", ole_variant(2)}, {u"gone", ole_variant(1)}}));
    EXPECT_EQ(scalar("SELECT CONCAT(v, w) FROM k WHERE id = 2"), "it's2");
    EXPECT_EQ(scalar("SELECT CONCAT(v, w) FROM k WHERE id = 1"), "a1");
    // No key field in the record, or no key in the table: nothing is written.
    k->update(*make_record({{u"v", ole_variant(u"zz")}}));
    database->open_table(u"nokey")->update(*make_record({{u"id", ole_variant(1)}, {u"v", ole_variant(u"zz")}}));
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM k WHERE v = 'zz'"), "0");
    EXPECT_EQ(scalar("SELECT v FROM nokey"), "a");

    EXPECT_EQ(database->query_rows(u"DO 1"), nullptr);
    EXPECT_FALSE(database->query(u"SELEC nonsense"));
    EXPECT_THROW(database->query_rows(u"SELEC nonsense"), sql_exception);
    EXPECT_THROW(database->get_table(u"missing", 1), tk_mail_assertion);
    EXPECT_THROW(database->delete_tab(u"missing"), tk_mail_assertion);
    udb_schema schema(true);
    schema.add(std::make_unique<t_ftd>(0, u"id", VT_I4));
    EXPECT_THROW(database->create_table(u"k", schema, udb_indexes()), tk_mail_assertion); // exists, not kept
    EXPECT_TRUE(database->delete_tab(u"NOKEY"));
    EXPECT_FALSE(database->is_table_exist(u"nokey"));
    auto read_only = open(sql_db_read_only);
    EXPECT_THROW(read_only->create_table(u"fresh", schema, udb_indexes()), tk_mail_assertion);
    EXPECT_THROW(read_only->delete_tab(u"k"), tk_mail_assertion);
}
