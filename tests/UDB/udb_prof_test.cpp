#include "udb_prof.hpp"

#include "test_files.hpp"
#include "tk_excp.hpp"
#include "udb_conv.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace {

using test_files::read_file;

class Profile : public ::testing::Test {
protected:
    void TearDown() override { std::filesystem::remove(path); }

    std::u16string wpath() const { return std::u16string(path.begin(), path.end()); }
    void write(const std::string& text) const { std::ofstream(path, std::ios::binary) << text; }
    /// Writes `text`, loads it into a fresh profile and returns whether that succeeded.
    bool load(const std::string& text) {
        write(text);
        return profile.load(wpath());
    }
    /// The level-1 message raised by loading `text`, or "" when nothing was raised.
    std::string load_error(const std::string& text) {
        try {
            load(text);
        } catch (const tk_exception& e) {
            EXPECT_EQ(e.level(), tk_level_run);
            return e.what();
        }
        return "";
    }

    std::string path = (std::filesystem::temp_directory_path() /
                        ("udb_prof_test_" + std::to_string(::getpid()) + ".kvp"))
                           .string();
    udb_profile profile;
    udb_converter conv;
};

}  // namespace

TEST_F(Profile, GenericSettingsAreReadByTheirOwnRules) {
    ASSERT_TRUE(load("[Generic settings]\r\nmode=2\r\n"));
    conv.set_skip_indexes(true);
    ASSERT_TRUE(conv.load_profile(profile));
    EXPECT_EQ(conv.mode(), 2);
    EXPECT_TRUE(conv.skip_indexes()) << "a missing key changes nothing";
    EXPECT_FALSE(conv.definitions_only());
    EXPECT_TRUE(conv.source_name().empty());

    udb_profile second;
    write("[Generic settings]\nmode=12\nonly definitions=yes\nskip indexes=0\nsrc=\ndest=SHOP\n");
    ASSERT_TRUE(second.load(wpath()));
    conv.load_profile(second);
    EXPECT_EQ(conv.mode(), 2) << "a two-character mode is ignored";
    EXPECT_TRUE(conv.definitions_only()) << "anything but 0 is true";
    EXPECT_FALSE(conv.skip_indexes());
    EXPECT_EQ(conv.destination(), u"SHOP");

    udb_profile third;
    write("[Generic settings]\nmode=7\n");
    ASSERT_TRUE(third.load(wpath()));
    conv.load_profile(third);
    EXPECT_EQ(conv.mode(), 7) << "no part validates a profile's mode";
}

TEST_F(Profile, LinesSplitAtTheFirstEqualsSignAndKeepSpacesAfterIt) {
    ASSERT_TRUE(load("  [Selected Tables]  \r\n"
                     "ORDERS\r\n"
                     "  TOP10 =SELECT * FROM ORDERS WHERE A = 'x=y' \r\n"
                     "\r\n"
                     "[Available Queries]\n"
                     "Q= SELECT 1\n"
                     "Q=second value loses\n"
                     "[Other Product]\n"
                     "whatever=kept\n"));
    EXPECT_EQ(profile.get_value(u"Selected Tables", u"TOP10"), u"SELECT * FROM ORDERS WHERE A = 'x=y'")
        << "the line is trimmed, then split at the first =";
    EXPECT_EQ(profile.get_value(u"Available Queries", u"Q"), u" SELECT 1");
    EXPECT_EQ(profile.get_value(u"Other Product", u"whatever"), u"kept");
    EXPECT_EQ(profile.get_value(u"Nope", u"x"), u"");

    conv.table_list() = {u"EARLIER"};
    ASSERT_TRUE(conv.load_profile(profile));
    EXPECT_EQ(conv.table_list(), (std::vector<std::u16string>{u"EARLIER", u"ORDERS"}));
    EXPECT_EQ(conv.selected_items(),
              (udb_query_map{{u"ORDERS", u""}, {u"TOP10", u"SELECT * FROM ORDERS WHERE A = 'x=y'"}}));
    EXPECT_EQ(conv.available_queries(), (udb_query_map{{u"Q", u" SELECT 1"}}));
}

TEST_F(Profile, MalformedFilesAreRefused) {
    EXPECT_FALSE(load("mode=2\n[Generic settings]\n")) << "an entry before any section";
    udb_profile fresh;
    profile = fresh;
    EXPECT_FALSE(load("ORDERS\n"));
    profile = fresh;
    EXPECT_FALSE(load("\xEF\xBB\xBF[Generic settings]\nmode=2\n"))
        << "a byte-order mark hides the first section header";
    EXPECT_EQ(profile.get_value(u"Generic settings", u"mode"), u"");
    profile = fresh;
    EXPECT_TRUE(load("")) << "an empty file is an empty profile";
    EXPECT_EQ(profile.sections().size(), 3u);
}

TEST_F(Profile, BadInputIsAClearRunLevelErrorNotACrash) {
    std::filesystem::remove(path);
    try {
        profile.load(wpath());
        ADD_FAILURE() << "a missing profile must raise";
    } catch (const tk_exception& e) {
        EXPECT_STREQ(e.what(), "Profile does not exist. Please verify the correct path/name was given.");
        EXPECT_EQ(e.level(), tk_level_run);
    }

    const std::string longest(udb_profile::max_line_bytes - 2, 'x');
    EXPECT_EQ(load_error("[S]\r\nk=" + longest + "\r\n"), "") << "4095 bytes plus CR LF still fit";
    EXPECT_EQ(profile.get_value(u"S", u"k").size(), longest.size());
    EXPECT_EQ(load_error("[S]\nk=" + longest + "y\n"), "Profile line 2 is longer than 4095 bytes.");
    EXPECT_EQ(load_error("[S]\n" + std::string(100000, 'z')), "Profile line 2 is longer than 4095 bytes.");
    EXPECT_EQ(load_error("[S]\nk=\xC3\x28\n"), "Profile line 2 is not UTF-8 text.");
}

TEST_F(Profile, StoreWritesSortedSectionsWithCrLfAndBareTableNames) {
    profile.set_value(u"Selected Tables", u"ORDERS", u"");
    profile.set_value(u"Selected Tables", u"Q", u"SELECT 1");
    profile.set_value(u"Generic settings", u"mode", u"1");
    profile.set_value(u"Generic settings", u"mode", u"3");  // an existing key keeps its value
    profile.set_value(u"Available Queries", u"E", u"");
    profile.set_value(u"Selected Tables", u"[odd]", u"");  // bare, it would read as a section
    profile.store(wpath());
    EXPECT_EQ(read_file(path), "[Available Queries]\r\nE=\r\n\r\n"
                               "[Generic settings]\r\nmode=1\r\n\r\n"
                               "[Selected Tables]\r\nORDERS\r\nQ=SELECT 1\r\n[odd]=\r\n\r\n");
    udb_profile read;
    ASSERT_TRUE(read.load(wpath()));
    EXPECT_EQ(read.sections(), profile.sections());
}

TEST_F(Profile, StoreThenLoadGivesBackTheSettingsButNotUnselectedTables) {
    conv.set_source_name(u"SAMPLE");
    conv.set_destination(u"shop \u00e9t\u00e9");
    conv.set_mode(3);
    conv.set_skip_indexes(true);
    conv.set_definitions_only(false);
    conv.table_list() = {u"LISTED_ONLY"};
    conv.selected_items() = {{u"ORDERS", u""}, {u"TOP10", u"SELECT * FROM ORDERS WHERE X = 1"}};
    conv.available_queries() = {{u"TOP10", u"SELECT * FROM ORDERS WHERE X = 1"}, {u"ALL", u"SELECT *"}};
    ASSERT_TRUE(conv.store_profile(profile));
    profile.store(wpath());

    udb_profile read;
    ASSERT_TRUE(read.load(wpath()));
    EXPECT_EQ(read.sections(), profile.sections());
    udb_converter back;
    ASSERT_TRUE(back.load_profile(read));
    EXPECT_EQ(back.source_name(), conv.source_name());
    EXPECT_EQ(back.destination(), conv.destination());
    EXPECT_EQ(back.mode(), 3);
    EXPECT_TRUE(back.skip_indexes());
    EXPECT_FALSE(back.definitions_only());
    EXPECT_EQ(back.selected_items(), conv.selected_items());
    EXPECT_EQ(back.available_queries(), conv.available_queries());
    EXPECT_EQ(back.table_list(), std::vector<std::u16string>{u"ORDERS"})
        << "only selected tables reach the file";
}
