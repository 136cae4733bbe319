#include "sql_view.hpp"

#include "tk_log.hpp"
#include "tk_utils.hpp"
#include "udb_vali.hpp"

namespace {

char16_t fold(char16_t c) noexcept {
    return (c >= u'A' && c <= u'Z') ? char16_t(c - u'A' + u'a') : c;
}

} // namespace

std::size_t sql_find_nocase(std::u16string_view text, std::u16string_view what, std::size_t from) {
    if (what.empty()) return from <= text.size() ? from : std::u16string_view::npos;
    for (std::size_t i = from; i + what.size() <= text.size(); ++i) {
        std::size_t k = 0;
        while (k < what.size() && fold(text[i + k]) == fold(what[k])) ++k;
        if (k == what.size()) return i;
    }
    return std::u16string_view::npos;
}

bool check_isnull_for_replace(const std::u16string& text, long position) {
    if (!tk_log::skips(1)) {
        tk_wtrace(1, u"sql_view_converter::check_isnull_for_replace(%s,%d)", text.c_str(), int(position));
    }
    if (position < 0 || std::size_t(position) >= text.size()) return false;
    std::size_t i = std::size_t(position) + 6;
    if (i >= text.size()) return false;
    int open = 0;
    int commas = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c == u'(') {
            ++open;
        } else if (c == u',') {
            ++commas;
        } else if (c == u')') {
            if (open == 1) break;
            --open;
        }
    }
    return commas == 1;
}

bool sql_is_select(std::u16string_view text) { return sql_find_nocase(text.substr(0, 6), u"select") == 0; }

std::u16string sql_refine_view_in(const std::u16string& text, const udb_names_map& names) {
    std::u16string out;
    out.reserve(text.size());
    char16_t quote = 0;
    bool blank = false;
    for (char16_t c : text) {
        if (quote) {
            out += c;
            if (c == quote) quote = 0;
            continue;
        }
        if (c == u' ' || c == u'\t' || c == u'\r' || c == u'\n') {
            if (!blank) out += u' ';
            blank = true;
            continue;
        }
        blank = false;
        if (c == u'\'' || c == u'"') quote = c;
        out += c == u'[' || c == u']' ? u'`' : c;
    }
    for (std::size_t p = sql_find_nocase(out, u"isnull"); p != std::u16string::npos;
         p = sql_find_nocase(out, u"isnull", p + 6)) {
        if (check_isnull_for_replace(out, long(p))) out.replace(p, 6, u"ifnull");
    }
    return names.do_global_replace1(out, u"`", u"`");
}

sql_view_converter::sql_view_converter(std::u16string text) : text_(std::move(text)) {
    if (!tk_log::skips(2)) tk_wtrace(2, u"sql_view_converter::ctor(%s)", text_.c_str());
    bool in_double = false;
    bool in_back = false;
    for (char16_t c : text_) {
        if (c == u'"') {
            in_double = !in_double;
        } else if (c == u'`') {
            if (!in_double) in_back = !in_back;
        } else if (!in_double && !in_back) {
            skeleton_ += c;
        }
    }
    if (!tk_log::skips(2)) tk_wtrace(2, u"Skeleton=%s", skeleton_.c_str());
}

std::u16string sql_view_converter::convert_to_ansi() const {
    tk_trace(2, "sql_view_converter::convert_to_ansi");
    std::u16string out = text_;
    const std::size_t order = sql_find_nocase(out, u" order by ");
    if (order != std::u16string::npos) {
        tk_trace(2, "'ORDER BY' is found in view, length=%d", int(out.size() - order));
        out.erase(order);
        if (!tk_log::skips(2)) tk_wtrace(2, u"After removing 'ORDER BY':\n%s", out.c_str());
    }
    if (sql_find_nocase(skeleton_, u"join") == std::u16string::npos ||
        sql_find_nocase(skeleton_, u"where") == std::u16string::npos) {
        return out;
    }
    for (std::size_t p = sql_find_nocase(out, u"join"); p != std::u16string::npos;
         p = sql_find_nocase(out, u"join", p + 10)) {
        out.replace(p, 4, u"cross join");
    }
    return out;
}

sql_fk_parser::sql_fk_parser(std::u16string table, const std::u16string& create_text) : table_(std::move(table)) {
    if (!tk_log::skips(1)) tk_wtrace(1, u"sql_fk_parser::ctor(%s)", table_.c_str());
    std::size_t start = 0;
    for (;;) {
        const std::size_t lf = create_text.find(u'\n', start);
        lines_.push_back(create_text.substr(start, lf == std::u16string::npos ? std::u16string::npos : lf - start));
        if (lf == std::u16string::npos) break;
        start = lf + 1;
    }
}

void sql_fk_parser::do_parse() {
    tk_trace(1, "sql_fk_parser::do_parse");
    tk_trace(1, "Got %d chunks", int(lines_.size()));
}
