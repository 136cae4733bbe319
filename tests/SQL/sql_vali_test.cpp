#include "sql_engi.hpp"
#include "sql_vali.hpp"

#include <gtest/gtest.h>

namespace {

udb_schema schema_of(std::initializer_list<const char16_t*> names) {
    udb_schema s(true);
    for (const char16_t* n : names) s.add(std::make_unique<t_ftd>(10, n, VT_I4));
    return s;
}

} // namespace

TEST(OldValidator, KeywordsCharactersAndDigits) {
    const sql_old_fn_validator v(schema_of({u"ORDER_ID"}));
    EXPECT_EQ(sql_old_keywords().size(), 167u);
    EXPECT_FALSE(v.is_acceptable(u"order"));
    EXPECT_FALSE(v.is_acceptable(u"Select"));
    EXPECT_EQ(v.get_safe_name(u"order"), u"order00000");
    EXPECT_FALSE(v.is_acceptable(u"Total Sales"));
    EXPECT_EQ(v.get_safe_name(u"Total Sales"), u"Total_Sales");
    EXPECT_FALSE(v.is_acceptable(u"2004"));
    EXPECT_EQ(v.get_safe_name(u"2004"), u"_004");
    EXPECT_TRUE(v.is_acceptable(u"K\u00F6ln$_1")) << "letters of any script, $ and _";
    EXPECT_TRUE(v.is_acceptable(u"\u6771\u4EAC"));
    EXPECT_FALSE(v.is_acceptable(u"a`b"));
    EXPECT_FALSE(v.is_acceptable(u""));
    EXPECT_EQ(v.get_safe_name(u""), u"_");
    const std::u16string long_name(65, u'a');
    EXPECT_FALSE(v.is_acceptable(long_name));
    EXPECT_EQ(v.get_safe_name(long_name), std::u16string(63, u'a'));
    // Existing names are avoided ignoring case.
    EXPECT_EQ(v.get_safe_name(u"order id"), u"order_id00000");
}

TEST(OldValidator, DatabaseNamesMustNotStartWithADigit) {
    const sql_old_dn_validator v;
    EXPECT_FALSE(v.is_acceptable(u"1db"));
    EXPECT_TRUE(v.is_acceptable(u"db1"));
    EXPECT_FALSE(v.is_acceptable(u"select"));
}

TEST(NewValidator, PunctuationAndEdgeBlanks) {
    const sql_new_fn_validator columns(schema_of({u"A"}));
    const sql_new_in_validator indexes(udb_indexes{});
    const sql_new_tn_validator tables({u"T1"}, {u"t2"});
    const sql_new_dn_validator databases;
    for (const udb_validator* v : std::initializer_list<const udb_validator*>{&columns, &indexes, &tables, &databases}) {
        EXPECT_TRUE(v->is_acceptable(u"order"));
        EXPECT_TRUE(v->is_acceptable(u"Total Sales"));
        EXPECT_FALSE(v->is_acceptable(u" lead"));
        EXPECT_FALSE(v->is_acceptable(u"trail "));
        EXPECT_EQ(v->get_safe_name(u"  both  "), u"both");
        EXPECT_FALSE(v->is_acceptable(u"x;y"));
        EXPECT_EQ(v->get_safe_name(u"x;y"), u"x_y");
        EXPECT_FALSE(v->is_acceptable(u"a`b"));
        EXPECT_FALSE(v->is_acceptable(u""));
        EXPECT_FALSE(v->is_acceptable(std::u16string(65, u'x')));
        // Identifiers cannot hold NUL or characters outside the Basic Multilingual Plane.
        EXPECT_FALSE(v->is_acceptable(u"smile\U0001F600"));
        EXPECT_EQ(v->get_safe_name(u"smile\U0001F600"), u"smile_");
        EXPECT_FALSE(v->is_acceptable(std::u16string(u"a\0b", 3)));
        // A line break in a name would end a dump's comment line: every control character goes.
        EXPECT_FALSE(v->is_acceptable(u"P\nsystem touch X"));
        EXPECT_EQ(v->get_safe_name(u"Q\ndelimiter _\r\x1F\x7F"), u"Q_delimiter ____");
    }
    EXPECT_TRUE(columns.is_acceptable(u"a.b"));
    EXPECT_TRUE(indexes.is_acceptable(u"a.b"));
    EXPECT_FALSE(tables.is_acceptable(u"a.b"));
    EXPECT_EQ(tables.get_safe_name(u"a.b"), u"a_b");
    EXPECT_EQ(databases.get_safe_name(u"a.b"), u"a_b");
    EXPECT_EQ(tables.get_safe_name(u"t2"), u"t200000") << "both lists are existing names";
}

TEST(ValidatorFactory, KindFollowsTheServerVersion) {
    sql_engine engine;
    const udb_schema s = schema_of({u"A"});
    udb_record r;
    r.add(std::make_unique<udb_field>(u"B", 0, ole_variant(1)));
    engine.set_server_version(0x040016);
    EXPECT_FALSE(engine.create_fn_validator(s)->is_acceptable(u"order"));
    EXPECT_FALSE(engine.create_fn_validator(r)->is_acceptable(u"a.b"));
    EXPECT_FALSE(engine.create_tn_validator({}, {})->is_acceptable(u"key"));
    EXPECT_FALSE(engine.create_in_validator(udb_indexes{})->is_acceptable(u"key"));
    EXPECT_FALSE(engine.create_dn_validator()->is_acceptable(u"9x"));
    EXPECT_EQ(engine.create_fn_validator(r)->get_safe_name(u"b"), u"b00000");
    EXPECT_EQ(engine.quote_name(u"a`b"), u"a`b");

    engine.set_server_version(0x040100);
    EXPECT_TRUE(engine.create_fn_validator(s)->is_acceptable(u"order"));
    EXPECT_TRUE(engine.create_fn_validator(r)->is_acceptable(u"a.b"));
    EXPECT_FALSE(engine.create_tn_validator({}, {})->is_acceptable(u"a.b"));
    EXPECT_TRUE(engine.create_in_validator(udb_indexes{})->is_acceptable(u"key"));
    EXPECT_TRUE(engine.create_dn_validator()->is_acceptable(u"9x"));
    EXPECT_EQ(engine.quote_name(u"a`b"), u"`a``b`");
}

TEST(Session, VersionTextAndSqlMode) {
    EXPECT_EQ(sql_engine::parse_version("5.0.45-community-nt"), 0x05002Du);
    EXPECT_EQ(sql_engine::parse_version("4.1.0-alpha"), 0x040100u);
    EXPECT_EQ(sql_engine::parse_version("10.11.6-MariaDB-0+deb12u1"), 0x0A0B06u);
    EXPECT_EQ(sql_engine::parse_version("3.23.44-log"), 0x03172Cu);
    EXPECT_THROW(sql_engine::parse_version("5.1"), tk_mail_assertion);
    EXPECT_THROW(sql_engine::parse_version("beta"), tk_mail_assertion);

    EXPECT_EQ(sql_engine::fit_sql_mode(""), "NO_AUTO_VALUE_ON_ZERO");
    EXPECT_EQ(sql_engine::fit_sql_mode("STRICT_TRANS_TABLES,ANSI_QUOTES,NO_BACKSLASH_ESCAPES,NO_ENGINE_SUBSTITUTION"),
              "STRICT_TRANS_TABLES,NO_ENGINE_SUBSTITUTION,NO_AUTO_VALUE_ON_ZERO");
    EXPECT_EQ(sql_engine::fit_sql_mode("NO_AUTO_VALUE_ON_ZERO,NO_BACKSLASH_ESCAPES"), "NO_AUTO_VALUE_ON_ZERO");

    const sql_exception e("Access denied", 1045);
    EXPECT_EQ(e.code(), 0x400000 + 1045);
    EXPECT_EQ(e.level(), tk_level_item);
    EXPECT_EQ(sql_exception("x", 0x12345).code(), 0x400000 + 0x2345) << "low 16 bits of the number";
}
