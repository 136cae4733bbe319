#pragma once
// A path split into its parts, and composed back.

#include <string>
#include <string_view>

/// A path split into extension (with its leading "."), drive, name without extension and
/// directory (with its trailing separator). Paths here have no drive: that part stays empty,
/// kept so that code written for drive letters composes paths unchanged.
class tk_file_wname {
public:
    std::u16string ext;
    std::u16string drive;
    std::u16string name;
    std::u16string dir;

    /// Splits `path` made absolute against the current directory ("." and ".." resolved
    /// lexically, links left alone). An empty path stands for the running program, with the
    /// name part left empty. A null path, or a path that cannot be made absolute (no current
    /// directory, or longer than PATH_MAX), is an internal assertion.
    void initialize(const char16_t* path);
    /// Drive followed by directory: the folder that holds the file.
    std::u16string directory() const { return drive + dir; }
    /// Drive, directory, name and extension.
    std::u16string path() const { return drive + dir + name + ext; }
    /// Replaces the extension; a missing leading "." is added, an empty one removes it.
    void set_extension(std::u16string_view extension);
};

/// The narrow twin of tk_file_wname, in the process code page; it does not trace.
class tk_file_name {
public:
    std::string ext;
    std::string drive;
    std::string name;
    std::string dir;

    /// As tk_file_wname::initialize.
    void initialize(const char* path);
    std::string directory() const { return drive + dir; }
    std::string path() const { return drive + dir + name + ext; }
    void set_extension(std::string_view extension);
};
