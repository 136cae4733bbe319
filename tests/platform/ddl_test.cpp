// Changing a database: drops, column additions and the way statements and transactions
// leave the data when they fail.

#include "standin_fixture.hpp"

namespace standin_test {
namespace {

class ddl_test : public standin {
protected:
    std::string count(const std::string& from_where) {
        const auto r = rows("SELECT count(*) FROM " + from_where);
        return r.empty() ? "?" : r[0][0];
    }
};

TEST_F(ddl_test, DroppingATableTakesItsKeysAndTheKeysThatReferToIt) {
    must("CREATE TABLE P (ID INTEGER NOT NULL PRIMARY KEY)");
    must("CREATE TABLE C (ID INTEGER NOT NULL, P_ID INTEGER REFERENCES P, PRIMARY KEY (ID))");
    must("CREATE INDEX IX_C ON C (P_ID)");
    EXPECT_EQ(native_of("DROP INDEX " + rows("SELECT INDNAME FROM SYSCAT.INDEXES WHERE TABNAME = 'P'").at(0).at(0)), -669);
    must("DROP TABLE P");
    EXPECT_EQ(count("SYSCAT.REFERENCES"), "0");
    EXPECT_EQ(count("SYSCAT.INDEXES WHERE TABNAME = 'P'"), "0");
    EXPECT_EQ(count("SYSCAT.COLUMNS WHERE TABNAME = 'P'"), "0");
    must("DROP INDEX IX_C");
    EXPECT_EQ(count("SYSCAT.INDEXES WHERE TABNAME = 'C'"), "1");
    EXPECT_EQ(native_of("DROP TABLE P"), -204);
    EXPECT_EQ(native_of("DROP SCHEMA TESTER"), -478);
    must("DROP TABLE C");
    must("DROP SCHEMA TESTER");
}

TEST_F(ddl_test, AddedColumnsTakeTheirDefaultInExistingRows) {
    must("CREATE TABLE T (A INTEGER)");
    must("INSERT INTO T VALUES (1), (2)");
    must("ALTER TABLE T ADD COLUMN B VARCHAR(5) NOT NULL WITH DEFAULT 'x' ADD C DATE");
    EXPECT_EQ(rows("SELECT A, B, C FROM T ORDER BY A"),
              (std::vector<std::vector<std::string>>{{"1", "x", "<null>"}, {"2", "x", "<null>"}}));
    must("ALTER TABLE T ALTER COLUMN B SET DEFAULT 'y' ALTER COLUMN A SET NOT NULL");
    must("INSERT INTO T (A) VALUES (3)");
    EXPECT_EQ(rows("SELECT B FROM T WHERE A = 3").at(0).at(0), "y");
    EXPECT_EQ(native_of("INSERT INTO T (B) VALUES ('z')"), -407);
    EXPECT_EQ(native_of("ALTER TABLE T ADD COLUMN A INTEGER"), -612);
}

TEST_F(ddl_test, InsertFromASelectChecksEveryRow) {
    must("CREATE TABLE SRC (A INTEGER, B VARCHAR(20))");
    must("INSERT INTO SRC VALUES (1, 'short'), (2, 'much longer')");
    must("CREATE TABLE DST (A SMALLINT NOT NULL, B VARCHAR(5))");
    EXPECT_EQ(native_of("INSERT INTO DST SELECT A, B FROM SRC"), -433);
    EXPECT_EQ(count("DST"), "0");
    must("INSERT INTO DST (A, B) SELECT A, B FROM SRC WHERE A = 1");
    EXPECT_EQ(rows("SELECT * FROM DST"), (std::vector<std::vector<std::string>>{{"1", "short"}}));
}

TEST_F(ddl_test, FailedStatementsInsideATransactionLeaveEarlierWork) {
    must("CREATE TABLE T (A INTEGER NOT NULL PRIMARY KEY)");
    ASSERT_EQ(SQLSetConnectAttrW(dbc_, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(std::intptr_t{0}), 0), SQL_SUCCESS);
    must("INSERT INTO T VALUES (1)");
    EXPECT_EQ(native_of("INSERT INTO T VALUES (2), (1)"), -803);
    EXPECT_EQ(count("T"), "1");
    ASSERT_EQ(SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_COMMIT), SQL_SUCCESS);
    // Switching autocommit back on commits as well.
    must("INSERT INTO T VALUES (5)");
    ASSERT_EQ(SQLSetConnectAttrW(dbc_, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(std::intptr_t{1}), 0), SQL_SUCCESS);
    ASSERT_EQ(SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_ROLLBACK), SQL_SUCCESS);
    EXPECT_EQ(count("T"), "2");
}

TEST_F(ddl_test, LengthsCountBytesForCharacterAndUnitsForGraphicColumns) {
    must("CREATE TABLE T (V VARCHAR(4), G VARGRAPHIC(5), F CHAR(3) FOR BIT DATA)");
    must("INSERT INTO T (G) VALUES ('日本語😀')");         // 3 + 2 UTF-16 units
    EXPECT_EQ(native_of("INSERT INTO T (G) VALUES ('日本語😀x')"), -433);
    EXPECT_EQ(native_of("INSERT INTO T (V) VALUES ('日本')"), -433);  // 6 bytes
    must("INSERT INTO T (V) VALUES ('éé  ')");                          // trailing blanks may go
    must("INSERT INTO T (V, F) VALUES ('ab    ', X'01')");
    EXPECT_EQ(rows("SELECT V, F FROM T WHERE F IS NOT NULL"),
              (std::vector<std::vector<std::string>>{{"ab  ", "012020"}}));
}

TEST_F(ddl_test, CurrentSchemaAttributeAndUnknownAttributes) {
    must("CREATE TABLE OTHER.T (A INTEGER)");
    std::u16string other = u"OTHER";
    ASSERT_EQ(SQLSetConnectAttrW(dbc_, SQL_ATTR_CURRENT_SCHEMA, other.data(), SQL_NTS), SQL_SUCCESS);
    EXPECT_EQ(count("T"), "0");
    EXPECT_EQ(SQLSetConnectAttrW(dbc_, 4242, nullptr, 0), SQL_ERROR);
    EXPECT_EQ(diagnostics(SQL_HANDLE_DBC, dbc_).at(0).state, "HY092");
    SQLHSTMT st = new_statement();
    EXPECT_EQ(SQLSetStmtAttrW(st, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(std::intptr_t{0}), 0), SQL_ERROR);
    EXPECT_EQ(diagnostics(SQL_HANDLE_STMT, st).at(0).state, "HY024");
    // A short message buffer gets the start of the text and a warning.
    SQLWCHAR state[6], message[20];
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    EXPECT_EQ(SQLGetDiagRecW(SQL_HANDLE_STMT, st, 1, state, &native, message, 20, &length), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(narrow(message), "[IBM][CLI Driver] C");
    EXPECT_GT(length, 20);
    EXPECT_EQ(SQLGetDiagRecW(SQL_HANDLE_STMT, st, 2, state, &native, message, 20, &length), SQL_NO_DATA);
}

}  // namespace
}  // namespace standin_test
