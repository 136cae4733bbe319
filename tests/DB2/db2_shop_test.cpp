// End to end: every table of the SHOP sample read whole, as a conversion run reads it.

#include "db2_db.hpp"
#include "db2_fixture.hpp"

#include "tk_utils.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <iostream>
#include <sstream>

using namespace db2_test;

TEST(shop, EveryTableReadsWholeWithItsRowCount) {
    std::ifstream in(std::string(DB2_SAMPLES_DIR) + "/shop.sql");
    if (!in) GTEST_SKIP() << "no SHOP sample";
    std::stringstream script;
    script << in.rdbuf();
    create_database("SHOPDB", script.str());

    auto engine = connect(u"SHOPDB");
    auto db = engine->open_db(u"SHOP", u"", u"");
    ASSERT_FALSE(db->tables().empty());
    std::int64_t total = 0;
    const auto start = std::chrono::steady_clock::now();
    for (const auto& name : db->tables()) {
        auto rs = db->get_table(name, 1);
        rs->reset();
        std::int32_t rows = 0;
        for (; !rs->is_eof(); rs->next()) {
            const udb_record* row = rs->get_item();
            ASSERT_NE(row, nullptr);
            ASSERT_EQ(row->size(), rs->schema().size());
            ++rows;
        }
        EXPECT_EQ(rows, rs->record_count()) << tk_to_utf8(name);
        std::cout << tk_to_utf8(name) << ' ' << rows << " rows, " << rs->schema().size() << " columns, "
                  << rs->indexes().size() << " indexes\n";
        total += rows;
    }
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    std::cout << db->tables().size() << " tables, " << total << " rows, " << db->relationships().size()
              << " foreign keys, read in " << ms.count() << " ms\n";
    EXPECT_GT(total, 0);
    EXPECT_FALSE(db->relationships().empty());
}
