#include "dmp_fixture.hpp"

#include "test_files.hpp"
#include "tk_utils.hpp"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace dmp_test {

temp_dir::temp_dir() {
    char pattern[] = "/tmp/dmp_tests_XXXXXX";
    const char* made = mkdtemp(pattern);
    if (!made) std::abort();
    path_ = made;
}

temp_dir::~temp_dir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::u16string temp_dir::file(const char* name) const { return tk_from_utf8(path_ + "/" + name); }

std::string read_file(const std::u16string& path) { return test_files::read_file(tk_to_utf8(path)); }

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t from = 0;
    while (from < text.size()) {
        std::size_t end = text.find('\n', from);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(from, end - from));
        from = end + 1;
    }
    return lines;
}

t_ftd& table_def::col(const char16_t* name, std::uint16_t vt, std::uint32_t size, bool not_null) {
    return schema.add(std::make_unique<t_ftd>(size, name, vt, not_null));
}

void table_def::index(const char16_t* name, udb_names fields, bool unique, bool primary) {
    indexes.add(udb_index(name, unique || primary, primary, std::move(fields)));
}

std::unique_ptr<udb_record> row(const table_def& table, std::vector<ole_variant> values) {
    auto record = std::make_unique<udb_record>();
    for (std::size_t i = 0; i < values.size(); ++i) {
        const t_ftd& column = table.schema[i];
        record->add(std::make_unique<udb_field>(column.name, column.size, std::move(values[i])));
    }
    return record;
}

dmp_options dump_test::lf_options() {
    dmp_options options;
    options.line_break = 1;
    options.creator = "Dunmere tests";
    return options;
}

} // namespace dmp_test
