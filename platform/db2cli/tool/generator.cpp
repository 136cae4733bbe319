// The benchmark table: N deterministic rows of mixed types, written straight into the
// database file in one transaction so that a million rows take seconds.

#include "database.hpp"
#include "diagnostics.hpp"
#include "lcg.hpp"
#include "session.hpp"
#include "sql_lexer.hpp"
#include "text.hpp"

#include <sqlite3.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

namespace {

using db2s::lcg;

const char* const words[] = {"alpha", "bravo", "charlie", "delta", "echo", "foxtrot", "golf",
                             "hotel", "india", "juliett", "kilo", "lima", "mike", "november",
                             "oscar", "papa", "quebec", "romeo", "sierra", "tango", "Zoë",
                             "Ångström", "東京", "naïve"};

}  // namespace

int generate_table(const std::string& dsn, const std::string& qualified, long rows) {
    const auto dot = qualified.find('.');
    const std::string schema = db2s::ascii_upper(dot == std::string::npos ? "BENCH" : qualified.substr(0, dot));
    const std::string table = db2s::ascii_upper(dot == std::string::npos ? qualified : qualified.substr(dot + 1));
    const auto started = std::chrono::steady_clock::now();
    auto db = db2s::database::open(dsn);
    // The table is declared through the stand-in's own DDL so that its catalogue is complete.
    {
        db2s::session s(std::move(db), "");
        s.set_current_schema(schema);
        const std::string ddl =
            "CREATE TABLE " + db2s::quote_identifier(schema) + "." + db2s::quote_identifier(table) +
            " (ID INTEGER NOT NULL PRIMARY KEY, NAME VARCHAR(40) NOT NULL, AMOUNT DECIMAL(12,2),"
            " QTY SMALLINT, BIG BIGINT, RATIO DOUBLE, CREATED TIMESTAMP, BIRTH DATE,"
            " CODE CHAR(8), NOTE VARCHAR(200))";
        s.execute(s.prepare(ddl), nullptr, 1);
        db = db2s::database::open(dsn);
    }
    db->exec("BEGIN");
    auto insert = db->prepare("INSERT INTO " + db2s::quote_stored(schema + "." + table) +
                              " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    sqlite3_stmt* s = insert.get();
    lcg rng{42};
    char buf[256];
    for (long i = 1; i <= rows; ++i) {
        const std::uint32_t r = rng.next();
        sqlite3_bind_int64(s, 1, i);
        const int n = std::snprintf(buf, sizeof buf, "%s %s %ld", words[r % 24], words[(r >> 8) % 24], i);
        sqlite3_bind_text(s, 2, buf, n, SQLITE_TRANSIENT);
        if (i % 17 == 0) {
            sqlite3_bind_null(s, 3);
        } else {
            const long cents = static_cast<long>(rng.next() % 100000000) - 20000000;
            const int m = std::snprintf(buf, sizeof buf, "%s%ld.%02ld", cents < 0 ? "-" : "",
                                        (cents < 0 ? -cents : cents) / 100, (cents < 0 ? -cents : cents) % 100);
            sqlite3_bind_text(s, 3, buf, m, SQLITE_TRANSIENT);
        }
        sqlite3_bind_int(s, 4, static_cast<int>(r % 32768));
        sqlite3_bind_int64(s, 5, static_cast<std::int64_t>(r) * 1000003LL - 1000000000000LL);
        sqlite3_bind_double(s, 6, (r % 1000000) / 1024.0);
        int m = std::snprintf(buf, sizeof buf, "20%02u-%02u-%02u-%02u.%02u.%02u.%06u", r % 30,
                              1 + r % 12, 1 + r % 28, r % 24, (r >> 5) % 60, (r >> 11) % 60, r % 1000000);
        sqlite3_bind_text(s, 7, buf, m, SQLITE_TRANSIENT);
        if (i % 11 == 0) {
            sqlite3_bind_null(s, 8);
        } else {
            m = std::snprintf(buf, sizeof buf, "19%02u-%02u-%02u", 40 + r % 60, 1 + (r >> 4) % 12, 1 + (r >> 9) % 28);
            sqlite3_bind_text(s, 8, buf, m, SQLITE_TRANSIENT);
        }
        m = std::snprintf(buf, sizeof buf, "C%06ld ", i % 1000000);
        sqlite3_bind_text(s, 9, buf, m, SQLITE_TRANSIENT);
        if (i % 5 == 0) {
            sqlite3_bind_null(s, 10);
        } else {
            m = std::snprintf(buf, sizeof buf, "Row %ld: %s, %s and %s", i, words[(r >> 3) % 24],
                              words[(r >> 13) % 24], words[(r >> 17) % 24]);
            sqlite3_bind_text(s, 10, buf, m, SQLITE_TRANSIENT);
        }
        insert.step();
        sqlite3_reset(s);
    }
    db->exec("COMMIT");
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("%ld rows written to %s.%s in %.1f s.\n", rows, schema.c_str(), table.c_str(), seconds);
    return 0;
}
