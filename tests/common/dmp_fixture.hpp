#pragma once
// Helpers of the dump writer tests: a private folder, the MySQL session the writer needs,
// tables and rows built in a line, and the file read back.

#include "sql_dump.hpp"
#include "sql_engi.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace dmp_test {

/// A private folder, removed with the object.
class temp_dir {
public:
    temp_dir();
    ~temp_dir();
    temp_dir(const temp_dir&) = delete;
    temp_dir& operator=(const temp_dir&) = delete;
    const std::string& path() const noexcept { return path_; }
    std::u16string file(const char* name) const;

private:
    std::string path_;
};

/// The whole file as bytes.
std::string read_file(const std::u16string& path);
/// The file cut at LF (a CR before it stays on the line).
std::vector<std::string> lines_of(const std::string& text);

/// A source table: columns and indexes added in a line.
struct table_def {
    udb_schema schema{true};
    udb_indexes indexes;

    t_ftd& col(const char16_t* name, std::uint16_t vt, std::uint32_t size = 4, bool not_null = false);
    void index(const char16_t* name, udb_names fields, bool unique = false, bool primary = false);
};

/// A source row: one field per value, named like the table's columns in order.
std::unique_ptr<udb_record> row(const table_def& table, std::vector<ole_variant> values);

/// Base of the writer tests: a fresh session per test and a private folder.
class dump_test : public ::testing::Test {
protected:
    std::unique_ptr<sql_engine> engine = std::make_unique<sql_engine>();
    temp_dir dir;
    void TearDown() override { engine.reset(); }

    /// Options with LF breaks (readable expectations); the rest as the defaults.
    static dmp_options lf_options();
};

} // namespace dmp_test
