#pragma once
// The profile file: every setting of one conversion as sections of key=value lines.

#include <cstddef>
#include <map>
#include <string>
#include <string_view>

/// In-memory form of a profile: sections by name, each a map of keys to values, both ordered
/// by UTF-16 code units. Sections and keys nobody reads are kept, so that a profile written by
/// another edition survives a load and store unchanged.
class udb_profile {
public:
    using section = std::map<std::u16string, std::u16string, std::less<>>;
    using section_map = std::map<std::u16string, section, std::less<>>;

    static constexpr std::u16string_view available_queries = u"Available Queries";
    static constexpr std::u16string_view selected_tables = u"Selected Tables";
    static constexpr std::u16string_view generic_settings = u"Generic settings";

    /// Longest line the reader accepts, in bytes without the line end.
    static constexpr std::size_t max_line_bytes = 4095;

    /// Starts with the three empty sections every converter part expects.
    udb_profile();

    /// Reads the file at `path` into this profile; existing entries keep their values.
    /// Returns false when the file cannot be opened or read, or an entry precedes every section
    /// header (a byte-order mark in front of the first header counts as such an entry).
    /// Raises tk_exception (level 1) when no readable file has that name, and when a line is
    /// longer than max_line_bytes or is not UTF-8: bad input is reported, never guessed at.
    bool load(std::u16string_view path);
    /// Writes every section in name order, CR LF line ends, UTF-8 without a byte-order mark.
    /// A file that cannot be created is silently not written.
    void store(std::u16string_view path) const;

    /// Value of `key` in `section_name`; empty when either is missing.
    std::u16string get_value(std::u16string_view section_name, std::u16string_view key) const;
    /// Creates the section when missing; a key already present keeps its value.
    void set_value(std::u16string_view section_name, std::u16string_view key, std::u16string_view value);
    /// Entries of one section (empty for a missing one).
    const section& get_section(std::u16string_view section_name) const;
    const section_map& sections() const noexcept { return sections_; }

private:
    section_map sections_;
};
