#include "test_files.hpp"
#include "tk_excp.hpp"
#include "tk_regk.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {
constexpr const char* key_path = "Software\\Velquor\\Dunmere";


// Points the settings store at a private folder for the test and restores the environment.
class SettingsStore : public ::testing::Test {
protected:
    fs::path home = fs::temp_directory_path() / ("tk_regk_" + std::to_string(::getpid()));
    fs::path folder = home / "velquor" / "dunmere";
    fs::path file = folder / "settings.conf";
    std::string old_xdg;
    bool had_xdg = false;

    void SetUp() override {
        if (const char* x = std::getenv("XDG_CONFIG_HOME")) had_xdg = true, old_xdg = x;
        fs::remove_all(home);
        ::setenv("XDG_CONFIG_HOME", home.c_str(), 1);
    }
    void TearDown() override {
        if (had_xdg) ::setenv("XDG_CONFIG_HOME", old_xdg.c_str(), 1);
        else ::unsetenv("XDG_CONFIG_HOME");
        fs::remove_all(home);
    }
    std::size_t files_in_folder() const {
        std::size_t n = 0;
        for ([[maybe_unused]] auto& e : fs::directory_iterator(folder)) ++n;
        return n;
    }
    std::string text(tk_reg_key& key, const char* name) {
        std::uint32_t size = 0;
        EXPECT_EQ(key.get_value(name, static_cast<char*>(nullptr), &size), tk_reg_ok) << name;
        std::string buffer(size, '\x7f');
        EXPECT_EQ(key.get_value(name, buffer.data(), &size), tk_reg_ok) << name;
        return size ? std::string(buffer.c_str()) : std::string();
    }
    std::u16string wtext(tk_reg_key& key, const char* name) {
        std::uint32_t size = 0;
        EXPECT_EQ(key.get_value(name, static_cast<char16_t*>(nullptr), &size), tk_reg_ok) << name;
        std::u16string buffer(size / 2, u'\x7f');
        EXPECT_EQ(key.get_value(name, buffer.data(), &size), tk_reg_ok) << name;
        return size ? buffer.substr(0, size / 2 - 1) : std::u16string();
    }
};
} // namespace

TEST_F(SettingsStore, ValuesOfEveryTypeSurviveTheFileAndMissingOnesAreCode2) {
    tk_reg_key key;
    ASSERT_EQ(key.open_create(tk_reg_root::current_user, key_path), tk_reg_ok);
    EXPECT_TRUE(fs::is_directory(folder)) << "opening creates the key's folder";
    EXPECT_FALSE(fs::exists(file)) << "opening alone writes nothing";
    std::uint32_t number = 99;
    EXPECT_EQ(key.get_value("myport", number), tk_reg_not_found);
    EXPECT_EQ(number, 99u);

    const std::string awkward = "a\tb\nc\r\\d=[x]\x01\xff\xC3\xA9 end";
    std::u16string wide = u"Zoë\t😀\\u0041";
    wide += char16_t(0xD800); // unpaired: must still come back as it went in
    wide += u"\n";
    ASSERT_EQ(key.set_value("dmp_line_br", 4294967295u), tk_reg_ok);
    ASSERT_EQ(key.set_value("mypswd", awkward.c_str()), tk_reg_ok);
    ASSERT_EQ(key.set_value("db2user", wide.c_str()), tk_reg_ok);
    ASSERT_EQ(key.set_value("empty", ""), tk_reg_ok);

    tk_reg_key again; // a fresh key reads only what is on disk
    ASSERT_EQ(again.open_create(tk_reg_root::current_user, key_path), tk_reg_ok);
    EXPECT_EQ(again.get_value("DMP_LINE_BR", number), tk_reg_ok) << "names ignore ASCII case";
    EXPECT_EQ(number, 4294967295u);
    EXPECT_EQ(text(again, "mypswd"), awkward);
    EXPECT_EQ(wtext(again, "db2user"), wide);
    EXPECT_EQ(text(again, "empty"), "");
    EXPECT_EQ(again.get_value("nothing", number), tk_reg_not_found);
    // Text written through one form reads through the other, as with the registry.
    EXPECT_EQ(wtext(again, "empty"), u"");
    ASSERT_EQ(key.set_value("host", "db.example"), tk_reg_ok);
    EXPECT_EQ(wtext(again, "host"), u"db.example");
    EXPECT_EQ(again.get_value("host", number), tk_reg_invalid_data);

    // Another key path is another section: same names, separate values.
    tk_reg_key other;
    ASSERT_EQ(other.open_create(tk_reg_root::current_user, "Software\\Velquor\\Other"), tk_reg_ok);
    EXPECT_EQ(other.get_value("dmp_line_br", number), tk_reg_not_found);
    ASSERT_EQ(other.set_value("dmp_line_br", 1u), tk_reg_ok);
    EXPECT_EQ(again.get_value("dmp_line_br", number), tk_reg_ok);
    EXPECT_EQ(number, 4294967295u);
}

TEST_F(SettingsStore, WritesArePrivateAtomicAndLeaveNoTemporaryFile) {
    tk_reg_key key;
    ASSERT_EQ(key.open_create(tk_reg_root::current_user, key_path), tk_reg_ok);
    ASSERT_EQ(key.set_value("mypswd", "secret"), tk_reg_ok);
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0077, 0u) << "the folder of a password file is private too";

    // A file left readable by someone else becomes private again at the next store, and is
    // replaced by a new file rather than rewritten in place.
    ::chmod(file.c_str(), 0644);
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    const ino_t before = st.st_ino;
    const fs::path link = home / "old-settings";
    fs::create_hard_link(file, link);
    const std::string old_text = test_files::read_file(file);
    for (std::uint32_t i = 0; i < 5; ++i) ASSERT_EQ(key.set_value("dmp_new_ver", i), tk_reg_ok);
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_NE(st.st_ino, before);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(test_files::read_file(link), old_text) << "readers of the old file never see a half-written one";
    EXPECT_EQ(files_in_folder(), 1u);
}

TEST_F(SettingsStore, FailedWriteReportsAnErrorAndLeavesNoTemporaryFile) {
    tk_reg_key key;
    ASSERT_EQ(key.open_create(tk_reg_root::current_user, key_path), tk_reg_ok);
    // A folder where the file should be: reading and the final rename both fail, even as root.
    fs::create_directories(file / "inner");
    EXPECT_NE(key.set_value("myuser", "me"), tk_reg_ok);
    EXPECT_EQ(files_in_folder(), 1u);
    std::uint32_t n;
    EXPECT_NE(key.get_value("myuser", n), tk_reg_ok);
}

TEST_F(SettingsStore, DamagedFileReadsAsEmptyUntilTheNextStore) {
    fs::create_directories(folder);
    const std::string damaged = "[Software\\\\Velquor\\\\Dunmere]\nint\tmyport\t12x\nstr\tmyuser\tkept\n";
    { std::ofstream(file, std::ios::binary) << damaged; }
    tk_reg_key key;
    ASSERT_EQ(key.open_create(tk_reg_root::current_user, key_path), tk_reg_ok);
    std::string user = "as constructed";
    EXPECT_FALSE(key.transfer("myuser", user, false));
    EXPECT_EQ(user, "as constructed");
    std::uint32_t n;
    EXPECT_EQ(key.get_value("myport", n), tk_reg_not_found);
    EXPECT_EQ(test_files::read_file(file), damaged) << "reading must not repair or drop the file";

    ASSERT_EQ(key.set_value("myhost", "h"), tk_reg_ok);
    EXPECT_EQ(text(key, "myhost"), "h");
    EXPECT_EQ(key.get_value("myuser", n), tk_reg_not_found) << "the new file starts afresh";

    // Each of these lines alone damages a file.
    for (const char* bad : {"int\tx\t1\n",                                    // value before any key
                            "[k]\nint\tx\t4294967296\n",                     // more than 32 bits
                            "[k]\nint\tx\t-1\n", "[k]\nbool\tx\t1\n",        // sign, unknown type
                            "[k]\nstr\tx\tbad\\q\n", "[k]\nstr\tx\tcut\\x4\n", // unknown or cut escape
                            "[k]\nwstr\tx\t\xff\n", "[k]\nstr\tx\n", "[k]\nstr\tx\ty\tz\n", "[k\n"}) {
        { std::ofstream(file, std::ios::binary | std::ios::trunc) << bad << "[k]\nint\tgood\t1\n"; }
        tk_reg_key k;
        ASSERT_EQ(k.open_create(tk_reg_root::current_user, "k"), tk_reg_ok);
        EXPECT_EQ(k.get_value("good", n), tk_reg_not_found) << bad;
    }
}

TEST_F(SettingsStore, HandWrittenFileWithCommentsCrLfAndRepeatsIsRead) {
    fs::create_directories(folder);
    {
        std::ofstream(file, std::ios::binary) << "# mine\r\n\r\n[software\\\\velquor\\\\dunmere]\r\n"
                                              << "int\tskip_idx\t0\r\nint\tskip_idx\t1\r\n"
                                              << "wstr\tsrc\tSAMPLE \\u00e9\\t\xC3\xA9\r\nstr\tmyhost\tlocal\\x41";
    }
    tk_reg_key key;
    ASSERT_EQ(key.open_create(tk_reg_root::current_user, key_path), tk_reg_ok);
    bool skip = false;
    EXPECT_TRUE(key.transfer("skip_idx", skip, false));
    EXPECT_TRUE(skip) << "the later of two lines wins";
    EXPECT_EQ(wtext(key, "src"), u"SAMPLE é\té");
    EXPECT_EQ(text(key, "myhost"), "localA");
}

TEST_F(SettingsStore, BufferProtocolAndContracts) {
    tk_reg_key key;
    std::uint32_t n = 0, size = 0;
    EXPECT_EQ(key.get_value("x", n), tk_reg_invalid_handle);
    EXPECT_THROW(key.set_value("x", 1u), tk_mail_assertion);
    EXPECT_THROW(key.set_value("x", "t"), tk_mail_assertion);
    ASSERT_EQ(key.open_create(tk_reg_root::current_user, key_path), tk_reg_ok);
    EXPECT_EQ(key.path(), key_path);
    EXPECT_THROW(key.get_value(nullptr, n), tk_mail_assertion);
    EXPECT_THROW(key.get_value("x", static_cast<char*>(nullptr), nullptr), tk_mail_assertion);
    EXPECT_THROW(key.set_value("x", static_cast<const char*>(nullptr)), tk_mail_assertion);

    ASSERT_EQ(key.set_value("myuser", "admin"), tk_reg_ok);
    char small[3] = {'#', '#', '#'};
    size = sizeof small;
    EXPECT_EQ(key.get_value("myuser", small, &size), tk_reg_more_data);
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(small[0], '#') << "a short buffer is left alone";
    char16_t wsmall[5];
    size = sizeof wsmall;
    EXPECT_EQ(key.get_value("myuser", wsmall, &size), tk_reg_more_data);
    EXPECT_EQ(size, 12u);

    key.close();
    EXPECT_FALSE(key.is_open());
    EXPECT_EQ(key.get_value("myuser", static_cast<char*>(nullptr), &size), tk_reg_invalid_handle);
}

TEST_F(SettingsStore, TransferHelpersStoreAndLoadWithTheirRules) {
    tk_reg_key key;
    ASSERT_EQ(key.open_create(tk_reg_root::current_user, key_path), tk_reg_ok);
    std::int32_t style = -2;
    bool flag = true;
    std::string port = "3307";
    std::u16string schema = u"SHOP😀";
    EXPECT_TRUE(key.transfer("dmp_line_br", style, true));
    EXPECT_TRUE(key.transfer("dmp_ins_db", flag, true));
    EXPECT_TRUE(key.transfer("myport", port, true));
    EXPECT_TRUE(key.transfer("db2schema", schema, true));
    ASSERT_EQ(key.set_value("dmp_new_ver", 7u), tk_reg_ok);
    ASSERT_EQ(key.set_value("mypswd", ""), tk_reg_ok);
    ASSERT_EQ(key.set_value("dest", u""), tk_reg_ok);

    std::int32_t style2 = 0;
    bool flag2 = false, seven = false, untouched = true;
    std::string port2, password = "before";
    std::u16string schema2, dest = u"before";
    EXPECT_TRUE(key.transfer("dmp_line_br", style2, false));
    EXPECT_EQ(style2, -2);
    EXPECT_TRUE(key.transfer("dmp_ins_db", flag2, false));
    EXPECT_TRUE(flag2);
    EXPECT_TRUE(key.transfer("dmp_new_ver", seven, false));
    EXPECT_TRUE(seven) << "any non-zero integer is true";
    EXPECT_TRUE(key.transfer("myport", port2, false));
    EXPECT_EQ(port2, "3307");
    EXPECT_TRUE(key.transfer("db2schema", schema2, false));
    EXPECT_EQ(schema2, u"SHOP😀");
    // An empty stored text, a missing value or a value of another type leave the member alone.
    EXPECT_TRUE(key.transfer("mypswd", password, false));
    EXPECT_EQ(password, "before");
    EXPECT_TRUE(key.transfer("dest", dest, false));
    EXPECT_EQ(dest, u"before");
    EXPECT_FALSE(key.transfer("missing", untouched, false));
    EXPECT_TRUE(untouched);
    EXPECT_FALSE(key.transfer("myport", style2, false));
    EXPECT_EQ(style2, -2);
}
