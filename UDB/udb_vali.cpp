#include "udb_vali.hpp"

#include "tk_excp.hpp"
#include "tk_log.hpp"
#include "udb_sche.hpp"

#include <unicode/uchar.h>
#include <unicode/utf16.h>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int line_safe_name_exhausted = 54; // quoted in problem reports; kept stable
constexpr int safe_name_candidates = 100000;

// Lengths count characters (code points), so that a cut never splits a surrogate pair and a
// limit means what the destination counts.
std::size_t char_count(std::u16string_view text) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (U16_IS_LEAD(text[i]) && i + 1 < text.size() && U16_IS_TRAIL(text[i + 1])) ++i;
        ++count;
    }
    return count;
}

// Keeps the first `count` characters.
void cut_chars(std::u16string& text, std::size_t count) {
    std::size_t i = 0;
    for (std::size_t n = 0; n < count && i < text.size(); ++n) {
        if (U16_IS_LEAD(text[i]) && i + 1 < text.size() && U16_IS_TRAIL(text[i + 1])) ++i;
        ++i;
    }
    text.resize(std::min(i, text.size()));
}

// Upper-cases unit by unit so that positions in the upper-cased copy match the original.
std::u16string upper_units(std::u16string_view text) {
    std::u16string out(text);
    for (char16_t& c : out)
        if (!U16_IS_SURROGATE(c)) c = static_cast<char16_t>(u_toupper(c));
    return out;
}

bool alnum_before(const std::u16string& text, std::size_t pos) {
    if (pos == 0) return false;
    UChar32 c;
    std::size_t i = pos;
    U16_PREV(text.data(), 0, i, c);
    return u_isalnum(c);
}

bool alnum_at(const std::u16string& text, std::size_t pos) {
    if (pos >= text.size()) return false;
    UChar32 c;
    std::size_t i = pos;
    U16_NEXT(text.data(), i, text.size(), c);
    return u_isalnum(c);
}

// Scans a column map's pairs, comparing the source (or destination) names.
const std::pair<const std::u16string, std::u16string>*
scan(const t_names_map& map, const std::u16string& name, bool exact, bool by_destination) {
    for (const auto& pair : map) {
        const std::u16string& key = by_destination ? pair.second : pair.first;
        if (exact ? key == name : udb_name_equal(key, name)) return &pair;
    }
    return nullptr;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// t_names_map

void t_names_map::add(const std::u16string& source, const std::u16string& dest) {
    tk_wtrace(1, u"t_names_map::add(%s,%s)", source.c_str(), dest.c_str());
    pairs_.emplace(source, dest);
}

std::u16string t_names_map::get_mapped_name(const std::u16string& name, bool exact) const {
    tk_wtrace(1, u"t_names_map::get_mapped_name(%s)", name.c_str());
    if (const auto* pair = scan(*this, name, exact, false)) {
        tk_wtrace(1, u"Got mapped name: %s", pair->second.c_str());
        return pair->second;
    }
    return name;
}

// ---------------------------------------------------------------------------------------------
// udb_names_map

void udb_names_map::add_tn_mapping(const std::u16string& source, const std::u16string& dest) {
    tk_wtrace(2, u"udb_names_map::add_tn_mapping(%s,%s)", source.c_str(), dest.c_str());
    tables_.add(source, dest);
}

std::u16string udb_names_map::get_tn_mapped_name(const std::u16string& name, bool exact) const {
    tk_wtrace(1, u"udb_names_map::get_tn_mapped_name(%s)", name.c_str());
    for (const auto& [source, dest] : tables_) {
        tk_wtrace(1, u"Comparing with (%s,%s)", source.c_str(), dest.c_str());
        if (exact ? source == name : udb_name_equal(source, name)) {
            tk_wtrace(1, u"Got mapped name: %s", dest.c_str());
            return dest;
        }
    }
    return name;
}

void udb_names_map::add_fn_map(const std::u16string& table, const t_names_map& columns) {
    tk_wtrace(2, u"udb_names_map::add_fn_map(%s)", table.c_str());
    columns_.emplace(table, columns);
}

std::u16string udb_names_map::get_fn_mapped_name(const std::u16string& table,
                                                 const std::u16string& column, bool exact) const {
    tk_wtrace(1, u"udb_names_map::get_fn_mapped_name(%s,%s)", table.c_str(), column.c_str());
    const auto found = columns_.find(table);
    if (found == columns_.end()) {
        tk_wtrace(1, u"Table '%s' not found", table.c_str());
        return column;
    }
    if (const auto* pair = scan(found->second, column, exact, false)) {
        tk_wtrace(1, u"Got mapped name: %s", pair->second.c_str());
        return pair->second;
    }
    return column;
}

std::u16string udb_names_map::get_fn_orig_name(const std::u16string& table,
                                               const std::u16string& column, bool exact) const {
    tk_wtrace(1, u"udb_names_map::get_fn_orig_name(%s,%s)", table.c_str(), column.c_str());
    const auto found = columns_.find(table);
    if (found == columns_.end()) {
        tk_wtrace(1, u"Table '%s' not found", table.c_str());
        return column;
    }
    if (const auto* pair = scan(found->second, column, exact, true)) {
        tk_wtrace(1, u"Got orignal name: %s", pair->first.c_str());
        return pair->first;
    }
    return column;
}

std::u16string udb_names_map::do_global_replace1(const std::u16string& text,
                                                 const std::u16string& prefix,
                                                 const std::u16string& suffix) const {
    tk_wtrace(2, u"udb_names_map::do_global_replace1(%s)", text.c_str());
    std::u16string result = do_global_replace2(text, tables_, prefix, suffix);
    for (const auto& [table, columns] : columns_)
        result = do_global_replace2(result, columns, prefix, suffix);
    return result;
}

std::u16string udb_names_map::do_global_replace2(const std::u16string& text,
                                                 const t_names_map& names,
                                                 const std::u16string& prefix,
                                                 const std::u16string& suffix) {
    tk_wtrace(2, u"udb_names_map::do_global_replace2(%s)", text.c_str());
    std::u16string result = text;
    std::u16string upper = upper_units(result);
    for (const auto& [source, dest] : names) {
        const std::u16string replacement = prefix + dest + suffix;
        tk_wtrace(1, u"Testing pair ('%s','%s')", source.c_str(), replacement.c_str());
        // An empty name occurs everywhere and would never let the scan finish.
        if (source.empty()) continue;
        const std::u16string wanted = upper_units(source);
        std::size_t pos = upper.find(wanted);
        while (pos != std::u16string::npos) {
            tk_wtrace(1, u"'%s' was found at pos=%d", source.c_str(), int(pos));
            const std::size_t end = pos + wanted.size();
            if (alnum_before(result, pos) || alnum_at(result, end)) {
                pos = upper.find(wanted, end);
                continue;
            }
            result.replace(pos, wanted.size(), replacement);
            upper.replace(pos, wanted.size(), upper_units(replacement));
            pos = upper.find(wanted, pos + replacement.size());
        }
    }
    return result;
}

// ---------------------------------------------------------------------------------------------
// udb_validator

udb_validator::udb_validator(std::uint32_t max_length) : max_length_(max_length) {
    tk_trace(2, "udb_validator::ctor");
}

bool udb_validator::is_acceptable(const std::u16string& name) const {
    tk_wtrace(1, u"udb_validator::is_acceptable(%s)", name.c_str());
    if (max_length_ != 0 && char_count(name) > max_length_) {
        tk_trace(1, "The name is too long");
        return false;
    }
    for (const std::u16string& restricted : restricted_names_) {
        if (udb_name_equal(restricted, name)) {
            tk_trace(1, "The name is restricted");
            return false;
        }
    }
    for (char16_t c : illegal_chars_) {
        if (name.find(c) != std::u16string::npos) {
            tk_wtrace(1, u"The name contains illegal: %c", int(c));
            return false;
        }
    }
    return true;
}

bool udb_validator::is_duplicated(const std::u16string& name) const {
    tk_wtrace(1, u"udb_validator::is_duplicated(%s)", name.c_str());
    for (const std::u16string& existing : existing_names_) {
        tk_wtrace(1, u"Processing %s", existing.c_str());
        if (udb_name_equal(existing, name)) return true;
    }
    return false;
}

std::u16string udb_validator::get_safe_name(const std::u16string& name) const {
    tk_wtrace(1, u"udb_validator::get_safe_name(%s)", name.c_str());
    std::u16string safe = name;
    if (max_length_ != 0 && char_count(safe) > max_length_) cut_chars(safe, max_length_ - 1);
    for (char16_t c : illegal_chars_) std::replace(safe.begin(), safe.end(), c, u'_');
    if (is_acceptable(safe) && !is_duplicated(safe)) return safe;

    // Room for five digits; limits below six leave no room for any of the base.
    if (max_length_ != 0 && char_count(safe) + 5 > max_length_)
        cut_chars(safe, max_length_ > 6 ? max_length_ - 6 : 0);
    const std::size_t base = safe.size();
    for (int i = 0; i < safe_name_candidates; ++i) {
        char digits[8];
        std::snprintf(digits, sizeof digits, "%05d", i);
        safe.resize(base);
        for (const char* d = digits; *d; ++d) safe.push_back(static_cast<char16_t>(*d));
        if (is_acceptable(safe) && !is_duplicated(safe)) return safe;
    }
    throw tk_mail_assertion("udb_vali", line_safe_name_exhausted);
}

void udb_validator::add_existing_name(const std::u16string& name) {
    tk_wtrace(1, u"udb_validator::add_existing_name(%s)", name.c_str());
    existing_names_.push_back(name);
}

void udb_validator::add_mapped_pair(const std::u16string& source, const std::u16string& generated) {
    tk_wtrace(1, u"udb_validator::add_mapped_pair(%s,%s)", source.c_str(), generated.c_str());
    mapped_.add(source, generated);
}
