#include "sql_parser.hpp"

#include "diagnostics.hpp"
#include "text.hpp"

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <limits>

namespace db2s {

namespace {

// A constant with an exponent is a DOUBLE unless a DOUBLE cannot hold it (beyond its range or
// its 17 significant digits): then, as in DB2, it is a DECFLOAT constant, kept as its text.
value float_constant(const std::string& s) {
    std::size_t digits = 0;
    bool leading = true;
    for (char c : s) {
        if (c == 'e' || c == 'E') break;
        if (c < '0' || c > '9') continue;
        if (leading && c == '0') continue;
        leading = false;
        ++digits;
    }
    errno = 0;
    const double d = std::strtod(s.c_str(), nullptr);
    if (errno == ERANGE || digits > 17) return value::make_number(s);
    return value::make_real(d);
}

[[noreturn]] void invalid_length(std::string_view column) {
    throw_server(-604,
                 "The length, precision, or scale attribute for column, distinct type, "
                 "structured type, array type, attribute of structured type, routine, cast "
                 "target type, type mapping, or global variable \"" + std::string(column) +
                     "\" is not valid.",
                 "42611");
}

[[noreturn]] void invalid_identity(std::string_view column) {
    throw_server(-574,
                 "DEFAULT value or IDENTITY attribute value is not valid for column \"" +
                     std::string(column) + "\".",
                 "42894");
}

class parser {
public:
    parser(std::string_view sql) : sql_(sql), t_(tokenize(sql)) {}

    statement_ast statement();
    insert_expr default_expression();
    db2_type whole_type() {
        db2_type t = type("CAST");
        if (peek().kind != token::end) fail("END OF STATEMENT");
        return t;
    }

private:
    const token& peek(std::size_t ahead = 0) const {
        return t_[std::min(pos_ + ahead, t_.size() - 1)];
    }
    const token& take() {
        const token& t = peek();
        if (pos_ < t_.size() - 1) ++pos_;
        return t;
    }
    bool accept(std::string_view word) {
        if (peek().is(word)) { take(); return true; }
        return false;
    }
    bool accept_symbol(std::string_view s) {
        if (peek().is_symbol(s)) { take(); return true; }
        return false;
    }
    [[noreturn]] void fail(std::string_view expected) const {
        const token& t = peek();
        std::string shown = t.kind == token::end ? "END OF STATEMENT"
                                                 : std::string(sql_.substr(t.begin, t.finish - t.begin));
        // DB2 quotes a few words of the text before the unexpected token.
        std::size_t from = t.begin > 30 ? t.begin - 30 : 0;
        std::string before(sql_.substr(from, t.begin - from));
        while (!before.empty() && before.back() == ' ') before.pop_back();
        throw_syntax_error(shown, before, expected);
    }
    void expect(std::string_view word) {
        if (!accept(word)) fail(word);
    }
    void expect_symbol(std::string_view s) {
        if (!accept_symbol(s)) fail(s);
    }
    std::string name() {
        if (!peek().is_name()) fail("<identifier>");
        return take().text;
    }
    qualified_name qualified() {
        qualified_name q;
        q.name = name();
        if (accept_symbol(".")) {
            q.schema = q.name;
            q.name = name();
        }
        return q;
    }
    std::int64_t integer() {
        bool negative = accept_symbol("-");
        if (!negative) accept_symbol("+");
        if (peek().kind != token::number) fail("<integer>");
        const std::string& s = take().text;
        std::int64_t v = 0;
        const auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
        if (ec != std::errc() || p != s.data() + s.size()) fail("<integer>");
        return negative ? -v : v;
    }
    std::vector<std::string> name_list() {
        expect_symbol("(");
        std::vector<std::string> out;
        do out.push_back(name()); while (accept_symbol(","));
        expect_symbol(")");
        return out;
    }
    void skip_balanced() {
        expect_symbol("(");
        int depth = 1;
        while (depth > 0) {
            if (peek().kind == token::end) fail(")");
            const token& t = take();
            if (t.is_symbol("(")) ++depth;
            else if (t.is_symbol(")")) --depth;
        }
    }
    // The DB2 text inside a parenthesised group, which is consumed.
    std::string balanced_text() {
        const std::size_t open = pos_;
        skip_balanced();
        const std::size_t from = t_[open].finish, to = t_[pos_ - 1].begin;
        return std::string(sql_.substr(from, to - from));
    }
    // The text from token `from` up to (not including) the current token.
    std::string text_since(std::size_t from) const {
        if (pos_ <= from) return {};
        return std::string(sql_.substr(t_[from].begin, t_[pos_ - 1].finish - t_[from].begin));
    }
    int count_params() const {
        int n = 0;
        for (const auto& t : t_) n += t.kind == token::param;
        return n;
    }

    db2_type type(const std::string& column);
    std::int64_t lob_length(std::int64_t max);
    std::string default_value(const db2_type& type);
    key_spec key_after_keyword(std::string name);
    void references(key_spec& key);
    void identity_options(std::int64_t& start, std::int64_t& increment, bool* has_start);
    column_spec column(std::vector<key_spec>& keys, std::vector<check_spec>& checks);
    insert_expr expression();
    insert_expr simple_expression();
    insert_expr term();

    statement_ast create();
    statement_ast create_view(bool or_replace);
    statement_ast update();
    statement_ast alter();
    statement_ast insert();
    statement_ast comment();
    statement_ast set();

    std::string_view sql_;
    std::vector<token> t_;
    std::size_t pos_ = 0;
    int param_no_ = 0;
};

// ---------------------------------------------------------------------------------------------

std::int64_t parser::lob_length(std::int64_t max) {
    if (!accept_symbol("(")) return 1048576;
    std::int64_t n = integer();
    std::int64_t unit = 1;
    if (peek().kind == token::word) {
        if (peek().text == "K") unit = 1024;
        else if (peek().text == "M") unit = 1024 * 1024;
        else if (peek().text == "G") unit = 1024LL * 1024 * 1024;
        else fail(")");
        take();
    } else if (peek().kind == token::number) {
        fail(")");
    }
    expect_symbol(")");
    n *= unit;
    // 2G is how DB2 spells the largest LOB: one byte short of it.
    if (n == max + 1) n = max;
    return n;
}

db2_type parser::type(const std::string& column) {
    db2_type t;
    const std::string word = name();
    auto length_in = [&](std::int64_t dflt, std::int64_t lo, std::int64_t hi) {
        std::int64_t n = dflt;
        if (accept_symbol("(")) {
            n = integer();
            expect_symbol(")");
        }
        if (n < lo || n > hi) invalid_length(column);
        return n;
    };
    auto for_bit_data = [&] {
        if (accept("FOR")) {
            if (accept("BIT")) { expect("DATA"); return true; }
            if (accept("SBCS") || accept("MIXED")) { expect("DATA"); return false; }
            fail("BIT");
        }
        return false;
    };
    if (word == "CHAR" || word == "CHARACTER") {
        if (accept("VARYING")) {
            t.length = length_in(0, 1, 32672);
            t.kind = for_bit_data() ? db2_kind::varchar_bit : db2_kind::varchar;
        } else if (accept("LARGE")) {
            expect("OBJECT");
            t.kind = db2_kind::clob;
            t.length = lob_length(2147483647);
        } else {
            t.length = length_in(1, 1, 254);
            t.kind = for_bit_data() ? db2_kind::char_bit : db2_kind::char_;
        }
    } else if (word == "VARCHAR") {
        if (!peek().is_symbol("(")) fail("(");
        t.length = length_in(0, 1, 32672);
        t.kind = for_bit_data() ? db2_kind::varchar_bit : db2_kind::varchar;
    } else if (word == "LONG") {
        if (accept("VARCHAR")) {
            t.length = 32700;
            t.kind = for_bit_data() ? db2_kind::long_varchar_bit : db2_kind::long_varchar;
        } else {
            expect("VARGRAPHIC");
            t.kind = db2_kind::long_vargraphic;
            t.length = 16350;
        }
    } else if (word == "NCHAR" || word == "NVARCHAR" || word == "NCLOB") {
        // The national character types are the graphic types of a Unicode database.
        if (word == "NCLOB") {
            t.kind = db2_kind::dbclob;
            t.length = lob_length(1073741823);
            if (t.length < 1 || t.length > 1073741823) invalid_length(column);
        } else if (word == "NVARCHAR") {
            if (!peek().is_symbol("(")) fail("(");
            t.kind = db2_kind::vargraphic;
            t.length = length_in(0, 1, 16336);
        } else {
            t.kind = db2_kind::graphic;
            t.length = length_in(1, 1, 127);
        }
    } else if (word == "GRAPHIC") {
        t.kind = db2_kind::graphic;
        t.length = length_in(1, 1, 127);
    } else if (word == "VARGRAPHIC") {
        if (!peek().is_symbol("(")) fail("(");
        t.kind = db2_kind::vargraphic;
        t.length = length_in(0, 1, 16336);
    } else if (word == "BINARY") {
        t.kind = db2_kind::binary;
        t.length = length_in(1, 1, 255);
    } else if (word == "VARBINARY") {
        if (!peek().is_symbol("(")) fail("(");
        t.kind = db2_kind::varbinary;
        t.length = length_in(0, 1, 32672);
    } else if (word == "CLOB" || word == "BLOB") {
        t.kind = word == "CLOB" ? db2_kind::clob : db2_kind::blob;
        t.length = lob_length(2147483647);
        if (t.length < 1 || t.length > 2147483647) invalid_length(column);
    } else if (word == "DBCLOB") {
        t.kind = db2_kind::dbclob;
        t.length = lob_length(1073741823);
        if (t.length < 1 || t.length > 1073741823) invalid_length(column);
    } else if (word == "SMALLINT") {
        t.kind = db2_kind::smallint;
    } else if (word == "INT" || word == "INTEGER") {
        t.kind = db2_kind::integer;
    } else if (word == "BIGINT") {
        t.kind = db2_kind::bigint;
    } else if (word == "DEC" || word == "DECIMAL" || word == "NUMERIC" || word == "NUM") {
        t.kind = db2_kind::decimal;
        t.length = 5;
        if (accept_symbol("(")) {
            t.length = integer();
            if (accept_symbol(",")) t.scale = static_cast<int>(integer());
            expect_symbol(")");
        }
        if (t.length < 1 || t.length > 31 || t.scale < 0 || t.scale > t.length) invalid_length(column);
    } else if (word == "REAL") {
        t.kind = db2_kind::real;
    } else if (word == "DOUBLE") {
        accept("PRECISION");
        t.kind = db2_kind::double_;
    } else if (word == "FLOAT") {
        const std::int64_t n = length_in(53, 1, 53);
        t.kind = n <= 24 ? db2_kind::real : db2_kind::double_;
    } else if (word == "DECFLOAT") {
        t.kind = db2_kind::decfloat;
        t.length = length_in(34, 16, 34);
        if (t.length != 16 && t.length != 34) invalid_length(column);
    } else if (word == "DATE") {
        t.kind = db2_kind::date;
    } else if (word == "TIME") {
        t.kind = db2_kind::time;
    } else if (word == "TIMESTAMP") {
        t.kind = db2_kind::timestamp;
        t.length = length_in(6, 0, 12);
    } else if (word == "XML") {
        t.kind = db2_kind::xml;
    } else if (word == "BOOLEAN") {
        t.kind = db2_kind::boolean;
    } else {
        --pos_;
        fail("<data type>");
    }
    return t;
}

std::string parser::default_value(const db2_type& type) {
    const token& t = peek();
    auto system_default = [&]() -> std::string {
        if (type.is_integer() || type.kind == db2_kind::decimal || type.kind == db2_kind::real ||
            type.kind == db2_kind::double_ || type.kind == db2_kind::decfloat)
            return "0";
        if (type.kind == db2_kind::date) return "CURRENT DATE";
        if (type.kind == db2_kind::time) return "CURRENT TIME";
        if (type.kind == db2_kind::timestamp) return "CURRENT TIMESTAMP";
        if (type.is_binary()) return "X''";
        return "''";
    };
    switch (t.kind) {
    case token::string:
    case token::graphic_string:
        return quote_string(take().text);
    case token::hex: {
        static const char* digits = "0123456789ABCDEF";
        std::string out = "X'";
        for (unsigned char c : take().text) {
            out.push_back(digits[c >> 4]);
            out.push_back(digits[c & 15]);
        }
        return out + "'";
    }
    case token::number:
        return take().text;
    case token::symbol:
        if (t.text == "-" || t.text == "+") {
            const std::string sign = take().text == "-" ? "-" : "";
            if (peek().kind != token::number) fail("<number>");
            return sign + take().text;
        }
        return system_default();
    case token::word:
        if (accept("NULL")) return "NULL";
        if (accept("TRUE")) return "TRUE";
        if (accept("FALSE")) return "FALSE";
        if (accept("USER") || accept("SESSION_USER") || accept("SYSTEM_USER")) return "USER";
        if (accept("CURRENT_DATE")) return "CURRENT DATE";
        if (accept("CURRENT_TIME")) return "CURRENT TIME";
        if (accept("CURRENT_TIMESTAMP")) return "CURRENT TIMESTAMP";
        if (t.is("CURRENT")) {
            take();
            if (accept("DATE")) return "CURRENT DATE";
            if (accept("TIME")) return "CURRENT TIME";
            if (accept("TIMESTAMP")) return "CURRENT TIMESTAMP";
            if (accept("USER")) return "USER";
            fail("DATE");
        }
        if ((t.is("DATE") || t.is("TIME") || t.is("TIMESTAMP")) && peek(1).is_symbol("(") &&
            peek(2).kind == token::string && peek(3).is_symbol(")")) {
            take();
            take();
            const std::string literal = take().text;
            take();
            return quote_string(literal);
        }
        return system_default();
    default:
        return system_default();
    }
}

void parser::references(key_spec& key) {
    key.kind = key_spec::foreign;
    key.parent = qualified();
    if (peek().is_symbol("(")) key.parent_columns = name_list();
    while (accept("ON")) {
        if (accept("DELETE")) {
            if (accept("CASCADE")) key.delete_rule = 'C';
            else if (accept("RESTRICT")) key.delete_rule = 'R';
            else if (accept("SET")) { expect("NULL"); key.delete_rule = 'N'; }
            else if (accept("NO")) { expect("ACTION"); key.delete_rule = 'A'; }
            else fail("CASCADE RESTRICT SET NO");
        } else if (accept("UPDATE")) {
            if (accept("RESTRICT")) key.update_rule = 'R';
            else if (accept("NO")) { expect("ACTION"); key.update_rule = 'A'; }
            else fail("RESTRICT NO");
        } else {
            fail("DELETE UPDATE");
        }
    }
    // Informational-constraint words change nothing here.
    if (accept("ENFORCED") || (peek().is("NOT") && peek(1).is("ENFORCED"))) {
        if (accept("NOT")) take();
    }
}

key_spec parser::key_after_keyword(std::string name) {
    key_spec key;
    key.name = std::move(name);
    if (accept("PRIMARY")) {
        expect("KEY");
        key.kind = key_spec::primary;
        key.columns = name_list();
    } else if (accept("UNIQUE")) {
        key.kind = key_spec::unique;
        key.columns = name_list();
    } else if (accept("FOREIGN")) {
        expect("KEY");
        key.columns = name_list();
        expect("REFERENCES");
        references(key);
    } else {
        fail("PRIMARY UNIQUE FOREIGN CHECK");
    }
    return key;
}

void parser::identity_options(std::int64_t& start, std::int64_t& increment, bool* has_start) {
    if (!accept_symbol("(")) return;
    while (!accept_symbol(")")) {
        if (accept_symbol(",")) continue;
        if (accept("START")) {
            expect("WITH");
            start = integer();
            if (has_start) *has_start = true;
        } else if (accept("INCREMENT")) {
            expect("BY");
            increment = integer();
        } else if (accept("MINVALUE") || accept("MAXVALUE") || accept("CACHE")) {
            integer();
        } else if (accept("NO")) {
            if (!(accept("MINVALUE") || accept("MAXVALUE") || accept("CYCLE") || accept("CACHE") ||
                  accept("ORDER")))
                fail("MINVALUE MAXVALUE CYCLE CACHE ORDER");
        } else if (accept("CYCLE") || accept("ORDER")) {
        } else {
            fail("START INCREMENT MINVALUE MAXVALUE CYCLE CACHE ORDER )");
        }
    }
    if (increment == 0) invalid_identity("INCREMENT");
}

column_spec parser::column(std::vector<key_spec>& keys, std::vector<check_spec>& checks) {
    column_spec c;
    c.name = name();
    c.type = type(c.name);
    for (;;) {
        if (accept("NOT")) {
            if (accept("NULL")) c.not_null = true;
            else if (accept("LOGGED") || accept("COMPACT") || accept("HIDDEN")) {}
            else fail("NULL");
        } else if (accept("NULL") || accept("LOGGED") || accept("COMPACT")) {
        } else if (accept("WITH")) {
            expect("DEFAULT");
            c.default_text = default_value(c.type);
        } else if (accept("DEFAULT")) {
            c.default_text = default_value(c.type);
        } else if (accept("GENERATED")) {
            if (accept("ALWAYS")) c.generated = 'A';
            else if (accept("BY")) { expect("DEFAULT"); c.generated = 'D'; }
            else c.generated = 'A';
            expect("AS");
            if (c.generated == 'A' && peek().is_symbol("(")) {
                // A generated expression column: not an identity.
                c.generated = 0;
                c.expression = balanced_text();
                continue;
            }
            expect("IDENTITY");
            if (!c.type.is_integer() && !(c.type.kind == db2_kind::decimal && c.type.scale == 0)) {
                invalid_identity(c.name);
            }
            identity_options(c.start, c.increment, nullptr);
            c.not_null = true;
        } else if (accept("PRIMARY")) {
            expect("KEY");
            keys.push_back({key_spec::primary, "", {c.name}, {}, {}, 'A', 'A'});
        } else if (accept("UNIQUE")) {
            keys.push_back({key_spec::unique, "", {c.name}, {}, {}, 'A', 'A'});
        } else if (accept("REFERENCES")) {
            key_spec k;
            k.columns = {c.name};
            references(k);
            keys.push_back(std::move(k));
        } else if (accept("CONSTRAINT")) {
            std::string cname = name();
            if (accept("PRIMARY")) {
                expect("KEY");
                keys.push_back({key_spec::primary, cname, {c.name}, {}, {}, 'A', 'A'});
            } else if (accept("UNIQUE")) {
                keys.push_back({key_spec::unique, cname, {c.name}, {}, {}, 'A', 'A'});
            } else if (accept("REFERENCES")) {
                key_spec k;
                k.name = cname;
                k.columns = {c.name};
                references(k);
                keys.push_back(std::move(k));
            } else if (accept("CHECK")) {
                checks.push_back({cname, balanced_text()});
            } else {
                fail("PRIMARY UNIQUE REFERENCES CHECK");
            }
        } else if (accept("CHECK")) {
            checks.push_back({"", balanced_text()});
        } else if (accept("INLINE")) {
            expect("LENGTH");
            integer();
        } else if (accept("IMPLICITLY")) {
            expect("HIDDEN");
        } else {
            break;
        }
    }
    return c;
}

statement_ast parser::create() {
    if (accept("SCHEMA")) {
        create_schema_stmt s;
        s.name = name();
        if (accept("AUTHORIZATION")) name();
        if (peek().kind != token::end) fail("END OF STATEMENT");
        return s;
    }
    if (accept("OR")) {
        expect("REPLACE");
        expect("VIEW");
        return create_view(true);
    }
    if (accept("VIEW")) return create_view(false);
    bool unique = accept("UNIQUE");
    if (accept("INDEX")) {
        create_index_stmt s;
        s.unique = unique;
        s.index = qualified();
        expect("ON");
        s.table = qualified();
        expect_symbol("(");
        do {
            std::string col = name();
            char order = 'A';
            if (accept("DESC")) order = 'D';
            else accept("ASC");
            s.columns.emplace_back(std::move(col), order);
        } while (accept_symbol(","));
        expect_symbol(")");
        // INCLUDE, CLUSTER, ALLOW REVERSE SCANS and the like change nothing here.
        return s;
    }
    if (unique) fail("INDEX");
    expect("TABLE");
    create_table_stmt s;
    s.table = qualified();
    expect_symbol("(");
    do {
        if (accept("CONSTRAINT")) {
            std::string cname = name();
            if (accept("CHECK")) { s.checks.push_back({cname, balanced_text()}); continue; }
            s.keys.push_back(key_after_keyword(cname));
        } else if (peek().is("PRIMARY") || peek().is("UNIQUE") || peek().is("FOREIGN")) {
            s.keys.push_back(key_after_keyword(""));
        } else if (accept("CHECK")) {
            s.checks.push_back({"", balanced_text()});
        } else {
            s.columns.push_back(column(s.keys, s.checks));
        }
    } while (accept_symbol(","));
    expect_symbol(")");
    // Storage clauses (IN, INDEX IN, ORGANIZE BY, COMPRESS ...) are accepted and ignored.
    return s;
}

statement_ast parser::create_view(bool or_replace) {
    create_view_stmt s;
    s.or_replace = or_replace;
    s.text = std::string(sql_);
    s.view = qualified();
    if (peek().is_symbol("(")) s.columns = name_list();
    expect("AS");
    const std::size_t from = pos_;
    if (!peek().is("SELECT") && !peek().is("WITH") && !peek().is("VALUES") && !peek().is_symbol("("))
        fail("SELECT");
    std::size_t end = t_.size() - 1;
    // WITH [CASCADED | LOCAL] CHECK OPTION ends the query; it has no rows to check here.
    for (std::size_t i = from; i + 2 < t_.size(); ++i) {
        if (t_[i].is("WITH") && (t_[i + 1].is("CHECK") || t_[i + 2].is("CHECK"))) {
            end = i;
            break;
        }
    }
    pos_ = end;
    s.query = text_since(from);
    if (peek().is("WITH")) {
        take();
        if (!accept("CASCADED")) accept("LOCAL");
        expect("CHECK");
        expect("OPTION");
    }
    if (peek().kind != token::end) fail("END OF STATEMENT");
    return s;
}

statement_ast parser::update() {
    update_stmt s;
    const std::size_t from = pos_;
    s.table = qualified();
    if (!peek().is("SET")) {
        accept("AS");
        name();  // correlation name
    }
    s.table_text = text_since(from);
    expect("SET");
    s.param_count = count_params();
    do {
        s.columns.push_back(name());
        expect_symbol("=");
        const std::size_t start = pos_;
        int depth = 0;
        while (peek().kind != token::end && !(depth == 0 && (peek().is_symbol(",") || peek().is("WHERE")))) {
            if (peek().is_symbol("(")) ++depth;
            else if (peek().is_symbol(")")) --depth;
            take();
        }
        if (pos_ == start) fail("<value>");
        s.expressions.push_back(text_since(start));
    } while (accept_symbol(","));
    if (accept("WHERE")) {
        const std::size_t start = pos_;
        while (peek().kind != token::end) take();
        s.where = text_since(start);
        if (s.where.empty()) fail("<condition>");
    }
    if (peek().kind != token::end) fail("END OF STATEMENT");
    return s;
}

statement_ast parser::alter() {
    expect("TABLE");
    alter_table_stmt s;
    s.table = qualified();
    bool any = false;
    for (;;) {
        if (accept("ADD")) {
            if (accept("CONSTRAINT")) {
                std::string cname = name();
                if (accept("CHECK")) s.add_checks.push_back({cname, balanced_text()});
                else s.add_keys.push_back(key_after_keyword(cname));
            } else if (peek().is("PRIMARY") || peek().is("UNIQUE") || peek().is("FOREIGN")) {
                s.add_keys.push_back(key_after_keyword(""));
            } else if (accept("CHECK")) {
                s.add_checks.push_back({"", balanced_text()});
            } else {
                accept("COLUMN");
                s.add_columns.push_back(column(s.add_keys, s.add_checks));
            }
        } else if (accept("ALTER")) {
            accept("COLUMN");
            alter_column_action a;
            a.column = name();
            if (accept("DROP")) {
                if (accept("IDENTITY")) a.op = alter_column_action::drop_identity;
                else if (accept("DEFAULT")) a.op = alter_column_action::drop_default;
                else if (accept("NOT")) { expect("NULL"); a.op = alter_column_action::drop_not_null; }
                else fail("IDENTITY DEFAULT NOT");
            } else if (accept("SET")) {
                if (accept("GENERATED")) {
                    if (accept("BY")) { expect("DEFAULT"); a.generated = 'D'; }
                    else { accept("ALWAYS"); a.generated = 'A'; }
                    a.op = alter_column_action::set_generated_kind;
                    if (accept("AS")) {
                        expect("IDENTITY");
                        a.op = alter_column_action::set_identity;
                        std::int64_t start = 1;
                        bool has_start = false;
                        identity_options(start, a.increment, &has_start);
                        if (has_start) a.start = start;
                    }
                } else if (accept("DEFAULT")) {
                    a.op = alter_column_action::set_default;
                    a.default_text = default_value(db2_type{});
                } else if (accept("NOT")) {
                    expect("NULL");
                    a.op = alter_column_action::set_not_null;
                } else {
                    fail("GENERATED DEFAULT NOT");
                }
            } else if (accept("RESTART")) {
                a.op = alter_column_action::restart;
                if (accept("WITH")) a.start = integer();
            } else {
                fail("DROP SET RESTART");
            }
            s.alters.push_back(std::move(a));
        } else {
            break;
        }
        any = true;
    }
    if (!any || peek().kind != token::end) fail(any ? "END OF STATEMENT" : "ADD ALTER");
    return s;
}

insert_expr parser::term() {
    insert_expr e;
    const token& t = peek();
    switch (t.kind) {
    case token::string:
    case token::graphic_string:
        e.v = value::make_text(take().text);
        return e;
    case token::hex:
        e.v = value::make_blob(take().text);
        return e;
    case token::number: {
        const std::string& s = take().text;
        std::int64_t i = 0;
        const auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), i);
        if (ec == std::errc() && p == s.data() + s.size()) e.v = value::make_int(i);
        else if (s.find_first_of("eE") != std::string::npos) e.v = float_constant(s);
        else e.v = value::make_number(s);
        return e;
    }
    case token::param:
        take();
        e.kind = insert_expr::param;
        e.param_index = param_no_++;
        return e;
    case token::symbol:
        if (t.text == "-" || t.text == "+") {
            const bool negative = take().text == "-";
            insert_expr inner = term();
            if (inner.kind != insert_expr::literal) fail("<number>");
            if (negative) {
                if (inner.v.kind == value::integer) inner.v.i = -inner.v.i;
                else if (inner.v.kind == value::real) inner.v.d = -inner.v.d;
                else if (inner.v.kind == value::number) inner.v.s = "-" + inner.v.s;
                else fail("<number>");
            }
            return inner;
        }
        if (t.text == "(") {
            take();
            insert_expr inner = expression();
            expect_symbol(")");
            return inner;
        }
        fail("<value>");
    case token::word: {
        if (accept("NULL")) return e;
        if (accept("TRUE")) { e.v = value::make_int(1); return e; }
        if (accept("FALSE")) { e.v = value::make_int(0); return e; }
        if (accept("DEFAULT")) { e.kind = insert_expr::default_; return e; }
        if (accept("USER") || accept("SESSION_USER") || accept("SYSTEM_USER")) {
            e.kind = insert_expr::user;
            return e;
        }
        if (accept("CURRENT_DATE")) { e.kind = insert_expr::current_date; return e; }
        if (accept("CURRENT_TIME")) { e.kind = insert_expr::current_time; return e; }
        if (accept("CURRENT_TIMESTAMP")) { e.kind = insert_expr::current_timestamp; return e; }
        if ((t.is("DATE") || t.is("TIME") || t.is("TIMESTAMP")) && peek(1).kind == token::string) {
            take();  // a typed literal: the column's type checks it
            e.v = value::make_text(take().text);
            return e;
        }
        if (t.is("CURRENT") && !peek(1).is_symbol("(")) {
            take();
            if (accept("DATE")) e.kind = insert_expr::current_date;
            else if (accept("TIME")) e.kind = insert_expr::current_time;
            else if (accept("TIMESTAMP")) e.kind = insert_expr::current_timestamp;
            else if (accept("USER")) e.kind = insert_expr::user;
            else fail("DATE TIME TIMESTAMP");
            return e;
        }
        // Casting functions: the column's own type does the conversion.
        static const char* casts[] = {"DATE", "TIME", "TIMESTAMP", "BLOB", "CLOB", "DBCLOB",
                                      "GRAPHIC", "VARGRAPHIC", "CHAR", "VARCHAR", "DECIMAL",
                                      "DEC", "DOUBLE", "INTEGER", "INT", "SMALLINT", "BIGINT",
                                      "DECFLOAT", "REAL", "BINARY", "VARBINARY", "XMLTEXT",
                                      "XMLPARSE", "CAST", "BOOLEAN"};
        for (const char* f : casts) {
            if (t.is(f) && peek(1).is_symbol("(")) {
                const bool xmlparse = t.is("XMLPARSE");
                const bool cast = t.is("CAST");
                take();
                take();
                if (xmlparse) { expect("DOCUMENT"); }
                insert_expr inner = expression();
                if (xmlparse && (accept("PRESERVE") || accept("STRIP"))) expect("WHITESPACE");
                if (cast) {
                    expect("AS");
                    type("CAST");
                }
                // Length or format arguments of the casting functions are not needed.
                while (accept_symbol(",")) expression();
                expect_symbol(")");
                return inner;
            }
        }
        fail("<value>");
    }
    default:
        fail("<value>");
    }
}

insert_expr parser::expression() {
    const std::size_t from = pos_;
    const int params_before = param_no_;
    try {
        insert_expr e = simple_expression();
        const token& next = peek();
        if (next.kind != token::end && !next.is_symbol(",") && !next.is_symbol(")")) fail("<value>");
        return e;
    } catch (const db2_error&) {
        // Functions, arithmetic and the like: kept as SQL for the query engine to evaluate.
        pos_ = from;
        param_no_ = params_before;
        int depth = 0;
        for (;;) {
            const token& t = peek();
            if (t.kind == token::end || (depth == 0 && (t.is_symbol(",") || t.is_symbol(")")))) break;
            if (t.is_symbol("(")) ++depth;
            else if (t.is_symbol(")")) --depth;
            else if (t.kind == token::param) ++param_no_;
            take();
        }
        if (pos_ == from) throw;
        insert_expr e;
        e.kind = insert_expr::sql;
        e.sql_text = std::string(sql_.substr(t_[from].begin, t_[pos_ - 1].finish - t_[from].begin));
        e.param_index = params_before;
        e.param_count = param_no_ - params_before;
        return e;
    }
}

insert_expr parser::simple_expression() {
    insert_expr first = term();
    if (!peek().is_symbol("||") && !peek().is("CONCAT")) return first;
    insert_expr cat;
    cat.kind = insert_expr::concat;
    cat.parts.push_back(std::move(first));
    while (accept_symbol("||") || accept("CONCAT")) cat.parts.push_back(term());
    return cat;
}

statement_ast parser::insert() {
    expect("INTO");
    insert_stmt s;
    s.table = qualified();
    if (peek().is_symbol("(")) s.columns = name_list();
    s.param_count = count_params();
    if (peek().is("SELECT") || peek().is("WITH")) {
        s.select.assign(t_.begin() + static_cast<long>(pos_), t_.end());
        s.select_text = std::string(sql_.substr(peek().begin));
        return s;
    }
    expect("VALUES");
    do {
        std::vector<insert_expr> row;
        if (accept_symbol("(")) {
            do row.push_back(expression()); while (accept_symbol(","));
            expect_symbol(")");
        } else {
            row.push_back(expression());
        }
        s.rows.push_back(std::move(row));
    } while (accept_symbol(","));
    if (peek().kind != token::end) fail("END OF STATEMENT");
    return s;
}

statement_ast parser::comment() {
    expect("ON");
    comment_stmt s;
    if (accept("TABLE")) {
        s.table = qualified();
    } else if (accept("COLUMN")) {
        // t.c or s.t.c
        std::vector<std::string> parts;
        do parts.push_back(name()); while (accept_symbol("."));
        if (parts.size() == 2) s.table = {"", parts[0]};
        else if (parts.size() == 3) s.table = {parts[0], parts[1]};
        else fail("IS");
        s.column = parts.back();
    } else {
        fail("TABLE COLUMN");
    }
    expect("IS");
    if (peek().kind != token::string) fail("<string>");
    s.text = take().text;
    if (peek().kind != token::end) fail("END OF STATEMENT");
    return s;
}

statement_ast parser::set() {
    accept("CURRENT");
    if (!accept("SCHEMA") && !accept("SQLID")) fail("SCHEMA");
    accept_symbol("=");
    set_schema_stmt s;
    if (peek().kind == token::string) {
        s.schema = take().text;  // a string constant keeps its case
    } else if (accept("USER") || accept("SESSION_USER") || accept("SYSTEM_USER")) {
        s.user_register = true;
    } else if (peek().is("CURRENT") && peek(1).is("USER")) {
        take();
        take();
        s.user_register = true;
    } else {
        s.schema = name();
    }
    if (peek().kind != token::end) fail("END OF STATEMENT");
    if (!s.user_register && s.schema.empty()) {
        throw_server(-567, "\"\" is not a valid authorization ID.", "3F000");
    }
    return s;
}

statement_ast parser::statement() {
    const token& first = peek();
    if (first.is("SELECT") || first.is("WITH") || first.is("VALUES") || first.is("DELETE") ||
        first.is_symbol("(")) {
        query_stmt q;
        q.tokens = t_;
        q.text = std::string(sql_);
        q.is_delete = first.is("DELETE");
        q.param_count = count_params();
        return q;
    }
    if (accept("INSERT")) return insert();
    if (accept("UPDATE")) return update();
    if (accept("TRUNCATE")) {
        // DB2 requires IMMEDIATE; storage and trigger clauses change nothing here.
        truncate_stmt s;
        accept("TABLE");
        s.table = qualified();
        if (accept("DROP") || accept("REUSE")) expect("STORAGE");
        if (accept("IGNORE") || accept("RESTRICT")) { expect("WHEN"); expect("DELETE"); expect("TRIGGERS"); }
        if (accept("CONTINUE")) expect("IDENTITY");
        expect("IMMEDIATE");
        if (peek().kind != token::end) fail("END OF STATEMENT");
        return s;
    }
    if (accept("CREATE")) return create();
    if (accept("ALTER")) return alter();
    if (accept("COMMENT")) return comment();
    if (accept("SET")) return set();
    if (accept("DROP")) {
        drop_stmt d;
        if (accept("TABLE")) d.what = drop_stmt::table;
        else if (accept("INDEX")) d.what = drop_stmt::index;
        else if (accept("SCHEMA")) d.what = drop_stmt::schema;
        else if (accept("VIEW")) d.what = drop_stmt::view;
        else fail("TABLE INDEX SCHEMA VIEW");
        if (d.what == drop_stmt::schema) d.name.name = name();
        else d.name = qualified();
        if (d.what == drop_stmt::schema) accept("RESTRICT");
        if (peek().kind != token::end) fail("END OF STATEMENT");
        return d;
    }
    if (accept("COMMIT") || accept("ROLLBACK")) {
        transaction_stmt s;
        s.commit = first.is("COMMIT");
        accept("WORK");
        if (peek().kind != token::end) fail("END OF STATEMENT");
        return s;
    }
    fail(first.kind == token::end ? "<statement>" : "SELECT INSERT CREATE ALTER DROP SET");
}

insert_expr parser::default_expression() {
    if (peek().is("CURRENT") || peek().is("USER") || peek().is("NULL") || peek().kind != token::word)
        return expression();
    return expression();
}

}  // namespace

statement_ast parse_statement(std::string_view sql) {
    parser p(sql);
    return p.statement();
}

db2_type parse_type(std::string_view text) {
    parser p(text);
    return p.whole_type();
}

insert_expr parse_default(std::string_view default_text) {
    parser p(default_text);
    return p.default_expression();
}

}  // namespace db2s
