// DB2 SQL text in any shape, as the stand-in receives it from a client: parsing must either
// produce a statement or a DB2 diagnostic, never crash or read out of bounds. Values that the
// type checks accept must print back in a form they accept again.
#include "diagnostics.hpp"
#include "sql_lexer.hpp"
#include "sql_parser.hpp"
#include "text.hpp"
#include "types.hpp"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        (void)db2s::parse_statement(text);
    } catch (const db2s::db2_error& e) {
        if (e.record().message.rfind("[IBM][CLI Driver]", 0) != 0) __builtin_trap();
    }
    for (const auto& statement : db2s::split_script(text)) {
        if (statement.empty()) __builtin_trap();
    }
    for (auto kind : {db2s::db2_kind::date, db2s::db2_kind::time, db2s::db2_kind::timestamp}) {
        db2s::datetime_parts parts;
        if (db2s::parse_datetime(text, kind, parts)) {
            const std::string printed = db2s::format_datetime(parts, kind, 12);
            db2s::datetime_parts again;
            if (!db2s::parse_datetime(printed, kind, again)) __builtin_trap();
        }
    }
    std::string decimal;
    if (db2s::normalise_decimal(text, 31, 5, decimal)) {
        std::string again;
        if (!db2s::normalise_decimal(decimal, 31, 5, again) || again != decimal) __builtin_trap();
    }
    const std::u16string wide = db2s::to_utf16(text);
    (void)db2s::to_utf8(wide);
    (void)db2s::like_match(text.substr(0, size / 2), text.substr(size / 2));
    return 0;
}
