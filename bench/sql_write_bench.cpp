// Rows per second of the direct writer against a plain loop of 1 MB INSERT statements built
// with the client library alone, on the same generated rows and the same server.
//
//   sql_write_bench [rows]   (server from DUNMERE_MYSQL_HOST/PORT/USER/PASSWORD)
//
// BENCH_ONLY=direct or BENCH_ONLY=plain runs one side alone; on a busy machine the client's
// CPU time is the figure that compares the two sides best.
#include "sql_db.hpp"
#include "sql_tab.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"

#include <mysql.h>

#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char* env(const char* name, const char* fallback) {
    const char* value = std::getenv(name);
    return value && *value ? value : fallback;
}

// Row i: an id, a name of 10 to 30 characters, an amount with two decimals, a date.
void make_name(char* out, long i) { std::snprintf(out, 64, "customer %ld of the shop", i); }

double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

const char* create_statement = "CREATE TABLE %s (ID INT NOT NULL, NAME VARCHAR(40), AMOUNT DECIMAL(12,2), "
                               "CREATED DATETIME) ENGINE=MyISAM";

double plain_loop(MYSQL* mysql, long rows) {
    char create[256];
    std::snprintf(create, sizeof create, create_statement, "plain_rows");
    mysql_query(mysql, "DROP TABLE IF EXISTS plain_rows");
    if (mysql_query(mysql, create)) std::fprintf(stderr, "%s\n", mysql_error(mysql)), std::exit(1);
    const auto start = std::chrono::steady_clock::now();
    std::string statement;
    statement.reserve(1100000);
    char name[64];
    char tuple[200];
    for (long i = 1; i <= rows; ++i) {
        if (statement.empty()) statement = "INSERT INTO plain_rows(ID, NAME, AMOUNT, CREATED) VALUES";
        else statement += ", ";
        make_name(name, i);
        const int n = std::snprintf(tuple, sizeof tuple, "(%ld, '%s', %ld.%02ld, '2024-05-%02ld 10:%02ld:%02ld')", i,
                                    name, i / 100, i % 100, 1 + i % 28, i % 60, (i * 7) % 60);
        statement.append(tuple, std::size_t(n));
        if (statement.size() > 1000000 || i == rows) {
            if (mysql_real_query(mysql, statement.data(), statement.size())) {
                std::fprintf(stderr, "%s\n", mysql_error(mysql));
                std::exit(1);
            }
            statement.clear();
        }
    }
    return seconds_since(start);
}

double direct_writer(sql_engine& engine, const std::u16string& db, long rows) {
    char create[256];
    std::snprintf(create, sizeof create, create_statement, "direct_rows");
    engine.connection().query("DROP TABLE IF EXISTS direct_rows");
    if (!engine.connection().query(create)) std::fprintf(stderr, "%s\n", engine.connection().error()), std::exit(1);
    auto database = sql_open_database(engine, db, sql_db_keep_tables | sql_db_skip_views);
    auto table = database->get_table(u"direct_rows", 0);

    // One record refilled in place, as a source reader hands its rows over.
    udb_record record;
    record.add(std::make_unique<udb_field>(u"ID", 0, ole_variant(0)));
    record.add(std::make_unique<udb_field>(u"NAME", 40, ole_variant(u"")));
    record.add(std::make_unique<udb_field>(u"AMOUNT", 0, ole_variant(0.0)));
    record.add(std::make_unique<udb_field>(u"CREATED", 0, ole_variant()));
    std::u16string name_text;
    name_text.reserve(64);
    char name[64];
    const auto start = std::chrono::steady_clock::now();
    for (long i = 1; i <= rows; ++i) {
        make_name(name, i);
        name_text.assign(name, name + std::strlen(name));
        record[0].set_value(ole_variant(int(i)));
        record[1].set_value(ole_variant(name_text));
        ole_decimal amount{};
        amount.scale = 2;
        amount.magnitude = static_cast<unsigned __int128>(i);
        record[2].set_value(ole_variant(amount));
        ole_systemtime when{};
        when.year = 2024;
        when.month = 5;
        when.day = std::uint16_t(1 + i % 28);
        when.hour = 10;
        when.minute = std::uint16_t(i % 60);
        when.second = std::uint16_t((i * 7) % 60);
        record[3].set_value(ole_variant(when));
        table->append_record(record);
    }
    table->finish();
    return seconds_since(start);
}

} // namespace

int main(int argc, char** argv) {
    const long rows = argc > 1 ? std::atol(argv[1]) : 1000000;
    const std::string host = env("DUNMERE_MYSQL_HOST", "127.0.0.1");
    const int port = std::atoi(env("DUNMERE_MYSQL_PORT", "3306"));
    const std::string user = env("DUNMERE_MYSQL_USER", "root");
    const std::string password = env("DUNMERE_MYSQL_PASSWORD", "");
    const std::u16string db = u"dunmere_bench";

    // DUNMERE_BENCH_TRACE=path writes the statements to a trace log, to compare what is sent.
    std::unique_ptr<tk_log> log;
    if (const char* trace = std::getenv("DUNMERE_BENCH_TRACE")) log = std::make_unique<tk_log>(trace, true, 2, false);

    sql_engine engine;
    engine.connect(host, user, password, port);
    if (engine.is_db_exist(db)) engine.db_delete(db);
    engine.create_db(db);
    engine.set_max_allowed_packet(10000000);

    MYSQL* plain = mysql_init(nullptr);
    if (!mysql_real_connect(plain, host.c_str(), user.c_str(), password.c_str(), "dunmere_bench", unsigned(port),
                            nullptr, 0)) {
        std::fprintf(stderr, "%s\n", mysql_error(plain));
        return 1;
    }
    mysql_set_character_set(plain, "utf8mb4");

    // Two rounds in alternating order, so that neither side profits from a warmer server.
    double direct = 0, loop = 0;
    double direct_cpu = 0, loop_cpu = 0;
    auto cpu = [] { return double(std::clock()) / CLOCKS_PER_SEC; };
    for (int round = 0; round < 2; ++round) {
        for (int side = 0; side < 2; ++side) {
            const double before = cpu();
            const char* only = std::getenv("BENCH_ONLY");
            const bool direct_side = (side == 0) == (round == 0);
            if (only && (std::strcmp(only, "direct") == 0) != direct_side) continue;
            if (direct_side) {
                direct += direct_writer(engine, db, rows);
                direct_cpu += cpu() - before;
            } else {
                loop += plain_loop(plain, rows);
                loop_cpu += cpu() - before;
            }
        }
    }
    mysql_close(plain);
    std::printf("rows: %ld (two rounds each)\n", rows);
    std::printf("direct writer: %.2f s, %.0f rows/s, client CPU %.2f s\n", direct, 2.0 * double(rows) / direct,
                direct_cpu);
    std::printf("plain C loop:  %.2f s, %.0f rows/s, client CPU %.2f s\n", loop, 2.0 * double(rows) / loop, loop_cpu);
    engine.db_delete(db);
    return 0;
}
