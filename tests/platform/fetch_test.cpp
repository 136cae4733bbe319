// Fetching: column-wise row arrays as the reader binds them, every C target type it uses,
// NULL indicators and truncation.

#include "standin_fixture.hpp"

#include <cstdint>
#include <cstring>

namespace standin_test {
namespace {

class fetch_test : public standin {
protected:
    void SetUp() override {
        standin::SetUp();
        must("CREATE TABLE T (ID INTEGER NOT NULL, S SMALLINT, B BIGINT, R REAL, D DOUBLE,"
             " DEC DECIMAL(7,2), F DECIMAL(3,3), NAME VARCHAR(30), G VARGRAPHIC(10), C CHAR(4),"
             " BIN VARCHAR(6) FOR BIT DATA, DT DATE, TM TIME, TS TIMESTAMP)");
    }
};

TEST_F(fetch_test, RowArraysOf100DeliverAllRowsInBlocks) {
    must("CREATE TABLE N (I INTEGER, V VARCHAR(10))");
    std::string insert = "INSERT INTO N VALUES ";
    for (int i = 1; i <= 250; ++i) {
        insert += (i > 1 ? ", (" : "(") + std::to_string(i) + (i % 10 == 0 ? ", NULL)" : ", 'v" + std::to_string(i) + "')");
    }
    must(insert);
    SQLHSTMT st = new_statement();
    SQLULEN fetched = 999;
    ASSERT_EQ(SQLSetStmtAttrW(st, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttrW(st, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(std::intptr_t{100}), 0), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttrW(st, SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(std::intptr_t{0}), 0), SQL_SUCCESS);
    std::u16string q = u"SELECT I, V FROM N ORDER BY I";
    ASSERT_EQ(SQLExecDirectW(st, q.data(), SQL_NTS), SQL_SUCCESS);
    // One allocation per column: 100 cells, then 100 indicators, as the reader lays them out.
    std::vector<SQLINTEGER> ids(100);
    std::vector<SQLLEN> id_ind(100);
    constexpr SQLLEN width = 2 * 10 + 2;
    std::vector<char> names(100 * width);
    std::vector<SQLLEN> name_ind(100);
    ASSERT_EQ(SQLBindCol(st, 1, SQL_C_LONG, ids.data(), 4, id_ind.data()), SQL_SUCCESS);
    ASSERT_EQ(SQLBindCol(st, 2, SQL_C_WCHAR, names.data(), width, name_ind.data()), SQL_SUCCESS);
    std::vector<SQLULEN> blocks;
    int expected = 1;
    SQLRETURN rc;
    while ((rc = SQLFetch(st)) == SQL_SUCCESS) {
        blocks.push_back(fetched);
        for (SQLULEN r = 0; r < fetched; ++r, ++expected) {
            ASSERT_EQ(ids[r], expected);
            if (expected % 10 == 0) {
                EXPECT_EQ(name_ind[r], SQL_NULL_DATA);
            } else {
                const std::string v = "v" + std::to_string(expected);
                EXPECT_EQ(name_ind[r], static_cast<SQLLEN>(2 * v.size()));
                EXPECT_EQ(narrow(reinterpret_cast<SQLWCHAR*>(names.data() + r * width)), v);
            }
        }
    }
    EXPECT_EQ(rc, SQL_NO_DATA);
    EXPECT_EQ(blocks, (std::vector<SQLULEN>{100, 100, 50}));
    EXPECT_EQ(fetched, 0u);
    EXPECT_EQ(SQLFreeStmt(st, SQL_UNBIND), SQL_SUCCESS);
    EXPECT_EQ(SQLFreeStmt(st, SQL_CLOSE), SQL_SUCCESS);
}

TEST_F(fetch_test, EveryTargetTypeOfTheReader) {
    must("INSERT INTO T VALUES (1, -7, 9000000000, 1.5, 2.25, -12.30, -0.5, 'Zoë 東京 😀', G'日本語',"
         " 'ab', X'00FF10', '2024-02-29', '13:45:07', '2024-01-31-23.59.58.123456')");
    must("INSERT INTO T (ID) VALUES (2)");
    SQLHSTMT st = new_statement();
    std::u16string q = u"SELECT * FROM T ORDER BY ID";
    ASSERT_EQ(SQLExecDirectW(st, q.data(), SQL_NTS), SQL_SUCCESS);
    SQLINTEGER id; SQLSMALLINT s; SQLBIGINT b; float r; double d;
    SQLWCHAR dec[20], f[20], name[62], g[22], c[10];
    unsigned char bin[6];
    TIMESTAMP_STRUCT dt, tm, ts;
    SQLLEN ind[14];
    SQLBindCol(st, 1, SQL_C_LONG, &id, 4, &ind[0]);
    SQLBindCol(st, 2, SQL_C_SHORT, &s, 2, &ind[1]);
    SQLBindCol(st, 3, SQL_C_SBIGINT, &b, 8, &ind[2]);
    SQLBindCol(st, 4, SQL_C_FLOAT, &r, 4, &ind[3]);
    SQLBindCol(st, 5, SQL_C_DOUBLE, &d, 8, &ind[4]);
    SQLBindCol(st, 6, SQL_C_WCHAR, dec, 2 * 7 + 6, &ind[5]);
    SQLBindCol(st, 7, SQL_C_WCHAR, f, 2 * 3 + 6, &ind[6]);
    SQLBindCol(st, 8, SQL_C_WCHAR, name, sizeof name, &ind[7]);
    SQLBindCol(st, 9, SQL_C_WCHAR, g, sizeof g, &ind[8]);
    SQLBindCol(st, 10, SQL_C_WCHAR, c, sizeof c, &ind[9]);
    SQLBindCol(st, 11, SQL_C_BINARY, bin, 6, &ind[10]);
    SQLBindCol(st, 12, SQL_C_TYPE_TIMESTAMP, &dt, 16, &ind[11]);
    SQLBindCol(st, 13, SQL_C_TYPE_TIMESTAMP, &tm, 16, &ind[12]);
    SQLBindCol(st, 14, SQL_C_TYPE_TIMESTAMP, &ts, 16, &ind[13]);
    ASSERT_EQ(SQLFetch(st), SQL_SUCCESS);
    EXPECT_EQ(id, 1);
    EXPECT_EQ(s, -7);
    EXPECT_EQ(b, 9000000000);
    EXPECT_EQ(r, 1.5f);
    EXPECT_EQ(d, 2.25);
    EXPECT_EQ(narrow(dec), "-12.30");
    // DECIMAL(3,3) fits its 2 x precision + 6 bytes only without a leading zero.
    EXPECT_EQ(narrow(f), "-.500");
    EXPECT_EQ(narrow(name), "Zoë 東京 😀");
    EXPECT_EQ(ind[7], 2 * 9);  // UTF-16 units, the emoji counting two
    EXPECT_EQ(narrow(g), "日本語");
    EXPECT_EQ(narrow(c), "ab  ");
    EXPECT_EQ(ind[10], 3);
    EXPECT_EQ(std::memcmp(bin, "\x00\xFF\x10", 3), 0);
    EXPECT_EQ(dt.year, 2024); EXPECT_EQ(dt.month, 2); EXPECT_EQ(dt.day, 29); EXPECT_EQ(dt.hour, 0);
    EXPECT_EQ(tm.hour, 13); EXPECT_EQ(tm.minute, 45); EXPECT_EQ(tm.second, 7);
    EXPECT_EQ(ts.year, 2024); EXPECT_EQ(ts.day, 31); EXPECT_EQ(ts.second, 58);
    EXPECT_EQ(ts.fraction, 123456000u);
    ASSERT_EQ(SQLFetch(st), SQL_SUCCESS);
    EXPECT_EQ(id, 2);
    for (int i = 1; i < 14; ++i) EXPECT_EQ(ind[i], SQL_NULL_DATA) << "column " << i + 1;
    EXPECT_EQ(SQLFetch(st), SQL_NO_DATA);
}

TEST_F(fetch_test, TruncationIsAWarningAndNullNeedsAnIndicator) {
    must("INSERT INTO T (ID, NAME) VALUES (1, 'abcdefghij'), (2, NULL)");
    SQLHSTMT st = new_statement();
    std::u16string q = u"SELECT NAME FROM T ORDER BY ID";
    ASSERT_EQ(SQLExecDirectW(st, q.data(), SQL_NTS), SQL_SUCCESS);
    SQLWCHAR small[5];
    SQLLEN ind = 0;
    SQLBindCol(st, 1, SQL_C_WCHAR, small, sizeof small, &ind);
    ASSERT_EQ(SQLFetch(st), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(narrow(small), "abcd");
    EXPECT_EQ(ind, 20);  // the whole value's length
    const auto d = diagnostics(SQL_HANDLE_STMT, st);
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d[0].state, "01004");
    // Without an indicator a NULL cannot be reported.
    SQLBindCol(st, 1, SQL_C_WCHAR, small, sizeof small, nullptr);
    EXPECT_EQ(SQLFetch(st), SQL_ERROR);
    EXPECT_EQ(diagnostics(SQL_HANDLE_STMT, st).at(0).state, "22002");
}

TEST_F(fetch_test, GetDataReadsLongValuesInPiecesAndConvertsNumbers) {
    must("INSERT INTO T (ID, NAME, DEC) VALUES (1, 'abcdefghij', 12.75)");
    SQLHSTMT st = new_statement();
    std::u16string q = u"SELECT NAME, DEC, ID FROM T";
    ASSERT_EQ(SQLExecDirectW(st, q.data(), SQL_NTS), SQL_SUCCESS);
    ASSERT_EQ(SQLFetch(st), SQL_SUCCESS);
    std::string whole;
    char part[4];
    SQLLEN ind = 0;
    SQLRETURN rc;
    while ((rc = SQLGetData(st, 1, SQL_C_CHAR, part, sizeof part, &ind)) != SQL_NO_DATA) {
        ASSERT_TRUE(rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO);
        whole += part;
    }
    EXPECT_EQ(whole, "abcdefghij");
    SQLINTEGER n = 0;
    ASSERT_EQ(SQLGetData(st, 2, SQL_C_LONG, &n, 4, &ind), SQL_SUCCESS);
    EXPECT_EQ(n, 12);
    double v = 0;
    ASSERT_EQ(SQLGetData(st, 3, SQL_C_DOUBLE, &v, 8, &ind), SQL_SUCCESS);
    EXPECT_EQ(v, 1.0);
    SQLCHAR bad[8];
    EXPECT_EQ(SQLGetData(st, 1, 12345, bad, 8, &ind), SQL_ERROR);
    EXPECT_EQ(diagnostics(SQL_HANDLE_STMT, st).at(0).state, "HY003");
}

}  // namespace
}  // namespace standin_test

namespace standin_test {
namespace {

TEST_F(fetch_test, DecfloatArrivesAsDecimal64AndRowWiseBindingWorks) {
    must("CREATE TABLE F (ID INTEGER, V DECFLOAT(16), W DECFLOAT(34))");
    must("INSERT INTO F VALUES (1, 1.5, -123456789012345678901234567890.1234), (2, NULL, 0)");
    SQLHSTMT st = new_statement();
    // One struct per row, as a row-wise binding client lays its buffers out.
    struct row {
        SQLINTEGER id;
        SQLLEN id_ind;
        unsigned char v[8];
        SQLLEN v_ind;
        unsigned char w[16];
        SQLLEN w_ind;
    } rows[2] = {};
    SQLULEN fetched = 0;
    SQLSetStmtAttrW(st, SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(sizeof(row)), 0);
    SQLSetStmtAttrW(st, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(std::intptr_t{2}), 0);
    SQLSetStmtAttrW(st, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0);
    std::u16string q = u"SELECT ID, V, W FROM F ORDER BY ID";
    ASSERT_EQ(SQLExecDirectW(st, q.data(), SQL_NTS), SQL_SUCCESS);
    SQLBindCol(st, 1, SQL_C_LONG, &rows[0].id, 0, &rows[0].id_ind);
    SQLBindCol(st, 2, SQL_C_DECIMAL64, rows[0].v, 8, &rows[0].v_ind);
    SQLBindCol(st, 3, SQL_C_DECIMAL128, rows[0].w, 16, &rows[0].w_ind);
    ASSERT_EQ(SQLFetch(st), SQL_SUCCESS);
    ASSERT_EQ(fetched, 2u);
    EXPECT_EQ(rows[1].id, 2);
    EXPECT_EQ(rows[1].v_ind, SQL_NULL_DATA);
    // 1.5 = 15 x 10^-1: exponent biased by 398 above a 53-bit coefficient.
    std::uint64_t bits = 0;
    std::memcpy(&bits, rows[0].v, 8);
    EXPECT_EQ(bits, (std::uint64_t{397} << 53) | 15u);
    unsigned __int128 wide = 0;
    std::memcpy(&wide, rows[0].w, 16);
    EXPECT_EQ(static_cast<std::uint64_t>(wide >> 127), 1u);                      // negative
    EXPECT_EQ(static_cast<int>((wide >> 113) & 0x3FFF), 6176 - 4);               // 10^-4
    unsigned __int128 coefficient = wide & ((static_cast<unsigned __int128>(1) << 113) - 1);
    std::string digits;
    while (coefficient) { digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(coefficient % 10))); coefficient /= 10; }
    EXPECT_EQ(digits, "1234567890123456789012345678901234");
}

// DECFLOAT values as DB2 keeps them: rounded half to even to 16 or 34 digits, exponents held
// to the format (a short coefficient at the top is padded, tiny values lose digits), printed
// in DB2's form; NaN, sNaN and the infinities accepted; exponent constants beyond DOUBLE's
// range or digits read as DECFLOAT constants, not through a double.
TEST_F(fetch_test, DecfloatValuesAreRoundedAndPrintedAsDb2ReturnsThem) {
    must("CREATE TABLE F (ID INTEGER, V DECFLOAT(16), W DECFLOAT(34))");
    must("INSERT INTO F VALUES (1, 9.999999999999999E384, 9.999999999999999999999999999999999E6144),"
         " (2, 1E-398, 1E-6176), (3, 1E384, 1E400), (4, 4.9E-324, 1234567890123456789012345678901234567),"
         " (5, 'NaN', '-Infinity'), (6, 'snan', 'inf'), (7, 123.4500, 0.000001234567890123456789012345678901234),"
         " (8, 12345678901234565, 12345678901234575), (9, 1E-399, -1E-7), (10, '+1.5', -0.0)");
    EXPECT_EQ(rows("SELECT V, W FROM F ORDER BY ID"),
              (std::vector<std::vector<std::string>>{
                  {"9.999999999999999E+384", "9.999999999999999999999999999999999E+6144"},
                  {"1E-398", "1E-6176"},
                  {"1.000000000000000E+384", "1E+400"},
                  {"4.9E-324", "1.234567890123456789012345678901235E+36"},
                  {"NaN", "-Infinity"},
                  {"sNaN", "Infinity"},
                  {"123.4500", "0.000001234567890123456789012345678901234"},
                  {"1.234567890123456E+16", "12345678901234575"},
                  {"0E-398", "-1E-7"},
                  {"1.5", "-0.0"}}));
    SQLHSTMT st = new_statement();
    std::u16string overflow = u"INSERT INTO F (V) VALUES (1E385)";
    EXPECT_EQ(SQLExecDirectW(st, overflow.data(), SQL_NTS), SQL_ERROR);
    EXPECT_EQ(diagnostics(SQL_HANDLE_STMT, st).at(0).native, -413);
}

}  // namespace
}  // namespace standin_test
