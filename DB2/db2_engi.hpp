#pragma once
// The process's one DB2 session: environment and connection, diagnostics turned into
// exceptions, catalogue listings, row counts and one-off statements.

#include "db2_cli.hpp"

#include "tk_excp.hpp"
#include "tk_singl.hpp"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class db2_database;

/// A failed CLI call, with the server's diagnostics as its message. Level 0 (the table or
/// operation at hand fails) unless given; a lost connection is level 1. The return code is
/// not kept.
class db2_exception : public tk_exception {
public:
    db2_exception(int code, std::string_view text, int level = tk_level_item);
};

/// Owns the environment and the connection. Every DB2 class reaches the client through it and
/// hands every return code to check_err. Must outlive every statement made on its connection.
class db2_engine : public tk_singleton<db2_engine> {
public:
    db2_engine();
    ~db2_engine();

    /// Loads the client and allocates the environment and the connection. A missing client
    /// (library, symbol or environment) raises "Cannot find DB2 environment...".
    void initialize();
    /// Connects, initialising first and disconnecting an earlier connection.
    void connect(const std::u16string& dsn, const std::u16string& user,
                 const std::u16string& password);
    bool is_connected() const noexcept { return connected_; }

    /// Returns `rc` when the call succeeded: 0, or SQL_SUCCESS_WITH_INFO, whose diagnostics
    /// are traced. Any other code (no-data included) raises db2_exception with the diagnostics
    /// of `handle`; at level 1 when they say the connection is lost (SQLSTATE 08S01, 08003 or
    /// 40003), as nothing more can be read then.
    static SQLRETURN check_err(SQLRETURN rc, SQLSMALLINT handle_type, SQLHANDLE handle);

    /// Names of the schemas; "Not connected to DB2 server" before a connect.
    std::vector<std::u16string> get_contents();
    /// Appends to `out` the schemas (pattern starting with "%") or the tables of a schema
    /// (of catalogue type `type`: "TABLE", "VIEW").
    void get_tables(const std::u16string& schema_pattern, const std::u16string& table_pattern,
                    std::vector<std::u16string>& out, const std::u16string& type = u"TABLE");
    /// A source database over `schema`, owned by the caller; user and password are only traced.
    std::unique_ptr<db2_database> open_db(const std::u16string& schema,
                                          const std::u16string& user,
                                          const std::u16string& password);
    /// Runs one statement that yields no rows.
    void execute(const std::u16string& sql);
    /// Rows of a table given by its quoted SQL name; a NULL count is 0.
    std::int32_t count_rows(const std::u16string& quoted_name);

    /// The connection handle, for statements of the readers.
    SQLHDBC connection() const noexcept { return dbc_.get(); }
    /// The environment handle, for further connections (a destination in another database).
    SQLHENV environment() const noexcept { return env_.get(); }
    /// A new statement on the connection (checked against the connection).
    db2_handle alloc_statement();

    const std::u16string& dsn() const noexcept { return dsn_; }
    const std::u16string& user() const noexcept { return user_; }

private:
    bool initialized_ = false;
    std::u16string dsn_;
    std::u16string user_;
    std::u16string password_;
    bool connected_ = false;
    // Declared environment first: members go in reverse order, connection before environment.
    db2_handle env_;
    db2_handle dbc_;
};

/// `name` between double quotes, each double quote inside doubled: a DB2 delimited identifier.
std::u16string db2_quote_name(std::u16string_view name);
/// `name` as a catalogue search pattern that matches only itself: "_", "%" and the escape
/// character "\" are escaped, so that ORDER_ITEMS does not also match ORDERXITEMS.
std::u16string db2_exact_pattern(std::u16string_view name);
