// DB2 as a destination, proved the one way it can run: the conversion driver copying schemas
// from one stand-in database into another, everything compared through the CLI afterwards.

#include "db2_conn.hpp"
#include "db2_db.hpp"
#include "db2_fixture.hpp"
#include "db2_vali.hpp"

#include "tk_utils.hpp"
#include "udb_conv.hpp"
#include "udb_errh.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using namespace db2_test;

namespace {

// The driver's two ends: the engine's database as the source, a database of its own
// connection as the destination.
class db2_sides : public udb_run_sides {
public:
    db2_sides(std::u16string schema, std::u16string dest_dsn, std::u16string dest_schema)
        : schema_(std::move(schema)), dest_dsn_(std::move(dest_dsn)), dest_schema_(std::move(dest_schema)) {}

    std::unique_ptr<udb_database> open_source() override {
        return db2_engine::instance().open_db(schema_, u"", u"");
    }
    std::unique_ptr<udb_database> open_destination() override {
        return std::make_unique<db2_database>(dest_schema_, std::make_unique<db2_connection>(dest_dsn_, u"", u""));
    }
    std::unique_ptr<udb_validator> create_validator(const std::vector<std::u16string>& tables,
                                                    const udb_database&) override {
        auto validator = std::make_unique<db2_validator>();
        for (const auto& table : tables) validator->add_existing_name(table);
        return validator;
    }

private:
    std::u16string schema_, dest_dsn_, dest_schema_;
};

// A cell as comparable text: bytes in hexadecimal, truth values as the digits their copy
// (a CHAR(1) column) holds, SQL NULL as <null>.
std::string cell_text(const ole_variant& v) {
    if (v.is_empty_or_null()) return "<null>";
    if (v.vt() == VT_BOOL) return v.to_bool() ? "1" : "0";
    if (v.vt() == VT_BYTES) {
        static const char digits[] = "0123456789abcdef";
        std::string hex;
        for (std::uint8_t b : v.bytes()) hex += {digits[b >> 4], digits[b & 15]};
        return "x" + hex;
    }
    return tk_to_utf8(v.to_wstring());
}

using table_rows = std::vector<std::vector<std::string>>;

table_rows read_rows(udb_database& db, const std::u16string& table) {
    auto rs = db.get_table(table, 1);
    table_rows rows;
    for (rs->reset(); !rs->is_eof(); rs->next()) {
        const udb_record* record = rs->get_item();
        std::vector<std::string> row;
        for (std::size_t i = 0; i < record->size(); ++i) row.push_back(cell_text((*record)[i]));
        rows.push_back(std::move(row));
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

// A column as far as the copy keeps it: name, type (truth values become CHAR(1) text, binaries
// past VARCHAR FOR BIT DATA a BLOB), date kind, precision and scale, nullability, identity and
// default.
std::string column_text(const t_ftd& c) {
    const std::uint16_t type = c.vartype == VT_BOOL ? std::uint16_t(VT_BSTR) : c.is_binary() ? std::uint16_t(VT_BLOB) : c.vartype;
    std::ostringstream out;
    out << tk_to_utf8(c.name) << ' ' << type << ' '
        << (c.vartype == VT_DATE || c.vartype == VT_DECIMAL ? c.reserved : 0) << ' ' << c.b_not_null << ' '
        << c.b_auto_increment << ' ' << cell_text(c.default_value) << ' ' << int(c.default_register);
    return out.str();
}

std::string index_text(const udb_index& index) {
    std::string text = tk_to_utf8(index.name) + (index.b_unique ? " unique" : "") + (index.b_primary ? " primary" : "");
    for (std::size_t i = 0; i < index.fields.size(); ++i)
        text += " " + tk_to_utf8(index.fields[i]) + (i < index.descending.size() && index.descending[i] ? "-" : "+");
    return text;
}

std::vector<std::string> key_texts(const udb_relationships& keys) {
    std::vector<std::string> texts;
    for (const auto& key : keys) {
        std::string text = tk_to_utf8(key.name + u" " + key.child_table + u"->" + key.parent_table + u" " + key.rule_clause);
        for (std::size_t i = 0; i < key.child_fields.size(); ++i)
            text += " " + tk_to_utf8(key.child_fields[i] + u"=" + key.parent_fields[i]);
        texts.push_back(text);
    }
    std::sort(texts.begin(), texts.end());
    return texts;
}

class copy_test : public ::testing::Test {
protected:
    void SetUp() override {
        handler = std::make_unique<error_handler>();
        handler->set_output(reports);
        conv = std::make_unique<udb_converter>();
        conv->set_console(out, err);
    }
    void TearDown() override {
        conv.reset();
        handler.reset();
        engine.reset();
        EXPECT_EQ(live_statements(), 0);
        EXPECT_EQ(live_handles(), 0);
    }

    // Copies schema `schema` of SRCDB into `dest_schema` of DSTDB in `mode`.
    void copy(const std::u16string& schema, const std::u16string& dest_schema, int mode = 0) {
        if (!engine) engine = connect(u"SRCDB");
        conv->set_mode(mode);
        db2_sides sides(schema, u"DSTDB", dest_schema);
        conv->run(sides);
        ASSERT_EQ(live_statements(), 0);
    }
    std::unique_ptr<db2_database> destination(const std::u16string& schema) {
        return std::make_unique<db2_database>(schema, std::make_unique<db2_connection>(u"DSTDB", u"", u""));
    }

    std::unique_ptr<db2_engine> engine;
    std::unique_ptr<error_handler> handler;
    std::unique_ptr<udb_converter> conv;
    std::ostringstream reports, out, err;
};

TEST_F(copy_test, ShopArrivesWholeInAnotherDatabase) {
    std::ifstream in(std::string(DB2_SAMPLES_DIR) + "/shop.sql");
    ASSERT_TRUE(in) << "no SHOP sample";
    std::stringstream script;
    script << in.rdbuf();
    create_database("SRCDB", script.str());
    create_database("DSTDB", "CREATE SCHEMA SHOP;\n");
    copy(u"SHOP", u"SHOP");
    EXPECT_EQ(reports.str(), "");

    auto source = engine->open_db(u"SHOP", u"", u"");
    auto copy_db = destination(u"SHOP");
    ASSERT_EQ(copy_db->tables().size(), source->tables().size());
    for (const auto& name : source->tables()) {
        SCOPED_TRACE(tk_to_utf8(name));
        auto from = source->get_table(name, 1);
        auto to = copy_db->get_table(name, 1);
        ASSERT_EQ(to->schema().size(), from->schema().size());
        for (std::size_t i = 0; i < from->schema().size(); ++i)
            EXPECT_EQ(column_text(to->schema()[i]), column_text(from->schema()[i]));
        ASSERT_EQ(to->indexes().size(), from->indexes().size());
        for (std::size_t i = 0; i < from->indexes().size(); ++i)
            EXPECT_EQ(index_text(to->indexes()[i]), index_text(from->indexes()[i]));
        EXPECT_EQ(to->record_count(), from->record_count());
        from.reset();
        to.reset();
        EXPECT_EQ(read_rows(*copy_db, name), read_rows(*source, name));
    }
    EXPECT_EQ(key_texts(copy_db->relationships()), key_texts(source->relationships()));
    EXPECT_FALSE(source->relationships().empty());
}

// Blocks of 100 with a partial last one, 10 MB large objects, names DB2 will not take, an
// identity that goes on above the copied values, and an existing table in each mode.
TEST_F(copy_test, BlocksLargeObjectsNamesIdentitiesAndExistingTables) {
    // 250 rows: blocks of 100, 100 and 50.
    std::string script = R"(CREATE SCHEMA S;
SET SCHEMA S;
CREATE TABLE NUMS (ID INTEGER NOT NULL GENERATED BY DEFAULT AS IDENTITY, NAME VARCHAR(10), PRIMARY KEY (ID));
CREATE TABLE LOBS (ID INTEGER NOT NULL, B BLOB(20M), C CLOB(40M), PRIMARY KEY (ID));
INSERT INTO LOBS VALUES (1, BLOB(REPEAT('ab', 10240)), CLOB(REPEAT('x€', 5120))), (2, NULL, NULL);
)";
    // Doubled nine times: 10 MB each.
    for (int i = 0; i < 9; ++i) script += "UPDATE LOBS SET B = B || B, C = C || C WHERE ID = 1;\n";
    script += R"(
CREATE TABLE "Order Lines" ("first-name" VARCHAR(10), "a""b" INTEGER NOT NULL, "1st" DATE, CONSTRAINT "pk ""ol""" PRIMARY KEY ("a""b"));
INSERT INTO "Order Lines" VALUES ('Zoë', 7, '2024-02-29'), (NULL, -1, NULL);
CREATE TABLE KIDS ("ref" INTEGER, CONSTRAINT "fk ""x""" FOREIGN KEY ("ref") REFERENCES "Order Lines" ("a""b") ON DELETE CASCADE);
CREATE TABLE KEPT (ID INTEGER NOT NULL);
INSERT INTO KEPT VALUES (1);
CREATE TABLE REPLACED (ID INTEGER NOT NULL);
INSERT INTO REPLACED VALUES (2);
INSERT INTO NUMS (NAME) VALUES )";
    for (int i = 1; i <= 250; ++i) script += (i > 1 ? ", ('n" : "('n") + std::to_string(i) + "')";
    create_database("SRCDB", script + ";\n");
    create_database("DSTDB", R"(CREATE SCHEMA T;
SET SCHEMA T;
CREATE TABLE KEPT (ID INTEGER NOT NULL);
INSERT INTO KEPT VALUES (10);
CREATE TABLE REPLACED (ID INTEGER NOT NULL);
INSERT INTO REPLACED VALUES (20);
)");
    // Mode 2 keeps KEPT as it was; mode 1 then replaces REPLACED.
    conv->table_list() = {u"KEPT"};
    copy(u"S", u"T", 2);
    conv->table_list() = {u"KIDS", u"LOBS", u"NUMS", u"Order Lines", u"REPLACED"};
    conv->selected_items().clear();
    copy(u"S", u"T", 1);
    EXPECT_EQ(reports.str(), "");

    auto dest = destination(u"T");
    EXPECT_EQ(read_rows(*dest, u"KEPT"), (table_rows{{"10"}}));
    EXPECT_EQ(read_rows(*dest, u"REPLACED"), (table_rows{{"2"}}));
    auto source = engine->open_db(u"S", u"", u"");
    EXPECT_EQ(read_rows(*dest, u"NUMS"), read_rows(*source, u"NUMS"));
    EXPECT_EQ(read_rows(*dest, u"NUMS").size(), 250u);
    const table_rows lobs = read_rows(*dest, u"LOBS");
    ASSERT_EQ(lobs.size(), 2u);
    EXPECT_EQ(lobs, read_rows(*source, u"LOBS"));
    EXPECT_EQ(lobs[0][1].size(), 1 + 2 * 10485760u);

    // Renamed table and columns, the key on the renamed column.
    auto renamed = dest->get_table(u"Order_Lines", 1);
    std::vector<std::u16string> columns;
    for (const t_ftd* c : renamed->schema()) columns.push_back(c->name);
    EXPECT_EQ(columns, (std::vector<std::u16string>{u"first_name", u"a_b", u"A1st"}));
    ASSERT_EQ(renamed->indexes().size(), 1u);
    EXPECT_EQ(index_text(renamed->indexes()[0]), "pk \"ol\" unique primary a_b+");
    renamed.reset();
    EXPECT_EQ(read_rows(*dest, u"Order_Lines"), (table_rows{{"<null>", "-1", "<null>"}, {"Zoë", "7", "2024-02-29"}}));

    // The foreign key between renamed names, its own name with double quotes.
    dest->get_table(u"KIDS", 1);
    EXPECT_EQ(key_texts(dest->relationships()),
              std::vector<std::string>{"fk \"x\" KIDS->Order_Lines ON DELETE CASCADE ref=a_b"});

    // The identity is back and continues above the copied values.
    ASSERT_TRUE(dest->query(u"INSERT INTO NUMS (NAME) VALUES ('next')"));
    auto next = db2_query_column(dest->connection(), u"SELECT ID FROM T.NUMS WHERE NAME = 'next'");
    EXPECT_EQ(next, std::vector<std::u16string>{u"251"});
}

// A row DB2 refuses and a value longer than its cell, both in the middle of a block: the
// block's other rows are stored and each refused row is reported with its record number and
// counted as refused. An injected failure of the insert fails the table, still switches its
// identity back on above the rows written, and leaves no handle behind.
TEST_F(copy_test, RefusedRowsAreReportedAndFailuresLeaveTheTableUsable) {
    std::string script = "CREATE SCHEMA S;\nSET SCHEMA S;\n"
                         "CREATE TABLE T (ID INTEGER NOT NULL, NAME VARCHAR(10));\n"
                         "CREATE TABLE F (ID INTEGER NOT NULL GENERATED BY DEFAULT AS IDENTITY, N INTEGER, B BLOB(1M));\n"
                         "INSERT INTO T VALUES ";
    for (int i = 1; i <= 150; ++i)
        script += (i > 1 ? ", (" : "(") + std::to_string(i) + (i == 42 ? ", 'too long!')" : ", 'n')");
    script += ";\nINSERT INTO F (ID, N, B) VALUES ";
    for (int i = 1; i <= 150; ++i) script += (i > 1 ? ", (" : "(") + std::to_string(i * 2) + ", 0, BLOB('b'))";
    script += ";\n";
    create_database("SRCDB", script);
    create_database("DSTDB", "CREATE SCHEMA D;\nSET SCHEMA D;\n"
                             "CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY, NAME VARGRAPHIC(5));\n"
                             "INSERT INTO T VALUES (120, 'old');\n");
    conv->table_list() = {u"T"};
    copy(u"S", u"D", 3);
    const std::string text = reports.str();
    EXPECT_NE(text.find("T, record #42: "), std::string::npos) << text;
    EXPECT_NE(text.find("T, record #120: "), std::string::npos) << text;
    // Neither refusal raised from append_record: the driver counts both as refused.
    EXPECT_EQ(conv->records_copied(), 148);
    EXPECT_EQ(conv->records_refused(), 2);
    auto dest = destination(u"D");
    const table_rows rows = read_rows(*dest, u"T");
    EXPECT_EQ(rows.size(), 149u);
    EXPECT_NE(std::find(rows.begin(), rows.end(), std::vector<std::string>{"120", "old"}), rows.end());
    EXPECT_NE(std::find(rows.begin(), rows.end(), std::vector<std::string>{"43", "n"}), rows.end());
    dest.reset();

    // A failure at each step of the insert, counted from the start of the copy: the table
    // fails, its identity continues above what was written, and no handle stays behind. The
    // failure is a resource one: a lost link would end the whole run instead.
    conv->table_list() = {u"F"};
    const std::pair<const char*, std::size_t> faults[] = {
        {"SQLExecute:2:57011:-904", 100}, {"SQLPrepareW:1:57011:-904", 0},
        {"SQLBindParameter:4:57011:-904", 100}, {"SQLParamData:3:57011:-904", 0},
        {"SQLPutData:120:57011:-904", 100}};
    for (const auto& [fault, rows_left] : faults) {
        SCOPED_TRACE(fault);
        reports.str("");
        conv->selected_items().clear();
        {
            scoped_env injected("DB2STANDIN_FAULTS", fault);
            copy(u"S", u"D", 1);
        }
        EXPECT_NE(reports.str().find("F: "), std::string::npos) << reports.str();
        dest = destination(u"D");
        EXPECT_EQ(read_rows(*dest, u"F").size(), rows_left);
        ASSERT_TRUE(dest->query(u"INSERT INTO F (N) VALUES (1)"));
        EXPECT_EQ(db2_query_column(dest->connection(), u"SELECT ID FROM D.F WHERE N = 1"),
                  std::vector<std::u16string>{rows_left ? u"201" : u"1"});
        dest.reset();
        EXPECT_EQ(live_statements(), 0);
    }
}

} // namespace
