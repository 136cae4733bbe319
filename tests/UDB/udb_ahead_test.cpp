// Reading ahead on a thread gives the copy loop what reading in place gives it: the same rows,
// the same failures at the same places, across batch boundaries, and it lets go of the reader
// when the loop ends early.

#include "udb_ahead.hpp"

#include "tk_excp.hpp"
#include "udb_db.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

enum class fault { none, item, next, eof };

// `rows` rows of (N integer, T text, with a type the reader refines); one call fails at row
// `at` (0-based) when `where` says so. Row 300 holds a value above the size a slot keeps. With
// `exchanges`, it hands its record over and makes it again when it comes back empty.
class scripted_reader : public udb_recordset {
public:
    scripted_reader(int rows, fault where, int at, bool exchanges)
        : udb_recordset(u"T", true), rows_(rows), where_(where), at_(at), exchanges_(exchanges) {}
    void append_record(const udb_record&) override {}
    const udb_record* get_item() override {
        if (where_ == fault::item && pos_ == at_) throw tk_exception("no row " + std::to_string(pos_), tk_level_item);
        if (pos_ % 7 == 6) return nullptr;
        if (record_.empty()) {
            record_.add(std::make_unique<udb_field>(u"N", 4, ole_variant()));
            record_.add(std::make_unique<refined_field>());
        }
        record_[0].set_value(ole_variant(pos_));
        record_[1].set_value(ole_variant(std::u16string(pos_ == 300 ? 40000 : pos_ % 50, u'x')));
        return &record_;
    }
    bool is_eof() override {
        if (where_ == fault::eof && pos_ == at_) throw tk_exception("lost at " + std::to_string(pos_), tk_level_run);
        return pos_ >= rows_;
    }
    void next() override {
        if (where_ == fault::next && pos_ == at_) throw tk_exception("lost after " + std::to_string(pos_), tk_level_run);
        ++pos_;
    }
    bool exchange_item(udb_record& spare) override {
        if (exchanges_) record_.swap(spare);
        return exchanges_;
    }
    int position() const { return pos_; }

private:
    struct refined_field : udb_field {
        refined_field() : udb_field(u"T", 0, ole_variant()) {}
        std::uint16_t get_type() const override { return 999; }
    };
    int rows_;
    fault where_;
    int at_;
    bool exchanges_;
    int pos_ = 0;
    udb_record record_;
};

// The copy loop's way of reading, as one line per row: its values and type, or what was raised.
std::string copy_loop(udb_read_ahead& rows) {
    std::string seen;
    try {
        while (!rows.is_eof()) {
            try {
                const udb_record* r = rows.get_item();
                seen += r ? std::to_string((*r)[0].to_long()) + ':' + std::to_string((*r)[1].text().size()) + ':' +
                                std::to_string((*r)[1].get_type())
                          : std::string("null");
            } catch (const tk_exception& e) {
                seen += std::string("refused ") + e.what();
            }
            seen += '\n';
            rows.next();
        }
    } catch (const tk_exception& e) {
        seen += std::string("ended: ") + e.what();
    }
    return seen;
}

}  // namespace

TEST(ReadAhead, GivesTheRowsAndFailuresOfReadingInPlace) {
    const int batch = int(udb_read_ahead::rows_per_batch);
    struct row {
        int rows;
        fault where;
        int at;
    };
    const row rows[] = {
        {0, fault::none, 0},
        {1, fault::none, 0},
        {batch * int(udb_read_ahead::batches) * 3 + 5, fault::none, 0},
        {batch * 2, fault::item, batch - 1},
        {batch * 2, fault::item, batch},
        {batch * 2, fault::next, 0},
        {batch * 2, fault::next, batch - 1},
        {batch * 2, fault::next, batch * 2 - 1},
        {batch * 2, fault::eof, batch},
        {batch * 2, fault::eof, 0},
    };
    for (const bool exchanges : {false, true})
    for (const row& r : rows) {
        SCOPED_TRACE(std::to_string(r.rows) + " rows, fault " + std::to_string(int(r.where)) + " at " +
                     std::to_string(r.at) + (exchanges ? ", rows handed over" : ", rows copied"));
        scripted_reader in_place(r.rows, r.where, r.at, false), ahead(r.rows, r.where, r.at, exchanges);
        udb_read_ahead direct(in_place, false), threaded(ahead, true);
        const std::string expected = copy_loop(direct);
        EXPECT_EQ(copy_loop(threaded), expected);
        EXPECT_NE(expected.find(r.where == fault::none ? "" : r.where == fault::item ? "refused" : "ended"),
                  std::string::npos);
    }
}

TEST(ReadAhead, AnEarlyEndLetsGoOfTheReader) {
    scripted_reader reader(1000000, fault::none, 0, true);
    {
        udb_read_ahead rows(reader, true);
        for (int i = 0; i < 10; ++i) rows.next();
        EXPECT_FALSE(rows.is_eof());
        EXPECT_EQ((*rows.get_item())[0].to_long(), 10);
    }
    // Stopped within its ring of batches, long before the end of the table.
    EXPECT_LT(reader.position(), int(udb_read_ahead::rows_per_batch * (udb_read_ahead::batches + 1)));
}
