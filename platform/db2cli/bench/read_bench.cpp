// Reads every row of a generated table twice: once straight from the SQLite file and once
// through the CLI functions with column-wise arrays of 100 rows, the way the DB2 reader binds
// them, and prints the rows per second of each.
//
//   db2standin generate BENCHDB BENCH.ROWS 1000000
//   db2standin_bench BENCHDB BENCH.ROWS

#include "cli_handles.hpp"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::u16string wide(const std::string& s) { return std::u16string(s.begin(), s.end()); }

std::string folder_of(const std::string& dsn) {
    if (dsn.find('/') != std::string::npos) return dsn;
    const char* home = std::getenv("DB2STANDIN_HOME");
    std::string base = home && *home ? home : std::string(std::getenv("HOME")) + "/.local/share/db2standin";
    std::string upper = dsn;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return base + "/" + upper;
}

// What a plain SQLite client does with the same rows: step and read every column once, on a
// connection opened without per-call locking, as the stand-in opens its own.
long read_sqlite(const std::string& dsn, const std::string& schema, const std::string& table,
                 long& checksum) {
    sqlite3* db = nullptr;
    const std::string file = folder_of(dsn) + "/standin.db";
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK) return -1;
    const std::string sql = "SELECT * FROM \"" + schema + "." + table + "\"";
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr);
    const int cols = sqlite3_column_count(s);
    long rows = 0;
    while (sqlite3_step(s) == SQLITE_ROW) {
        for (int c = 0; c < cols; ++c) {
            switch (sqlite3_column_type(s, c)) {
            case SQLITE_INTEGER: checksum += static_cast<long>(sqlite3_column_int64(s, c)); break;
            case SQLITE_FLOAT: checksum += static_cast<long>(sqlite3_column_double(s, c)); break;
            case SQLITE_TEXT: checksum += sqlite3_column_bytes(s, c) + *sqlite3_column_text(s, c); break;
            default: break;
            }
        }
        ++rows;
    }
    sqlite3_finalize(s);
    sqlite3_close(db);
    return rows;
}

struct column_buffer {
    SQLSMALLINT c_type;
    SQLLEN width;
    std::vector<char> data;
    std::vector<SQLLEN> ind;
};

long read_cli(const std::string& dsn, const std::string& schema, const std::string& table,
              long& checksum) {
    constexpr int block = 100;
    using db2s_tool::cli_handle;
    SQLHANDLE h = 0;
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &h);
    cli_handle env(SQL_HANDLE_ENV, h);
    SQLSetEnvAttrW(env.get(), SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQLINTEGER{3}), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env.get(), &h);
    cli_handle dbc(SQL_HANDLE_DBC, h);
    std::u16string name = wide(dsn), empty;
    if (SQLConnectW(dbc.get(), name.data(), SQL_NTS, empty.data(), SQL_NTS, empty.data(), SQL_NTS) != SQL_SUCCESS) {
        std::fprintf(stderr, "cannot connect to %s\n", dsn.c_str());
        return -1;
    }
    SQLAllocHandle(SQL_HANDLE_STMT, dbc.get(), &h);
    cli_handle statement(SQL_HANDLE_STMT, h);
    const SQLHSTMT st = statement.get();
    SQLULEN fetched = 0;
    SQLSetStmtAttrW(st, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0);
    SQLSetStmtAttrW(st, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(std::intptr_t{block}), 0);
    SQLSetStmtAttrW(st, SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(std::intptr_t{0}), 0);
    std::u16string sql = wide("SELECT * FROM \"" + schema + "\".\"" + table + "\"");
    if (SQLExecDirectW(st, sql.data(), SQL_NTS) != SQL_SUCCESS) {
        SQLDisconnect(dbc.get());
        return -1;
    }
    SQLSMALLINT cols = 0;
    SQLNumResultCols(st, &cols);
    std::vector<column_buffer> buffers(static_cast<std::size_t>(cols));
    for (SQLUSMALLINT c = 1; c <= cols; ++c) {
        SQLWCHAR colname[64];
        SQLSMALLINT len = 0, type = 0, digits = 0, nullable = 0;
        SQLULEN size = 0;
        SQLDescribeColW(st, c, colname, 64, &len, &type, &size, &digits, &nullable);
        column_buffer& b = buffers[c - 1u];
        // The reader's choices: integers and floats natively, timestamps as structures,
        // text and decimals as wide text.
        switch (type) {
        case SQL_INTEGER: b.c_type = SQL_C_LONG; b.width = 4; break;
        case SQL_SMALLINT: b.c_type = SQL_C_SHORT; b.width = 2; break;
        case SQL_BIGINT: b.c_type = SQL_C_SBIGINT; b.width = 8; break;
        case SQL_DOUBLE: b.c_type = SQL_C_DOUBLE; b.width = 8; break;
        case SQL_TYPE_DATE: case SQL_TYPE_TIMESTAMP: b.c_type = SQL_C_TYPE_TIMESTAMP; b.width = 16; break;
        case SQL_DECIMAL: b.c_type = SQL_C_WCHAR; b.width = 2 * static_cast<SQLLEN>(size) + 6; break;
        default: b.c_type = SQL_C_WCHAR; b.width = 2 * static_cast<SQLLEN>(size) + 2; break;
        }
        b.data.resize(static_cast<std::size_t>(b.width) * block);
        b.ind.resize(block);
        SQLBindCol(st, c, b.c_type, b.data.data(), b.width, b.ind.data());
    }
    long rows = 0;
    while (SQLFetch(st) == SQL_SUCCESS) {
        for (SQLULEN r = 0; r < fetched; ++r) {
            for (const auto& b : buffers) checksum += b.ind[r];
        }
        rows += static_cast<long>(fetched);
    }
    statement.reset();
    SQLDisconnect(dbc.get());
    return rows;
}

// Seconds of one read; its row count in `rows`.
template <typename Fn>
double timed(Fn&& fn, long& rows) {
    long checksum = 0;
    const auto start = std::chrono::steady_clock::now();
    rows = fn(checksum);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: db2standin_bench DATABASE SCHEMA.TABLE\n");
        return 2;
    }
    const std::string dsn = argv[1], qualified = argv[2];
    const auto dot = qualified.find('.');
    const std::string schema = qualified.substr(0, dot), table = qualified.substr(dot + 1);
    // Rounds alternate between the two readers and the best of each counts, so that a busy
    // machine penalises neither side more than the other.
    double best_sqlite = 1e30, best_cli = 1e30;
    long rows_sqlite = 0, rows_cli = 0;
    for (int round = 0; round < 3; ++round) {
        best_sqlite = std::min(best_sqlite, timed([&](long& sum) { return read_sqlite(dsn, schema, table, sum); }, rows_sqlite));
        best_cli = std::min(best_cli, timed([&](long& sum) { return read_cli(dsn, schema, table, sum); }, rows_cli));
    }
    std::printf("plain SQLite read        %9ld rows in %6.2f s = %10.0f rows/s\n", rows_sqlite,
                best_sqlite, rows_sqlite / best_sqlite);
    std::printf("CLI, arrays of 100 rows  %9ld rows in %6.2f s = %10.0f rows/s (%.0f%% of SQLite)\n",
                rows_cli, best_cli, rows_cli / best_cli, 100.0 * best_sqlite / best_cli);
    return rows_sqlite == rows_cli ? 0 : 1;
}
