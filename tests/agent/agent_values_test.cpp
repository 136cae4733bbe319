// Values a migration must carry exactly, end to end: a stand-in schema of hostile times,
// timestamps, line breaks, control characters, DECFLOATs and special-register defaults,
// converted by the agent straight into the server and into dump files of both line-break
// styles (loaded by the stock client), then read back value by value. A value the destination
// cannot hold is refused, with its record number, the same way in every mode.

#include "agent_fixture.hpp"
#include "db2_fixture.hpp"
#include "tk_utils.hpp"

#include <gtest/gtest.h>

#include <map>
#include <unistd.h>

using namespace agent_test;

namespace {

/// A source table of one value column V, and how the server's value is read back as text.
struct value_table {
    const char* name;
    const char* db2_type;
    const char* read;
};

const char* const as_text = "CAST(V AS CHAR)";
const char* const as_hex = "HEX(V)";
// A DECIMAL's text without the zeros its scale adds.
const char* const as_number = "TRIM(TRAILING '.' FROM TRIM(TRAILING '0' FROM CAST(V AS CHAR)))";

const value_table tables[] = {
    {"TM", "TIME", as_text},
    {"TS0", "TIMESTAMP(0)", as_text},
    {"TS6", "TIMESTAMP(6)", as_text},
    {"TS12", "TIMESTAMP(12)", as_text},
    {"TX", "VARCHAR(40)", as_hex},
    {"TC", "CLOB(1K)", as_hex},
    {"TB", "VARCHAR(40) FOR BIT DATA", as_hex},
    {"DF16", "DECFLOAT(16)", as_number},
    {"DF34", "DECFLOAT(34)", as_number},
};

/// One row: the DB2 literal of V (rows numbered in list order per table) and the server's text
/// of it, or null when the row must be refused.
struct value_case {
    const char* table;
    std::string literal;
    const char* expected;
};

const value_case cases[] = {
    // A midnight TIME first in its batch, and again later; the end of day stays 24:00:00.
    {"TM", "'00:00:00'", "00:00:00"},
    {"TM", "'12:00:00'", "12:00:00"},
    {"TM", "'23:59:59'", "23:59:59"},
    {"TM", "'24:00:00'", "24:00:00"},
    {"TM", "'00:00:00'", "00:00:00"},
    {"TS0", "'2000-01-01-24.00.00'", "2000-01-02 00:00:00"},
    {"TS0", "'0001-01-01-00.00.00'", "0001-01-01 00:00:00"},
    {"TS0", "'9999-12-31-23.59.59'", "9999-12-31 23:59:59"},
    {"TS0", "'9999-12-31-24.00.00'", nullptr}, // the year 10000 no destination date holds
    {"TS6", "'2023-06-12-23.15.16.707175'", "2023-06-12 23:15:16.707175"},
    {"TS6", "'1999-12-31-23.59.59.999999'", "1999-12-31 23:59:59.999999"},
    {"TS6", "'2000-02-28-24.00.00.000000'", "2000-02-29 00:00:00.000000"},
    {"TS6", "'0001-01-01-00.00.00.000001'", "0001-01-01 00:00:00.000001"},
    {"TS6", "'9999-12-31-23.59.59.999999'", "9999-12-31 23:59:59.999999"},
    // Digits past the sixth are cut, never rounded into the next second.
    {"TS12", "'2001-02-03-03.04.05.678901234567'", "2001-02-03 03:04:05.678901"},
    {"TS12", "'2001-02-03-23.59.59.999999999999'", "2001-02-03 23:59:59.999999"},
    {"TX", "'a\r\nb'", "610D0A62"},
    {"TX", "'a\rb\nc'", "610D620A63"},
    {"TX", "'end\r'", "656E640D"},
    {"TX", "'\r\n\r\n'", "0D0A0D0A"},
    {"TX", "'z\x1A\x1Az'", "7A1A1A7A"},
    {"TX", "'\\N\\r'", "5C4E5C72"},
    {"TC", "'line 1\r\nline 2\r'", "6C696E6520310D0A6C696E6520320D"},
    {"TC", "'\x1A'", "1A"},
    {"TB", "X'0D0A'", "0D0A"},
    {"TB", "X'0D'", "0D"},
    {"TB", "X'1A000D0A0D'", "1A000D0A0D"},
    // DECIMAL(65,30) holds 35 integer and 30 fraction digits: every other value is refused.
    {"DF16", "9.999999999999999E384", nullptr},
    {"DF16", "-1E-398", nullptr},
    {"DF16", "1234567890123456", "1234567890123456"},
    {"DF16", "-0.000000000000001", "-0.000000000000001"},
    {"DF16", "'NaN'", nullptr},
    {"DF16", "'Infinity'", nullptr},
    {"DF16", "'-Infinity'", nullptr},
    {"DF16", "1E-30", "0.000000000000000000000000000001"},
    {"DF16", "1E-31", nullptr},
    {"DF16", "123.4500", "123.45"},
    {"DF34", "9.999999999999999999999999999999999E6144", nullptr},
    {"DF34", "1E-6176", nullptr},
    {"DF34", "1234567890123456789012345678901234", "1234567890123456789012345678901234"},
    {"DF34", "-1234.567890123456789012345678901234", "-1234.567890123456789012345678901234"},
    {"DF34", "0.1234567890123456789012345678901234", nullptr},
    {"DF34", "9.999999999999999999999999999999999E34", "99999999999999999999999999999999990"},
    {"DF34", "1E35", nullptr},
    {"DF34", "'sNaN'", nullptr},
    {"DF34", "'-NaN'", nullptr},
    {"DF34", "0", "0"},
};

/// A NUL inside text cannot be written in a script: these rows are inserted with parameters,
/// after the rows above.
struct text_parameter {
    const char* table;
    std::u16string text;
    const char* expected;
};

const text_parameter nul_rows[] = {
    {"TX", std::u16string(u"a\0b\r", 4), "6100620D"},
    {"TC", std::u16string(u"\0\r\n\0", 4), "000D0A00"},
};

// Every special register as a default, and timestamp and time defaults that must not move.
const char* const defaults_table =
    "CREATE TABLE H.DEFS (N INTEGER NOT NULL, C_TS TIMESTAMP NOT NULL WITH DEFAULT CURRENT TIMESTAMP,"
    " C_D DATE WITH DEFAULT CURRENT DATE, C_T TIME WITH DEFAULT CURRENT TIME, C_U VARCHAR(30) WITH DEFAULT USER,"
    " C_S VARCHAR(30) DEFAULT SESSION_USER, C_F TIMESTAMP(6) DEFAULT '2001-02-03-03.04.05.678901',"
    " C_24 TIME DEFAULT '24:00:00');\n"
    "INSERT INTO H.DEFS (N) VALUES (1);\n";

// The column defaults the server reports for H.DEFS (NULL: none).
const std::vector<std::string> expected_defaults = {
    "<null>", "current_timestamp(6)", "curdate()", "curtime()", "NULL", "NULL", "'2001-02-03 03:04:05.678901'",
    "'24:00:00'"};

const std::string& values_database() {
    static const std::string name = [] {
        shop_database(); // points this process at the stand-in
        std::string script = "CREATE SCHEMA H;\n";
        std::map<std::string, int> rows;
        for (const auto& t : tables)
            script += std::string("CREATE TABLE H.") + t.name + " (N INTEGER NOT NULL, V " + t.db2_type + ");\n";
        for (const auto& c : cases)
            script += std::string("INSERT INTO H.") + c.table + " VALUES (" + std::to_string(++rows[c.table]) + ", " +
                      c.literal + ");\n";
        script += defaults_table;
        db2_test::create_database("VALUESDB", script);

        auto engine = db2_test::connect(u"VALUESDB");
        const auto& api = db2_cli();
        for (const auto& p : nul_rows) {
            db2_handle statement = engine->alloc_statement();
            std::u16string insert =
                u"INSERT INTO H." + tk_from_utf8(p.table) + u" VALUES (" + tk_from_utf8(std::to_string(++rows[p.table])) + u", ?)";
            std::u16string value = p.text;
            SQLLEN length = SQLLEN(value.size() * sizeof(char16_t));
            EXPECT_EQ(api.SQLPrepareW(statement.get(), reinterpret_cast<SQLWCHAR*>(insert.data()), SQL_NTS), SQL_SUCCESS);
            EXPECT_EQ(api.SQLBindParameter(statement.get(), 1, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR, 40, 0,
                                           value.data(), length, &length),
                      SQL_SUCCESS);
            EXPECT_EQ(api.SQLExecute(statement.get()), SQL_SUCCESS) << p.table;
        }
        engine->execute(u"COMMIT");
        return std::string("VALUESDB");
    }();
    return name;
}

// The row number of each case within its table, in list order.
std::vector<int> case_rows() {
    std::map<std::string, int> rows;
    std::vector<int> out;
    for (const auto& c : cases) out.push_back(++rows[c.table]);
    return out;
}

std::map<int, std::string> read_values(sql_connection& c, const std::string& database, const value_table& t) {
    std::map<int, std::string> values;
    const std::string statement =
        std::string("SELECT N, ") + t.read + " FROM `" + database + "`.`" + t.name + "` ORDER BY N";
    EXPECT_TRUE(c.query(statement)) << statement << ": " << c.error();
    sql_result result = c.store_result();
    if (!result) return values;
    while (MYSQL_ROW row = mysql_fetch_row(result.get())) values[std::stoi(row[0])] = row[1] ? row[1] : "<null>";
    return values;
}

// Every value of every table, the defaults of H.DEFS, and nothing of a refused row.
void expect_values(const sql_test_server& server, const std::string& database, const char* mode) {
    SCOPED_TRACE(mode);
    sql_connection c;
    ASSERT_TRUE(connect(c, server));
    const std::vector<int> rows = case_rows();
    for (const auto& t : tables) {
        const std::map<int, std::string> loaded = read_values(c, database, t);
        std::size_t kept = 0;
        for (std::size_t i = 0; i < std::size(cases); ++i) {
            if (cases[i].table != std::string(t.name)) continue;
            const auto found = loaded.find(rows[i]);
            if (!cases[i].expected) {
                EXPECT_EQ(found, loaded.end()) << t.name << " row " << rows[i] << " " << cases[i].literal;
                continue;
            }
            ++kept;
            ASSERT_NE(found, loaded.end()) << t.name << " row " << rows[i] << " " << cases[i].literal;
            EXPECT_EQ(found->second, cases[i].expected) << t.name << " row " << rows[i] << " " << cases[i].literal;
        }
        for (const auto& p : nul_rows) {
            if (p.table != std::string(t.name)) continue;
            ++kept;
            EXPECT_EQ(loaded.rbegin()->second, p.expected) << t.name;
        }
        EXPECT_EQ(loaded.size(), kept) << t.name;
    }
    ASSERT_TRUE(c.query("SELECT COLUMN_DEFAULT FROM information_schema.COLUMNS WHERE TABLE_SCHEMA='" + database +
                        "' AND TABLE_NAME='DEFS' ORDER BY ORDINAL_POSITION"))
        << c.error();
    sql_result result = c.store_result();
    std::vector<std::string> defaults;
    while (MYSQL_ROW row = mysql_fetch_row(result.get())) defaults.push_back(row[0] ? row[0] : "<null>");
    EXPECT_EQ(defaults, expected_defaults);
}

// Each refused row is reported (on the output, as every error) with its table and record
// number, and nothing else is.
void expect_refusals(const run_result& r) {
    const std::vector<int> rows = case_rows();
    std::size_t refused = 0;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        if (cases[i].expected) continue;
        ++refused;
        const std::string context = std::string(cases[i].table) + ", record #" + std::to_string(rows[i]) + ": ";
        EXPECT_NE(r.out.find(context), std::string::npos) << context << "\n" << r.out;
    }
    std::size_t reports = 0;
    for (std::size_t p = r.out.find(", record #"); p != std::string::npos; p = r.out.find(", record #", p + 1)) ++reports;
    EXPECT_EQ(reports, refused) << r.out;
    EXPECT_EQ(r.err, "");
}

class AgentValues : public ::testing::Test {
protected:
    scratch_dir dir;
    // The source goes last: a later option wins over a profile given before it.
    run_result run(std::vector<std::string> args) {
        args.insert(args.end(), {"--src=" + values_database(), "--db2schema=H"});
        return run_agent(args, dir.file("config"));
    }
    static std::string database_name(const char* what) {
        return std::string("vdx_values_") + what + "_" + std::to_string(getpid());
    }
};

} // namespace

TEST_F(AgentValues, EveryValueReadsBackExactlyOrIsRefusedAlikeInBothModes) {
    SQL_REQUIRE_SERVER(server);

    const std::string direct = database_name("direct");
    drop_database drop_direct{server, direct};
    std::vector<std::string> args{"--dest=" + direct};
    for (auto& option : server_options(server)) args.push_back(option);
    const run_result r = run(args);
    // Rows refused one by one are reported, and the run still counts as done.
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    expect_refusals(r);
    expect_values(server, direct, "direct");

    // Dumps with CR LF (the default) and LF line breaks, the latter chosen by a profile.
    const std::string profile = dir.file("lf.ini");
    write_file(profile, "[DB2 settings]\nschema=H\n[Generic settings]\nsrc=" + values_database() +
                            "\n[MySQL settings]\ndump line break=1\n");
    const struct {
        const char* name;
        std::vector<std::string> options;
    } dumps[] = {{"crlf", {}}, {"lf", {"--profile=" + profile}}};
    for (const auto& d : dumps) {
        const std::string file = dir.file(std::string(d.name) + ".sql"), log = dir.file(std::string(d.name) + ".log");
        std::vector<std::string> dump_args = d.options;
        dump_args.insert(dump_args.end(), {"--dump", "--dest=" + file, "--logfile=" + log});
        const run_result dumped = run(dump_args);
        EXPECT_EQ(dumped.status, 0) << dumped.out << dumped.err;
        expect_refusals(dumped);
        const std::string text = read_file(file);
        if (d.options.empty()) {
            for (std::size_t p = text.find('\n'); p != std::string::npos; p = text.find('\n', p + 1))
                ASSERT_TRUE(p > 0 && text[p - 1] == '\r') << "a line without CR LF at byte " << p;
        } else {
            EXPECT_EQ(text.find('\r'), std::string::npos) << "a CR in an LF dump";
        }
        EXPECT_EQ(text.find('\x1A'), std::string::npos);
        EXPECT_EQ(text.find('\0'), std::string::npos);

        // What the user reads in the trace: the TIME columns, the cut fractions, the dropped
        // defaults.
        const std::string trace = read_file(log);
        for (const char* line : {"TIME column 'V': times of day without the client's date (midnight is 00:00:00)",
                                 "TIMESTAMP(12) column 'V': digits of a second past the sixth are cut",
                                 "Default of column 'C_U' dropped", "Default of column 'C_S' dropped"})
            EXPECT_NE(trace.find(line), std::string::npos) << line << "\n" << trace;

        const std::string database = database_name(d.name);
        drop_database dropper{server, database};
        std::string printed;
        ASSERT_EQ(load_dump(server, database, file, printed), 0) << printed;
        expect_values(server, database, d.name);
    }
}
