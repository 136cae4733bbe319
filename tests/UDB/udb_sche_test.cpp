#include "udb_sche.hpp"

#include "tk_log.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace {

// Records the trace of one scope at every level, for the messages users and support read.
class trace_capture {
public:
    trace_capture()
        : path_((std::filesystem::temp_directory_path() /
                 ("udb_sche_test_" + std::to_string(::getpid()) + ".log")).string()),
          log_(path_.c_str(), true, 1, false) {}
    ~trace_capture() { std::filesystem::remove(path_); }
    std::string text() const {
        std::ifstream in(path_, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

private:
    std::string path_;
    tk_log log_;
};

t_ftd col(std::uint16_t vt, std::uint32_t size, std::u16string name = u"C") {
    return t_ftd(size, std::move(name), vt);
}

bool conforms(std::uint16_t src_vt, std::uint32_t src_size, std::uint16_t dst_vt,
              std::uint32_t dst_size) {
    return col(src_vt, src_size).conform_to(col(dst_vt, dst_size));
}

udb_schema owned(std::initializer_list<t_ftd> columns) {
    udb_schema s(true);
    for (const t_ftd& c : columns) s.add(std::make_unique<t_ftd>(c));
    return s;
}

} // namespace

TEST(NameEquality, IgnoresCaseWithFullUnicodeFolding) {
    EXPECT_TRUE(udb_name_equal(u"Orders", u"ORDERS"));
    EXPECT_TRUE(udb_name_equal(u"\u00C4rger", u"\u00E4RGER"));
    EXPECT_TRUE(udb_name_equal(u"STRASSE", u"stra\u00DFe"));
    EXPECT_FALSE(udb_name_equal(u"ORDER", u"ORDERS"));
    EXPECT_FALSE(udb_name_equal(u"A_B", u"A-B"));
    EXPECT_TRUE(udb_name_equal(u"", u""));
}

TEST(FieldDescriptor, EqualityLooksAtTypesAndTextSizesOnly) {
    EXPECT_TRUE(col(VT_DECIMAL, 5) == col(VT_CY, 8));
    EXPECT_TRUE(col(VT_CY, 8) == col(VT_DECIMAL, 5));
    EXPECT_FALSE(col(VT_BSTR, 10) == col(VT_BSTR, 20));
    EXPECT_TRUE(col(VT_I4, 4) == col(VT_I4, 10)) << "sizes count only for text";
    EXPECT_FALSE(col(VT_I4, 4) == col(VT_I2, 4));
    t_ftd a(10, u"A", VT_BSTR, true, true, ole_variant(u"x"), 0);
    t_ftd b(10, u"B", VT_BSTR);
    EXPECT_TRUE(a == b) << "names, flags and defaults take no part";
}

TEST(FieldDescriptor, CopyKeepsEveryField) {
    t_ftd a(12, u"PRICE", VT_DECIMAL, true, false, ole_variant(5), (12u << 8) | 2u);
    a.comment = u"net price";
    const t_ftd b(a);
    EXPECT_EQ(b.size, 12u);
    EXPECT_EQ(b.name, u"PRICE");
    EXPECT_EQ(b.vartype, VT_DECIMAL);
    EXPECT_TRUE(b.b_not_null);
    EXPECT_FALSE(b.b_auto_increment);
    EXPECT_EQ(b.default_value.vt(), VT_I4);
    EXPECT_EQ(b.reserved, (12u << 8) | 2u);
    EXPECT_EQ(b.comment, u"net price");
}

TEST(FieldDescriptor, ConformanceToDateAndNumbers) {
    EXPECT_TRUE(conforms(VT_BSTR, 19, VT_DATE, 0));
    EXPECT_FALSE(conforms(VT_BSTR, 18, VT_DATE, 0));
    EXPECT_FALSE(conforms(VT_BSTR, 20, VT_DATE, 0));
    EXPECT_FALSE(conforms(udb_vt_lpwstr, 19, VT_DATE, 0)) << "only wide text of the date width";
    EXPECT_FALSE(conforms(VT_I4, 4, VT_DATE, 0));

    EXPECT_FALSE(conforms(VT_INT, 4, VT_I4, 4)) << "VT_INT is numeric only as a destination";
    EXPECT_TRUE(conforms(VT_I4, 4, VT_INT, 4));
    EXPECT_TRUE(conforms(VT_I2, 2, VT_R8, 8));
    EXPECT_TRUE(conforms(VT_BOOL, 2, VT_UI8, 8));
    EXPECT_FALSE(conforms(VT_DATE, 8, VT_I4, 4));
    EXPECT_FALSE(conforms(VT_BSTR, 5, VT_DECIMAL, 0));
}

TEST(FieldDescriptor, ConformanceToTextAndBinary) {
    EXPECT_TRUE(conforms(VT_BSTR, t_ftd::unbounded, VT_BSTR, 5));
    EXPECT_TRUE(conforms(VT_BSTR, t_ftd::unbounded, udb_vt_lpstr, 5));
    EXPECT_TRUE(conforms(VT_BSTR, 4000, VT_BSTR, 0));
    EXPECT_TRUE(conforms(VT_BSTR, 10, VT_BSTR, 20));
    EXPECT_FALSE(conforms(VT_BSTR, 20, VT_BSTR, 10));
    EXPECT_FALSE(conforms(VT_BYTES, 10, VT_BSTR, 0)) << "binary never goes into text";
    EXPECT_TRUE(conforms(VT_I4, 4, VT_BSTR, 1)) << "numbers and dates are written as text";
    EXPECT_TRUE(conforms(VT_DATE, 8, VT_BSTR, 1));

    EXPECT_TRUE(conforms(VT_BSTR, 100, VT_BLOB, 0));
    EXPECT_TRUE(conforms(VT_BYTES, 100, udb_vt_blob_object, 0));
    EXPECT_TRUE(conforms(VT_BYTES, 100, VT_BYTES, 100));
    EXPECT_FALSE(conforms(VT_BLOB, 101, VT_BYTES, 100));
    EXPECT_FALSE(conforms(VT_BSTR, 101, VT_BLOB, 100));
    EXPECT_TRUE(conforms(VT_R8, 8, VT_BYTES, 1));
}

TEST(FieldDescriptor, NoOtherDestinationTypeAcceptsAnything) {
    for (std::uint16_t dest : {std::uint16_t(VT_EMPTY), std::uint16_t(VT_NULL),
                               std::uint16_t(VT_ERROR), std::uint16_t(VT_SAFEARRAY)})
        for (std::uint16_t src : {std::uint16_t(VT_I4), std::uint16_t(VT_BSTR), std::uint16_t(VT_DATE)})
            EXPECT_FALSE(conforms(src, 4, dest, 4)) << src << " -> " << dest;
    EXPECT_TRUE(conforms(VT_ERROR, 4, VT_ERROR, 4)) << "equal descriptors always conform";
}

TEST(Schema, ConformanceIsByPositionAndReportsTheFirstMismatch) {
    const udb_schema src = owned({col(VT_I4, 4, u"A"), col(VT_BSTR, 30, u"B")});
    const udb_schema renamed = owned({col(VT_I4, 4, u"X"), col(VT_BSTR, 30, u"Y")});
    EXPECT_TRUE(src.conform_to(renamed)) << "names are not compared";

    const udb_schema narrow = owned({col(VT_I4, 4), col(VT_BSTR, 20)});
    const udb_schema longer = owned({col(VT_I4, 4), col(VT_BSTR, 30), col(VT_I4, 4)});
    const udb_schema swapped = owned({col(VT_BSTR, 30), col(VT_I4, 4)});
    trace_capture trace;
    EXPECT_FALSE(src.conform_to(narrow));
    EXPECT_FALSE(src.conform_to(longer));
    EXPECT_FALSE(owned({}).conform_to(owned({col(VT_I4, 4)})));
    EXPECT_FALSE(src.conform_to(swapped));
    const std::string log = trace.text();
    EXPECT_NE(log.find("Column #2 doesn't conform (src_vt=8, src_size=30, dest_vt=8, dest_size=20)"),
              std::string::npos) << log;
    EXPECT_NE(log.find("Tables are not conformed: src_size=2, dest_size=3"), std::string::npos);
    EXPECT_NE(log.find("Tables are not conformed: src_size=0, dest_size=1"), std::string::npos);
    EXPECT_NE(log.find("Column #2 doesn't conform (src_vt=8, src_size=30, dest_vt=3, dest_size=4)"),
              std::string::npos) << "a number fits into text, but not the other way round";
}

TEST(Schema, LookupsIgnoreCaseAndAssertWhenMissing) {
    udb_schema s = owned({col(VT_I4, 4, u"Id"), col(VT_BSTR, 30, u"NAME"), col(VT_R8, 8, u"name")});
    EXPECT_TRUE(s.has_field(u"ID"));
    EXPECT_FALSE(s.has_field(u"IDS"));
    EXPECT_EQ(&s.find_field(u"Name"), &s[1]) << "first match wins";
    const udb_schema& cs = s;
    EXPECT_EQ(&cs.find_field(u"id"), &cs[0]);
    EXPECT_EQ(s.get_field_size(u"name"), 30u);
    EXPECT_EQ(s.get_field_type(u"NAME"), VT_BSTR);
    s.find_field(u"id").comment = u"key";
    EXPECT_EQ(s[0].comment, u"key");

    EXPECT_THROW(s.find_field(u"missing"), tk_mail_assertion);
    EXPECT_THROW(cs.find_field(u"missing"), tk_mail_assertion);
    EXPECT_THROW(s.get_field_size(u"missing"), tk_mail_assertion);
    EXPECT_THROW(s.get_field_type(u"missing"), tk_mail_assertion);
    try {
        s.get_field_type(u"missing");
    } catch (const tk_mail_assertion& e) {
        EXPECT_EQ(e.level(), tk_level_internal);
    }
}

namespace {
// A source's own descriptor with extra state, as readers define them.
struct counted_ftd : t_ftd {
    counted_ftd(int& alive) : t_ftd(4, u"N", VT_I4), alive_(alive), native(100, 'x') { ++alive_; }
    ~counted_ftd() override { --alive_; }
    int& alive_;
    std::string native;
};
} // namespace

TEST(Schema, OwnershipIsFixedAtConstructionAndReleasesExtendedDescriptors) {
    int alive = 0;
    {
        udb_schema s(true);
        s.add(std::make_unique<counted_ftd>(alive));
        s.add(std::make_unique<counted_ftd>(alive));
        EXPECT_EQ(alive, 2);
        udb_schema moved = std::move(s);
        EXPECT_EQ(alive, 2);
        EXPECT_EQ(moved.size(), 2u);
        EXPECT_EQ(moved[1].name, u"N");
        EXPECT_THROW(moved.add_ref(moved[0]), tk_mail_assertion);
    }
    EXPECT_EQ(alive, 0);

    t_ftd kept(4, u"K", VT_I4);
    {
        udb_schema borrowing(false);
        borrowing.add_ref(kept);
        EXPECT_THROW(borrowing.add(std::make_unique<t_ftd>(kept)), tk_mail_assertion);
        EXPECT_EQ(&borrowing[0], &kept);
    }
    EXPECT_EQ(kept.name, u"K") << "a borrowing schema leaves its descriptors alone";
}

TEST(Schema, CopyIsAnOwningSchemaOfIndependentDescriptors) {
    t_ftd a(4, u"A", VT_I4);
    udb_schema borrowing(false);
    borrowing.add_ref(a);
    udb_schema copy = borrowing.copy();
    EXPECT_TRUE(copy.is_owner());
    ASSERT_EQ(copy.size(), 1u);
    EXPECT_NE(&copy[0], &a);
    copy[0].name = u"B";
    EXPECT_EQ(a.name, u"A");
}

TEST(Field, CarriesItsValueNameAndFlagsAndIsRefilledInPlace) {
    const ole_variant text(u"hello");
    udb_field f(u"GREETING", 20, text, true, false);
    EXPECT_EQ(f.get_type(), VT_BSTR);
    EXPECT_EQ(f.text(), u"hello");
    EXPECT_EQ(f.size, 20u);
    EXPECT_TRUE(f.b_not_null);

    udb_field copy(f);
    copy.set_value(ole_variant(7));
    EXPECT_EQ(f.text(), u"hello") << "values are copied, never shared";
    EXPECT_EQ(copy.get_type(), VT_I4);
    EXPECT_EQ(copy.name, u"GREETING") << "a refill keeps the column's name";
    EXPECT_EQ(copy.i4(), 7);

    ole_variant big(std::u16string(1000, u'z'));
    udb_field taken(u"T", 0, std::move(big));
    EXPECT_EQ(taken.text().size(), 1000u);

    const udb_field empty;
    EXPECT_EQ(empty.get_type(), VT_EMPTY);
    EXPECT_TRUE(empty.name.empty());
}

TEST(Record, LookupIgnoresCaseAndYieldsAnEmptyFieldWhenMissing) {
    udb_record r;
    r.add(std::make_unique<udb_field>(u"ID", 4, ole_variant(1)));
    r.add(std::make_unique<udb_field>(u"Name", 10, ole_variant(u"x")));
    EXPECT_TRUE(r.has_field(u"name"));
    EXPECT_FALSE(r.has_field(u"nam"));
    EXPECT_EQ(&r.find_field(u"NAME"), &r[1]);
    const udb_field& none = r.find_field(u"missing");
    EXPECT_TRUE(none.is_empty_or_null());
    EXPECT_TRUE(none.name.empty());

    udb_field* first = &r[0];
    r[0].set_value(ole_variant(2));
    EXPECT_EQ(&r[0], first) << "refilling a row keeps its fields";
    EXPECT_EQ(r[0].i4(), 2);
    EXPECT_THROW(r.add(nullptr), tk_mail_assertion);
}
