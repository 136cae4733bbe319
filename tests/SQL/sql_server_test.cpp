// Against a real server (see sql_server.hpp): the session, databases, a table built from the
// definitions for every source type, and every kind of literal stored and read back unchanged.
#include "sql_engi.hpp"
#include "sql_init.hpp"
#include "sql_server.hpp"
#include "sql_util.hpp"
#include "tk_utils.hpp"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <limits>

namespace {

// The session's destructor may raise, which a fixture member cannot.
using engine_ptr = std::unique_ptr<sql_engine>;

engine_ptr connect_to(const sql_test_server& s) {
    auto engine = std::make_unique<sql_engine>();
    engine->connect(s.host, s.user, s.password, s.port);
    return engine;
}

// The first column of the first row of a statement's result.
std::string scalar(sql_connection& c, const std::string& statement) {
    EXPECT_TRUE(c.query(statement)) << statement << ": " << c.error();
    sql_result result = c.store_result();
    if (!result) return "<no result>";
    MYSQL_ROW row = mysql_fetch_row(result.get());
    return row && row[0] ? row[0] : "<null>";
}

void exec(sql_connection& c, std::string_view statement) {
    ASSERT_TRUE(c.query(statement)) << statement.substr(0, 300) << ": " << c.error();
}

std::u16string unique_name(const char16_t* stem) {
    return stem + tk_ascii_to_wide(std::to_string(getpid()));
}

// Drops a test database when the test ends, whatever happened.
struct scratch_db {
    sql_engine& engine;
    std::u16string name;
    scratch_db(sql_engine& e, std::u16string n) : engine(e), name(std::move(n)) {
        if (engine.is_db_exist(name)) engine.db_delete(name);
        engine.create_db(name);
    }
    ~scratch_db() {
        try {
            engine.db_delete(name);
        } catch (...) {
        }
    }
};

} // namespace

TEST(Server, ConnectsAndPreparesTheSession) {
    SQL_REQUIRE_SERVER(server);
    engine_ptr engine = connect_to(server);
    EXPECT_TRUE(engine->is_connected());
    EXPECT_GE(engine->server_version(), 0x0A0000u);
    EXPECT_TRUE(engine->is_innodb());
    sql_connection& c = engine->connection();
    EXPECT_EQ(scalar(c, "SELECT @@character_set_connection"), "utf8mb4");
    EXPECT_EQ(scalar(c, "SELECT @@SESSION.foreign_key_checks"), "0");
    const std::string mode = scalar(c, "SELECT @@SESSION.sql_mode");
    EXPECT_NE(mode.find("NO_AUTO_VALUE_ON_ZERO"), std::string::npos) << mode;
    EXPECT_EQ(mode.find("NO_BACKSLASH_ESCAPES"), std::string::npos) << mode;

    // A second connect replaces the first connection.
    engine->connect(server.host, server.user, server.password, server.port);
    EXPECT_EQ(scalar(engine->connection(), "SELECT 1"), "1");
    EXPECT_EQ(scalar(engine->connection(), "SELECT @@character_set_connection"), "utf8mb4");
}

TEST(Server, WrongPasswordIsAccessDenied) {
    SQL_REQUIRE_SERVER(server);
    engine_ptr engine = std::make_unique<sql_engine>();
    try {
        engine->connect(server.host, server.user, server.password + "x", server.port);
        FAIL() << "connected with a wrong password";
    } catch (const sql_exception& e) {
        // The code the error handler turns into the access-denied advice.
        EXPECT_EQ(e.code(), 0x400000 + 1045) << e.what();
    }
    EXPECT_FALSE(engine->is_connected());
    EXPECT_EQ(engine->server_version(), 0u);
    engine->connect(server.host, server.user, server.password, server.port);
    EXPECT_TRUE(engine->is_connected());
}

TEST(Server, CreateOpenProbeAndDropDatabases) {
    SQL_REQUIRE_SERVER(server);
    engine_ptr engine = connect_to(server);
    // A backquote in the name is doubled, not taken as the end of the name.
    const std::u16string name = unique_name(u"dunmere`db ");
    if (engine->is_db_exist(name)) engine->db_delete(name);
    EXPECT_FALSE(engine->is_db_exist(name));
    engine->create_db(name);
    EXPECT_EQ(tk_from_utf8(scalar(engine->connection(), "SELECT DATABASE()")), name);
    EXPECT_TRUE(engine->is_db_exist(name));
    engine->open_db(name);
    try {
        engine->create_db(name);
        ADD_FAILURE() << "created twice";
    } catch (const sql_exception& e) {
        EXPECT_EQ(e.code(), 0x400000 + 1007);
    }
    engine->db_delete(name);
    EXPECT_EQ(scalar(engine->connection(), "SELECT @@SESSION.foreign_key_checks"), "1");
    EXPECT_FALSE(engine->is_db_exist(name));
    try {
        engine->db_delete(name);
        ADD_FAILURE() << "dropped a missing database";
    } catch (const sql_exception& e) {
        EXPECT_EQ(e.code(), 0x400000 + 1008);
    }
    EXPECT_THROW(engine->open_db(name), sql_exception);
    engine->set_max_allowed_packet(10000000);
}

TEST(Server, LiteralsSurviveAServerThatDoesNotEscape) {
    SQL_REQUIRE_SERVER(server);
    // A server whose default mode would store different bytes for backslash escapes.
    sql_connection admin;
    ASSERT_TRUE(admin.connect(server.host, server.user, server.password, unsigned(server.port))) << admin.error();
    const std::string saved = scalar(admin, "SELECT @@GLOBAL.sql_mode");
    exec(admin, "SET GLOBAL sql_mode='STRICT_ALL_TABLES,NO_BACKSLASH_ESCAPES,ANSI_QUOTES'");
    std::string mode, echoed;
    {
        engine_ptr engine = connect_to(server);
        mode = scalar(engine->connection(), "SELECT @@SESSION.sql_mode");
        echoed = scalar(engine->connection(), "SELECT " + to_mysql_str("a\\b'c", VT_BSTR));
    }
    exec(admin, "SET GLOBAL sql_mode='" + saved + "'");
    EXPECT_NE(mode.find("STRICT_ALL_TABLES"), std::string::npos) << mode;
    EXPECT_NE(mode.find("NO_AUTO_VALUE_ON_ZERO"), std::string::npos) << mode;
    EXPECT_EQ(mode.find("ANSI_QUOTES"), std::string::npos) << mode;
    EXPECT_EQ(mode.find("NO_BACKSLASH_ESCAPES"), std::string::npos) << mode;
    EXPECT_EQ(echoed, "a\\b'c");
}

namespace {

struct column_case {
    t_ftd column;
    std::vector<ole_variant> values; // one per row
};

ole_variant bytes(std::initializer_list<int> list) {
    std::vector<std::uint8_t> v;
    for (int b : list) v.push_back(std::uint8_t(b));
    return ole_variant(std::move(v));
}

ole_variant when(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
    ole_systemtime t;
    t.year = std::uint16_t(y), t.month = std::uint16_t(mo), t.day = std::uint16_t(d);
    t.hour = std::uint16_t(h), t.minute = std::uint16_t(mi), t.second = std::uint16_t(s);
    return ole_variant(t);
}

ole_variant decimal(const char* text) { return ole_variant::from_string(text, VT_DECIMAL); }

t_ftd col(const char16_t* name, std::uint16_t vt, std::uint32_t size = 0, std::uint32_t reserved = 0) {
    return t_ftd(size, name, vt, false, false, ole_variant(), reserved);
}

// Whether the fetched value is the stored one, by the kind of the column.
void expect_same(const ole_variant& sent, const ole_variant& got, const std::string& where) {
    if (sent.is_empty_or_null()) {
        EXPECT_EQ(got.vt(), VT_EMPTY) << where;
        return;
    }
    switch (sent.vt()) {
    case VT_BSTR: EXPECT_EQ(got.text(), sent.text()) << where; break;
    case VT_BYTES: EXPECT_EQ(got.bytes(), sent.bytes()) << where; break;
    case VT_R8: EXPECT_EQ(got.to_double(), sent.r8()) << where; break;
    case VT_DATE: {
        const ole_systemtime a = sent.get_time(), b = got.get_time();
        EXPECT_TRUE(a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour &&
                    a.minute == b.minute && a.second == b.second)
            << where << ": " << got.to_string();
        break;
    }
    case VT_BOOL: EXPECT_EQ(got.to_bool(), sent.to_bool()) << where; break;
    default: EXPECT_EQ(got.to_string(), sent.to_string()) << where;
    }
}

} // namespace

TEST(Server, EverySourceTypeAndLiteralRoundTrips) {
    SQL_REQUIRE_SERVER(server);
    engine_ptr engine = connect_to(server);
    scratch_db db(*engine, unique_name(u"dunmere_types"));

    std::vector<std::uint8_t> all_bytes(256);
    for (int i = 0; i < 256; ++i) all_bytes[std::size_t(i)] = std::uint8_t(i);
    std::u16string controls;
    for (char16_t c = 1; c < 32; ++c) controls += c;
    const ole_variant null;

    // One column per source type; the rows are extremes, escapes and NULLs.
    std::vector<column_case> cases = {
        {col(u"id", VT_I4), {ole_variant(0), ole_variant(1), ole_variant(2), ole_variant(3)}},
        {col(u"small", VT_I2), {ole_variant(short(-32768)), ole_variant(short(32767)), null, ole_variant(short(0))}},
        {col(u"int", VT_I4), {ole_variant(std::numeric_limits<int>::min()), ole_variant(std::numeric_limits<int>::max()), null, ole_variant(0)}},
        {col(u"big", VT_I8), {ole_variant(std::numeric_limits<long long>::min()), ole_variant(std::numeric_limits<long long>::max()), null, ole_variant(0LL)}},
        {col(u"dbl", VT_R8), {ole_variant(std::numeric_limits<double>::max()), ole_variant(-std::numeric_limits<double>::min()), null, ole_variant(0.1)}},
        {col(u"dec", VT_DECIMAL, 68, 0x1F05), {decimal("99999999999999999999999999.99999"), decimal("-0.00001"), null, decimal("0.00000")}},
        {col(u"d", VT_DATE, 16, 2), {when(1, 1, 1), when(9999, 12, 31), null, when(2004, 2, 29)}},
        {col(u"ts", VT_DATE, 16, 1), {when(1, 1, 1, 0, 0, 0), when(9999, 12, 31, 23, 59, 59), null, when(2004, 2, 29, 12, 30, 1)}},
        {col(u"tm", VT_DATE, 16, 3), {when(0, 0, 0, 0, 0, 0), when(0, 0, 0, 23, 59, 59), null, when(0, 0, 0, 12, 0, 1)}},
        {col(u"ch", VT_BSTR, 10), {ole_variant(u"O'Brien"), ole_variant(u"a\\b\\'c\""), null, ole_variant(std::u16string())}},
        {col(u"vc", VT_BSTR, 255), {ole_variant(std::u16string(u"\0nul\0", 5)), ole_variant(controls), null, ole_variant(u"\U0001F600 \U00020000 \u00E9")}},
        {col(u"clob", VT_BSTR, 0), {ole_variant(std::u16string(70000, u'x') + u"'\\"), ole_variant(u"\r\n\x1A\t"), null, ole_variant(std::u16string())}},
        {col(u"bin", VT_BYTES, 16), {bytes({0, '\'', '\\', '"', 0x0D, 0x0A, 0x1A, 0xFF}), bytes({}), null, bytes({'0', 'x', '4', '1'})}},
        {col(u"blob", VT_BLOB, 0), {ole_variant(all_bytes), bytes({}), null, bytes({0})}},
        {col(u"flag", VT_BOOL, 1), {ole_variant(true), ole_variant(false), null, ole_variant(true)}},
        {col(u"tiny", VT_I1, 1), {ole_variant(static_cast<signed char>(-128)), ole_variant(static_cast<signed char>(127)), null, ole_variant(static_cast<signed char>(0))}},
    };
    cases[0].column.b_auto_increment = true;
    cases[0].column.b_not_null = true;
    cases[9].column.comment = u"it's a \\ remark";

    udb_schema schema(false);
    for (column_case& c : cases) schema.add_ref(c.column);
    udb_indexes indexes;
    indexes.add(udb_index(u"pk", true, true, {u"id"}));
    indexes.add(udb_index(u"by_bin", true, false, {u"bin", u"small"}));
    indexes.add(udb_index(u"by_blob", false, false, {u"blob"}));

    std::u16string auto_name;
    sql_schema_initializer columns(u"types", schema, indexes, auto_name);
    sql_chunks chunks;
    columns.get_init_chunks(chunks);
    sql_indexes_initializer keys(columns.schema(), indexes, auto_name, columns.names_map());
    keys.get_init_chunks(chunks);
    EXPECT_EQ(chunks.size(), cases.size() + 2) << "the BLOB index is dropped";
    std::u16string create = u"CREATE TABLE " + engine->quote_name(u"types") + u" (";
    for (std::size_t i = 0; i < chunks.size(); ++i) create += (i ? u", " : u"") + chunks[i];
    create += u") ENGINE=InnoDB";
    ASSERT_TRUE(engine->send(create)) << engine->connection().error() << "\n" << tk_to_utf8(create);

    // One multi-row INSERT, built the writers' way.
    std::string insert = "INSERT INTO `types`(";
    for (std::size_t i = 0; i < cases.size(); ++i) {
        if (i) insert += ", ";
        engine->append_quoted_name(insert, columns.schema()[i].name);
    }
    insert += ") VALUES";
    const std::size_t rows = cases[0].values.size();
    for (std::size_t r = 0; r < rows; ++r) {
        insert += r ? ", (" : "(";
        for (std::size_t i = 0; i < cases.size(); ++i) {
            if (i) insert += ", ";
            append_fld_str(insert, udb_field(cases[i].column.name, 0, cases[i].values[r]), columns.schema()[i]);
        }
        insert += ')';
    }
    sql_connection& c = engine->connection();
    exec(c, insert);
    EXPECT_EQ(scalar(c, "SELECT COUNT(*) FROM `types` WHERE `id` = 0"), "1") << "a zero identity stays zero";

    ASSERT_TRUE(c.query("SELECT * FROM `types` ORDER BY `id`")) << c.error();
    sql_result result = c.store_result();
    ASSERT_TRUE(result);
    ASSERT_EQ(mysql_num_fields(result.get()), cases.size());
    const MYSQL_FIELD* fields = mysql_fetch_fields(result.get());
    EXPECT_EQ(fields[12].type, MYSQL_TYPE_VAR_STRING) << "byte arrays come back from a VARBINARY column";
    EXPECT_EQ(get_mysql_vartype(fields[12].type, fields[12].flags), VT_BYTES);
    for (std::size_t r = 0; r < rows; ++r) {
        MYSQL_ROW row = mysql_fetch_row(result.get());
        ASSERT_TRUE(row);
        const unsigned long* lengths = mysql_fetch_lengths(result.get());
        for (std::size_t i = 0; i < cases.size(); ++i) {
            const ole_variant got = get_variant(fields[i].type, lengths[i], fields[i].flags, row[i]);
            expect_same(cases[i].values[r], got, tk_to_utf8(cases[i].column.name) + " row " + std::to_string(r));
        }
    }
    EXPECT_EQ(tk_from_utf8(scalar(c, "SELECT COLUMN_COMMENT FROM information_schema.COLUMNS WHERE TABLE_SCHEMA = "
                                     "DATABASE() AND COLUMN_NAME = 'ch'")),
              u"it's a \\ remark");
}
