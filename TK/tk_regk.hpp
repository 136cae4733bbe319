#pragma once
// The per-user settings key: registry-shaped calls over one private UTF-8 file per user,
// $XDG_CONFIG_HOME/velquor/dunmere/settings.conf ($XDG_CONFIG_HOME defaults to ~/.config).
//
// Each key path is a section of that file, so callers keep the key path, value names, value
// types and result codes they would see from a registry. Value names and key paths compare
// without regard to ASCII case, as registry names do.
//
// File format, one item per line (LF; a CR before the LF is tolerated):
//   # comment               (blank lines are ignored too)
//   [key path]              starts the section of one key
//   <type> TAB <name> TAB <value>
// where <type> is "int" (unsigned decimal, 32 bits), "str" (narrow text in the process code
// page, stored byte for byte) or "wstr" (wide text, stored as UTF-8). In names, key paths and
// values "\\", "\t", "\n" and "\r" are escaped; narrow text escapes other control bytes and
// bytes that are not UTF-8 as \xHH, wide text escapes other control characters and unpaired
// surrogates as \uHHHH. Any line that does not follow this makes the whole file "damaged":
// it then reads as holding no values and stays untouched until a value is stored, which
// writes a new file.
//
// Every store rewrites the file atomically (temporary file in the same folder, fsync,
// rename) with mode 0600, because the file holds passwords.

#include <cstdint>
#include <string>

/// Result codes, numbered as the registry's so that callers read them alike.
enum tk_reg_result : long {
    tk_reg_ok = 0,
    tk_reg_not_found = 2,      ///< no such value (or no settings file yet)
    tk_reg_access_denied = 5,  ///< the folder or the file may not be used
    tk_reg_invalid_handle = 6, ///< no key is open
    tk_reg_invalid_data = 13,  ///< the value has another type, or cannot be stored
    tk_reg_more_data = 234,    ///< the caller's buffer is too small; the size says how much
    tk_reg_cannot_write = 1013 ///< the file could not be written
};

/// Value types as the registry numbers them, for the "type=%d" trace.
enum tk_reg_type : int { tk_reg_none = 0, tk_reg_text = 1, tk_reg_dword = 4 };

/// Root keys. Only the current user's key exists here.
enum class tk_reg_root { current_user };

/// Access mask passed by callers; kept for the registry's shape, the file's mode decides.
inline constexpr std::uint32_t tk_reg_all_access = 0xF003F;

/// One open key at a time. Not shared between threads.
class tk_reg_key {
public:
    tk_reg_key() = default;
    tk_reg_key(const tk_reg_key&) = delete;
    tk_reg_key& operator=(const tk_reg_key&) = delete;
    ~tk_reg_key() { close(); }

    /// Closes a key already held, then opens `sub_key` under `root`, creating the settings
    /// folder (mode 0700) when it is missing. No file is written until a value is stored.
    long open_create(tk_reg_root root, const char* sub_key, std::uint32_t access = tk_reg_all_access);
    /// Releases the key if one is held.
    void close() noexcept;
    bool is_open() const noexcept { return open_; }
    /// The key path of the open key (empty when closed).
    const std::string& path() const noexcept { return key_path_; }
    /// The settings file the keys live in: where $XDG_CONFIG_HOME (or $HOME) points now.
    static std::string settings_file();

    /// Reads a 32-bit integer. A null name is an internal assertion.
    long get_value(const char* name, std::uint32_t& value) const;
    /// Reads a text in the process code page into `buffer`, terminating zero included.
    /// `size` is the buffer's size in bytes on entry and the text's size (with its zero) on
    /// return; a null buffer only asks for the size; a buffer too small gives tk_reg_more_data.
    /// A null name or size is an internal assertion.
    long get_value(const char* name, char* buffer, std::uint32_t* size) const;
    /// The wide form of the text read; `size` counts bytes, as the registry's wide call does.
    long get_value(const char* name, char16_t* buffer, std::uint32_t* size) const;

    /// Stores a 32-bit integer. No open key is an internal assertion.
    long set_value(const char* name, std::uint32_t value);
    /// Stores a narrow text; a null text or no open key is an internal assertion.
    long set_value(const char* name, const char* text);
    /// Stores a wide text; a null text or no open key is an internal assertion.
    long set_value(const char* name, const char16_t* text);

    /// Transfer helpers for remembered settings: store the member (`store` true) or load it.
    /// True on success; a failed load leaves the member unchanged.
    bool transfer(const char* name, std::int32_t& member, bool store);
    /// Stored as the integer 0 or 1; any non-zero value loads as true.
    bool transfer(const char* name, bool& member, bool store);
    /// A stored empty text loads nothing: the member keeps its value.
    bool transfer(const char* name, std::string& member, bool store);
    /// The wide-text helper, with the same rule for an empty text.
    bool transfer(const char* name, std::u16string& member, bool store);

private:
    bool open_ = false;
    std::string key_path_;
    std::string file_;
};
