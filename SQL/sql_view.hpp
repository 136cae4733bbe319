#pragma once
// Rewriting of view texts between the source's dialect and MySQL's, and the reader of an
// existing table's CREATE TABLE text.

#include <string>
#include <string_view>
#include <vector>

class udb_names_map;

/// Finds `what` in `text` from `from` on, ignoring letter case (substrings, not words);
/// npos when absent.
std::size_t sql_find_nocase(std::u16string_view text, std::u16string_view what, std::size_t from = 0);

/// Whether the "isnull" at `position` of `text` is called with exactly two arguments, so that
/// it may become MySQL's ifnull. False for a position of -1 or past the text.
bool check_isnull_for_replace(const std::u16string& text, long position);

/// Whether a view text is a SELECT: it begins with "select" in any letter case, no blanks
/// skipped. Anything else is not made a view.
bool sql_is_select(std::u16string_view text);

/// A source SELECT in MySQL form, the same for the server and the dump file: white space
/// collapsed and brackets made backquotes outside quoted literals (a literal keeps every
/// character), two-argument isnull made ifnull, and the source names of `names` made
/// destination names in backquotes.
std::u16string sql_refine_view_in(const std::u16string& text, const udb_names_map& names);

/// A MySQL view definition and its skeleton (the text outside double quotes and backquotes),
/// from which the portable form is made.
class sql_view_converter {
public:
    explicit sql_view_converter(std::u16string text);
    /// The text without a trailing ORDER BY clause, and with "join" made "cross join" when the
    /// skeleton also has a WHERE clause.
    std::u16string convert_to_ansi() const;

    const std::u16string& text() const noexcept { return text_; }
    const std::u16string& skeleton() const noexcept { return skeleton_; }

private:
    std::u16string text_;
    std::u16string skeleton_;
};

/// What SHOW CREATE TABLE says of an existing table, cut into lines. Kept for the foreign keys
/// of an existing table; nothing is derived from it yet.
class sql_fk_parser {
public:
    sql_fk_parser(std::u16string table, const std::u16string& create_text);
    /// Traces the number of lines.
    void do_parse();
    const std::vector<std::u16string>& lines() const noexcept { return lines_; }

private:
    std::u16string table_;
    std::vector<std::u16string> lines_;
};
