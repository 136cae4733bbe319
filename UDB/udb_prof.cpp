#include "udb_prof.hpp"

#include "udb_conv.hpp"

#include "tk_excp.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"

#include <cstdio>
#include <memory>

namespace {

struct file_closer {
    void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};
using file_ptr = std::unique_ptr<std::FILE, file_closer>;

enum class line_read { line, end, error };

// Reads one line without its LF (and without a CR right before it). The limit stops a file
// without line ends from being read into memory whole.
line_read read_line(std::FILE* f, std::string& line, bool& too_long) {
    line.clear();
    too_long = false;
    int c;
    bool any = false;
    while ((c = std::getc(f)) != EOF) {
        any = true;
        if (c == '\n') break;
        if (line.size() > udb_profile::max_line_bytes) {
            too_long = true;  // a CR may still follow; decided below
        } else {
            line.push_back(static_cast<char>(c));
        }
    }
    if (c == EOF && std::ferror(f)) return line_read::error;
    if (!any) return line_read::end;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() > udb_profile::max_line_bytes) too_long = true;
    return line_read::line;
}

std::u16string line_error(const char* what, int line_no) {
    char text[160];
    std::snprintf(text, sizeof text, "Profile line %d %s.",
                  line_no, what);
    return tk_ascii_to_wide(text);
}

}  // namespace

udb_profile::udb_profile() {
    sections_.emplace(available_queries, section{});
    sections_.emplace(selected_tables, section{});
    sections_.emplace(generic_settings, section{});
}

bool udb_profile::load(std::u16string_view path) {
    tk_wtrace(2, u"udb_profile::load(%s)", std::u16string(path).c_str());
    if (!tk_is_file_exist(path, tk_file_readable)) {
        throw tk_exception(std::u16string_view(u"Profile does not exist. Please verify the correct path/name was given."),
                           tk_level_run);
    }
    std::string narrow_path;
    if (!tk_try_to_ansi(path, narrow_path)) return false;
    file_ptr file(std::fopen(narrow_path.c_str(), "r"));
    if (!file) return false;

    section* current = nullptr;
    std::string raw;
    int line_no = 0;
    for (;;) {
        bool too_long = false;
        line_read got = read_line(file.get(), raw, too_long);
        if (got == line_read::end) break;
        if (got == line_read::error) return false;
        ++line_no;
        // A fixed-size line buffer once made this an internal error that ended the program;
        // an overlong line is a fault of the file, so the user is told which line it is.
        if (too_long) throw tk_exception(line_error("is longer than 4095 bytes", line_no), tk_level_run);
        std::u16string decoded;
        try {
            decoded = tk_from_utf8(raw);
        } catch (const tk_exception&) {
            // Level 1, not the converter's level 0: a profile that is half read must not run.
            throw tk_exception(line_error("is not UTF-8 text", line_no), tk_level_run);
        }
        std::u16string line = tk_wtrim(decoded);
        if (line.size() >= 2 && line.front() == u'[' && line.back() == u']') {
            auto name = std::u16string_view(line).substr(1, line.size() - 2);
            auto it = sections_.find(name);
            if (it == sections_.end()) it = sections_.emplace(std::u16string(name), section{}).first;
            current = &it->second;
            continue;
        }
        if (line.empty()) continue;
        if (!current) return false;
        std::size_t eq = line.find(u'=');
        if (eq == std::u16string::npos) {
            current->emplace(std::move(line), std::u16string());
        } else {
            current->emplace(tk_wtrim(std::u16string_view(line).substr(0, eq)), line.substr(eq + 1));
        }
    }
    return true;
}

void udb_profile::store(std::u16string_view path) const {
    tk_trace(2, "udb_profile::store)");
    std::string narrow_path;
    if (!tk_try_to_ansi(path, narrow_path)) return;
    file_ptr file(std::fopen(narrow_path.c_str(), "w"));
    if (!file) return;
    std::string out;
    for (const auto& [name, entries] : sections_) {
        out += '[';
        tk_append_utf8(out, name);
        out += "]\r\n";
        const bool selected = name == selected_tables;
        for (const auto& [key, value] : entries) {
            tk_append_utf8(out, key);
            // A table written as its bare name must not read back as something else: an empty
            // name would be an empty line and a bracketed one a section header, so those two
            // keep the "=" (which reads back as the same table).
            const bool bare = selected && value.empty() && !key.empty() &&
                              !(key.size() >= 2 && key.front() == u'[' && key.back() == u']');
            if (!bare) {
                out += '=';
                tk_append_utf8(out, value);
            }
            out += "\r\n";
        }
        out += "\r\n";
    }
    std::fwrite(out.data(), 1, out.size(), file.get());
}

std::u16string udb_profile::get_value(std::u16string_view section_name, std::u16string_view key) const {
    auto s = sections_.find(section_name);
    if (s == sections_.end()) return {};
    auto e = s->second.find(key);
    return e == s->second.end() ? std::u16string() : e->second;
}

void udb_profile::set_value(std::u16string_view section_name, std::u16string_view key, std::u16string_view value) {
    auto s = sections_.find(section_name);
    if (s == sections_.end()) s = sections_.emplace(std::u16string(section_name), section{}).first;
    if (s->second.find(key) == s->second.end()) s->second.emplace(std::u16string(key), std::u16string(value));
}

const udb_profile::section& udb_profile::get_section(std::u16string_view section_name) const {
    static const section empty;
    auto s = sections_.find(section_name);
    return s == sections_.end() ? empty : s->second;
}

// ---- the driver's part of a profile ----

namespace {

constexpr std::u16string_view key_src = u"src";
constexpr std::u16string_view key_dest = u"dest";
constexpr std::u16string_view key_logfile = u"logfile";
constexpr std::u16string_view key_definitions = u"only definitions";
constexpr std::u16string_view key_skip_indexes = u"skip indexes";
constexpr std::u16string_view key_mode = u"mode";

std::u16string flag_text(bool on) { return on ? u"1" : u"0"; }

}  // namespace

bool udb_converter::load_profile(const udb_profile& profile) {
    tk_trace(1, "udb_converter::load_profile");
    for (const auto& [name, text] : profile.get_section(udb_profile::selected_tables)) {
        selected_items_.emplace(name, text);
        if (text.empty()) {
            tk_wtrace(1, u"Push back table '%s'", name.c_str());
            table_list_.push_back(name);
        }
    }
    for (const auto& [name, text] : profile.get_section(udb_profile::available_queries)) {
        available_queries_.emplace(name, text);
    }

    const auto generic = [&](std::u16string_view key) { return profile.get_value(udb_profile::generic_settings, key); };
    if (auto v = generic(key_src); !v.empty()) set_source_name(v);
    if (auto v = generic(key_dest); !v.empty()) set_destination(v);
    if (auto v = generic(key_logfile); !v.empty()) {
        std::string path;
        if (!tk_try_to_ansi(v, path)) return false;
        set_logfile(path);
    }
    if (auto v = generic(key_definitions); !v.empty()) definitions_only_ = v != u"0";
    if (auto v = generic(key_mode); v.size() == 1) mode_ = static_cast<int>(v[0]) - u'0';
    if (auto v = generic(key_skip_indexes); !v.empty()) skip_indexes_ = v != u"0";
    return true;
}

bool udb_converter::store_profile(udb_profile& profile) const {
    tk_trace(2, "udb_converter::store_profile");
    for (const auto& [name, text] : available_queries_) {
        tk_wtrace(1, u"Available Query: (%s,%s)", name.c_str(), text.c_str());
        profile.set_value(udb_profile::available_queries, name, text);
    }
    for (const auto& [name, text] : selected_items_) {
        tk_wtrace(1, u"Selected Query: (%s,%s)", name.c_str(), text.c_str());
        profile.set_value(udb_profile::selected_tables, name, text);
    }
    std::u16string logfile;
    if (!tk_try_from_ansi(logfile_, logfile)) return false;
    profile.set_value(udb_profile::generic_settings, key_src, source_);
    profile.set_value(udb_profile::generic_settings, key_dest, destination_);
    profile.set_value(udb_profile::generic_settings, key_logfile, logfile);
    profile.set_value(udb_profile::generic_settings, key_skip_indexes, flag_text(skip_indexes_));
    profile.set_value(udb_profile::generic_settings, key_definitions, flag_text(definitions_only_));
    profile.set_value(udb_profile::generic_settings, key_mode, tk_ascii_to_wide(std::to_string(mode_)));
    return true;
}
