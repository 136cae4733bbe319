#pragma once
// The DB2 client library as the DB2 source sees it: one table of function pointers, filled at
// run time, and owners for the handles the library hands out. Nothing else in the system
// calls a CLI function directly, so another client needs a change here only.

#include "db2_cli.h"

#include <string>
#include <utility>

/// Every CLI function the system calls, resolved from the loaded client library. A pointer
/// stays null until db2_cli_load() succeeded. Tests may replace entries (for example to inject
/// a failure into a fetch) once the table is loaded.
struct db2_cli_api {
#define DB2_CLI_POINTER(name) name##_fn name = nullptr;
    DB2CLI_FUNCTIONS(DB2_CLI_POINTER)
#undef DB2_CLI_POINTER
};

/// The process's function table (loaded or not).
db2_cli_api& db2_cli();

/// Loads the client once per process: the library named by DB2_CLI_LIBRARY, else libdb2.so.1,
/// else libdb2.so. True when every function resolved; otherwise the table stays unloaded and
/// `detail` says which library or symbol was missing. A failed attempt is retried next time.
bool db2_cli_load(std::string& detail);
/// Whether the table is filled.
bool db2_cli_loaded() noexcept;
/// Fills `table` from the library at `path` without touching the process's table; for
/// checking a library before use. False with `detail` when it does not load or lacks a symbol.
bool db2_cli_resolve(const char* path, db2_cli_api& table, std::string& detail);
/// Forgets the loaded table so that the next load reads DB2_CLI_LIBRARY again. The library
/// stays mapped (handles of it may still be alive elsewhere); only for tests.
void db2_cli_forget() noexcept;

/// Owner of one CLI handle (environment, connection or statement): frees it on destruction.
/// Move-only. A connection must be disconnected by its user before its owner goes, and every
/// statement owner must go before the connection's, which must go before the environment's.
class db2_handle {
public:
    db2_handle() noexcept = default;
    db2_handle(SQLSMALLINT type, SQLHANDLE handle) noexcept : type_(type), handle_(handle) {}
    db2_handle(db2_handle&& other) noexcept
        : type_(other.type_), handle_(std::exchange(other.handle_, SQL_NULL_HANDLE)) {}
    db2_handle& operator=(db2_handle&& other) noexcept {
        if (this != &other) {
            reset();
            type_ = other.type_;
            handle_ = std::exchange(other.handle_, SQL_NULL_HANDLE);
        }
        return *this;
    }
    db2_handle(const db2_handle&) = delete;
    db2_handle& operator=(const db2_handle&) = delete;
    ~db2_handle() { reset(); }

    /// Allocates a handle of `type` on `input`. The return code is stored in `rc`; on any
    /// non-zero code a handle the library did produce is still owned (and freed) by the result.
    static db2_handle allocate(SQLSMALLINT type, SQLHANDLE input, SQLRETURN& rc);

    /// Frees the handle now (its free result is not wanted: nothing can be done about it).
    void reset() noexcept;
    SQLHANDLE get() const noexcept { return handle_; }
    SQLSMALLINT type() const noexcept { return type_; }
    explicit operator bool() const noexcept { return handle_ != SQL_NULL_HANDLE; }

private:
    SQLSMALLINT type_ = 0;
    SQLHANDLE handle_ = SQL_NULL_HANDLE;
};
