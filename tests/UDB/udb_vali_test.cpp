#include "udb_vali.hpp"

#include "tk_excp.hpp"
#include "tk_log.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <unistd.h>

namespace {

udb_validator restricted(std::uint32_t max_length, std::vector<std::u16string> words,
                         std::vector<char16_t> illegal = {}) {
    udb_validator v(max_length);
    v.restricted_names() = std::move(words);
    v.illegal_chars() = std::move(illegal);
    return v;
}

} // namespace

TEST(Validator, AcceptabilityChecksLengthReservedWordsAndIllegalCharacters) {
    const udb_validator v = restricted(8, {u"ORDER", u"select"}, {u' ', u'.'});
    EXPECT_TRUE(v.is_acceptable(u"ABCDEFGH")) << "exactly the limit";
    EXPECT_FALSE(v.is_acceptable(u"ABCDEFGHI"));
    EXPECT_FALSE(v.is_acceptable(u"order"));
    EXPECT_FALSE(v.is_acceptable(u"Select"));
    EXPECT_TRUE(v.is_acceptable(u"ORDERS"));
    EXPECT_FALSE(v.is_acceptable(u"A B"));
    EXPECT_FALSE(v.is_acceptable(u"T.C"));
    EXPECT_TRUE(udb_validator(0).is_acceptable(std::u16string(5000, u'x'))) << "0 is no limit";
    // Characters, not code units: a supplementary character counts once.
    EXPECT_TRUE(udb_validator(2).is_acceptable(u"\U0001F600\U0001F600"));
}

TEST(Validator, SafeNameKeepsGoodNamesAndCutsLongOnes) {
    udb_validator v(10);
    EXPECT_EQ(v.get_safe_name(u"ABCDEFGHIJ"), u"ABCDEFGHIJ");
    EXPECT_EQ(v.get_safe_name(u"ABCDEFGHIJK"), u"ABCDEFGHI") << "cut to one below the limit";
    // A cut never splits a surrogate pair.
    EXPECT_EQ(udb_validator(3).get_safe_name(u"A\U0001F600\U0001F600B"), u"A\U0001F600");
}

TEST(Validator, CollidingNamesAreNumberedWithinTheLimit) {
    udb_validator v(10);
    v.add_existing_name(u"CUSTOMERS");
    v.add_existing_name(u"CUST00000");
    EXPECT_EQ(v.get_safe_name(u"customers"), u"cust00001") << "limit - 6 characters and five digits";

    udb_validator unlimited(0);
    unlimited.add_existing_name(u"Orders");
    EXPECT_EQ(unlimited.get_safe_name(u"ORDERS"), u"ORDERS00000");
    unlimited.add_existing_name(u"ORDERS00000");
    EXPECT_EQ(unlimited.get_safe_name(u"orders"), u"orders00001");
}

TEST(Validator, IllegalCharactersBecomeUnderscoresBeforeNumbering) {
    udb_validator v = restricted(0, {u"A_B"}, {u'-', u' '});
    EXPECT_EQ(v.get_safe_name(u"ORDER LINES-2"), u"ORDER_LINES_2");
    EXPECT_EQ(v.get_safe_name(u"- -"), u"___");
    EXPECT_EQ(v.get_safe_name(u"a-b"), u"a_b00000") << "cleaned, then refused as reserved";
}

TEST(Validator, SafeNameAsksTheConcreteValidator) {
    struct no_zero_validator : udb_validator {
        no_zero_validator() : udb_validator(0) {}
        bool is_acceptable(const std::u16string& name) const override {
            return name.find(u"00000") == std::u16string::npos && udb_validator::is_acceptable(name);
        }
    } v;
    v.add_existing_name(u"T");
    EXPECT_EQ(v.get_safe_name(u"T"), u"T00001");
}

TEST(Validator, TinyLimitsRaiseInsteadOfProducingOverlongNames) {
    udb_validator v(4);
    v.add_existing_name(u"ABCD");
    EXPECT_THROW(v.get_safe_name(u"ABCD"), tk_mail_assertion) << "no five digits fit in four";
    udb_validator six(6);
    six.add_existing_name(u"ABCDEF");
    EXPECT_EQ(six.get_safe_name(u"ABCDEF"), u"00000");
}

TEST(Validator, MappedPairsKeepTheFirstMapping) {
    udb_validator v(0);
    v.add_mapped_pair(u"ORDER", u"ORDER00000");
    v.add_mapped_pair(u"ORDER", u"ORDER00001");
    EXPECT_EQ(v.mapped_pairs().get_mapped_name(u"ORDER", true), u"ORDER00000");
    EXPECT_EQ(v.mapped_pairs().size(), 1u);
}

TEST(NamesMap, LookupExactOrIgnoringCaseWithNamesThatDifferOnlyInCase) {
    t_names_map m;
    m.add(u"Orders", u"orders_b");
    m.add(u"ORDERS", u"orders_a");
    EXPECT_EQ(m.get_mapped_name(u"Orders", true), u"orders_b");
    EXPECT_EQ(m.get_mapped_name(u"ORDERS", true), u"orders_a");
    EXPECT_EQ(m.get_mapped_name(u"orders", true), u"orders") << "unmapped: unchanged";
    EXPECT_EQ(m.get_mapped_name(u"orders", false), u"orders_a") << "first in code-unit order";
}

TEST(NamesMap, TableAndColumnMapsWithReverseLookup) {
    udb_names_map names;
    names.add_tn_mapping(u"ORDER", u"ORDER00000");
    names.add_tn_mapping(u"ORDER", u"other");
    EXPECT_EQ(names.get_tn_mapped_name(u"order", false), u"ORDER00000");
    EXPECT_EQ(names.get_tn_mapped_name(u"order", true), u"order");

    t_names_map columns;
    columns.add(u"KEY", u"KEY00000");
    columns.add(u"Desc", u"Desc00000");
    names.add_fn_map(u"ORDER00000", columns);
    names.add_fn_map(u"ORDER00000", t_names_map()) ; // a second map for the table is dropped
    EXPECT_EQ(names.get_fn_mapped_name(u"ORDER00000", u"key", false), u"KEY00000");
    EXPECT_EQ(names.get_fn_mapped_name(u"ORDER00000", u"key", true), u"key");
    EXPECT_EQ(names.get_fn_mapped_name(u"order00000", u"KEY", false), u"KEY")
        << "the table is looked up exactly";
    EXPECT_EQ(names.get_fn_orig_name(u"ORDER00000", u"Desc00000", true), u"Desc");
    EXPECT_EQ(names.get_fn_orig_name(u"ORDER00000", u"DESC00000", false), u"Desc");
    EXPECT_EQ(names.get_fn_orig_name(u"ORDER00000", u"DESC00000", true), u"DESC00000");
    EXPECT_EQ(names.get_fn_orig_name(u"NONE", u"X", true), u"X");
}

TEST(NamesMap, UnknownTableIsTraced) {
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("udb_vali_test_" + std::to_string(::getpid()) + ".log")).string();
    {
        tk_log log(path.c_str(), true, 1, false);
        udb_names_map names;
        EXPECT_EQ(names.get_fn_mapped_name(u"ORDERS", u"ID", false), u"ID");
    }
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    EXPECT_NE(s.str().find("Table 'ORDERS' not found"), std::string::npos) << s.str();
    std::filesystem::remove(path);
}

TEST(GlobalReplace, ReplacesWholeWordsIgnoringCase) {
    t_names_map m;
    m.add(u"ID", u"CUST_ID");
    EXPECT_EQ(udb_names_map::do_global_replace2(u"ID, T.ID, IDX, ID_1, X1ID", m, u"", u""),
              u"CUST_ID, T.CUST_ID, IDX, CUST_ID_1, X1ID");
    EXPECT_EQ(udb_names_map::do_global_replace2(u"select id from t where Id=1", m, u"`", u"`"),
              u"select `CUST_ID` from t where `CUST_ID`=1");
    EXPECT_EQ(udb_names_map::do_global_replace2(u"\u00E9ID ID\u00E9 \u0661ID", m, u"", u""),
              u"\u00E9ID ID\u00E9 \u0661ID") << "letters and digits of every script bind";
    EXPECT_EQ(udb_names_map::do_global_replace2(u"", m, u"", u""), u"");
}

TEST(GlobalReplace, TerminatesWhenTheReplacementHoldsTheName) {
    t_names_map m;
    m.add(u"A", u"A");
    m.add(u"B", u"B B");
    EXPECT_EQ(udb_names_map::do_global_replace2(u"A B a", m, u"[", u"]"), u"[A] [B B] [A]");
    t_names_map empty_name;
    empty_name.add(u"", u"X");
    EXPECT_EQ(udb_names_map::do_global_replace2(u"abc", empty_name, u"", u""), u"abc");
}

TEST(GlobalReplace, PairsApplyInKeyOrderAndTablesBeforeColumns) {
    t_names_map chain;
    chain.add(u"B", u"C");
    chain.add(u"A", u"B");
    EXPECT_EQ(udb_names_map::do_global_replace2(u"A", chain, u"", u""), u"C")
        << "A becomes B, which the later pair turns into C";

    udb_names_map names;
    names.add_tn_mapping(u"ORDER", u"ORDER00000");
    t_names_map columns;
    columns.add(u"KEY", u"KEY00000");
    names.add_fn_map(u"ORDER00000", columns);
    EXPECT_EQ(names.do_global_replace1(u"SELECT key FROM order", u"`", u"`"),
              u"SELECT `KEY00000` FROM `ORDER00000`");
}

TEST(Validator, ConcreteValidatorsAreReleasedThroughTheBase) {
    struct counted_validator : udb_validator {
        explicit counted_validator(int& alive) : udb_validator(64), alive_(alive) { ++alive_; }
        ~counted_validator() override { --alive_; }
        int& alive_;
        std::vector<std::u16string> keywords{200, u"KEYWORD"};
    };
    int alive = 0;
    std::unique_ptr<udb_validator> v = std::make_unique<counted_validator>(alive);
    EXPECT_EQ(alive, 1);
    v.reset();
    EXPECT_EQ(alive, 0);
}
