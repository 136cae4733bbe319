#include "sql_vali.hpp"

#include "tk_log.hpp"
#include "tk_utils.hpp"

#include <unicode/uchar.h>
#include <unicode/utf16.h>

namespace {

constexpr std::uint32_t mysql_max_name = 64;

constexpr const char16_t* keyword_table[] = {
    u"add", u"all", u"alter", u"and", u"as", u"asc", u"between", u"bigint", u"binary", u"blob",
    u"both", u"by", u"cascade", u"case", u"char", u"character", u"change", u"column", u"columns",
    u"constraint", u"create", u"cross", u"current_date", u"current_time", u"current_timestamp",
    u"database", u"databases", u"day_hour", u"day_minute", u"day_second", u"dec", u"decimal",
    u"default", u"delayed", u"delete", u"desc", u"describe", u"distinct", u"distinctrow",
    u"double", u"drop", u"else", u"escaped", u"enclosed", u"explain", u"exists", u"fields",
    u"float", u"float4", u"float8", u"foreign", u"from", u"for", u"grant", u"group", u"having",
    u"high_priority", u"hour_minute", u"hour_second", u"ignore", u"in", u"index", u"infile",
    u"inner", u"insert", u"insert_id", u"int", u"int1", u"int2", u"int3", u"int4", u"int8",
    u"integer", u"interval", u"into", u"if", u"is", u"join", u"key", u"keys", u"kill",
    u"last_insert_id", u"leading", u"left", u"like", u"lines", u"limit", u"load", u"lock",
    u"long", u"longblob", u"longtext", u"low_priority", u"match", u"mediumblob", u"mediumtext",
    u"mediumint", u"middleint", u"minute_second", u"natural", u"numeric", u"not", u"null", u"on",
    u"optimize", u"option", u"optionally", u"or", u"order", u"outer", u"outfile", u"partial",
    u"precision", u"primary", u"procedure", u"privileges", u"read", u"real", u"regexp",
    u"rename", u"replace", u"restrict", u"returns", u"revoke", u"rlike", u"select", u"set",
    u"show", u"smallint", u"soname", u"sql_big_tables", u"sql_big_selects",
    u"sql_low_priority_updates", u"sql_log_off", u"sql_log_update", u"sql_select_limit",
    u"sql_small_result", u"sql_big_result", u"sql_warnings", u"straight_join", u"starting",
    u"table", u"tables", u"terminated", u"then", u"tinyblob", u"tinytext", u"tinyint",
    u"trailing", u"to", u"usage", u"use", u"using", u"unique", u"unlock", u"unsigned", u"update",
    u"values", u"varchar", u"varying", u"varbinary", u"with", u"write", u"when", u"where",
    u"year_month", u"zerofill", u"",
};

// The characters a bare name may hold: letters and digits of any script, "_" and "$".
bool old_name_char(UChar32 c) noexcept { return c == u'_' || c == u'$' || u_isalnum(c); }

bool all_decimal_digits(const std::u16string& name) noexcept {
    for (char16_t c : name)
        if (c < u'0' || c > u'9') return false;
    return true;
}

// Code points that no MySQL identifier can hold, quoted or not, and control characters: a
// line break in a name would end the comment line of a dump that names it and let the rest
// run as a statement when the dump is loaded.
bool unusable_in_identifier(UChar32 c) noexcept {
    return c < 0x20 || c == 0x7F || c > 0xFFFF || U_IS_SURROGATE(c);
}

void trace_name(const char* format, const std::u16string& name) {
    if (tk_log::skips(2)) return;
    const std::string narrow = tk_to_utf8(tk_wprintable(name));
    tk_trace_write(2, format, narrow.c_str());
}

void add_names(udb_validator& v, const std::vector<std::u16string>& names) {
    for (const std::u16string& n : names) v.add_existing_name(n);
}

} // namespace

const std::vector<std::u16string>& sql_old_keywords() {
    static const std::vector<std::u16string> words = [] {
        std::vector<std::u16string> list;
        for (const char16_t* const* w = keyword_table; **w; ++w) list.emplace_back(*w);
        return list;
    }();
    return words;
}

sql_old_validator::sql_old_validator() : udb_validator(mysql_max_name) {
    tk_trace(2, "sql_old_validator::ctor");
    restricted_names() = sql_old_keywords();
}

bool sql_old_validator::is_acceptable(const std::u16string& name) const {
    trace_name("sql_old_validator::is_acceptable(%s)", name);
    if (!udb_validator::is_acceptable(name)) return false;
    for (std::size_t i = 0; i < name.size();) {
        UChar32 c;
        U16_NEXT(name.data(), i, name.size(), c);
        if (!old_name_char(c)) {
            if (!tk_log::skips(2)) {
                char16_t units[2];
                std::size_t n = 0;
                U16_APPEND_UNSAFE(units, n, c);
                tk_trace_write(2, "Name contains invalid symbol: '%s'", tk_to_utf8({units, n}).c_str());
            }
            return false;
        }
    }
    if (all_decimal_digits(name)) {
        tk_trace(2, "Name consists of digits only");
        return false;
    }
    return true;
}

std::u16string sql_old_validator::get_safe_name(const std::u16string& name) const {
    trace_name("sql_old_validator::get_safe_name(%s)", name);
    std::u16string safe;
    safe.reserve(name.size());
    for (std::size_t i = 0; i < name.size();) {
        UChar32 c;
        U16_NEXT(name.data(), i, name.size(), c);
        if (old_name_char(c)) {
            char16_t units[2];
            std::size_t n = 0;
            U16_APPEND_UNSAFE(units, n, c);
            safe.append(units, n);
        } else {
            safe += u'_';
        }
    }
    // An empty name would only ever yield digit-only candidates, none acceptable.
    if (safe.empty()) safe.push_back(u'_');
    else if (all_decimal_digits(safe)) safe[0] = u'_';
    return udb_validator::get_safe_name(safe);
}

sql_old_fn_validator::sql_old_fn_validator(const udb_schema& schema) {
    tk_trace(2, "sql_old_fn_validator::ctor( const udb_schema& )");
    for (const t_ftd* column : schema) add_existing_name(column->name);
}

sql_old_fn_validator::sql_old_fn_validator(const udb_record& record) {
    tk_trace(2, "sql_old_fn_validator::ctor( const udb_schema& )");
    for (const auto& field : record) add_existing_name(field->name);
}

sql_old_in_validator::sql_old_in_validator(const udb_indexes& indexes) {
    tk_trace(2, "sql_old_in_validator::ctor");
    for (const udb_index& index : indexes) add_existing_name(index.name);
}

sql_old_tn_validator::sql_old_tn_validator(const std::vector<std::u16string>& first,
                                           const std::vector<std::u16string>& second) {
    tk_trace(2, "sql_old_tn_validator::ctor");
    add_names(*this, first);
    add_names(*this, second);
}

sql_old_dn_validator::sql_old_dn_validator() { tk_trace(2, "sql_old_dn_validator::ctor"); }

bool sql_old_dn_validator::is_acceptable(const std::u16string& name) const {
    trace_name("sql_old_dn_validator::is_acceptable(%s)", name);
    if (!sql_old_validator::is_acceptable(name)) return false;
    return !name.empty() && !(name[0] >= u'0' && name[0] <= u'9');
}

sql_new_validator::sql_new_validator(bool all_illegal) : udb_validator(mysql_max_name) {
    tk_trace(2, "sql_new_validator::ctor");
    static constexpr char16_t list[] = u"`\"'^*#\\;+|:<>?./";
    illegal_chars().assign(list, list + (all_illegal ? 16 : 8));
}

bool sql_new_validator::is_acceptable(const std::u16string& name) const {
    trace_name("sql_new_validator::is_acceptable(%s)", name);
    if (name.empty() || name.front() == u' ' || name.back() == u' ') return false;
    for (std::size_t i = 0; i < name.size();) {
        UChar32 c;
        U16_NEXT(name.data(), i, name.size(), c);
        if (unusable_in_identifier(c)) return false;
    }
    return udb_validator::is_acceptable(name);
}

std::u16string sql_new_validator::get_safe_name(const std::u16string& name) const {
    trace_name("sql_new_validator::get_safe_name(%s)", name);
    std::u16string trimmed = tk_wtrim(name);
    std::u16string safe;
    safe.reserve(trimmed.size());
    for (std::size_t i = 0; i < trimmed.size();) {
        const std::size_t start = i;
        UChar32 c;
        U16_NEXT(trimmed.data(), i, trimmed.size(), c);
        if (unusable_in_identifier(c)) safe += u'_';
        else safe.append(trimmed, start, i - start);
    }
    return udb_validator::get_safe_name(safe);
}

sql_new_fn_validator::sql_new_fn_validator(const udb_schema& schema) : sql_new_validator(false) {
    tk_trace(2, "sql_new_fn_validator::ctor( const udb_schema& )");
    for (const t_ftd* column : schema) add_existing_name(column->name);
}

sql_new_fn_validator::sql_new_fn_validator(const udb_record& record) : sql_new_validator(false) {
    tk_trace(2, "sql_new_fn_validator::ctor( const udb_record& )");
    for (const auto& field : record) add_existing_name(field->name);
}

sql_new_in_validator::sql_new_in_validator(const udb_indexes& indexes) : sql_new_validator(false) {
    tk_trace(2, "sql_new_in_validator::ctor");
    for (const udb_index& index : indexes) add_existing_name(index.name);
}

sql_new_tn_validator::sql_new_tn_validator(const std::vector<std::u16string>& first,
                                           const std::vector<std::u16string>& second)
    : sql_new_validator(true) {
    tk_trace(2, "sql_new_tn_validator::ctor");
    add_names(*this, first);
    add_names(*this, second);
}

sql_new_dn_validator::sql_new_dn_validator() : sql_new_validator(true) {}
