#pragma once
// A further DB2 connection beside the engine's, and the few statement helpers a destination
// needs on any connection.

#include "db2_cli.hpp"

#include <string>
#include <vector>

/// A connection of its own on the engine's environment, so that a destination may live in
/// another database than the source. Connected on construction (a failure raises
/// db2_exception), disconnected and freed on destruction. The engine must outlive it, and every
/// statement made on it must go before it.
class db2_connection {
public:
    db2_connection(const std::u16string& dsn, const std::u16string& user, const std::u16string& password);
    ~db2_connection();
    db2_connection(const db2_connection&) = delete;
    db2_connection& operator=(const db2_connection&) = delete;

    SQLHDBC get() const noexcept { return dbc_.get(); }

private:
    db2_handle dbc_;
    bool connected_ = false;
};

/// `text` as a DB2 string constant: between single quotes, each single quote inside doubled.
std::u16string db2_string_literal(const std::u16string& text);
/// A new statement on `dbc` (checked against the connection).
db2_handle db2_alloc_statement(SQLHDBC dbc);
/// Runs one statement that yields no rows on `dbc`; raises db2_exception.
void db2_execute(SQLHDBC dbc, const std::u16string& sql);
/// The first column of every row of a query on `dbc`, as text (NULL as empty); raises
/// db2_exception.
std::vector<std::u16string> db2_query_column(SQLHDBC dbc, const std::u16string& sql);
