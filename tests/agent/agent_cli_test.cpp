// The console agent's command line as a user meets it: usage text, every refusal with its
// message and exit status, and the dump-file destination checks. No MySQL server is needed.

#include "agent_fixture.hpp"
#include "db2_fixture.hpp"
#include "read_only_file.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

using namespace agent_test;

namespace {

constexpr int failure = 255;

class AgentCli : public ::testing::Test {
protected:
    scratch_dir dir;
    run_result run(const std::vector<std::string>& args) { return run_agent(args, dir.file("config")); }
    // A complete dump-mode command line for the SHOP sample, writing `dest`.
    std::vector<std::string> dump_args(const std::string& dest) {
        return {"--src=" + shop_database(), "--db2schema=shop", "--dump", "--dest=" + dest};
    }
};

bool starts_with(const std::string& text, const std::string& head) { return text.rfind(head, 0) == 0; }

} // namespace

TEST_F(AgentCli, UsageForNoOptionsHelpUnknownAndTwentyUnknownArguments) {
    // Asked for, the usage text and the version are no failure.
    const run_result help = run({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(starts_with(help.out, "VORDAXEN v2.1 (c) Velquor")) << help.out;
    EXPECT_EQ(help.err, "");
    const run_result version = run({"--dest=x", "--version", "--bogus"});
    EXPECT_EQ(version.status, 0);
    EXPECT_TRUE(starts_with(version.out, "VORDAXEN 2.1 (c) Velquor")) << version.out;
    EXPECT_NE(version.out.find("\nMySQL client library "), std::string::npos) << version.out;
    EXPECT_EQ(version.err, "");

    // Each unknown argument is named before the usage text, with the nearest option when one
    // is at most two edits away. Options match whole: "--dumpster" is not "--dump".
    struct unknown_case {
        std::vector<std::string> args;
        std::string before_usage;
    };
    std::vector<std::string> twenty;
    std::string twenty_lines;
    for (int i = 0; i < 20; ++i) {
        twenty.push_back("x" + std::to_string(i));
        twenty_lines += "Unknown option 'x" + std::to_string(i) + "'\n";
    }
    const std::vector<unknown_case> cases = {
        {{}, ""},
        {{"--dmp"}, "Unknown option '--dmp' (did you mean '--dump'?)\n"},
        {{"--bogus"}, "Unknown option '--bogus'\n"},
        {{"--modeX"}, "Unknown option '--modeX' (did you mean '--mode='?)\n"},
        {{"--mysqlhost=h", "--strict=1"},
         "Unknown option '--mysqlhost=h' (did you mean '--mysqlh='?)\nUnknown option '--strict=1' (did you mean "
         "'--strict'?)\n"},
        {{"--dest=x", "--src=y", "stray"}, "Unknown option 'stray'\n"},
        {{"--dest=x", "--src=y", "--db2schema=S", "--dumpster"}, "Unknown option '--dumpster' (did you mean '--dump'?)\n"},
        {{"--helpme"}, "Unknown option '--helpme' (did you mean '--help'?)\n"},
        {{"--\x1b[2Jx"}, "Unknown option '--\\x1B[2Jx'\n"},
        {twenty, twenty_lines},
    };
    for (const auto& c : cases) {
        const run_result r = run(c.args);
        EXPECT_EQ(r.status, failure);
        EXPECT_EQ(r.err.substr(0, c.before_usage.size()), c.before_usage);
        EXPECT_TRUE(starts_with(r.err.substr(std::min(c.before_usage.size(), r.err.size())), "VORDAXEN v2.1 (c) Velquor"))
            << r.err;
        EXPECT_NE(r.err.find("\nUsage: VORDAXEN OPTIONS\n"), std::string::npos);
        // The text ends without a line feed of its own; the fatal message adds one.
        EXPECT_TRUE(r.err.size() > 10 && r.err.substr(r.err.size() - 10) == "converted\n") << r.err.substr(r.err.size() - 10);
        EXPECT_EQ(r.out, "");
    }
}

TEST_F(AgentCli, TwentyOneUnknownArgumentsAreAnInternalError) {
    std::vector<std::string> args;
    for (int i = 0; i < 21; ++i) args.push_back("x" + std::to_string(i));
    const run_result r = run(args);
    EXPECT_EQ(r.status, failure);
    EXPECT_TRUE(starts_with(r.out, "Internal error: ")) << r.out;
    EXPECT_EQ(r.err, "");
}

TEST_F(AgentCli, MissingSettingsAreReportedInOrder) {
    struct expectation {
        std::vector<std::string> args;
        const char* message;
    };
    // A profile's settings replace the command line's, so its missing schema is missing.
    const std::string no_schema = dir.file("no_schema.kvp");
    write_file(no_schema, "[Settings]\ndump line break=1\n");
    const expectation cases[] = {
        {{"--db2user=u"}, "You should enter MySQL database name\n"},
        {{"--dest=x", "--src=DB", "--db2schema=S", "--profile=" + no_schema}, "You should enter DB2 schema name\n"},
        {{"--src=DB"}, "You should enter MySQL database name\n"},
        {{"--dest=x"}, "You should enter DB2 database name\n"},
        {{"--dest=x", "--src=DB"}, "You should enter DB2 schema name\n"},
        {{"--mode=4"}, "Invalid merge/overwrite mode\n"},
        {{"--mode=-1"}, "Invalid merge/overwrite mode\n"},
        {{"--mode=1.0"}, "Invalid merge/overwrite mode\n"},
        {{"--mode="}, "Invalid merge/overwrite mode\n"},
        {{"--mode=01"}, "Invalid merge/overwrite mode\n"},
        {{"--mode= 1"}, "Invalid merge/overwrite mode\n"},
        {{"--tab_file=" + dir.file("none.txt")},
         "Table names file does not exist.\nPlease verify the correct path/name was given.\n"},
    };
    for (const auto& c : cases) {
        const run_result r = run(c.args);
        EXPECT_EQ(r.status, failure) << c.args[0];
        EXPECT_EQ(r.err, c.message) << c.args[0];
        EXPECT_EQ(r.out, "");
    }
}

TEST_F(AgentCli, SilentHidesLaterMessagesButNotEarlierOnes) {
    run_result r = run({"--silent", "--dest=x", "--src=DB"});
    EXPECT_EQ(r.status, failure);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "");
    r = run({"--mode=9", "--silent"});
    EXPECT_EQ(r.status, failure);
    EXPECT_EQ(r.err, "Invalid merge/overwrite mode\n");
    r = run({"--silent", "--profile=" + dir.file("none.kvp")});
    EXPECT_EQ(r.status, failure);
    EXPECT_EQ(r.out, "");
    // Internal errors are printed even when silent.
    std::vector<std::string> args{"--silent"};
    for (int i = 0; i < 21; ++i) args.push_back("x" + std::to_string(i));
    r = run(args);
    EXPECT_EQ(r.status, failure);
    EXPECT_TRUE(starts_with(r.out, "Internal error: ")) << r.out;
}

TEST_F(AgentCli, RejectedLogfileAndMissingProfileAreRunErrorsOnStandardOutput) {
    run_result r = run({"--logfile=" + dir.file("no/such/folder/trace.log"), "--dest=x"});
    EXPECT_EQ(r.status, failure);
    EXPECT_EQ(r.out, "Error:\nLogfile path does not exist. Please verify the correct path was given.\n");
    r = run({"--profile=" + dir.file("none.kvp")});
    EXPECT_EQ(r.status, failure);
    EXPECT_EQ(r.out, "Error:\nProfile does not exist. Please verify the correct path/name was given.\n");
}

TEST_F(AgentCli, UnreachableServerWrongDb2PasswordAndBadPortFail) {
    // A stand-in database that demands a login.
    shop_database(); // points this process, and so the agent, at the stand-in
    db2_test::run_tool("drop SECURED");
    ASSERT_EQ(db2_test::run_tool("create SECURED"), 0);
    ASSERT_EQ(db2_test::run_tool("adduser SECURED alice right"), 0);
    run_result r = run({"--src=SECURED", "--db2schema=S", "--db2user=alice", "--db2pswd=wrong", "--dump",
                        "--dest=" + dir.file("s.sql")});
    EXPECT_EQ(r.status, failure) << r.out;
    EXPECT_TRUE(starts_with(r.out, "Error:\n")) << r.out;
    EXPECT_EQ(r.out.find('\n', 7), r.out.size() - 1) << "one line of message: " << r.out;

    // Nothing listens on port 1 of the loopback address.
    r = run({"--src=" + shop_database(), "--db2schema=SHOP", "--dest=agent_unreachable", "--mysqlh=127.0.0.1",
             "--port=1", "--mysqlu=nobody"});
    EXPECT_EQ(r.status, failure);
    // The advice replaces the library's text (the MariaDB client reports a refused TCP
    // connection as 2002).
    EXPECT_EQ(r.out, "Error:\nCan't connect to the MySQL server. Check to verify that MySQL server "
                     "is launched and the correct host/port values were given.\n") << r.out;
    for (const char* port : {"--port=abc", "--port=0", "--port=70000", "--port=33079abc", "--port=", "--port=+1"}) {
        r = run({"--src=" + shop_database(), "--db2schema=SHOP", "--dest=agent_port", port});
        EXPECT_EQ(r.status, failure) << port;
        EXPECT_EQ(r.out, "Error:\nInvalid port number\n") << port;
    }
}

TEST_F(AgentCli, DumpDestinationChecks) {
    run_result r = run(dump_args(dir.path()));
    EXPECT_EQ(r.status, failure);
    EXPECT_EQ(r.out, "Error:\nDestination name should specify a file, not folder.\n");

    r = run(dump_args(dir.file("missing/shop.sql")));
    EXPECT_EQ(r.status, failure);
    EXPECT_EQ(r.out, "Error:\nDestination path does not exist. Please verify the correct path was given.\n");

    if (const std::string read_only = read_only_file(dir.file("ro")); !read_only.empty()) {
        r = run(dump_args(read_only));
        EXPECT_EQ(r.status, failure);
        EXPECT_EQ(r.out, "Error:\nDestination name specifies an existing read-only file.\n");
    }

    // A folder nobody may create files in: a private one made read-only, or for root (who may
    // write anywhere on disk) a kernel folder.
    std::string locked = dir.file("locked");
    if (geteuid() == 0) {
        locked = "/proc/self";
    } else {
        ASSERT_EQ(mkdir(locked.c_str(), 0555), 0);
    }
    r = run(dump_args(locked + "/shop.sql"));
    EXPECT_EQ(r.status, failure);
    EXPECT_NE(r.out.find("Error:\nCannot create the dump file"), std::string::npos) << r.out;

    // A pipe and a device are refused and left as they are (a dump once replaced them).
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& special : {fifo, std::string("/dev/null")}) {
        r = run(dump_args(special));
        EXPECT_EQ(r.status, failure);
        EXPECT_EQ(r.out, "Error:\nDestination '" + special +
                             "' is not a regular file; it is left as it is. Please give the path of a dump file.\n");
        struct stat st {};
        EXPECT_TRUE(stat(special.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) << special;
    }
}

TEST_F(AgentCli, ExistingDumpFileIsReplacedWhateverTheMode) {
    const std::string dest = dir.file("shop.sql");
    write_file(dest, "old content that must go\n");
    auto args = dump_args(dest);
    args.push_back("--mode=2");
    const run_result r = run(args);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    const std::string dump = read_file(dest);
    EXPECT_EQ(dump.find("old content"), std::string::npos);
    EXPECT_NE(dump.find("CREATE TABLE `ORDERS`"), std::string::npos);
}

TEST_F(AgentCli, EmptyLongAndSpecialPathsAreRefusedClearly) {
    const std::string fifo = dir.file("fifo"), long_path = "/tmp/" + std::string(4091, 'a');
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    struct refusal {
        std::string option;
        std::string message; // the whole of what the run prints
    };
    const refusal cases[] = {
        {"--profile=", "Option --profile= needs a value.\n"},
        {"--tab_file=", "Option --tab_file= needs a value.\n"},
        {"--logfile=", "Option --logfile= needs a value.\n"},
        {"--profile=" + long_path, "The path given with --profile= is longer than 4095 bytes.\n"},
        {"--dest=" + long_path, "The path given with --dest= is longer than 4095 bytes.\n"},
        // A pipe or a device would hang the run or feed it without end.
        {"--tab_file=/dev/zero", "Table names file '/dev/zero' is not a regular file.\n"},
        {"--tab_file=" + fifo, "Table names file '" + fifo + "' is not a regular file.\n"},
        {"--profile=" + fifo, "Profile '" + fifo + "' is not a regular file.\n"},
        {"--logfile=" + fifo, "Error:\nLogfile name does not specify a regular file.\n"},
        {"--logfile=" + dir.file(std::string(300, 'n')), "Error:\nCannot write the logfile '" +
                                                             dir.file(std::string(300, 'n')) + "': File name too long\n"},
        {"--read_timeout=5s", "Error:\nInvalid read timeout: give a whole number of seconds from 1 to 86400\n"},
    };
    for (const auto& c : cases) {
        auto args = dump_args(dir.file("shop.sql"));
        args.push_back(c.option);
        const run_result r = run(args);
        EXPECT_EQ(r.status, failure) << c.option.substr(0, 40);
        EXPECT_EQ(r.out + r.err, c.message) << c.option.substr(0, 40);
    }
}

TEST_F(AgentCli, JobsTakesAWholeNumberFromOneTo64) {
    const std::string refused = "Error:\nInvalid number of jobs: give a whole number from 1 to 64\n";
    // The dump names its file and when it was made: one file name, the times left out.
    const std::string dest = dir.file("jobs.sql");
    const auto dump_text = [&dest] {
        std::string text = read_file(dest);
        for (const char* dated : {"# Creation date: ", "-- Dump completed on "})
            if (const auto at = text.find(dated); at != std::string::npos) text.erase(at, text.find('\n', at) - at);
        return text;
    };
    ASSERT_EQ(run(dump_args(dest)).status, 0);
    const std::string reference = dump_text();
    struct jobs_case {
        std::string value;
        bool accepted;
    };
    const jobs_case cases[] = {
        {"1", true},   {"2", true},    {"64", true},  {"0", false},  {"65", false},          {"-1", false},
        {"x", false},  {"2x", false},  {"", false},   {"+2", false}, {" 2", false},          {"2.0", false},
        {"99999999999", false},        {"4294967297", false},        {"18446744073709551617", false},
    };
    for (const auto& c : cases) {
        std::remove(dest.c_str());
        auto args = dump_args(dest);
        args.push_back("--jobs=" + c.value);
        const run_result r = run(args);
        if (c.accepted) {
            EXPECT_EQ(r.status, 0) << c.value << r.out << r.err;
            // However many jobs copy it, the dump is the one a single job writes.
            EXPECT_EQ(dump_text(), reference) << c.value;
        } else {
            EXPECT_EQ(r.status, failure) << c.value;
            EXPECT_EQ(r.out + r.err, refused) << c.value;
        }
    }
}
