// Primary keys, indexes and foreign keys read from the catalogue.

#include "db2_db.hpp"
#include "db2_fixture.hpp"
#include "db2_recs.hpp"

#include <gtest/gtest.h>

#include <algorithm>

using namespace db2_test;

namespace {

const char* const k_keys_script = R"sql(
CREATE SCHEMA K;
SET SCHEMA K;
CREATE TABLE PARENT (
  A INTEGER NOT NULL, B INTEGER NOT NULL, C INTEGER NOT NULL, NAME VARCHAR(20) NOT NULL,
  PRIMARY KEY (B, A, C),
  CONSTRAINT UQ_PARENT_NAME UNIQUE (NAME)
);
CREATE TABLE CHILD (
  ID INTEGER NOT NULL, PA INTEGER, PB INTEGER, PC INTEGER, NOTE VARCHAR(10),
  CONSTRAINT PK_CHILD PRIMARY KEY (ID),
  CONSTRAINT FK_CHILD_PARENT FOREIGN KEY (PB, PA, PC) REFERENCES PARENT (B, A, C) ON DELETE CASCADE,
  CONSTRAINT FK_CHILD_NAME FOREIGN KEY (NOTE) REFERENCES PARENT (NAME) ON UPDATE RESTRICT
);
CREATE INDEX IX_CHILD_NOTE ON CHILD (NOTE DESC, ID);
CREATE TABLE OTHER_CHILD (
  ID INTEGER NOT NULL PRIMARY KEY, PA INTEGER, PB INTEGER, PC INTEGER,
  CONSTRAINT FK_OTHER_PARENT FOREIGN KEY (PB, PA, PC) REFERENCES PARENT (B, A, C) ON DELETE SET NULL
);
CREATE TABLE RESTRICTED (
  ID INTEGER NOT NULL PRIMARY KEY, PID INTEGER,
  CONSTRAINT FK_RESTRICTED FOREIGN KEY (PID) REFERENCES RESTRICTED (ID) ON DELETE RESTRICT ON UPDATE RESTRICT
);
CREATE TABLE NO_KEYS (V INTEGER);
CREATE TABLE T1 (ID INTEGER NOT NULL PRIMARY KEY, P INTEGER,
  CONSTRAINT FK FOREIGN KEY (P) REFERENCES RESTRICTED (ID));
CREATE TABLE T2 (ID INTEGER NOT NULL PRIMARY KEY, Q1 INTEGER, Q2 INTEGER, Q3 INTEGER,
  CONSTRAINT FK FOREIGN KEY (Q1, Q2, Q3) REFERENCES PARENT (B, A, C) ON DELETE CASCADE);
CREATE TABLE SKEWED (ID INTEGER NOT NULL PRIMARY KEY);
INSERT INTO SKEWED VALUES (1), (2), (3), (4), (5), (6), (7), (8), (9), (10), (11), (12), (13), (14), (15), (16),
  (17), (18), (1000001), (1000002);
CREATE TABLE EXTREMES (ID BIGINT NOT NULL PRIMARY KEY);
INSERT INTO EXTREMES VALUES (-9223372036854775808), (-1), (0), (1), (9223372036854775806), (9223372036854775807);
CREATE SCHEMA Z;
CREATE TABLE Z.PARENT (B INTEGER NOT NULL PRIMARY KEY);
CREATE TABLE XREF (ID INTEGER NOT NULL GENERATED ALWAYS AS IDENTITY, P INTEGER,
  CONSTRAINT FK_XREF FOREIGN KEY (P) REFERENCES Z.PARENT (B));
)sql";

class keys : public ::testing::Test {
protected:
    static void SetUpTestSuite() { create_database("KEYS", k_keys_script); }
    void SetUp() override {
        engine = connect(u"KEYS");
        db = engine->open_db(u"K", u"", u"");
    }
    std::unique_ptr<db2_engine> engine;
    std::unique_ptr<db2_database> db;
};

const udb_foreign_key* find_key(const udb_relationships& list, const std::u16string& name) {
    for (const auto& key : list)
        if (key.name == name) return &key;
    return nullptr;
}

} // namespace

TEST_F(keys, PrimaryKeyInKeyOrderAndItsIndexAddsNothing) {
    auto rs = db->get_table(u"PARENT", 1);
    const udb_indexes& idx = rs->indexes();
    ASSERT_EQ(idx.size(), 2u);
    EXPECT_TRUE(idx[0].b_primary);
    EXPECT_TRUE(idx[0].b_unique);
    EXPECT_FALSE(idx[0].name.empty());
    EXPECT_EQ(idx[0].fields, (udb_names{u"B", u"A", u"C"}));
    EXPECT_EQ(idx[1].name, u"UQ_PARENT_NAME");
    EXPECT_TRUE(idx[1].b_unique);
    EXPECT_FALSE(idx[1].b_primary);
    EXPECT_EQ(idx[1].fields, (udb_names{u"NAME"}));
    EXPECT_EQ(rs->primary_key_index(), 0);
    EXPECT_TRUE(db->relationships().empty());
}

TEST_F(keys, IndexesAndMultiColumnForeignKeysWithTheirRules) {
    auto rs = db->get_table(u"CHILD", 1);
    const udb_indexes& idx = rs->indexes();
    ASSERT_EQ(idx.size(), 2u);
    EXPECT_EQ(idx[0].name, u"PK_CHILD");
    EXPECT_EQ(idx[0].fields, (udb_names{u"ID"}));
    EXPECT_EQ(idx[1].name, u"IX_CHILD_NOTE");
    EXPECT_FALSE(idx[1].b_unique);
    EXPECT_EQ(idx[1].fields, (udb_names{u"NOTE", u"ID"}));
    EXPECT_EQ(idx[1].descending, (std::vector<bool>{true, false}));

    const udb_relationships& rel = db->relationships();
    ASSERT_EQ(rel.size(), 2u);
    const udb_foreign_key* fk = find_key(rel, u"FK_CHILD_PARENT");
    ASSERT_NE(fk, nullptr);
    EXPECT_EQ(fk->key_name, u"PK_CHILD");
    EXPECT_EQ(fk->child_table, u"CHILD");
    EXPECT_EQ(fk->parent_table, u"PARENT");
    EXPECT_EQ(fk->child_fields, (udb_names{u"PB", u"PA", u"PC"}));
    EXPECT_EQ(fk->parent_fields, (udb_names{u"B", u"A", u"C"}));
    EXPECT_EQ(fk->rule_clause, u"ON DELETE CASCADE");
    const udb_foreign_key* by_name = find_key(rel, u"FK_CHILD_NAME");
    ASSERT_NE(by_name, nullptr);
    EXPECT_EQ(by_name->rule_clause, u"ON UPDATE RESTRICT"); // and NO ACTION on delete
    EXPECT_EQ(by_name->parent_fields, (udb_names{u"NAME"}));

    // Reading the table again only finds keys it already has.
    auto again = db->get_table(u"CHILD", 1);
    EXPECT_EQ(db->relationships().size(), 2u);
    EXPECT_EQ(find_key(db->relationships(), u"FK_CHILD_PARENT")->child_fields.size(), 3u);

    // A second child of the same parent adds its own keys to the one list.
    auto other = db->get_table(u"OTHER_CHILD", 1);
    ASSERT_EQ(db->relationships().size(), 3u);
    EXPECT_EQ(find_key(db->relationships(), u"FK_OTHER_PARENT")->rule_clause, u"ON DELETE SET NULL");
    auto restricted = db->get_table(u"RESTRICTED", 1);
    const udb_foreign_key* self = find_key(db->relationships(), u"FK_RESTRICTED");
    ASSERT_NE(self, nullptr);
    EXPECT_EQ(self->rule_clause, u"ON DELETE RESTRICT ON UPDATE RESTRICT");
    EXPECT_EQ(self->parent_table, u"RESTRICTED");
    EXPECT_EQ(self->parent_schema, u"");
}

TEST_F(keys, ParentInAnotherSchemaIsMarkedAndAnIdentityComesFromTheCatalogue) {
    // K has a PARENT of its own: only the schema tells the two apart.
    auto rs = db->get_table(u"XREF", 1);
    const udb_foreign_key* fk = find_key(db->relationships(), u"FK_XREF");
    ASSERT_NE(fk, nullptr);
    EXPECT_EQ(fk->parent_table, u"PARENT");
    EXPECT_EQ(fk->parent_schema, u"Z");
    // The stand-in answers the column attribute false, as DB2 does.
    EXPECT_TRUE(rs->schema()[0].b_auto_increment);
    EXPECT_FALSE(rs->schema()[1].b_auto_increment);
}

TEST_F(keys, TableOpenedForItsColumnsReadsNoKeys) {
    auto rs = db->get_table(u"CHILD", 2);
    EXPECT_TRUE(rs->indexes().empty());
    EXPECT_TRUE(db->relationships().empty());
    EXPECT_EQ(rs->schema().size(), 5u);
    auto plain = db->get_table(u"NO_KEYS", 1);
    EXPECT_TRUE(plain->indexes().empty());
    EXPECT_EQ(plain->primary_key_index(), -1);
}

TEST(delete_rules, RuleWords) {
    EXPECT_EQ(std::u16string(ora_table::get_delete_rule(SQL_SET_DEFAULT)), u"SET DEFAULT");
    EXPECT_EQ(std::u16string(ora_table::get_delete_rule(SQL_CASCADE)), u"CASCADE");
    EXPECT_EQ(std::u16string(ora_table::get_delete_rule(SQL_NO_ACTION)), u"");
    EXPECT_EQ(std::u16string(ora_table::get_delete_rule(42)), u"");
}

TEST_F(keys, SameKeyNameInTwoTablesMakesTwoKeys) {
    auto t1 = db->get_table(u"T1", 1);
    auto t2 = db->get_table(u"T2", 1);
    auto t1_again = db->get_table(u"T1", 1);
    const udb_relationships& rel = db->relationships();
    ASSERT_EQ(rel.size(), 2u);
    EXPECT_EQ(rel[0].child_table, u"T1");
    EXPECT_EQ(rel[0].child_fields, (udb_names{u"P"}));
    EXPECT_EQ(rel[0].parent_table, u"RESTRICTED");
    EXPECT_EQ(rel[1].child_table, u"T2");
    EXPECT_EQ(rel[1].child_fields, (udb_names{u"Q1", u"Q2", u"Q3"}));
    EXPECT_EQ(rel[1].parent_fields, (udb_names{u"B", u"A", u"C"}));
    EXPECT_EQ(rel[1].rule_clause, u"ON DELETE CASCADE");
}

TEST_F(keys, TablesAreCutIntoRangesOfEqualRowCountsHoweverTheKeysAreSpread) {
    struct row {
        const char16_t* table;
        int parts;
        std::vector<int> rows; // per range
    };
    const row rows[] = {
        {u"SKEWED", 2, {10, 10}},
        {u"SKEWED", 3, {6, 7, 7}},
        {u"SKEWED", 25, std::vector<int>(20, 1)},
        {u"EXTREMES", 2, {3, 3}},
        {u"EXTREMES", 4, {1, 2, 1, 2}},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(std::string(r.table == std::u16string(u"SKEWED") ? "SKEWED" : "EXTREMES") + " in " +
                     std::to_string(r.parts));
        const std::vector<udb_key_range> ranges = db->split_table(r.table, u"ID", r.parts);
        std::vector<int> counts;
        std::vector<long long> keys, all;
        const auto key = [](udb_recordset& rs) {
            const ole_variant& v = (*rs.get_item())[0].value();
            return v.vt() == VT_I8 ? v.i8() : (long long)v.to_long();
        };
        int before = 0;
        for (const udb_key_range& range : ranges) {
            EXPECT_EQ(range.first_row, before);
            before += range.rows;
            counts.push_back(range.rows);
            auto rs = db->get_table_range(r.table, range, 1);
            for (rs->reset(); !rs->is_eof(); rs->next()) keys.push_back(key(*rs));
        }
        EXPECT_EQ(counts, r.rows);
        auto whole = db->get_table(r.table, 1);
        for (whole->reset(); !whole->is_eof(); whole->next()) all.push_back(key(*whole));
        std::sort(all.begin(), all.end());
        EXPECT_EQ(keys, all) << "every row once, in key order";
    }
}
