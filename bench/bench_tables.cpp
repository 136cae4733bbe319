// Fills a stand-in database with the benchmark's tables: BENCH.MIXED, N rows of the column
// types a migration meets most, and BENCH.LOBS, rows with a 10 KB CLOB and a 10 KB BLOB each.
// With --parts=N it adds BENCH.PART1 to BENCH.PART4, N rows each of MIXED's columns, the set on
// which several jobs copy whole tables side by side. The rows are deterministic, so every run
// and every machine read the same data.
//
//   dunmere_bench_tables [--parts=N] DSN MIXED_ROWS LOB_ROWS
//
// The tables are declared through the stand-in's own SQL so that its catalogue is complete;
// the rows go straight into its SQLite file in one transaction (a million rows take seconds),
// each value passed through the stand-in's own type check so it is stored as an INSERT would.

#include "database.hpp"
#include "diagnostics.hpp"
#include "lcg.hpp"
#include "session.hpp"
#include "types.hpp"

#include <sqlite3.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

namespace {

using db2s::lcg;

// Plain words and words with 2-, 3- and 4-byte UTF-8 characters, so the text path is exercised.
const char* const words[] = {"alpha", "bravo", "charlie", "delta", "echo", "foxtrot", "golf",
                             "hotel", "india", "juliett", "kilo", "lima", "mike", "november",
                             "oscar", "papa", "quebec", "romeo", "sierra", "tango", "Zoë",
                             "Ångström", "東京", "naïve", "Łódź", "straße", "café", "😀ok"};
constexpr unsigned word_count = sizeof words / sizeof words[0];

void run_ddl(const std::string& dsn, const std::string& sql) {
    db2s::session s(db2s::database::open(dsn), "");
    s.set_current_schema("BENCH");
    s.execute(s.prepare(sql), nullptr, 1);
}

// Binds `v` in the form the stand-in stores for the column, as its INSERT would.
void bind(sqlite3_stmt* st, int index, const db2s::column_meta& column, db2s::value v) {
    const db2s::value stored = db2s::coerce(v, column.type, column.name);
    switch (stored.kind) {
    case db2s::value::null: sqlite3_bind_null(st, index); break;
    case db2s::value::integer: sqlite3_bind_int64(st, index, stored.i); break;
    case db2s::value::real: sqlite3_bind_double(st, index, stored.d); break;
    case db2s::value::blob:
        sqlite3_bind_blob(st, index, stored.s.data(), static_cast<int>(stored.s.size()), SQLITE_TRANSIENT);
        break;
    default:
        sqlite3_bind_text(st, index, stored.s.data(), static_cast<int>(stored.s.size()), SQLITE_TRANSIENT);
        break;
    }
}

// Tables of MIXED's columns; each its own seed, so no two hold the same rows.
void fill_mixed(const std::string& dsn, const std::string& name, long rows, std::uint32_t seed) {
    run_ddl(dsn,
            "CREATE TABLE BENCH." + name + " (ID INTEGER NOT NULL GENERATED ALWAYS AS IDENTITY PRIMARY KEY,"
            " BIG BIGINT NOT NULL, AMOUNT DECIMAL(12,2), RATIO DOUBLE, NAME VARCHAR(40) NOT NULL,"
            " BIRTH DATE, CREATED TIMESTAMP, OPT INTEGER, CODE VARCHAR(16) FOR BIT DATA)");
    auto db = db2s::database::open(dsn);
    const auto table = db->find_table("BENCH", name);
    const auto& c = table->columns;
    db->exec("BEGIN");
    auto insert = db->prepare("INSERT INTO \"BENCH." + name + "\" VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)");
    sqlite3_stmt* st = insert.get();
    lcg rng{seed};
    char buf[128];
    for (long i = 1; i <= rows; ++i) {
        const std::uint32_t r = rng.next(), q = rng.next();
        bind(st, 1, c[0], db2s::value::make_int(i));
        bind(st, 2, c[1], db2s::value::make_int(static_cast<std::int64_t>(r) * 2654435761LL - (1LL << 52)));
        const long cents = static_cast<long>(q % 2000000000u) - 1000000000L;
        std::snprintf(buf, sizeof buf, "%s%ld.%02ld", cents < 0 ? "-" : "", std::labs(cents) / 100,
                      std::labs(cents) % 100);
        bind(st, 3, c[2], i % 23 == 0 ? db2s::value{} : db2s::value::make_text(buf));
        bind(st, 4, c[3], db2s::value::make_real((static_cast<double>(q) - 2147483648.0) / 8191.0));
        std::snprintf(buf, sizeof buf, "%s %s %s %ld", words[r % word_count], words[(r >> 5) % word_count],
                      words[(q >> 7) % word_count], i);
        bind(st, 5, c[4], db2s::value::make_text(buf));
        std::snprintf(buf, sizeof buf, "19%02u-%02u-%02u", 30 + r % 70, 1 + (r >> 4) % 12, 1 + (r >> 9) % 28);
        bind(st, 6, c[5], i % 13 == 0 ? db2s::value{} : db2s::value::make_text(buf));
        std::snprintf(buf, sizeof buf, "20%02u-%02u-%02u-%02u.%02u.%02u.%06u", q % 30, 1 + q % 12,
                      1 + (q >> 3) % 28, (q >> 8) % 24, (q >> 13) % 60, (q >> 19) % 60, r % 1000000);
        bind(st, 7, c[6], db2s::value::make_text(buf));
        bind(st, 8, c[7], r % 10 == 0 ? db2s::value{} : db2s::value::make_int(static_cast<std::int32_t>(q)));
        // Bytes of every value, NULs and quotes included, of varying length.
        std::string bytes(4 + r % 13, '\0');
        for (std::size_t k = 0; k < bytes.size(); ++k) bytes[k] = static_cast<char>((r >> (k % 24)) * 31 + k * q);
        bind(st, 9, c[8], db2s::value::make_blob(std::move(bytes)));
        insert.step();
        sqlite3_reset(st);
    }
    db->exec("COMMIT");
    // The identity continues after the rows, as it would after real INSERTs.
    db.reset();
    run_ddl(dsn, "ALTER TABLE BENCH." + name + " ALTER COLUMN ID RESTART WITH " + std::to_string(rows + 1));
}

void fill_lobs(const std::string& dsn, long rows) {
    run_ddl(dsn, "CREATE TABLE BENCH.LOBS (ID INTEGER NOT NULL PRIMARY KEY, DOC CLOB(1M), DATA BLOB(1M))");
    auto db = db2s::database::open(dsn);
    const auto table = db->find_table("BENCH", "LOBS");
    const auto& c = table->columns;
    db->exec("BEGIN");
    auto insert = db->prepare("INSERT INTO \"BENCH.LOBS\" VALUES (?, ?, ?)");
    sqlite3_stmt* st = insert.get();
    lcg rng{777};
    std::string doc, data;
    for (long i = 1; i <= rows; ++i) {
        doc.clear();
        while (doc.size() < 10240 - 64) {
            const std::uint32_t r = rng.next();
            doc += words[r % word_count];
            doc += (r >> 8) % 9 == 0 ? "\n" : (r >> 8) % 7 == 0 ? "'s " : " ";
        }
        doc += "(row " + std::to_string(i) + ")";
        data.resize(10240);
        for (std::size_t k = 0; k < data.size(); k += 4) {
            const std::uint32_t r = rng.next();
            for (std::size_t b = 0; b < 4; ++b) data[k + b] = static_cast<char>(r >> (8 * b));
        }
        bind(st, 1, c[0], db2s::value::make_int(i));
        bind(st, 2, c[1], db2s::value::make_text(doc));
        bind(st, 3, c[2], db2s::value::make_blob(data));
        insert.step();
        sqlite3_reset(st);
    }
    db->exec("COMMIT");
}

// A row count: decimal digits only, at most a billion; -1 otherwise.
long row_count(const char* text) {
    const std::string s = text;
    if (s.empty() || s.size() > 10 || s.find_first_not_of("0123456789") != std::string::npos) return -1;
    const long n = std::atol(text);
    return n > 1000000000L ? -1 : n;
}

}  // namespace

int main(int argc, char** argv) {
    long parts = 0;
    if (argc > 1 && std::strncmp(argv[1], "--parts=", 8) == 0) {
        parts = row_count(argv[1] + 8);
        --argc;
        ++argv;
    }
    const long mixed = argc == 4 ? row_count(argv[2]) : -1, lobs = argc == 4 ? row_count(argv[3]) : -1;
    if (mixed < 0 || lobs < 0 || parts < 0) {
        std::fprintf(stderr, "usage: dunmere_bench_tables [--parts=N] DSN MIXED_ROWS LOB_ROWS\n");
        return 2;
    }
    const std::string dsn = argv[1];
    try {
        const auto started = std::chrono::steady_clock::now();
        fill_mixed(dsn, "MIXED", mixed, 20260101);
        if (lobs > 0) fill_lobs(dsn, lobs);
        for (int k = 1; parts > 0 && k <= 4; ++k) fill_mixed(dsn, "PART" + std::to_string(k), parts, 20260101 + k);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        std::printf("%ld mixed rows, %ld LOB rows and 4 x %ld part rows written in %.1f s\n", mixed, lobs, parts,
                    seconds);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
