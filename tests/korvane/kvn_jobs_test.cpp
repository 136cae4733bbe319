// Runs with several jobs against the DB2 stand-in, in both modes: the same dump bytes and the
// same server tables as one job, failures of one row or one table while other workers go on,
// and a server that goes away mid-run ending every worker with nothing reported as done that
// is not. Also built under ThreadSanitizer.

#include "db2_fixture.hpp"
#include "kvn_conv.hpp"
#include "kvn_wizard_fixture.hpp"
#include "sql_client.hpp"
#include "sql_server.hpp"
#include "test_files.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"
#include "udb_errh.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <sstream>
#include <thread>

namespace {

// Schema J: four tables of different sizes and shapes. BIG has its rows in reverse key order,
// NOKEY no key at all, "ORDER" a name that must change, SMALL a foreign key to BIG. Values
// carry quotes, backslashes, control characters, midnight and fractions of seconds.
std::string four_tables_script(int rows) {
    std::string s = "CREATE SCHEMA J;\nSET SCHEMA J;\n"
                    "CREATE TABLE BIG (ID INTEGER NOT NULL, NAME VARCHAR(40), AMOUNT DECIMAL(12,3), "
                    "AT TIMESTAMP, CONSTRAINT PK_BIG PRIMARY KEY (ID));\n"
                    "CREATE TABLE NOKEY (N INTEGER, NOTE VARCHAR(30), D DATE);\n"
                    "CREATE TABLE \"ORDER\" (ID INTEGER NOT NULL, \"SELECT\" VARCHAR(20), X DOUBLE, "
                    "CONSTRAINT PK_ORDER PRIMARY KEY (ID));\n"
                    "CREATE TABLE SMALL (ID INTEGER NOT NULL, BIG_ID INTEGER, CONSTRAINT PK_SMALL PRIMARY KEY (ID), "
                    "CONSTRAINT FK_SMALL_BIG FOREIGN KEY (BIG_ID) REFERENCES BIG (ID));\n";
    const auto batch = [&s](const std::string& table, int count, auto row) {
        for (int first = 0; first < count; first += 100) {
            s += "INSERT INTO " + table + " VALUES ";
            for (int i = first; i < std::min(count, first + 100); ++i) s += (i > first ? ", " : "") + row(i);
            s += ";\n";
        }
    };
    const int big = rows;
    batch("BIG", big, [big](int i) {
        const int id = big - i;
        return "(" + std::to_string(id) + ", 'it''s \\\\ n" + std::to_string(id) + "\t', " + std::to_string(id) +
               ".125, '2024-03-01-" + (id % 2 ? "00.00.00.000000" : "23.59.59.999999") + "')";
    });
    batch("NOKEY", rows / 2, [](int i) {
        return "(" + std::to_string(i % 7) + ", " + (i % 5 ? "'n" + std::to_string(i) + "'" : "NULL") +
               ", '2000-01-01')";
    });
    batch("\"ORDER\"", rows / 3, [](int i) {
        return "(" + std::to_string(i) + ", 'sel" + std::to_string(i) + "', " + std::to_string(i) + ".5e-3)";
    });
    batch("SMALL", rows / 10, [](int i) { return "(" + std::to_string(i) + ", " + std::to_string(i + 1) + ")"; });
    return s;
}

const std::string& jobs_database() {
    static const std::string name = [] {
        db2_test::use_standin();
        db2_test::create_database("JOBSDB", four_tables_script(600));
        return std::string("JOBSDB");
    }();
    return name;
}

// Every table of database `db`: its definition and its rows sorted, as one text.
std::string database_text(sql_connection& c, const std::string& db) {
    std::string text;
    EXPECT_TRUE(c.select_db(db)) << c.error();
    EXPECT_TRUE(c.query("SHOW TABLES")) << c.error();
    std::vector<std::string> tables;
    {
        sql_result r = c.store_result();
        while (MYSQL_ROW row = r ? mysql_fetch_row(r.get()) : nullptr) tables.emplace_back(row[0]);
    }
    std::sort(tables.begin(), tables.end());
    for (const std::string& table : tables) {
        for (const std::string& q : {"SHOW CREATE TABLE `" + table + "`", "SELECT * FROM `" + table + "`"}) {
            EXPECT_TRUE(c.query(q)) << c.error();
            sql_result r = c.store_result();
            std::vector<std::string> rows;
            const unsigned fields = r ? mysql_num_fields(r.get()) : 0;
            while (MYSQL_ROW row = r ? mysql_fetch_row(r.get()) : nullptr) {
                const unsigned long* lengths = mysql_fetch_lengths(r.get());
                std::string line;
                for (unsigned i = 0; i < fields; ++i)
                    line += (row[i] ? std::string(row[i], lengths[i]) : std::string("<null>")) + '|';
                rows.push_back(std::move(line));
            }
            std::sort(rows.begin(), rows.end());
            text += q + '\n';
            for (const std::string& line : rows) text += line + '\n';
        }
    }
    return text;
}

// What a report says, as one comparable line.
std::string report_text(const udb_item_report& r) {
    return tk_to_utf8(r.name) + '>' + tk_to_utf8(r.destination) + ' ' + std::to_string(r.records_read) + '/' +
           std::to_string(r.records_copied) + '/' + std::to_string(r.records_refused) + ' ' +
           std::to_string(int(r.result));
}

// A dump without the lines that carry the time of the run and its file's name.
std::string timeless(const std::string& dump) {
    std::istringstream in(dump);
    std::string out, line;
    while (std::getline(in, line))
        if (line.rfind("-- Dump completed on", 0) != 0 && line.rfind("# Creation date", 0) != 0 &&
            line.rfind("# File name", 0) != 0)
            out += line + '\n';
    return out;
}

class Jobs : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/kvn_jobs_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
        handler = std::make_unique<error_handler>();
        handler->set_output(reports);
        error_handler::set_exit_function([this](int status) { exits.push_back(status); });
        converter = std::make_unique<korvane_convertor>(korvane_front_end::agent);
        converter->set_console(console, console);
    }
    void TearDown() override {
        converter.reset();
        error_handler::set_exit_function(nullptr);
        handler.reset();
        std::filesystem::remove_all(dir);
    }
    // One run of every table of `schema` into `dest` (a database, or a file of the scratch folder).
    // `tables`, when given, instead of every table.
    void run(const std::string& database, const char16_t* schema, int jobs, const std::string& dest,
             const sql_test_server* server, const std::string& user = {}, const std::string& password = {},
             const std::vector<std::u16string>& tables = {}) {
        converter->db2().set_connection_settings(tk_from_utf8(database), u"", u"");
        converter->db2().connect_db2_server(tk_from_utf8(database));
        converter->db2().schema() = schema;
        converter->table_list() = tables;
        converter->selected_items().clear();
        converter->set_jobs(jobs);
        converter->set_direct_mode(server != nullptr);
        if (server) {
            converter->mysql().store_mysql_settings(server->host, user.empty() ? server->user : user,
                                                    user.empty() ? server->password : password,
                                                    std::to_string(server->port));
            converter->mysql().connect_mysql_server();
            converter->set_destination(tk_from_utf8(dest));
        } else {
            converter->set_destination(tk_from_utf8(dir + "/" + dest));
        }
        try {
            (*converter)();
        } catch (const error_handler_exit&) {
            // The run ended the program: the test looks at what it left.
        }
    }
    std::vector<std::string> report_lines() const {
        std::vector<std::string> lines;
        for (const auto& r : converter->item_reports()) lines.push_back(report_text(r));
        return lines;
    }

    std::string dir;
    std::ostringstream reports;
    std::ostringstream console;
    std::vector<int> exits;
    std::unique_ptr<error_handler> handler;
    std::unique_ptr<korvane_convertor> converter;
};

} // namespace

TEST_F(Jobs, SeveralJobsGiveTheDumpBytesAndServerTablesOfOne) {
    const std::optional<sql_test_server>& server = sql_find_test_server();
    struct sample {
        const std::string& database;
        const char16_t* schema;
        std::vector<std::u16string> tables; ///< one table: a dump reads it ahead on a second thread
    };
    for (const sample& s : {sample{wizard_test::shop_database(), u"SHOP", {}}, sample{jobs_database(), u"J", {}},
                            sample{jobs_database(), u"J", {u"BIG"}}}) {
        for (const bool direct : {false, true}) {
            SCOPED_TRACE(s.database + (direct ? " direct" : " dump") + (s.tables.empty() ? "" : " one table"));
            if (direct && !server) {
                if (sql_test_server_required()) ADD_FAILURE() << "MySQL server required";
                continue;
            }
            std::string results[2];
            std::vector<std::string> lines[2];
            for (const int jobs : {1, 3}) {
                const std::string dest = "jobs" + std::to_string(jobs) + (direct ? "" : ".sql");
                run(s.database, s.schema, jobs, dest, direct ? &*server : nullptr, {}, {}, s.tables);
                lines[jobs / 3] = report_lines();
                if (direct) {
                    sql_connection c;
                    ASSERT_TRUE(c.connect(server->host, server->user, server->password, server->port)) << c.error();
                    results[jobs / 3] = database_text(c, dest);
                } else {
                    results[jobs / 3] = timeless(test_files::read_file(dir + "/" + dest));
                }
            }
            EXPECT_FALSE(lines[0].empty());
            EXPECT_EQ(lines[0], lines[1]);
            EXPECT_GT(results[0].size(), 1000u);
            const auto differ = std::mismatch(results[0].begin(), results[0].end(), results[1].begin(),
                                              results[1].end());
            const std::size_t at = std::size_t(differ.first - results[0].begin());
            EXPECT_TRUE(results[0] == results[1]) << "from byte " << at << ", one job:\n"
                                                  << results[0].substr(at, 400) << "\nthree:\n"
                                                  << results[1].substr(at, 400);
        }
    }
    EXPECT_EQ(reports.str(), "");
    EXPECT_TRUE(exits.empty());
}

namespace {

// Schema K: BAD (large enough to be cut into ranges with two jobs) has every tenth row hold a
// DECFLOAT NaN, which MySQL has no number for (the row is refused), in both ranges; GOOD is
// plain, MISFIT meets an existing table of another structure (it fails).
const std::string& faults_database() {
    static const std::string name = [] {
        std::string s = "CREATE SCHEMA K;\nSET SCHEMA K;\n"
                        "CREATE TABLE BAD (ID INTEGER NOT NULL, D DECFLOAT(16), CONSTRAINT PK_BAD PRIMARY KEY (ID));\n"
                        "CREATE TABLE GOOD (ID INTEGER NOT NULL, T VARCHAR(10));\n"
                        "CREATE TABLE MISFIT (ID INTEGER NOT NULL, T VARCHAR(10));\n";
        for (int i = 1; i <= 100; ++i) {
            const std::string n = std::to_string(i);
            s += "INSERT INTO BAD VALUES (" + n + ", " + (i % 10 == 3 ? "'NaN'" : n) + ");\n";
            if (i > 30) continue;
            s += "INSERT INTO GOOD VALUES (" + n + ", 'g" + n + "');\n";
            s += "INSERT INTO MISFIT VALUES (" + n + ", 'm" + n + "');\n";
        }
        db2_test::use_standin();
        db2_test::create_database("JOBFAULTS", s);
        return std::string("JOBFAULTS");
    }();
    return name;
}

// A user of every privilege, made anew for both local hosts; `limits` follows its password.
bool create_user(sql_connection& c, const std::string& user, const std::string& password,
                 const std::string& limits) {
    for (const char* host : {"127.0.0.1", "localhost"}) {
        const std::string who = "'" + user + "'@'" + host + "'";
        c.query("DROP USER IF EXISTS " + who);
        if (!c.query("CREATE USER " + who + " IDENTIFIED BY '" + password + "'" + limits) ||
            !c.query("GRANT ALL PRIVILEGES ON *.* TO " + who))
            return false;
    }
    return true;
}

// The lines of the handler's reports, sorted: workers report in the order things happen.
std::vector<std::string> sorted_lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    std::sort(lines.begin(), lines.end());
    return lines;
}

} // namespace

TEST_F(Jobs, ARefusedRowAndAFailedTableLeaveTheOtherWorkersGoing) {
    SQL_REQUIRE_SERVER(server);
    sql_connection c;
    ASSERT_TRUE(c.connect(server.host, server.user, server.password, server.port)) << c.error();
    std::vector<std::string> lines[2];
    std::vector<std::string> reported[2];
    for (const int jobs : {1, 2}) {
        SCOPED_TRACE(jobs);
        const std::string db = "jobfaults" + std::to_string(jobs);
        ASSERT_TRUE(c.query("DROP DATABASE IF EXISTS " + db) && c.query("CREATE DATABASE " + db) &&
                    c.query("CREATE TABLE " + db + ".MISFIT (OTHER DATE)"))
            << c.error();
        converter->set_mode(udb_mode_merge);
        reports.str("");
        const std::string trace = dir + "/trace" + std::to_string(jobs) + ".log";
        {
            tk_log log(trace.c_str(), true, 2, false);
            run(faults_database(), u"K", jobs, db, &server);
        }
        EXPECT_EQ(test_files::read_file(trace).find("Table BAD is cut into 2 ranges") != std::string::npos, jobs == 2);
        lines[jobs - 1] = report_lines();
        reported[jobs - 1] = sorted_lines(reports.str());
        EXPECT_TRUE(exits.empty());
    }
    EXPECT_EQ(lines[0], lines[1]);
    EXPECT_EQ(reported[0], reported[1]);
    const std::string all = reports.str();
    for (const char* expected : {"BAD, record #3:", "BAD, record #53:", "BAD, record #93:", "MISFIT: The structure"})
        EXPECT_NE(all.find(expected), std::string::npos) << expected << " in\n" << all;
    ASSERT_TRUE(c.query("SELECT COUNT(*) FROM jobfaults2.BAD UNION ALL SELECT COUNT(*) FROM jobfaults2.GOOD"));
    sql_result r = c.store_result();
    std::string counts;
    while (MYSQL_ROW row = r ? mysql_fetch_row(r.get()) : nullptr) counts += std::string(row[0]) + ' ';
    EXPECT_EQ(counts, "90 30 ");
}

TEST_F(Jobs, AServerGoneMidRunEndsEveryWorkerAndReportsOnlyWhatArrived) {
    SQL_REQUIRE_SERVER(server);
    static const std::string database = [] {
        db2_test::use_standin();
        db2_test::create_database("JOBSLOST", four_tables_script(24000));
        return std::string("JOBSLOST");
    }();
    sql_connection c;
    ASSERT_TRUE(c.connect(server.host, server.user, server.password, server.port)) << c.error();
    const std::string user = "jobs_lost", password = "Lost-Pw-1";
    ASSERT_TRUE(create_user(c, user, password, "")) << c.error();
    // Once rows flow, the user goes and so do its sessions: no worker can connect again.
    std::thread cut([&] {
        const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (converter->records_done() < 3000 && std::chrono::steady_clock::now() < give_up)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        sql_connection k;
        ASSERT_TRUE(k.connect(server.host, server.user, server.password, server.port)) << k.error();
        for (const char* host : {"127.0.0.1", "localhost"}) k.query("DROP USER '" + user + "'@'" + host + "'");
        ASSERT_TRUE(k.query("SELECT ID FROM information_schema.PROCESSLIST WHERE USER = '" + user + "'"));
        sql_result ids = k.store_result();
        while (MYSQL_ROW row = ids ? mysql_fetch_row(ids.get()) : nullptr) k.query(std::string("KILL ") + row[0]);
    });
    run(database, u"J", 2, "jobslost", &server, user, password);
    cut.join();

    EXPECT_EQ(exits, std::vector<int>{-1});
    int copied = 0;
    for (const udb_item_report& r : converter->item_reports()) {
        if (r.result != udb_item_report::outcome::copied) continue;
        ++copied;
        ASSERT_TRUE(c.query("SELECT COUNT(*) FROM jobslost.`" + tk_to_utf8(r.destination) + "`")) << c.error();
        sql_result n = c.store_result();
        MYSQL_ROW row = n ? mysql_fetch_row(n.get()) : nullptr;
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(std::stoi(row[0]), r.records_copied) << report_text(r);
        EXPECT_EQ(r.records_read, r.records_copied) << report_text(r);
    }
    EXPECT_LT(copied, 4) << reports.str();
    EXPECT_NE(reports.str().find("Error:"), std::string::npos);
}

TEST_F(Jobs, MoreJobsThanTheServerTakesSessionsRunWithTheWorkersThatConnected) {
    SQL_REQUIRE_SERVER(server);
    sql_connection c;
    ASSERT_TRUE(c.connect(server.host, server.user, server.password, server.port)) << c.error();
    const std::string user = "jobs_few", password = "Few-Pw-1";
    ASSERT_TRUE(create_user(c, user, password, " WITH MAX_USER_CONNECTIONS 3")) << c.error();
    run(jobs_database(), u"J", 1, "jobsfew1", &server);
    const std::vector<std::string> one = report_lines();
    const std::string trace = dir + "/trace.log";
    {
        tk_log log(trace.c_str(), true, 2, false);
        run(jobs_database(), u"J", 6, "jobsfew6", &server, user, password);
    }
    const std::string text = test_files::read_file(trace);
    EXPECT_NE(text.find("Worker 3 cannot connect"), std::string::npos) << text.substr(0, 2000);
    EXPECT_NE(text.find("Converting with 2 workers"), std::string::npos);
    EXPECT_NE(console.str().find("Only 2 of 6 jobs could connect; the run goes on with them\n"), std::string::npos)
        << console.str();
    EXPECT_EQ(report_lines(), one);
    EXPECT_EQ(database_text(c, "jobsfew6"), database_text(c, "jobsfew1"));
    EXPECT_EQ(reports.str(), "");
    EXPECT_TRUE(exits.empty());
}
