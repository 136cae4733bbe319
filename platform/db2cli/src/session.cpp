#include "session.hpp"

#include "diagnostics.hpp"
#include "functions.hpp"
#include "text.hpp"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <map>
#include <set>

namespace db2s {

[[noreturn]] void not_a_column(std::string_view column, std::string_view table) {
    throw_server(-205,
                 "Column, attribute, or period \"" + std::string(column) +
                     "\" is not defined in \"" + std::string(table) + "\".",
                 "42703", "42S22");
}

// The DB2 SQL text that names a table.
std::string db2_table_ref(const table_meta& t) {
    return quote_identifier(t.schema) + "." + quote_identifier(t.name);
}

namespace {

[[noreturn]] void not_a_permitted_target() {
    throw_server(-150,
                 "The target fullselect, view, typed table, materialized query table, range-"
                 "clustered table, or staging table in the INSERT, DELETE, UPDATE, MERGE, or "
                 "TRUNCATE statement is a target for which the requested operation is not "
                 "permitted.",
                 "42807");
}

[[noreturn]] void generated_always(std::string_view column) {
    throw_server(-798,
                 "A value cannot be specified for column \"" + std::string(column) +
                     "\" which is defined as GENERATED ALWAYS.",
                 "428C9");
}

void check_not_null(const value& v, const table_meta& table, const column_meta& c) {
    if (v.kind == value::null && !c.nullable) {
        throw_server(-407,
                     "Assignment of a NULL value to a NOT NULL column \"" + table.schema + "." +
                         table.name + "." + c.name + "\" is not allowed.",
                     "23502");
    }
}

bool is_clause_word(const token& t) {
    static const std::set<std::string, std::less<>> words = {
        "WHERE", "GROUP", "ORDER", "HAVING", "UNION", "EXCEPT", "INTERSECT", "FETCH", "ON",
        "USING", "LIMIT", "FOR", "WITH", "JOIN", "INNER", "LEFT", "RIGHT", "FULL", "CROSS",
        "OUTER", "OPTIMIZE", "OFFSET", "NATURAL"};
    return t.kind == token::word && words.count(t.text) > 0;
}


}  // namespace

// ---------------------------------------------------------------------------------------------

class session::write_scope {
public:
    explicit write_scope(session& s) : s_(s) {
        if (!s_.autocommit_ && !s_.in_transaction_) {
            s_.db_->exec("BEGIN");
            s_.in_transaction_ = true;
        }
        s_.db_->exec("SAVEPOINT standin_statement");
    }
    void done() {
        s_.db_->exec("RELEASE standin_statement");
        finished_ = true;
    }
    ~write_scope() {
        if (finished_) return;
        // A failed statement leaves no trace, but the surrounding transaction stays open.
        sqlite3_exec(s_.db_->handle(), "ROLLBACK TO standin_statement; RELEASE standin_statement",
                     nullptr, nullptr, nullptr);
        s_.db_->forget_tables();
    }

private:
    session& s_;
    bool finished_ = false;
};

session::session(std::unique_ptr<database> db, std::string user)
    : db_(std::move(db)), user_(ascii_upper(user)) {
    if (user_.empty()) {
        const char* login = std::getenv("USER");
        user_ = ascii_upper(login ? login : "DB2INST1");
    }
    schema_ = user_;
}

void session::set_autocommit(bool on) {
    if (on && !autocommit_) commit();
    autocommit_ = on;
}

void session::commit() {
    if (in_transaction_) {
        db_->exec("COMMIT");
        in_transaction_ = false;
    }
    if (on_transaction_end) on_transaction_end();
}

void session::rollback() {
    if (in_transaction_) {
        db_->exec("ROLLBACK");
        in_transaction_ = false;
        db_->forget_tables();
    }
    if (on_transaction_end) on_transaction_end();
}

prepared_statement session::prepare(std::string_view sql) {
    prepared_statement p;
    p.text = std::string(sql);
    p.ast = parse_statement(sql);
    if (auto* q = std::get_if<query_stmt>(&p.ast)) {
        p.param_count = q->param_count;
        translate_query(*q);  // unknown tables are reported at prepare time, as DB2 does
        const auto& t = q->tokens;
        if (q->is_delete && t.size() > 3 && t[1].is("FROM") && t[2].is_name()) {
            const bool qualified = t[3].is_symbol(".") && t.size() > 4 && t[4].is_name();
            auto target = require_table(qualified ? qualified_name{t[2].text, t[4].text}
                                                  : qualified_name{"", t[2].text});
            if (target->type != 'T') not_a_permitted_target();
        }
    } else if (auto* ins = std::get_if<insert_stmt>(&p.ast)) {
        p.param_count = ins->param_count;
        require_table(ins->table);
    } else if (auto* up = std::get_if<update_stmt>(&p.ast)) {
        p.param_count = up->param_count;
        require_table(up->table);
    }
    return p;
}

std::shared_ptr<const table_meta> session::require_table(const qualified_name& name) {
    const std::string& schema = name.schema.empty() ? schema_ : name.schema;
    auto t = db_->find_table(schema, name.name);
    if (!t) throw_undefined_name(schema + "." + name.name);
    return t;
}

exec_outcome session::execute(const prepared_statement& stmt, const param_reader& params,
                              int rows) {
    exec_outcome out;
    if (auto* q = std::get_if<query_stmt>(&stmt.ast)) {
        if (q->is_delete) {
            write_scope scope(*this);
            out.row_count = run_delete(*q, params);
            out.no_data = out.row_count == 0;
            scope.done();
        } else {
            out.result = run_query(*q, params);
        }
    } else if (auto* ins = std::get_if<insert_stmt>(&stmt.ast)) {
        write_scope scope(*this);
        out.row_count = run_insert(*ins, params, ins->param_count > 0 ? rows : 1);
        scope.done();
    } else if (auto* up = std::get_if<update_stmt>(&stmt.ast)) {
        write_scope scope(*this);
        out.row_count = run_update(*up, params);
        out.no_data = out.row_count == 0;
        scope.done();
    } else if (auto* tr = std::get_if<truncate_stmt>(&stmt.ast)) {
        write_scope scope(*this);
        auto table = require_table(tr->table);
        if (table->type != 'T') not_a_permitted_target();
        db_->exec("DELETE FROM " + quote_identifier(table->storage_name()));
        scope.done();
    } else if (auto* set = std::get_if<set_schema_stmt>(&stmt.ast)) {
        schema_ = set->user_register ? user_ : set->schema;
    } else if (auto* tx = std::get_if<transaction_stmt>(&stmt.ast)) {
        if (tx->commit) commit();
        else rollback();
    } else {
        write_scope scope(*this);
        run_ddl(stmt.ast);
        scope.done();
        db_->forget_tables();
    }
    if (autocommit_ && !std::holds_alternative<query_stmt>(stmt.ast) && on_transaction_end) {
        on_transaction_end();
    }
    return out;
}

// ---------------------------------------------------------------------------------------------
// Queries

namespace {

bool is_duration_unit(const token& t) {
    static const std::set<std::string, std::less<>> units = {
        "YEAR", "YEARS", "MONTH", "MONTHS", "DAY", "DAYS", "HOUR", "HOURS", "MINUTE", "MINUTES",
        "SECOND", "SECONDS", "MICROSECOND", "MICROSECONDS"};
    return t.kind == token::word && units.count(t.text) > 0;
}

// Index of the ')' that closes the '(' at `open`; the end token when there is none.
std::size_t closing_paren(const std::vector<token>& t, std::size_t open) {
    int depth = 0;
    for (std::size_t i = open; i < t.size(); ++i) {
        if (t[i].is_symbol("(")) ++depth;
        else if (t[i].is_symbol(")") && --depth == 0) return i;
        else if (t[i].kind == token::end) return i;
    }
    return t.size() - 1;
}

// Index of the last token in [from, to) that `match` accepts at parenthesis depth `depth`
// (counted from `from`); 0 when there is none.
template <typename Match>
std::size_t last_at_depth(const std::vector<token>& t, std::size_t from, std::size_t to, int depth,
                          Match match) {
    std::size_t found = 0;
    int d = 0;
    for (std::size_t j = from; j < to; ++j) {
        if (t[j].is_symbol("(")) ++d;
        else if (t[j].is_symbol(")")) --d;
        else if (d == depth && match(t[j])) found = j;
    }
    return found;
}

// Last token of the operand that starts at `i`: a (qualified) name, a function call, a
// parenthesised expression or a single literal, after any unary sign.
std::size_t operand_end(const std::vector<token>& t, std::size_t i) {
    while (t[i].is_symbol("-") || t[i].is_symbol("+")) ++i;
    if (t[i].is_symbol("(")) return closing_paren(t, i);
    if (t[i].is_name()) {
        if (t[i + 1].is_symbol("(")) return closing_paren(t, i + 1);
        while (t[i + 1].is_symbol(".") && t[i + 2].is_name()) i += 2;
    }
    return i;
}

// A typed literal DATE '...', TIME '...' or TIMESTAMP '...' in stored form.
std::string typed_literal(const token& type_word, const std::string& text) {
    const db2_kind kind = type_word.is("DATE") ? db2_kind::date
                          : type_word.is("TIME") ? db2_kind::time : db2_kind::timestamp;
    datetime_parts p;
    if (!parse_datetime(text, kind, p)) {
        throw_server(-180,
                     "The syntax of the string representation of a datetime value is incorrect.",
                     "22007");
    }
    int digits = 6;
    if (const auto dot = text.find_first_of(".,", 19); kind == db2_kind::timestamp &&
                                                     text.size() > 19 && dot != std::string::npos)
        digits = std::max(6, static_cast<int>(text.size() - dot - 1));
    return quote_string(format_datetime(p, kind, digits));
}

// The row-limiting clauses from token i on, OFFSET n ROWS and FETCH FIRST m ROWS ONLY (either
// or both, in that order), as SQLite's LIMIT m OFFSET n, which must put LIMIT first (-1: no
// limit); i moves to the clauses' last token. Empty when token i starts neither.
std::string row_limit(const std::vector<token>& t, std::size_t& i) {
    std::string offset;
    std::size_t at = i;
    if (t[at].is("OFFSET") && t[at + 1].kind == token::number) {
        if (!(t[at + 2].is("ROW") || t[at + 2].is("ROWS")))
            throw_syntax_error(std::string(t[at + 2].text), "OFFSET", "ROWS");
        offset = " OFFSET " + t[at + 1].text;
        at += 3;
    }
    std::string limit = "-1";
    if (t[at].is("FETCH") && (t[at + 1].is("FIRST") || t[at + 1].is("NEXT"))) {
        at += 2;
        limit = t[at].kind == token::number ? t[at++].text : "1";
        if (!(t[at].is("ROW") || t[at].is("ROWS")) || !t[at + 1].is("ONLY"))
            throw_syntax_error(std::string(t[at].text), "FETCH FIRST", "ROWS ONLY");
        at += 2;
    } else if (offset.empty()) {
        return {};
    }
    i = at - 1;
    return "LIMIT " + limit + offset;
}

}  // namespace

std::string session::translate_query(const query_stmt& q) {
    const auto& t = q.tokens;
    std::string out;
    std::vector<bool> in_from{false};
    std::set<std::string> ctes;
    bool expect_table = false;
    // WITH name AS (...): those names are not catalogue tables.
    if (!t.empty() && t[0].is("WITH")) {
        for (std::size_t i = 1; i + 1 < t.size(); ++i) {
            if (t[i].is_name() && (t[i + 1].is("AS") || t[i + 1].is_symbol("(")) &&
                (t[i - 1].is("WITH") || t[i - 1].is_symbol(",")))
                ctes.insert(t[i].text);
        }
    }
    // Where each emitted piece starts in `out`, so that an operand already written can be
    // wrapped in a function call (labelled durations).
    std::vector<std::size_t> starts;
    auto emit = [&](std::string_view piece) {
        if (!out.empty()) out.push_back(' ');
        starts.push_back(out.size());
        out.append(piece);
    };
    auto piece = [&](std::size_t k) {
        const std::size_t end = k + 1 < starts.size() ? starts[k + 1] - 1 : out.size();
        return std::string_view(out).substr(starts[k], end - starts[k]);
    };
    // Start of the operand that ends with the last piece.
    auto operand_start = [&]() -> std::size_t {
        std::size_t k = starts.size() - 1;
        if (piece(k) == ")") {
            int depth = 0;
            for (;; --k) {
                if (piece(k) == ")") ++depth;
                else if (piece(k) == "(" && --depth == 0) break;
                if (k == 0) break;
            }
            if (k > 0 && !piece(k - 1).empty()) {
                const char c = piece(k - 1).back();
                const bool name = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == '"';
                static const std::set<std::string, std::less<>> words = {
                    "AND", "OR", "NOT", "WHERE", "SELECT", "ON", "WHEN", "THEN", "ELSE", "IN",
                    "BY", "HAVING", "CASE", "AS", "DISTINCT", "ALL", "SET", "VALUES", "EXISTS"};
                if (name && !words.count(piece(k - 1))) --k;
            }
        } else {
            while (k >= 2 && piece(k - 1) == ".") k -= 2;
        }
        return starts[k];
    };
    // Tokens replaced by other text: the position of the token, the text and the index of the
    // token where reading goes on.
    std::map<std::size_t, std::pair<std::string, std::size_t>> replaced;
    // Text owed after a token (a ')' or a COLLATE clause); what was asked for last belongs to
    // the innermost expression and is written first.
    std::map<std::size_t, std::vector<std::string>> after_token;
    auto close_before = [&](std::size_t i) {
        while (!after_token.empty() && after_token.begin()->first < i) {
            const auto& texts = after_token.begin()->second;
            for (auto it = texts.rbegin(); it != texts.rend(); ++it) out += " " + *it;
            after_token.erase(after_token.begin());
        }
    };
    for (std::size_t i = 0; i + 1 < t.size(); ++i) {
        close_before(i);
        if (auto r = replaced.find(i); r != replaced.end()) {
            emit(r->second.first);
            i = r->second.second - 1;
            continue;
        }
        const token& tok = t[i];
        const auto source = std::string_view(q.text).substr(tok.begin, tok.finish - tok.begin);
        if (expect_table && tok.is_name()) {
            expect_table = false;
            qualified_name name{"", tok.text};
            if (t[i + 1].is_symbol(".") && t[i + 2].is_name()) {
                name.schema = tok.text;
                name.name = t[i + 2].text;
                i += 2;
            }
            if (name.schema.empty() && ctes.count(name.name)) {
                emit(quote_stored(name.name));
                continue;
            }
            auto table = require_table(name);
            emit(quote_identifier(table->storage_name()));
            const token& after = t[i + 1];
            const bool has_alias = after.is("AS") || after.kind == token::quoted ||
                                   (after.kind == token::word && !is_clause_word(after));
            if (!has_alias) emit("AS " + quote_stored(table->name));
            continue;
        }
        expect_table = false;
        if (tok.kind == token::word) {
            if (tok.is("FROM") || tok.is("JOIN")) {
                if (tok.is("FROM")) in_from.back() = true;
                expect_table = true;
                emit(tok.text);
                continue;
            }
            if (is_clause_word(tok)) in_from.back() = false;
            if (std::string limit = row_limit(t, i); !limit.empty()) {
                emit(limit);
                continue;
            }
            if (tok.is("WITH") && i > 0 && (t[i + 1].is("UR") || t[i + 1].is("CS") ||
                                            t[i + 1].is("RS") || t[i + 1].is("RR"))) {
                ++i;
                continue;
            }
            if (tok.is("FOR") && (t[i + 1].is("READ") || t[i + 1].is("FETCH")) &&
                t[i + 2].is("ONLY")) {
                i += 2;
                continue;
            }
            if (tok.is("OPTIMIZE") && t[i + 1].is("FOR")) {
                i += 3;
                if (t[i + 1].is("ROW") || t[i + 1].is("ROWS")) ++i;
                continue;
            }
            if (tok.is("CURRENT") && (t[i + 1].is("DATE") || t[i + 1].is("TIME") ||
                                      t[i + 1].is("TIMESTAMP"))) {
                emit("DB2_CURRENT_" + t[i + 1].text + "()");
                ++i;
                continue;
            }
            if (tok.is("CURRENT_DATE") || tok.is("CURRENT_TIME") || tok.is("CURRENT_TIMESTAMP")) {
                emit("DB2_" + tok.text + "()");
                continue;
            }
            if ((tok.is("CURRENT") && (t[i + 1].is("SCHEMA") || t[i + 1].is("SQLID"))) ||
                tok.is("CURRENT_SCHEMA")) {
                emit(quote_string(schema_));
                if (tok.is("CURRENT")) ++i;
                continue;
            }
            if (tok.is("CONCAT")) {
                emit("||");
                continue;
            }
            if ((tok.is("DATE") || tok.is("TIME") || tok.is("TIMESTAMP")) &&
                t[i + 1].kind == token::string) {
                emit(typed_literal(tok, t[i + 1].text));
                ++i;
                continue;
            }
            if ((tok.is("DATE") || tok.is("TIME") || tok.is("TIMESTAMP")) && t[i + 1].is_symbol("(")) {
                after_token[closing_paren(t, i + 1)].push_back("COLLATE DB2" + tok.text);
            }
            if (tok.is("CAST") && t[i + 1].is_symbol("(")) {
                // CAST(x AS type) checks its value as DB2 does: DB2_CAST(x, 'type').
                const std::size_t close = closing_paren(t, i + 1);
                const std::size_t as = last_at_depth(t, i + 1, close, 1, [](const token& k) { return k.is("AS"); });
                if (as != 0) {
                    const auto type_text = std::string_view(q.text).substr(
                        t[as + 1].begin, t[close].begin - t[as + 1].begin);
                    emit("DB2_CAST(");
                    replaced[as] = {", " + quote_string(type_text) + ")", close + 1};
                    ++i;
                    continue;
                }
            }
            if (tok.is("TIMESTAMPDIFF") && t[i + 1].is_symbol("(") && t[i + 2].kind == token::number &&
                t[i + 3].is_symbol(",") && t[i + 4].is("CHAR") && t[i + 5].is_symbol("(")) {
                // TIMESTAMPDIFF(n, CHAR(a - b)) without timestamp subtraction in SQLite.
                const std::size_t inner = closing_paren(t, i + 5);
                const std::size_t minus =
                    last_at_depth(t, i + 7, inner, 0, [](const token& k) { return k.is_symbol("-"); });
                if (minus != 0 && t[inner + 1].is_symbol(")")) {
                    emit("DB2_TIMESTAMPDIFF(" + t[i + 2].text + ", (");
                    replaced[minus] = {"), (", minus + 1};
                    replaced[inner] = {"))", inner + 2};
                    i += 5;
                    continue;
                }
            }
        } else if (tok.kind == token::symbol) {
            if (tok.text == "(") in_from.push_back(false);
            else if (tok.text == ")" && in_from.size() > 1) in_from.pop_back();
            else if (tok.text == "," && in_from.back()) expect_table = true;
            if ((tok.text == "+" || tok.text == "-") && !starts.empty() &&
                (t[i + 1].kind == token::number || t[i + 1].kind == token::param ||
                 t[i + 1].is_name()) &&
                is_duration_unit(t[i + 2])) {
                // A labelled duration: x + 3 DAYS.
                const std::size_t at = operand_start();
                out.insert(at, "DB2_ADD_DURATION(");
                const std::string amount(std::string_view(q.text).substr(t[i + 1].begin, t[i + 1].finish - t[i + 1].begin));
                const std::string amount_sql = t[i + 1].kind == token::quoted ? quote_stored(t[i + 1].text) : amount;
                // Compared with a literal, the result follows date and time rules too.
                out += ", " + std::string(tok.text == "-" ? "-" : "") + amount_sql + ", '" +
                       t[i + 2].text + "') COLLATE DB2DATETIME";
                while (!starts.empty() && starts.back() > at) starts.pop_back();
                i += 2;
                continue;
            }
            static const std::set<std::string, std::less<>> comparisons = {"=", "<>", "!=", "<", ">", "<=", ">="};
            if (comparisons.count(tok.text) && i > 0 && t[i - 1].kind == token::string &&
                t[i + 1].kind == token::string) {
                // Two strings compare as DB2 compares them: the shorter padded with blanks.
                replaced[i + 1] = {quote_string(t[i + 1].text) + " COLLATE RTRIM", i + 2};
            }
            if (tok.text == "/") {
                // DB2 fails on division by zero where SQLite answers NULL.
                emit("/ DB2_DIVISOR(");
                after_token[operand_end(t, i + 1)].push_back(")");
                continue;
            }
        } else if (tok.kind == token::graphic_string) {
            emit(quote_string(tok.text));
            continue;
        } else if (tok.kind == token::quoted) {
            emit(quote_stored(tok.text));
            continue;
        }
        emit(source);
    }
    close_before(t.size());
    return out;
}

namespace {

// The first word of each item of the outermost select list: COUNT and XML2CLOB items have
// types that SQLite cannot report.
std::vector<std::string> select_item_heads(const std::vector<token>& t) {
    std::vector<std::string> heads;
    std::size_t i = 0;
    int depth = 0;
    // Skip a WITH clause: the outermost SELECT is the first one at depth 0 after it.
    for (; i < t.size(); ++i) {
        if (t[i].is_symbol("(")) ++depth;
        else if (t[i].is_symbol(")")) --depth;
        else if (depth == 0 && t[i].is("SELECT")) break;
    }
    if (i >= t.size()) return heads;
    ++i;
    if (t[i].is("DISTINCT") || t[i].is("ALL")) ++i;
    bool start = true;
    for (; i < t.size() && t[i].kind != token::end; ++i) {
        if (depth == 0 && (t[i].is("FROM") || t[i].is("WHERE") || t[i].is("GROUP") || t[i].is("ORDER") ||
                           t[i].is("FETCH") || t[i].is("UNION"))) break;
        if (start) {
            heads.push_back(t[i].kind == token::word ? t[i].text : "");
            start = false;
        }
        if (t[i].is_symbol("(")) ++depth;
        else if (t[i].is_symbol(")")) --depth;
        else if (depth == 0 && t[i].is_symbol(",")) start = true;
    }
    return heads;
}

}  // namespace

std::vector<result_column> session::describe(sqlite3_stmt* stmt, const sqlite_cursor* cursor,
                                             const std::vector<std::string>& item_heads) {
    std::vector<result_column> cols;
    const int n = sqlite3_column_count(stmt);
    for (int i = 0; i < n; ++i) {
        result_column c;
        const char* name = sqlite3_column_name(stmt, i);
        c.name = name ? decode_name(name) : "";
        const char* origin_table = sqlite3_column_table_name(stmt, i);
        const char* origin_column = sqlite3_column_origin_name(stmt, i);
        const column_meta* meta = nullptr;
        std::shared_ptr<const table_meta> table;
        if (origin_table && origin_column) {
            const std::string storage = decode_name(origin_table);
            const auto dot = storage.find('.');
            if (dot != std::string::npos) {
                table = db_->find_table(storage.substr(0, dot), storage.substr(dot + 1));
                if (table) meta = table->find(decode_name(origin_column));
            }
        }
        if (meta) {
            c.type = meta->type;
            c.nullable = meta->nullable;
            c.auto_unique = meta->generated != 0;
            c.schema = table->schema;
            c.table = table->name;
        } else {
            // An expression: DB2 names it by its position and types it from its value.
            const bool named = !c.name.empty() &&
                               c.name.find_first_of("()*+-/|' ,.") == std::string::npos;
            const std::string head = static_cast<std::size_t>(i) < item_heads.size() ? item_heads[static_cast<std::size_t>(i)] : "";
            if (!named) c.name = std::to_string(i + 1);
            if (head == "COUNT") {
                c.type = {db2_kind::integer, 0, 0};
                c.nullable = false;
            } else if (head == "XML2CLOB") {
                c.type = {db2_kind::clob, 2147483647, 0};
            } else {
                switch (cursor ? cursor->first_row_kind(i) : cell_null) {
                case cell_integer: c.type = {db2_kind::bigint, 0, 0}; break;
                case cell_real: c.type = {db2_kind::double_, 0, 0}; break;
                case cell_blob: c.type = {db2_kind::varchar_bit, 32672, 0}; break;
                case cell_text:
                    // Date arithmetic and the datetime functions give values in stored form;
                    // a string constant (no word at the item's head) stays a string.
                    if (auto dt = stored_datetime_type(cursor->get_bytes(i)); dt && !head.empty()) {
                        c.type = *dt;
                        break;
                    }
                    [[fallthrough]];
                default: c.type = {db2_kind::varchar, 32672, 0}; break;
                }
            }
        }
        cols.push_back(std::move(c));
    }
    return cols;
}

namespace {

void bind_params(sqlite3_stmt* s, int count, const param_reader& params) {
    for (int p = 0; p < count; ++p) {
        const value v = params(p, 0);
        switch (v.kind) {
        case value::null: sqlite3_bind_null(s, p + 1); break;
        case value::integer: sqlite3_bind_int64(s, p + 1, v.i); break;
        case value::real: sqlite3_bind_double(s, p + 1, v.d); break;
        case value::blob:
            sqlite3_bind_blob(s, p + 1, v.s.data(), static_cast<int>(v.s.size()), SQLITE_TRANSIENT);
            break;
        default:
            sqlite3_bind_text(s, p + 1, v.s.data(), static_cast<int>(v.s.size()), SQLITE_TRANSIENT);
            break;
        }
    }
}

// SQLite's complaints about a translated query, in DB2's words.
[[noreturn]] void throw_prepare_error(sqlite3* db, std::string_view sql) {
    const std::string msg = sqlite3_errmsg(db);
    if (msg.rfind("no such column: ", 0) == 0) {
        std::string col = msg.substr(16);
        throw_server(-206,
                     "\"" + col + "\" is not valid in the context where it is used.", "42703",
                     "42S22");
    }
    if (msg.rfind("no such table: ", 0) == 0) {
        // Only a view over a dropped table names a table the catalogue does not know.
        throw_server(-575,
                     "View or materialized query table \"" + decode_name(msg.substr(15)) +
                         "\" cannot be used because it has been marked inoperative.",
                     "51024");
    }
    if (msg.rfind("no such function: ", 0) == 0) {
        throw_server(-440,
                     "No authorized routine named \"" + msg.substr(18) +
                         "\" of type \"FUNCTION\" having compatible arguments was found.",
                     "42884");
    }
    std::string token = "END OF STATEMENT";
    if (const auto near = msg.find("near \""); near != std::string::npos) {
        const auto close = msg.find('"', near + 6);
        token = msg.substr(near + 6, close - near - 6);
    }
    (void)sql;
    throw_syntax_error(token, "", "<query>");
}

// A translated query prepared, or its error in DB2's words.
sqlite_stmt prepare_query(sqlite3* db, const std::string& sql) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &raw, nullptr) != SQLITE_OK) {
        sqlite3_finalize(raw);
        throw_prepare_error(db, sql);
    }
    return sqlite_stmt(raw);
}

}  // namespace

std::vector<result_column> session::describe_query(const query_stmt& q) {
    return run_query(q, {}).columns;
}

std::vector<result_column> session::describe_prepared(const prepared_statement& stmt) {
    const auto* q = std::get_if<query_stmt>(&stmt.ast);
    if (!q || q->is_delete) return {};
    const std::string sql = translate_query(*q);
    sqlite_stmt owned = prepare_query(db_->handle(), sql);
    return describe(owned.get(), nullptr, select_item_heads(q->tokens));
}

result_set session::run_query(const query_stmt& q, const param_reader& params) {
    const std::string sql = translate_query(q);
    sqlite_stmt stmt = prepare_query(db_->handle(), sql);
    sqlite3_stmt* raw = stmt.get();
    bind_params(raw, q.param_count, params);
    auto cursor = std::make_unique<sqlite_cursor>(std::move(stmt));
    result_set rs;
    rs.columns = describe(raw, cursor.get(), select_item_heads(q.tokens));
    rs.rows = std::move(cursor);
    return rs;
}

std::int64_t session::run_delete(const query_stmt& q, const param_reader& params) {
    const std::string sql = translate_query(q);
    sqlite_stmt stmt = prepare_query(db_->handle(), sql);
    bind_params(stmt.get(), q.param_count, params);
    stmt.step();
    return sqlite3_changes(db_->handle());
}

// ---------------------------------------------------------------------------------------------
// INSERT

value session::evaluate(const insert_expr& e, const column_meta& column, const table_meta& table,
                        const param_reader& params, int row) {
    switch (e.kind) {
    case insert_expr::literal: return e.v;
    case insert_expr::param: return params(e.param_index, row);
    case insert_expr::current_date: return value::make_text(now_db2_timestamp().substr(0, 10));
    case insert_expr::current_time: return value::make_text(now_db2_timestamp().substr(11, 8));
    case insert_expr::current_timestamp: return value::make_text(now_db2_timestamp());
    case insert_expr::user: return value::make_text(user_);
    case insert_expr::concat: {
        std::string joined;
        bool binary = true;
        for (const auto& part : e.parts) {
            const value v = evaluate(part, column, table, params, row);
            if (v.kind == value::null) return value{};
            if (v.kind != value::blob) binary = false;
            if (v.kind == value::integer) joined += std::to_string(v.i);
            else if (v.kind == value::real) joined += format_double(v.d);
            else joined += v.s;
        }
        return binary ? value::make_blob(joined) : value::make_text(joined);
    }
    case insert_expr::sql: {
        query_stmt q;
        q.text = "VALUES (" + e.sql_text + ")";
        q.tokens = tokenize(q.text);
        q.param_count = e.param_count;
        result_set rs = run_query(q, [&](int p, int) { return params(e.param_index + p, row); });
        return rs.rows->next() ? cell_value(*rs.rows, 0) : value{};
    }
    case insert_expr::default_: break;
    }
    // DEFAULT: the identity's next value, the column default, or NULL.
    if (column.generated) return value::make_int(db_->next_identity(table, column));
    if (column.default_text) return evaluate(parse_default(*column.default_text), column, table, params, row);
    return value{};
}

session::row_rules session::rules_for(const table_meta& table) {
    row_rules r;
    auto row_query = [&](const std::string& select_list, const std::string& condition) {
        query_stmt q;
        q.text = "SELECT " + select_list + " FROM " + db2_table_ref(table);
        q.tokens = tokenize(q.text);
        std::string sql = translate_query(q) + " WHERE rowid = ?";
        if (!condition.empty()) {
            query_stmt c;
            c.text = condition;
            c.tokens = tokenize(c.text);
            sql += " AND NOT (" + translate_query(c) + ")";
        }
        return db_->prepare(sql);
    };
    std::string assignments;
    for (const auto& c : table.columns) {
        if (c.expression.empty()) continue;
        r.generated.emplace_back(&c, row_query("(" + c.expression + ")", ""));
        assignments += (assignments.empty() ? "" : ", ") + quote_stored(c.name) + " = ?";
    }
    if (!assignments.empty()) {
        r.store_generated = db_->prepare("UPDATE " + quote_identifier(table.storage_name()) +
                                         " SET " + assignments + " WHERE rowid = ?");
    }
    for (const auto& k : table.checks) r.checks.emplace_back(k.name, row_query("1", k.condition));
    return r;
}

void session::apply_rules(row_rules& rules, const table_meta& table, std::int64_t rowid) {
    int n = 0;
    for (auto& [column, select] : rules.generated) {
        select.bind(1, rowid);
        value v = select.step() ? select.cell(0) : value{};
        select.reset();
        v = coerce(v, column->type, column->name);
        check_not_null(v, table, *column);
        rules.store_generated.bind_value(++n, v);
    }
    if (n > 0) {
        rules.store_generated.bind(n + 1, rowid);
        rules.store_generated.step();
        rules.store_generated.reset();
    }
    for (auto& [name, violated] : rules.checks) {
        violated.bind(1, rowid);
        const bool fails = violated.step();
        violated.reset();
        if (fails) {
            throw_server(-545,
                         "The requested operation is not allowed because a row does not "
                         "satisfy the check constraint \"" + table.schema + "." + table.name +
                             "." + name + "\".",
                         "23513");
        }
    }
}

std::int64_t session::run_update(const update_stmt& s, const param_reader& params) {
    auto table = require_table(s.table);
    if (table->type != 'T') not_a_permitted_target();
    // The new values of every matching row are read first, then written one row at a time,
    // each checked as an INSERT checks it.
    std::vector<const column_meta*> targets;
    std::string select = "SELECT ROWID";
    for (std::size_t k = 0; k < s.columns.size(); ++k) {
        const column_meta* c = table->find(s.columns[k]);
        if (!c) not_a_column(s.columns[k], table->schema + "." + table->name);
        const bool is_default = iequals(s.expressions[k], "DEFAULT");
        if ((c->generated == 'A' || !c->expression.empty()) && !is_default) generated_always(c->name);
        if (!c->expression.empty()) continue;  // recomputed with the row
        targets.push_back(c);
        select += ", " + (is_default ? std::string("NULL") : "(" + s.expressions[k] + ")");
    }
    select += " FROM " + s.table_text;
    if (!s.where.empty()) select += " WHERE " + s.where;
    query_stmt q;
    q.text = select;
    q.tokens = tokenize(select);
    q.param_count = s.param_count;
    std::vector<std::pair<std::int64_t, std::vector<value>>> changes;
    {
        result_set rs = run_query(q, params);
        while (rs.rows->next()) {
            std::vector<value> row;
            for (std::size_t k = 0; k < targets.size(); ++k) row.push_back(cell_value(*rs.rows, static_cast<int>(k) + 1));
            changes.emplace_back(rs.rows->get_int(0), std::move(row));
        }
    }
    std::string sql = "UPDATE " + quote_identifier(table->storage_name()) + " SET ";
    for (std::size_t k = 0; k < targets.size(); ++k) sql += (k ? ", " : "") + quote_stored(targets[k]->name) + " = ?";
    sql += " WHERE rowid = ?";
    sqlite_stmt stmt = db_->prepare(sql);
    row_rules rules = rules_for(*table);
    insert_expr default_expr;
    default_expr.kind = insert_expr::default_;
    for (auto& [rowid, values] : changes) {
        std::size_t k = 0;
        for (std::size_t col = 0; col < s.columns.size(); ++col) {
            const column_meta* c = table->find(s.columns[col]);
            if (!c->expression.empty()) continue;
            value v = iequals(s.expressions[col], "DEFAULT")
                          ? evaluate(default_expr, *c, *table, params, 0)
                          : std::move(values[k]);
            v = coerce(v, c->type, c->name);
            check_not_null(v, *table, *c);
            stmt.bind_value(static_cast<int>(++k), v);
        }
        stmt.bind(static_cast<int>(k) + 1, rowid);
        if (!targets.empty()) {
            stmt.step();
            stmt.reset();
        }
        apply_rules(rules, *table, rowid);
    }
    return static_cast<std::int64_t>(changes.size());
}

std::int64_t session::run_insert(const insert_stmt& s, const param_reader& params, int rows) {
    auto table = require_table(s.table);
    if (table->type != 'T') not_a_permitted_target();
    const auto& cols = table->columns;
    // Position of each table column in the statement's column list (-1: not given).
    std::vector<int> position(cols.size(), -1);
    if (s.columns.empty()) {
        for (std::size_t i = 0; i < cols.size(); ++i) position[i] = static_cast<int>(i);
    } else {
        for (std::size_t k = 0; k < s.columns.size(); ++k) {
            const column_meta* c = table->find(s.columns[k]);
            if (!c) not_a_column(s.columns[k], table->schema + "." + table->name);
            position[static_cast<std::size_t>(c->colno)] = static_cast<int>(k);
        }
    }
    const std::size_t width = s.columns.empty() ? cols.size() : s.columns.size();

    std::string sql = "INSERT INTO " + quote_identifier(table->storage_name()) + " (";
    for (std::size_t i = 0; i < cols.size(); ++i) {
        sql += (i ? ", " : "") + quote_stored(cols[i].name);
    }
    sql += ") VALUES (";
    for (std::size_t i = 0; i < cols.size(); ++i) sql += i ? ", ?" : "?";
    sql += ")";
    sqlite_stmt stmt = db_->prepare(sql);

    insert_expr default_expr;
    default_expr.kind = insert_expr::default_;
    row_rules rules = rules_for(*table);
    const bool has_rules = !rules.generated.empty() || !rules.checks.empty();
    std::int64_t count = 0;
    auto insert_one = [&](const std::function<const insert_expr*(std::size_t)>& given, int row) {
        for (std::size_t i = 0; i < cols.size(); ++i) {
            const column_meta& c = cols[i];
            const insert_expr* e = position[i] >= 0 ? given(static_cast<std::size_t>(position[i]))
                                                    : &default_expr;
            if ((c.generated == 'A' || !c.expression.empty()) && e->kind != insert_expr::default_)
                generated_always(c.name);
            value v = coerce(evaluate(*e, c, *table, params, row), c.type, c.name);
            if (c.expression.empty()) check_not_null(v, *table, c);
            stmt.bind_value(static_cast<int>(i) + 1, v);
        }
        stmt.step();
        stmt.reset();
        if (has_rules) apply_rules(rules, *table, sqlite3_last_insert_rowid(db_->handle()));
        ++count;
    };

    if (!s.select.empty()) {
        query_stmt q;
        q.tokens = s.select;
        q.text = s.select_text;
        // Token offsets refer to the whole INSERT text; shift them to the query's own text.
        const std::size_t base = s.select.front().begin;
        for (auto& t : q.tokens) {
            t.begin -= base;
            t.finish -= base;
        }
        result_set rs = run_query(q, params);
        if (rs.columns.size() != width) {
            throw_server(-117, "The number of values assigned is not the same as the number of "
                               "specified or implied columns or variables.", "42802");
        }
        std::vector<insert_expr> cells(width);
        while (rs.rows->next()) {
            for (std::size_t k = 0; k < width; ++k) cells[k].v = cell_value(*rs.rows, static_cast<int>(k));
            insert_one([&](std::size_t k) { return &cells[k]; }, 0);
        }
        return count;
    }
    for (const auto& r : s.rows) {
        if (r.size() != width) {
            throw_server(-117, "The number of values assigned is not the same as the number of "
                               "specified or implied columns or variables.", "42802");
        }
    }
    for (int row = 0; row < rows; ++row) {
        for (const auto& r : s.rows) insert_one([&](std::size_t k) { return &r[k]; }, row);
    }
    return count;
}

}  // namespace db2s
