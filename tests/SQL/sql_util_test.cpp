#include "sql_util.hpp"

#include "sql_engi.hpp"
#include "sql_init.hpp"

#include "ole_date.hpp"
#include "tk_excp.hpp"
#include "tk_utils.hpp"
#include "udb_rule.hpp"

#include <gtest/gtest.h>

#include <mysql.h>

#include <iterator>
#include <limits>
#include <random>

namespace {

constexpr std::uint32_t v40 = 0x040014;  // 4.0.20
constexpr std::uint32_t v50 = 0x05002D;  // 5.0.45
constexpr std::uint32_t v1011 = 0x0A0B06; // 10.11.6

std::string narrow(const std::u16string& s) {
    std::string out;
    for (char16_t c : s) out += char(c);
    return out;
}

std::string native(std::uint16_t vt, std::uint32_t size, std::uint32_t reserved, std::uint32_t version = v50) {
    return narrow(get_native_type(vt, size, reserved, version));
}

udb_field cell(const ole_variant& v) { return udb_field(u"c", 0, v); }

t_ftd column(std::uint16_t vt, std::uint32_t size = 0, bool not_null = false) {
    return t_ftd(size, u"c", vt, not_null);
}

} // namespace

// Every tag, and codes that are no tag, against the documented answers of the type predicates,
// written out here instead of read from the type table: a tag without its row, a row in the
// wrong place or the two senses of "numeric" swapped all show up by name.
TEST(TypePredicates, EveryTagAnswersAsDocumented) {
    // Flags: N number column (written bare), H holds numbers (schema logic), Q quoted, D date,
    // T text, B binary, A may be auto-increment, S a DEFAULT at size 255, L a DEFAULT at size 256.
    const struct {
        std::uint16_t vt;
        const char* flags;
    } cases[] = {
        {VT_EMPTY, "SL"},   {VT_NULL, "SL"},     {VT_I2, "NHASL"},  {VT_I4, "NHASL"},  {VT_R4, "NHSL"},
        {VT_R8, "NHSL"},    {VT_CY, "NHSL"},     {VT_DATE, "QDSL"}, {VT_BSTR, "QTS"},  {VT_ERROR, "SL"},
        {VT_BOOL, "NHASL"}, {VT_DECIMAL, "NHSL"}, {VT_I1, "NHASL"}, {VT_UI1, "NHASL"}, {VT_UI2, "NHASL"},
        {VT_UI4, "NHASL"},  {VT_I8, "NHASL"},    {VT_UI8, "NHASL"}, {VT_INT, "NASL"},  {VT_UINT, "NASL"},
        {VT_SAFEARRAY, "SL"}, {VT_LPSTR, "TSL"}, {VT_LPWSTR, "TSL"}, {VT_BLOB, "B"},   {VT_BLOB_OBJECT, "B"},
        {VT_ARRAY, "SL"},   {VT_BYTES, "B"},     {9, "SL"},         {71, "SL"},        {0x4000, "SL"},
        {0xFFFF, "SL"},
    };
    for (const auto& c : cases) {
        std::string got;
        if (is_numeric_type(c.vt)) got += 'N';
        if (udb_is_numeric_type(c.vt)) got += 'H';
        if (needs_quotes(c.vt)) got += 'Q';
        if (udb_is_date_type(c.vt)) got += 'D';
        if (udb_is_text_type(c.vt)) got += 'T';
        if (udb_is_binary_type(c.vt)) got += 'B';
        if (can_have_auto_num(column(c.vt))) got += 'A';
        if (can_have_def_value(column(c.vt, 255))) got += 'S';
        if (can_have_def_value(column(c.vt, 256))) got += 'L';
        EXPECT_EQ(got, c.flags) << "type " << c.vt;
    }
}

TEST(TypeMap, FixedTypes) {
    const struct {
        std::uint16_t vt;
        std::uint32_t reserved;
        const char* type;
    } rows[] = {
        {2, 0, "SMALLINT"}, {3, 0, "INT"}, {22, 0, "INT"}, {4, 0, "FLOAT"}, {5, 0, "DOUBLE"},
        {6, 0, "DECIMAL(19,4)"}, {7, 0, "CHAR(19)"}, {7, 1, "DATETIME"}, {7, 2, "DATE"},
        {7, 3, "TIME"}, {7, 0x105, "DATETIME"}, {11, 0, "BIT"}, {14, 0x0A02, "DECIMAL(10,2)"},
        {14, 5, "DOUBLE"}, {14, 0x1F00, "DECIMAL(31,0)"}, {16, 0, "TINYINT"},
        {17, 0, "TINYINT UNSIGNED"}, {18, 0, "SMALLINT UNSIGNED"}, {19, 0, "INT UNSIGNED"},
        {23, 0, "INT UNSIGNED"}, {20, 0, "BIGINT"}, {21, 0, "BIGINT UNSIGNED"},
    };
    for (const auto& r : rows) EXPECT_EQ(native(r.vt, 10, r.reserved), r.type) << r.vt << "/" << r.reserved;
}

TEST(TypeMap, TextAndBlobKindsBySize) {
    const struct {
        std::uint32_t size;
        const char* text;
        const char* blob;
    } rows[] = {
        {1, "VARCHAR(1)", "TINYBLOB"},      {255, "VARCHAR(255)", "TINYBLOB"},
        {256, "TEXT", "BLOB"},              {65535, "TEXT", "BLOB"},
        {65536, "MEDIUMTEXT", "MEDIUMBLOB"}, {0xFFFFFF, "MEDIUMTEXT", "MEDIUMBLOB"},
        {0x1000000, "LONGTEXT", "LONGBLOB"}, {0, "LONGTEXT", "LONGBLOB"},
        {t_ftd::unbounded, "LONGTEXT", "LONGBLOB"},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(native(8, r.size, 0), r.text) << r.size;
        EXPECT_EQ(native(65, r.size, 0), r.blob) << r.size;
        EXPECT_EQ(native(70, r.size, 0), r.blob) << r.size;
    }
}

TEST(TypeMap, ByteArraysAreVarbinaryWhereTheServerHasIt) {
    EXPECT_EQ(native(8209, 1, 0, v1011), "VARBINARY(1)");
    EXPECT_EQ(native(8209, 16, 0, v50), "VARBINARY(16)");
    EXPECT_EQ(native(8209, 255, 0, v50), "VARBINARY(255)");
    EXPECT_EQ(native(8209, 256, 0, v50), "BLOB");
    EXPECT_EQ(native(8209, 0, 0, v50), "LONGBLOB");
    EXPECT_EQ(native(8209, 16, 0, v40), "TINYBLOB") << "no VARBINARY byte strings before 4.1.2";
    EXPECT_EQ(native(8209, 16, 0, 0x040101), "TINYBLOB");
    EXPECT_EQ(native(8209, 16, 0, 0x040102), "VARBINARY(16)");
    // Without a session the oldest dialect applies.
    EXPECT_EQ(narrow(get_native_type(8209, 16, 0)), "TINYBLOB");
}

TEST(TypeMap, BooleanStyleAndUnknownTypes) {
    ole_set_bool_style(1);
    EXPECT_EQ(native(11, 0, 0), "TINYINT");
    ole_set_bool_style(0);
    for (std::uint16_t vt : {0, 1, 9, 10, 30, 31, 64, 8192})
        EXPECT_THROW(get_native_type(vt, 0, 0, v50), tk_mail_assertion) << vt;
}

TEST(TypeMap, FetchedFieldTypes) {
    const struct {
        int type;
        unsigned flags;
        std::uint16_t vt;
    } rows[] = {
        {MYSQL_TYPE_DECIMAL, 0, 14}, {MYSQL_TYPE_NEWDECIMAL, 0, 14}, {MYSQL_TYPE_TINY, 0, 16},
        {MYSQL_TYPE_TINY, UNSIGNED_FLAG, 17}, {MYSQL_TYPE_SHORT, 0, 2}, {MYSQL_TYPE_SHORT, UNSIGNED_FLAG, 18},
        {MYSQL_TYPE_LONG, 0, 3}, {MYSQL_TYPE_LONG, UNSIGNED_FLAG, 19}, {MYSQL_TYPE_FLOAT, 0, 4},
        {MYSQL_TYPE_DOUBLE, 0, 5}, {MYSQL_TYPE_TIMESTAMP, 0, 7}, {MYSQL_TYPE_DATE, 0, 7},
        {MYSQL_TYPE_TIME, 0, 7}, {MYSQL_TYPE_DATETIME, 0, 7}, {MYSQL_TYPE_LONGLONG, 0, 20},
        {MYSQL_TYPE_LONGLONG, UNSIGNED_FLAG, 21}, {MYSQL_TYPE_INT24, UNSIGNED_FLAG, 3},
        {MYSQL_TYPE_YEAR, 0, 18}, {MYSQL_TYPE_BIT, 0, 11}, {MYSQL_TYPE_TINY_BLOB, 0, 65},
        {MYSQL_TYPE_BLOB, BINARY_FLAG, 65}, {MYSQL_TYPE_LONG_BLOB, 0, 65}, {MYSQL_TYPE_NULL, 0, 8},
        {MYSQL_TYPE_VARCHAR, 0, 8}, {MYSQL_TYPE_ENUM, 0, 8}, {MYSQL_TYPE_VAR_STRING, 0, 8},
        {MYSQL_TYPE_STRING, 0, 8}, {MYSQL_TYPE_VAR_STRING, BINARY_FLAG, 8209},
        {MYSQL_TYPE_STRING, BINARY_FLAG | UNSIGNED_FLAG, 8209}, {MYSQL_TYPE_GEOMETRY, 0, 8}, {200, 0, 8},
    };
    for (const auto& r : rows) EXPECT_EQ(get_mysql_vartype(r.type, r.flags), r.vt) << r.type << "/" << r.flags;
}

TEST(Variant, FromFetchedValues) {
    EXPECT_EQ(get_variant(MYSQL_TYPE_LONG, 2, 0, static_cast<const char*>(nullptr)).vt(), VT_EMPTY);
    const ole_variant tiny = get_variant(MYSQL_TYPE_TINY, 3, UNSIGNED_FLAG, "200");
    EXPECT_EQ(tiny.vt(), VT_UI1);
    EXPECT_EQ(tiny.ui1(), 200);

    // Binary values keep their exact length, zeros included, in every binary field type.
    const char bytes[] = {'a', 0, 'b', 0};
    for (int type : {MYSQL_TYPE_BLOB, MYSQL_TYPE_VAR_STRING, MYSQL_TYPE_STRING}) {
        const ole_variant v = get_variant(type, 4, BINARY_FLAG, bytes);
        ASSERT_EQ(v.vt(), VT_BYTES) << type;
        EXPECT_EQ(v.bytes(), (std::vector<std::uint8_t>{'a', 0, 'b', 0}));
    }
    const char16_t wide[] = {0x161, 0, 0x41};
    const ole_variant w = get_variant(MYSQL_TYPE_VAR_STRING, 3, BINARY_FLAG, wide);
    EXPECT_EQ(w.bytes(), (std::vector<std::uint8_t>{0x61, 0, 0x41})) << "low byte of each unit";

    // Text comes as UTF-8 whatever the process locale is.
    const ole_variant text = get_variant(MYSQL_TYPE_BLOB, 4, 0, "\xF0\x9F\x98\x80");
    EXPECT_EQ(text.vt(), VT_BSTR);
    EXPECT_EQ(text.text(), u"\U0001F600");

    EXPECT_TRUE(get_variant(MYSQL_TYPE_BIT, 1, 0, "\x01").to_bool());
    EXPECT_FALSE(get_variant(MYSQL_TYPE_BIT, 1, 0, std::string(1, '\0').c_str()).to_bool());
    EXPECT_EQ(get_variant(VT_I4, "42").i4(), 42);
    EXPECT_EQ(get_variant(VT_I4, static_cast<const char*>(nullptr)).vt(), VT_EMPTY);
}

TEST(Literal, TextForms) {
    const struct {
        const char* text;
        std::uint16_t vt;
        const char* literal;
    } rows[] = {
        {"O'Brien", 8, "'O\\'Brien'"},
        {"a\\b", 8, "'a\\\\b'"},
        {"123", 3, "123"},
        {"123", 8, "'123'"},
        {"anything", 1, "NULL"},
        {"anything", 0, "NULL"},
        {"", 3, "\"\""},
        {"", 8, "\"\""},
        {"2004-1-2", 7, "'2004-01-02'"},
        {"-1.5e+300", 5, "-1.5e+300"},
        // Text that is no number is not written bare into a numeric column.
        {"1); DROP TABLE t; --", 3, "'1); DROP TABLE t; --'"},
        {"x'y", 3, "'x\\'y'"},
        // The binary rule: recognised literals pass, everything else is quoted and escaped.
        {"0x1F2e", 65, "0x1F2e"},
        {"123456", 65, "123456"},
        {"A", 65, "'A'"},
        {"'", 65, "'\\''"},
        {"ab'c", 70, "'ab\\'c'"},
    };
    for (const auto& r : rows) EXPECT_EQ(to_mysql_str(r.text, r.vt), r.literal) << r.text << "/" << r.vt;
    EXPECT_EQ(to_mysql_str(std::string("a\0b", 3), 8), "'a\\0b'");
    EXPECT_EQ(to_mysql_str("guid = {12345678-9abc-def0-1234-56789abcdef0}", 65), "0x123456789abcdef0123456789abcdef0");
    // A "GUID" whose digits are not hexadecimal is only text.
    EXPECT_EQ(to_mysql_str("guid = {1234'); -9abc-def0-1234-56789abcdef0}", 65),
              "'guid = {1234\\'); -9abc-def0-1234-56789abcdef0}'");

    EXPECT_EQ(to_mysql_wstr(u"O'Brien\\", 8), u"'O\\'Brien\\\\'");
    EXPECT_EQ(to_mysql_wstr(u"", 8), u"\"\"");
    EXPECT_EQ(to_mysql_wstr(u"x", 1), u"NULL");
    for (std::uint16_t vt : {65, 70, 8209}) EXPECT_THROW(to_mysql_wstr(u"x", vt), tk_mail_assertion);
}

TEST(Literal, ByteArraysByteByByte) {
    EXPECT_EQ(to_mysql_str(cell(ole_variant(std::vector<std::uint8_t>{0x00, 0x27, 0x41}))), "'\\0\\'A'");
    EXPECT_EQ(to_mysql_str(cell(ole_variant(std::vector<std::uint8_t>{0x0D, 0x0A, 0x1A, '\\', '"', 0xFF}))),
              "'\\r\\n\\Z\\\\\\\"\xFF'");
    EXPECT_EQ(to_mysql_str(cell(ole_variant(std::vector<std::uint8_t>{}))), "''");
}

// Long values with escapes anywhere (first, last, next to each other, none at all), through
// the text, wide text and byte-array paths, against escaping one character at a time.
TEST(Literal, EscapesAnywhereInLongValues) {
    std::mt19937 random(7);
    const char16_t alphabet[] = {u'a', u'\'', u'\\', u'\0', u'"', u'\n', u'\u00E9', u'\u6771', u'z'};
    for (int round = 0; round < 300; ++round) {
        std::u16string text;
        std::vector<std::uint8_t> bytes;
        const int length = int(random() % 3000);
        const bool plain = round % 10 == 0;
        for (int i = 0; i < length; ++i) {
            text += plain ? u'p' : alphabet[random() % std::size(alphabet)];
            bytes.push_back(plain ? std::uint8_t('p') : std::uint8_t(random() % 256));
        }
        std::string want_text = "'";
        for (char16_t c : text) {
            switch (c) {
            case u'\'': want_text += "\\'"; break;
            case u'\\': want_text += "\\\\"; break;
            case u'\0': want_text += "\\0"; break;
            case u'\r': want_text += "\\r"; break;
            case u'\n': want_text += "\\n"; break;
            case u'\x1A': want_text += "\\Z"; break;
            default: tk_append_utf8(want_text, std::u16string_view(&c, 1));
            }
        }
        want_text += "'";
        std::string want_bytes = "'";
        for (std::uint8_t b : bytes) {
            switch (b) {
            case 0x00: want_bytes += "\\0"; break;
            case 0x0D: want_bytes += "\\r"; break;
            case 0x0A: want_bytes += "\\n"; break;
            case 0x1A: want_bytes += "\\Z"; break;
            case '\\': want_bytes += "\\\\"; break;
            case '\'': want_bytes += "\\'"; break;
            case '"': want_bytes += "\\\""; break;
            default: want_bytes += char(b);
            }
        }
        want_bytes += "'";
        if (text.empty()) want_text = want_bytes = "\"\"";
        EXPECT_EQ(get_fld_append_str(cell(ole_variant(text)), column(8, 4000)), want_text) << round;
        EXPECT_EQ(to_mysql_str(tk_to_utf8(text), VT_BSTR), want_text) << round;
        if (!bytes.empty()) {
            EXPECT_EQ(to_mysql_str(cell(ole_variant(bytes))), want_bytes) << round;
        }
    }
}

TEST(Literal, CellForColumn) {
    const ole_variant null;
    const ole_variant empty_text(std::u16string{});
    const struct {
        ole_variant value;
        t_ftd col;
        const char* literal;
    } rows[] = {
        {null, column(3), "NULL"},
        {null, column(8, 10), "NULL"},
        {null, column(3, 0, true), "\"\""},
        {null, column(7), "NULL"},
        {empty_text, column(7, 0), "NULL"},
        {empty_text, column(7, 0, true), "\"\""},
        {empty_text, column(8, 10), "\"\""},
        {empty_text, column(8, 10, true), "\"\""},
        {ole_variant(u"123"), column(3), "123"},
        {ole_variant(u"12a"), column(3), "'12a'"},
        {ole_variant(u"\u00E9'"), column(7), "'\xC3\xA9\\''"},
        {ole_variant(42), column(8, 10), "42"},
        {ole_variant(u"\U0001F600 it's"), column(8, 10), "'\xF0\x9F\x98\x80 it\\'s'"},
        {ole_variant(std::vector<std::uint8_t>{1, 0}), column(8209, 2), "'\x01\\0'"},
        // An empty byte array stays an empty value in every binary column, nullable or not.
        {ole_variant(std::vector<std::uint8_t>{}), column(8209, 2), "''"},
        {ole_variant(std::vector<std::uint8_t>{}), column(65), "''"},
        {ole_variant(std::vector<std::uint8_t>{}), column(70), "''"},
        {null, column(8209, 2), "NULL"},
        {ole_variant(std::int64_t(-9223372036854775807LL - 1)), column(20), "-9223372036854775808"},
        {ole_variant(true), column(11), "1"},
        // Numbers go out as their text form, bare; a float that is no number is quoted.
        {ole_variant(-2.5), column(5), "-2.5000000000000000e+00"},
        {ole_variant(0.1f), column(4), "1.0000000149011612e-01"},
        {ole_variant(std::numeric_limits<double>::quiet_NaN()), column(5), "'nan'"},
        {ole_variant(-std::numeric_limits<double>::infinity()), column(5), "'-inf'"},
        {ole_variant::from_string("-0.0050", VT_DECIMAL), column(14), "-0.0050"},
        {ole_variant::from_string("12345678901234567890123.5", VT_DECIMAL), column(14), "12345678901234567890123.5"},
        {ole_variant(std::uint64_t(18446744073709551615ULL)), column(21), "18446744073709551615"},
        {ole_variant(std::int16_t(-32768)), column(2), "-32768"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(get_fld_append_str(cell(r.value), r.col), r.literal) << r.value.to_string() << "/" << r.col.vartype;

    // The writers' form appends to what is already there.
    std::string out = "VALUES(";
    append_fld_str(out, cell(ole_variant(u"a'b")), column(8, 5));
    out += ", ";
    append_fld_str(out, cell(null), column(3));
    EXPECT_EQ(out, "VALUES('a\\'b', NULL");

    EXPECT_THROW(get_fld_append_str(cell(ole_variant(std::vector<std::uint8_t>{1})), column(8, 4)), tk_mail_assertion)
        << "a byte array into a text column";
}

// A date cell is printed once. Its literal must be the text that reading the printed form back
// gives, the literal a date written as text gets: for every calendar corner a reader brings.
TEST(SqlLiteral, DateCellsWriteWhatTheirPrintedTextReadsBackAs) {
    const std::uint16_t years[] = {1, 9, 49, 50, 99, 100, 999, 1000, 1899, 1900, 1969, 2000, 2049, 9999};
    const std::uint16_t days[] = {1, 28, 29, 30, 31};
    const ole_systemtime times[] = {{0, 0, 0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0, 1, 0}, {0, 0, 0, 0, 12, 34, 56, 999},
                                    {0, 0, 0, 0, 23, 59, 59, 0}};
    int checked = 0;
    auto check = [&](const ole_systemtime& t) {
        const std::string printed = ole_date(t).to_string();
        const std::string want = "'" + ole_date(printed).to_string() + "'";
        std::string got;
        append_fld_str(got, cell(ole_variant(t)), column(VT_DATE));
        EXPECT_EQ(got, want) << printed;
        ++checked;
    };
    for (std::uint16_t year : years) {
        for (std::uint16_t month = 1; month <= 12; ++month) {
            for (std::uint16_t day : days) {
                for (ole_systemtime t : times) {
                    t.year = year;
                    t.month = month;
                    t.day = day;
                    check(t);
                }
            }
        }
    }
    for (const ole_systemtime& t : times) check(t); // times of day without a date
    EXPECT_EQ(checked, 14 * 12 * 5 * 4 + 4);
}

TEST(Literal, CustomRulesComeFirst) {
    struct upper_rule : udb_rule {
        bool accepts(const udb_field&) const override { return true; }
        bool accepts(const t_ftd&) const override { return false; }
        std::u16string value_literal(const udb_field&) const override { return u"RULE"; }
        std::u16string column_type(const t_ftd&) const override { return {}; }
    };
    udb_rule_list rules;
    rules.push_back(std::make_unique<upper_rule>());
    udb_custom_conversion::install(std::move(rules));
    const std::string literal = get_fld_append_str(cell(ole_variant(1)), column(3));
    udb_custom_conversion::uninstall();
    EXPECT_EQ(literal, "RULE");
}

TEST(DefaultValue, ByColumnType) {
    const struct {
        std::uint16_t vt;
        std::uint32_t size;
        const char16_t* text;
        const char16_t* value;
    } rows[] = {
        {3, 0, u"12", u"12"},   {3, 0, u"-12", u"-12"}, {3, 0, u"+12", u""}, {3, 0, u" 12", u""},
        {3, 0, u"12.0", u""},   {3, 0, u"abc", u""},    {3, 0, u"007", u""}, {11, 0, u"1", u"1"},
        {5, 0, u"0.0", u"0.0"}, {5, 0, u"-0", u"-0"},   {5, 0, u"0", u"0"},  {5, 0, u"abc", u""},
        {5, 0, u"1.5", u"1.5"}, {14, 0, u"-2.25e3", u"-2.25e3"},
        // A number followed by other text is not written into the statement.
        {5, 0, u"1,5", u""},    {14, 0, u"1 OR 1", u""},
        {20, 0, u"5", u""},     {21, 0, u"5", u""},     {65, 0, u"x", u""},  {8209, 4, u"x", u""},
        {7, 0, u"2004-1-2", u"\"2004-01-02\""},
        {7, 0, u"nonsense", u""},
        {8, 10, u"it's", u"'it\\'s'"},
        {8, 10, u"", u""},
    };
    for (const auto& r : rows) {
        t_ftd c(r.size, u"c", r.vt, false, false, ole_variant(r.text));
        EXPECT_EQ(make_mysql_def_val(c), r.value) << narrow(r.text) << "/" << r.vt;
    }
}

TEST(Quoting, BackquotesAreDoubled) {
    EXPECT_EQ(sql_quote_name(u"a`b", 0x040100), u"`a``b`");
    EXPECT_EQ(sql_quote_name(u"``", 0x050000), u"``````");
    EXPECT_EQ(sql_quote_name(u"plain", 0x040014), u"plain");
    std::string out = "x ";
    sql_append_quoted_name(out, u"\u00E9`\U0001F600", 0x050000);
    EXPECT_EQ(out, "x `\xC3\xA9``\xF0\x9F\x98\x80`");
    EXPECT_STREQ(sql_text_charset(0x050502), "utf8");
    EXPECT_STREQ(sql_text_charset(0x050503), "utf8mb4");
}

// Fractions of seconds and special-register defaults as each destination can say them: the
// version alone does not tell (MariaDB numbers apart from MySQL), and a dump guards each form
// with the version comment of the servers that have it.
TEST(Dialect, FractionalSecondsAndRegisterDefaultsFollowTheDestination) {
    const sql_dialect mysql55{0x050528}, mariadb55{0x050528, true}, mysql565{0x050605}, mariadb101{0x0A0100, true},
        mariadb1021{0x0A0201, true}, mysql8013{0x08000D}, mysql8012{0x08000C}, dump{0x040100, false, true};
    EXPECT_FALSE(mysql55.fractional_seconds());
    EXPECT_TRUE(mariadb55.fractional_seconds());
    EXPECT_TRUE(dump.fractional_seconds());
    const std::uint32_t ts6 = 1 + 12 * 256; // TIMESTAMP(12): six digits kept
    EXPECT_EQ(narrow(get_native_type(VT_DATE, 0, ts6, v1011, true)), "DATETIME(6)");
    EXPECT_EQ(narrow(get_native_type(VT_DATE, 0, ts6, v1011, false)), "DATETIME");
    EXPECT_EQ(narrow(get_native_type(VT_DATE, 0, 1 + 3 * 256, v1011, true)), "DATETIME(3)");
    EXPECT_EQ(narrow(get_native_type(VT_DATE, 0, 1, v1011, true)), "DATETIME");
    EXPECT_EQ(narrow(get_native_type(VT_DATE, 0, 3, v1011, true)), "TIME");

    struct row {
        sql_dialect dialect;
        udb_default_register reg;
        std::uint32_t reserved;
        const char* clause;
    };
    const row rows[] = {
        {mysql55, udb_reg_current_timestamp, 1, ""},
        {mariadb55, udb_reg_current_timestamp, ts6, ""},
        {mysql565, udb_reg_current_timestamp, ts6, " DEFAULT CURRENT_TIMESTAMP(6)"},
        {mysql565, udb_reg_current_timestamp, 1, " DEFAULT CURRENT_TIMESTAMP"},
        {mysql565, udb_reg_current_date, 2, ""},
        {mariadb101, udb_reg_current_timestamp, 1 + 3 * 256, " DEFAULT CURRENT_TIMESTAMP(3)"},
        {mariadb101, udb_reg_current_date, 2, ""},
        {mariadb1021, udb_reg_current_date, 2, " DEFAULT (CURRENT_DATE)"},
        {mysql8012, udb_reg_current_time, 3, ""},
        {mysql8013, udb_reg_current_time, 3, " DEFAULT (CURRENT_TIME)"},
        {mariadb1021, udb_reg_current_date, 1, ""}, // CURRENT DATE into a timestamp: no such default
        {mariadb1021, udb_reg_other, 0, ""},
        {dump, udb_reg_current_timestamp, ts6, " /*!50605 DEFAULT CURRENT_TIMESTAMP(6) */"},
        {dump, udb_reg_current_time, 3, " /*!100201 DEFAULT (CURRENT_TIME) */"},
        {dump, udb_reg_other, 0, ""},
    };
    for (const row& r : rows) {
        t_ftd c(0, u"c", r.reg == udb_reg_other ? std::uint16_t(VT_BSTR) : std::uint16_t(VT_DATE));
        c.reserved = r.reserved;
        c.default_register = r.reg;
        EXPECT_EQ(narrow(sql_register_default(c, r.dialect)), r.clause)
            << std::hex << r.dialect.version << " " << int(r.reg) << " " << r.reserved;
    }
}

// A DECIMAL(p, s) column takes a value exactly or refuses its record: no rounding of extra
// fraction digits, no clipping of a value out of range, no NaN.
TEST(Literal, DecimalColumnsHoldValuesExactlyOrRefuseTheRecord) {
    const struct {
        std::uint32_t reserved;
        ole_variant value;
        const char* literal; // null: refused
    } rows[] = {
        {5 * 256 + 2, ole_variant::from_string("999.99", VT_DECIMAL), "999.99"},
        {5 * 256 + 2, ole_variant::from_string("-999.99", VT_DECIMAL), "-999.99"},
        {5 * 256 + 2, ole_variant::from_string("1000.00", VT_DECIMAL), nullptr},
        {5 * 256 + 2, ole_variant::from_string("0.001", VT_DECIMAL), nullptr},
        {5 * 256 + 2, ole_variant::from_string("1.2300", VT_DECIMAL), "1.2300"}, // trailing zeros fit
        {65 * 256 + 30, ole_variant(u"1E+34"), "1E+34"},
        {65 * 256 + 30, ole_variant(u"1E+35"), nullptr},
        {65 * 256 + 30, ole_variant(u"-1.5E-30"), nullptr},
        {65 * 256 + 30, ole_variant(u"NaN"), nullptr},
        {65 * 256 + 30, ole_variant(std::numeric_limits<double>::infinity()), nullptr},
        {65 * 256 + 30, ole_variant(1e40), nullptr},
        {0, ole_variant(u"NaN"), "'NaN'"}, // DOUBLE: the server's to judge
    };
    for (const auto& r : rows) {
        t_ftd c = column(VT_DECIMAL);
        c.reserved = r.reserved;
        if (r.literal) {
            EXPECT_EQ(get_fld_append_str(cell(r.value), c), r.literal) << r.value.to_string();
        } else {
            // The failure of one record, as the server's own refusal is.
            EXPECT_THROW(get_fld_append_str(cell(r.value), c), sql_exception) << r.value.to_string();
        }
    }
}
