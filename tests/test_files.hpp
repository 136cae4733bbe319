#pragma once
// File helpers every test suite may use.

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace test_files {

/// The whole file as bytes; empty when it cannot be read.
inline std::string read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace test_files
