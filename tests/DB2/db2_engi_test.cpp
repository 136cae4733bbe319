// The session: loading the client, connecting, diagnostics, listings, counts.

#include "db2_db.hpp"
#include "db2_fixture.hpp"

#include "tk_log.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using namespace db2_test;

namespace {

const char* const k_session_script = R"sql(
CREATE SCHEMA APP;
SET SCHEMA APP;
CREATE TABLE ORDERS (ID INTEGER NOT NULL);
CREATE TABLE ITEMS (ID INTEGER NOT NULL);
INSERT INTO ORDERS VALUES (1);
INSERT INTO ORDERS VALUES (2);
INSERT INTO ORDERS VALUES (3);
CREATE SCHEMA OTHER;
SET SCHEMA OTHER;
CREATE TABLE ELSEWHERE (A INTEGER);
CREATE SCHEMA "Q""S";
SET SCHEMA "Q""S";
CREATE TABLE "T""1" ("C""1" INTEGER, "plain" VARCHAR(10));
INSERT INTO "T""1" VALUES (5, 'five');
CREATE SCHEMA S_1;
SET SCHEMA S_1;
CREATE TABLE A_B (ONE INTEGER);
CREATE TABLE AXB (TWO INTEGER, THREE INTEGER);
INSERT INTO A_B VALUES (1);
CREATE SCHEMA SX1;
SET SCHEMA SX1;
CREATE TABLE TXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXZ (CYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYZ INTEGER NOT NULL DEFAULT 7, D VARCHAR(250) DEFAULT 'dddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddd');
INSERT INTO TXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXZ VALUES (9, 'x');
CREATE TABLE STRANGER (A INTEGER);
)sql";

const char* const k_no_client =
    "Cannot find DB2 environment. Make sure you have valid DB2 installation on your system";

class session : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        create_database("SESS", k_session_script);
        create_database("LOCKED", "CREATE TABLE T (A INTEGER);");
        ASSERT_EQ(run_tool("adduser LOCKED ALICE secret"), 0);
        create_database("HALTED", "CREATE TABLE T (A INTEGER);");
        ASSERT_EQ(run_tool("stop HALTED"), 0);
    }
};

std::string connect_error(const std::u16string& dsn, const std::u16string& user,
                          const std::u16string& password) {
    use_standin();
    db2_engine engine;
    try {
        engine.connect(dsn, user, password);
    } catch (const db2_exception& e) {
        EXPECT_FALSE(engine.is_connected());
        return e.what();
    }
    return "connected";
}

} // namespace

TEST(loader, MissingLibraryOrSymbolIsAMissingEnvironmentWithTheDetailTraced) {
    char path[] = "/tmp/db2_trace_XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    {
        tk_log log(path, true, 1, false);
        db2_cli_forget();
        {
            scoped_env env("DB2_CLI_LIBRARY", "/nonexistent/libdb2.so");
            db2_engine engine;
            try {
                engine.initialize();
                ADD_FAILURE() << "initialised without a client";
            } catch (const db2_exception& e) {
                EXPECT_STREQ(e.what(), k_no_client);
            }
            EXPECT_THROW(engine.connect(u"SESS", u"", u""), db2_exception);
        }
        db2_cli_forget();
        {
            // A library that loads but is no CLI.
            scoped_env env("DB2_CLI_LIBRARY", "libm.so.6");
            db2_engine engine;
            EXPECT_THROW(engine.initialize(), db2_exception);
            EXPECT_FALSE(db2_cli_loaded());
        }
        db2_cli_forget();
    }
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    unlink(path);
    EXPECT_NE(text.str().find("cannot load /nonexistent/libdb2.so"), std::string::npos);
    EXPECT_NE(text.str().find("libm.so.6 has no function SQLAllocHandle"), std::string::npos);

    db2_cli_api table;
    std::string detail;
    EXPECT_TRUE(db2_cli_resolve(DB2_STANDIN_LIBRARY, table, detail)) << detail;
    EXPECT_NE(table.SQLGetSubString, nullptr);
}

TEST_F(session, ConnectFailuresGiveTheUsersMessages) {
    EXPECT_EQ(connect_error(u"LOCKED", u"ALICE", u"wrong"), "Incorrect username or password");
    EXPECT_EQ(connect_error(u"HALTED", u"", u""),
              "Cannot connect to DB2 server. Check to verify that DB2 server is launched and allows "
              "connection.");
    // Other messages lose the message number and the SQLSTATE tail, keeping their blanks.
    EXPECT_EQ(connect_error(u"NOSUCHDB", u"", u""),
              "  The database alias name or database name \"NOSUCHDB\" could not be found.  ");
    EXPECT_EQ(connect_error(u"LOCKED", u"ALICE", u"secret"), "connected");
}

TEST_F(session, ReconnectingDisconnectsFirst) {
    auto engine = connect(u"LOCKED", u"ALICE", u"secret");
    engine->connect(u"SESS", u"", u"");
    EXPECT_TRUE(engine->is_connected());
    EXPECT_EQ(engine->dsn(), u"SESS");
    EXPECT_EQ(engine->count_rows(u"\"APP\".\"ORDERS\""), 3);
}

TEST_F(session, ListingsAndCounts) {
    use_standin();
    {
        db2_engine engine;
        try {
            engine.get_contents();
            ADD_FAILURE() << "listed without a connection";
        } catch (const db2_exception& e) {
            EXPECT_STREQ(e.what(), "Not connected to DB2 server");
        }
    }
    auto engine = connect(u"SESS");
    const auto schemas = engine->get_contents();
    EXPECT_NE(std::find(schemas.begin(), schemas.end(), u"APP"), schemas.end());
    EXPECT_NE(std::find(schemas.begin(), schemas.end(), u"OTHER"), schemas.end());

    std::vector<std::u16string> tables;
    engine->get_tables(u"APP", u"%", tables);
    std::sort(tables.begin(), tables.end());
    // Views are not tables; other schemas do not leak in.
    EXPECT_EQ(tables, (std::vector<std::u16string>{u"ITEMS", u"ORDERS"}));
    EXPECT_THROW(engine->get_tables(u"", u"%", tables), tk_mail_assertion);

    EXPECT_EQ(engine->count_rows(u"\"APP\".\"ORDERS\""), 3);
    EXPECT_EQ(engine->count_rows(u"\"APP\".\"ITEMS\""), 0);
    try {
        engine->count_rows(u"\"APP\".\"MISSING\"");
        ADD_FAILURE() << "counted a missing table";
    } catch (const db2_exception& e) {
        EXPECT_EQ(std::string(e.what()), "  \"APP.MISSING\" is an undefined name.  ");
    }
}

TEST_F(session, NamesWithDoubleQuotesAreReadable) {
    EXPECT_EQ(db2_quote_name(u"A\"B"), u"\"A\"\"B\"");
    auto engine = connect(u"SESS");
    auto db = engine->open_db(u"Q\"S", u"", u"");
    ASSERT_EQ(db->tables(), (std::vector<std::u16string>{u"T\"1"}));
    // The schema switch quoted the name correctly: the table resolves without a schema.
    EXPECT_EQ(engine->count_rows(db2_quote_name(u"T\"1")), 1);
    auto rs = db->get_table(u"T\"1", 1);
    EXPECT_EQ(rs->record_count(), 1);
    rs->reset();
    const udb_record* row = rs->get_item();
    ASSERT_NE(row, nullptr);
    EXPECT_EQ((*row)[0].name, u"C\"1");
    EXPECT_EQ((*row)[0].i4(), 5);
    EXPECT_EQ((*row)[1].name, u"plain");
    EXPECT_EQ((*row)[1].text(), u"five");
}

TEST_F(session, UnknownAndWrongCaseSchemasEndTheRun) {
    auto engine = connect(u"SESS");
    // Schema names are exact: "app" is not APP, and NOPE is nowhere. Both are run failures
    // that name the schema and the database; a wrong case also names the right spelling.
    const std::pair<const char16_t*, const char*> cases[] = {
        {u"app", "Schema 'app' does not exist in DB2 database 'SESS'. Schema names are case-sensitive: did you "
                 "mean 'APP'?"},
        {u"NOPE", "Schema 'NOPE' does not exist in DB2 database 'SESS'."},
    };
    for (const auto& [schema, message] : cases) {
        try {
            engine->open_db(schema, u"", u"");
            ADD_FAILURE() << message;
        } catch (const db2_exception& e) {
            EXPECT_EQ(std::string(e.what()), message);
            EXPECT_EQ(e.level(), tk_level_run);
        }
    }
    auto db = engine->open_db(u"APP", u"", u"");
    EXPECT_TRUE(db->query(u"SET SCHEMA APP"));
    EXPECT_FALSE(db->query(u"THIS IS NOT SQL"));
}

TEST_F(session, NamesWithUnderscoresMatchOnlyThemselves) {
    EXPECT_EQ(db2_exact_pattern(u"A_B%\\"), u"A\\_B\\%\\\\");
    auto engine = connect(u"SESS");
    auto db = engine->open_db(u"S_1", u"", u"");
    std::vector<std::u16string> tables = db->tables();
    std::sort(tables.begin(), tables.end());
    // SX1.STRANGER is no table of S_1.
    EXPECT_EQ(tables, (std::vector<std::u16string>{u"AXB", u"A_B"}));
    // AXB's columns stay out of A_B.
    auto rs = db->get_table(u"A_B", 1);
    ASSERT_EQ(rs->schema().size(), 1u);
    EXPECT_EQ(rs->schema()[0].name, u"ONE");
    rs->reset();
    ASSERT_NE(rs->get_item(), nullptr);
    EXPECT_EQ((*rs->get_item())[0].i4(), 1);
}

TEST_F(session, LongestNamesAndLongDefaultsAreReadWhole) {
    const std::u16string table = u"T" + std::u16string(126, u'X') + u"Z";
    const std::u16string column = u"C" + std::u16string(126, u'Y') + u"Z";
    auto engine = connect(u"SESS");
    auto db = engine->open_db(u"SX1", u"", u"");
    ASSERT_TRUE(db->is_table_exist(table));
    auto rs = db->get_table(table, 1);
    ASSERT_EQ(rs->schema().size(), 2u);
    EXPECT_EQ(rs->schema()[0].name, column);
    EXPECT_EQ(rs->schema()[1].default_value.text(), std::u16string(200, u'd'));
    rs->reset();
    ASSERT_NE(rs->get_item(), nullptr);
    EXPECT_EQ((*rs->get_item())[0].name, column);
    EXPECT_EQ((*rs->get_item())[0].i4(), 9);
    // A query's columns are described with the same room.
    auto q = db->get_query(u"Q", u"SELECT \"" + column + u"\" FROM \"SX1\".\"" + table + u"\"", 1);
    EXPECT_EQ(q->schema()[0].name, column);
}
