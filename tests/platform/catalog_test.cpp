// The catalogue functions: ODBC result-set layouts with the figures DB2 reports per type,
// keys, indexes, foreign keys and the schema listing.

#include "standin_fixture.hpp"

namespace standin_test {
namespace {

class catalog_test : public standin {
protected:
    std::vector<std::vector<std::string>> columns_of(const std::string& schema, const std::string& table) {
        SQLHSTMT st = new_statement();
        std::u16string s = w(schema), t = w(table), all = u"%";
        EXPECT_EQ(SQLColumnsW(st, nullptr, 0, s.data(), SQL_NTS, t.data(), SQL_NTS, all.data(), SQL_NTS), SQL_SUCCESS);
        auto out = rows_of(st);
        free_statement(st);
        return out;
    }
};

TEST_F(catalog_test, ColumnFiguresForEveryType) {
    must("CREATE TABLE ALLTYPES ("
         "C CHAR(10), VC VARCHAR(20) NOT NULL DEFAULT 'it''s', LVC LONG VARCHAR,"
         "CB CHAR(4) FOR BIT DATA, VCB VARCHAR(8) FOR BIT DATA, G GRAPHIC(5), VG VARGRAPHIC(7),"
         "LVG LONG VARGRAPHIC, SI SMALLINT DEFAULT -3, I INTEGER NOT NULL GENERATED ALWAYS AS IDENTITY,"
         "BI BIGINT, D DECIMAL(31,4) DEFAULT 1.5, N NUMERIC(7), R REAL, DB DOUBLE, F FLOAT(10),"
         "DF16 DECFLOAT(16), DF34 DECFLOAT, DT DATE DEFAULT CURRENT DATE, TM TIME, TS TIMESTAMP,"
         "TS0 TIMESTAMP(0), TS12 TIMESTAMP(12) WITH DEFAULT CURRENT TIMESTAMP, BL BLOB(1M), CL CLOB(2G),"
         "DBC DBCLOB(1K), X XML, NULLDEF INTEGER DEFAULT NULL)");
    must("COMMENT ON COLUMN ALLTYPES.C IS 'a comment'");
    const auto cols = columns_of("TESTER", "ALLTYPES");
    ASSERT_EQ(cols.size(), 28u);
    ASSERT_EQ(cols[0].size(), 18u);
    // name, DATA_TYPE, TYPE_NAME, COLUMN_SIZE, BUFFER_LENGTH, DECIMAL_DIGITS, NUM_PREC_RADIX,
    // NULLABLE, COLUMN_DEF, SQL_DATA_TYPE, SQL_DATETIME_SUB, CHAR_OCTET_LENGTH
    const std::vector<std::vector<std::string>> expected = {
        {"C", "1", "CHARACTER", "10", "10", "<null>", "<null>", "1", "<null>", "1", "<null>", "10"},
        {"VC", "12", "VARCHAR", "20", "20", "<null>", "<null>", "0", "'it''s'", "12", "<null>", "20"},
        {"LVC", "-1", "LONG VARCHAR", "32700", "32700", "<null>", "<null>", "1", "<null>", "-1", "<null>", "32700"},
        {"CB", "-2", "CHAR () FOR BIT DATA", "4", "4", "<null>", "<null>", "1", "<null>", "-2", "<null>", "4"},
        {"VCB", "-3", "VARCHAR () FOR BIT DATA", "8", "8", "<null>", "<null>", "1", "<null>", "-3", "<null>", "8"},
        {"G", "-95", "GRAPHIC", "5", "10", "<null>", "<null>", "1", "<null>", "-95", "<null>", "10"},
        {"VG", "-96", "VARGRAPHIC", "7", "14", "<null>", "<null>", "1", "<null>", "-96", "<null>", "14"},
        {"LVG", "-97", "LONG VARGRAPHIC", "16350", "32700", "<null>", "<null>", "1", "<null>", "-97", "<null>", "32700"},
        {"SI", "5", "SMALLINT", "5", "2", "0", "10", "1", "-3", "5", "<null>", "<null>"},
        {"I", "4", "INTEGER", "10", "4", "0", "10", "0", "<null>", "4", "<null>", "<null>"},
        {"BI", "-5", "BIGINT", "19", "8", "0", "10", "1", "<null>", "-5", "<null>", "<null>"},
        {"D", "3", "DECIMAL", "31", "33", "4", "10", "1", "1.5", "3", "<null>", "<null>"},
        {"N", "3", "DECIMAL", "7", "9", "0", "10", "1", "<null>", "3", "<null>", "<null>"},
        {"R", "7", "REAL", "7", "4", "<null>", "10", "1", "<null>", "7", "<null>", "<null>"},
        {"DB", "8", "DOUBLE", "15", "8", "<null>", "10", "1", "<null>", "8", "<null>", "<null>"},
        {"F", "7", "REAL", "7", "4", "<null>", "10", "1", "<null>", "7", "<null>", "<null>"},
        {"DF16", "-360", "DECFLOAT", "16", "8", "<null>", "10", "1", "<null>", "-360", "<null>", "<null>"},
        {"DF34", "-360", "DECFLOAT", "34", "16", "<null>", "10", "1", "<null>", "-360", "<null>", "<null>"},
        {"DT", "91", "DATE", "10", "6", "<null>", "<null>", "1", "CURRENT DATE", "9", "1", "<null>"},
        {"TM", "92", "TIME", "8", "6", "0", "<null>", "1", "<null>", "9", "2", "<null>"},
        {"TS", "93", "TIMESTAMP", "26", "16", "6", "<null>", "1", "<null>", "9", "3", "<null>"},
        {"TS0", "93", "TIMESTAMP", "19", "16", "0", "<null>", "1", "<null>", "9", "3", "<null>"},
        {"TS12", "93", "TIMESTAMP", "32", "16", "12", "<null>", "1", "CURRENT TIMESTAMP", "9", "3", "<null>"},
        {"BL", "-98", "BLOB", "1048576", "1048576", "<null>", "<null>", "1", "<null>", "-98", "<null>", "1048576"},
        {"CL", "-99", "CLOB", "2147483647", "2147483647", "<null>", "<null>", "1", "<null>", "-99", "<null>", "2147483647"},
        {"DBC", "-350", "DBCLOB", "1024", "2048", "<null>", "<null>", "1", "<null>", "-350", "<null>", "2048"},
        {"X", "-370", "XML", "0", "0", "0", "<null>", "1", "<null>", "-370", "<null>", "<null>"},
        {"NULLDEF", "4", "INTEGER", "10", "4", "0", "10", "1", "NULL", "4", "<null>", "<null>"},
    };
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const auto& row = cols[i];
        const auto& e = expected[i];
        SCOPED_TRACE(e[0]);
        EXPECT_EQ(row[0], "<null>");      // TABLE_CAT
        EXPECT_EQ(row[1], "TESTER");
        EXPECT_EQ(row[2], "ALLTYPES");
        EXPECT_EQ(row[3], e[0]);
        EXPECT_EQ(row[4], e[1]);
        EXPECT_EQ(row[5], e[2]);
        EXPECT_EQ(row[6], e[3]);
        EXPECT_EQ(row[7], e[4]);
        EXPECT_EQ(row[8], e[5]);
        EXPECT_EQ(row[9], e[6]);
        EXPECT_EQ(row[10], e[7]);
        EXPECT_EQ(row[12], e[8]);
        EXPECT_EQ(row[13], e[9]);
        EXPECT_EQ(row[14], e[10]);
        EXPECT_EQ(row[15], e[11]);
        EXPECT_EQ(row[16], std::to_string(i + 1));
        EXPECT_EQ(row[17], e[7] == "1" ? "YES" : "NO");
    }
    EXPECT_EQ(cols[0][11], "a comment");
}

TEST_F(catalog_test, TablesListsSchemasTablesAndHonoursTheTypeFilter) {
    must("CREATE TABLE A.T1 (X INTEGER)");
    must("CREATE TABLE A.T2 (X INTEGER)");
    must("CREATE TABLE B.T3 (X INTEGER)");
    must("COMMENT ON TABLE A.T1 IS 'first'");
    SQLHSTMT st = new_statement();
    std::u16string all = u"%", a = u"A", table_type = u"TABLE";
    // The schema listing as the reader asks for it: no table name, no type.
    ASSERT_EQ(SQLTablesW(st, nullptr, 0, all.data(), SQL_NTS, nullptr, 0, nullptr, 0), SQL_SUCCESS);
    SQLSMALLINT n = 0;
    SQLNumResultCols(st, &n);
    EXPECT_EQ(n, 5);
    std::vector<std::string> schemas;
    for (const auto& r : rows_of(st)) schemas.push_back(r[1]);
    EXPECT_EQ(schemas, (std::vector<std::string>{"A", "B", "SYSCAT", "SYSIBM"}));
    SQLFreeStmt(st, SQL_CLOSE);
    ASSERT_EQ(SQLTablesW(st, nullptr, 0, a.data(), SQL_NTS, all.data(), SQL_NTS, table_type.data(), SQL_NTS), SQL_SUCCESS);
    const auto tables = rows_of(st);
    ASSERT_EQ(tables.size(), 2u);
    EXPECT_EQ(tables[0], (std::vector<std::string>{"<null>", "A", "T1", "TABLE", "first"}));
    EXPECT_EQ(tables[1][2], "T2");
    SQLFreeStmt(st, SQL_CLOSE);
    // Views are listed only when asked for.
    std::u16string sys = u"SYSCAT", views = u"'VIEW'";
    ASSERT_EQ(SQLTablesW(st, nullptr, 0, sys.data(), SQL_NTS, all.data(), SQL_NTS, table_type.data(), SQL_NTS), SQL_SUCCESS);
    EXPECT_TRUE(rows_of(st).empty());
    SQLFreeStmt(st, SQL_CLOSE);
    ASSERT_EQ(SQLTablesW(st, nullptr, 0, sys.data(), SQL_NTS, all.data(), SQL_NTS, views.data(), SQL_NTS), SQL_SUCCESS);
    EXPECT_EQ(rows_of(st).size(), 6u);
}

TEST_F(catalog_test, DelimitedNamesDifferingOnlyInCaseAreDistinctObjects) {
    // Pairs of names SQLite alone would take for one: schemas, tables, columns, indexes and
    // constraints. Undelimited names fold to upper case and so meet their upper-case twin.
    must("CREATE TABLE \"s\".\"Orders\" (\"a\" INTEGER NOT NULL, \"A\" VARCHAR(5), \"~x\" INTEGER,"
         " CONSTRAINT \"pk\" PRIMARY KEY (\"a\"))");
    // A primary key named like its table: indexes and tables are apart in DB2.
    must("CREATE TABLE S.ORDERS (A INTEGER NOT NULL, CONSTRAINT ORDERS PRIMARY KEY (A))");
    must("CREATE TABLE \"s\".\"ORDERS\" (ID INTEGER)");
    must("CREATE INDEX \"s\".\"ix\" ON \"s\".\"Orders\" (\"A\")");
    must("CREATE UNIQUE INDEX \"s\".IX ON \"s\".\"Orders\" (\"~x\")");
    EXPECT_EQ(native_of("CREATE TABLE s.orders (B INTEGER)"), -601);  // S.ORDERS exists
    must("INSERT INTO \"s\".\"Orders\" VALUES (1, 'one', 7), (2, 'two', 8)");
    must("INSERT INTO s.orders VALUES (2)");
    must("SET SCHEMA \"s\"");
    EXPECT_EQ(rows("SELECT o.\"a\", o.\"A\", \"~x\", \"ORDERS\".A FROM \"Orders\" o JOIN S.ORDERS"
                   " ON \"ORDERS\".A = o.\"a\""),
              (std::vector<std::vector<std::string>>{{"2", "two", "8", "2"}}));
    EXPECT_EQ(rows("SELECT count(*) FROM \"Orders\" WHERE \"A\" = 'one'").at(0).at(0), "1");
    EXPECT_EQ(native_of("SELECT \"Id\" FROM \"ORDERS\""), -206);  // a name, never a string
    SQLHSTMT st = new_statement();
    std::u16string q = u"SELECT \"a\", \"A\" AS \"Low\" FROM \"Orders\"";
    ASSERT_EQ(SQLExecDirectW(st, q.data(), SQL_NTS), SQL_SUCCESS);
    for (SQLUSMALLINT c : {1, 2}) {
        SQLWCHAR name[16], table[16];
        ASSERT_EQ(SQLDescribeColW(st, c, name, 16, nullptr, nullptr, nullptr, nullptr, nullptr), SQL_SUCCESS);
        ASSERT_EQ(SQLColAttributeW(st, c, SQL_DESC_TABLE_NAME, table, sizeof table, nullptr, nullptr), SQL_SUCCESS);
        EXPECT_EQ(narrow(name), c == 1 ? "a" : "Low");
        EXPECT_EQ(narrow(table), "Orders");
    }
    free_statement(st);
    std::vector<std::string> names;
    for (const auto& r : columns_of("s", "Orders")) names.push_back(r[3]);
    EXPECT_EQ(names, (std::vector<std::string>{"a", "A", "~x"}));
    EXPECT_EQ(rows("SELECT TABSCHEMA, TABNAME FROM SYSCAT.TABLES WHERE TABSCHEMA IN ('s', 'S')"
                   " ORDER BY 1, 2"),
              (std::vector<std::vector<std::string>>{{"S", "ORDERS"}, {"s", "ORDERS"}, {"s", "Orders"}}));
    EXPECT_EQ(rows("SELECT INDNAME, UNIQUERULE FROM SYSCAT.INDEXES WHERE TABNAME = 'Orders' ORDER BY 1"),
              (std::vector<std::vector<std::string>>{{"IX", "U"}, {"ix", "D"}, {"pk", "P"}}));
    // Dropping one of a pair leaves the other.
    must("DROP INDEX \"ix\"");
    must("DROP TABLE \"ORDERS\"");
    EXPECT_EQ(rows("SELECT count(*) FROM \"Orders\"").at(0).at(0), "2");
    EXPECT_EQ(rows("SELECT count(*) FROM S.ORDERS").at(0).at(0), "1");
}

TEST_F(catalog_test, KeysIndexesAndForeignKeys) {
    must("CREATE TABLE P (A INTEGER NOT NULL, B CHAR(2) NOT NULL, C VARCHAR(5) NOT NULL,"
         " CONSTRAINT PK_P PRIMARY KEY (B, A), CONSTRAINT UQ_P UNIQUE (C))");
    must("CREATE TABLE CH (ID INTEGER NOT NULL PRIMARY KEY, PA INTEGER, PB CHAR(2), PC VARCHAR(5),"
         " CONSTRAINT FK_CH_P FOREIGN KEY (PB, PA) REFERENCES P ON DELETE CASCADE,"
         " CONSTRAINT FK_CH_C FOREIGN KEY (PC) REFERENCES P (C) ON DELETE SET NULL ON UPDATE RESTRICT)");
    must("CREATE INDEX IX_CH ON CH (PC DESC, PA)");
    SQLHSTMT st = new_statement();
    std::u16string schema = u"TESTER", p = u"P", ch = u"CH";
    ASSERT_EQ(SQLPrimaryKeysW(st, nullptr, 0, schema.data(), SQL_NTS, p.data(), SQL_NTS), SQL_SUCCESS);
    const auto pk = rows_of(st);
    ASSERT_EQ(pk.size(), 2u);
    EXPECT_EQ(pk[0], (std::vector<std::string>{"<null>", "TESTER", "P", "B", "1", "PK_P"}));
    EXPECT_EQ(pk[1][3], "A");
    EXPECT_EQ(pk[1][4], "2");
    SQLFreeStmt(st, SQL_CLOSE);

    ASSERT_EQ(SQLStatisticsW(st, nullptr, 0, schema.data(), SQL_NTS, ch.data(), SQL_NTS, SQL_INDEX_ALL, SQL_QUICK), SQL_SUCCESS);
    SQLSMALLINT n = 0;
    SQLNumResultCols(st, &n);
    EXPECT_EQ(n, 13);
    const auto stats = rows_of(st);
    ASSERT_EQ(stats.size(), 4u);
    // The table's own row: TYPE 0, no index name, unknown figures.
    EXPECT_EQ(stats[0][6], "0");
    EXPECT_EQ(stats[0][5], "<null>");
    EXPECT_EQ(stats[0][10], "<null>");
    // The primary key's index carries a system name and is unique; then the plain index.
    EXPECT_EQ(stats[1][3], "0");
    EXPECT_EQ(stats[1][5].substr(0, 3), "SQL");
    EXPECT_EQ(stats[1][8], "ID");
    EXPECT_EQ(stats[2], (std::vector<std::string>{"<null>", "TESTER", "CH", "1", "TESTER", "IX_CH", "3", "1", "PC", "D", "<null>", "<null>", "<null>"}));
    EXPECT_EQ(stats[3][8], "PA");
    EXPECT_EQ(stats[3][9], "A");
    SQLFreeStmt(st, SQL_CLOSE);
    ASSERT_EQ(SQLStatisticsW(st, nullptr, 0, schema.data(), SQL_NTS, ch.data(), SQL_NTS, SQL_INDEX_UNIQUE, SQL_QUICK), SQL_SUCCESS);
    EXPECT_EQ(rows_of(st).size(), 2u);
    SQLFreeStmt(st, SQL_CLOSE);

    ASSERT_EQ(SQLForeignKeysW(st, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, schema.data(), SQL_NTS, ch.data(), SQL_NTS), SQL_SUCCESS);
    SQLNumResultCols(st, &n);
    EXPECT_EQ(n, 14);
    const auto fk = rows_of(st);
    ASSERT_EQ(fk.size(), 3u);
    // Ordered by parent table then key sequence; each key's columns stay together.
    EXPECT_EQ(fk[0], (std::vector<std::string>{"<null>", "TESTER", "P", "C", "<null>", "TESTER", "CH", "PC", "1", "1", "2", "FK_CH_C", "UQ_P", "7"}));
    EXPECT_EQ(fk[1], (std::vector<std::string>{"<null>", "TESTER", "P", "B", "<null>", "TESTER", "CH", "PB", "1", "3", "0", "FK_CH_P", "PK_P", "7"}));
    EXPECT_EQ(fk[2][3], "A");
    EXPECT_EQ(fk[2][7], "PA");
    EXPECT_EQ(fk[2][8], "2");
    SQLFreeStmt(st, SQL_CLOSE);
    // Asked from the parent's side, the same keys.
    ASSERT_EQ(SQLForeignKeysW(st, nullptr, 0, schema.data(), SQL_NTS, p.data(), SQL_NTS, nullptr, 0, nullptr, 0, nullptr, 0), SQL_SUCCESS);
    EXPECT_EQ(rows_of(st).size(), 3u);
}

TEST_F(catalog_test, ConstraintErrorsUseDb2Codes) {
    must("CREATE TABLE P (A INTEGER NOT NULL PRIMARY KEY, N INTEGER)");
    SQLHSTMT st = new_statement();
    auto fails_with = [&](const std::string& sql, SQLINTEGER native, const std::string& state) {
        std::u16string text = w(sql);
        EXPECT_EQ(SQLExecDirectW(st, text.data(), SQL_NTS), SQL_ERROR) << sql;
        const auto d = diagnostics(SQL_HANDLE_STMT, st);
        ASSERT_EQ(d.size(), 1u) << sql;
        EXPECT_EQ(d[0].native, native) << d[0].message;
        EXPECT_EQ(d[0].state, state) << d[0].message;
    };
    fails_with("ALTER TABLE P ADD PRIMARY KEY (N)", -542, "42831");
    fails_with("CREATE TABLE P (X INTEGER)", -601, "42S01");
    fails_with("CREATE TABLE Q (X INTEGER, X INTEGER)", -612, "42711");
    fails_with("CREATE TABLE Q (X INTEGER REFERENCES NOPE)", -204, "42S02");
    fails_with("CREATE TABLE Q (X INTEGER REFERENCES P (N))", -573, "42890");
    fails_with("CREATE TABLE Q (X CHAR(255))", -604, "42611");
    fails_with("CREATE TABLE Q (X INTEGER DEFAULT 'abc')", -574, "42894");
    fails_with("CREATE INDEX IX ON P (NOPE)", -205, "42S22");
    // A failed CREATE leaves nothing behind.
    EXPECT_EQ(rows("SELECT count(*) FROM SYSCAT.TABLES WHERE TABNAME = 'Q'").at(0).at(0), "0");
}

}  // namespace
}  // namespace standin_test
