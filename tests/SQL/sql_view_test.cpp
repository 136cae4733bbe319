// View text rewriting without a server: the MySQL form of a source text that both writers
// send, the isnull argument test, the skeleton and portable form of a view definition, the
// CREATE TABLE line cutter and string literals.
#include "sql_db.hpp"
#include "sql_view.hpp"
#include "tk_utils.hpp"
#include "udb_vali.hpp"

#include <gtest/gtest.h>

TEST(SqlView, SourceTextTakesMySqlFormOutsideLiteralsAndDestinationNames) {
    udb_names_map names;
    names.add_tn_mapping(u"SRC", u"dest");
    t_names_map columns;
    columns.add(u"A#B", u"A_B");
    names.add_fn_map(u"dest", columns);
    const struct {
        std::u16string text, expected;
    } cases[] = {
        {u"select\r\n\t[ID],   x\tfrom [T]", u"select `ID`, x from `T`"},
        // A literal keeps its brackets and blank runs, whichever quote encloses it.
        {u"select '[a]  b', \"[c]\", 'it''s [d]' from [t]",
         u"select '[a]  b', \"[c]\", 'it''s [d]' from `t`"},
        {u"select 'x  \"  y'  ,\"p '  q\"", u"select 'x  \"  y' ,\"p '  q\""},
        {u"select 'open [e]  ", u"select 'open [e]  "},
        {u"select ISNULL(a, 0), isnull(a), IsNull(f(x, y), b), isnull(c,d)",
         u"select ifnull(a, 0), isnull(a), IsNull(f(x, y), b), ifnull(c,d)"},
        {u"select A#B from SRC", u"select `A_B` from `dest`"},
        {u"", u""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(tk_to_utf8(sql_refine_view_in(c.text, names)), tk_to_utf8(c.expected))
            << tk_to_utf8(c.text);
    }
}

TEST(SqlView, IsnullIsReplacedOnlyWithExactlyTwoArguments) {
    const std::u16string text = u"select isnull(a, b), isnull(a), isnull(f(x, y), b), isnull(a,b) x";
    const std::size_t first = text.find(u"isnull");
    EXPECT_TRUE(check_isnull_for_replace(text, long(first)));
    EXPECT_FALSE(check_isnull_for_replace(text, long(text.find(u"isnull(a)"))));
    EXPECT_FALSE(check_isnull_for_replace(text, long(text.find(u"isnull(f("))));
    EXPECT_TRUE(check_isnull_for_replace(text, long(text.rfind(u"isnull"))));
    EXPECT_FALSE(check_isnull_for_replace(text, -1));
    EXPECT_FALSE(check_isnull_for_replace(text, long(text.size())));
    EXPECT_FALSE(check_isnull_for_replace(u"isnull", 0)); // nothing follows the word
}

TEST(SqlView, FindIgnoresCaseAndFindsSubstrings) {
    EXPECT_EQ(sql_find_nocase(u"SELECT a FROM t", u"from"), 9u);
    EXPECT_EQ(sql_find_nocase(u"a JOINED b", u"join"), 2u);
    EXPECT_EQ(sql_find_nocase(u"abc", u"abcd"), std::u16string::npos);
    EXPECT_EQ(sql_find_nocase(u"xx yy xx", u"XX", 1), 6u);
}

TEST(SqlView, SkeletonLeavesOutQuotedParts) {
    const sql_view_converter v(u"select `a b` from \"x`y\" where 'q' = `j`");
    // Backquotes inside double quotes do not count; single quotes are ordinary characters.
    EXPECT_EQ(v.skeleton(), u"select  from  where 'q' = ");
}

TEST(SqlView, PortableFormDropsOrderByAndMakesJoinsCrossWhenThereIsAWhere) {
    EXPECT_EQ(sql_view_converter(u"select a from t order by a").convert_to_ansi(), u"select a from t");
    EXPECT_EQ(sql_view_converter(u"select a from t join u on t.i=u.i where a>0 ORDER BY a").convert_to_ansi(),
              u"select a from t cross join u on t.i=u.i where a>0");
    EXPECT_EQ(sql_view_converter(u"select a from t JOIN u JOIN v where 1").convert_to_ansi(),
              u"select a from t cross join u cross join v where 1");
    // No WHERE: joins stay; a join only inside quotes does not count.
    EXPECT_EQ(sql_view_converter(u"select a from t join u on x").convert_to_ansi(), u"select a from t join u on x");
    EXPECT_EQ(sql_view_converter(u"select `join` from t where 1").convert_to_ansi(), u"select `join` from t where 1");
}

TEST(SqlView, CreateTableTextIsCutIntoLines) {
    sql_fk_parser parser(u"t", u"CREATE TABLE `t` (\n  `a` int\n) ENGINE=InnoDB");
    parser.do_parse();
    ASSERT_EQ(parser.lines().size(), 3u);
    EXPECT_EQ(parser.lines()[1], u"  `a` int");
}

TEST(SqlView, StringLiteralsEscapeQuotesBackslashesAndNul) {
    EXPECT_EQ(sql_string_literal(u"it's"), "'it\\'s'");
    EXPECT_EQ(sql_string_literal(u"a\\b"), "'a\\\\b'");
    EXPECT_EQ(sql_string_literal(std::u16string(u"a\0b", 3)), "'a\\0b'");
    EXPECT_EQ(sql_string_literal(u"\u00e9"), "'\xc3\xa9'");
}
