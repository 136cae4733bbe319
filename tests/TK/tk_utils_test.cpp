#include "read_only_file.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

TEST(TextConversion, Utf8RoundTripsEveryPlane) {
    std::u16string all;
    for (char32_t c : {U'a', U'\u00e9', U'\u4e2d', U'\U0001F600', U'\U0010FFFF', U'\0'}) {
        if (c >= 0x10000) {
            all += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            all += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            all += static_cast<char16_t>(c);
        }
    }
    std::string utf8 = tk_to_utf8(all);
    EXPECT_EQ(utf8, std::string("a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF\0", 15));
    EXPECT_EQ(tk_from_utf8(utf8), all);
}

// Text of every width in any order, appended after what a statement already holds: ASCII runs
// before, after and between wide characters, long and short.
TEST(TextConversion, MixedWidthsRoundTripWhenAppended) {
    std::mt19937 random(11);
    const char32_t samples[] = {U'x', U'\'', U'\u00e9', U'\u07ff', U'\u0800', U'\u6771', U'\uffff', U'\U0001F600'};
    for (int round = 0; round < 500; ++round) {
        std::u16string text;
        const int length = int(random() % (round % 50 == 0 ? 5000 : 40));
        const int ascii_until = int(random() % (length + 1)); // a long ASCII head, then anything
        for (int i = 0; i < length; ++i) {
            const char32_t c = i < ascii_until ? U'a' : samples[random() % std::size(samples)];
            if (c >= 0x10000) {
                text += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
                text += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
            } else {
                text += static_cast<char16_t>(c);
            }
        }
        std::string out = "INSERT ";
        tk_append_utf8(out, text);
        ASSERT_EQ(out.compare(0, 7, "INSERT "), 0);
        EXPECT_EQ(tk_from_utf8(out.substr(7)), text) << round;
    }
}

TEST(TextConversion, MalformedInputFailsWithItsText) {
    const std::u16string lone(1, char16_t(0xD800));
    try {
        tk_to_utf8(lone);
        FAIL() << "unpaired surrogate accepted";
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.level(), 0);
        EXPECT_EQ(std::string(e.what()).rfind("Cannot convert to UTF8 string: ", 0), 0u);
    }
    for (const char* bad : {"\xC0\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE4\xB8", "\x80"})
        EXPECT_THROW(tk_from_utf8(bad), tk_exception_ex) << bad;
}

TEST(Trim, OnlySpacesCount) {
    EXPECT_EQ(tk_trim("  a b  "), "a b");
    EXPECT_EQ(tk_wtrim(u"  a b  "), u"a b");
    EXPECT_EQ(tk_wtrim(u"    "), u"");
    EXPECT_EQ(tk_trim("   "), "");
    EXPECT_EQ(tk_trim("\ta\t"), "\ta\t");
    EXPECT_EQ(tk_wtrim_left(u"  x "), u"x ");
    EXPECT_EQ(tk_wtrim_right(u"  x "), u"  x");
    EXPECT_EQ(tk_trim_left("  x "), "x ");
}

TEST(Printable, ControlCharactersAreEscapedAndNothingElse) {
    EXPECT_EQ(tk_wprintable(u"P\nsystem\r\tx\x01\x7F\\ é"), u"P\\nsystem\\r\\tx\\x01\\x7F\\ é");
    EXPECT_EQ(tk_printable(std::string("a\0b\x1B\xC3\xA9", 6)), "a\\x00b\\x1B\xC3\xA9");
}

TEST(Upper, OnlyAsciiLettersChange) {
    EXPECT_EQ(tk_wstring::to_upper(u"shop_éß1"), u"SHOP_éß1");
}

TEST(FileChecks, ReadOnlyFileOpensForReadingOnly) {
    auto dir = std::filesystem::temp_directory_path() / ("tk_utils_" + std::to_string(::getpid()));
    const std::string file = read_only_file(dir);
    if (file.empty()) GTEST_SKIP() << "running as root and no file here refuses root's writes";
    EXPECT_TRUE(tk_is_file_exist(file, tk_file_readable));
    EXPECT_FALSE(tk_is_file_exist(file, 1));
    std::filesystem::remove_all(dir);
}

TEST(FileChecks, NamedPipeAnswersWithoutWaiting) {
    auto dir = std::filesystem::temp_directory_path() / ("tk_fifo_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string fifo = (dir / "pipe").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // Without a writer a blocking open would hang here for ever.
    EXPECT_TRUE(tk_is_file_exist(fifo, tk_file_readable));
    std::filesystem::remove_all(dir);
}

TEST(FileChecks, PathsAreDirectoriesOnly) {
    auto dir = std::filesystem::temp_directory_path() / ("tk_path_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    auto file = (dir / "f.txt").string();
    { std::ofstream(file) << "x"; }
    auto cwd = std::filesystem::current_path();
    EXPECT_TRUE(tk_is_path_exist(dir.string()));
    EXPECT_EQ(std::filesystem::current_path(), cwd);
    EXPECT_FALSE(tk_is_path_exist(file));
    EXPECT_FALSE(tk_is_file_exist(dir.string(), tk_file_readable));
    EXPECT_TRUE(tk_is_file_exist(std::u16string_view(tk_from_utf8(file)), 1));
    EXPECT_FALSE(tk_is_file_exist((dir / "none").string(), tk_file_readable));
    std::filesystem::remove_all(dir);
    EXPECT_FALSE(tk_program_path().empty());
}
