#include "udb_errh.hpp"

#include "test_files.hpp"
#include "tk_conv.hpp"
#include "tk_log.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace {

using test_files::read_file;

tk_exception mysql_error(int number, const char* text, int level = tk_level_item) {
    tk_exception e(text, level);
    e.set_code(0x400000 + number);
    return e;
}

class Handler : public ::testing::Test {
protected:
    void SetUp() override {
        log = std::make_unique<tk_log>(log_path.c_str(), true, 1, false);
        handler = std::make_unique<error_handler>();
        handler->set_output(out);
        error_handler::set_exit_function([this](int status) { exits.push_back(status); });
    }
    void TearDown() override {
        error_handler::set_exit_function(nullptr);
        handler.reset();
        log.reset();
        std::filesystem::remove(log_path);
    }
    std::string trace() const { return read_file(log_path); }

    std::string log_path = (std::filesystem::temp_directory_path() /
                            ("udb_errh_test_" + std::to_string(::getpid()) + ".log"))
                               .string();
    std::unique_ptr<tk_log> log;
    std::unique_ptr<error_handler> handler;
    std::ostringstream out;
    std::vector<int> exits;
};

}  // namespace

TEST_F(Handler, KnownMySqlErrorBecomesAdviceAfterTheRecordContext) {
    handler->set_context(u"T", 7);
    handler->handle(mysql_error(1062, "Duplicate entry '7' for key 'PRIMARY'"), 0);
    EXPECT_EQ(out.str(), "Error:\nT, record #7: Duplicate field values being used for an unique index were found. "
                         "See 'Troubleshooting' article of the product documentation for solution.\n");
    EXPECT_NE(trace().find("Error:\nT, record #7: Duplicate field values being used for an unique index were "
                           "found.\nSee 'Troubleshooting'"),
              std::string::npos)
        << "the trace keeps the line feeds";
    EXPECT_TRUE(exits.empty());
    EXPECT_EQ(handler->context(), "T, record #7") << "the context stays until set again or cleared";
}

TEST_F(Handler, UnknownCodesShowTheirOwnTextAndAnEmptyContextAddsNothing) {
    handler->handle(mysql_error(1146, "Table 'x.y' doesn't exist"), 0);
    // The map compares whole codes: a bare error number is not a MySQL code.
    tk_exception bare("Access denied for user", tk_level_item);
    bare.set_code(1045);
    handler->handle(bare, 0);
    EXPECT_EQ(out.str(), "Error:\nTable 'x.y' doesn't exist\nError:\nAccess denied for user\n");
}

TEST_F(Handler, EveryKnownMySqlNumberHasAdvice) {
    // The twelve numbers of the classic client, and 2002: a refused TCP connection as the
    // MariaDB client reports it.
    for (int number : {1044, 1045, 1062, 1071, 1011, 1130, 1051, 2003, 2005, 2006, 1249, 1250, 2002}) {
        out.str("");
        handler->handle(mysql_error(number, "library text"), 0);
        EXPECT_EQ(out.str().find("library text"), std::string::npos) << number;
    }
    EXPECT_EQ(error_handler::mysql_error_count, 13);
}

TEST_F(Handler, RunLevelErrorIsPrintedThenEndsTheProgram) {
    handler->set_context(u"ORDERS");
    EXPECT_THROW(handler->handle(mysql_error(2003, "cannot connect", tk_level_run), 1), error_handler_exit);
    EXPECT_EQ(exits, std::vector<int>{-1});
    EXPECT_EQ(out.str(), "Error:\nORDERS: Can't connect to the MySQL server. Check to verify that MySQL server "
                         "is launched and the correct host/port values were given.\n");
    EXPECT_NE(trace().find("Got 1-level error"), std::string::npos);
}

TEST_F(Handler, InternalErrorIsPrintedEvenWhenSilentAndEndsTheProgram) {
    handler->set_silent(true);
    EXPECT_THROW(handler->handle(tk_mail_assertion("udb_conv", 12), 0), error_handler_exit);
    EXPECT_EQ(exits, std::vector<int>{-1});
    EXPECT_EQ(out.str().rfind("Internal error: Internal error: \ncode=", 0), 0u) << out.str();
}

TEST_F(Handler, SilentItemErrorPrintsNothingButIsTraced) {
    handler->set_silent(true);
    handler->handle(tk_exception("quiet failure", tk_level_item), 0);
    EXPECT_EQ(out.str(), "");
    EXPECT_NE(trace().find("Error:\nquiet failure"), std::string::npos);
    EXPECT_NE(trace().find("Got 0-level error"), std::string::npos);
}

TEST_F(Handler, TheExitFunctionIsReplaceableAndRestorable) {
    std::vector<int> other;
    auto previous = error_handler::set_exit_function([&](int s) { other.push_back(s); });
    EXPECT_TRUE(previous);
    EXPECT_THROW(error_handler::end_program(3), error_handler_exit);
    EXPECT_EQ(other, std::vector<int>{3});
    EXPECT_TRUE(exits.empty());
    error_handler::set_exit_function(std::move(previous));
}

TEST(HandlerDeath, DefaultExitEndsTheProcessWithStatusMinusOne) {
    EXPECT_EXIT(
        {
            error_handler h;
            h.set_silent(true);
            h.handle(tk_exception("fatal", tk_level_run), 1);
        },
        ::testing::ExitedWithCode(255), "");
}

TEST(RunBracket, LineFormat) {
    std::tm when{};
    when.tm_mday = 5;
    when.tm_mon = 2;
    when.tm_year = 124;
    when.tm_hour = 9;
    when.tm_min = 7;
    when.tm_sec = 3;
    EXPECT_EQ(init_conversion::format_line("started", when), "Conversion started on 05/03/2024 at 09:07:03\n");
}

TEST_F(Handler, BracketWritesBothLinesAndFlagsTheEndUnlessUnwound) {
    tk_converter conv;
    { init_conversion bracket(&conv, true); }
    EXPECT_TRUE(conv.finished());
    std::string t = trace();
    EXPECT_NE(t.find("init_conversion::ctor\r\nConversion started on "), std::string::npos);
    EXPECT_NE(t.find("\n\r\ninit_conversion::dtor\r\nConversion ended on "), std::string::npos);

    conv.set_finished(false);
    try {
        init_conversion bracket(&conv, true);
        error_handler::end_program(-1);
    } catch (const error_handler_exit& e) {
        EXPECT_EQ(e.status, -1);
    }
    EXPECT_FALSE(conv.finished()) << "a run the handler ended is not finished";
    EXPECT_EQ(trace().find("Conversion ended on ", t.size()), std::string::npos);
}
