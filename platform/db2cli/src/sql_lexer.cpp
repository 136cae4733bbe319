#include "sql_lexer.hpp"

#include "diagnostics.hpp"
#include "text.hpp"

namespace db2s {

namespace {

bool is_word_start(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == '#' ||
           c == '$' || c == '@' || c >= 0x80;
}

bool is_word_char(unsigned char c) { return is_word_start(c) || (c >= '0' && c <= '9'); }

[[noreturn]] void unterminated(std::string_view sql, std::size_t at) {
    std::string text = "The string constant beginning with \"";
    text.append(sql.substr(at, 20)).append("\" does not have an ending string delimiter.");
    throw_server(-10, text, "42603");
}

// Reads a quoted run starting at the opening quote; a doubled quote is one literal quote.
std::size_t read_quoted(std::string_view sql, std::size_t i, char q, std::string& out) {
    const std::size_t start = i;
    ++i;
    for (;;) {
        if (i >= sql.size()) unterminated(sql, start);
        if (sql[i] == q) {
            if (i + 1 < sql.size() && sql[i + 1] == q) {
                out.push_back(q);
                i += 2;
                continue;
            }
            return i + 1;
        }
        out.push_back(sql[i++]);
    }
}

}  // namespace

std::vector<token> tokenize(std::string_view sql) {
    std::vector<token> out;
    std::size_t i = 0;
    while (i < sql.size()) {
        const auto c = static_cast<unsigned char>(sql[i]);
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f') {
            ++i;
            continue;
        }
        if (c == '-' && i + 1 < sql.size() && sql[i + 1] == '-') {
            while (i < sql.size() && sql[i] != '\n') ++i;
            continue;
        }
        if (c == '/' && i + 1 < sql.size() && sql[i + 1] == '*') {
            const std::size_t close = sql.find("*/", i + 2);
            i = close == std::string_view::npos ? sql.size() : close + 2;
            continue;
        }
        token t;
        t.begin = i;
        const char next = i + 1 < sql.size() ? sql[i + 1] : '\0';
        if (c == '\'') {
            t.kind = token::string;
            i = read_quoted(sql, i, '\'', t.text);
            if (t.text.size() > 32672) {
                throw_server(-102,
                             "The string constant beginning with \"" + t.text.substr(0, 20) +
                                 "\" is too long.",
                             "54002");
            }
        } else if (c == '"') {
            t.kind = token::quoted;
            i = read_quoted(sql, i, '"', t.text);
        } else if ((c == 'X' || c == 'x') && next == '\'') {
            t.kind = token::hex;
            std::string digits;
            i = read_quoted(sql, i + 1, '\'', digits);
            if (digits.size() % 2 != 0) throw_server(-110, "Invalid hexadecimal constant beginning X'" + digits.substr(0, 16) + "'.", "42606");
            for (std::size_t k = 0; k < digits.size(); k += 2) {
                auto hexval = [&](char h) -> int {
                    if (h >= '0' && h <= '9') return h - '0';
                    if (h >= 'a' && h <= 'f') return h - 'a' + 10;
                    if (h >= 'A' && h <= 'F') return h - 'A' + 10;
                    throw_server(-110, "Invalid hexadecimal constant beginning X'" + digits.substr(0, 16) + "'.", "42606");
                };
                t.text.push_back(static_cast<char>(hexval(digits[k]) * 16 + hexval(digits[k + 1])));
            }
        } else if ((c == 'G' || c == 'g' || c == 'N' || c == 'n') && next == '\'') {
            t.kind = token::graphic_string;
            i = read_quoted(sql, i + 1, '\'', t.text);
        } else if (is_word_start(c)) {
            t.kind = token::word;
            while (i < sql.size() && is_word_char(static_cast<unsigned char>(sql[i]))) ++i;
            t.text = ascii_upper(sql.substr(t.begin, i - t.begin));
        } else if ((c >= '0' && c <= '9') || (c == '.' && next >= '0' && next <= '9')) {
            t.kind = token::number;
            while (i < sql.size() && ((sql[i] >= '0' && sql[i] <= '9') || sql[i] == '.')) ++i;
            if (i < sql.size() && (sql[i] == 'E' || sql[i] == 'e')) {
                std::size_t j = i + 1;
                if (j < sql.size() && (sql[j] == '+' || sql[j] == '-')) ++j;
                if (j < sql.size() && sql[j] >= '0' && sql[j] <= '9') {
                    i = j;
                    while (i < sql.size() && sql[i] >= '0' && sql[i] <= '9') ++i;
                }
            }
            t.text = std::string(sql.substr(t.begin, i - t.begin));
        } else if (c == '?') {
            t.kind = token::param;
            t.text = "?";
            ++i;
        } else {
            t.kind = token::symbol;
            static const char* pairs[] = {"||", "<>", "<=", ">=", "!=", "¬="};
            t.text = std::string(1, static_cast<char>(c));
            for (const char* p : pairs) {
                const std::string_view sv(p);
                if (sql.substr(i, sv.size()) == sv) {
                    t.text = std::string(sv);
                    break;
                }
            }
            i += t.text.size();
        }
        t.finish = i;
        out.push_back(std::move(t));
    }
    token e;
    e.begin = e.finish = sql.size();
    out.push_back(e);
    return out;
}

std::vector<std::string> split_script(std::string_view script) {
    std::vector<std::string> out;
    std::string current;
    std::size_t i = 0;
    auto flush = [&] {
        const auto b = current.find_first_not_of(" \t\r\n");
        if (b != std::string::npos) {
            const auto e = current.find_last_not_of(" \t\r\n");
            out.push_back(current.substr(b, e - b + 1));
        }
        current.clear();
    };
    while (i < script.size()) {
        const char c = script[i];
        if (c == '\'' || c == '"') {
            const std::size_t close = script.find(c, i + 1);
            std::size_t end = close == std::string_view::npos ? script.size() : close + 1;
            current.append(script.substr(i, end - i));
            i = end;
        } else if (c == '-' && i + 1 < script.size() && script[i + 1] == '-') {
            while (i < script.size() && script[i] != '\n') ++i;
        } else if (c == '/' && i + 1 < script.size() && script[i + 1] == '*') {
            const std::size_t close = script.find("*/", i + 2);
            i = close == std::string_view::npos ? script.size() : close + 2;
        } else if (c == ';') {
            flush();
            ++i;
        } else {
            current.push_back(c);
            ++i;
        }
    }
    flush();
    return out;
}

std::string quote_identifier(std::string_view name) {
    std::string out = "\"";
    for (char c : name) {
        if (c == '"') out.push_back('"');
        out.push_back(c);
    }
    out.push_back('"');
    return out;
}

std::string encode_name(std::string_view name) {
    std::string out;
    out.reserve(name.size());
    for (char c : name) {
        if ((c >= 'a' && c <= 'z') || c == '~') out.push_back('~');
        out.push_back(c);
    }
    return out;
}

std::string decode_name(std::string_view stored) {
    if (stored.find('~') == std::string_view::npos) return std::string(stored);
    std::string out;
    out.reserve(stored.size());
    for (std::size_t i = 0; i < stored.size(); ++i) {
        if (stored[i] == '~' && i + 1 < stored.size()) ++i;
        out.push_back(stored[i]);
    }
    return out;
}

std::string quote_stored(std::string_view name) { return quote_identifier(encode_name(name)); }

std::string quote_string(std::string_view text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'') out.push_back('\'');
        out.push_back(c);
    }
    out.push_back('\'');
    return out;
}

}  // namespace db2s
