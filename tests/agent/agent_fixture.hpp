#pragma once
// Runs the built VORDAXEN binary as a user would, against the DB2 stand-in's SHOP sample, and
// reads what it wrote back for comparison with the source.

#include "shop_compare.hpp"
#include "sql_client.hpp"
#include "sql_server.hpp"
#include "test_files.hpp"
#include "udb_db.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace agent_test {

/// What one run printed and how it ended (the shell's view: -1 is 255).
struct run_result {
    int status = -1;
    std::string out;
    std::string err;
};

/// A private folder for one test, removed at its end.
class scratch_dir {
public:
    scratch_dir();
    ~scratch_dir();
    scratch_dir(const scratch_dir&) = delete;
    scratch_dir& operator=(const scratch_dir&) = delete;
    const std::string& path() const noexcept { return path_; }
    /// `name` inside the folder.
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

/// Runs VORDAXEN with `args`, its settings store in `config_home`, and the extra environment
/// `env`. Output is captured whole.
run_result run_agent(const std::vector<std::string>& args, const std::string& config_home,
                     const std::vector<std::pair<std::string, std::string>>& env = {});
/// The same, calling `meanwhile` with the process id and the path its standard output goes to
/// while the agent runs (to signal it or to read its process list entry).
run_result run_agent(const std::vector<std::string>& args, const std::string& config_home,
                     const std::vector<std::pair<std::string, std::string>>& env,
                     const std::function<void(pid_t, const std::string&)>& meanwhile);

/// Creates the stand-in database `name` from the file `sample` of the samples folder and returns
/// the name. Also points this process's DB2 reader at the stand-in.
std::string sample_database(const std::string& name, const std::string& sample);

/// SHOPDB made from the SHOP sample, once per process.
const std::string& shop_database();

/// The options that reach the test server.
std::vector<std::string> server_options(const sql_test_server& server);

/// Writes `text` to `path` as it stands.
void write_file(const std::string& path, const std::string& text);
using test_files::read_file;

/// One value per cell, as text that source and destination must agree on.
using shop_compare::table_rows;
/// The source's column descriptors of one table.
using table_columns = std::vector<t_ftd>;

/// Every row of every SHOP table, read through the DB2 reader, by table name.
std::vector<std::pair<std::u16string, table_rows>> shop_source_rows(std::vector<table_columns>& schemas);

/// Compares every SHOP table in `database` of the server with the source, value by value.
void expect_shop_equal(const sql_test_server& server, const std::string& database);

/// A connection to the test server with utf8mb4, or a failed assertion.
bool connect(sql_connection& c, const sql_test_server& server);

/// The first column of the first row of `statement`'s result ("<none>" without a result,
/// "<null>" for NULL); a refused statement is a failed expectation.
std::string scalar(sql_connection& c, const std::string& statement);

/// Creates `database` on the server and runs the dump file at `path` in it with the stock
/// `mariadb` client, as a user loads a dump; the client's exit status, what it printed in
/// `printed`.
int load_dump(const sql_test_server& server, const std::string& database, const std::string& path,
              std::string& printed);

/// Drops the database when the scope ends.
struct drop_database {
    const sql_test_server& server;
    std::string name;
    ~drop_database();
};

} // namespace agent_test
