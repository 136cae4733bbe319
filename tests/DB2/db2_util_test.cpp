// Type knowledge and catalogue texts, without a database.

#include "db2_util.hpp"

#include <gtest/gtest.h>

#include <cmath>

TEST(ora_type, BitDataAndSpecialTypesBindAsBytesOrExactValues) {
    // LONG VARCHAR FOR BIT DATA: bytes like the other FOR BIT DATA types, in a cell of its size.
    EXPECT_EQ(ora_type::get_vartype(SQL_LONGVARBINARY), VT_BYTES);
    EXPECT_EQ(ora_type::get_target_type(SQL_LONGVARBINARY), SQL_C_BINARY);
    EXPECT_EQ(ora_type::get_buffer_size(SQL_LONGVARBINARY, 32700, 0), 32700u);
    EXPECT_EQ(ora_type::get_buffer_size(SQL_VARBINARY, 8, 0), 8u);
    EXPECT_EQ(ora_type::get_buffer_size(SQL_VARCHAR, 40, 0), 82u);
    EXPECT_EQ(ora_type::get_buffer_size(SQL_DECIMAL, 33, 31), 68u);
    EXPECT_EQ(ora_type::get_vartype(SQL_DECFLOAT), VT_DECIMAL);
    EXPECT_EQ(ora_type::get_target_type(SQL_DECFLOAT), SQL_C_WCHAR);
    EXPECT_EQ(ora_type::get_vartype(SQL_BIT), VT_BOOL);
    EXPECT_EQ(ora_type::get_target_type(SQL_BIT), SQL_C_BIT);
    EXPECT_EQ(ora_type::get_vartype(SQL_TINYINT), VT_I1);
    EXPECT_EQ(ora_type::get_target_type(SQL_TINYINT), SQL_C_TINYINT);
    EXPECT_EQ(ora_type::get_vartype(SQL_BLOB), VT_BLOB);
    EXPECT_EQ(ora_type::get_target_type(SQL_DBCLOB), SQL_C_DBCLOB_LOCATOR);
    EXPECT_EQ(ora_type::get_target_type(SQL_XML), SQL_C_CLOB_LOCATOR);
    EXPECT_EQ(ora_type::get_vartype(SQL_BOOLEAN), VT_BOOL);
    EXPECT_EQ(ora_type::get_target_type(SQL_BOOLEAN), SQL_C_BIT);
    EXPECT_EQ(ora_type::get_buffer_size(SQL_BOOLEAN, 1, 0), 1u);
    EXPECT_EQ(ora_type::get_reserved(SQL_DECFLOAT, 34, 0), 65u * 256u + 30u);
    EXPECT_EQ(ora_type::get_reserved(SQL_DECIMAL, 31, 8), 31u * 256u + 8u);
}

TEST(db2_decfloat_value, ExactWhenThePayloadHoldsItElseNearestDouble) {
    auto exact = [](std::u16string_view text) {
        const ole_variant v = db2_decfloat_value(text);
        EXPECT_EQ(v.vt(), VT_DECIMAL) << std::string(text.begin(), text.end());
        return v.decimal().to_string();
    };
    EXPECT_EQ(exact(u"1.50"), "1.50");
    EXPECT_EQ(exact(u"-0.000001"), "-0.000001");
    EXPECT_EQ(exact(u"1.5E+3"), "1500");
    EXPECT_EQ(exact(u"1.234567890123456789012345678901234E-4"), "0.0001234567890123456789012345678901234");
    EXPECT_EQ(exact(u"9.999999999999999999999999999999999E+37"), "99999999999999999999999999999999990000");
    // Zeros beyond scale 38 carry nothing and are dropped.
    EXPECT_EQ(exact(u"1000E-40"), "0.00000000000000000000000000000000000010");
    EXPECT_EQ(exact(u"-0"), "0");
    // Beyond the payload (38 digits, scale 38), and for NaN and the infinities, DB2's own text
    // travels on: a nearest double would change the value without a word.
    for (const char16_t* text : {u"1.234567890123456789012345678901234E-10", u"1E+400", u"-1.5E-300",
                                 u"NaN", u"-Infinity", u"sNaN"}) {
        const ole_variant v = db2_decfloat_value(text);
        EXPECT_EQ(v.vt(), VT_BSTR);
        EXPECT_EQ(v.text(), text);
    }
    EXPECT_EQ(db2_decfloat_value(u" ").vt(), VT_EMPTY);
}

TEST(ora_field, CatalogueTextsBecomeValues) {
    EXPECT_EQ(ora_field::get_variant(VT_BSTR, 10, u"'it''s'").text(), u"it's");
    EXPECT_EQ(ora_field::get_variant(VT_BSTR, 10, u"plain").text(), u"plain");
    const ole_variant ts = ora_field::get_variant(VT_DATE, 16, u"'2021-03-04-05.06.07.123456'");
    EXPECT_EQ(ts.vt(), VT_DATE);
    EXPECT_EQ(ts.get_time(), (ole_systemtime{2021, 3, 0, 4, 5, 6, 7, 123, 123456}));
    EXPECT_EQ(ora_field::get_variant(VT_DATE, 16, u"'2021-12-31-24.00.00.000000'").get_time(),
              (ole_systemtime{2022, 1, 0, 1, 0, 0, 0, 0}));
    EXPECT_EQ(ora_field::get_variant(VT_DATE, 6, u"'2020-01-02'").get_time().day, 2);
    EXPECT_EQ(ora_field::get_variant(VT_I4, 4, u"42").i4(), 42);
    EXPECT_THROW(ora_field::get_variant(VT_I4, 4, nullptr), tk_mail_assertion);
}
