#pragma once
// The settings store's file: how the sections and values of tk_regk.hpp's format are read,
// written and replaced. Used by the settings key alone; callers go through tk_reg_key.

#include <cstdint>
#include <string>
#include <vector>

namespace tk_regf {

/// One value of a section, as stored: the field that `type` names holds it.
struct reg_value {
    std::string name;
    std::string type; // "int", "str" or "wstr"
    std::uint32_t number = 0;
    std::string narrow;
    std::u16string wide;
};

/// One key path and its values, in file order.
struct reg_section {
    std::string path;
    std::vector<reg_value> values;
};

/// A whole settings file: a missing or damaged file reads as no sections.
struct reg_file {
    std::vector<reg_section> sections;
    bool unreadable = false; // exists but may not be read: never overwrite it blindly
    int error = 0;
};

/// Reads the file at `path`; a missing file is empty, a damaged one (a line that does not
/// follow the format, or more than 1 MiB) reads as empty and is traced.
reg_file load_file(const std::string& path);
/// The value `name` of the section `key` (both compared without ASCII case); null when absent.
const reg_value* find_value(const reg_file& file, const std::string& key, const char* name);
/// Stores `value` in the section `key` of the file at `path`, keeping the name's stored
/// spelling when it exists, and replaces the file in one step; a tk_reg_result code.
long store_value(const std::string& path, const std::string& key, reg_value value);
/// The result code of a failed file-system call: access denied, else cannot write.
long result_for(int error);
/// The folder part of a file path.
std::string folder_of(const std::string& file);
/// Creates `folder` and any missing parent with mode 0700; 0 or the errno of the failure.
int make_folders(const std::string& folder);

} // namespace tk_regf
