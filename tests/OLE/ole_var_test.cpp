#include "ole_var.hpp"
#include "tk_log.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>

namespace {

template <class T>
std::string printf_text(const char* format, T value) {
    char buf[64];
    std::snprintf(buf, sizeof buf, format, value);
    return buf;
}

ole_decimal dec(const char* text) {
    ole_decimal d;
    EXPECT_TRUE(ole_decimal::parse(text, d)) << text;
    return d;
}

} // namespace

TEST(OleVariantFromString, EmptyTextGivesEmptyExceptForText) {
    EXPECT_EQ(ole_variant::from_string("", VT_I4).vt(), VT_EMPTY);
    EXPECT_EQ(ole_variant::from_string("", VT_DATE).vt(), VT_EMPTY);
    const ole_variant text = ole_variant::from_string("", VT_BSTR);
    EXPECT_EQ(text.vt(), VT_BSTR);
    EXPECT_EQ(text.to_string(), "");
}

TEST(OleVariantFromString, HexTextBecomesBytes) {
    const std::vector<std::uint8_t> ab{0x41, 0x42};
    EXPECT_EQ(ole_variant::from_string("0x4142", VT_BYTES).bytes(), ab);
    EXPECT_EQ(ole_variant::from_string("4142", VT_BYTES).bytes(), ab);
    EXPECT_EQ(ole_variant::from_string("0XaBcD", VT_BLOB).bytes(), (std::vector<std::uint8_t>{0xAB, 0xCD}));
    EXPECT_EQ(ole_variant::from_string("0XaBcD", VT_BLOB).vt(), VT_BYTES);
    EXPECT_EQ(ole_variant::from_string("414", VT_BYTES).vt(), VT_EMPTY);
    // Non-hex pairs must not turn into made-up bytes.
    EXPECT_EQ(ole_variant::from_string("41zz", VT_BYTES).vt(), VT_EMPTY);
    const ole_variant none = ole_variant::from_string("0x", VT_BYTES);
    EXPECT_EQ(none.vt(), VT_BYTES);
    EXPECT_TRUE(none.bytes().empty());
}

TEST(OleVariantFromString, BooleanWordsAreCaseSensitive) {
    EXPECT_TRUE(ole_variant::from_string("yes", VT_BOOL).to_bool());
    EXPECT_TRUE(ole_variant::from_string("true", VT_BOOL).to_bool());
    EXPECT_FALSE(ole_variant::from_string("no", VT_BOOL).to_bool());
    EXPECT_FALSE(ole_variant::from_string("false", VT_BOOL).to_bool());
    EXPECT_FALSE(ole_variant::from_string("TRUE", VT_BOOL).to_bool());
    EXPECT_TRUE(ole_variant::from_string("2", VT_BOOL).to_bool());
    EXPECT_EQ(ole_variant::from_string("2", VT_BOOL).boolean(), -1);
}

TEST(OleVariantFromString, IntegersReadTheLeadingNumberAndWrapToTheirWidth) {
    EXPECT_EQ(ole_variant::from_string("  -12abc", VT_I4).i4(), -12);
    EXPECT_EQ(ole_variant::from_string("abc", VT_I4).i4(), 0);
    EXPECT_EQ(ole_variant::from_string("70000", VT_I2).i2(), 4464);
    EXPECT_EQ(ole_variant::from_string("300", VT_UI1).ui1(), 44);
    EXPECT_EQ(ole_variant::from_string("-1", VT_I1).i1(), -1);
    EXPECT_EQ(ole_variant::from_string("99999999999", VT_I4).i4(), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(ole_variant::from_string("-1", VT_UI4).ui4(), 4294967295u);
    EXPECT_EQ(ole_variant::from_string("x", VT_UI4).ui4(), 0u);
    EXPECT_EQ(ole_variant::from_string("-9223372036854775808", VT_I8).i8(), std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(ole_variant::from_string("99999999999999999999", VT_I8).i8(), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(ole_variant::from_string("18446744073709551615", VT_UI8).ui8(), 18446744073709551615ull);
    EXPECT_EQ(ole_variant::from_string("99999999999999999999", VT_UI8).ui8(), 18446744073709551615ull);
}

TEST(OleVariantFromString, FloatsReadACommaAsPointAndIgnoreTheLocale) {
    EXPECT_EQ(ole_variant::from_string("1,5", VT_R8).r8(), 1.5);
    EXPECT_EQ(ole_variant::from_string(" -2.5e3xyz", VT_R8).r8(), -2500.0);
    EXPECT_EQ(ole_variant::from_string(".25", VT_R4).r4(), 0.25f);
    EXPECT_EQ(ole_variant::from_string("abc", VT_R8).r8(), 0.0);
    EXPECT_EQ(ole_variant::from_string("1e", VT_R8).r8(), 1.0);
    EXPECT_EQ(ole_variant::from_string("1e999", VT_R8).r8(), HUGE_VAL);
    EXPECT_EQ(ole_variant::from_string("-1e999", VT_R8).r8(), -HUGE_VAL);
    EXPECT_EQ(ole_variant::from_string("1e-999", VT_R8).r8(), 0.0);
    EXPECT_EQ(ole_variant::from_string("inf", VT_R8).r8(), 0.0);
}

TEST(OleVariantFromString, GenericChangeOfType) {
    const ole_variant i = ole_variant::from_string(" -42 ", VT_INT);
    EXPECT_EQ(i.vt(), VT_INT);
    EXPECT_EQ(i.i4(), -42);
    EXPECT_EQ(i.to_string(), "");
    EXPECT_THROW(i.to_long(), tk_mail_assertion);
    EXPECT_EQ(ole_variant::from_string("2.5", VT_INT).i4(), 2); // half to even
    EXPECT_EQ(ole_variant::from_string("4294967295", VT_UINT).ui4(), 4294967295u);
    EXPECT_THROW(ole_variant::from_string("-1", VT_UINT), ole_type_exception);
    EXPECT_THROW(ole_variant::from_string("2147483648", VT_INT), ole_type_exception);
    EXPECT_THROW(ole_variant::from_string("12abc", VT_INT), ole_type_exception);
    EXPECT_THROW(ole_variant::from_string("1", VT_ERROR), ole_type_exception);
    EXPECT_THROW(ole_variant::from_string("1", VT_NULL), ole_type_exception);
    try {
        ole_variant::from_string("1", 99);
        FAIL();
    } catch (const ole_type_exception& e) {
        EXPECT_STREQ(e.what(), "The operating type is not supported yet");
    }
    const ole_variant text = ole_variant::from_string("abc", VT_BSTR);
    EXPECT_EQ(text.text(), u"abc");
}

TEST(OleVariantFromString, WideTextKeepsEmbeddedNulForText) {
    const std::u16string with_nul(u"a\0b", 3);
    EXPECT_EQ(ole_variant::from_wstring(with_nul, VT_BSTR).text(), with_nul);
    EXPECT_EQ(ole_variant::from_wstring(u"123", VT_I4).i4(), 123);
    EXPECT_EQ(ole_variant::from_wstring(u"2001-02-03", VT_DATE).to_string(), "2001-02-03");
}

TEST(OleVariantText, IntegersPrintLikePrintf) {
    EXPECT_EQ(ole_variant(short(-32768)).to_string(), "-32768");
    EXPECT_EQ(ole_variant(static_cast<signed char>(-128)).to_string(), "-128");
    EXPECT_EQ(ole_variant(std::numeric_limits<int>::min()).to_string(), "-2147483648");
    EXPECT_EQ(ole_variant(static_cast<unsigned char>(255)).to_string(), "255");
    EXPECT_EQ(ole_variant(static_cast<unsigned short>(65535)).to_string(), "65535");
    EXPECT_EQ(ole_variant(4294967295u).to_string(), "4294967295");
    EXPECT_EQ(ole_variant(std::numeric_limits<long long>::min()).to_string(), "-9223372036854775808");
    EXPECT_EQ(ole_variant(std::numeric_limits<unsigned long long>::max()).to_string(), "18446744073709551615");
    EXPECT_EQ(ole_variant(-5L).vt(), VT_I8);
    EXPECT_EQ(ole_variant(5UL).vt(), VT_UI8);
    EXPECT_EQ(ole_variant(u"Zoë").to_wstring(), u"Zoë");
    EXPECT_EQ(ole_variant(12).to_wstring(), u"12");
}

TEST(OleVariantText, BooleansAndByteArrays) {
    EXPECT_EQ(ole_variant(true).to_string(), "1");
    EXPECT_EQ(ole_variant(false).to_string(), "0");
    ole_set_bool_style(1);
    EXPECT_EQ(ole_variant(true).to_string(), "-1");
    EXPECT_EQ(ole_variant(false).to_string(), "0");
    ole_set_bool_style(0);
    EXPECT_EQ(ole_variant(std::vector<std::uint8_t>{0xAB, 0x10}).to_string(), "0xAB10");
    EXPECT_EQ(ole_variant(std::vector<std::uint8_t>{}).to_string(), "");
    EXPECT_EQ(ole_variant().to_string(), "");
    ole_variant big;
    big.allocate_safe_array(10'000'001);
    EXPECT_EQ(big.to_string().size(), 2u + 20'000'000u);
}

// Every float and double must print to text that reads back to the same bits; six or fifteen
// fraction digits lost data (e.g. 0.1f, 1/3.0).
TEST(OleVariantText, FloatingTextReadsBackBitExact) {
    std::mt19937_64 rng(20261208);
    std::vector<double> doubles{0.0, -0.0, DBL_MAX, -DBL_MAX, DBL_MIN, std::numeric_limits<double>::denorm_min(),
                                -std::numeric_limits<double>::denorm_min(), 1.0 / 3.0, 0.1, 5e-324, 2.2250738585072009e-308};
    for (int k = 0; k < 200000; ++k) {
        const double d = std::bit_cast<double>(rng());
        if (std::isfinite(d)) doubles.push_back(d);
    }
    for (double d : doubles) {
        const std::string text = ole_variant(d).to_string();
        ASSERT_EQ(std::bit_cast<std::uint64_t>(std::strtod(text.c_str(), nullptr)), std::bit_cast<std::uint64_t>(d)) << text;
        ASSERT_EQ(std::bit_cast<std::uint64_t>(ole_variant::from_string(text, VT_R8).r8()), std::bit_cast<std::uint64_t>(d))
            << text;
    }
    std::vector<float> floats{0.0f, -0.0f, FLT_MAX, -FLT_MAX, FLT_MIN, std::numeric_limits<float>::denorm_min(), 0.1f};
    for (int k = 0; k < 200000; ++k) {
        const float f = std::bit_cast<float>(std::uint32_t(rng()));
        if (std::isfinite(f)) floats.push_back(f);
    }
    for (float f : floats) {
        const std::string text = ole_variant(f).to_string();
        ASSERT_EQ(std::bit_cast<std::uint32_t>(float(std::strtod(text.c_str(), nullptr))), std::bit_cast<std::uint32_t>(f))
            << text;
        ASSERT_EQ(std::bit_cast<std::uint32_t>(ole_variant::from_string(text, VT_R4).r4()), std::bit_cast<std::uint32_t>(f))
            << text;
    }
}

TEST(OleVariantText, FloatingTextIsThePrintfScientificForm) {
    for (double d : {0.0, -0.0, 1.0, -1.5, 1e300, 1e-300, 123456789.125, HUGE_VAL, -HUGE_VAL, 5e-324})
        EXPECT_EQ(ole_variant(d).to_string(), printf_text("%.16e", d));
    EXPECT_EQ(ole_variant(0.1f).to_string(), printf_text("%.16e", double(0.1f)));
    EXPECT_EQ(ole_variant(1.0).to_string(), "1.0000000000000000e+00");
}

TEST(OleVariantCurrency, TextFormsAndRounding) {
    EXPECT_EQ(ole_variant(ole_currency{15000}).to_string(), "1.5");
    EXPECT_EQ(ole_variant(ole_currency{10000}).to_string(), "1");
    EXPECT_EQ(ole_variant(ole_currency{-1}).to_string(), "-0.0001");
    EXPECT_EQ(ole_variant(ole_currency{0}).to_string(), "0");
    EXPECT_EQ(ole_variant(ole_currency{std::numeric_limits<std::int64_t>::min()}).to_string(), "-922337203685477.5808");
    EXPECT_EQ(ole_variant::from_string("1,5", VT_CY).currency().value, 15000);
    EXPECT_EQ(ole_variant::from_string(" -12.34 ", VT_CY).currency().value, -123400);
    EXPECT_EQ(ole_variant::from_string("1.23455", VT_CY).currency().value, 12346);
    EXPECT_EQ(ole_variant::from_string("1.23445", VT_CY).currency().value, 12344);
    EXPECT_EQ(ole_variant::from_string("1.234451", VT_CY).currency().value, 12345);
    EXPECT_EQ(ole_variant::from_string("1e2", VT_CY).currency().value, 1000000);
    EXPECT_EQ(ole_variant::from_string("922337203685477.5807", VT_CY).currency().value,
              std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(ole_variant::from_string("-922337203685477.5808", VT_CY).currency().value,
              std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(ole_variant::from_string("922337203685477.5808", VT_CY).vt(), VT_EMPTY);
    EXPECT_EQ(ole_variant::from_string("1,000.5", VT_CY).vt(), VT_EMPTY);
    EXPECT_EQ(ole_variant::from_string("abc", VT_CY).vt(), VT_EMPTY);
    EXPECT_EQ(ole_variant(ole_currency{-25000}).to_double(), -2.5);
    EXPECT_THROW(ole_variant(ole_currency{1}).to_long(), tk_mail_assertion);
}

TEST(OleVariantDecimal, TextKeepsTheScaleExactly) {
    EXPECT_EQ(ole_variant::from_string("1.50", VT_DECIMAL).to_string(), "1.50");
    EXPECT_EQ(ole_variant::from_string("-0,05", VT_DECIMAL).to_string(), "-0.05");
    EXPECT_EQ(ole_variant::from_string("-0.00", VT_DECIMAL).to_string(), "0.00");
    EXPECT_EQ(ole_variant::from_string("007", VT_DECIMAL).to_string(), "7");
    EXPECT_EQ(ole_variant::from_string("1.5e3", VT_DECIMAL).to_string(), "1500");
    EXPECT_EQ(ole_variant::from_string("1.2345e-2", VT_DECIMAL).to_string(), "0.012345");
    // DECIMAL(31,s) stays exact end to end.
    const char* wide = "-1234567890123456789012345678.901";
    EXPECT_EQ(ole_variant::from_string(wide, VT_DECIMAL).to_string(), wide);
    const char* max = "340282366920938463463374607431768211455";
    EXPECT_EQ(ole_variant::from_string(max, VT_DECIMAL).to_string(), max);
    EXPECT_EQ(ole_variant::from_string("340282366920938463463374607431768211456", VT_DECIMAL).vt(), VT_EMPTY);
    EXPECT_EQ(ole_variant::from_string("0.00000000000000000000000000000000000001", VT_DECIMAL).to_string(),
              "0.00000000000000000000000000000000000001");
    // Fraction digits that do not fit are rounded away, not refused.
    EXPECT_EQ(ole_variant::from_string("3.40282366920938463463374607431768211455", VT_DECIMAL).to_string(),
              "3.40282366920938463463374607431768211455");
    EXPECT_EQ(ole_variant::from_string("3.40282366920938463463374607431768211456", VT_DECIMAL).to_string(),
              "3.4028236692093846346337460743176821146");
    EXPECT_EQ(ole_variant::from_string("1e-40", VT_DECIMAL).to_string(), "0.00000000000000000000000000000000000000");
    EXPECT_EQ(ole_variant::from_string("1.2.3", VT_DECIMAL).vt(), VT_EMPTY);
    EXPECT_EQ(ole_variant::from_string("12abc", VT_DECIMAL).vt(), VT_EMPTY);
}

TEST(OleVariantDecimal, NumericReaders) {
    EXPECT_EQ(ole_variant(dec("2.5")).to_long(), 2);
    EXPECT_EQ(ole_variant(dec("3.5")).to_long(), 4);
    EXPECT_EQ(ole_variant(dec("-2147483648.4")).to_long(), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(ole_variant(dec("2147483648")).to_long(), 0); // overflow reads as 0
    EXPECT_FALSE(ole_variant(dec("0.4")).to_bool());
    EXPECT_TRUE(ole_variant(dec("-0.6")).to_bool());
    EXPECT_EQ(ole_variant(dec("-1.25")).to_double(), -1.25);
    EXPECT_EQ(ole_variant(dec("0.1")).to_double(), 0.1);
    EXPECT_EQ(ole_variant(dec("12345678901234567890.123456789")).to_double(), 12345678901234567890.123456789);
    EXPECT_EQ(ole_variant(dec("1e-38")).to_double(), 1e-38);
    ole_decimal bad;
    bad.scale = 39;
    EXPECT_THROW(ole_variant{bad}, tk_mail_assertion);
}

TEST(OleVariantReaders, ByTag) {
    EXPECT_EQ(ole_variant(4294967295u).to_double(), 4294967295.0);
    EXPECT_EQ(ole_variant(4294967295u).to_long(), -1);
    EXPECT_EQ(ole_variant(true).to_long(), -1);
    EXPECT_EQ(ole_variant(static_cast<unsigned char>(200)).to_long(), 200);
    EXPECT_EQ(ole_variant(-2.9).to_long(), -2);
    EXPECT_EQ(ole_variant(1e300).to_long(), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(ole_variant(std::nan("")).to_long(), 0);
    EXPECT_EQ(ole_variant(0x1'0000'0005LL).to_long(), 5);
    EXPECT_EQ(ole_variant(-3LL).to_double(), -3.0);
    EXPECT_TRUE(ole_variant(0x1'0000'0000LL).to_bool());
    EXPECT_FALSE(ole_variant(0.0).to_bool());
    EXPECT_FALSE(ole_variant().to_bool());
    ole_variant one_byte(std::vector<std::uint8_t>{1});
    for (const ole_variant* v : {&one_byte, new ole_variant("text")}) {
        EXPECT_THROW(v->to_long(), tk_mail_assertion);
        EXPECT_THROW(v->to_double(), tk_mail_assertion);
        EXPECT_THROW(v->to_bool(), tk_mail_assertion);
        if (v != &one_byte) delete v;
    }
    const std::uint8_t* data = nullptr;
    EXPECT_THROW(ole_variant(1).get_bytes(data), tk_mail_assertion);
    EXPECT_EQ(ole_variant().get_bytes(data), 0u);
    EXPECT_EQ(one_byte.get_bytes(data), 1u);
    EXPECT_EQ(data[0], 1);
}

TEST(OleVariantLifetime, CopiesKeepEverySlot) {
    ole_systemtime t{2001, 2, 0, 3, 4, 5, 6, 7};
    const ole_variant date(t);
    ole_variant copy(date);
    EXPECT_EQ(copy.get_time(), t);
    EXPECT_EQ(copy.to_string(), "2001-02-03 04:05:06");
    const ole_variant big(0x7FFF'FFFF'FFFF'FFF0LL);
    ole_variant assigned(u"old text");
    assigned = big;
    EXPECT_EQ(assigned.i8(), 0x7FFF'FFFF'FFFF'FFF0LL);
    EXPECT_TRUE(assigned.text().empty());
    assigned = date;
    EXPECT_EQ(assigned.get_time(), t);
    EXPECT_EQ(assigned.i8(), 0) << "no stale 64-bit payload after assigning another tag";
    ole_variant bytes(std::vector<std::uint8_t>{1, 2, 3});
    ole_variant bytes_copy(bytes);
    bytes.allocate_safe_array(1);
    EXPECT_EQ(bytes_copy.bytes().size(), 3u);
    EXPECT_EQ(ole_variant(1).get_time(), ole_systemtime{});
    ole_variant moved(std::move(bytes_copy));
    EXPECT_EQ(moved.bytes().size(), 3u);
    EXPECT_EQ(bytes_copy.vt(), VT_EMPTY);
    assigned = assigned;
    EXPECT_EQ(assigned.get_time(), t);
}

TEST(OleVariantLifetime, InPlaceFills) {
    ole_variant v(5);
    v.allocate_safe_array(3);
    EXPECT_EQ(v.vt(), VT_BYTES);
    EXPECT_EQ(v.bytes(), (std::vector<std::uint8_t>{0, 0, 0}));
    EXPECT_EQ(v.i4(), 0);
    const std::uint8_t src[] = {9, 8};
    v.attach_binary(2, src);
    EXPECT_EQ(v.to_string(), "0x0908");
    EXPECT_THROW(v.attach_binary(1, nullptr), tk_mail_assertion);
    v.attach_string("héllo");
    EXPECT_EQ(v.vt(), VT_BSTR);
    EXPECT_EQ(v.text(), u"héllo");
    EXPECT_EQ(v.to_string(), "héllo");
    EXPECT_EQ(ole_variant(static_cast<const char*>(nullptr)).text(), u"");
    EXPECT_EQ(ole_variant(static_cast<const char16_t*>(nullptr)).vt(), VT_BSTR);
    EXPECT_EQ(ole_variant::get_safe_array_size(0, 9), 10u);
    EXPECT_EQ(ole_variant::get_safe_array_size(5, 4), 0u);
    EXPECT_EQ(ole_variant::get_safe_array_size(5, 3), 0u);
}

TEST(OleGuidExtractor, FindsTheBracedGuidAfterTheWord) {
    const std::string text = "some guid = {6B29FC40-CA47-1067-B31D-00DD010662DA} tail";
    ole_guid_extractor g(text);
    ASSERT_TRUE(g.found());
    EXPECT_EQ(g.braced(), "{6B29FC40-CA47-1067-B31D-00DD010662DA}");
    EXPECT_EQ(g.hex(), "6B29FC40CA471067B31D00DD010662DA");
    EXPECT_EQ(ole_guid_extractor(u"some GUID = {6B29FC40-CA47-1067-B31D-00DD010662DA} tail").whex(),
              u"6B29FC40CA471067B31D00DD010662DA");
    EXPECT_FALSE(ole_guid_extractor("guid {6B29FC40-CA47-1067-B31D-00DD010662DA}").found()); // 44 characters
    EXPECT_FALSE(ole_guid_extractor(std::string(60, 'x')).found());
    // A brace too close to the end must not read past the text.
    EXPECT_FALSE(ole_guid_extractor("guid xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx {6B29FC40-CA47}").found());
}

TEST(OleVariantTrace, EntriesCarryTheirArguments) {
    const std::string path =
        (std::filesystem::temp_directory_path() / ("ole_var_trace_" + std::to_string(::getpid()) + ".log")).string();
    {
        tk_log log(path.c_str(), true, 1, false);
        ole_variant::from_string("0x41", VT_BYTES);
        ole_variant(7).to_string();
        ole_variant(-1LL);
        ole_variant a(ole_systemtime{2001, 2, 0, 3, 4, 5, 6, 0});
        ole_variant b;
        b = a;
        ole_variant::from_string("abc", VT_CY);
    }
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    std::filesystem::remove(path);
    const std::string log = s.str();
    EXPECT_NE(log.find("ole_variant::from_string('0x41', 0x00002011)\r\n"), std::string::npos);
    EXPECT_NE(log.find("Got BLOB size: 4\r\n"), std::string::npos);
    EXPECT_NE(log.find("ole_variant::to_string (vt=00000003)\r\n"), std::string::npos);
    EXPECT_NE(log.find("ole_variant::ctor(hyper, -1)\r\n"), std::string::npos);
    EXPECT_NE(log.find("2001-02-03 04:05:06\r\n"), std::string::npos);
    EXPECT_NE(log.find("VarCyFromStr failed: 80020005\r\n"), std::string::npos);
}
