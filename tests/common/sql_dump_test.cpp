#include "dmp_fixture.hpp"

#include "sql_util.hpp"
#include "tk_excp.hpp"

#include <gtest/gtest.h>

#include <regex>

using namespace dmp_test;

namespace {

// The orders table of the layout examples: two columns, one index, two rows.
struct orders_table : table_def {
    orders_table() {
        col(u"id", VT_I4, 4, true);
        col(u"name", VT_BSTR, 10);
        index(u"ix_name", {u"name"});
    }
};

// Writes the orders table with its two rows and ends the dump; the file's text.
std::string write_orders(const std::u16string& path, const dmp_options& options) {
    orders_table t;
    {
        dmp_database db(path, options);
        auto rs = db.create_table(u"orders", t.schema, t.indexes);
        rs->append_record(*row(t, {ole_variant(1), ole_variant(u"a")}));
        rs->append_record(*row(t, {ole_variant(2), ole_variant(u"b")}));
        rs->finish();
    }
    return read_file(path);
}

std::size_t count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

class Layout : public dump_test {};

} // namespace

TEST_F(Layout, OldDialectWithCommentsAndLockMatchesTheSample) {
    dmp_options options = lf_options();
    options.b_new_version = false;
    const std::u16string path = dir.file("orders.sql");
    const std::vector<std::string> lines = lines_of(write_orders(path, options));

    ASSERT_EQ(lines.size(), 26u);
    EXPECT_EQ(lines[0], "# File name: " + dir.path() + "/orders.sql");
    EXPECT_TRUE(std::regex_match(lines[1], std::regex("# Creation date: [01][0-9]/[0-3][0-9]/20[0-9][0-9]")))
        << lines[1];
    EXPECT_EQ(lines[2], "# Created by Dunmere tests");
    EXPECT_EQ(lines[3], "# " + std::string(50, '-'));
    EXPECT_EQ(lines[4].rfind("# More conversion tools at ", 0), 0u);
    const std::vector<std::string> rest(lines.begin() + 5, lines.end() - 2);
    const std::vector<std::string> expected = {
        "",
        "#",
        "# Table structure for table 'orders'",
        "#",
        "",
        "DROP TABLE IF EXISTS orders;",
        "CREATE TABLE orders (",
        "  id INT NOT NULL,",
        "  name VARCHAR(10) NOT NULL,",
        "  INDEX ix_name (name)",
        ") TYPE=MyISAM;",
        "",
        "#",
        "# Dumping data for table 'orders'",
        "#",
        "",
        "LOCK TABLES orders WRITE;",
        "INSERT INTO orders(id, name) VALUES(1, 'a'), (2, 'b');",
        "UNLOCK TABLES;",
    };
    EXPECT_EQ(rest, expected);
    // The last line tells a complete dump from a cut one.
    EXPECT_EQ(lines[24], "");
    EXPECT_TRUE(std::regex_match(lines[25], std::regex("-- Dump completed on 20[0-9][0-9]-[01][0-9]-[0-3][0-9] "
                                                        "[0-2][0-9]:[0-5][0-9]:[0-5][0-9]")))
        << lines[25];
}

TEST_F(Layout, NewDialectQuotesNamesSetsTheSessionAndUsesUtf8mb4) {
    engine->set_innodb(true);
    const std::u16string path = dir.file("orders.sql");
    const std::string text = write_orders(path, lf_options());
    const std::vector<std::string> lines = lines_of(text);

    ASSERT_GT(lines.size(), 8u);
    // Right after the header: the loading session's character set and sql_mode, in versioned
    // comments; the closing line gives the session its mode back.
    EXPECT_EQ(lines[5], "/*!40101 SET NAMES utf8 */;");
    EXPECT_EQ(lines[6], "/*!50503 SET NAMES utf8mb4 */;");
    EXPECT_EQ(lines[7].rfind("/*!40101 SET @OLD_SQL_MODE=@@SQL_MODE, SQL_MODE=", 0), 0u);
    EXPECT_NE(lines[7].find("NO_AUTO_VALUE_ON_ZERO"), std::string::npos);
    EXPECT_EQ(lines.back().rfind("-- Dump completed on ", 0), 0u);
    EXPECT_EQ(lines[lines.size() - 3], "/*!40101 SET SQL_MODE=@OLD_SQL_MODE */;");
    EXPECT_EQ(lines[lines.size() - 4], "UNLOCK TABLES;");

    EXPECT_NE(text.find("DROP TABLE IF EXISTS `orders`;\nCREATE TABLE `orders` (\n  `id` INT NOT NULL,\n"
                        "  `name` VARCHAR(10) CHARACTER SET utf8mb4 ,\n  INDEX `ix_name` (`name`)\n) ENGINE=InnoDB;\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("LOCK TABLES `orders` WRITE;\nINSERT INTO `orders`(`id`, `name`) VALUES(1, 'a'), (2, 'b');\n"),
              std::string::npos);
    EXPECT_EQ(engine->server_version(), sql_ver_utf8mb4);
}

TEST_F(Layout, NewDialectNamesInnoDBWhateverTheSession) {
    // Without a server the session knows no InnoDB; the dump's foreign keys still need it.
    engine->set_innodb(false);
    EXPECT_NE(write_orders(dir.file("a.sql"), lf_options()).find(") ENGINE=InnoDB;\n"), std::string::npos);
}

TEST_F(Layout, WithoutCommentsNoHashLinesAndTheFileStartsWithStatements) {
    dmp_options options = lf_options();
    options.b_comments = false;
    const std::string new_text = write_orders(dir.file("new.sql"), options);
    EXPECT_EQ(new_text.find('#'), std::string::npos);
    EXPECT_EQ(new_text.rfind("/*!40101 SET NAMES utf8 */;\n", 0), 0u);

    options.b_new_version = false;
    const std::string old_text = write_orders(dir.file("old.sql"), options);
    EXPECT_EQ(old_text.find('#'), std::string::npos);
    EXPECT_EQ(old_text.rfind("DROP TABLE IF EXISTS orders;\n", 0), 0u) << old_text;
}

TEST_F(Layout, DatabaseBlockNeedsCreateTableAndTakesTheFileBaseName) {
    dmp_options options = lf_options();
    options.b_create_database = true;
    const std::string with = write_orders(dir.file("shop.sql"), options);
    EXPECT_NE(with.find("\n\nDROP DATABASE IF EXISTS `shop`;\nCREATE DATABASE `shop`;\nUSE `shop`;\n"),
              std::string::npos)
        << with;
    EXPECT_LT(with.find("USE `shop`;"), with.find("DROP TABLE IF EXISTS"));

    options.b_new_version = false;
    EXPECT_NE(write_orders(dir.file("shop.sql"), options).find("USE shop;\n"), std::string::npos);

    // Without create table: neither the database block nor any table structure, but the rows.
    options.b_create_table = false;
    const std::string rows_only = write_orders(dir.file("shop.sql"), options);
    EXPECT_EQ(rows_only.find("DATABASE"), std::string::npos);
    EXPECT_EQ(rows_only.find("CREATE TABLE"), std::string::npos);
    EXPECT_EQ(rows_only.find("DROP TABLE"), std::string::npos);
    EXPECT_EQ(rows_only.find("Table structure"), std::string::npos);
    EXPECT_NE(rows_only.find("# Dumping data for table 'orders'"), std::string::npos);
    EXPECT_NE(rows_only.find("INSERT INTO orders(id, name) VALUES(1, 'a'), (2, 'b');"), std::string::npos);
}

TEST_F(Layout, WithoutLockNoLockStatements) {
    dmp_options options = lf_options();
    options.b_lock_for_write = false;
    const std::string text = write_orders(dir.file("a.sql"), options);
    EXPECT_EQ(text.find("LOCK TABLES"), std::string::npos);
    EXPECT_FALSE(engine->tables_locked());
}

TEST_F(Layout, LineBreaksCrLfEverywhereOrNoCrAtAll) {
    for (bool new_version : {true, false}) {
        dmp_options options = lf_options();
        options.b_new_version = new_version;
        options.b_create_database = true;
        const std::string lf = write_orders(dir.file("lf.sql"), options);
        EXPECT_EQ(lf.find('\r'), std::string::npos);

        options.line_break = 0;
        const std::string crlf = write_orders(dir.file("crlf.sql"), options);
        ASSERT_FALSE(crlf.empty());
        EXPECT_EQ(crlf.substr(crlf.size() - 2), "\r\n");
        EXPECT_EQ(count(crlf, "\n"), count(crlf, "\r\n"));
        EXPECT_EQ(count(crlf, "\r"), count(crlf, "\r\n"));
        EXPECT_EQ(count(crlf, "\r\n"), count(lf, "\n")) << "same lines, other breaks";
    }
}

TEST_F(Layout, TablesFollowEachOtherAndEachUnlocksThePrevious) {
    orders_table t;
    const std::u16string path = dir.file("two.sql");
    {
        dmp_database db(path, lf_options());
        auto first = db.create_table(u"a", t.schema, t.indexes);
        first->append_record(*row(t, {ole_variant(1), ole_variant(u"x")}));
        first->finish();
        first.reset();
        auto second = db.create_table(u"b", t.schema, t.indexes);
        second->finish();
        // A second table of the same name is a fault of the caller.
        EXPECT_THROW(db.create_table(u"B", t.schema, t.indexes), tk_mail_assertion);
        EXPECT_THROW(db.get_table(u"a", 1), tk_mail_assertion);
        EXPECT_EQ(db.get_query(u"q", u"select 1", 1), nullptr);
        EXPECT_FALSE(db.query(u"select 1"));
    }
    const std::string text = read_file(path);
    const std::size_t lock_a = text.find("LOCK TABLES `a` WRITE;");
    const std::size_t insert_a = text.find("INSERT INTO `a`");
    const std::size_t unlock = text.find("UNLOCK TABLES;");
    const std::size_t drop_b = text.find("DROP TABLE IF EXISTS `b`;");
    EXPECT_LT(lock_a, insert_a);
    EXPECT_LT(insert_a, unlock);
    EXPECT_LT(unlock, drop_b);
    EXPECT_EQ(count(text, "UNLOCK TABLES;"), 2u);
    EXPECT_EQ(text.find("INSERT INTO `b`"), std::string::npos) << "a table without rows has no INSERT";
}

TEST_F(Layout, StatementThroughTheDatabaseUnlocksFirst) {
    orders_table t;
    const std::u16string path = dir.file("q.sql");
    {
        dmp_database db(path, lf_options());
        auto rs = db.create_table(u"a", t.schema, t.indexes);
        rs->finish();
        EXPECT_EQ(db.query_rows(u"SET @x = 1"), nullptr);
    }
    EXPECT_NE(read_file(path).find("LOCK TABLES `a` WRITE;\nUNLOCK TABLES;\nSET @x = 1;\n"), std::string::npos);
}

TEST_F(Layout, NamesWithBackquotesAreDoubledEverywhere) {
    table_def t;
    t.col(u"c`1", VT_I4, 4, true);
    t.index(u"i`x", {u"c`1"});
    const std::u16string path = dir.file("q.sql");
    {
        dmp_database db(path, lf_options());
        auto rs = db.create_table(u"t`x", t.schema, t.indexes);
        rs->append_record(*row(t, {ole_variant(5)}));
        rs->finish();
    }
    const std::string text = read_file(path);
    EXPECT_NE(text.find("DROP TABLE IF EXISTS `t``x`;"), std::string::npos) << text;
    EXPECT_NE(text.find("LOCK TABLES `t``x` WRITE;"), std::string::npos);
    EXPECT_NE(text.find("INSERT INTO `t``x`("), std::string::npos);
}

TEST_F(Layout, TextReachesTheFileAsUtf8) {
    table_def t;
    t.col(u"n\u00e4me", VT_BSTR, 20);
    const std::u16string path = dir.file("u.sql");
    {
        dmp_database db(path, lf_options());
        auto rs = db.create_table(u"t\u00f6", t.schema, t.indexes);
        rs->append_record(*row(t, {ole_variant(u"O'Brien \U0001F600")}));
        rs->finish();
    }
    const std::string text = read_file(path);
    EXPECT_NE(text.find("INSERT INTO `t\xc3\xb6`(`n\xc3\xa4me`) VALUES('O\\'Brien \xf0\x9f\x98\x80');"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("# Table structure for table 't\xc3\xb6'"), std::string::npos);
}

TEST_F(Layout, ATableWhoseDefinitionsFailLeavesNothingOfItself) {
    table_def bad;
    bad.col(u"a", VT_I4, 4, true).b_auto_increment = true;
    bad.col(u"b", VT_I4, 4, true).b_auto_increment = true;
    orders_table good;
    const std::u16string path = dir.file("bad.sql");
    {
        dmp_database db(path, lf_options());
        EXPECT_THROW(db.create_table(u"bad", bad.schema, bad.indexes), tk_mail_assertion);
        db.create_table(u"good", good.schema, good.indexes)->finish();
    }
    const std::string text = read_file(path);
    EXPECT_EQ(text.find("`bad`"), std::string::npos) << text;
    EXPECT_EQ(text.find("'bad'"), std::string::npos);
    EXPECT_NE(text.find("CREATE TABLE `good`"), std::string::npos);
}

TEST_F(Layout, ADumpThatOutlivesTheSessionStillReachesTheFile) {
    orders_table t;
    const std::u16string path = dir.file("late.sql");
    auto db = std::make_unique<dmp_database>(path, lf_options());
    auto rs = db->create_table(u"orders", t.schema, t.indexes);
    rs->append_record(*row(t, {ole_variant(1), ole_variant(u"a")}));
    rs->finish();
    rs.reset();
    engine.reset();
    db.reset();
    const std::string text = read_file(path);
    EXPECT_NE(text.find("INSERT INTO `orders`(`id`, `name`) VALUES(1, 'a');\n"), std::string::npos) << text;
}
