#include "udb_idx.hpp"
#include "udb_rel.hpp"

#include "tk_excp.hpp"

#include <gtest/gtest.h>

TEST(Index, StartsWithFieldsMatchesLeadingColumnsByPositionIgnoringCase) {
    const udb_index abc(u"IX", false, false, {u"A", u"B", u"C"});
    EXPECT_TRUE(abc.starts_with_fields({}));
    EXPECT_TRUE(abc.starts_with_fields({u"a", u"b"}));
    EXPECT_TRUE(abc.starts_with_fields({u"A", u"B", u"C"}));
    EXPECT_FALSE(abc.starts_with_fields({u"B", u"A"}));
    EXPECT_FALSE(abc.starts_with_fields({u"A", u"C"}));
    EXPECT_FALSE(abc.starts_with_fields({u"A", u"B", u"C", u"D"})) << "more columns than the index";
    EXPECT_TRUE(udb_index(u"EMPTY", false, false, {}).starts_with_fields({}));
    EXPECT_FALSE(udb_index(u"EMPTY", false, false, {}).starts_with_fields({u"A"}));
}

TEST(Indexes, KeyColumnTestIsExactAndCanBeLimitedToThePrimaryKey) {
    udb_indexes list;
    list.add(udb_index(u"PK", true, true, {u"ID"}));
    list.add(udb_index(u"UQ", true, false, {u"CODE", u"Region"}));
    EXPECT_TRUE(list.is_idx_field(u"ID", true));
    EXPECT_TRUE(list.is_idx_field(u"CODE", false));
    EXPECT_FALSE(list.is_idx_field(u"CODE", true)) << "only in a unique index";
    EXPECT_FALSE(list.is_idx_field(u"id", false)) << "letter case counts here";
    EXPECT_FALSE(list.is_idx_field(u"REGION", false));
    EXPECT_TRUE(list.is_idx_field(u"Region", false));
}

TEST(Indexes, CoverageNamesAndLookup) {
    udb_indexes list;
    EXPECT_FALSE(list.has_index_on_fields({})) << "no index at all covers nothing";
    list.add(udb_index(u"IX_NAME", false, false, {u"LAST", u"FIRST"}));
    list.add(udb_index(u"IX_CITY", false, false, {u"CITY"}));
    EXPECT_TRUE(list.has_index_on_fields({u"city"}));
    EXPECT_TRUE(list.has_index_on_fields({u"last"}));
    EXPECT_FALSE(list.has_index_on_fields({u"FIRST"}));

    EXPECT_FALSE(list.is_acceptable_name(u"ix_city"));
    EXPECT_TRUE(list.is_acceptable_name(u"IX_CITY2"));
    EXPECT_EQ(list.get_index(u"Ix_City").fields.front(), u"CITY");
    EXPECT_THROW(list.get_index(u"IX_NONE"), tk_mail_assertion);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].name, u"IX_NAME") << "insertion order";
}

TEST(Relationships, MultiColumnKeyIsExtendedInPlaceRowByRow) {
    udb_relationships rel;
    EXPECT_TRUE(rel.is_acceptable_name(u"FK_ORDER_CUST"));
    rel.add(udb_foreign_key(u"FK_ORDER_CUST", u"PK_ORDERS", u"ORDERS", u"CUSTOMERS", {u"CUST_ID"},
                            {u"ID"}, u"ON DELETE CASCADE"));
    EXPECT_FALSE(rel.is_acceptable_name(u"fk_order_cust"));

    udb_foreign_key& key = rel.get_index(u"fk_order_cust");
    key.child_fields.push_back(u"CUST_REGION");
    key.parent_fields.push_back(u"REGION");
    ASSERT_EQ(rel.size(), 1u);
    EXPECT_EQ(rel[0].child_fields, (udb_names{u"CUST_ID", u"CUST_REGION"}));
    EXPECT_EQ(rel[0].parent_fields, (udb_names{u"ID", u"REGION"}));
    EXPECT_EQ(rel[0].rule_clause, u"ON DELETE CASCADE");
    EXPECT_EQ(rel[0].key_name, u"PK_ORDERS");
    EXPECT_THROW(rel.get_index(u"FK_OTHER"), tk_mail_assertion);
}
