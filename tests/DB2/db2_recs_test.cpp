// The table and query reader against stand-in tables made for the purpose.

#include "db2_db.hpp"
#include "db2_fixture.hpp"
#include "db2_recs.hpp"

#include <gtest/gtest.h>

#include <cmath>

using namespace db2_test;

namespace {

const char* const k_types_script = R"sql(
CREATE SCHEMA TEST;
SET SCHEMA TEST;
CREATE TABLE ALLTYPES (
  ID INTEGER NOT NULL PRIMARY KEY,
  C CHAR(10) DEFAULT 'it''s',
  VC VARCHAR(40) NOT NULL WITH DEFAULT 'abc',
  LVC LONG VARCHAR,
  CB CHAR(4) FOR BIT DATA,
  VB VARCHAR(8) FOR BIT DATA,
  LVB LONG VARCHAR FOR BIT DATA,
  G GRAPHIC(5),
  VG VARGRAPHIC(20),
  LVG LONG VARGRAPHIC,
  SI SMALLINT DEFAULT 7,
  BI BIGINT,
  D DEC(10,2) DEFAULT 1.5,
  D31 DECIMAL(31,8),
  R REAL,
  DB DOUBLE,
  DF16 DECFLOAT(16),
  DF34 DECFLOAT(34),
  DT DATE DEFAULT '2020-01-02',
  TM TIME,
  TS TIMESTAMP,
  CL CLOB(2M),
  DCL DBCLOB(1M),
  BL BLOB(2M)
);
INSERT INTO ALLTYPES VALUES (1, 'abc', 'vc text', 'long text', X'00010203', X'FF00', X'00FF10',
  'graph', 'vargraph', 'long graph', -12, 9007199254740993, -12345678.91,
  12345678901234567890123.12345678, 1.5, -2.25, 1234567890.123456, 1234567890123456789012345678.901234,
  '2021-03-04', '05:06:07', '2021-03-04-05.06.07.123456', 'clob text', 'dbclob text', BLOB('blob'));
INSERT INTO ALLTYPES VALUES (2, NULL, 'only', NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL,
  NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL);
CREATE TABLE EMPTY (A INTEGER);
CREATE TABLE DEFS (A INTEGER DEFAULT NULL, B VARCHAR(10) DEFAULT NULL, C VARCHAR(10) DEFAULT 'NULL',
  D VARCHAR(10) DEFAULT '', E TIMESTAMP DEFAULT '2021-03-04-05.06.07.123456');
CREATE TABLE XMLDOC (ID INTEGER NOT NULL, X XML);
INSERT INTO XMLDOC VALUES (1, '<a>x</a>');
INSERT INTO XMLDOC VALUES (2, NULL);
)sql";

class reader : public ::testing::Test {
protected:
    static void SetUpTestSuite() { create_database("TYPES", k_types_script); }
    void SetUp() override {
        engine = connect(u"TYPES");
        db = engine->open_db(u"TEST", u"", u"");
    }
    void TearDown() override {
        db.reset();
        engine.reset();
    }
    std::unique_ptr<db2_engine> engine;
    std::unique_ptr<db2_database> db;
};

const t_ftd& column(const udb_recordset& rs, const std::u16string& name) {
    return rs.schema().find_field(name);
}

} // namespace

TEST_F(reader, EveryTypeGetsItsTagSizeReservedDefaultAndNullFlag) {
    auto rs = db->get_table(u"ALLTYPES", 1);
    struct expected {
        const char16_t* name;
        std::uint16_t vartype;
        std::uint32_t size;
        std::uint32_t reserved;
        bool not_null;
    };
    const expected table[] = {
        {u"ID", VT_I4, 4, 10 * 256, true},
        {u"C", VT_BSTR, 10, 10 * 256, false},
        {u"VC", VT_BSTR, 40, 40 * 256, true},
        {u"LVC", VT_BSTR, 32700, 32700 * 256, false},
        {u"CB", VT_BYTES, 4, 4 * 256, false},
        {u"VB", VT_BYTES, 8, 8 * 256, false},
        {u"LVB", VT_BYTES, 32700, 32700 * 256, false},
        {u"G", VT_BSTR, 10, 5 * 256, false},
        {u"VG", VT_BSTR, 40, 20 * 256, false},
        {u"LVG", VT_BSTR, 32700, 16350 * 256, false},
        {u"SI", VT_I2, 2, 5 * 256, false},
        {u"BI", VT_I8, 8, 19 * 256, false},
        {u"D", VT_DECIMAL, 12, 10 * 256 + 2, false},
        {u"D31", VT_DECIMAL, 33, 31 * 256 + 8, false},
        {u"R", VT_R8, 4, 7 * 256, false},
        {u"DB", VT_R8, 8, 15 * 256, false},
        {u"DF16", VT_DECIMAL, 8, 65 * 256 + 30, false},
        {u"DF34", VT_DECIMAL, 16, 65 * 256 + 30, false},
        {u"DT", VT_DATE, 6, 2, false},
        {u"TM", VT_DATE, 6, 3, false},
        {u"TS", VT_DATE, 16, 1 + 6 * 256, false}, // date kind 1, six fraction digits
        {u"CL", VT_BSTR, 2097152, 2097152u * 256, false},
        {u"DCL", VT_BSTR, 2097152, 1048576u * 256, false},
        {u"BL", VT_BLOB, 2097152, 2097152u * 256, false},
    };
    ASSERT_EQ(rs->schema().size(), std::size(table));
    for (std::size_t i = 0; i < std::size(table); ++i) {
        const t_ftd& c = rs->schema()[i];
        SCOPED_TRACE(std::string(c.name.begin(), c.name.end()));
        EXPECT_EQ(c.name, table[i].name);
        EXPECT_EQ(c.vartype, table[i].vartype);
        EXPECT_EQ(c.size, table[i].size);
        EXPECT_EQ(c.reserved, table[i].reserved);
        EXPECT_EQ(c.b_not_null, table[i].not_null);
        EXPECT_FALSE(c.b_auto_increment);
    }
    EXPECT_EQ(column(*rs, u"C").default_value.text(), u"it's");
    EXPECT_EQ(column(*rs, u"VC").default_value.text(), u"abc");
    EXPECT_EQ(column(*rs, u"SI").default_value.vt(), VT_I2);
    EXPECT_EQ(column(*rs, u"SI").default_value.i2(), 7);
    EXPECT_EQ(column(*rs, u"D").default_value.vt(), VT_DECIMAL);
    EXPECT_EQ(column(*rs, u"D").default_value.decimal().to_string(), "1.5");
    EXPECT_EQ(column(*rs, u"DT").default_value.vt(), VT_DATE);
    EXPECT_EQ(column(*rs, u"DT").default_value.get_time().day, 2);
    EXPECT_EQ(column(*rs, u"BI").default_value.vt(), VT_EMPTY);
    EXPECT_EQ(rs->record_count(), 2);
}

TEST_F(reader, EveryTypeArrivesAsItsValue) {
    auto rs = db->get_table(u"ALLTYPES", 1);
    rs->reset();
    ASSERT_FALSE(rs->is_eof());
    const udb_record* row = rs->get_item();
    ASSERT_NE(row, nullptr);
    const udb_record& r = *row;
    auto f = [&](const char16_t* name) -> const udb_field& { return r.find_field(name); };
    EXPECT_EQ(f(u"ID").vt(), VT_I4);
    EXPECT_EQ(f(u"ID").i4(), 1);
    EXPECT_EQ(f(u"C").text(), u"abc       ");
    EXPECT_EQ(f(u"VC").text(), u"vc text");
    EXPECT_EQ(f(u"LVC").text(), u"long text");
    EXPECT_EQ(f(u"CB").bytes(), (std::vector<std::uint8_t>{0, 1, 2, 3}));
    EXPECT_EQ(f(u"VB").bytes(), (std::vector<std::uint8_t>{0xFF, 0}));
    // Bytes, not their hex rendering.
    EXPECT_EQ(f(u"LVB").vt(), VT_BYTES);
    EXPECT_EQ(f(u"LVB").bytes(), (std::vector<std::uint8_t>{0, 0xFF, 0x10}));
    EXPECT_EQ(f(u"G").text(), u"graph");
    EXPECT_EQ(f(u"VG").text(), u"vargraph");
    EXPECT_EQ(f(u"LVG").text(), u"long graph");
    EXPECT_EQ(f(u"SI").vt(), VT_I2);
    EXPECT_EQ(f(u"SI").i2(), -12);
    EXPECT_EQ(f(u"BI").vt(), VT_I8);
    EXPECT_EQ(f(u"BI").i8(), 9007199254740993LL);
    EXPECT_EQ(f(u"D").vt(), VT_DECIMAL);
    EXPECT_EQ(f(u"D").decimal().to_string(), "-12345678.91");
    EXPECT_EQ(f(u"D31").decimal().to_string(), "12345678901234567890123.12345678");
    EXPECT_EQ(f(u"R").vt(), VT_R4);
    EXPECT_EQ(f(u"R").r4(), 1.5f);
    EXPECT_EQ(f(u"DB").vt(), VT_R8);
    EXPECT_EQ(f(u"DB").r8(), -2.25);
    EXPECT_EQ(f(u"DF16").vt(), VT_DECIMAL);
    EXPECT_EQ(f(u"DF16").decimal().to_string(), "1234567890.123456");
    EXPECT_EQ(f(u"DF34").vt(), VT_DECIMAL);
    EXPECT_EQ(f(u"DF34").decimal().to_string(), "1234567890123456789012345678.901234");
    EXPECT_EQ(f(u"DT").vt(), VT_DATE);
    EXPECT_EQ(f(u"DT").get_time(), (ole_systemtime{2021, 3, 0, 4, 0, 0, 0, 0}));
    // Without the date the client fills into a TIME.
    EXPECT_EQ(f(u"TM").get_time(), (ole_systemtime{0, 0, 0, 0, 5, 6, 7, 0}));
    EXPECT_EQ(f(u"TS").get_time(), (ole_systemtime{2021, 3, 0, 4, 5, 6, 7, 123, 123456}));
    EXPECT_EQ(f(u"CL").text(), u"clob text");
    EXPECT_EQ(f(u"DCL").text(), u"dbclob text");
    EXPECT_EQ(f(u"BL").vt(), VT_BYTES);
    EXPECT_EQ(f(u"BL").bytes(), (std::vector<std::uint8_t>{'b', 'l', 'o', 'b'}));
    EXPECT_EQ(f(u"ID").name, u"ID");
    EXPECT_TRUE(f(u"ID").b_not_null);

    rs->next();
    ASSERT_FALSE(rs->is_eof());
    const udb_record* second = rs->get_item();
    ASSERT_NE(second, nullptr);
    for (const auto& field : *second) {
        if (field->name == u"ID" || field->name == u"VC") continue;
        EXPECT_EQ(field->vt(), VT_EMPTY) << std::string(field->name.begin(), field->name.end());
    }
    rs->next();
    EXPECT_TRUE(rs->is_eof());
    EXPECT_EQ(rs->get_item(), nullptr);
}

TEST_F(reader, EmptyTableEndsAtTheFirstFetch) {
    auto rs = db->get_table(u"EMPTY", 1);
    EXPECT_EQ(rs->record_count(), 0);
    EXPECT_FALSE(rs->is_eof());
    rs->reset();
    EXPECT_TRUE(rs->is_eof());
    EXPECT_EQ(rs->get_item(), nullptr);
    rs->reset(); // no rewind, no second fetch
    EXPECT_TRUE(rs->is_eof());
}

TEST_F(reader, UnknownTableIsAnInternalError) {
    EXPECT_THROW(db->get_table(u"NOPE", 1), tk_mail_assertion);
    // Names keep their case in DB2.
    EXPECT_THROW(db->get_table(u"alltypes", 1), tk_mail_assertion);
}

TEST_F(reader, XmlIsSelectedAsClobAndArrivesAsText) {
    auto rs = db->get_table(u"XMLDOC", 1);
    const auto& x = static_cast<const db2_ftd&>(rs->schema()[1]);
    EXPECT_EQ(x.sql_type, SQL_XML);
    EXPECT_EQ(x.vartype, VT_BSTR);
    EXPECT_NE(static_cast<db2_recordset&>(*rs).select_text().find(u"XML2CLOB(\"X\")"), std::u16string::npos);
    rs->reset();
    ASSERT_NE(rs->get_item(), nullptr);
    EXPECT_EQ((*rs->get_item())[1].text(), u"<a>x</a>");
    rs->next();
    ASSERT_NE(rs->get_item(), nullptr);
    EXPECT_EQ((*rs->get_item())[1].vt(), VT_EMPTY);
}

TEST_F(reader, DefaultNullIsNoDefault) {
    auto rs = db->get_table(u"DEFS", 1);
    EXPECT_EQ(column(*rs, u"A").default_value.vt(), VT_EMPTY);
    EXPECT_EQ(column(*rs, u"B").default_value.vt(), VT_EMPTY);
    // The text NULL is a text like any other.
    EXPECT_EQ(column(*rs, u"C").default_value.text(), u"NULL");
    EXPECT_EQ(column(*rs, u"D").default_value.vt(), VT_BSTR);
    EXPECT_EQ(column(*rs, u"D").default_value.text(), u"");
    EXPECT_EQ(column(*rs, u"E").default_value.vt(), VT_DATE);
}

// A query's date columns are typed like a table's: a TIME stays a TIME (not text holding the
// client's date), a timestamp keeps its precision, and a TIME value carries no date.
TEST_F(reader, QueryDateColumnsKeepTheirKindAndPrecision) {
    auto rs = db->get_query(u"Q", u"SELECT DT, TM, TS FROM TEST.ALLTYPES WHERE ID = 1", 1);
    ASSERT_EQ(rs->schema().size(), 3u);
    EXPECT_EQ(rs->schema()[0].reserved, 2u);
    EXPECT_EQ(rs->schema()[1].reserved, 3u);
    EXPECT_EQ(rs->schema()[2].reserved, 1u + 6u * 256u);
    rs->reset();
    ASSERT_FALSE(rs->is_eof());
    EXPECT_EQ((*rs->get_item())[1].get_time(), (ole_systemtime{0, 0, 0, 0, 5, 6, 7, 0}));
}
