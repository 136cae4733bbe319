// The converter application's settings: what each program remembers and with which defaults,
// the profile keys of its two sides, and the checks that prepare a dump-file destination.

#include "kvn_conv.hpp"
#include "test_files.hpp"
#include "tk_regk.hpp"
#include "tk_utils.hpp"
#include "udb_prof.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

// A private settings folder for each test.
class Korvane : public ::testing::Test {
protected:
    std::string dir;
    void SetUp() override {
        char pattern[] = "/tmp/korvane_test_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    // Stores values under the converter's key as another program run would have left them.
    void remember(const std::function<void(tk_reg_key&)>& fill) {
        tk_reg_key key;
        ASSERT_EQ(key.open_create(tk_reg_root::current_user, korvane_convertor::settings_key), tk_reg_ok);
        fill(key);
    }
};

} // namespace

TEST_F(Korvane, WithoutRememberedSettingsTheDefaultsHold) {
    korvane_convertor c(korvane_front_end::agent);
    EXPECT_TRUE(c.direct_mode());
    EXPECT_EQ(c.mysql().port(), "3306");
    EXPECT_EQ(c.mysql().host(), "");
    const dmp_options& d = c.mysql().dump_options();
    EXPECT_EQ(d.line_break, 0u);
    EXPECT_TRUE(d.b_new_version);
    EXPECT_TRUE(d.b_lock_for_write);
    EXPECT_TRUE(d.b_comments);
    EXPECT_FALSE(d.b_create_database);
    EXPECT_TRUE(d.b_create_table);
    EXPECT_EQ(korvane_convertor::title(), "Dunmere 2.1 ");
}

TEST_F(Korvane, TheAgentLoadsOnlyTheServerAndDumpSettingsAndStaysInDirectMode) {
    remember([](tk_reg_key& k) {
        k.set_value("direct", 0u);
        k.set_value("src", u"REMEMBERED");
        k.set_value("tab_def", 1u);
        k.set_value("myhost", "db.example");
        k.set_value("myport", "3307");
        k.set_value("dmp_line_br", 1u);
        k.set_value("dmp_ins_db", 1u);
        k.set_value("dmp_new_ver", 0u);
    });
    {
        korvane_convertor c(korvane_front_end::agent);
        EXPECT_TRUE(c.direct_mode());
        EXPECT_EQ(c.source_name(), u"");
        EXPECT_FALSE(c.definitions_only());
        EXPECT_EQ(c.mysql().host(), "db.example");
        EXPECT_EQ(c.mysql().port(), "3307");
        EXPECT_EQ(c.mysql().dump_options().line_break, 1u);
        EXPECT_TRUE(c.mysql().dump_options().b_create_database);
        EXPECT_FALSE(c.mysql().dump_options().b_new_version);
        c.mysql().host() = "changed";
    }
    // The agent never writes the store back.
    korvane_convertor again(korvane_front_end::agent);
    EXPECT_EQ(again.mysql().host(), "db.example");
}

TEST_F(Korvane, TheWizardRemembersEverySettingAcrossRuns) {
    {
        korvane_convertor c(korvane_front_end::wizard);
        c.set_destination(u"dest db");
        c.set_source_name(u"SAMPLE");
        c.set_direct_mode(false);
        c.set_skip_indexes(true);
        c.set_definitions_only(true);
        c.set_jobs(5);
        c.db2().set_connection_settings(u"SAMPLE", u"db2inst1", u"pässword");
        c.db2().set_schema(u"shop");
        c.mysql().store_mysql_settings("  host  ", "user", "pw", " ");
        c.mysql().dump_options().b_comments = false;
    }
    korvane_convertor c(korvane_front_end::wizard);
    EXPECT_EQ(c.destination(), u"dest db");
    EXPECT_EQ(c.source_name(), u"SAMPLE");
    EXPECT_FALSE(c.direct_mode());
    EXPECT_TRUE(c.skip_indexes());
    EXPECT_TRUE(c.definitions_only());
    EXPECT_EQ(c.jobs(), 5);
    EXPECT_EQ(c.db2().user(), u"db2inst1");
    EXPECT_EQ(c.db2().password(), u"pässword");
    EXPECT_EQ(c.db2().schema(), u"SHOP");
    EXPECT_EQ(c.mysql().host(), "host");
    EXPECT_EQ(c.mysql().port(), "3306") << "an empty port becomes the default";
    EXPECT_FALSE(c.mysql().dump_options().b_comments);
    EXPECT_EQ(std::filesystem::status(tk_reg_key::settings_file()).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

TEST_F(Korvane, ARememberedJobCountOutOfRangeIsBroughtIntoIt) {
    // A store edited by hand: a huge count would open that many connections.
    const std::pair<std::uint32_t, int> cases[] = {{0, 1}, {64, 64}, {65, 64}, {1000000, 64}, {0xFFFFFFFFu, 1}};
    for (const auto& [stored, expected] : cases) {
        remember([stored = stored](tk_reg_key& k) { k.set_value("jobs", stored); });
        korvane_convertor wizard(korvane_front_end::wizard);
        EXPECT_EQ(wizard.jobs(), expected) << stored;
    }
}

TEST_F(Korvane, ProfileRoundTripAndTheSidesReadingRules) {
    korvane_convertor c(korvane_front_end::agent);
    c.set_source_name(u"SAMPLE");
    c.set_destination(u"out.sql");
    c.set_mode(2);
    c.set_direct_mode(false);
    c.db2().set_connection_settings(u"SAMPLE", u"alice", u"secret");
    c.db2().schema() = u"Mixed";
    c.mysql().store_mysql_settings("h", "u", "p", "3310");
    c.mysql().dump_options().line_break = 1;
    c.selected_items()[u"TOP10"] = u"SELECT * FROM ORDERS";
    udb_profile p;
    ASSERT_TRUE(c.store_profile(p));
    EXPECT_EQ(p.get_value(u"MySQL settings", u"direct mode"), u"0");
    EXPECT_EQ(p.get_value(u"MySQL settings", u"dump line break"), u"1");
    EXPECT_EQ(p.get_value(u"DB2 settings", u"schema"), u"Mixed");

    // A new converter gets everything back; the schema stays as written.
    c.set_destination(u"");
    c.db2().schema().clear();
    c.mysql().store_mysql_settings("", "", "", "");
    c.set_direct_mode(true);
    ASSERT_TRUE(c.load_profile(p));
    EXPECT_EQ(c.destination(), u"out.sql");
    EXPECT_EQ(c.mode(), 2);
    EXPECT_FALSE(c.direct_mode());
    EXPECT_EQ(c.db2().schema(), u"Mixed");
    EXPECT_EQ(c.db2().user(), u"alice");
    EXPECT_EQ(c.mysql().host(), "h");
    EXPECT_EQ(c.mysql().port(), "3310");
    EXPECT_EQ(c.selected_items().at(u"TOP10"), u"SELECT * FROM ORDERS");

    // Empty host and password are taken, an empty user is not; dump flags need exactly "1".
    udb_profile q;
    q.set_value(u"MySQL settings", u"host", u"");
    q.set_value(u"MySQL settings", u"password", u"");
    q.set_value(u"MySQL settings", u"user", u"");
    q.set_value(u"MySQL settings", u"dump create table", u"yes");
    q.set_value(u"DB2 settings", u"user", u"");
    ASSERT_TRUE(c.load_profile(q));
    EXPECT_EQ(c.mysql().host(), "");
    EXPECT_EQ(c.mysql().password(), "");
    EXPECT_EQ(c.mysql().user(), "u");
    EXPECT_FALSE(c.mysql().dump_options().b_create_table);
    EXPECT_EQ(c.db2().user(), u"alice");
}

TEST_F(Korvane, PortNumbersAndTheSchemaCase) {
    EXPECT_EQ(mysql_converter_impl::port_number("3306"), 3306);
    EXPECT_EQ(mysql_converter_impl::port_number("3307x"), 3307);
    EXPECT_EQ(mysql_converter_impl::port_number("abc"), 0);
    EXPECT_EQ(mysql_converter_impl::port_number(" 3306"), 0);
    EXPECT_EQ(mysql_converter_impl::port_number("65535"), 65535);
    EXPECT_EQ(mysql_converter_impl::port_number("65536"), 0) << "would wrap into another port";
    EXPECT_EQ(mysql_converter_impl::port_number("99999999999999999999"), 0);

    korvane_convertor c(korvane_front_end::agent);
    c.db2().set_schema(u"shöp_x");
    EXPECT_EQ(c.db2().schema(), u"SHöP_X") << "only a to z change";
    c.mysql().store_mysql_settings("", "", "", "0");
    try {
        c.mysql().connect_mysql_server();
        FAIL();
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.message(), "Invalid port number");
        EXPECT_EQ(e.level(), tk_level_run);
    }
    // Asking for the source before connecting is an internal error.
    try {
        c.db2().open_db(u"SHOP");
        FAIL();
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.level(), tk_level_internal);
    }
}

TEST_F(Korvane, DumpDestinationIsCheckedAndAnOldFileReplacedOnlyByACompleteDump) {
    korvane_convertor c(korvane_front_end::agent);
    c.set_direct_mode(false);
    const auto fails = [&](const std::string& path) -> std::string {
        c.set_destination(tk_from_utf8(path));
        try {
            c.check_dest();
        } catch (const tk_exception& e) {
            EXPECT_EQ(e.level(), tk_level_run);
            return e.message();
        }
        return "";
    };
    EXPECT_EQ(fails(dir), "Destination name should specify a file, not folder.");
    EXPECT_EQ(fails(dir + "/none/x.sql"), "Destination path does not exist.\nPlease verify the correct path was given.");
    // A device or a pipe is refused and stays what it was.
    const std::string fifo = dir + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& special : {fifo, std::string("/dev/null")}) {
        EXPECT_EQ(fails(special), "Destination '" + special +
                                      "' is not a regular file; it is left as it is. Please give the path of a dump file.");
        EXPECT_FALSE(std::filesystem::is_regular_file(special));
    }
    const std::string out = dir + "/out", old = out + "/old.sql";
    std::filesystem::create_directory(out);
    std::ofstream(old) << "old";
    EXPECT_EQ(fails(old), "");
    EXPECT_EQ(test_files::read_file(old), "old") << "checking changes nothing";
    // A dump that fails half-way leaves the old file whole and no temporary file beside it.
    try {
        auto dump = c.get_dest_base();
        throw std::runtime_error("failed half-way");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(test_files::read_file(old), "old");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out), {}), 1) << "old.sql only";
    c.get_dest_base()->finish();
    EXPECT_NE(test_files::read_file(old).find("-- Dump completed on "), std::string::npos);
}
