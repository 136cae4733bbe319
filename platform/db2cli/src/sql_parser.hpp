#pragma once
// DB2 statements the stand-in understands, parsed into plain structures. Queries are kept as
// tokens: they are rewritten for SQLite once the catalogue can resolve their table names.

#include "sql_lexer.hpp"
#include "types.hpp"

#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace db2s {

struct qualified_name {
    std::string schema;  // empty: the current schema
    std::string name;
};

struct key_spec {
    enum kind_t { primary, unique, foreign } kind = primary;
    std::string name;  // empty: the system names it
    std::vector<std::string> columns;
    qualified_name parent;
    std::vector<std::string> parent_columns;
    char delete_rule = 'A';  // SYSCAT.REFERENCES letters: C, R, N, A
    char update_rule = 'A';
};

struct column_spec {
    std::string name;
    db2_type type;
    bool not_null = false;
    std::optional<std::string> default_text;  // catalogue form
    char generated = 0;                       // 'A', 'D' or 0
    std::int64_t start = 1, increment = 1;
    std::string expression;  // GENERATED ALWAYS AS (expression): its DB2 text
};

/// A check constraint: its name (empty: the system names it) and its condition's DB2 text.
struct check_spec {
    std::string name;
    std::string condition;
};

struct create_table_stmt {
    qualified_name table;
    std::vector<column_spec> columns;
    std::vector<key_spec> keys;
    std::vector<check_spec> checks;
};

struct create_view_stmt {
    qualified_name view;
    std::vector<std::string> columns;  // empty: named by the query
    std::string query;                 // DB2 text of the fullselect
    std::string text;                  // the whole statement, as SYSCAT.VIEWS keeps it
    bool or_replace = false;
};

struct create_index_stmt {
    qualified_name index;
    qualified_name table;
    bool unique = false;
    std::vector<std::pair<std::string, char>> columns;  // name, 'A' or 'D'
};

struct create_schema_stmt {
    std::string name;
};

struct drop_stmt {
    enum what_t { table, index, schema, view } what = table;
    qualified_name name;
};

struct alter_column_action {
    enum op_t { drop_identity, set_identity, set_generated_kind, restart, set_default,
                drop_default, set_not_null, drop_not_null } op = drop_identity;
    std::string column;
    char generated = 'A';
    std::optional<std::int64_t> start;
    std::int64_t increment = 1;
    std::optional<std::string> default_text;
};

struct alter_table_stmt {
    qualified_name table;
    std::vector<key_spec> add_keys;
    std::vector<column_spec> add_columns;
    std::vector<alter_column_action> alters;
    std::vector<check_spec> add_checks;
};

struct comment_stmt {
    qualified_name table;
    std::string column;  // empty: a table comment
    std::string text;
};

struct set_schema_stmt {
    std::string schema;
    bool user_register = false;  // SET SCHEMA USER and friends
};

/// One value of a VALUES row.
struct insert_expr {
    enum kind_t { literal, param, default_, current_date, current_time, current_timestamp,
                  user, concat, sql } kind = literal;
    value v;
    int param_index = 0;  // 0-based; for `sql`, that of its first parameter
    int param_count = 0;  // `sql`: parameters inside the expression
    std::vector<insert_expr> parts;  // concat operands
    std::string sql_text;  // any other expression, in DB2 SQL, evaluated by a query
};

struct insert_stmt {
    qualified_name table;
    std::vector<std::string> columns;  // empty: every column in order
    std::vector<std::vector<insert_expr>> rows;
    std::vector<token> select;  // INSERT ... SELECT: the query's tokens
    std::string select_text;
    int param_count = 0;
};

/// SELECT, VALUES, WITH and DELETE: rewritten for SQLite when executed.
struct query_stmt {
    std::vector<token> tokens;
    std::string text;
    bool is_delete = false;
    int param_count = 0;
};

/// UPDATE t [alias] SET c = expression, ... [WHERE condition], kept as DB2 text pieces.
struct update_stmt {
    qualified_name table;
    std::string table_text;  // the table reference with its alias, as written
    std::vector<std::string> columns;
    std::vector<std::string> expressions;  // "DEFAULT" for the column default
    std::string where;                     // empty: every row
    int param_count = 0;
};

struct truncate_stmt {
    qualified_name table;
};

struct transaction_stmt {
    bool commit = true;
};

using statement_ast = std::variant<query_stmt, insert_stmt, create_table_stmt, create_index_stmt,
                                   create_schema_stmt, drop_stmt, alter_table_stmt, comment_stmt,
                                   set_schema_stmt, transaction_stmt, create_view_stmt,
                                   update_stmt, truncate_stmt>;

/// Parses one statement; anything outside the supported subset is SQL0104N.
statement_ast parse_statement(std::string_view sql);

/// Parses a data type as written in DDL or a CAST (`VARCHAR(10)`, `DECIMAL(9,2)`, ...).
db2_type parse_type(std::string_view text);

/// Parses a catalogue default text back into a value expression (for INSERT and checks).
insert_expr parse_default(std::string_view default_text);

}  // namespace db2s
