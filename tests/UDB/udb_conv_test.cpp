#include "udb_conv.hpp"

#include "test_files.hpp"
#include "tk_log.hpp"
#include "udb_errh.hpp"
#include "udb_memdb.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

using memdb::ids;
using memdb::make_table;

namespace {

using test_files::read_file;

// One process-wide trace log, error handler and converter per test, like a front end has;
// the handler's exit is observed instead of ending the test process.
class Run : public ::testing::Test {
protected:
    void SetUp() override {
        log = std::make_unique<tk_log>(log_path.c_str(), true, 1, false);
        handler = std::make_unique<error_handler>();
        handler->set_output(reports);
        error_handler::set_exit_function([this](int status) { exits.push_back(status); });
        conv = std::make_unique<udb_converter>();
        conv->set_console(out, err);
        conv->set_source_name(u"SRC");
    }
    void TearDown() override {
        conv.reset();
        error_handler::set_exit_function(nullptr);
        handler.reset();
        log.reset();
        std::filesystem::remove(log_path);
    }

    std::string trace() const { return read_file(log_path); }
    std::vector<std::string> dest_log() const { return sides.dest->log; }
    std::vector<int> dest_ids(const std::u16string& table) const {
        const memdb::table* t = sides.dest->find(table);
        return t ? ids(t->rows) : std::vector<int>{-999};
    }
    void run() { conv->run(sides); }

    std::string log_path = (std::filesystem::temp_directory_path() /
                            ("udb_conv_test_" + std::to_string(::getpid()) + ".log"))
                               .string();
    std::unique_ptr<tk_log> log;
    std::unique_ptr<error_handler> handler;
    std::unique_ptr<udb_converter> conv;
    std::ostringstream reports, out, err;
    std::vector<int> exits;
    memdb::sides sides;
};

}  // namespace

TEST_F(Run, WithNothingSelectedEverySourceTableRunsInCodeUnitOrder) {
    sides.source->add_table(make_table(u"b", 1));
    sides.source->add_table(make_table(u"A", 2));
    sides.source->add_table(make_table(u"C", 3));
    run();

    EXPECT_EQ(dest_log(), (std::vector<std::string>{"prepare(DEST)", "create_table(A)", "finish(A)", "create_table(C)",
                                                    "finish(C)", "create_table(b)", "finish(b)",
                                                    "create_relationships(0)", "create_views(0)", "finish", "destroyed"}));
    EXPECT_EQ(out.str(), "Converting database SRC(3 tables)\n"
                         "Converting table A(2 records)\n"
                         "Converting table C(3 records)\n"
                         "Converting table b(1 records)\n");
    EXPECT_EQ(dest_ids(u"C"), (std::vector<int>{1, 2, 3}));
    EXPECT_TRUE(sides.source->destroyed);
    EXPECT_EQ(sides.source->live_recordsets + sides.dest->live_recordsets, 0);
    EXPECT_EQ(reports.str(), "");
    EXPECT_TRUE(conv->finished());
    std::string t = trace();
    EXPECT_NE(t.find("Conversion started on "), std::string::npos);
    EXPECT_NE(t.find("Conversion ended on "), std::string::npos);
    EXPECT_NE(t.find("Source database has 3 table(s)"), std::string::npos);
}

TEST_F(Run, ListedTablesRunSortedAndOnlyThose) {
    sides.source->add_table(make_table(u"A", 1));
    sides.source->add_table(make_table(u"b", 1));
    sides.source->add_table(make_table(u"C", 1));
    conv->table_list() = {u"b", u"A"};
    run();
    EXPECT_EQ(sides.source->log,
              (std::vector<std::string>{"get_table(A,1)", "get_table(b,1)", "destroyed"}));
    EXPECT_EQ(conv->table_total(), 2);
}

TEST_F(Run, QueryReplacesTheTableOfTheSameName) {
    sides.source->add_table(make_table(u"TOP", 9));
    sides.source->query_results[u"SELECT * FROM T"] = make_table(u"ignored", 2);
    conv->selected_items()[u"TOP"] = u"SELECT * FROM T";
    conv->table_list() = {u"TOP"};
    run();
    EXPECT_EQ(sides.source->log, (std::vector<std::string>{"get_query(TOP,SELECT * FROM T,1)", "destroyed"}));
    EXPECT_EQ(dest_ids(u"TOP"), (std::vector<int>{1, 2}));
    EXPECT_EQ(conv->selected_items().at(u"TOP"), u"SELECT * FROM T") << "the table list must not erase the text";
}

TEST_F(Run, MissingSourceTableIsNotedAndSkipped) {
    sides.source->add_table(make_table(u"A", 1));
    conv->table_list() = {u"NOPE", u"A"};
    run();
    EXPECT_EQ(err.str(), "Table NOPE not exists\n");
    EXPECT_EQ(reports.str(), "");
    EXPECT_EQ(dest_ids(u"A"), (std::vector<int>{1}));
    EXPECT_EQ(conv->item_index(), 2);
}

// Destination table A exists with row 100; source A has rows 1 and 2, B has row 1.
class Modes : public Run {
protected:
    void prepare(int mode, memdb::table existing = make_table(u"a", 0)) {
        existing.rows.push_back({ole_variant(100), ole_variant(u"old")});
        sides.dest->stored.push_back(existing);
        sides.source->add_table(make_table(u"A", 2));
        sides.source->add_table(make_table(u"B", 1));
        conv->set_mode(mode);
        run();
        EXPECT_EQ(dest_ids(u"B"), (std::vector<int>{1})) << "the next table always follows";
        EXPECT_TRUE(exits.empty());
    }
};

TEST_F(Modes, OverwriteDatabaseDoesNothingSpecialAtTableLevel) {
    prepare(udb_mode_overwrite_database);
    EXPECT_EQ(dest_log().at(1), "create_table(A)");
    EXPECT_EQ(dest_ids(u"A"), (std::vector<int>{100, 1, 2}));
}

TEST_F(Modes, OverwriteTablesDeletesTheExistingTableFirst) {
    prepare(udb_mode_overwrite_tables);
    EXPECT_EQ(dest_log().at(1), "delete_tab(A)");
    EXPECT_EQ(dest_log().at(2), "create_table(A)");
    EXPECT_EQ(dest_ids(u"A"), (std::vector<int>{1, 2}));
}

TEST_F(Modes, SkipLeavesTheExistingTableWithoutAWord) {
    prepare(udb_mode_skip_tables);
    EXPECT_EQ(dest_ids(u"A"), (std::vector<int>{100}));
    EXPECT_EQ(out.str(), "Converting database SRC(2 tables)\nConverting table B(1 records)\n");
    EXPECT_EQ(reports.str() + err.str(), "");
    EXPECT_EQ(conv->item_index(), 2);
}

TEST_F(Modes, MergeAppendsToAConformingTable) {
    prepare(udb_mode_merge);
    EXPECT_EQ(dest_ids(u"A"), (std::vector<int>{100, 1, 2}));
    EXPECT_EQ(reports.str(), "");
}

TEST_F(Modes, MergeRefusesATableOfAnotherStructure) {
    memdb::table narrow = make_table(u"a", 0);
    narrow.columns.pop_back();
    prepare(udb_mode_merge, narrow);
    EXPECT_EQ(dest_ids(u"A"), (std::vector<int>{100}));
    EXPECT_EQ(reports.str(),
              "Error:\nA: The structure of data source does not conform to the destination table.\n");
    EXPECT_EQ(sides.source->live_recordsets + sides.dest->live_recordsets, 0);
}

TEST_F(Run, DefinitionsOnlyCreatesTablesAndReadsNoRecord) {
    sides.source->add_table(make_table(u"A", 5, true));
    conv->set_definitions_only(true);
    run();
    EXPECT_EQ(out.str(), "Converting database SRC(1 tables)\nConverting table A(5 records)\n");
    EXPECT_EQ(sides.source->rows_read, 0);
    EXPECT_EQ(dest_ids(u"A"), std::vector<int>{});
    EXPECT_EQ(sides.dest->index_counts.at(u"A"), 1u);
}

TEST_F(Run, SkipIndexesHandsTheDestinationNoIndex) {
    sides.source->add_table(make_table(u"A", 1, true));
    conv->set_skip_indexes(true);
    run();
    EXPECT_EQ(sides.dest->index_counts.at(u"A"), 0u);
    EXPECT_EQ(dest_ids(u"A"), (std::vector<int>{1}));
}

TEST_F(Run, RejectedRecordIsReportedWithItsPositionAndLaterRecordsFollow) {
    sides.source->add_table(make_table(u"T", 5));
    sides.dest->reject = {{u"T", 3}};
    sides.dest->buffered = true;  // the rows after the rejected one reach the table at finish
    run();
    EXPECT_EQ(reports.str(), "Error:\nT, record #3: Duplicate field values being used for an unique index were "
                             "found. See 'Troubleshooting' article of the product documentation for solution.\n");
    EXPECT_EQ(dest_ids(u"T"), (std::vector<int>{1, 2, 4, 5}));
    EXPECT_EQ(conv->records_done(), 5);
    EXPECT_EQ(conv->records_in_item(), 5);
    std::string t = trace();
    EXPECT_NE(t.find("mode=0, error=4195366\r\n"), std::string::npos);
    EXPECT_NE(t.find("Table #0 has been processed"), std::string::npos);
    EXPECT_TRUE(exits.empty());
}

TEST_F(Run, RecordsRefusedAfterAppendReturnedCountAsRefused) {
    struct row {
        const char* name;
        int records;
        int batch_rows;               // 0: one batch at finish
        std::set<int> late;           // refused when their batch is sent
        std::set<int> raised;         // refused while appended
        bool fail_finish;
        std::vector<int> stored;
        std::optional<int> copied;    // unset: rows of a failed last batch are not the driver's to count
        int refused;
        std::string reported;         // record numbers, in the order reported
    };
    const row rows[] = {
        {"in the first, a middle and the last batch", 7, 3, {1, 5, 7}, {}, false, {2, 3, 4, 6}, 4, 3, "1 5 7"},
        {"every record of the table", 4, 2, {1, 2, 3, 4}, {}, false, {}, 0, 4, "1 2 3 4"},
        {"beside a record refused while appended", 4, 0, {4}, {2}, false, {1, 3}, 2, 2, "2 4"},
        {"before the table fails", 5, 2, {2}, {}, true, {1, 3, 4}, std::nullopt, 1, "2"},
    };
    // With two jobs a table copied alone is read ahead on a second thread: the same outcome.
    for (const int jobs : {1, 2})
    for (const row& r : rows) {
        SCOPED_TRACE(std::string(r.name) + ", jobs " + std::to_string(jobs));
        conv->set_jobs(jobs);
        sides = memdb::sides{};
        reports.str("");
        sides.source->add_table(make_table(u"T", r.records));
        sides.source->add_table(make_table(u"U", 1));
        sides.dest->buffered = true;
        sides.dest->batch_rows = r.batch_rows;
        for (int n : r.late) sides.dest->reject_late.insert({u"T", n});
        for (int n : r.raised) sides.dest->reject.insert({u"T", n});
        if (r.fail_finish) sides.dest->fail_finish = {u"T"};
        run();
        EXPECT_EQ(dest_ids(u"T"), r.stored);
        std::string reported;
        const std::regex record("T, record #(\\d+):");
        const std::string text = reports.str();
        for (auto m = std::sregex_iterator(text.begin(), text.end(), record); m != std::sregex_iterator(); ++m)
            reported += (reported.empty() ? "" : " ") + (*m)[1].str();
        EXPECT_EQ(reported, r.reported) << text;
        ASSERT_EQ(conv->item_reports().size(), 2u);
        const udb_item_report& t = conv->item_reports()[0];
        EXPECT_EQ(t.records_read, r.records);
        EXPECT_EQ(t.records_refused, r.refused);
        if (r.copied) {
            EXPECT_EQ(t.records_copied, *r.copied);
        }
        EXPECT_EQ(conv->records_refused(), r.refused);
        EXPECT_EQ(conv->records_copied(), t.records_copied + 1) << "U's record follows";
        EXPECT_EQ(conv->item_reports()[1].records_copied, 1);
        EXPECT_EQ(conv->items_failed(), r.fail_finish ? 1 : 0);
    }
}

TEST_F(Run, FailedItemsAreReportedWithTheirNameAndTheRunGoesOn) {
    sides.source->add_table(make_table(u"A", 1));
    sides.source->add_table(make_table(u"B", 2));
    sides.source->add_table(make_table(u"C", 1));
    sides.source->add_table(make_table(u"D", 1));
    sides.source->fail_open[u"A"] = memdb::failure{"cannot read A"};
    sides.dest->fail_create[u"B"] = memdb::failure{"cannot create B"};
    sides.dest->buffered = true;
    sides.dest->fail_finish = {u"C"};
    sides.source->no_queries = true;
    conv->selected_items()[u"Q"] = u"SELECT 1";
    conv->table_list() = {u"A", u"B", u"C", u"D"};  // with a query selected, only listed tables run
    run();
    EXPECT_EQ(reports.str(), "Error:\nA: cannot read A\n"
                             "Error:\nB: cannot create B\n"
                             "Error:\nC: Lost connection to MySQL server during query\n"
                             "Error:\nQ: The source database cannot run custom queries.\n");
    EXPECT_EQ(dest_ids(u"D"), (std::vector<int>{1}));
    EXPECT_EQ(dest_ids(u"C"), std::vector<int>{}) << "the failed last batch is not written";
    EXPECT_EQ(sides.source->live_recordsets + sides.dest->live_recordsets, 0);
    EXPECT_EQ(conv->item_index(), 5);
    EXPECT_TRUE(conv->finished());
}

TEST_F(Run, RunLevelErrorEndsTheProgramWithoutTheEndLine) {
    sides.source->add_table(make_table(u"A", 1));
    sides.source->add_table(make_table(u"B", 1));
    sides.source->fail_open[u"A"] = memdb::failure{"connection lost", tk_level_run};
    EXPECT_THROW(run(), error_handler_exit);
    EXPECT_EQ(exits, std::vector<int>{-1});
    EXPECT_EQ(reports.str(), "Error:\nA: connection lost\n");
    EXPECT_EQ(sides.source->log, (std::vector<std::string>{"get_table(A,1)", "destroyed"}));
    EXPECT_EQ(trace().find("Conversion ended on "), std::string::npos);
    EXPECT_FALSE(conv->finished());
}

TEST_F(Run, FailureToOpenAnEndIsReportedByTheRunScope) {
    // Even a level-0 failure out there means nothing was converted: the run ends at level 1.
    sides.fail_open_destination = memdb::failure{"no destination", tk_level_item};
    EXPECT_THROW(run(), error_handler_exit);
    EXPECT_EQ(reports.str(), "Error:\nno destination\n");
    EXPECT_TRUE(sides.source->destroyed);

    struct throwing_sides : memdb::sides {
        std::unique_ptr<udb_database> open_source() override { throw std::runtime_error("out of handles"); }
    } odd;
    conv->run(odd);
    EXPECT_EQ(err.str(), "out of handles\n");
    EXPECT_NE(trace().find("ERROR:\nout of handles"), std::string::npos);
}

TEST_F(Run, InternalErrorInAnItemEndsTheProgram) {
    sides.source->add_table(make_table(u"A", 1));
    sides.source->fail_open[u"A"] = memdb::failure{"x", tk_level_internal};
    EXPECT_THROW(run(), error_handler_exit);
    EXPECT_EQ(reports.str(), "Internal error: x\n");
}

TEST_F(Run, UserStopEndsTheRunQuietly) {
    struct stopping_handler : error_handler {
        void handle(const tk_exception&, int) override { throw tk_final_exception(); }
    };
    handler.reset();
    stopping_handler stopper;
    sides.source->add_table(make_table(u"A", 3));
    sides.source->add_table(make_table(u"B", 1));
    sides.dest->reject = {{u"A", 2}};
    run();
    EXPECT_EQ(sides.dest->find(u"B"), nullptr);
    EXPECT_EQ(sides.source->live_recordsets + sides.dest->live_recordsets, 0);
    EXPECT_TRUE(conv->finished());
}

TEST_F(Run, StopRequestEndsTheRunAtTheNextRecordWithTheTableReported) {
    // The stop arrives while record 2 of A is reported, as a window closing mid-run would.
    struct stop_on_report : error_handler {
        void handle(const tk_exception& e, int final_flag) override {
            udb_converter::request_stop();
            error_handler::handle(e, final_flag);
        }
    };
    handler.reset();
    stop_on_report stopper;
    stopper.set_output(reports);
    sides.source->add_table(make_table(u"A", 5));
    sides.source->add_table(make_table(u"B", 1));
    sides.dest->reject = {{u"A", 2}};
    sides.dest->buffered = true;
    conv->set_jobs(2);  // A is read ahead: the stop still ends it at its next record
    EXPECT_THROW(run(), error_handler_exit);
    udb_converter::clear_stop_request();
    EXPECT_NE(reports.str().find("A: Stopped after 2 of 5 records"), std::string::npos) << reports.str();
    // What the destination took before the stop is there, nothing after it, and no end is left open.
    EXPECT_EQ(dest_ids(u"A"), (std::vector<int>{1}));
    EXPECT_EQ(sides.dest->find(u"B"), nullptr);
    EXPECT_EQ(sides.source->live_recordsets + sides.dest->live_recordsets, 0);
    EXPECT_EQ(conv->records_copied(), 1);
    EXPECT_EQ(conv->records_refused(), 1);

    // Withdrawn, the request no longer stops a run; the counts are the new run's.
    conv->table_list() = {u"B"};
    conv->selected_items().clear();
    run();
    EXPECT_EQ(dest_ids(u"B"), (std::vector<int>{1}));
    EXPECT_EQ(conv->records_copied(), 1);
    EXPECT_EQ(conv->records_refused(), 0);
}

TEST_F(Run, ProgressCountersAndASecondRunKeepCountingItems) {
    sides.source->add_table(make_table(u"A", 4));
    sides.source->add_table(make_table(u"B", 2));
    sides.source->add_table(make_table(u"C", 0));
    sides.source->tables[2].reported_count = 7;  // a count the source reports, not the rows read
    run();
    EXPECT_EQ(conv->table_total(), 3);
    EXPECT_EQ(conv->item_index(), 3);
    EXPECT_EQ(conv->records_in_item(), 7);
    EXPECT_EQ(conv->records_done(), 0);
    EXPECT_EQ(conv->current_item_name(), u"C");

    conv->table_list() = {u"A"};
    conv->selected_items().clear();
    conv->set_mode(udb_mode_overwrite_tables);
    run();
    EXPECT_EQ(conv->item_index(), 4);
    EXPECT_EQ(conv->records_done(), 4);
    EXPECT_NE(trace().find("Table #3 has been processed"), std::string::npos);
}

TEST_F(Run, NamesDifferingOnlyInCaseGetTheirOwnDestinationTables) {
    sides.source->add_table(make_table(u"Orders", 1));
    sides.source->add_table(make_table(u"ORDERS", 2));
    run();
    EXPECT_EQ(dest_log().at(1), "create_table(ORDERS)");
    EXPECT_EQ(dest_log().at(3), "create_table(Orders00000)");
    EXPECT_EQ(dest_ids(u"ORDERS"), (std::vector<int>{1, 2}));
    EXPECT_EQ(dest_ids(u"Orders00000"), (std::vector<int>{1}));
    EXPECT_NE(trace().find("Store generated table name 'Orders00000'"), std::string::npos);
    EXPECT_EQ(out.str(), "Converting database SRC(2 tables)\n"
                         "Converting table ORDERS(2 records)\n"
                         "Converting table Orders(1 records)\n");
}

TEST_F(Run, ForeignKeysThenViewsOfTheSourceAndNeitherStopsTheRun) {
    sides.source->add_table(make_table(u"A", 1));
    sides.source->relationships.add(
        udb_foreign_key(u"FK_A", u"PK", u"A", u"A", udb_names{u"ID"}, udb_names{u"ID"}, u""));
    sides.source->views[u"V1"] = u"SELECT ID FROM A";
    sides.source->unconverted_views = {u"V_B", u"V_A"};
    conv->selected_items()[u"Q"] = u"SELECT 1";
    sides.source->query_results[u"SELECT 1"] = make_table(u"Q", 1);

    sides.dest->fail_relationships = memdb::failure{"bad key"};
    run();
    auto log = dest_log();
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(log[log.size() - 4], "create_relationships(1)");
    EXPECT_EQ(log[log.size() - 3], "create_views(1)");
    EXPECT_EQ(log[log.size() - 2], "finish");
    EXPECT_EQ(sides.dest->views, (udb_query_map{{u"V1", u"SELECT ID FROM A"}}))
        << "the source's views, not the selected queries";
    EXPECT_TRUE(exits.empty()) << "a failed foreign key must not end the program";
    // Views the source cannot read are each named, without the context of the failed step.
    EXPECT_EQ(reports.str(), "Error:\nForeign keys: bad key\nError:\nView V_B is not converted\n"
                             "Error:\nView V_A is not converted\n");
    EXPECT_TRUE(conv->finished());

    reports.str("");
    sides.dest->fail_relationships.reset();
    sides.dest->fail_views = memdb::failure{"bad view"};
    sides.dest->stored.clear();
    run();
    EXPECT_EQ(reports.str(), "Error:\nViews: bad view\nError:\nView V_B is not converted\n"
                             "Error:\nView V_A is not converted\n");
}

TEST_F(Run, ALostDestinationInTheLastStepsStillEndsTheRunAsFailed) {
    // A dropped connection (or a full disk) while the keys are written: the views are still
    // attempted and the destination finished, but the program must not end as a success.
    sides.source->add_table(make_table(u"A", 1));
    sides.source->relationships.add(
        udb_foreign_key(u"FK_A", u"PK", u"A", u"A", udb_names{u"ID"}, udb_names{u"ID"}, u""));
    sides.source->views[u"V1"] = u"SELECT ID FROM A";
    sides.dest->fail_relationships = memdb::failure{"server gone", tk_level_run, 0x400000 + 2006};
    EXPECT_THROW(run(), error_handler_exit);
    auto log = dest_log();
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(log[log.size() - 4], "create_relationships(1)");
    EXPECT_EQ(log[log.size() - 3], "create_views(1)");
    EXPECT_EQ(log[log.size() - 2], "finish");
    EXPECT_EQ(exits, std::vector<int>{-1});
    EXPECT_EQ(reports.str(), "Error:\nTransferred value is too big. Increase MySQL max packet size "
                             "and try again. See 'Troubleshooting' article of the product documentation.\n");
}

TEST_F(Run, AFailureToFinishTheDestinationEndsTheRunAsFailed) {
    sides.source->add_table(make_table(u"A", 2));
    sides.dest->fail_database_finish = memdb::failure{"Cannot write dump file x.sql: No space left on device", tk_level_run};
    EXPECT_THROW(run(), error_handler_exit);
    EXPECT_EQ(exits, std::vector<int>{-1});
    EXPECT_EQ(reports.str(), "Error:\nCannot write dump file x.sql: No space left on device\n");
}
