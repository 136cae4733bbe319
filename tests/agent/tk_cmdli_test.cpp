// The option scanner: first matching prefix wins, values are the rest, unknown arguments are
// collected up to their limit.

#include "tk_cmdli.hpp"
#include "tk_excp.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const tk_cmd_option table[] = {{1, "--dump"}, {2, "--dest="}, {3, "--mode="}, {-1, ""}};

struct scanned {
    std::vector<std::pair<int, std::string>> items;
    std::vector<std::string> unknown;
};

scanned scan(std::vector<const char*> args) {
    args.insert(args.begin(), "prog");
    tk_cmdli scanner;
    scanned result;
    for (scanner.start(int(args.size()), args.data(), table); scanner.has_current(); scanner.next())
        result.items.emplace_back(scanner.id(), scanner.value());
    result.unknown = scanner.unrecognised();
    return result;
}

} // namespace

TEST(TkCmdli, FirstMatchingPrefixWinsAndTheRestIsTheValue) {
    const scanned s = scan({"--dumpfile", "--dest=my db", "--mode=", "--mode=3x", "--DUMP", "--dest"});
    const std::vector<std::pair<int, std::string>> expected = {
        {1, "file"}, {2, "my db"}, {3, ""}, {3, "3x"}, {-1, "--DUMP"}, {-1, "--dest"}};
    EXPECT_EQ(s.items, expected);
    EXPECT_EQ(s.unknown, (std::vector<std::string>{"--DUMP", "--dest"}));
}

TEST(TkCmdli, NoArgumentsScansNothing) {
    const scanned s = scan({});
    EXPECT_TRUE(s.items.empty());
    EXPECT_TRUE(s.unknown.empty());
}

TEST(TkCmdli, TwentyUnknownArgumentsAreKeptAndTheTwentyFirstIsAnAssertion) {
    std::vector<std::string> text;
    for (int i = 0; i < 21; ++i) text.push_back("x" + std::to_string(i));
    std::vector<const char*> args;
    for (const auto& t : text) args.push_back(t.c_str());
    std::vector<const char*> twenty(args.begin(), args.end() - 1);
    EXPECT_EQ(scan(twenty).unknown.size(), 20u);
    try {
        scan(args);
        FAIL() << "no assertion";
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.level(), tk_level_internal);
    }
}
