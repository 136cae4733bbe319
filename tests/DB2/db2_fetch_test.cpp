// Block fetching, large objects, custom queries, and failures in the middle of a table.

#include "db2_db.hpp"
#include "db2_fixture.hpp"
#include "db2_recs.hpp"

#include "tk_utils.hpp"

#include <gtest/gtest.h>

using namespace db2_test;

namespace {

std::string rows_script() {
    std::string s = "CREATE SCHEMA F;\nSET SCHEMA F;\n"
                    "CREATE TABLE R250 (N INTEGER NOT NULL, T VARCHAR(20), PRIMARY KEY (N));\n"
                    "CREATE TABLE LOBS (ID INTEGER NOT NULL, CL CLOB(2M), DCL DBCLOB(1M), X XML, "
                    "BL BLOB(2M), PRIMARY KEY (ID));\n";
    for (int n = 1; n <= 250; ++n)
        s += "INSERT INTO R250 VALUES (" + std::to_string(n) + ", 'row " + std::to_string(n) + "');\n";
    s += "INSERT INTO LOBS VALUES (1, NULL, NULL, NULL, NULL);\n";
    s += "INSERT INTO LOBS VALUES (3, '', '', '<e/>', X'');\n";
    return s;
}

// 1 MiB values: the text mixes one- to four-byte characters so that bytes and UTF-16 units differ.
std::u16string big_clob() {
    std::u16string s;
    while (s.size() < 600000) s += u"abc\u00e9\u6f22\U0001F600";
    return s;
}
std::u16string big_dbclob() { return std::u16string(1u << 19, u'\u0436'); }
std::u16string big_xml() { return u"<r>" + std::u16string((1u << 20) - 7, u'x') + u"</r>"; }
std::vector<std::uint8_t> big_blob() {
    std::vector<std::uint8_t> b(1u << 20);
    for (std::size_t i = 0; i < b.size(); ++i) b[i] = std::uint8_t(i * 7 + i / 256);
    return b;
}

std::u16string hex(const std::vector<std::uint8_t>& bytes) {
    static const char16_t digits[] = u"0123456789ABCDEF";
    std::u16string out;
    out.reserve(bytes.size() * 2);
    for (auto b : bytes) {
        out.push_back(digits[b >> 4]);
        out.push_back(digits[b & 15]);
    }
    return out;
}

// A long text as DB2 takes it: string constants end at 32672 bytes, so the value is written as
// casts of shorter pieces joined by ||.
std::u16string lob_literal(const char16_t* cast, const std::u16string& text) {
    std::u16string out;
    std::size_t bytes = 0, start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        const bool end = i == text.size();
        const bool low_surrogate = !end && text[i] >= 0xDC00 && text[i] <= 0xDFFF;
        if (end || (bytes >= 30000 && !low_surrogate)) {
            if (!out.empty()) out += u" || ";
            out += std::u16string(cast) + u"('" + text.substr(start, i - start) + u"')";
            start = i;
            bytes = 0;
        }
        if (!end) bytes += text[i] < 0x80 ? 1 : 3;
    }
    return out;
}

// Watches the free-locators attribute on its way to the client, or refuses it like a client
// that does not know it.
SQLSetStmtAttrW_fn g_set_attr = nullptr;
bool g_refuse_free_locators = false;
int g_free_locators_set = 0;

SQLRETURN watching_set_attr(SQLHSTMT statement, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER length) {
    if (attribute == SQL_ATTR_FREE_LOCATORS_ON_FETCH) {
        if (g_refuse_free_locators) return SQL_ERROR;
        if (reinterpret_cast<std::uintptr_t>(value) == SQL_TRUE) ++g_free_locators_set;
    }
    return g_set_attr(statement, attribute, value, length);
}

class fetching : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        create_database("FETCH", rows_script());
        auto engine = connect(u"FETCH");
        engine->execute(u"INSERT INTO F.LOBS VALUES (2, " + lob_literal(u"CLOB", big_clob()) + u", " +
                        lob_literal(u"DBCLOB", big_dbclob()) + u", XMLPARSE(DOCUMENT " +
                        lob_literal(u"CLOB", big_xml()) + u"), X'" + hex(big_blob()) + u"')");
    }
    void SetUp() override {
        engine = connect(u"FETCH");
        db = engine->open_db(u"F", u"", u"");
    }
    std::unique_ptr<db2_engine> engine;
    std::unique_ptr<db2_database> db;
};

} // namespace

TEST_F(fetching, TwoHundredFiftyRowsComeInBlocksOf100_100_50) {
    auto table = db->get_table(u"R250", 1);
    auto& rs = static_cast<db2_recordset&>(*table);
    EXPECT_EQ(rs.record_count(), 250);
    rs.reset();
    std::vector<std::uint32_t> blocks;
    std::uint32_t seen_fetches = 0;
    int rows = 0;
    while (!rs.is_eof()) {
        if (rs.fetch_count() != seen_fetches) {
            seen_fetches = rs.fetch_count();
            blocks.push_back(rs.rows_fetched());
        }
        const udb_record* row = rs.get_item();
        ASSERT_NE(row, nullptr);
        ++rows;
        EXPECT_EQ((*row)[0].i4(), rows);
        EXPECT_EQ((*row)[1].text(), u"row " + tk_ascii_to_wide(std::to_string(rows)));
        rs.next();
        if (rows == 250) {
            EXPECT_TRUE(rs.is_eof()) << "eof right after the 250th next";
        }
    }
    EXPECT_EQ(rows, 250);
    EXPECT_EQ(blocks, (std::vector<std::uint32_t>{100, 100, 50}));
    EXPECT_EQ(rs.get_item(), nullptr);
}

TEST_F(fetching, LargeObjectsOfOneMegabyteArriveWhole) {
    auto rs = db->get_table(u"LOBS", 1);
    rs->reset();
    int rows = 0;
    for (; !rs->is_eof(); rs->next(), ++rows) {
        const udb_record* row = rs->get_item();
        ASSERT_NE(row, nullptr);
        const udb_record& r = *row;
        switch (r[0].i4()) {
        case 1: // every large object NULL
            for (std::size_t i = 1; i < r.size(); ++i) EXPECT_EQ(r[i].vt(), VT_EMPTY) << i;
            break;
        case 2:
            EXPECT_EQ(r[1].text().size(), big_clob().size());
            EXPECT_TRUE(r[1].text() == big_clob());
            EXPECT_EQ(r[2].text().size(), big_dbclob().size());
            EXPECT_TRUE(r[2].text() == big_dbclob());
            EXPECT_EQ(r[3].text().size(), big_xml().size());
            EXPECT_TRUE(r[3].text() == big_xml());
            EXPECT_EQ(r[4].vt(), VT_BYTES);
            EXPECT_EQ(r[4].bytes().size(), big_blob().size());
            EXPECT_TRUE(r[4].bytes() == big_blob());
            break;
        case 3: // empty values are empty, not NULL
            EXPECT_EQ(r[1].vt(), VT_BSTR);
            EXPECT_TRUE(r[1].text().empty());
            EXPECT_TRUE(r[2].text().empty());
            EXPECT_TRUE(r[3].text() == u"<e/>");
            EXPECT_EQ(r[4].vt(), VT_BYTES);
            EXPECT_TRUE(r[4].bytes().empty());
            break;
        default:
            ADD_FAILURE() << "unexpected row " << r[0].i4();
        }
    }
    EXPECT_EQ(rows, 3);
}

TEST_F(fetching, CustomQueryDescribesItsColumns) {
    auto rs = db->get_query(u"TOP", u"SELECT N, T AS LABEL, N * 2 AS TWICE FROM F.R250 WHERE N <= 3 ORDER BY N", 1);
    EXPECT_TRUE(rs->is_query());
    EXPECT_EQ(rs->name(), u"TOP");
    EXPECT_EQ(rs->record_count(), 0);
    EXPECT_TRUE(rs->indexes().empty());
    ASSERT_EQ(rs->schema().size(), 3u);
    const t_ftd& n = rs->schema()[0];
    EXPECT_EQ(n.name, u"N");
    EXPECT_EQ(n.vartype, VT_I4);
    EXPECT_TRUE(n.b_not_null);
    EXPECT_EQ(n.reserved, n.size * 256);
    const t_ftd& label = rs->schema()[1];
    EXPECT_EQ(label.name, u"LABEL");
    EXPECT_EQ(label.vartype, VT_BSTR);
    EXPECT_EQ(label.size, 20u);
    EXPECT_FALSE(label.b_not_null);
    EXPECT_TRUE(label.default_value.is_empty_or_null());
    rs->reset();
    std::vector<int> seen;
    for (; !rs->is_eof(); rs->next()) seen.push_back((*rs->get_item())[0].i4());
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 3}));
    EXPECT_THROW(db->get_query(u"BAD", u"SELECT FROM NOWHERE", 1), db2_exception);
}

TEST_F(fetching, FailureInAFetchEndsTheTableAndLeaksNoHandle) {
    const long before = live_statements();
    {
        auto rs = db->get_table(u"LOBS", 1);
        EXPECT_EQ(live_statements(), before + 1);
        scoped_env fault("DB2STANDIN_FAULTS", "SQLFetch:1:58004:-901");
        EXPECT_THROW(rs->reset(), db2_exception);
        // the cursor's statement and the two locator statements of each large object
        EXPECT_EQ(live_statements(), before + 1 + 2 * 4);
    }
    EXPECT_EQ(live_statements(), before);
    {
        auto rs = db->get_table(u"R250", 1);
        rs->reset();
        scoped_env fault("DB2STANDIN_FAULTS", "SQLFetch:1:58004:-901");
        for (int i = 0; i < 99; ++i) rs->next();
        ASSERT_FALSE(rs->is_eof());
        try {
            rs->next();
            ADD_FAILURE() << "the failed fetch went unnoticed";
        } catch (const db2_exception& e) {
            EXPECT_EQ(std::string(e.what()), "  Fault injected into SQLFetch (call 1).  ");
        }
    }
    EXPECT_EQ(live_statements(), before);
    {
        // A warning is a success: every row is still read, and a lost connection ends the run.
        auto rs = db->get_table(u"R250", 1);
        scoped_env fault("DB2STANDIN_FAULTS", "SQLFetch:1:01004:0:warn;SQLFetch:3:40003:-30081");
        rs->reset();
        int rows = 0;
        try {
            for (; !rs->is_eof(); rs->next()) ++rows;
            ADD_FAILURE() << "the lost connection went unnoticed";
        } catch (const db2_exception& e) {
            EXPECT_EQ(e.level(), tk_level_run) << e.what();
        }
        EXPECT_EQ(rows, 200) << "two blocks of 100 rows, the first with a warning";
    }
    {
        // A failure while reading a large object, and one while the table is being described.
        auto rs = db->get_table(u"LOBS", 1);
        rs->reset();
        rs->next();
        scoped_env fault("DB2STANDIN_FAULTS", "SQLGetSubString:1:58004:-901");
        EXPECT_THROW(rs->get_item(), db2_exception);
    }
    {
        scoped_env fault("DB2STANDIN_FAULTS", "SQLStatisticsW:1:58004:-901");
        EXPECT_THROW(db->get_table(u"LOBS", 1), db2_exception);
    }
    EXPECT_EQ(live_statements(), before);
}

TEST_F(fetching, LocatorsAreFreedAtEachFetchWhereTheClientKnowsHow) {
    auto& api = db2_cli();
    g_set_attr = api.SQLSetStmtAttrW;
    api.SQLSetStmtAttrW = watching_set_attr;
    struct restore {
        ~restore() { db2_cli().SQLSetStmtAttrW = g_set_attr; }
    } restored;
    for (const bool refuse : {false, true}) {
        SCOPED_TRACE(refuse ? "refused" : "accepted");
        g_refuse_free_locators = refuse;
        g_free_locators_set = 0;
        auto rs = db->get_table(u"LOBS", 1);
        int rows = 0;
        for (rs->reset(); !rs->is_eof(); rs->next()) rows += rs->get_item() != nullptr;
        EXPECT_EQ(rows, 3);
        EXPECT_EQ(g_free_locators_set, refuse ? 0 : 1);
    }
}
