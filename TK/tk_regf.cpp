#include "tk_regf.hpp"

#include "tk_excp.hpp"
#include "tk_log.hpp"
#include "tk_regk.hpp"
#include "tk_utils.hpp"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tk_regf {

namespace {

// Larger files were not written by us; reading them whole would only waste memory.
constexpr std::size_t max_file_size = 1 << 20;

bool same_name(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 32);
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 32);
        if (x != y) return false;
    }
    return true;
}

// Length of the well-formed UTF-8 sequence at `i`, 0 when there is none.
std::size_t utf8_sequence(std::string_view s, std::size_t i) {
    const auto b = static_cast<unsigned char>(s[i]);
    std::size_t len;
    char32_t c, min;
    if (b < 0x80) return 1;
    if ((b & 0xE0) == 0xC0) len = 2, c = b & 0x1F, min = 0x80;
    else if ((b & 0xF0) == 0xE0) len = 3, c = b & 0x0F, min = 0x800;
    else if ((b & 0xF8) == 0xF0) len = 4, c = b & 0x07, min = 0x10000;
    else return 0;
    if (i + len > s.size()) return 0;
    for (std::size_t k = 1; k < len; ++k) {
        const auto t = static_cast<unsigned char>(s[i + k]);
        if ((t & 0xC0) != 0x80) return 0;
        c = (c << 6) | (t & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
    return len;
}

const char hex_digits[] = "0123456789ABCDEF";

bool escape_common(std::string& out, char32_t c) {
    switch (c) {
    case '\\': out += "\\\\"; return true;
    case '\t': out += "\\t"; return true;
    case '\n': out += "\\n"; return true;
    case '\r': out += "\\r"; return true;
    default: return false;
    }
}

std::string escape_narrow(std::string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        if (escape_common(out, b)) {
            ++i;
            continue;
        }
        std::size_t len = b < 0x20 || b == 0x7F ? 0 : utf8_sequence(s, i);
        if (len == 0) {
            out += "\\x";
            out += hex_digits[b >> 4];
            out += hex_digits[b & 0xF];
            ++i;
        } else {
            out.append(s.substr(i, len));
            i += len;
        }
    }
    return out;
}

void escape_unit(std::string& out, char16_t u) {
    out += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4) out += hex_digits[(u >> shift) & 0xF];
}

std::string escape_wide(std::u16string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char16_t u = s[i];
        if (escape_common(out, u)) continue;
        if (u < 0x20 || u == 0x7F) {
            escape_unit(out, u);
        } else if (u >= 0xD800 && u <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            tk_append_utf8(out, s.substr(i, 2));
            ++i;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            escape_unit(out, u); // unpaired: no UTF-8 form, yet the value must survive
        } else {
            tk_append_utf8(out, s.substr(i, 1));
        }
    }
    return out;
}

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool hex_number(std::string_view s, std::size_t at, std::size_t digits, unsigned& value) {
    if (at + digits > s.size()) return false;
    value = 0;
    for (std::size_t k = 0; k < digits; ++k) {
        int h = hex_value(s[at + k]);
        if (h < 0) return false;
        value = value * 16 + static_cast<unsigned>(h);
    }
    return true;
}

// The escape after the backslash at s[i - 1]: \\ \t \n \r, or `letter` and `digits` hex digits;
// i moves to its last character. False for any other escape or one cut short.
bool unescape_one(std::string_view s, std::size_t& i, char letter, std::size_t digits, unsigned& value) {
    if (i == s.size()) return false;
    switch (s[i]) {
    case '\\': value = '\\'; return true;
    case 't': value = '\t'; return true;
    case 'n': value = '\n'; return true;
    case 'r': value = '\r'; return true;
    default:
        if (s[i] != letter || !hex_number(s, i + 1, digits, value)) return false;
        i += digits;
        return true;
    }
}

bool unescape_narrow(std::string_view s, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\') {
            out += s[i];
            continue;
        }
        unsigned v;
        if (!unescape_one(s, ++i, 'x', 2, v)) return false;
        out += static_cast<char>(v);
    }
    return true;
}

bool append_utf8_run(std::string_view run, std::u16string& out) {
    for (std::size_t i = 0; i < run.size();) {
        std::size_t len = utf8_sequence(run, i);
        if (len == 0) return false;
        try {
            out += tk_from_utf8(run.substr(i, len));
        } catch (const tk_exception&) {
            return false;
        }
        i += len;
    }
    return true;
}

bool unescape_wide(std::string_view s, std::u16string& out) {
    out.clear();
    std::size_t run = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\') continue;
        if (!append_utf8_run(s.substr(run, i - run), out)) return false;
        unsigned v;
        if (!unescape_one(s, ++i, 'u', 4, v)) return false;
        out += static_cast<char16_t>(v);
        run = i + 1;
    }
    return append_utf8_run(s.substr(run), out);
}

bool parse_number(std::string_view s, std::uint32_t& value) {
    if (s.empty() || s.size() > 10) return false;
    std::uint64_t v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<unsigned>(c - '0');
    }
    if (v > 0xFFFFFFFFu) return false;
    value = static_cast<std::uint32_t>(v);
    return true;
}

bool parse_line(std::string_view line, reg_file& file) {
    if (line.empty() || line.front() == '#') return true;
    if (line.front() == '[') {
        if (line.size() < 2 || line.back() != ']') return false;
        reg_section section;
        if (!unescape_narrow(line.substr(1, line.size() - 2), section.path)) return false;
        file.sections.push_back(std::move(section));
        return true;
    }
    if (file.sections.empty()) return false;
    const std::size_t t1 = line.find('\t');
    if (t1 == std::string_view::npos) return false;
    const std::size_t t2 = line.find('\t', t1 + 1);
    if (t2 == std::string_view::npos || line.find('\t', t2 + 1) != std::string_view::npos) return false;
    reg_value value;
    value.type = std::string(line.substr(0, t1));
    if (!unescape_narrow(line.substr(t1 + 1, t2 - t1 - 1), value.name)) return false;
    const std::string_view data = line.substr(t2 + 1);
    if (value.type == "int") {
        if (!parse_number(data, value.number)) return false;
    } else if (value.type == "str") {
        if (!unescape_narrow(data, value.narrow)) return false;
    } else if (value.type == "wstr") {
        if (!unescape_wide(data, value.wide)) return false;
    } else {
        return false;
    }
    // A repeated name is no damage: the later line wins, as it would have been written last.
    auto& values = file.sections.back().values;
    for (auto& old : values)
        if (same_name(old.name, value.name)) {
            old = std::move(value);
            return true;
        }
    values.push_back(std::move(value));
    return true;
}

std::string render(const reg_file& file) {
    std::string out = "# Dunmere settings, written by the program. One value a line: type, name, value.\n";
    for (const auto& section : file.sections) {
        out += '[' + escape_narrow(section.path) + "]\n";
        for (const auto& v : section.values) {
            out += v.type + '\t' + escape_narrow(v.name) + '\t';
            if (v.type == "int") out += std::to_string(v.number);
            else if (v.type == "str") out += escape_narrow(v.narrow);
            else out += escape_wide(v.wide);
            out += '\n';
        }
    }
    return out;
}

bool write_all(int fd, const std::string& data) {
    const char* p = data.data();
    std::size_t left = data.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

// Replaces the file in one step so that a crash leaves the old or the new settings, never
// half of them.
long write_file(const std::string& path, const reg_file& file) {
    const std::string folder = folder_of(path);
    if (int e = make_folders(folder)) return result_for(e);
    std::string temp = path + ".XXXXXX";
    int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return result_for(errno);
    int error = 0;
    if (::fchmod(fd, 0600) != 0 || !write_all(fd, render(file)) || ::fsync(fd) != 0) error = errno ? errno : EIO;
    if (::close(fd) != 0 && !error) error = errno;
    if (!error && ::rename(temp.c_str(), path.c_str()) != 0) error = errno;
    if (error) {
        ::unlink(temp.c_str());
        return result_for(error);
    }
    // The rename itself is durable only once the folder is synced; a failure here loses
    // nothing that is on disk already.
    int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return tk_reg_ok;
}

} // namespace

reg_file load_file(const std::string& path) {
    reg_file file;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        if (errno != ENOENT && errno != ENOTDIR) file.unreadable = true, file.error = errno;
        return file;
    }
    std::string text;
    char buffer[8192];
    bool damaged = false;
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            file.unreadable = true;
            file.error = errno;
            break;
        }
        if (n == 0) break;
        text.append(buffer, static_cast<std::size_t>(n));
        if (text.size() > max_file_size) {
            damaged = true;
            break;
        }
    }
    ::close(fd);
    if (file.unreadable) return file;
    for (std::size_t start = 0; !damaged && start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string_view line(text.data() + start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (!parse_line(line, file)) damaged = true;
        start = end + 1;
    }
    if (damaged) {
        tk_trace(2, "Settings file %s is damaged; its values are ignored", path.c_str());
        file.sections.clear();
    }
    return file;
}

long result_for(int error) { return error == EACCES || error == EPERM ? tk_reg_access_denied : tk_reg_cannot_write; }

std::string folder_of(const std::string& file) { return file.substr(0, file.rfind('/')); }

// Creates `folder` and any missing parent with mode 0700 (the settings are private).
int make_folders(const std::string& folder) {
    for (std::size_t at = 1; at <= folder.size(); ++at) {
        if (at != folder.size() && folder[at] != '/') continue;
        const std::string part = folder.substr(0, at);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return errno;
    }
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0) return errno;
    return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

const reg_value* find_value(const reg_file& file, const std::string& key, const char* name) {
    for (const auto& section : file.sections)
        if (same_name(section.path, key))
            for (const auto& v : section.values)
                if (same_name(v.name, name)) return &v;
    return nullptr;
}

long store_value(const std::string& path, const std::string& key, reg_value value) {
    reg_file file = load_file(path);
    if (file.unreadable) return result_for(file.error);
    reg_section* section = nullptr;
    for (auto& s : file.sections)
        if (same_name(s.path, key)) section = &s;
    if (!section) {
        file.sections.push_back(reg_section{key, {}});
        section = &file.sections.back();
    }
    for (auto& old : section->values)
        if (same_name(old.name, value.name)) {
            value.name = old.name;
            old = std::move(value);
            return write_file(path, file);
        }
    section->values.push_back(std::move(value));
    return write_file(path, file);
}

} // namespace tk_regf
