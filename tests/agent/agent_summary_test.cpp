// What a person and a script learn from a run: the end-of-run summary's figures against a
// schema with refused rows, a failed table and a failed key, the --strict exit status, and the
// progress line, drawn on a terminal and absent from files and pipes.

#include "agent_fixture.hpp"
#include "db2_fixture.hpp"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace agent_test;

namespace {

// C's key refers to P.ID from a text column: DB2 takes it, MySQL refuses the key. R's keys
// 'a', 'A' and 'a ' are distinct for DB2 and one value for MySQL's collation: two rows are
// refused. F gets a table of another structure at the destination first, so that merging
// into it fails the table. K's key holds.
const std::string& summary_database() {
    static const std::string name = [] {
        shop_database(); // points this process and the agent at the stand-in
        db2_test::create_database(
            "SUMDB", "CREATE SCHEMA S;\n"
                     "CREATE TABLE S.P (ID INTEGER NOT NULL, PRIMARY KEY (ID));\n"
                     "INSERT INTO S.P VALUES (1), (2), (3);\n"
                     "CREATE TABLE S.C (ID INTEGER NOT NULL, PID VARCHAR(10), PRIMARY KEY (ID), "
                     "CONSTRAINT FK_C FOREIGN KEY (PID) REFERENCES S.P (ID));\n"
                     "INSERT INTO S.C VALUES (1, '1');\n"
                     "CREATE TABLE S.K (ID INTEGER NOT NULL, PID INTEGER, PRIMARY KEY (ID), "
                     "CONSTRAINT FK_K FOREIGN KEY (PID) REFERENCES S.P (ID));\n"
                     "INSERT INTO S.K VALUES (1, 1), (2, NULL);\n"
                     "CREATE TABLE S.F (ID INTEGER NOT NULL, T TIMESTAMP);\n"
                     "INSERT INTO S.F VALUES (1, '2024-01-01-00.00.00.000000');\n"
                     "CREATE TABLE S.R (K VARCHAR(10) NOT NULL, V VARCHAR(10), D DECFLOAT(16), PRIMARY KEY (K));\n"
                     "INSERT INTO S.R VALUES ('a', 'x\ty', 1), ('b', '', 'NaN'), ('c', NULL, '-Infinity'), "
                     "('d', '4', 1E-30);\n");
        return std::string("SUMDB");
    }();
    return name;
}

// The summary's table rows and counts without the times, which vary: "NAME read written
// refused [note]" per line, then the lines after the table as printed.
std::string summary_figures(const std::string& out) {
    const std::size_t start = out.find("Summary:\n");
    if (start == std::string::npos) return "<no summary>";
    std::istringstream lines(out.substr(start));
    std::string line, figures;
    const std::regex row(R"(  (\S+) +(\d+) +(\d+) +(\d+) +\d+\.\d\d +(?:\d+|-)(  (failed|skipped))?)");
    std::smatch m;
    while (std::getline(lines, line)) {
        if (std::regex_match(line, m, row)) {
            figures += m[1].str() + " " + m[2].str() + " " + m[3].str() + " " + m[4].str();
            if (m[6].matched) figures += " " + m[6].str();
            figures += "\n";
        } else if (line.find("Tables failed") != std::string::npos || line.find("Foreign keys") != std::string::npos ||
                   line.find("Views") != std::string::npos) {
            figures += line.substr(2) + "\n";
        }
    }
    return figures;
}

class AgentSummary : public ::testing::Test {
protected:
    scratch_dir dir;
};

} // namespace

TEST_F(AgentSummary, FiguresAndStrictStatusForRefusedRowsAFailedTableAndAFailedKey) {
    SQL_REQUIRE_SERVER(server);
    const std::string database = "vdx_sum_" + std::to_string(getpid());
    drop_database dropper{server, database};
    sql_connection c;
    ASSERT_TRUE(connect(c, server));
    const std::string expected = "C 1 1 0\nF 0 0 0 failed\nK 2 2 0\nP 3 3 0\nR 4 2 2\nTotal 10 8 2\n"
                                 "Tables failed: 1\nForeign keys: 1 created, 1 failed\nViews: 0 created, 0 failed\n";
    struct run_case {
        std::vector<std::string> extra;
        int status;
    };
    for (const run_case& rc : {run_case{{}, 0}, run_case{{"--strict"}, 1}}) {
        SCOPED_TRACE(rc.extra.empty() ? "plain" : rc.extra[0]);
        ASSERT_TRUE(c.query("DROP DATABASE IF EXISTS `" + database + "`"));
        ASSERT_TRUE(c.query("CREATE DATABASE `" + database + "`"));
        ASSERT_TRUE(c.query("CREATE TABLE `" + database + "`.F (OTHER VARCHAR(3))"));
        std::vector<std::string> args{"--src=" + summary_database(), "--db2schema=S", "--dest=" + database,
                                      "--mode=3", "--logfile=" + dir.file("trace.log")};
        for (const auto& option : server_options(server)) args.push_back(option);
        args.insert(args.end(), rc.extra.begin(), rc.extra.end());
        const run_result r = run_agent(args, dir.file("config"));
        EXPECT_EQ(r.status, rc.status) << r.out << r.err;
        EXPECT_EQ(summary_figures(r.summary), expected) << r.out << r.summary;
        EXPECT_EQ(summary_figures(read_file(dir.file("trace.log"))), expected);
        EXPECT_EQ(scalar(c, "SELECT GROUP_CONCAT(K ORDER BY K) FROM `" + database + "`.R"), "a,d");
    }

    // A clean run is 0 under --strict too; its dump is named with its size, and --silent keeps
    // the summary off the console.
    const std::string dump = dir.file("clean.sql");
    const std::vector<std::string> clean{"--src=" + summary_database(), "--db2schema=S", "--dump",
                                         "--dest=" + dump, "--tab_file=" + dir.file("tables.txt"), "--strict"};
    write_file(dir.file("tables.txt"), "P\nK\n");
    const run_result r = run_agent(clean, dir.file("config"));
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(summary_figures(r.summary), "K 2 2 0\nP 3 3 0\nTotal 5 5 0\nTables failed: 0\n"
                                      "Foreign keys: 1 created, 0 failed\nViews: 0 created, 0 failed\n")
        << r.summary;
    struct stat info {};
    ASSERT_EQ(stat(dump.c_str(), &info), 0);
    EXPECT_NE(r.summary.find("  Dump file: " + dump + " (" + std::to_string(info.st_size) + " bytes)\n"),
              std::string::npos)
        << r.summary;
    std::vector<std::string> silent = clean;
    silent.push_back("--silent");
    const run_result quiet = run_agent(silent, dir.file("config"));
    EXPECT_EQ(quiet.out + quiet.summary, "");
}

TEST_F(AgentSummary, ProgressIsDrawnOnATerminalAndNeverReachesAFileOrAPipe) {
    // A fetch that pauses keeps the agent inside one table long enough for several redraws.
    const std::vector<std::pair<std::string, std::string>> slow{{"DB2STANDIN_FAULTS", "SQLFetch:150:pause:1000"}};
    const std::vector<std::string> args{"--src=" + shop_database(), "--db2schema=SHOP", "--dump",
                                        "--dest=" + dir.file("shop.sql")};
    // The lines before the summary, whose times vary.
    const auto lines = [](const std::string& text) { return text.substr(0, text.find("Summary:\n")); };

    const run_result piped = run_agent(args, dir.file("config"), slow);
    ASSERT_EQ(piped.status, 0) << piped.out << piped.err;
    EXPECT_EQ((piped.out + piped.summary).find_first_of("\r\x1b"), std::string::npos) << piped.out;
    EXPECT_NE(piped.summary, "");
    EXPECT_EQ(piped.err, "");
    EXPECT_NE(piped.out.find("Converting table "), std::string::npos);

    const run_result terminal = run_agent_on_terminal(args, dir.file("config"), slow);
    ASSERT_EQ(terminal.status, 0) << terminal.out;
    const std::regex drawn("\r  (\\d+) of (\\d+) records, (\\d+)%[^\r\n]*\x1b\\[K");
    std::smatch m;
    ASSERT_TRUE(std::regex_search(terminal.out, m, drawn)) << terminal.out;
    EXPECT_LT(std::stoi(m[1].str()), std::stoi(m[2].str()));
    EXPECT_EQ(std::stoll(m[3].str()), std::stoll(m[1].str()) * 100 / std::stoll(m[2].str()));
    // Without the drawn and erased lines, the terminal got exactly what the pipe got.
    const std::string plain = std::regex_replace(terminal.out, std::regex("\r[^\r\n]*\x1b\\[K"), "");
    EXPECT_EQ(lines(plain), lines(piped.out));

    // Standard output to a file, standard error on the terminal: the file is as piped, and
    // the terminal has only the progress.
    const run_result split = run_agent_on_terminal(args, dir.file("config"), slow, dir.file("out.txt"));
    ASSERT_EQ(split.status, 0) << split.out;
    EXPECT_EQ(lines(read_file(dir.file("out.txt"))), lines(piped.out));
    EXPECT_EQ(std::regex_replace(split.out, std::regex("\r[^\r\n]*\x1b\\[K"), ""), "");
    EXPECT_NE(split.out.find(" records, "), std::string::npos);
}

TEST_F(AgentSummary, RowsRefusedWhenTheirBatchIsAnsweredCountAsRefused) {
    // Every refusal here comes back with a batch's answer, after the agent took the record.
    // R's keys 'a' and 'A' (and 'b' and 'B') are distinct for DB2 and one value for MySQL's
    // collation. W's rows of about 30 KB fill three batches, each with one duplicate key: in
    // the first, a middle and the last. E exists at the destination with every key already
    // there, so each of its rows is refused.
    static const std::string late_database = [] {
        shop_database(); // points this process and the agent at the stand-in
        std::string script = "CREATE SCHEMA S;\n"
                             "CREATE TABLE S.R (K VARCHAR(10) NOT NULL, D DECFLOAT(16), PRIMARY KEY (K));\n"
                             "INSERT INTO S.R VALUES ('a', 1), ('A', 2), ('b', 3), ('B', 4);\n"
                             "CREATE TABLE S.E (K VARCHAR(10) NOT NULL, PRIMARY KEY (K));\n"
                             "INSERT INTO S.E VALUES ('p'), ('q');\n"
                             "CREATE TABLE S.W (N INTEGER NOT NULL, K VARCHAR(10) NOT NULL, P VARCHAR(30000), "
                             "PRIMARY KEY (K));\n";
        const std::string pad(30000, 'x');
        for (int n = 1; n <= 100; ++n) {
            const bool duplicate = n == 2 || n == 50 || n == 100;
            script += "INSERT INTO S.W VALUES (" + std::to_string(n) + ", '" + (duplicate ? "K" : "k") +
                      std::to_string(duplicate ? n - 1 : n) + "', '" + pad + "');\n";
        }
        db2_test::create_database("LATEDB", script);
        return std::string("LATEDB");
    }();
    SQL_REQUIRE_SERVER(server);
    const std::string database = "vdx_late_" + std::to_string(getpid());
    drop_database dropper{server, database};
    sql_connection c;
    ASSERT_TRUE(connect(c, server));
    ASSERT_TRUE(c.query("DROP DATABASE IF EXISTS `" + database + "`"));
    ASSERT_TRUE(c.query("CREATE DATABASE `" + database + "`"));
    ASSERT_TRUE(c.query("CREATE TABLE `" + database + "`.E (K VARCHAR(10) NOT NULL, PRIMARY KEY (K))"));
    ASSERT_TRUE(c.query("INSERT INTO `" + database + "`.E VALUES ('P'), ('Q')"));
    std::vector<std::string> args{"--src=" + late_database, "--db2schema=S", "--dest=" + database, "--mode=3",
                                  "--strict"};
    for (const auto& option : server_options(server)) args.push_back(option);
    const run_result r = run_agent(args, dir.file("config"));
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_EQ(summary_figures(r.summary), "E 2 0 2\nR 4 2 2\nW 100 97 3\nTotal 106 99 7\nTables failed: 0\n"
                                          "Foreign keys: 0 created, 0 failed\nViews: 0 created, 0 failed\n")
        << r.out << r.summary;
    std::string refused;
    const std::regex record("Error:\n(\\w), record #(\\d+): (\\w+)");
    for (auto m = std::sregex_iterator(r.out.begin(), r.out.end(), record); m != std::sregex_iterator(); ++m)
        refused += (*m)[1].str() + (*m)[2].str() + " " + (*m)[3].str() + "\n";
    EXPECT_EQ(refused, "E1 Duplicate\nE2 Duplicate\nR2 Duplicate\nR4 Duplicate\nW2 Duplicate\nW50 Duplicate\n"
                       "W100 Duplicate\n")
        << r.out;
    EXPECT_EQ(scalar(c, "SELECT GROUP_CONCAT(K ORDER BY K) FROM `" + database + "`.R"), "a,b");
    EXPECT_EQ(scalar(c, "SELECT CONCAT(COUNT(*), ' ', SUM(N IN (2, 50, 100))) FROM `" + database + "`.W"), "97 0");
}
