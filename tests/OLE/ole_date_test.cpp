#include "ole_date.hpp"

#include <gtest/gtest.h>

namespace {
struct parsed {
    int kind;
    std::string text;
};
parsed parse(std::string_view text) {
    ole_date d(text);
    if (!d.is_valid()) return {d.kind(), "invalid"};
    return {d.kind(), d.to_string()};
}
} // namespace

#define EXPECT_DATE(input, want_kind, printed) \
    do {                                        \
        const parsed p_ = parse(input);         \
        EXPECT_EQ(p_.text, printed) << (input); \
        EXPECT_EQ(p_.kind, want_kind) << (input); \
    } while (0)

TEST(OleDateText, FixedDigitForms) {
    EXPECT_DATE("20010203040506", 1, "2001-02-03 04:05:06");
    EXPECT_DATE("20010203", 2, "2001-02-03");
    EXPECT_DATE("20011303", 0, "invalid"); // month 13 in the 8-digit form, and nothing else reads it
    EXPECT_DATE("2001-02-03 04:05:06", 1, "2001-02-03 04:05:06");
    EXPECT_DATE("2001/02/03 04:05:06.7", 1, "2001-02-03 04:05:06.7");
    EXPECT_DATE("2001.02.03", 2, "2001-02-03");
    EXPECT_DATE("31-12-2001", 2, "2001-12-31");
    EXPECT_DATE("31.12.2001 10:00:00", 1, "2001-12-31 10:00:00");
}

// Fractions are kept to the microsecond and cut after it: a value never moves to the next
// second (or, at 23:59:59, to the next day).
TEST(OleDateText, FractionsAreKeptAndCutNeverRounded) {
    EXPECT_DATE("13:45:30.6", 3, "0000-00-00 13:45:30.6");
    EXPECT_DATE("23:59:59.9999999", 3, "0000-00-00 23:59:59.999999");
    EXPECT_DATE("10:59:59.500", 3, "0000-00-00 10:59:59.5");
    EXPECT_DATE("2001-02-03 00:00:00.000001", 1, "2001-02-03 00:00:00.000001");
    EXPECT_DATE("2001-02-03-03.04.05.678901234", 1, "2001-02-03 03:04:05.678901");
    EXPECT_DATE("10:61:00", 0, "invalid");
    EXPECT_DATE("24:00:00", 3, "0000-00-00 24:00:00"); // DB2's end of day, a valid TIME
    EXPECT_DATE("23:59:60", 3, "0000-00-00 00:00:00");
    EXPECT_DATE("10:30:1e9", 3, "invalid"); // absurd seconds stay defined and are refused
}

TEST(OleDateText, AmPmMarkers) {
    EXPECT_DATE("02:30:00 PM", 3, "0000-00-00 14:30:00");
    EXPECT_DATE("12:15:00 PM", 3, "0000-00-00 12:15:00");
    EXPECT_DATE("12:15:00 AM", 3, "0000-00-00 12:15:00");
    EXPECT_DATE("2:30 PM", 0, "invalid");
    EXPECT_DATE("2001-02-03 02:30:00 pm", 1, "2001-02-03 14:30:00");
}

TEST(OleDateText, ValidityRules) {
    EXPECT_DATE("2001-13-01", 0, "invalid");
    EXPECT_DATE("2001-02-31", 2, "2001-02-31"); // no days-per-month test in the fixed patterns
    EXPECT_DATE("0000-00-00 10:00:00", 3, "0000-00-00 10:00:00");
    EXPECT_DATE("2001", 0, "invalid");
    EXPECT_DATE("1:2:", 0, "invalid");
    EXPECT_DATE("", 0, "invalid");
    EXPECT_DATE("hello world", 0, "invalid");
    EXPECT_DATE("45-12-45", 0, "invalid"); // day and year both above 31
}

TEST(OleDateText, CommonLocaleForms) {
    EXPECT_DATE("12/31/2001", 2, "2001-12-31");
    EXPECT_DATE("1/2/2001 13:14", 1, "2001-01-02 13:14:00");
    EXPECT_DATE("2001-02-03T04:05:06", 1, "2001-02-03 04:05:06");
    EXPECT_DATE("2001-02-03-04.05.06.789000", 1, "2001-02-03 04:05:06.789");
    EXPECT_DATE("2001-02-03-00.00.00.000000", 2, "2001-02-03");
    EXPECT_DATE("2001-12-31-23.59.59.999999", 1, "2001-12-31 23:59:59.999999");
    EXPECT_DATE("2000-02-28-24.00.00", 2, "2000-02-29"); // DB2's end of day: the same instant
    EXPECT_DATE("9999-12-31-24.00.01", 0, "invalid");
    EXPECT_DATE("9999-12-31 23:59:59", 1, "9999-12-31 23:59:59");
    ole_date d("2001-02-03-04.05.06.789012");
    EXPECT_EQ(d.time().milliseconds, 789);
    EXPECT_EQ(d.time().microseconds, 789012u);
}

TEST(OleDateText, MidnightPrintsAsADateUnlessAskedForTheTime) {
    ole_date d(ole_systemtime{2001, 2, 0, 3, 0, 0, 0, 0});
    EXPECT_EQ(d.kind(), 2);
    EXPECT_EQ(d.to_string(), "2001-02-03");
    d.set_kind(1);
    EXPECT_EQ(d.to_string(), "2001-02-03");
    d.drop_zero_time = false;
    EXPECT_EQ(d.to_string(), "2001-02-03 00:00:00");
    EXPECT_EQ(d.to_wstring(), u"2001-02-03 00:00:00");
    EXPECT_EQ(ole_date(ole_systemtime{0, 0, 0, 0, 1, 2, 3, 0}).to_string(), "0000-00-00 01:02:03");
}

// Fields print at least two (years four) digits and never lose a digit, as "%02d" would print.
TEST(OleDatePrint, FieldsArePaddedButNeverCut) {
    EXPECT_EQ(ole_date(ole_systemtime{7, 1, 0, 9, 0, 0, 0, 0}).to_string(), "0007-01-09");
    EXPECT_EQ(ole_date(ole_systemtime{65535, 12, 0, 31, 23, 59, 58, 0}).to_string(), "65535-12-31 23:59:58");
    ole_date d(ole_systemtime{2024, 5, 0, 6, 0, 0, 0, 0});
    d.set_kind(3);
    EXPECT_EQ(d.to_string(), "0000-00-00 00:00:00");
}

// Years below 100 used to be widened whatever their origin, so a database date of year 1 was
// written as 2001. Only a year written with one or two digits is a short year.
TEST(OleDateYear, OnlyTwoDigitTextYearsAreWidened) {
    EXPECT_DATE("49-01-02", 2, "2049-01-02");
    EXPECT_DATE("50-01-02", 2, "1950-01-02");
    EXPECT_DATE("5/01/02 10:00:00", 1, "2005-01-02 10:00:00");
    EXPECT_DATE("0049-01-02", 2, "0049-01-02");
    EXPECT_DATE("00490102", 2, "0049-01-02");
    EXPECT_DATE("02-01-2049", 2, "2049-01-02"); // day-first: the four-digit field is the year
    EXPECT_DATE("02-01-0049", 2, "0049-01-02");
    EXPECT_DATE("31-12-01", 2, "2031-12-01");
    EXPECT_EQ(ole_date(ole_systemtime{1, 1, 0, 1, 0, 0, 0, 0}).to_string(), "0001-01-01");
    EXPECT_EQ(ole_date(ole_systemtime{49, 1, 0, 1, 0, 0, 0, 0}).to_string(), "0049-01-01");
    EXPECT_EQ(ole_variant(ole_systemtime{1, 1, 0, 1, 0, 0, 0, 0}).to_string(), "0001-01-01");
    // Through a date variant, which keeps only the calendar time.
    const ole_variant v = ole_variant::from_string("03-02-01", VT_DATE);
    EXPECT_EQ(v.get_time().year, 2003);
    EXPECT_EQ(v.to_string(), "2003-02-01");
    EXPECT_EQ(ole_variant::from_string("0003-02-01", VT_DATE).to_string(), "0003-02-01");
    EXPECT_EQ(ole_variant::from_string("13:14:15", VT_DATE).to_string(), "0000-00-00 13:14:15");
    EXPECT_EQ(ole_variant::from_string("nonsense", VT_DATE).vt(), VT_EMPTY);
}

TEST(OleDateText, MissingSecondsTextIsAnInternalError) {
    ole_date d("10:00:00");
    EXPECT_THROW(d.process_milliseconds(nullptr), tk_mail_assertion);
    EXPECT_EQ(ole_date(u"2001-02-03").to_string(), "2001-02-03");
    EXPECT_EQ(ole_date(std::u16string(1, char16_t(0xD800)) + u"2001-02-03").kind(), 0);
}
