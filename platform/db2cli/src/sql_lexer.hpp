#pragma once
// Tokens of DB2 SQL. Ordinary identifiers are folded to upper case; delimited ones keep their
// spelling. Every token remembers where it came from so that a statement can be rewritten
// piecewise.

#include <string>
#include <string_view>
#include <vector>

namespace db2s {

struct token {
    enum kind_t { end, word, quoted, string, hex, graphic_string, number, symbol, param };
    kind_t kind = end;
    std::string text;   // folded word, unescaped string or identifier, symbol, number
    std::size_t begin = 0, finish = 0;  // byte range in the statement

    bool is(std::string_view upper_word) const { return kind == word && text == upper_word; }
    bool is_symbol(std::string_view s) const { return kind == symbol && text == s; }
    bool is_name() const { return kind == word || kind == quoted; }
};

/// Splits a statement into tokens; an unterminated string or identifier is DB2's SQL0010N.
std::vector<token> tokenize(std::string_view sql);

/// Splits a script into statements ended by `;` outside strings and comments. Empty ones are
/// dropped.
std::vector<std::string> split_script(std::string_view script);

/// The identifier as SQL text that SQLite reads back unchanged: "name" with quotes doubled.
std::string quote_identifier(std::string_view name);
/// SQLite matches identifiers without regard to ASCII case; DB2's delimited identifiers are
/// case-sensitive. Names are therefore stored with each lower-case letter behind a '~' (and a
/// '~' doubled), so "Orders" and "ORDERS" stay two names while upper-case names, the usual
/// ones, are stored as they are.
std::string encode_name(std::string_view name);
/// The DB2 name of a stored SQLite name (the inverse of encode_name).
std::string decode_name(std::string_view stored);
/// quote_identifier(encode_name(name)): how SQL text for SQLite names a DB2 object.
std::string quote_stored(std::string_view name);
/// A string literal: 'text' with quotes doubled.
std::string quote_string(std::string_view text);

}  // namespace db2s
