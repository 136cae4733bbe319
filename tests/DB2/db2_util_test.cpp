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

// ---------------------------------------------------------------------------------------------
// DB2 as a destination

#include "db2_vali.hpp"

#include "tk_utils.hpp"

TEST(db2_destination, ColumnTypesAndDefaultsOfEachFamily) {
    struct row {
        std::uint16_t vt;
        std::uint32_t size, reserved;
        ole_variant def;
        const char16_t* type;
        const char16_t* literal;
    };
    const row rows[] = {
        {VT_I2, 2, 0, ole_variant(u"-5"), u"SMALLINT", u"-5"},
        {VT_I4, 4, 0, ole_variant(u"007"), u"INTEGER", u""}, // not its own decimal form
        {VT_I8, 8, 0, ole_variant(), u"BIGINT", u""},
        {VT_R8, 8, 0, ole_variant(u"0.00"), u"DOUBLE", u"0.00"},
        {VT_R8, 8, 0, ole_variant(u"abc"), u"DOUBLE", u""},
        {VT_DECIMAL, 0, 31 * 256 + 8, ole_variant(u"1.5"), u"DECIMAL(31,8)", u"1.5"},
        {VT_DECIMAL, 0, 65 * 256 + 30, ole_variant(), u"DECFLOAT(34)", u""},
        {VT_DATE, 16, 2, ole_variant(u"2024-02-29"), u"DATE", u"'2024-02-29'"},
        {VT_DATE, 16, 3, ole_variant(u"00:00:00"), u"TIME", u"'00:00:00'"},
        {VT_DATE, 16, 1 | 12 << 8, ole_variant(u"2024-01-01 00:00:00"), u"TIMESTAMP(12)", u"'2024-01-01 00:00:00'"},
        {VT_DATE, 16, 0, ole_variant(), u"TIMESTAMP", u""},
        {VT_BOOL, 1, 0, ole_variant(true), u"CHAR(1)", u"'1'"},
        {VT_BSTR, 5, 0, ole_variant(u"it's long"), u"VARGRAPHIC(5) ", u"'it''s '"},
        {VT_BSTR, 16336, 0, ole_variant(u"x"), u"VARGRAPHIC(16336) ", u"'x'"},
        {VT_BSTR, 16337, 0, ole_variant(u"x"), u"CLOB(1G)", u"'x'"}, // written, then left out: a LOB
        {VT_BSTR, 0, 0, ole_variant(), u"CLOB(1G)", u""},
        {VT_BYTES, 32672, 0, ole_variant(), u"VARCHAR(32672) FOR BIT DATA", u""},
        {VT_BYTES, 32673, 0, ole_variant(), u"BLOB(1G)", u""},
        {VT_BLOB, 0, 0, ole_variant(), u"BLOB(1G)", u""},
    };
    for (const row& r : rows) {
        const t_ftd column(r.size, u"C", r.vt, false, false, r.def, r.reserved);
        SCOPED_TRACE(tk_to_utf8(r.type));
        EXPECT_EQ(get_db2_type(column), r.type);
        EXPECT_EQ(make_db2_def_val(column), r.literal);
    }
    // A special register default is kept where DB2 has it for the column's kind.
    t_ftd stamped(16, u"C", VT_DATE, false, false, ole_variant(), 1);
    stamped.default_register = udb_reg_current_timestamp;
    EXPECT_EQ(make_db2_def_val(stamped), u"CURRENT TIMESTAMP");
    stamped.default_register = udb_reg_current_date;
    EXPECT_EQ(make_db2_def_val(stamped), u"");
    EXPECT_THROW(get_db2_type(t_ftd(0, u"C", VT_ERROR, false, false, ole_variant(), 0)), tk_exception);
    EXPECT_EQ(to_db2_str(u"0x0aFF", VT_BYTES, 0), u"'0aFF'");
    EXPECT_EQ(to_db2_str(u"zz", VT_BYTES, 0), u"''");
    EXPECT_EQ(to_db2_str(u"'; DROP TABLE T; --", VT_BSTR, 0), u"'''; DROP TABLE T; --'");
}

TEST(db2_destination, NamesDb2WillNotTakeAreMadeSafe) {
    db2_validator names;
    names.add_existing_name(u"A_B");
    const std::u16string longest(db2_validator::max_name_length, u'x');
    const std::pair<std::u16string, std::u16string> rows[] = {
        {u"ORDERS", u"ORDERS"},
        {u"Zoë_#$9", u"Zoë_#$9"},
        {longest, longest},
        {longest + u"y", std::u16string(db2_validator::max_name_length - 1, u'x')},
        {u"Order Lines", u"Order_Lines"},
        {u"1st", u"A1st"},
        {u"a\"b", u"a_b00000"}, // a_b is taken (case is ignored)
        {u"", u"A"},
        {u"tab\tnew\nline", u"tab_new_line"},
    };
    for (const auto& [name, expected] : rows) {
        SCOPED_TRACE(tk_to_utf8(name));
        const std::u16string safe = names.is_acceptable(name) ? name : names.get_safe_name(name);
        EXPECT_EQ(safe, expected);
        EXPECT_TRUE(names.is_acceptable(safe));
    }
}
