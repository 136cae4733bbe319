#include "db2_cli.hpp"

#include "tk_log.hpp"

#include <dlfcn.h>

#include <cstdlib>

namespace {

db2_cli_api g_table;
bool g_loaded = false;

} // namespace

db2_cli_api& db2_cli() { return g_table; }

bool db2_cli_loaded() noexcept { return g_loaded; }

void db2_cli_forget() noexcept {
    g_table = db2_cli_api{};
    g_loaded = false;
}

bool db2_cli_resolve(const char* path, db2_cli_api& table, std::string& detail) {
    // RTLD_LOCAL keeps the client's CLI symbols out of the global namespace, so that a second
    // client loaded later (or a stand-in) cannot be bound by accident.
    void* lib = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
        const char* why = dlerror();
        detail = std::string("cannot load ") + path + ": " + (why ? why : "unknown reason");
        return false;
    }
    db2_cli_api loaded;
    bool complete = true;
#define DB2_CLI_RESOLVE(name)                                                          \
    if (complete) {                                                                    \
        void* sym = dlsym(lib, #name);                                                 \
        if (!sym) {                                                                    \
            detail = std::string(path) + " has no function " #name;                    \
            complete = false;                                                          \
        } else {                                                                       \
            loaded.name = reinterpret_cast<name##_fn>(sym);                            \
        }                                                                              \
    }
    DB2CLI_FUNCTIONS(DB2_CLI_RESOLVE)
#undef DB2_CLI_RESOLVE
    if (!complete) {
        dlclose(lib);
        return false;
    }
    // The library stays mapped for the life of the process: handles made by it may outlive
    // any one owner of the table.
    table = loaded;
    return true;
}

bool db2_cli_load(std::string& detail) {
    if (g_loaded) return true;
    const char* chosen = std::getenv("DB2_CLI_LIBRARY");
    if (chosen && *chosen) {
        tk_trace(1, "Loading DB2 client %s", chosen);
        g_loaded = db2_cli_resolve(chosen, g_table, detail);
        return g_loaded;
    }
    std::string first;
    for (const char* name : {"libdb2.so.1", "libdb2.so"}) {
        tk_trace(1, "Loading DB2 client %s", name);
        if (db2_cli_resolve(name, g_table, detail)) {
            g_loaded = true;
            return true;
        }
        if (first.empty()) first = detail;
        else detail = first + "; " + detail;
    }
    return false;
}

db2_handle db2_handle::allocate(SQLSMALLINT type, SQLHANDLE input, SQLRETURN& rc) {
    SQLHANDLE h = SQL_NULL_HANDLE;
    rc = db2_cli().SQLAllocHandle(type, input, &h);
    return db2_handle(type, h);
}

void db2_handle::reset() noexcept {
    if (handle_ != SQL_NULL_HANDLE) {
        if (db2_cli().SQLFreeHandle) db2_cli().SQLFreeHandle(type_, handle_);
        handle_ = SQL_NULL_HANDLE;
    }
}
