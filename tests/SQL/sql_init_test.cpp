#include "sql_engi.hpp"
#include "sql_init.hpp"

#include <gtest/gtest.h>

namespace {

constexpr std::uint32_t v3_23_1 = 0x031701;
constexpr std::uint32_t v4_0 = 0x040014;
constexpr std::uint32_t v5_0 = 0x050000;
constexpr std::uint32_t v10_11 = 0x0A0B06;

std::string narrow(const std::u16string& s) {
    std::string out;
    for (char16_t c : s) out += c < 0x80 ? char(c) : '?';
    return out;
}

std::vector<std::string> narrow(const sql_chunks& list) {
    std::vector<std::string> out;
    for (const auto& s : list) out.push_back(narrow(s));
    return out;
}

struct table_def {
    udb_schema schema{true};
    udb_indexes indexes;

    t_ftd& col(const char16_t* name, std::uint16_t vt, std::uint32_t size = 4, bool not_null = false) {
        return schema.add(std::make_unique<t_ftd>(size, name, vt, not_null));
    }
    void index(const char16_t* name, udb_names fields, bool unique = false, bool primary = false) {
        indexes.add(udb_index(name, unique || primary, primary, std::move(fields)));
    }
};

struct built {
    std::vector<std::string> columns;
    std::vector<std::string> keys;
    std::u16string auto_name;
};

built build(const table_def& t) {
    built b;
    sql_schema_initializer columns(u"t", t.schema, t.indexes, b.auto_name);
    sql_chunks list;
    columns.get_init_chunks(list);
    b.columns = narrow(list);
    list.clear();
    sql_indexes_initializer keys(columns.schema(), t.indexes, b.auto_name, columns.names_map());
    keys.get_init_chunks(list);
    b.keys = narrow(list);
    return b;
}

class Definitions : public ::testing::Test {
protected:
    // The session's destructor may raise, which a fixture member cannot.
    std::unique_ptr<sql_engine> engine = std::make_unique<sql_engine>();
    void TearDown() override { engine.reset(); }
    void version(std::uint32_t v) { engine->set_server_version(v); }
};

} // namespace

TEST_F(Definitions, ColumnTextByServerVersion) {
    table_def t;
    t.col(u"name", VT_BSTR, 40, true);
    t.col(u"n", VT_I4);
    version(v5_0);
    EXPECT_EQ(build(t).columns, (std::vector<std::string>{"`name` VARCHAR(40) CHARACTER SET utf8  NOT NULL", "`n` INT"}));
    version(v10_11);
    EXPECT_EQ(build(t).columns[0], "`name` VARCHAR(40) CHARACTER SET utf8mb4  NOT NULL");
    version(v4_0);
    EXPECT_EQ(build(t).columns, (std::vector<std::string>{"name VARCHAR(40) NOT NULL", "n INT"}));
}

TEST_F(Definitions, NotNullDefaultsAutoIncrementAndComments) {
    version(v5_0);
    table_def t;
    t.col(u"id", VT_I4).b_auto_increment = true;
    t.col(u"code", VT_I2);
    t.col(u"qty", VT_I4).default_value = ole_variant(u"5");
    t.col(u"memo", VT_BSTR, 1000).default_value = ole_variant(u"x");
    t.col(u"raw", VT_BYTES, 8).default_value = ole_variant(u"x");
    t.col(u"big", VT_I8).default_value = ole_variant(u"5");
    t.col(u"note", VT_BSTR, 10).comment = u"it's \\ here";
    t.col(u"d", VT_DATE).default_value = ole_variant(u"2004-1-2");
    t.schema[7].reserved = 2;
    t.index(u"pk", {u"code"}, true, true);
    const built b = build(t);
    EXPECT_EQ(b.columns, (std::vector<std::string>{
                             "`id` INT NOT NULL AUTO_INCREMENT",
                             "`code` SMALLINT NOT NULL",
                             "`qty` INT DEFAULT 5",
                             "`memo` TEXT CHARACTER SET utf8 ",
                             "`raw` VARBINARY(8)",
                             "`big` BIGINT",
                             "`note` VARCHAR(10) CHARACTER SET utf8  COMMENT 'it\\'s \\\\ here'",
                             "`d` DATE DEFAULT \"2004-01-02\"",
                         }));
    EXPECT_EQ(b.auto_name, u"id");
    EXPECT_EQ(b.keys, (std::vector<std::string>{"PRIMARY KEY (`code`)", "INDEX `id` (`id`)"}));

    // Before 3.23.2 every index column is NOT NULL.
    version(v3_23_1);
    table_def old;
    old.col(u"a", VT_I4);
    old.index(u"ia", {u"a"});
    EXPECT_EQ(build(old).columns[0], "a INT NOT NULL");

    table_def two;
    two.col(u"a", VT_I4).b_auto_increment = true;
    two.col(u"b", VT_I4).b_auto_increment = true;
    version(v5_0);
    EXPECT_THROW(build(two), tk_mail_assertion) << "one auto-increment column per table";

    table_def text_auto;
    text_auto.col(u"a", VT_BSTR, 5).b_auto_increment = true;
    text_auto.schema[0].default_value = ole_variant(u"x");
    const built ta = build(text_auto);
    EXPECT_EQ(ta.columns[0], "`a` VARCHAR(5) CHARACTER SET utf8  NOT NULL") << "neither AUTO_INCREMENT nor DEFAULT";
    EXPECT_TRUE(ta.keys.empty());
}

TEST_F(Definitions, AutoIncrementKeys) {
    version(v5_0);
    table_def pk;
    pk.col(u"id", VT_I4).b_auto_increment = true;
    pk.index(u"p", {u"ID"}, true, true);
    EXPECT_EQ(build(pk).keys, (std::vector<std::string>{"PRIMARY KEY (`ID`)"}));

    // A key that is dropped does not cover the column; an index named like it is avoided.
    table_def dropped;
    dropped.col(u"id", VT_I4).b_auto_increment = true;
    dropped.col(u"memo", VT_BSTR, 300);
    dropped.index(u"id", {u"id", u"memo"});
    EXPECT_EQ(build(dropped).keys, (std::vector<std::string>{"INDEX `id00000` (`id`)"}));

    // Nor does a key in which it is not the first column.
    table_def second;
    second.col(u"a", VT_I4);
    second.col(u"id", VT_I4).b_auto_increment = true;
    second.index(u"ia", {u"a", u"id"});
    EXPECT_EQ(build(second).keys, (std::vector<std::string>{"INDEX `ia` (`a`, `id`)", "INDEX `id` (`id`)"}));
}

TEST_F(Definitions, KeyLengthAndBlobColumns) {
    table_def t;
    t.col(u"v255", VT_BSTR, 255);
    t.col(u"v256", VT_BSTR, 256);
    t.col(u"a", VT_BSTR, 200);
    t.col(u"b", VT_BSTR, 200);
    t.col(u"blob", VT_BLOB, 10);
    t.col(u"bin", VT_BYTES, 16);
    t.col(u"binlong", VT_BYTES, 300);
    t.index(u"i255", {u"v255"});
    t.index(u"i256", {u"v256"});
    t.index(u"iab", {u"a", u"b"});
    t.index(u"iblob", {u"blob"});
    t.index(u"ibin", {u"bin"}, true);
    t.index(u"ibinlong", {u"binlong"});
    t.index(u"imix", {u"v255", u"bin", u"a"});
    version(v5_0);
    EXPECT_EQ(build(t).keys, (std::vector<std::string>{"INDEX `i255` (`v255`)", "INDEX `iab` (`a`, `b`)",
                                                       "UNIQUE `ibin` (`bin`)", "INDEX `imix` (`v255`, `bin`, `a`)"}));
    version(v4_0);
    // 400 > 256; byte arrays are BLOB kinds before 4.1.2.
    EXPECT_EQ(build(t).keys, (std::vector<std::string>{"INDEX i255 (v255)"}));
}

TEST_F(Definitions, IndexCountAndColumnLimits) {
    table_def t;
    t.col(u"a", VT_I4);
    udb_names seventeen(17, u"a");
    t.index(u"wide", seventeen);
    for (int i = 0; i < 40; ++i) t.index((u"i" + std::u16string(1, char16_t(u'A' + i))).c_str(), {u"a"});
    version(v5_0);
    const built b = build(t);
    ASSERT_EQ(b.keys.size(), 31u) << "the 17-column index is not counted";
    EXPECT_EQ(b.keys.front(), "INDEX `iA` (`a`)");
    version(v4_0);
    EXPECT_EQ(build(t).keys.size(), 15u);
}

TEST_F(Definitions, RenamedColumnsAndIndexes) {
    version(v4_0);
    table_def t;
    t.col(u"order", VT_I4);
    t.col(u"Total Sales", VT_I4);
    t.index(u"key", {u"ORDER", u"total sales"});
    const built b = build(t);
    EXPECT_EQ(b.columns, (std::vector<std::string>{"order00000 INT", "Total_Sales INT"}));
    EXPECT_EQ(b.keys, (std::vector<std::string>{"INDEX key00000 (order00000, Total_Sales)"}));

    // New servers keep such names and quote them; backquotes inside are doubled.
    version(v10_11);
    table_def q;
    q.col(u"a`b", VT_I4);
    q.col(u"A`B", VT_I4);
    q.col(u"c", VT_I4);
    q.col(u"C", VT_I4);
    q.index(u"i`x", {u"a`b"}, true);
    q.index(u"ic", {u"c"});
    q.index(u"iC", {u"C"});
    const built nb = build(q);
    EXPECT_EQ(nb.columns, (std::vector<std::string>{"`a_b` INT", "`A_B00000` INT", "`c` INT", "`C00000` INT"}));
    // Columns that differ only in letter case keep their own indexes.
    EXPECT_EQ(nb.keys, (std::vector<std::string>{"UNIQUE `i_x` (`a_b`)", "INDEX `ic` (`c`)", "INDEX `iC00000` (`C00000`)"}));
}
