// Writing: INSERT with literals, defaults and identities, and prepared inserts with
// parameter arrays and large values sent at execution time.

#include "standin_fixture.hpp"

#include <cstring>

namespace standin_test {
namespace {

using insert_test = standin;

TEST_F(insert_test, DefaultsIdentitiesAndValueChecks) {
    must("CREATE TABLE T (ID INTEGER NOT NULL GENERATED ALWAYS AS IDENTITY (START WITH 5, INCREMENT BY 5),"
         " NAME VARCHAR(5) NOT NULL WITH DEFAULT 'n/a', QTY SMALLINT DEFAULT 1, D DECIMAL(5,2),"
         " AT DATE, PRIMARY KEY (ID))");
    must("INSERT INTO T (NAME, D, AT) VALUES ('ab', 1.005, '03/04/2024'), (DEFAULT, NULL, NULL)");
    EXPECT_EQ(rows("SELECT * FROM T ORDER BY ID"),
              (std::vector<std::vector<std::string>>{{"5", "ab", "1", "1.00", "2024-03-04"},
                                                     {"10", "n/a", "1", "<null>", "<null>"}}));
    SQLHSTMT st = new_statement();
    auto fails_with = [&](const std::string& sql, SQLINTEGER native) {
        std::u16string text = w(sql);
        EXPECT_EQ(SQLExecDirectW(st, text.data(), SQL_NTS), SQL_ERROR) << sql;
        EXPECT_EQ(diagnostics(SQL_HANDLE_STMT, st).at(0).native, native) << sql;
    };
    fails_with("INSERT INTO T (ID, NAME) VALUES (1, 'x')", -798);
    fails_with("INSERT INTO T (NAME) VALUES ('toolong')", -433);
    fails_with("INSERT INTO T (NAME) VALUES (NULL)", -407);
    fails_with("INSERT INTO T (NAME, QTY) VALUES ('x', 70000)", -413);
    fails_with("INSERT INTO T (NAME, D) VALUES ('x', 1234.5)", -413);
    fails_with("INSERT INTO T (NAME, AT) VALUES ('x', '2023-02-29')", -180);
    fails_with("INSERT INTO T (NOPE) VALUES (1)", -205);
    // A statement that fails on its second row leaves no first row behind.
    fails_with("INSERT INTO T (NAME) VALUES ('ok'), (NULL)", -407);
    EXPECT_EQ(rows("SELECT count(*) FROM T").at(0).at(0), "2");

    // Switching the identity off and on again, as a loader does around its inserts.
    must("ALTER TABLE T ALTER COLUMN ID DROP IDENTITY");
    must("INSERT INTO T (ID, NAME) VALUES (100, 'x')");
    fails_with("INSERT INTO T (ID, NAME) VALUES (100, 'y')", -803);
    must("ALTER TABLE T ALTER COLUMN ID SET GENERATED AS IDENTITY (START WITH 101)");
    must("INSERT INTO T (NAME) VALUES ('z')");
    EXPECT_EQ(rows("SELECT ID FROM T WHERE NAME = 'z'").at(0).at(0), "101");
}

TEST_F(insert_test, ParameterArraysAndDataAtExecution) {
    must("CREATE TABLE T (ID INTEGER, NAME VARGRAPHIC(20), AT TIMESTAMP, DT DATE, PIC BLOB(1M), NOTE CLOB(1M))");
    SQLHSTMT st = new_statement();
    std::u16string q = u"INSERT INTO \"T\"(\"ID\", \"NAME\", \"AT\", \"DT\", \"PIC\", \"NOTE\") VALUES (?, ?, ?, ?, ?, ?)";
    ASSERT_EQ(SQLPrepareW(st, q.data(), SQL_NTS), SQL_SUCCESS);
    constexpr int rows_n = 3;
    ASSERT_EQ(SQLSetStmtAttrW(st, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(std::intptr_t{rows_n}), 0), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttrW(st, SQL_ATTR_PARAM_BIND_TYPE, reinterpret_cast<SQLPOINTER>(std::intptr_t{0}), 0), SQL_SUCCESS);
    SQLINTEGER ids[rows_n] = {1, 2, 3};
    SQLLEN id_ind[rows_n] = {4, 4, SQL_NULL_DATA};
    SQLWCHAR names[rows_n][21] = {u"Ünïcode", u"東京", u""};
    SQLLEN name_ind[rows_n] = {SQL_NTS, SQL_NTS, SQL_NULL_DATA};
    TIMESTAMP_STRUCT at[rows_n] = {{2024, 1, 2, 3, 4, 5, 600000000}, {1999, 12, 31, 23, 59, 59, 0}, {}};
    SQLLEN at_ind[rows_n] = {16, 16, SQL_NULL_DATA};
    SQLLEN dt_ind[rows_n] = {16, SQL_NULL_DATA, SQL_NULL_DATA};
    SQLINTEGER pic_cells[rows_n] = {0, 1, 2};
    SQLLEN pic_ind[rows_n] = {SQL_LEN_DATA_AT_EXEC(3), SQL_NULL_DATA, SQL_LEN_DATA_AT_EXEC(2)};
    SQLINTEGER note_cells[rows_n] = {0, 1, 2};
    SQLLEN note_ind[rows_n] = {SQL_DATA_AT_EXEC, SQL_DATA_AT_EXEC, SQL_NULL_DATA};
    SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, ids, 4, id_ind);
    SQLBindParameter(st, 2, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_VARGRAPHIC, 20, 0, names, sizeof names[0], name_ind);
    SQLBindParameter(st, 3, SQL_PARAM_INPUT, SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, 26, 6, at, 16, at_ind);
    SQLBindParameter(st, 4, SQL_PARAM_INPUT, SQL_C_TYPE_TIMESTAMP, SQL_TYPE_DATE, 10, 0, at, 16, dt_ind);
    SQLBindParameter(st, 5, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_BLOB, 0, 0, pic_cells, 4, pic_ind);
    SQLBindParameter(st, 6, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_CLOB, 0, 0, note_cells, 4, note_ind);
    ASSERT_EQ(SQLExecute(st), SQL_NEED_DATA);
    // The pending values come row by row; the pointer names the bound cell of that row.
    const std::vector<std::pair<void*, std::string>> wanted = {
        {&pic_cells[0], "\x01\x02\x03"}, {&note_cells[0], "note one"}, {&note_cells[1], "two 😀"},
        {&pic_cells[2], "\xAA\xBB"}};
    for (const auto& [cell, data] : wanted) {
        SQLPOINTER which = nullptr;
        ASSERT_EQ(SQLParamData(st, &which), SQL_NEED_DATA);
        EXPECT_EQ(which, cell);
        if (cell == &note_cells[0] || cell == &note_cells[1]) {
            std::u16string text = w(data);
            ASSERT_EQ(SQLPutData(st, text.data(), static_cast<SQLLEN>(text.size() * 2)), SQL_SUCCESS);
        } else {
            // Binary values may come in several pieces.
            ASSERT_EQ(SQLPutData(st, const_cast<char*>(data.data()), 1), SQL_SUCCESS);
            ASSERT_EQ(SQLPutData(st, const_cast<char*>(data.data() + 1), static_cast<SQLLEN>(data.size() - 1)), SQL_SUCCESS);
        }
    }
    SQLPOINTER last = nullptr;
    ASSERT_EQ(SQLParamData(st, &last), SQL_SUCCESS);
    SQLLEN count = 0;
    ASSERT_EQ(SQLRowCount(st, &count), SQL_SUCCESS);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(rows("SELECT ID, NAME, AT, DT, PIC, NOTE FROM T ORDER BY 1"),
              (std::vector<std::vector<std::string>>{
                  {"<null>", "<null>", "<null>", "<null>", "AABB", "<null>"},
                  {"1", "Ünïcode", "2024-01-02 03:04:05.600000", "2024-01-02", "010203", "note one"},
                  {"2", "東京", "1999-12-31 23:59:59.000000", "<null>", "<null>", "two 😀"}}));
    // Executing again without all parameters bound is refused.
    SQLFreeStmt(st, SQL_RESET_PARAMS);
    EXPECT_EQ(SQLExecute(st), SQL_ERROR);
    EXPECT_EQ(diagnostics(SQL_HANDLE_STMT, st).at(0).state, "07002");
}

}  // namespace
}  // namespace standin_test
