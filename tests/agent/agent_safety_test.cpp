// Runs that must not destroy, lie or run a name as code: hostile names loaded by the stock
// client, sources that fail before anything is converted, lost links, stop signals and the
// process list, each with the built agent and the stand-in's fault injection.

#include "agent_fixture.hpp"
#include "db2_fixture.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <thread>
#include <unistd.h>

using namespace agent_test;

namespace {

constexpr int failure = 255;

// What the hostile names below would create and drop if they ran.
const std::string marker = "/tmp/vdx_touched_" + std::to_string(getpid());
const std::string victim = "vdx_victim_" + std::to_string(getpid());

// Table names that ran a shell command and dropped a database when a dump named them raw
// in a comment line; and an empty schema beside them.
const std::string& hostile_database() {
    static const std::string name = [] {
        shop_database(); // points this process, and so the agent, at the stand-in
        std::filesystem::remove(marker);
        const std::string p = "H.\"P\nsystem touch " + marker + "\n\"";
        const std::string q = "H.\"Q\ndelimiter _\nDROP DATABASE " + victim + "_\n\"";
        db2_test::create_database("HOSTILE", "CREATE TABLE " + p + " (N INTEGER);\nINSERT INTO " + p +
                                                 " VALUES (1);\nCREATE TABLE " + q +
                                                 " (N INTEGER);\nCREATE SCHEMA EMPTY;\n");
        return std::string("HOSTILE");
    }();
    return name;
}

class AgentSafety : public ::testing::Test {
protected:
    scratch_dir dir;
    std::vector<std::string> dump_args(const std::string& dest, const std::string& schema = "SHOP") {
        return {"--src=" + shop_database(), "--db2schema=" + schema, "--dump", "--dest=" + dest};
    }
    // Files of the test folder whose names start with `prefix`: a temporary dump would.
    std::size_t files(const std::string& prefix) const {
        std::size_t n = 0;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
            n += entry.path().filename().string().rfind(prefix, 0) == 0;
        return n;
    }
};

} // namespace

TEST_F(AgentSafety, HostileTableNamesLoadAsTheConversionAndRunNothing) {
    SQL_REQUIRE_SERVER(server);
    const std::string dest = dir.file("hostile.sql"), database = "vdx_hostile_" + std::to_string(getpid());
    const run_result r = run_agent({"--src=" + hostile_database(), "--db2schema=H", "--dump",
                                    "--dest=" + dest},
                                   dir.file("config"));
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    // The report shows the names escaped, one line each.
    EXPECT_NE(r.out.find("Converting table P\\nsystem touch "), std::string::npos) << r.out;

    drop_database drop_victim{server, victim}, drop_loaded{server, database};
    sql_connection c;
    ASSERT_TRUE(connect(c, server));
    ASSERT_TRUE(c.query("CREATE DATABASE `" + victim + "`"));
    ASSERT_TRUE(c.query("CREATE DATABASE `" + database + "`"));
    const std::string client = "MYSQL_PWD='" + server.password + "' mariadb --no-defaults --host=" + server.host +
                               " --port=" + std::to_string(server.port) + " --user=" + server.user + " " + database;
    ASSERT_EQ(std::system((client + " < '" + dest + "' > '" + dir.file("client.log") + "' 2>&1").c_str()), 0)
        << read_file(dir.file("client.log"));
    EXPECT_FALSE(std::filesystem::exists(marker)) << "the dump ran a shell command";
    EXPECT_EQ(scalar(c, "SELECT COUNT(*) FROM information_schema.SCHEMATA WHERE SCHEMA_NAME='" + victim + "'"), "1");
    EXPECT_EQ(scalar(c, "SELECT GROUP_CONCAT(TABLE_NAME ORDER BY TABLE_NAME SEPARATOR '|') FROM "
                        "information_schema.TABLES WHERE TABLE_SCHEMA='" + database + "'"),
              "P_system touch _tmp_" + marker.substr(5) + "_|Q_delimiter __DROP DATABASE " + victim + "__");
}

TEST_F(AgentSafety, SourcesThatFailOrHoldNothingLeaveTheDestinationAsItWas) {
    SQL_REQUIRE_SERVER(server);
    const std::string database = "vdx_keep_" + std::to_string(getpid());
    drop_database dropper{server, database};
    sql_connection c;
    ASSERT_TRUE(connect(c, server));
    write_file(dir.file("empty.txt"), "");
    write_file(dir.file("missing.txt"), "NO_SUCH_TABLE\n");
    // A profile gives the schema as written; the MySQL settings come with it.
    write_file(dir.file("case.kvp"), "[DB2 settings]\nschema=h\n[MySQL settings]\nhost=" + server.host +
                                         "\nuser=" + server.user + "\npassword=" + server.password +
                                         "\nport=" + std::to_string(server.port) + "\n");
    const std::string db = hostile_database();
    struct source_case {
        std::vector<std::string> args;
        const char* faults;
        int status;
        std::string message; // part of what the run prints
    };
    const source_case cases[] = {
        {{"--db2schema=NOPE"}, "", failure, "Schema 'NOPE' does not exist in DB2 database 'HOSTILE'."},
        {{"--db2schema=H", "--profile=" + dir.file("case.kvp")}, "", failure,
         "Schema 'h' does not exist in DB2 database 'HOSTILE'. Schema names are case-sensitive: did you mean 'H'?"},
        {{"--db2schema=H", "--tab_file=" + dir.file("empty.txt")}, "", failure, "names no table"},
        {{"--db2schema=H", "--tab_file=" + dir.file("missing.txt")}, "", failure,
         "None of the tables to convert exists in schema 'H'"},
        {{"--db2schema=H"}, "SQLTablesW:1:58004:-901", failure, "Fault injected into SQLTablesW"},
        {{"--db2schema=EMPTY"}, "", 0, "Converting database HOSTILE(0 tables)\n"},
    };
    for (const auto& c_ : cases) {
        for (bool dump : {false, true}) {
            SCOPED_TRACE(c_.args[0] + (c_.args.size() > 1 ? " " + c_.args[1] : "") + " " + c_.faults +
                         (dump ? " dump" : " direct"));
            ASSERT_TRUE(c.query("DROP DATABASE IF EXISTS `" + database + "`"));
            ASSERT_TRUE(c.query("CREATE DATABASE `" + database + "`"));
            ASSERT_TRUE(c.query("CREATE TABLE `" + database + "`.sentinel (n INT)"));
            const std::string old = dir.file("old.sql");
            write_file(old, "old dump\n");
            std::vector<std::string> args = c_.args;
            args.push_back("--src=" + db);
            if (dump) {
                args.insert(args.end(), {"--dump", "--dest=" + old});
            } else {
                args.push_back("--dest=" + database);
                for (auto& option : server_options(server)) args.push_back(option);
            }
            const run_result r = run_agent(args, dir.file("config"), {{"DB2STANDIN_FAULTS", c_.faults}});
            EXPECT_EQ(r.status, c_.status) << r.out << r.err;
            EXPECT_NE((r.out + r.err).find(c_.message), std::string::npos) << r.out << r.err;
            if (c_.status == 0) continue;
            EXPECT_EQ(read_file(old), "old dump\n");
            EXPECT_EQ(scalar(c, "SELECT COUNT(*) FROM information_schema.TABLES WHERE TABLE_SCHEMA='" + database +
                                    "' AND TABLE_NAME='sentinel'"),
                      "1");
        }
    }
}

TEST_F(AgentSafety, LostLinksAndStopSignalsEndTheRunAndKeepTheOldDump) {
    // The third table's rows wait in the stand-in long enough for a signal to arrive.
    const char* pause = "SQLFetch:60:pause:2000";
    struct stop_case {
        const char* faults;
        int signal; // 0: none
        const char* message;
    };
    const stop_case cases[] = {
        {"SQLFetch:60:40003:-30081", 0, "The connection to DB2 was lost"},
        {pause, SIGINT, "Stopped"},
        {pause, SIGTERM, "Stopped"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.faults + std::string(" ") + std::to_string(c.signal));
        const std::string old = dir.file("old.sql");
        write_file(old, "old dump\n");
        std::string cmdline;
        auto args = dump_args(old);
        args.push_back("--db2pswd=sekrit-db2");
        const auto meanwhile = [&](pid_t pid, const std::string& out) {
            if (!c.signal) return;
            for (int i = 0; i < 200 && read_file(out).find("COUNTRIES") == std::string::npos; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            std::this_thread::sleep_for(std::chrono::milliseconds(200)); // into the pause
            cmdline = read_file("/proc/" + std::to_string(pid) + "/cmdline");
            kill(pid, c.signal);
        };
        const run_result r = run_agent(args, dir.file("config"), {{"DB2STANDIN_FAULTS", c.faults}}, meanwhile);
        EXPECT_EQ(r.status, failure) << r.out << r.err;
        EXPECT_NE(r.out.find(c.message), std::string::npos) << r.out;
        EXPECT_EQ(read_file(old), "old dump\n");
        EXPECT_EQ(files("old.sql"), 1u) << "a temporary dump was left behind";
        if (c.signal) {
            EXPECT_NE(cmdline.find("--db2pswd=xxxxxxxxx"), std::string::npos) << cmdline;
            EXPECT_EQ(cmdline.find("sekrit"), std::string::npos) << cmdline;
        }
    }
}

TEST_F(AgentSafety, StopSignalInDirectModeReportsTheRowsThatReachedTheServer) {
    SQL_REQUIRE_SERVER(server);
    const std::string database = "vdx_stop_" + std::to_string(getpid());
    drop_database dropper{server, database};
    // The MySQL password comes from the environment, not the command line.
    std::vector<std::string> args{"--src=" + shop_database(), "--db2schema=SHOP", "--dest=" + database};
    for (auto& option : server_options(server))
        if (option.rfind("--mysqlp=", 0) != 0) args.push_back(option);
    const auto meanwhile = [&](pid_t pid, const std::string& out) {
        for (int i = 0; i < 200 && read_file(out).find("COUNTRIES") == std::string::npos; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        std::this_thread::sleep_for(std::chrono::milliseconds(200)); // into the pause
        kill(pid, SIGINT);
    };
    const run_result r = run_agent(
        args, dir.file("config"),
        {{"DB2STANDIN_FAULTS", "SQLFetch:60:pause:2000"}, {"DUNMERE_MYSQL_PASSWORD", server.password}}, meanwhile);
    EXPECT_EQ(r.status, failure);
    const std::size_t at = r.out.find(": Stopped after ");
    ASSERT_NE(at, std::string::npos) << r.out;
    const std::string table = r.out.substr(r.out.rfind('\n', at) + 1, at - r.out.rfind('\n', at) - 1);
    const std::string count = r.out.substr(at + 16, r.out.find(' ', at + 16) - at - 16);
    sql_connection c;
    ASSERT_TRUE(connect(c, server));
    EXPECT_EQ(scalar(c, "SELECT COUNT(*) FROM `" + database + "`.`" + table + "`"), count) << r.out;
}

namespace {

// Waits until the agent has printed `text`, then a little longer: into the stand-in's pause.
void wait_for(const std::string& out, const std::string& text) {
    for (int i = 0; i < 300 && read_file(out).find(text) == std::string::npos; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
}

// A throwaway server of this test alone, which it may stop or kill; started from the shared
// server's pristine files when they are at hand.
struct own_server {
    std::string dir, script = std::string(AGENT_SAMPLES_DIR) + "/../scripts/mariadb-private.sh";
    sql_test_server server;
    pid_t pid = 0;
    explicit own_server(const std::string& folder) : dir(folder) {
        if (const char* socket = std::getenv("DUNMERE_MYSQL_SOCKET")) {
            const auto templ = std::filesystem::path(socket).parent_path() / "template";
            std::error_code ignored;
            std::filesystem::copy(templ, dir + "/template", std::filesystem::copy_options::recursive, ignored);
        }
        FILE* p = popen((script + " start '" + dir + "' 2>/dev/null").c_str(), "r");
        char line[512];
        while (p && fgets(line, sizeof line, p)) {
            const std::string text(line);
            const auto value = [&](const char* name) {
                const std::string head = std::string("export ") + name + "=";
                return text.rfind(head, 0) == 0 ? text.substr(head.size(), text.size() - head.size() - 1) : "";
            };
            if (auto v = value("DUNMERE_MYSQL_HOST"); !v.empty()) server.host = v;
            if (auto v = value("DUNMERE_MYSQL_PORT"); !v.empty()) server.port = std::stoi(v);
            if (auto v = value("DUNMERE_MYSQL_USER"); !v.empty()) server.user = v;
            if (auto v = value("DUNMERE_MYSQL_PASSWORD"); !v.empty()) server.password = v;
        }
        if (p) pclose(p);
        pid = pid_t(std::atol(read_file(dir + "/server.pid").c_str()));
    }
    ~own_server() {
        if (pid > 0) kill(pid, SIGCONT);
        std::system((script + " stop '" + dir + "' >/dev/null 2>&1").c_str());
    }
};

} // namespace

TEST_F(AgentSafety, LostServerConnectionEndsTheTableAndTheNextOneConnectsAgain) {
    SQL_REQUIRE_SERVER(server);
    const std::string database = "vdx_lost_" + std::to_string(getpid());
    drop_database dropper{server, database};
    std::vector<std::string> args{"--src=" + shop_database(), "--db2schema=SHOP", "--dest=" + database};
    for (auto& option : server_options(server)) args.push_back(option);
    sql_connection c;
    ASSERT_TRUE(connect(c, server));
    // The agent's session is killed while it waits for ORDERS' rows.
    const auto meanwhile = [&](pid_t, const std::string& out) {
        wait_for(out, "Converting table ORDERS");
        const std::string id = scalar(c, "SELECT MAX(ID) FROM information_schema.PROCESSLIST WHERE DB='" + database + "'");
        EXPECT_TRUE(c.query("KILL " + id)) << c.error();
    };
    const run_result r =
        run_agent(args, dir.file("config"), {{"DB2STANDIN_FAULTS", "SQLFetch:100:pause:1500"}}, meanwhile);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("ORDERS: The connection to the MySQL server was lost ("), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("); 0 of the table's rows reached the server."), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("max packet"), std::string::npos) << r.out;
    for (const auto& [table, rows] : {std::pair<const char*, const char*>{"ORDERS", "0"}, {"ORDER_LINES", "3756"},
                                      {"SHIPMENTS", "2011"}})
        EXPECT_EQ(scalar(c, std::string("SELECT COUNT(*) FROM `") + database + "`." + table), rows) << table;
}

TEST_F(AgentSafety, StoppedServerEndsTheTableAfterTheTimeoutAndTheRunWhenItStaysAway) {
    // Needs what the shared server needs (mariadbd), though not the shared server itself.
    SQL_REQUIRE_SERVER(shared);
    (void)shared;
    own_server own(dir.file("server"));
    ASSERT_GT(own.pid, 0) << "no server of its own";
    std::vector<std::string> args{"--src=" + shop_database(), "--db2schema=SHOP", "--dest=vdx_stopped",
                                  "--read_timeout=2"};
    for (auto& option : server_options(own.server)) args.push_back(option);
    const auto meanwhile = [&](pid_t, const std::string& out) {
        wait_for(out, "Converting table ORDERS");
        kill(own.pid, SIGSTOP);
    };
    const auto start = std::chrono::steady_clock::now();
    const run_result r =
        run_agent(args, dir.file("config"), {{"DB2STANDIN_FAULTS", "SQLFetch:100:pause:1000"}}, meanwhile);
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start);
    EXPECT_EQ(r.status, failure) << r.out << r.err;
    EXPECT_NE(r.out.find("ORDERS: The connection to the MySQL server was lost ("), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("The connection to the MySQL server was lost and cannot be made again"), std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find("ORDER_LINES("), std::string::npos) << "no table after the lost server: " << r.out;
    EXPECT_LT(seconds.count(), 60) << "the agent waited for a server that did not answer";
}

TEST_F(AgentSafety, ARowLargerThanThePacketLimitIsReportedAndTheRestStored) {
    SQL_REQUIRE_SERVER(server);
    static const bool created = [] {
        shop_database();
        // 20 KiB doubled ten times: a 20 MiB value, which no literal may hold.
        std::string script = "CREATE TABLE L.A (ID INTEGER NOT NULL, C CLOB(30M), PRIMARY KEY (ID));\n"
                             "CREATE TABLE L.T (ID INTEGER NOT NULL, C CLOB(30M));\n"
                             "INSERT INTO L.T VALUES (1, CLOB(REPEAT('a', 20480)));\n";
        for (int i = 1; i <= 10; ++i)
            script += "INSERT INTO L.T SELECT ID + 1, C || C FROM L.T WHERE ID = " + std::to_string(i) + ";\n";
        script += "INSERT INTO L.A VALUES (1, 'small one');\nINSERT INTO L.A SELECT 2, C FROM L.T WHERE ID = 11;\n"
                  "INSERT INTO L.A VALUES (3, 'small three');\nDROP TABLE L.T;\n"
                  "CREATE TABLE L.B (ID INTEGER);\nINSERT INTO L.B VALUES (7);\n";
        db2_test::create_database("BIGLOB", script);
        return true;
    }();
    ASSERT_TRUE(created);
    const std::string database = "vdx_big_" + std::to_string(getpid());
    drop_database dropper{server, database};
    sql_connection c;
    ASSERT_TRUE(connect(c, server));
    const std::string packet = scalar(c, "SELECT @@max_allowed_packet");
    ASSERT_LT(std::stoul(packet), 20u * 1024 * 1024) << "the server takes the row: nothing to test";
    for (bool dump : {false, true}) {
        std::vector<std::string> args{"--src=BIGLOB", "--db2schema=L"};
        if (dump) {
            args.insert(args.end(), {"--dump", "--dest=" + dir.file("big.sql")});
        } else {
            args.push_back("--dest=" + database);
            for (auto& option : server_options(server)) args.push_back(option);
        }
        const run_result r = run_agent(args, dir.file("config"));
        EXPECT_EQ(r.status, 0) << r.out << r.err;
        // Reported by record number with the size the statement needs; the next table follows.
        EXPECT_NE(r.out.find("A, record #2: The record needs an INSERT statement of 2097156"), std::string::npos)
            << r.out;
        EXPECT_NE(r.out.find("Converting table B(1 records)"), std::string::npos) << r.out;
        if (dump) {
            // Written, but in a statement of its own: the small rows load on any server.
            const std::string text = read_file(dir.file("big.sql"));
            EXPECT_NE(text.find("VALUES(1, 'small one');"), std::string::npos);
            EXPECT_NE(text.find("VALUES(3, 'small three');"), std::string::npos);
        } else {
            EXPECT_NE(r.out.find("max_allowed_packet of " + packet + " bytes"), std::string::npos) << r.out;
            EXPECT_EQ(scalar(c, "SELECT GROUP_CONCAT(ID ORDER BY ID) FROM `" + database + "`.A"), "1,3");
            EXPECT_EQ(scalar(c, "SELECT COUNT(*) FROM `" + database + "`.B"), "1");
        }
    }
}
