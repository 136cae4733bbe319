#include "udb_db.hpp"
#include "udb_rule.hpp"

#include "tk_excp.hpp"

#include <gtest/gtest.h>

namespace {

// The least a recordset must define; everything else keeps the base behaviour.
class sink_recordset : public udb_recordset {
public:
    using udb_recordset::udb_recordset;
    void append_record(const udb_record&) override { ++appended; }
    int appended = 0;
};

class plain_database : public udb_database {
public:
    plain_database(bool case_sensitive) : udb_database(u"DB", 1, case_sensitive) {}
    std::unique_ptr<udb_recordset> create_table(const std::u16string& name, const udb_schema&,
                                                const udb_indexes&) override {
        tables_.push_back(name);
        return std::make_unique<sink_recordset>(name, true);
    }
    std::unique_ptr<udb_recordset> get_table(const std::u16string& name, int) override {
        return std::make_unique<sink_recordset>(name, true);
    }
    std::unique_ptr<udb_recordset> get_query(const std::u16string& name,
                                             const std::u16string& text, int) override {
        return std::make_unique<sink_recordset>(name, text, true);
    }
    bool query(const std::u16string&) override { return true; }
};

} // namespace

TEST(Recordset, BaseIsAnEmptySourceAndFinishSendsNothing) {
    sink_recordset table(u"ORDERS", false);
    table.reset();
    EXPECT_TRUE(table.is_eof());
    EXPECT_EQ(table.get_item(), nullptr);
    table.next();
    table.prev();
    table.update();
    table.finish();
    EXPECT_FALSE(table.is_query());
    EXPECT_EQ(table.record_count(), 0);
    EXPECT_EQ(table.primary_key_index(), -1);
    EXPECT_FALSE(table.schema().is_owner());

    sink_recordset query(u"BIG_ORDERS", u"SELECT * FROM ORDERS WHERE TOTAL > 100", true);
    EXPECT_TRUE(query.is_query());
    EXPECT_TRUE(query.schema().is_owner());
}

TEST(Recordset, FirstPrimaryOrUniqueIndexBecomesTheKeyAndNamesStayUnique) {
    sink_recordset rs(u"T", true);
    rs.add_index(udb_index(u"IX_NAME", false, false, {u"NAME"}));
    rs.add_index(udb_index(u"UQ_CODE", true, false, {u"CODE"}));
    rs.add_index(udb_index(u"PK_T", true, true, {u"ID"}));
    rs.add_index(udb_index(u"ix_name", true, true, {u"OTHER"}));
    ASSERT_EQ(rs.indexes().size(), 3u) << "a name already taken is not added again";
    EXPECT_EQ(rs.primary_key_index(), 1) << "the unique index came first and stays the key";
    EXPECT_EQ(rs.indexes()[0].fields, (udb_names{u"NAME"}));

    sink_recordset pk_first(u"U", true);
    pk_first.add_index(udb_index(u"PK_U", true, true, {u"ID"}));
    pk_first.add_index(udb_index(u"UQ_U", true, false, {u"CODE"}));
    EXPECT_EQ(pk_first.primary_key_index(), 0);
}

TEST(Database, TableLookupFollowsTheCaseRule) {
    plain_database insensitive(false);
    insensitive.tables() = {u"ORDERS", u"Customers"};
    EXPECT_TRUE(insensitive.is_table_exist(u"orders"));
    EXPECT_TRUE(insensitive.is_table_exist(u"CUSTOMERS"));
    EXPECT_FALSE(insensitive.is_table_exist(u"ORDER"));

    plain_database sensitive(true);
    sensitive.tables() = {u"ORDERS", u"Orders"};
    EXPECT_TRUE(sensitive.is_table_exist(u"Orders"));
    EXPECT_FALSE(sensitive.is_table_exist(u"orders"));
}

TEST(Database, DeleteRemovesTheFirstMatchAndKeepsTheOrder) {
    plain_database db(false);
    db.tables() = {u"A", u"ORDERS", u"B", u"orders"};
    EXPECT_TRUE(db.delete_tab(u"Orders"));
    EXPECT_EQ(db.tables(), (std::vector<std::u16string>{u"A", u"B", u"orders"}));
    EXPECT_THROW(db.delete_tab(u"C"), tk_mail_assertion);

    plain_database exact(true);
    exact.tables() = {u"ORDERS", u"Orders"};
    exact.delete_tab(u"Orders");
    EXPECT_EQ(exact.tables(), (std::vector<std::u16string>{u"ORDERS"}));
    EXPECT_THROW(exact.delete_tab(u"orders"), tk_mail_assertion);
}

TEST(Database, BaseOperationsAndFactoriesHandOverOwnership) {
    plain_database db(false);
    EXPECT_EQ(db.mode(), 1);
    EXPECT_EQ(db.name(), u"DB");
    EXPECT_THROW(db.query_rows(u"SELECT 1"), tk_mail_assertion);
    db.create_views({{u"V", u"SELECT 1"}});
    db.create_relationships(udb_relationships());

    std::unique_ptr<udb_recordset> rs = db.create_table(u"NEW", udb_schema(false), udb_indexes());
    EXPECT_TRUE(db.is_table_exist(u"new"));
    rs->append_record(udb_record());
    rs->finish();
    EXPECT_EQ(static_cast<sink_recordset&>(*rs).appended, 1);
}

namespace {
struct text_rule : udb_rule {
    bool accepts(const udb_field& value) const override { return value.vt() == VT_BSTR; }
    bool accepts(const t_ftd& column) const override { return column.vartype == VT_BSTR; }
    std::u16string value_literal(const udb_field&) const override { return u"'lit'"; }
    std::u16string column_type(const t_ftd&) const override { return u"TEXT"; }
};

struct rules_guard {
    ~rules_guard() { udb_custom_conversion::uninstall(); }
};
} // namespace

TEST(CustomConversion, AbsentListAcceptsNothingAndAnInstalledListIsAsked) {
    rules_guard guard;
    const t_ftd text_col(10, u"T", VT_BSTR);
    const t_ftd int_col(4, u"I", VT_I4);
    const udb_field text_val(u"T", 10, ole_variant(u"x"));
    const udb_field int_val(u"I", 4, ole_variant(1));

    EXPECT_FALSE(udb_custom_conversion::is_acceptable1(text_col));
    EXPECT_FALSE(udb_custom_conversion::is_acceptable2(text_val));
    EXPECT_EQ(udb_custom_conversion::handle1(text_col), u"");
    EXPECT_EQ(udb_custom_conversion::handle2(text_val), u"");

    udb_rule_list list;
    list.push_back(std::make_unique<text_rule>());
    udb_custom_conversion::install(std::move(list));
    EXPECT_TRUE(udb_custom_conversion::is_acceptable1(text_col));
    EXPECT_FALSE(udb_custom_conversion::is_acceptable1(int_col));
    EXPECT_TRUE(udb_custom_conversion::is_acceptable2(text_val));
    EXPECT_EQ(udb_custom_conversion::handle1(text_col), u"TEXT");
    EXPECT_EQ(udb_custom_conversion::handle1(int_col), u"");
    EXPECT_EQ(udb_custom_conversion::handle2(text_val), u"'lit'");
    EXPECT_THROW(udb_custom_conversion::handle2(int_val), tk_mail_assertion)
        << "with a list, a value no rule accepts is a caller's mistake";

    udb_custom_conversion::install(udb_rule_list());
    EXPECT_THROW(udb_custom_conversion::handle2(text_val), tk_mail_assertion);
}
