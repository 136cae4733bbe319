#include "tk_fname.hpp"

#include "tk_excp.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"

#include <cstdlib>
#include <limits.h>
#include <memory>
#include <unistd.h>
#include <vector>

namespace {

std::string current_directory() {
    // getcwd with a null buffer sizes the result itself, so a deep directory is no failure.
    std::unique_ptr<char, decltype(&std::free)> cwd(::getcwd(nullptr, 0), &std::free);
    return cwd ? std::string(cwd.get()) : std::string();
}

// Resolves "." and ".." and repeated separators of an absolute path without touching the
// file system, as the original path helper did; a trailing separator is kept.
template <class S> S normalize(const S& absolute) {
    using C = typename S::value_type;
    std::vector<S> parts;
    std::size_t i = 0;
    while (i < absolute.size()) {
        std::size_t j = absolute.find(C('/'), i);
        if (j == S::npos) j = absolute.size();
        S part = absolute.substr(i, j - i);
        if (part.empty() || part == S(1, C('.'))) {
            // nothing
        } else if (part == S(2, C('.'))) {
            if (!parts.empty()) parts.pop_back();
        } else {
            parts.push_back(std::move(part));
        }
        i = j + 1;
    }
    S out(1, C('/'));
    for (std::size_t k = 0; k < parts.size(); ++k) {
        out += parts[k];
        if (k + 1 < parts.size()) out += C('/');
    }
    const bool trailing = absolute.back() == C('/') ||
                          (absolute.size() >= 2 && absolute.ends_with(S(1, C('/')) + S(1, C('.')))) ||
                          (absolute.size() >= 3 && absolute.ends_with(S(1, C('/')) + S(2, C('.'))));
    if (trailing && !parts.empty()) out += C('/');
    return out;
}

// Splits an absolute path; the extension starts at the last "." of the last component.
template <class S> void split(const S& path, S& ext, S& drive, S& name, S& dir) {
    using C = typename S::value_type;
    drive.clear();
    std::size_t slash = path.rfind(C('/'));
    std::size_t start = slash == S::npos ? 0 : slash + 1;
    dir = path.substr(0, start);
    S file = path.substr(start);
    std::size_t dot = file.rfind(C('.'));
    if (dot == S::npos) {
        name = std::move(file);
        ext.clear();
    } else {
        name = file.substr(0, dot);
        ext = file.substr(dot);
    }
}

template <class S> void put_extension(S& ext, std::basic_string_view<typename S::value_type> extension) {
    using C = typename S::value_type;
    ext.assign(extension);
    if (!ext.empty() && ext.front() != C('.')) ext.insert(ext.begin(), C('.'));
}

} // namespace

void tk_file_wname::initialize(const char16_t* path) {
    if (!path) throw tk_mail_assertion("tk_fname", 75);
    tk_wtrace(1, u"tk_file_wname::initialize(%s)", path);
    std::u16string absolute;
    const bool program = !*path;
    if (program) {
        absolute = tk_program_wpath();
    } else if (*path == u'/') {
        absolute = normalize(std::u16string(path));
    } else {
        std::u16string cwd;
        const std::string narrow_cwd = current_directory();
        if (narrow_cwd.empty() || !tk_try_from_ansi(narrow_cwd, cwd)) throw tk_mail_assertion("tk_fname", 83);
        absolute = normalize(cwd + u"/" + path);
    }
    if (absolute.size() >= PATH_MAX) throw tk_mail_assertion("tk_fname", 83);
    split(absolute, ext, drive, name, dir);
    if (program) name.clear();
}

void tk_file_wname::set_extension(std::u16string_view extension) { put_extension(ext, extension); }

void tk_file_name::initialize(const char* path) {
    if (!path) throw tk_mail_assertion("tk_fname", 28);
    std::string absolute;
    const bool program = !*path;
    if (program) {
        absolute = tk_program_path();
    } else if (*path == '/') {
        absolute = normalize(std::string(path));
    } else {
        const std::string cwd = current_directory();
        if (cwd.empty()) throw tk_mail_assertion("tk_fname", 36);
        absolute = normalize(cwd + "/" + path);
    }
    if (absolute.size() >= PATH_MAX) throw tk_mail_assertion("tk_fname", 36);
    split(absolute, ext, drive, name, dir);
    if (program) name.clear();
}

void tk_file_name::set_extension(std::string_view extension) { put_extension(ext, extension); }
