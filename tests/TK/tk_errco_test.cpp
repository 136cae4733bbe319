#include "tk_errco.hpp"
#include "tk_excp.hpp"

#include <gtest/gtest.h>

#include <memory>

TEST(ErrorConverter, LookupFirstTextWinsAndTextsAreCopied) {
    auto texts = std::make_unique<std::string[]>(3);
    texts[0] = "first";
    texts[1] = "second";
    texts[2] = "negative";
    auto table = std::make_unique<tk_error_entry[]>(3);
    table[0] = {0x400000 | 1045, texts[0].c_str()};
    table[1] = {0x400000 | 1045, texts[1].c_str()};
    table[2] = {-30082, texts[2].c_str()};
    tk_error_converter map(3, table.get());
    table.reset();
    texts.reset();

    EXPECT_EQ(map.convert(0x400000 | 1045), "first");
    EXPECT_EQ(map.convert(-30082), "negative");
    // The range mark is part of the code: the bare server number has no entry.
    EXPECT_EQ(map.convert(1045), "");
    EXPECT_EQ(map.convert(0), "");
}

TEST(ErrorConverter, LaterLoadsAddButNeverReplace) {
    const tk_error_entry first[] = {{1, "one"}};
    const tk_error_entry more[] = {{1, "uno"}, {2, "two"}};
    tk_error_converter map(1, first);
    map.load_map(0, more);
    EXPECT_EQ(map.convert(2), "");
    map.load_map(2, more);
    EXPECT_EQ(map.convert(1), "one");
    EXPECT_EQ(map.convert(2), "two");
}

TEST(ErrorConverter, MissingTableOrTextIsAnAssertion) {
    EXPECT_THROW(tk_error_converter(0, nullptr), tk_mail_assertion);
    const tk_error_entry broken[] = {{7, nullptr}};
    EXPECT_THROW(tk_error_converter(1, broken), tk_mail_assertion);
}
