#include "ole_num.hpp"

#include <gtest/gtest.h>

#include <string>

namespace {
std::string fixed(std::string_view text, int scale) {
    ole_num::scanned n;
    if (!ole_num::scan_strict(text, n)) return "no number";
    unsigned __int128 v = 0;
    if (!ole_num::to_fixed(n, scale, v)) return "overflow";
    char buf[48];
    char* end = buf + sizeof buf;
    return (n.negative ? "-" : "") + std::string(ole_num::u128_digits(v, end), end);
}
} // namespace

TEST(OleNumbers, FixedPointRoundsHalfToEvenIncludingDroppedDigits) {
    EXPECT_EQ(fixed("0.5", 0), "0");
    EXPECT_EQ(fixed("1.5", 0), "2");
    EXPECT_EQ(fixed("0.05", 0), "0");
    EXPECT_EQ(fixed("0.0001", 3), "0");
    EXPECT_EQ(fixed("0.0005", 3), "0");
    EXPECT_EQ(fixed("0.0015", 3), "2");
    EXPECT_EQ(fixed("-1.25", 1), "-12");
    // A decisive digit beyond the digits kept while scanning still counts.
    EXPECT_EQ(fixed("0." + std::string(100, '5') + "1", 0), "1");
    EXPECT_EQ(fixed("2." + std::string(150, '0') + "1", 0), "2");
    EXPECT_EQ(fixed("0.5" + std::string(120, '0') + "1", 0), "1");
    EXPECT_EQ(fixed("1" + std::string(120, '0'), 0), "overflow");
    EXPECT_EQ(fixed("1e38", 0), "100000000000000000000000000000000000000");
    EXPECT_EQ(fixed("1e39", 0), "overflow");
    EXPECT_EQ(fixed("1e9999999999999", 0), "overflow");
    EXPECT_EQ(fixed("1e-9999999999999", 4), "0");
    EXPECT_EQ(fixed("000", 2), "0");
    EXPECT_EQ(fixed(" +.5 ", 1), "5");
    EXPECT_EQ(fixed("5.", 1), "50");
    EXPECT_EQ(fixed(".", 0), "no number");
    EXPECT_EQ(fixed("1e", 0), "no number");
    EXPECT_EQ(fixed("- 1", 0), "no number");
}

TEST(OleNumbers, LeadingScansBehaveLikeTheCRuntimeWithoutItsUndefinedCases) {
    EXPECT_EQ(ole_num::leading_integer("\t+17x"), 17);
    EXPECT_EQ(ole_num::leading_integer("-"), 0);
    EXPECT_EQ(ole_num::leading_integer(std::string(400, '9')), INT64_MAX);
    EXPECT_EQ(ole_num::leading_integer("-" + std::string(400, '9')), INT64_MIN);
    bool ok = true;
    EXPECT_EQ(ole_num::leading_unsigned("x", ok), 0u);
    EXPECT_FALSE(ok);
    EXPECT_EQ(ole_num::leading_unsigned(std::string(400, '9'), ok), UINT64_MAX);
    EXPECT_TRUE(ok);
    EXPECT_EQ(ole_num::leading_double("1.5.5"), 1.5);
    EXPECT_EQ(ole_num::leading_double("-.5e+1z"), -5.0);
    EXPECT_EQ(ole_num::leading_double("0x10"), 0.0);
    EXPECT_EQ(ole_num::leading_double("4.9e-324"), 4.9e-324);
}
