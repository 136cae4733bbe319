#include "dmp_fixture.hpp"

#include <gtest/gtest.h>

using namespace dmp_test;

namespace {

class KeysAndViews : public dump_test {
protected:
    table_def parent;
    table_def child;
    udb_relationships keys;

    KeysAndViews() {
        parent.col(u"id", VT_I4, 4, true);
        parent.index(u"pk", {u"id"}, true, true);
        child.col(u"id", VT_I4, 4, true);
        child.col(u"Parent#Id", VT_I4, 4);
        keys.add(udb_foreign_key(u"fk_child", u"pk_child", u"child", u"parent", {u"Parent#Id"}, {u"id"},
                                 u"ON DELETE CASCADE"));
    }

    // Creates both tables (the child under `child_name`) and the keys; the file's text.
    std::string write(const dmp_options& options, const std::u16string& child_name = u"child") {
        const std::u16string path = dir.file("keys.sql");
        {
            dmp_database db(path, options);
            db.create_table(u"parent", parent.schema, parent.indexes)->finish();
            if (child_name != u"child") db.names_map().add_tn_mapping(u"child", child_name);
            db.create_table(child_name, child.schema, child.indexes)->finish();
            db.create_relationships(keys);
        }
        return read_file(path);
    }
};

} // namespace

TEST_F(KeysAndViews, ForeignKeyGetsAnIndexWhenTheChildHasNone) {
    const std::string text = write(lf_options());
    const std::string block = "UNLOCK TABLES;\n\nSET FOREIGN_KEY_CHECKS = 0;\n"
                              "ALTER TABLE `child` ADD INDEX (`Parent_Id`);\n"
                              "ALTER TABLE `child` ADD CONSTRAINT `fk_child` FOREIGN KEY(`Parent_Id`) "
                              "REFERENCES `parent`(`id`) ON DELETE CASCADE;\n"
                              "SET FOREIGN_KEY_CHECKS = 1;\n";
    EXPECT_NE(text.find(block), std::string::npos) << text;
}

TEST_F(KeysAndViews, ForeignKeyUsesAnExistingChildIndexOfAnyCase) {
    child.index(u"ix", {u"PARENT#ID", u"id"});
    const std::string text = write(lf_options(), u"kid");
    EXPECT_EQ(text.find("ADD INDEX"), std::string::npos) << text;
    EXPECT_NE(text.find("ALTER TABLE `kid` ADD CONSTRAINT `fk_child` FOREIGN KEY(`Parent_Id`) REFERENCES `parent`(`id`) ON DELETE CASCADE;"),
              std::string::npos)
        << text;
}

TEST_F(KeysAndViews, OldDialectWritesNoForeignKeys) {
    dmp_options options = lf_options();
    options.b_new_version = false;
    const std::string text = write(options);
    EXPECT_EQ(text.find("FOREIGN"), std::string::npos);
    EXPECT_EQ(text.find("ALTER TABLE"), std::string::npos);
}

TEST_F(KeysAndViews, ViewTextIsMovedToMySqlFormAndDestinationNames) {
    dmp_database db(dir.file("v.sql"), lf_options());
    EXPECT_EQ(db.refine_view_in(u"SELECT ISNULL(a, 0) FROM [t]"), u"SELECT ifnull(a, 0) FROM `t`");
    EXPECT_EQ(db.refine_view_in(u"select isnull(a) from t"), u"select isnull(a) from t");
    EXPECT_EQ(db.refine_view_in(u"select IsNull(f(x, y), b), isnull(c,d) from t"),
              u"select IsNull(f(x, y), b), ifnull(c,d) from t");
    // Blank runs collapse outside literals only; a quote of the other kind does not end one.
    EXPECT_EQ(db.refine_view_in(u"select\r\n  a,\t\t'x  \"  y'  ,\"p '  q\"\nfrom  t"),
              u"select a, 'x  \"  y' ,\"p '  q\" from t");

    table_def t;
    t.col(u"a#1", VT_I4);
    db.names_map().add_tn_mapping(u"SRC", u"dest");
    db.create_table(u"dest", t.schema, t.indexes)->finish();
    EXPECT_EQ(db.refine_view_in(u"select a#1 from SRC"), u"select `a_1` from `dest`");
}

TEST_F(KeysAndViews, ViewsAreWrittenInNameOrderAndNonSelectTextsSkipped) {
    const std::u16string path = dir.file("v.sql");
    {
        dmp_database db(path, lf_options());
        db.create_table(u"t", parent.schema, parent.indexes)->finish();
        udb_query_map views = {
            {u"b", u"select id from t"},
            {u"a", u"SELECT  id\nFROM t"},
            {u"blank", u"  select 1"},
            {u"upd", u"update t set id = 1"},
            {u"v.x", u"select 2"},
        };
        db.create_views(views);
        EXPECT_EQ(db.names_map().get_tn_mapped_name(u"v.x", true), u"v_x");
    }
    const std::string text = read_file(path);
    EXPECT_NE(text.find("UNLOCK TABLES;\nCREATE OR REPLACE VIEW `a` AS SELECT id FROM t;\n"
                        "CREATE OR REPLACE VIEW `b` AS select id from t;\n"
                        "CREATE OR REPLACE VIEW `v_x` AS select 2;\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("VIEW `blank`"), std::string::npos);
    EXPECT_EQ(text.find("update"), std::string::npos);
}
