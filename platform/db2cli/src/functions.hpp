#pragma once
// DB2's scalar functions, collations and errors inside SQLite: what translated statements call
// so that dates, casts, division and string functions answer as DB2 does.

#include "types.hpp"

#include <optional>
#include <string>
#include <string_view>

struct sqlite3;

namespace db2s {

/// Registers the functions and the collations DB2DATE, DB2TIME, DB2TIMESTAMP (values of any
/// accepted form compare as the instants they stand for) and DB2DECIMAL on a connection.
void register_db2_functions(sqlite3* db);

/// How the SQLite column of a DB2 column is declared (after its name): the affinity and the
/// collation that make comparisons answer as DB2's do. Character strings ignore trailing
/// blanks; decimals, dates and times compare as values, also against literals of another form
/// or type (TEXT affinity turns a number compared with them into text first).
std::string_view storage_declaration(const db2_type& type);

/// DATE, TIME or TIMESTAMP(p) when `text` is a value in the stored form of that type (as date
/// arithmetic and the datetime functions return them); nothing otherwise.
std::optional<db2_type> stored_datetime_type(std::string_view text);

/// A failure raised inside a function travels through SQLite as its error text; this tells
/// such a text apart and rethrows it as the DB2 error it stands for. Returns normally
/// for any other text.
void rethrow_function_error(std::string_view sqlite_message);

/// The date, time or timestamp `text` moved by `amount` units ("DAYS", "MONTH", ...), in the
/// stored form of the kind `text` has. False when the text is no datetime or the unit does not
/// apply to its kind.
bool add_duration(std::string_view text, std::int64_t amount, std::string_view unit,
                  std::string& out);

}  // namespace db2s
