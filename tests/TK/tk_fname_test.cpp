#include "tk_excp.hpp"
#include "tk_fname.hpp"
#include "tk_utils.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

namespace {
// Runs the test body in a known current directory and restores the old one.
struct in_directory {
    std::filesystem::path old = std::filesystem::current_path();
    explicit in_directory(const std::filesystem::path& dir) { std::filesystem::current_path(dir); }
    ~in_directory() { std::filesystem::current_path(old); }
};
} // namespace

TEST(FileName, RelativeNameSplitsAgainstCurrentDirectory) {
    auto dir = std::filesystem::temp_directory_path() / ("tk_fname_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir / "work");
    in_directory here(dir / "work");
    const std::string cwd = std::filesystem::current_path().string();

    tk_file_name n;
    n.initialize("data.sql");
    EXPECT_EQ(n.drive, "");
    EXPECT_EQ(n.dir, cwd + "/");
    EXPECT_EQ(n.name, "data");
    EXPECT_EQ(n.ext, ".sql");
    EXPECT_EQ(n.directory(), cwd + "/");
    EXPECT_EQ(n.path(), cwd + "/data.sql");

    tk_file_wname w;
    w.initialize(u"../x/./dump.tar.gz");
    EXPECT_EQ(w.dir, tk_from_utf8(dir.string() + "/x/"));
    EXPECT_EQ(w.name, u"dump.tar");
    EXPECT_EQ(w.ext, u".gz");
    std::filesystem::remove_all(dir);
}

TEST(FileName, AbsolutePathsNoExtensionDotFilesAndFolders) {
    tk_file_name n;
    n.initialize("/var//log/../tmp/.hidden");
    EXPECT_EQ(n.dir, "/var/tmp/");
    EXPECT_EQ(n.name, "");
    EXPECT_EQ(n.ext, ".hidden");

    n.initialize("/a/b/");
    EXPECT_EQ(n.dir, "/a/b/");
    EXPECT_EQ(n.name + n.ext, "");

    n.initialize("/../../etc/hosts");
    EXPECT_EQ(n.path(), "/etc/hosts");

    tk_file_wname w;
    w.initialize(u"/srv/Zoë/export");
    EXPECT_EQ(w.dir, u"/srv/Zoë/");
    EXPECT_EQ(w.name, u"export");
    EXPECT_EQ(w.ext, u"");
}

TEST(FileName, EmptyPathIsTheProgramsFolderWithoutName) {
    tk_file_name n;
    n.initialize("");
    EXPECT_EQ(n.name, "");
    EXPECT_EQ(n.directory(), std::filesystem::path(tk_program_path()).parent_path().string() + "/");
    tk_file_wname w;
    w.initialize(u"");
    EXPECT_EQ(w.name, u"");
    EXPECT_EQ(w.directory(), tk_from_ansi(n.directory()));
}

TEST(FileName, ExtensionsAndAssertions) {
    tk_file_name n;
    n.initialize("/tmp/report.txt");
    n.set_extension("log");
    EXPECT_EQ(n.path(), "/tmp/report.log");
    n.set_extension(".sql");
    EXPECT_EQ(n.path(), "/tmp/report.sql");
    n.set_extension("");
    EXPECT_EQ(n.path(), "/tmp/report");

    tk_file_wname w;
    try {
        w.initialize(nullptr);
        FAIL() << "null path accepted";
    } catch (const tk_mail_assertion& e) {
        EXPECT_EQ(e.level(), 2);
    }
    EXPECT_THROW(n.initialize(nullptr), tk_mail_assertion);
    EXPECT_THROW(n.initialize(("/" + std::string(5000, 'a')).c_str()), tk_mail_assertion);
}
