// Large objects through locators: bound with a locator type, measured and read on a second,
// idle statement of the same connection.

#include "standin_fixture.hpp"

#include <cstring>

namespace standin_test {
namespace {

class locator_test : public standin {
protected:
    void SetUp() override {
        standin::SetUp();
        must("CREATE TABLE L (ID INTEGER NOT NULL, B BLOB(1M), C CLOB(1M), D DBCLOB(1M), X XML)");
        must("INSERT INTO L VALUES (1, BLOB(X'0001020304'), 'Grüße', G'日本語テキスト', "
             "XMLPARSE(DOCUMENT '<a>é</a>')), (2, NULL, NULL, NULL, NULL)");
        reader_ = new_statement();
        cursor_ = new_statement();
        std::u16string q = u"SELECT B, C, D, XML2CLOB(\"X\") FROM L ORDER BY ID";
        ASSERT_EQ(SQLExecDirectW(cursor_, q.data(), SQL_NTS), SQL_SUCCESS);
        SQLBindCol(cursor_, 1, SQL_C_BLOB_LOCATOR, &loc_[0], 0, &ind_[0]);
        SQLBindCol(cursor_, 2, SQL_C_CLOB_LOCATOR, &loc_[1], 0, &ind_[1]);
        SQLBindCol(cursor_, 3, SQL_C_DBCLOB_LOCATOR, &loc_[2], 0, &ind_[2]);
        SQLBindCol(cursor_, 4, SQL_C_CLOB_LOCATOR, &loc_[3], 0, &ind_[3]);
    }

    SQLINTEGER length(SQLSMALLINT type, SQLINTEGER loc) {
        SQLINTEGER n = -1, ind = -1;
        EXPECT_EQ(SQLGetLength(reader_, type, loc, &n, &ind), SQL_SUCCESS);
        EXPECT_EQ(ind, 0);
        return n;
    }

    SQLHSTMT reader_ = 0, cursor_ = 0;
    SQLINTEGER loc_[4] = {};
    SQLLEN ind_[4] = {};
};

TEST_F(locator_test, LengthAndWholeValueOfEachKind) {
    ASSERT_EQ(SQLFetch(cursor_), SQL_SUCCESS);
    EXPECT_EQ(length(SQL_C_BLOB_LOCATOR, loc_[0]), 5);
    EXPECT_EQ(length(SQL_C_CLOB_LOCATOR, loc_[1]), 7);     // bytes of "Grüße"
    EXPECT_EQ(length(SQL_C_DBCLOB_LOCATOR, loc_[2]), 7);   // characters
    EXPECT_EQ(length(SQL_C_CLOB_LOCATOR, loc_[3]), 9);

    unsigned char bytes[5];
    SQLINTEGER out = 0, ind = -1;
    ASSERT_EQ(SQLGetSubString(reader_, SQL_C_BLOB_LOCATOR, loc_[0], 1, 5, SQL_C_BINARY, bytes, 5, &out, &ind), SQL_SUCCESS);
    EXPECT_EQ(out, 5);
    EXPECT_EQ(std::memcmp(bytes, "\x00\x01\x02\x03\x04", 5), 0);
    // The reader asks for wide text into length + 1 characters.
    SQLWCHAR text[8];
    ASSERT_EQ(SQLGetSubString(reader_, SQL_C_CLOB_LOCATOR, loc_[1], 1, 7, SQL_C_WCHAR, text, sizeof text, &out, &ind), SQL_SUCCESS);
    EXPECT_EQ(narrow(text), "Grüße");
    ASSERT_EQ(SQLGetSubString(reader_, SQL_C_DBCLOB_LOCATOR, loc_[2], 1, 7, SQL_C_WCHAR, text, sizeof text, &out, &ind), SQL_SUCCESS);
    EXPECT_EQ(narrow(text), "日本語テキスト");
    SQLWCHAR xml[10];
    ASSERT_EQ(SQLGetSubString(reader_, SQL_C_CLOB_LOCATOR, loc_[3], 1, 9, SQL_C_WCHAR, xml, sizeof xml, &out, &ind), SQL_SUCCESS);
    EXPECT_EQ(narrow(xml), "<a>é</a>");

    ASSERT_EQ(SQLFetch(cursor_), SQL_SUCCESS);
    for (SQLLEN i : ind_) EXPECT_EQ(i, SQL_NULL_DATA);
}

TEST_F(locator_test, PartsArePaddedPastTheEndAndBadRequestsFail) {
    ASSERT_EQ(SQLFetch(cursor_), SQL_SUCCESS);
    unsigned char bytes[6];
    SQLINTEGER out = 0;
    ASSERT_EQ(SQLGetSubString(reader_, SQL_C_BLOB_LOCATOR, loc_[0], 4, 4, SQL_C_BINARY, bytes, 6, &out, nullptr), SQL_SUCCESS);
    EXPECT_EQ(out, 4);
    EXPECT_EQ(std::memcmp(bytes, "\x03\x04\x00\x00", 4), 0);
    SQLWCHAR text[8];
    ASSERT_EQ(SQLGetSubString(reader_, SQL_C_DBCLOB_LOCATOR, loc_[2], 6, 4, SQL_C_WCHAR, text, sizeof text, &out, nullptr), SQL_SUCCESS);
    EXPECT_EQ(narrow(text), "スト  ");
    // A smaller buffer cuts with a warning.
    SQLWCHAR two[3];
    EXPECT_EQ(SQLGetSubString(reader_, SQL_C_DBCLOB_LOCATOR, loc_[2], 1, 7, SQL_C_WCHAR, two, sizeof two, &out, nullptr), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(narrow(two), "日本");

    EXPECT_EQ(SQLGetSubString(reader_, SQL_C_BLOB_LOCATOR, loc_[0], 7, 1, SQL_C_BINARY, bytes, 6, &out, nullptr), SQL_ERROR);
    EXPECT_EQ(diagnostics(SQL_HANDLE_STMT, reader_).at(0).state, "22011");
    SQLINTEGER n = 0;
    EXPECT_EQ(SQLGetLength(reader_, SQL_C_CLOB_LOCATOR, loc_[0], &n, nullptr), SQL_ERROR);
    EXPECT_EQ(diagnostics(SQL_HANDLE_STMT, reader_).at(0).state, "07006");
    EXPECT_EQ(SQLGetLength(reader_, SQL_C_BLOB_LOCATOR, 987654, &n, nullptr), SQL_ERROR);
    EXPECT_EQ(diagnostics(SQL_HANDLE_STMT, reader_).at(0).state, "0F001");
    // The statement holding the cursor is not idle.
    EXPECT_EQ(SQLGetLength(cursor_, SQL_C_BLOB_LOCATOR, loc_[0], &n, nullptr), SQL_ERROR);
    EXPECT_EQ(diagnostics(SQL_HANDLE_STMT, cursor_).at(0).state, "HY010");
    // A text column cannot become a binary locator.
    SQLFreeStmt(cursor_, SQL_CLOSE);
    std::u16string q = u"SELECT C FROM L";
    ASSERT_EQ(SQLExecDirectW(cursor_, q.data(), SQL_NTS), SQL_SUCCESS);
    SQLFreeStmt(cursor_, SQL_UNBIND);
    SQLBindCol(cursor_, 1, SQL_C_BLOB_LOCATOR, &loc_[0], 0, &ind_[0]);
    EXPECT_EQ(SQLFetch(cursor_), SQL_ERROR);
    EXPECT_EQ(diagnostics(SQL_HANDLE_STMT, cursor_).at(0).state, "07006");
}

TEST_F(locator_test, LocatorsEndWithTheirRowsetOrCursor) {
    ASSERT_EQ(SQLFetch(cursor_), SQL_SUCCESS);
    const SQLINTEGER first = loc_[0];
    SQLINTEGER n = 0;
    ASSERT_EQ(SQLGetLength(reader_, SQL_C_BLOB_LOCATOR, first, &n, nullptr), SQL_SUCCESS);
    ASSERT_EQ(SQLFetch(cursor_), SQL_SUCCESS);
    EXPECT_EQ(SQLGetLength(reader_, SQL_C_BLOB_LOCATOR, first, &n, nullptr), SQL_ERROR);
    EXPECT_EQ(diagnostics(SQL_HANDLE_STMT, reader_).at(0).state, "0F001");
}

}  // namespace
}  // namespace standin_test
