#pragma once
// The server side of one connection: its database, current schema, user and transaction, and
// the execution of statements against them.

#include "database.hpp"
#include "results.hpp"
#include "sql_parser.hpp"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace db2s {

/// Supplies parameter values of one execution: (0-based parameter, 0-based row) to a value.
using param_reader = std::function<value(int param, int row)>;

/// A statement ready to run: parsed once, executed any number of times.
struct prepared_statement {
    std::string text;
    statement_ast ast;
    int param_count = 0;
};

/// What an execution produced.
struct exec_outcome {
    std::optional<result_set> result;
    std::int64_t row_count = -1;
    bool no_data = false;  // a searched DELETE that found no row (SQLCODE +100)
};

class session {
public:
    session(std::unique_ptr<database> db, std::string user);

    database& db() { return *db_; }
    const std::string& current_schema() const { return schema_; }
    void set_current_schema(std::string schema) { schema_ = std::move(schema); }
    const std::string& user() const { return user_; }
    bool autocommit() const { return autocommit_; }
    /// Switching autocommit on commits the open transaction, as DB2 does.
    void set_autocommit(bool on);
    void commit();
    void rollback();
    /// Called after each transaction end so the connection can drop its locators.
    std::function<void()> on_transaction_end;

    prepared_statement prepare(std::string_view sql);
    /// Runs a prepared statement; `rows` parameter rows are read from `params`.
    exec_outcome execute(const prepared_statement& stmt, const param_reader& params, int rows);

    /// The result columns a prepared query will have, before it runs; empty for statements
    /// without a result. Expressions are described as text until a row shows their type.
    std::vector<result_column> describe_prepared(const prepared_statement& stmt);
    /// The result columns of a query, typed as its execution types them (from its first row).
    std::vector<result_column> describe_query(const query_stmt& q);

    /// The SQLite text of a query after table names are resolved (exposed for tests and the
    /// tool's explain output).
    std::string translate_query(const query_stmt& q);

    /// Catalogue of a table, resolving an empty schema to the current one; SQL0204N when absent.
    std::shared_ptr<const table_meta> require_table(const qualified_name& name);

private:
    // A write runs inside a transaction: its own under autocommit, else the open one.
    class write_scope;

    // What a written row must still go through: generated expression columns are computed
    // and check constraints tested once the row is stored.
    struct row_rules {
        std::vector<std::pair<const column_meta*, sqlite_stmt>> generated;
        sqlite_stmt store_generated;
        std::vector<std::pair<std::string, sqlite_stmt>> checks;
    };
    row_rules rules_for(const table_meta& table);
    void apply_rules(row_rules& rules, const table_meta& table, std::int64_t rowid);

    result_set run_query(const query_stmt& q, const param_reader& params);
    std::int64_t run_insert(const insert_stmt& s, const param_reader& params, int rows);
    std::int64_t run_update(const update_stmt& s, const param_reader& params);
    std::int64_t run_delete(const query_stmt& q, const param_reader& params);
    void run_ddl(const statement_ast& ast);
    std::vector<result_column> describe(sqlite3_stmt* stmt, const sqlite_cursor* cursor,
                                        const std::vector<std::string>& item_heads);
    value evaluate(const insert_expr& e, const column_meta& column, const table_meta& table,
                   const param_reader& params, int row);

    std::unique_ptr<database> db_;
    std::string user_;
    std::string schema_;
    bool autocommit_ = true;
    bool in_transaction_ = false;
};

// Shared by the statements that read or write rows and by the DDL.

/// Raises SQL0205N: `column` is not a column of `table` (qualified as written in the message).
[[noreturn]] void not_a_column(std::string_view column, std::string_view table);
/// The DB2 SQL text that names a table, for queries the stand-in builds on the caller's behalf.
std::string db2_table_ref(const table_meta& t);

}  // namespace db2s
