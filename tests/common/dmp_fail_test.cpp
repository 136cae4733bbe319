#include "dmp_fixture.hpp"

#include "tk_excp.hpp"
#include "tk_utils.hpp"

#include <gtest/gtest.h>

#include <csignal>
#include <optional>
#include <sys/resource.h>

using namespace dmp_test;

namespace {

class WriteFailures : public dump_test {
protected:
    table_def t;
    WriteFailures() {
        t.col(u"id", VT_I4, 4, true);
        t.col(u"note", VT_BSTR, 200);
    }

    // Appends rows until the writer fails (at most `limit` rows), then finishes; the failure.
    std::optional<tk_exception> fill(dmp_database& db, int limit) {
        try {
            auto rs = db.create_table(u"t", t.schema, t.indexes);
            auto record = row(t, {ole_variant(0), ole_variant(std::u16string(150, u'x'))});
            for (int i = 0; i < limit; ++i) {
                (*record)[0].set_value(ole_variant(i));
                rs->append_record(*record);
            }
            rs->finish();
            db.create_relationships(udb_relationships());
            db.finish();
        } catch (const tk_exception& e) {
            return e;
        }
        return std::nullopt;
    }
};

void expect_run_failure(const tk_exception& e, const std::string& path, const char* system_text) {
    EXPECT_EQ(e.level(), tk_level_run);
    const std::string text = e.what();
    EXPECT_NE(text.find("'" + path + "'"), std::string::npos) << text;
    EXPECT_NE(text.find(system_text), std::string::npos) << text;
}

} // namespace

TEST_F(WriteFailures, AFileThatCannotBeCreatedStopsTheRun) {
    const std::string path = dir.path() + "/missing/dump.sql";
    try {
        dmp_database db(tk_from_utf8(path), lf_options());
        FAIL() << "no exception";
    } catch (const tk_exception& e) {
        expect_run_failure(e, path, "No such file or directory");
        EXPECT_EQ(std::string(e.what()).rfind("Cannot create the dump file '", 0), 0u);
    }
}

TEST_F(WriteFailures, AFullDiskFailsTheWriteThatMeetsItAndEveryLaterOne) {
    // Writes to this device fail with "no space" as a full disk does.
    dmp_database db(u"/dev/full", lf_options());
    const std::optional<tk_exception> failure = fill(db, 20000);
    ASSERT_TRUE(failure.has_value()) << "the failure was swallowed";
    expect_run_failure(*failure, "/dev/full", "No space left on device");
    EXPECT_EQ(std::string(failure->what()).rfind("Cannot write the dump file '", 0), 0u);
    // Sticky: nothing later can make the file look complete.
    EXPECT_THROW(db.create_relationships(udb_relationships()), tk_exception);
    EXPECT_THROW(db.finish(), tk_exception);
}

TEST_F(WriteFailures, TheLastStatementFailsInFinishNotSilentlyInTheDestructor) {
    dmp_database db(u"/dev/full", lf_options());
    auto rs = db.create_table(u"t", t.schema, t.indexes);
    rs->append_record(*row(t, {ole_variant(1), ole_variant(u"a")}));
    // Everything so far fits the buffers; the table's end is where the disk is met.
    EXPECT_THROW(
        {
            rs->finish();
            db.create_relationships(udb_relationships());
        },
        tk_exception);
}

TEST_F(WriteFailures, AFileSizeLimitCutsTheFileAndIsReported) {
    rlimit old_limit{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
    // Past the limit the system signals the process unless the signal is ignored; then the
    // write fails with "file too large".
    auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = old_limit;
    limit.rlim_cur = 1500000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    std::optional<tk_exception> failure;
    {
        const std::u16string path = dir.file("cut.sql");
        dmp_database db(path, lf_options());
        failure = fill(db, 20000);
    }
    setrlimit(RLIMIT_FSIZE, &old_limit);
    std::signal(SIGXFSZ, old_handler);
    ASSERT_TRUE(failure.has_value()) << "the failure was swallowed";
    expect_run_failure(*failure, dir.path() + "/cut.sql", "File too large");
}
