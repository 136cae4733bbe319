#include "agent_fixture.hpp"

#include "db2_db.hpp"
#include "db2_fixture.hpp"
#include "shop_compare.hpp"
#include "sql_util.hpp"
#include "test_files.hpp"
#include "tk_utils.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace agent_test {

namespace {

const char* agent_path() {
    const char* path = std::getenv("VORDAXEN");
    return path && *path ? path : nullptr;
}

} // namespace

scratch_dir::scratch_dir() {
    char pattern[] = "/tmp/vordaxen_test_XXXXXX";
    const char* dir = mkdtemp(pattern);
    if (!dir) std::abort();
    path_ = dir;
}

scratch_dir::~scratch_dir() {
    std::error_code ignored;
    // Folders a test made read-only must be writable again to be removed.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
        if (it->is_directory(ignored)) std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                                                    std::filesystem::perm_options::add, ignored);
    }
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                                 ignored);
    std::filesystem::remove_all(path_, ignored);
}

void write_file(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

run_result run_agent(const std::vector<std::string>& args, const std::string& config_home,
                     const std::vector<std::pair<std::string, std::string>>& env) {
    return run_agent(args, config_home, env, nullptr);
}

run_result run_agent(const std::vector<std::string>& args, const std::string& config_home,
                     const std::vector<std::pair<std::string, std::string>>& env,
                     const std::function<void(pid_t, const std::string&)>& meanwhile) {
    run_result result;
    const char* agent = agent_path();
    if (!agent) {
        ADD_FAILURE() << "VORDAXEN is not set: run the tests through ctest";
        return result;
    }
    scratch_dir streams;
    const std::string out_path = streams.file("out"), err_path = streams.file("err");
    std::vector<std::string> argv_text{agent};
    argv_text.insert(argv_text.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argv_text) argv.push_back(a.data());
    argv.push_back(nullptr);

    const pid_t pid = fork();
    if (pid == 0) {
        setenv("XDG_CONFIG_HOME", config_home.c_str(), 1);
        // The test server's password is in this process's environment under the name the
        // agent reads: a run gets a password only from what its test passes.
        unsetenv("DUNMERE_MYSQL_PASSWORD");
        unsetenv("DUNMERE_DB2_PASSWORD");
        for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
        const int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int in = ::open("/dev/null", O_RDONLY);
        if (out < 0 || err < 0 || in < 0) _exit(127);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        execv(agent, argv.data());
        _exit(127);
    }
    int status = 0;
    if (pid > 0 && meanwhile) meanwhile(pid, out_path);
    if (pid < 0 || waitpid(pid, &status, 0) != pid) {
        ADD_FAILURE() << "cannot run " << agent;
        return result;
    }
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = read_file(out_path);
    result.err = read_file(err_path);
    return result;
}

std::string sample_database(const std::string& name, const std::string& sample) {
    db2_test::use_standin();
    const std::string script = read_file(std::string(AGENT_SAMPLES_DIR) + "/" + sample);
    EXPECT_FALSE(script.empty()) << "no sample " << sample;
    db2_test::create_database(name, script);
    return name;
}

const std::string& shop_database() {
    static const std::string name = sample_database("SHOPDB", "shop.sql");
    return name;
}

std::vector<std::string> server_options(const sql_test_server& server) {
    return {"--mysqlh=" + server.host, "--port=" + std::to_string(server.port), "--mysqlu=" + server.user,
            "--mysqlp=" + server.password};
}

std::vector<std::pair<std::u16string, table_rows>> shop_source_rows(std::vector<table_columns>& schemas) {
    std::vector<std::pair<std::u16string, table_rows>> tables;
    auto db2 = db2_test::connect(tk_from_utf8(shop_database()));
    auto source = db2->open_db(u"SHOP", u"", u"");
    for (const std::u16string& table : source->tables()) {
        auto rs = source->get_table(table, 1);
        table_rows rows = shop_compare::recordset_rows(*rs);
        table_columns columns;
        for (std::size_t i = 0; i < rs->schema().size(); ++i) columns.push_back(rs->schema()[i]);
        schemas.push_back(std::move(columns));
        tables.emplace_back(table, std::move(rows));
    }
    return tables;
}

bool connect(sql_connection& c, const sql_test_server& server) {
    if (!c.connect(server.host, server.user, server.password, unsigned(server.port))) {
        ADD_FAILURE() << c.error();
        return false;
    }
    EXPECT_TRUE(c.query("SET NAMES utf8mb4"));
    return true;
}

void expect_shop_equal(const sql_test_server& server, const std::string& database) {
    std::vector<table_columns> schemas;
    const auto source = shop_source_rows(schemas);
    ASSERT_EQ(source.size(), 8u);
    sql_connection c;
    ASSERT_TRUE(connect(c, server));
    ASSERT_TRUE(c.select_db(database)) << c.error();
    std::size_t total = 0;
    for (std::size_t t = 0; t < source.size(); ++t) {
        const auto& [table, expected] = source[t];
        const table_rows loaded = shop_compare::loaded_rows(c, table, schemas[t]);
        ASSERT_EQ(loaded.size(), expected.size()) << tk_to_utf8(table);
        for (std::size_t r = 0; r < expected.size(); ++r) {
            for (std::size_t i = 0; i < expected[r].size(); ++i) {
                ASSERT_EQ(loaded[r][i], expected[r][i])
                    << tk_to_utf8(table) << "." << tk_to_utf8(schemas[t][i].name) << " row " << r;
            }
        }
        total += expected.size();
    }
    EXPECT_GT(total, 8000u);
}

std::string scalar(sql_connection& c, const std::string& statement) {
    EXPECT_TRUE(c.query(statement)) << statement << ": " << c.error();
    sql_result result = c.store_result();
    if (!result) return "<none>";
    MYSQL_ROW row = mysql_fetch_row(result.get());
    return row && row[0] ? row[0] : "<null>";
}

int load_dump(const sql_test_server& server, const std::string& database, const std::string& path,
              std::string& printed) {
    {
        sql_connection c;
        if (!connect(c, server)) return -1;
        EXPECT_TRUE(c.query("CREATE DATABASE `" + database + "`")) << c.error();
    }
    const std::string client = "MYSQL_PWD='" + server.password + "' mariadb --no-defaults --host=" + server.host +
                               " --port=" + std::to_string(server.port) + " --user=" + server.user + " " + database;
    scratch_dir dir;
    const std::string log = dir.file("client.log");
    const int status = std::system((client + " < '" + path + "' > '" + log + "' 2>&1").c_str());
    printed = read_file(log);
    return status;
}

drop_database::~drop_database() {
    sql_connection c;
    if (c.connect(server.host, server.user, server.password, unsigned(server.port)))
        c.query("DROP DATABASE IF EXISTS `" + name + "`");
}

} // namespace agent_test
