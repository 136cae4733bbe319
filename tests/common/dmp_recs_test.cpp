#include "dmp_fixture.hpp"

#include "sql_util.hpp"
#include "tk_excp.hpp"

#include <gtest/gtest.h>

using namespace dmp_test;

namespace {

class Rows : public dump_test {
protected:
    table_def t;
    Rows() {
        t.col(u"id", VT_I4, 4, true);
        t.col(u"note", VT_BSTR, 200);
    }
};

// The INSERT statements of a file, each without its ";\n".
std::vector<std::string> statements(const std::string& text) {
    std::vector<std::string> out;
    for (const std::string& line : lines_of(text)) {
        if (line.rfind("INSERT INTO", 0) == 0) {
            EXPECT_EQ(line.back(), ';');
            out.push_back(line.substr(0, line.size() - 1));
        }
    }
    return out;
}

} // namespace

TEST_F(Rows, LongTablesSplitPastTheLimitWithTheColumnListRepeated) {
    const std::u16string path = dir.file("big.sql");
    const std::u16string note(150, u'x');
    const int total = 20000; // about 3.3 MB of values
    {
        dmp_database db(path, lf_options());
        auto rs = db.create_table(u"t", t.schema, t.indexes);
        auto record = row(t, {ole_variant(0), ole_variant(note)});
        for (int i = 1; i <= total; ++i) {
            (*record)[0].set_value(ole_variant(i));
            rs->append_record(*record);
        }
        rs->finish();
    }
    const std::vector<std::string> list = statements(read_file(path));
    ASSERT_GE(list.size(), 3u);
    const std::string head = "INSERT INTO `t`(`id`, `note`) VALUES(";
    std::size_t rows = 0;
    int expected_id = 1;
    for (std::size_t s = 0; s < list.size(); ++s) {
        const std::string& statement = list[s];
        ASSERT_EQ(statement.rfind(head, 0), 0u) << "statement " << s;
        // Every statement but the last ended right after the row that passed the limit.
        if (s + 1 < list.size()) {
            EXPECT_GT(statement.size(), dmp_recordset::statement_limit);
            EXPECT_LT(statement.size(), dmp_recordset::statement_limit + 200);
        }
        // Rows in order, separated by ", (" and without a column list of their own.
        std::size_t at = head.size() - 1;
        while (at < statement.size()) {
            const std::string prefix = "(" + std::to_string(expected_id) + ", '";
            ASSERT_EQ(statement.compare(at, prefix.size(), prefix), 0) << "row " << expected_id;
            at = statement.find("')", at);
            ASSERT_NE(at, std::string::npos);
            at += 2;
            ++rows;
            ++expected_id;
            if (at < statement.size()) {
                ASSERT_EQ(statement.compare(at, 2, ", "), 0);
                at += 2;
            }
        }
    }
    EXPECT_EQ(rows, std::size_t(total));
}

TEST_F(Rows, OneRowIsWrittenAtFinishAndNothingWithoutFinish) {
    const std::u16string path = dir.file("one.sql");
    {
        dmp_options options = lf_options();
        options.b_new_version = false;
        dmp_database db(path, options);
        auto rs = db.create_table(u"t", t.schema, t.indexes);
        rs->append_record(*row(t, {ole_variant(7), ole_variant(u"seven")}));
        rs->finish();
        rs.reset();
        // A recordset given up without finish (its table failed) writes nothing more.
        auto dropped = db.create_table(u"u", t.schema, t.indexes);
        dropped->append_record(*row(t, {ole_variant(8), ole_variant(u"eight")}));
    }
    const std::vector<std::string> list = statements(read_file(path));
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0], "INSERT INTO t(id, note) VALUES(7, 'seven')");
}

TEST_F(Rows, ARowLackingASourceColumnFailsAndLeavesTheStatementIntact) {
    const std::u16string path = dir.file("missing.sql");
    {
        dmp_database db(path, lf_options());
        auto rs = db.create_table(u"t", t.schema, t.indexes);
        rs->append_record(*row(t, {ole_variant(1), ole_variant(u"a")}));
        udb_record partial;
        partial.add(std::make_unique<udb_field>(u"id", 4, ole_variant(2)));
        try {
            rs->append_record(partial);
            ADD_FAILURE() << "no exception";
        } catch (const tk_exception& e) {
            EXPECT_EQ(e.level(), tk_level_item);
            EXPECT_EQ(std::string(e.what()).rfind("Generic error occurred while migrating the data.\nContact to ", 0),
                      0u);
        }
        rs->append_record(*row(t, {ole_variant(3), ole_variant(u"c")}));
        rs->finish();
    }
    const std::vector<std::string> list = statements(read_file(path));
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0], "INSERT INTO `t`(`id`, `note`) VALUES(1, 'a'), (3, 'c')");
}

TEST_F(Rows, FieldsAreFoundByTheirSourceNamesWhateverTheirOrder) {
    // A column the validator renames keeps its source name in the rows.
    table_def renamed;
    renamed.col(u"a#b", VT_I4, 4, true);
    renamed.col(u"c", VT_I4, 4, true);
    const std::u16string path = dir.file("order.sql");
    {
        dmp_database db(path, lf_options());
        auto rs = db.create_table(u"t", renamed.schema, renamed.indexes);
        udb_record swapped;
        swapped.add(std::make_unique<udb_field>(u"C", 4, ole_variant(2)));
        swapped.add(std::make_unique<udb_field>(u"a#b", 4, ole_variant(1)));
        rs->append_record(swapped);
        rs->finish();
    }
    const std::vector<std::string> list = statements(read_file(path));
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0], "INSERT INTO `t`(`a_b`, `c`) VALUES(1, 2)");
}

TEST_F(Rows, NullsAndZerosKeepTheirLiterals) {
    table_def n;
    n.col(u"id", VT_I4, 4, false);
    n.col(u"s", VT_BSTR, 10, false);
    const std::u16string path = dir.file("null.sql");
    {
        dmp_database db(path, lf_options());
        auto rs = db.create_table(u"t", n.schema, n.indexes);
        rs->append_record(*row(n, {ole_variant(), ole_variant()}));
        rs->append_record(*row(n, {ole_variant(0), ole_variant(u"")}));
        rs->finish();
    }
    const std::vector<std::string> list = statements(read_file(path));
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0], "INSERT INTO `t`(`id`, `s`) VALUES(NULL, NULL), (0, \"\")");
}
