#include "sql_link.hpp"

#include "sql_db.hpp"

bool sql_database_link::query(std::string_view statement) { return database_.try_query_append(statement); }

bool sql_database_link::send_query(std::string_view statement) { return database_.start_query_append(statement); }

bool sql_database_link::read_query_result() { return database_.finish_query_append(); }

std::optional<std::string> sql_database_link::query_value(std::string_view statement, unsigned column) {
    sql_connection& connection = database_.connection();
    if (!connection.query(statement)) return std::nullopt;
    sql_result result = connection.store_result();
    MYSQL_ROW row = result ? mysql_fetch_row(result.get()) : nullptr;
    if (!row || mysql_num_fields(result.get()) <= column || !row[column]) return std::nullopt;
    return std::string(row[column]);
}

std::string sql_database_link::error() { return database_.connection().error(); }

unsigned sql_database_link::error_number() { return database_.connection().error_number(); }
