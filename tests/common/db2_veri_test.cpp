// The comparison form of the verifier: the writers' literal for the MySQL column, with a
// DECIMAL's value as the server keeps it (DB2's exponents, zeros and signed zeros are spelling,
// not value), and a refused value never equal to anything.

#include "db2_veri.hpp"
#include "ole_num.hpp"

#include <gtest/gtest.h>

#include <limits>

namespace {

std::string form(const ole_variant& value, const t_ftd& column) {
    std::string out = "x"; // the form is appended, never written over what stands before
    db2_append_compare_form(out, udb_field(u"V", 0, value), column);
    EXPECT_EQ(out.substr(0, 1), "x");
    return out.substr(1);
}

} // namespace

TEST(VerifierForm, DecimalsCompareByValueOtherColumnsByLiteral) {
    const t_ftd decimal(0, u"V", VT_DECIMAL, false, false, ole_variant(), 65 << 8 | 30);
    const t_ftd number(0, u"V", VT_DECIMAL, false, false, ole_variant(), 12 << 8 | 3);
    const t_ftd text(40, u"V", VT_BSTR);
    struct row {
        ole_variant value;
        const t_ftd& column;
        const char* expected;
    };
    const row rows[] = {
        {ole_variant(u"1.500000000000000000000000000000"), decimal, "1.5"},
        {ole_variant(u"1.5"), decimal, "1.5"},
        {ole_variant(u"1E+3"), decimal, "1000"},
        {ole_variant(u"1.5E-3"), decimal, "0.0015"},
        {ole_variant(u"-0.000"), decimal, "0"},
        {ole_variant(u"-00120.0100"), decimal, "-120.01"},
        {ole_variant(u"99999999999999999999999999999999990"), decimal, "99999999999999999999999999999999990"},
        {ole_variant(u"0.000000000000000000000000000001"), decimal, "0.000000000000000000000000000001"},
        {ole_variant(), number, "NULL"},
        // The text keeps its zeros: only a DECIMAL column's value is rewritten.
        {ole_variant(u"1.50"), text, "'1.50'"},
        {ole_variant(u"a'\r"), text, "'a\\'\\r'"},
    };
    for (const row& r : rows) EXPECT_EQ(form(r.value, r.column), r.expected) << r.expected;

    // Values the writers refuse: too many fraction digits, NaN. Their form equals no literal.
    const std::string refused = form(ole_variant(u"0.0001"), number);
    EXPECT_EQ(form(ole_variant(std::numeric_limits<double>::quiet_NaN()), decimal), refused);
    EXPECT_NE(refused, form(ole_variant(u"0.001"), number));
    EXPECT_NE(refused.front(), '\'');
}
