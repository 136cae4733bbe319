#pragma once
// Stand-in databases for the DB2 reader tests: a private home folder, databases created from
// scripts through the stand-in's tool, and counters of the CLI handles alive.

#include "db2_cli.hpp"
#include "db2_engi.hpp"

#include <memory>
#include <optional>
#include <string>

namespace db2_test {

/// Creates database `name` (dropping an older one) and runs `script` in it. Fails the test
/// when the tool fails.
void create_database(const std::string& name, const std::string& script);
/// Runs the stand-in tool with `args`; its exit status.
int run_tool(const std::string& args);
/// The private folder of this run.
const std::string& home();

/// Makes the reader load the stand-in and counts the statement handles alive through it.
void use_standin();
/// Statement handles allocated and not yet freed through the function table.
long live_statements();
/// Handles of every kind the stand-in holds alive (environments and connections included).
int live_handles();

/// An engine connected to `dsn` (the process's one engine while it lives).
std::unique_ptr<db2_engine> connect(const std::u16string& dsn, const std::u16string& user = u"",
                                    const std::u16string& password = u"");

/// Sets an environment variable for the scope (unsets when `value` is null).
class scoped_env {
public:
    scoped_env(const char* name, const char* value);
    ~scoped_env();
    scoped_env(const scoped_env&) = delete;
    scoped_env& operator=(const scoped_env&) = delete;

private:
    std::string name_;
    std::optional<std::string> old_;
};

} // namespace db2_test
