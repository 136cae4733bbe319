// The table writer's sending half on a scripted connection: refused batches split down to
// their bad rows, a connection lost in the middle of a table, and a refusal read only after
// the next batch was formatted. Every statement the server would have got is asserted.
#include "sql_fake_link.hpp"
#include "sql_send.hpp"
#include "udb_conv.hpp"
#include "udb_errh.hpp"

#include <gtest/gtest.h>

namespace {

// Reports reach the test instead of the console, as "<context> <code>".
struct listing_handler : error_handler {
    std::vector<std::string> reports;
    void handle(const tk_exception& e, int) override { reports.push_back(context() + " " + std::to_string(e.code())); }
};

// A table name that both the LIKE pattern and the quoting must escape.
const std::u16string table = u"t_%`x";
const std::string head = "INSERT INTO `t_%``x`(`a`, `b`) VALUES";
const std::string status = "value SHOW TABLE STATUS LIKE 't\\\\_\\\\%`x'";
const std::string count = "value SELECT COUNT(*) FROM `t_%``x`";

// Rows whose text a parser would cut in the wrong place: a closing parenthesis and a comma
// inside a string, a NUL byte and a line break, an escaped quote.
const std::string row1 = "(1, 'a), (9, ''z')";
const std::string row2 = "(2, NULL)";
const std::string row3 = std::string("(3, 'n\0l\n')", 12);
const std::string row4 = "(4, '\\'')";
const std::string row5 = "(5, '')";

std::string insert(const std::vector<std::string>& rows) {
    std::string out = head;
    for (std::size_t i = 0; i < rows.size(); ++i) out += (i ? ", " : "") + rows[i];
    return out;
}

// One formatted batch, its tuples numbered from `first_record`.
sql_insert_batch make_batch(const std::vector<std::string>& rows, int first_record) {
    sql_insert_batch b;
    b.statement = head;
    b.head_length = head.size();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (i) b.statement += ", ";
        const std::size_t begin = b.statement.size();
        b.statement += rows[i];
        b.tuples.push_back({std::uint32_t(begin), std::uint32_t(b.statement.size()), first_record + int(i)});
    }
    return b;
}

std::string report(int record, unsigned error) {
    return "t_%`x, record #" + std::to_string(record) + " " + std::to_string(0x400000 + int(error));
}

std::string lost_after(int stored, const char* text) {
    return "The connection to the MySQL server was lost (" + std::string(text) + "); " + std::to_string(stored) +
           " of the table's rows reached the server.";
}

} // namespace

// Batches are handed over as each is formatted, then the table is finished (or given up). The
// server held 10 rows before.
TEST(SqlBatchSender, RefusedBatchesAndLostConnectionsEndAsTheServerLeftTheRows) {
    using answer = sql_fake_answer;
    const char* const dup = "Duplicate entry '2' for key 'PRIMARY'";
    const char* const lost = "Lost connection to MySQL server during query";
    struct formatted {
        std::vector<std::string> rows;
        int first_record;
    };
    struct row {
        const char* name;
        std::vector<formatted> batches;
        std::vector<answer> script;
        std::vector<std::string> log;
        std::vector<std::string> reports;
        std::int64_t stored;
        std::string failure;  // the table's failure; empty when it ends normally
        std::size_t unsent;   // rows of a formatted batch never sent
        bool finished = true; // false: the table is given up after the last batch was sent
    };
    const row rows[] = {
        {"a transactional batch is halved down to its bad row",
         {{{row1, row2, row3, row4}, 101}},
         {answer::refuse(1062, dup), answer::cell("InnoDB"), answer::accept(), answer::refuse(1062, dup),
          answer::refuse(1062, dup), answer::accept()},
         {"formatted #101", "send " + insert({row1, row2, row3, row4}), "finish", "read", status,
          "query " + insert({row1, row2}), "query " + insert({row3, row4}), "query " + insert({row3}),
          "query " + insert({row4})},
         {report(103, 1062)}, 3, "", 0},
        {"a table without transactions goes on after the rows it kept",
         {{{row1, row2, row3, row4}, 101}},
         {answer::refuse(1406, "Data too long for column 'b' at row 3"), answer::cell("MyISAM"), answer::cell("12"),
          answer::refuse(1406, "Data too long for column 'b' at row 1"), answer::accept()},
         {"formatted #101", "send " + insert({row1, row2, row3, row4}), "finish", "read", status, count,
          "query " + insert({row3}), "query " + insert({row4})},
         {report(103, 1406)}, 3, "", 0},
        {"a batch refused after the next was formatted is split before that one goes",
         {{{row1, row2, row3}, 1}, {{row4, row5}, 4}},
         {answer::refuse(1048, "Column 'b' cannot be null"), answer::cell("InnoDB"), answer::accept(),
          answer::refuse(1048, "Column 'b' cannot be null"), answer::refuse(1048, "Column 'b' cannot be null"),
          answer::accept(), answer::accept()},
         {"formatted #1", "send " + insert({row1, row2, row3}), "formatted #4", "read", status,
          "query " + insert({row1}), "query " + insert({row2, row3}), "query " + insert({row2}),
          "query " + insert({row3}), "send " + insert({row4, row5}), "finish", "read"},
         {report(2, 1048)}, 4, "", 0},
        {"a batch refused for its table after the next was formatted leaves that one unsent",
         {{{row1, row2}, 1}, {{row3}, 3}},
         {answer::refuse(1146, "Table 'd.t_%`x' doesn't exist")},
         {"formatted #1", "send " + insert({row1, row2}), "formatted #3", "read"},
         {}, 0, "Table 'd.t_%`x' doesn't exist", 1},
        {"a connection lost while a batch executes",
         {{{row1, row2}, 1}, {{row3, row4, row5}, 3}},
         {answer::accept(), answer::lost()},
         {"formatted #1", "send " + insert({row1, row2}), "formatted #3", "read",
          "send " + insert({row3, row4, row5}), "finish", "read"},
         {}, 2, lost_after(2, lost), 0},
        {"a connection gone before a batch is sent awaits no answer",
         {{{row1}, 1}, {{row2, row3}, 2}},
         {answer::accept(), answer::gone_at_send()},
         {"formatted #1", "send " + insert({row1}), "formatted #2", "read", "send " + insert({row2, row3})},
         {}, 1, lost_after(1, "MySQL server has gone away"), 0},
        {"a connection lost while a refused batch is split counts the half stored",
         {{{row1, row2, row3, row4}, 1}},
         {answer::refuse(1062, dup), answer::cell("InnoDB"), answer::accept(), answer::lost()},
         {"formatted #1", "send " + insert({row1, row2, row3, row4}), "finish", "read", status,
          "query " + insert({row1, row2}), "query " + insert({row3, row4})},
         {}, 2, lost_after(2, lost), 0},
        {"a table given up with a refused batch in flight reads the answer and reports nothing",
         {{{row1, row2}, 1}},
         {answer::refuse(1062, dup)},
         {"formatted #1", "send " + insert({row1, row2}), "read"},
         {}, 0, "", 0, false},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        listing_handler handler;
        sql_fake_link link(r.script);
        std::string failure;
        std::size_t unsent = 0, handed = 0;
        for (const formatted& f : r.batches) handed += f.rows.size();
        std::int64_t rejected = 0, stored = 0;
        {
            sql_batch_sender sender(link, table, 0x050500, 10);
            try {
                for (const formatted& f : r.batches) {
                    sql_insert_batch pending = make_batch(f.rows, f.first_record);
                    link.note("formatted #" + std::to_string(f.first_record));
                    try {
                        sender.send(pending);
                    } catch (...) {
                        unsent = pending.tuples.size();
                        throw;
                    }
                    EXPECT_TRUE(pending.tuples.empty() && pending.statement.empty());
                }
                if (r.finished) {
                    link.note("finish");
                    sender.collect();
                }
            } catch (const tk_exception& e) {
                failure = e.message();
                // The table fails as a whole: the driver gives it up instead of counting a record.
                EXPECT_EQ(e.level(), tk_level_item);
                EXPECT_FALSE(udb_converter::is_record_rejection(e)) << e.code();
            }
            EXPECT_EQ(sender.rows_sent(), std::int64_t(handed - unsent));
            stored = sender.rows_stored();
            rejected = sender.rows_rejected();
        }
        EXPECT_EQ(link.log(), r.log);
        EXPECT_EQ(link.unused(), 0u);
        EXPECT_EQ(handler.reports, r.reports);
        EXPECT_EQ(stored, r.stored);
        EXPECT_EQ(rejected, std::int64_t(r.reports.size()));
        EXPECT_EQ(failure, r.failure);
        EXPECT_EQ(unsent, r.unsent);
    }
}
