#include "tk_regk.hpp"

#include "tk_excp.hpp"
#include "tk_log.hpp"
#include "tk_regf.hpp"
#include "tk_utils.hpp"

#include <cstdlib>
#include <cstring>
#include <pwd.h>
#include <unistd.h>

namespace {

// The file format lives in tk_regf; the key only adds the registry-shaped calls over it.
using tk_regf::find_value;
using tk_regf::folder_of;
using tk_regf::load_file;
using tk_regf::make_folders;
using tk_regf::reg_file;
using tk_regf::reg_value;
using tk_regf::result_for;
using tk_regf::store_value;

// Reads a value of the open key for the get calls, with their common traces and codes.
long lookup(bool open, const std::string& file_path, const std::string& key, const char* name, reg_file& file,
            const reg_value*& value) {
    value = nullptr;
    if (!open) return tk_reg_invalid_handle;
    file = load_file(file_path);
    if (file.unreadable) return tk_reg_access_denied;
    value = find_value(file, key, name);
    return value ? tk_reg_ok : tk_reg_not_found;
}

void trace_type(int type, std::size_t size) { tk_trace(1, "type=%d, size=%d", type, static_cast<int>(size)); }

} // namespace

std::string tk_reg_key::settings_file() {
    std::string base;
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    // Relative values are to be ignored: they would depend on the current directory.
    if (xdg && *xdg == '/') {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        if (home && *home == '/') {
            base = std::string(home) + "/.config";
        } else {
            passwd entry{};
            passwd* found = nullptr;
            char buffer[4096];
            if (::getpwuid_r(::getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found && found->pw_dir)
                base = std::string(found->pw_dir) + "/.config";
        }
    }
    if (base.empty()) return {};
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    return base + "/velquor/dunmere/settings.conf";
}

long tk_reg_key::open_create(tk_reg_root root, const char* sub_key, std::uint32_t access) {
    (void)access;
    close();
    if (root != tk_reg_root::current_user || !sub_key) return tk_reg_not_found;
    std::string file = settings_file();
    if (file.empty()) return tk_reg_access_denied;
    if (int e = make_folders(folder_of(file))) return result_for(e);
    file_ = std::move(file);
    key_path_ = sub_key;
    open_ = true;
    return tk_reg_ok;
}

void tk_reg_key::close() noexcept {
    open_ = false;
    key_path_.clear();
    file_.clear();
}

long tk_reg_key::get_value(const char* name, std::uint32_t& value) const {
    if (!name) throw tk_mail_assertion("tk_regk", 98);
    tk_trace(2, "tk_reg_key::get_value(ulong, %s)", name);
    reg_file file;
    const reg_value* found;
    long result = lookup(open_, file_, key_path_, name, file, found);
    if (!found) {
        trace_type(tk_reg_none, 0);
        return result;
    }
    if (found->type != "int") {
        trace_type(tk_reg_text, found->type == "str" ? found->narrow.size() + 1 : 2 * (found->wide.size() + 1));
        return tk_reg_invalid_data;
    }
    trace_type(tk_reg_dword, 4);
    value = found->number;
    return tk_reg_ok;
}

namespace {
// The two text getters: look the name up, refuse a number, take the text in the caller's width
// (converted when it was stored in the other), and copy it with its terminator when the buffer
// has room. `size` is in bytes either way.
template <class Char, class ToText>
long get_text_value(bool open, const std::string& file_path, const std::string& key, const char* name,
                    Char* buffer, std::uint32_t* size, ToText to_text) {
    reg_file file;
    const reg_value* found;
    long result = lookup(open, file_path, key, name, file, found);
    if (!found) {
        trace_type(tk_reg_none, 0);
        return result;
    }
    if (found->type == "int") {
        trace_type(tk_reg_dword, 4);
        return tk_reg_invalid_data;
    }
    std::basic_string<Char> text;
    if (!to_text(*found, text)) return tk_reg_invalid_data;
    const std::uint32_t needed = static_cast<std::uint32_t>(sizeof(Char) * (text.size() + 1));
    trace_type(tk_reg_text, needed);
    const std::uint32_t room = *size;
    *size = needed;
    if (!buffer) return tk_reg_ok;
    if (room < needed) return tk_reg_more_data;
    std::memcpy(buffer, text.c_str(), needed);
    return tk_reg_ok;
}
} // namespace

long tk_reg_key::get_value(const char* name, char* buffer, std::uint32_t* size) const {
    if (!name) throw tk_mail_assertion("tk_regk", 115);
    if (!size) throw tk_mail_assertion("tk_regk", 116);
    tk_trace(2, "tk_reg_key::get_value(LPSTR, %s)", name);
    return get_text_value(open_, file_, key_path_, name, buffer, size, [](const reg_value& v, std::string& text) {
        if (v.type != "str") return tk_try_to_ansi(v.wide, text);
        text = v.narrow;
        return true;
    });
}

long tk_reg_key::get_value(const char* name, char16_t* buffer, std::uint32_t* size) const {
    if (!name) throw tk_mail_assertion("tk_regk", __LINE__);
    if (!size) throw tk_mail_assertion("tk_regk", __LINE__);
    tk_trace(2, "tk_reg_key::get_value(LPWSTR, %s)", name);
    return get_text_value(open_, file_, key_path_, name, buffer, size, [](const reg_value& v, std::u16string& text) {
        if (v.type != "wstr") return tk_try_from_ansi(v.narrow, text);
        text = v.wide;
        return true;
    });
}

long tk_reg_key::set_value(const char* name, std::uint32_t value) {
    if (!open_) throw tk_mail_assertion("tk_regk", 149);
    if (!name) throw tk_mail_assertion("tk_regk", __LINE__);
    reg_value v;
    v.name = name;
    v.type = "int";
    v.number = value;
    return store_value(file_, key_path_, std::move(v));
}

long tk_reg_key::set_value(const char* name, const char* text) {
    if (!text) throw tk_mail_assertion("tk_regk", 156);
    if (!open_) throw tk_mail_assertion("tk_regk", 157);
    if (!name) throw tk_mail_assertion("tk_regk", __LINE__);
    reg_value v;
    v.name = name;
    v.type = "str";
    v.narrow = text;
    return store_value(file_, key_path_, std::move(v));
}

long tk_reg_key::set_value(const char* name, const char16_t* text) {
    if (!text) throw tk_mail_assertion("tk_regk", __LINE__);
    if (!open_) throw tk_mail_assertion("tk_regk", __LINE__);
    if (!name) throw tk_mail_assertion("tk_regk", __LINE__);
    reg_value v;
    v.name = name;
    v.type = "wstr";
    v.wide = text;
    return store_value(file_, key_path_, std::move(v));
}

bool tk_reg_key::transfer(const char* name, std::int32_t& member, bool store) {
    if (store) return set_value(name, static_cast<std::uint32_t>(member)) == tk_reg_ok;
    std::uint32_t value;
    if (get_value(name, value) != tk_reg_ok) return false;
    member = static_cast<std::int32_t>(value);
    return true;
}

bool tk_reg_key::transfer(const char* name, bool& member, bool store) {
    if (store) return set_value(name, static_cast<std::uint32_t>(member ? 1 : 0)) == tk_reg_ok;
    std::uint32_t value;
    if (get_value(name, value) != tk_reg_ok) return false;
    member = value != 0;
    return true;
}

bool tk_reg_key::transfer(const char* name, std::string& member, bool store) {
    if (store) return set_value(name, member.c_str()) == tk_reg_ok;
    std::uint32_t size = 0;
    if (get_value(name, static_cast<char*>(nullptr), &size) != tk_reg_ok) return false;
    if (size <= 1) return true;
    std::string buffer(size, '\0');
    if (get_value(name, buffer.data(), &size) != tk_reg_ok || size <= 1) return false;
    member.assign(buffer.data(), size - 1);
    return true;
}

bool tk_reg_key::transfer(const char* name, std::u16string& member, bool store) {
    if (store) return set_value(name, member.c_str()) == tk_reg_ok;
    std::uint32_t size = 0;
    if (get_value(name, static_cast<char16_t*>(nullptr), &size) != tk_reg_ok) return false;
    if (size <= 2) return true;
    std::u16string buffer(size / 2, u'\0');
    if (get_value(name, buffer.data(), &size) != tk_reg_ok || size <= 2) return false;
    member.assign(buffer.data(), size / 2 - 1);
    return true;
}
