#include "db2_fixture.hpp"

#include <dlfcn.h>

#include "tk_log.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>

namespace db2_test {

namespace {

// Workers of a run with several jobs allocate and free statements at once.
std::atomic<long> g_live_statements = 0;
SQLAllocHandle_fn g_alloc = nullptr;
SQLFreeHandle_fn g_free = nullptr;

SQLRETURN counting_alloc(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* output) {
    const SQLRETURN rc = g_alloc(type, input, output);
    if (type == SQL_HANDLE_STMT && rc == SQL_SUCCESS) ++g_live_statements;
    return rc;
}

SQLRETURN counting_free(SQLSMALLINT type, SQLHANDLE handle) {
    const SQLRETURN rc = g_free(type, handle);
    if (type == SQL_HANDLE_STMT && rc == SQL_SUCCESS) --g_live_statements;
    return rc;
}

std::string make_home() {
    char pattern[] = "/tmp/db2_tests_XXXXXX";
    const char* dir = mkdtemp(pattern);
    if (!dir) std::abort();
    setenv("DB2STANDIN_HOME", dir, 1);
    // Kept in a plain buffer: the exit handler runs after static strings are gone.
    static char removed_at_exit[sizeof pattern];
    std::memcpy(removed_at_exit, dir, sizeof pattern);
    std::atexit([] { std::filesystem::remove_all(removed_at_exit); });
    return dir;
}

} // namespace

const std::string& home() {
    static const std::string folder = make_home();
    return folder;
}

int run_tool(const std::string& args) {
    home();
    const std::string command = std::string("'") + DB2_STANDIN_TOOL + "' " + args + " >/dev/null 2>&1";
    return std::system(command.c_str());
}

void create_database(const std::string& name, const std::string& script) {
    const std::string path = home() + "/" + name + ".sql";
    std::ofstream(path) << script;
    run_tool("drop " + name);
    ASSERT_EQ(run_tool("create " + name + " '" + path + "'"), 0) << "script of " << name;
}

void use_standin() {
    home();
    // DB2_TEST_LOG names a trace file for looking into a failing test.
    static std::unique_ptr<tk_log> log;
    if (const char* path = std::getenv("DB2_TEST_LOG"); path && !log && !tk_log::pointer())
        log = std::make_unique<tk_log>(path, true, 1, false);
    setenv("DB2_CLI_LIBRARY", DB2_STANDIN_LIBRARY, 1);
    std::string detail;
    ASSERT_TRUE(db2_cli_load(detail)) << detail;
    auto& api = db2_cli();
    if (api.SQLAllocHandle != counting_alloc) {
        g_alloc = api.SQLAllocHandle;
        g_free = api.SQLFreeHandle;
        api.SQLAllocHandle = counting_alloc;
        api.SQLFreeHandle = counting_free;
    }
}

long live_statements() { return g_live_statements; }

int live_handles() {
    // The library is loaded already; this only finds it again.
    void* library = dlopen(DB2_STANDIN_LIBRARY, RTLD_NOW | RTLD_NOLOAD);
    if (!library) return -1;
    auto* count = reinterpret_cast<int (*)()>(dlsym(library, "db2standin_live_handles"));
    const int live = count ? count() : -1;
    dlclose(library);
    return live;
}

std::unique_ptr<db2_engine> connect(const std::u16string& dsn, const std::u16string& user,
                                    const std::u16string& password) {
    use_standin();
    auto engine = std::make_unique<db2_engine>();
    engine->connect(dsn, user, password);
    return engine;
}

scoped_env::scoped_env(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) setenv(name, value, 1);
    else unsetenv(name);
}

scoped_env::~scoped_env() {
    if (old_) setenv(name_.c_str(), old_->c_str(), 1);
    else unsetenv(name_.c_str());
}

} // namespace db2_test
