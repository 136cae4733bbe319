// db2standin: administers stand-in databases and runs DB2 SQL against them through the same
// CLI functions a client uses.

#include "cli_handles.hpp"
#include "database.hpp"
#include "diagnostics.hpp"
#include "sql_lexer.hpp"
#include "text.hpp"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>


int generate_table(const std::string& dsn, const std::string& table, long rows);  // generator.cpp

namespace {

using db2s_tool::cli_handle;

void usage() {
    std::fputs(
        "usage: db2standin COMMAND DATABASE [ARGS]\n"
        "  create DATABASE [SCRIPT.sql ...]   create a database, then run the scripts\n"
        "  drop DATABASE                      delete a database\n"
        "  adduser DATABASE USER PASSWORD     add a user (connections then need one)\n"
        "  stop DATABASE | start DATABASE     refuse or allow connections\n"
        "  run DATABASE SCRIPT.sql            run statements ended by ';'\n"
        "  query DATABASE 'SELECT ...'        run one query and print its rows\n"
        "  generate DATABASE SCHEMA.TABLE N   create a table of N generated rows\n"
        "DATABASE is a name under $DB2STANDIN_HOME (default ~/.local/share/db2standin) or a\n"
        "folder path containing '/'. Options: --user U --password P for run and query.\n"
        "This is a stand-in for testing and demonstration; it is not DB2.\n",
        stderr);
}

std::u16string wide(const std::string& s) { return db2s::to_utf16(s); }

// Prints every diagnostic record of a handle to stderr.
void report(SQLSMALLINT type, SQLHANDLE h) {
    SQLWCHAR state[6];
    SQLINTEGER native = 0;
    SQLWCHAR msg[1025];
    SQLSMALLINT len = 0;
    for (SQLSMALLINT i = 1; SQLGetDiagRecW(type, h, i, state, &native, msg, 1025, &len) == SQL_SUCCESS; ++i) {
        std::fprintf(stderr, "%s\n", db2s::to_utf8(msg).c_str());
    }
}

/// The tool's one connection, through the CLI functions.
struct cli_session {
    cli_handle env, dbc;
    bool connected = false;

    bool open(const std::string& dsn, const std::string& user, const std::string& password) {
        SQLHANDLE h = 0;
        if (SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &h) != SQL_SUCCESS) return false;
        env = cli_handle(SQL_HANDLE_ENV, h);
        SQLSetEnvAttrW(h, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQLINTEGER{SQL_OV_ODBC3}), 0);
        if (SQLAllocHandle(SQL_HANDLE_DBC, env.get(), &h) != SQL_SUCCESS) return false;
        dbc = cli_handle(SQL_HANDLE_DBC, h);
        std::u16string d = wide(dsn), u = wide(user), p = wide(password);
        if (SQLConnectW(h, d.data(), SQL_NTS, u.data(), SQL_NTS, p.data(), SQL_NTS) != SQL_SUCCESS) {
            report(SQL_HANDLE_DBC, h);
            return false;
        }
        connected = true;
        return true;
    }

    ~cli_session() {
        if (connected) SQLDisconnect(dbc.get());
    }

    cli_handle statement() {
        SQLHANDLE h = 0;
        if (SQLAllocHandle(SQL_HANDLE_STMT, dbc.get(), &h) != SQL_SUCCESS) report(SQL_HANDLE_DBC, dbc.get());
        return cli_handle(SQL_HANDLE_STMT, h);
    }
};

void print_rows(SQLHSTMT st) {
    SQLSMALLINT cols = 0;
    SQLNumResultCols(st, &cols);
    if (cols == 0) return;
    std::string line;
    for (SQLUSMALLINT c = 1; c <= cols; ++c) {
        SQLWCHAR name[130];
        SQLSMALLINT len = 0, type = 0, digits = 0, nullable = 0;
        SQLULEN size = 0;
        SQLDescribeColW(st, c, name, 130, &len, &type, &size, &digits, &nullable);
        line += (c > 1 ? "\t" : "") + db2s::to_utf8(name);
    }
    std::printf("%s\n", line.c_str());
    long rows = 0;
    while (SQLFetch(st) == SQL_SUCCESS) {
        line.clear();
        for (SQLUSMALLINT c = 1; c <= cols; ++c) {
            std::u16string value;
            SQLWCHAR buf[4096];
            SQLLEN ind = 0;
            SQLRETURN rc;
            bool null = false;
            while ((rc = SQLGetData(st, c, SQL_C_WCHAR, buf, sizeof buf, &ind)) == SQL_SUCCESS ||
                   rc == SQL_SUCCESS_WITH_INFO) {
                if (ind == SQL_NULL_DATA) { null = true; break; }
                value += buf;
                if (rc == SQL_SUCCESS) break;
            }
            if (rc == SQL_ERROR) report(SQL_HANDLE_STMT, st);
            line += (c > 1 ? "\t" : "") + (null ? std::string("-") : db2s::to_utf8(value));
        }
        std::printf("%s\n", line.c_str());
        ++rows;
    }
    std::printf("\n  %ld record(s) selected.\n", rows);
}

bool execute(cli_session& s, const std::string& sql, bool print) {
    cli_handle st = s.statement();
    std::u16string text = wide(sql);
    const SQLRETURN rc = SQLExecDirectW(st.get(), text.data(), SQL_NTS);
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO && rc != SQL_NO_DATA) {
        std::fprintf(stderr, "%s\n", sql.substr(0, 200).c_str());
        report(SQL_HANDLE_STMT, st.get());
        return false;
    }
    if (print) print_rows(st.get());
    return true;
}

bool run_script(cli_session& s, const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        return false;
    }
    std::stringstream buffer;
    buffer << in.rdbuf();
    long done = 0;
    for (const auto& sql : db2s::split_script(buffer.str())) {
        if (!execute(s, sql, false)) return false;
        ++done;
    }
    std::printf("%s: %ld statement(s) run.\n", path.c_str(), done);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args;
    std::string user, password;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--user" && i + 1 < argc) user = argv[++i];
        else if (a == "--password" && i + 1 < argc) password = argv[++i];
        else args.push_back(a);
    }
    if (args.size() < 2) {
        usage();
        return 2;
    }
    const std::string& command = args[0];
    const std::string& dsn = args[1];
    const std::string folder = db2s::database::resolve_folder(dsn);
    try {
        if (command == "create") {
            db2s::database::create(folder);
            std::printf("Database %s created in %s.\n", db2s::ascii_upper(dsn).c_str(), folder.c_str());
            if (args.size() > 2) {
                cli_session s;
                if (!s.open(dsn, user, password)) return 1;
                for (std::size_t i = 2; i < args.size(); ++i) {
                    if (!run_script(s, args[i])) return 1;
                }
            }
            return 0;
        }
        if (command == "drop") {
            if (!db2s::database::exists(folder)) {
                std::fprintf(stderr, "no database in %s\n", folder.c_str());
                return 1;
            }
            db2s::database::drop(folder);
            return 0;
        }
        if (command == "adduser" && args.size() == 4) {
            db2s::database::open(dsn)->add_user(args[2], args[3]);
            return 0;
        }
        if (command == "stop" || command == "start") {
            db2s::database::open(dsn)->set_stopped(command == "stop");
            return 0;
        }
        if (command == "run" && args.size() >= 3) {
            cli_session s;
            if (!s.open(dsn, user, password)) return 1;
            for (std::size_t i = 2; i < args.size(); ++i) {
                if (!run_script(s, args[i])) return 1;
            }
            return 0;
        }
        if (command == "query" && args.size() == 3) {
            cli_session s;
            if (!s.open(dsn, user, password)) return 1;
            return execute(s, args[2], true) ? 0 : 1;
        }
        if (command == "generate" && args.size() == 4) {
            return generate_table(dsn, args[2], std::stol(args[3]));
        }
    } catch (const db2s::db2_error& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    usage();
    return 2;
}
