#include "read_only_file.hpp"
#include "test_files.hpp"
#include "tk_conv.hpp"
#include "tk_log.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class SetLogfile : public ::testing::Test {
protected:
    fs::path dir = fs::temp_directory_path() / ("tk_conv_" + std::to_string(::getpid()));
    void SetUp() override { fs::create_directories(dir); }
    void TearDown() override { fs::remove_all(dir); }

    // Expects set_logfile to refuse `path` with `text` at level 1 and to change nothing.
    void expect_refused(tk_converter& conv, tk_log& log, const std::string& path, const char* text) {
        const std::string old_path = log.path();
        try {
            conv.set_logfile(path);
            ADD_FAILURE() << path << " accepted";
        } catch (const tk_exception& e) {
            EXPECT_STREQ(e.what(), text);
            EXPECT_EQ(e.level(), 1);
        }
        EXPECT_EQ(conv.logfile(), "");
        EXPECT_EQ(log.path(), old_path);
        EXPECT_FALSE(log.enabled());
    }
};
} // namespace

TEST_F(SetLogfile, ValidPathEnablesTheLogAndEntriesArrive) {
    // The console agent's log: no path of its own, disabled, threshold 3.
    tk_log log((dir / "unused.log").c_str(), false, 3, false);
    tk_converter conv;
    const std::string path = (dir / "run.log").string();
    { std::ofstream(path) << "from an earlier run\n"; }
    conv.set_logfile(path);
    EXPECT_EQ(conv.logfile(), path);
    EXPECT_EQ(log.path(), path);
    EXPECT_TRUE(log.enabled());
    tk_trace(3, "entry %d", 1);
    EXPECT_EQ(test_files::read_file(path), "entry 1\r\n") << "the first entry of the process empties the file";

    // A relative name is checked against the current directory's folder.
    fs::path old = fs::current_path();
    fs::current_path(dir);
    conv.set_logfile("relative.log");
    fs::current_path(old);
    EXPECT_EQ(log.path(), "relative.log");

    // An empty path clears the stored one and leaves the log as it is.
    conv.set_logfile("");
    EXPECT_EQ(conv.logfile(), "");
    EXPECT_EQ(log.path(), "relative.log");
    EXPECT_TRUE(log.enabled());
}

TEST_F(SetLogfile, MissingFolderIsRefused) {
    tk_log log((dir / "unused.log").c_str(), false, 3, false);
    tk_converter conv;
    expect_refused(conv, log, (dir / "no-such-folder" / "run.log").string(),
                   "Logfile path does not exist.\nPlease verify the correct path was given.");
    // A file standing where the folder should be is no folder either.
    { std::ofstream(dir / "plain") << "x"; }
    expect_refused(conv, log, (dir / "plain" / "run.log").string(),
                   "Logfile path does not exist.\nPlease verify the correct path was given.");
}

TEST_F(SetLogfile, ReadOnlyFileIsRefused) {
    const std::string path = read_only_file(dir);
    if (path.empty()) GTEST_SKIP() << "running as root and no file here refuses root's writes";
    tk_log log((dir / "unused.log").c_str(), false, 3, false);
    tk_converter conv;
    expect_refused(conv, log, path, "Logfile name specifies an existing read-only file.");
}

TEST(Converter, WithoutATraceLogThePathIsOnlyStored) {
    ASSERT_EQ(tk_log::pointer(), nullptr);
    tk_converter conv;
    // A name of this process's own: another checkout's run may have left the common one behind.
    const std::string path =
        (fs::temp_directory_path() / ("tk_conv_nolog." + std::to_string(::getpid()) + ".log")).string();
    fs::remove(path);
    conv.set_logfile(path);
    EXPECT_EQ(conv.logfile(), path);
    EXPECT_FALSE(fs::exists(path));
}

namespace {
// Counts the base run's calls of its hooks.
struct counting_converter : tk_converter {
    int waits = 0, notifications = 0, asked = 0;
    bool is_done() override { return ++asked > 3; }
    void wait() override { ++waits; }
    void notify() override { ++notifications; }
};
} // namespace

TEST(Converter, BaseRunWaitsUntilDoneThenNotifiesOnce) {
    counting_converter conv;
    conv();
    EXPECT_EQ(conv.waits, 3);
    EXPECT_EQ(conv.notifications, 1);
    EXPECT_FALSE(conv.finished()) << "only a real run sets the finished flag";
    tk_converter& base = conv;
    base.set_silent(true);
    EXPECT_TRUE(conv.silent());
}
