#include "test_files.hpp"
#include "tk_log.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {
using test_files::read_file;

class TraceLog : public ::testing::Test {
protected:
    std::string path = (std::filesystem::temp_directory_path() /
                        ("tk_log_test_" + std::to_string(::getpid()) + ".log")).string();
    void TearDown() override { std::filesystem::remove(path); }
};
} // namespace

TEST_F(TraceLog, BelowThresholdStillEmptiesTheFileOnceThenWritesNothing) {
    { std::ofstream(path) << "old content"; }
    tk_log log(path.c_str(), false, 3, false);
    log.enable();
    tk_trace(2, "hidden %d", 1);
    EXPECT_EQ(read_file(path), "");
    tk_trace(3, "shown %s", "x");
    EXPECT_EQ(read_file(path), "shown x\r\n");
    std::filesystem::remove(path);
    tk_trace(2, "hidden again");
    EXPECT_FALSE(std::filesystem::exists(path)) << "an entry below the threshold must not touch the file";
}

TEST_F(TraceLog, SkippedEntriesDoNotEvaluateArguments) {
    tk_log log(path.c_str(), true, 3, false);
    int evaluated = 0;
    auto costly = [&] { ++evaluated; return "x"; };
    tk_trace(1, "%s", costly());
    EXPECT_EQ(evaluated, 0);
    tk_trace(3, "%s", costly());
    EXPECT_EQ(evaluated, 1);
}

TEST_F(TraceLog, WideEntriesAreUtf8AndSecondPathIsNotEmptied) {
    tk_log log(path.c_str(), true, 1, false);
    tk_wtrace(2, u"open (%s) %d%%", u"Zoë 😀", 42);
    EXPECT_EQ(read_file(path), "open (Zo\xC3\xAB \xF0\x9F\x98\x80) 42%\r\n");
    std::string second = path + ".2";
    { std::ofstream(second) << "keep\n"; }
    log.set_path(second.c_str());
    tk_trace(3, "more");
    EXPECT_EQ(read_file(second), "keep\nmore\r\n");
    std::filesystem::remove(second);
    EXPECT_THROW(log.set_path(nullptr), tk_mail_assertion);
}

TEST(WideFormat, IntegerWidthsAndLongTextCut) {
    auto fmt = [](const char16_t* f, ...) {
        va_list ap;
        va_start(ap, f);
        std::u16string s = tk_wformat(f, ap, 10239);
        va_end(ap);
        return s;
    };
    EXPECT_EQ(fmt(u"%08X|%ld|%I64d|%lld|%u", 0x1fu, -5L, -9000000000LL, 7LL, 4000000000u),
              u"0000001F|-5|-9000000000|7|4000000000");
    // Width and precision from the arguments consume them, so later arguments stay in step.
    EXPECT_EQ(fmt(u"[%*d|%-*s|%.*s|%s]", 4, 7, 3, u"ab", 2, u"xyz", u"end"), u"[   7|ab |xy|end]");
    EXPECT_EQ(fmt(u"%c%c|%zu|%5.1f|%q", u'é', u'x', std::size_t(12), 2.25, u"never read"), u"éx|12|  2.2|");
    std::u16string huge(20000, u'a');
    EXPECT_EQ(fmt(u"%s", huge.c_str()).size(), 10239u);
}

TEST(Exceptions, MessagesCodesAndLevels) {
    EXPECT_STREQ(tk_exception("", 0).what(), "Unknown exception");
    EXPECT_STREQ(tk_exception(1).what(), "Unknown exception");
    EXPECT_EQ(tk_exception(std::u16string_view(u"Zoë"), 0).message(), "Zo\xC3\xAB");

    tk_mail_assertion a("..\\TK/tk_log.hpp", 82);
    EXPECT_EQ(a.level(), 2);
    EXPECT_EQ(std::string(a.what()), "Internal error: \ncode=2e2e5c544b2f746b5f6c6f672e6870705c3832");

    errno = ENOENT;
    tk_exception_ex e("Cannot open: ", 0);
    EXPECT_EQ(e.code(), ENOENT);
    EXPECT_EQ(e.level(), 0);
    EXPECT_EQ(std::string(e.what()), "Cannot open: No such file or directory");
    errno = 0;
    EXPECT_STREQ(tk_exception_ex(1).what(), "Unknown exception");
}

namespace {
struct only_one : tk_singleton<only_one> {};
} // namespace

TEST(Singleton, SecondInstanceAndMissingInstanceAreAssertions) {
    EXPECT_THROW(only_one::instance(), tk_mail_assertion);
    {
        only_one first;
        EXPECT_EQ(&only_one::instance(), &first);
        EXPECT_THROW(only_one second, tk_mail_assertion);
    }
    EXPECT_EQ(only_one::pointer(), nullptr);
}
