#pragma once
// DB2 column types: what the catalogue reports for each, how a value of each is stored in
// SQLite, and how an incoming value is checked and normalised before it is stored.

#include "db2_cli.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace db2s {

enum class db2_kind : std::uint8_t {
    char_, varchar, long_varchar, char_bit, varchar_bit, long_varchar_bit, binary, varbinary,
    graphic, vargraphic, long_vargraphic, smallint, integer, bigint, decimal, real, double_,
    decfloat, date, time, timestamp, blob, clob, dbclob, xml, boolean
};

/// A column type: `length` is bytes for character and binary types, characters for graphic
/// types, precision for DECIMAL/DECFLOAT, fraction digits for TIMESTAMP.
struct db2_type {
    db2_kind kind = db2_kind::varchar;
    std::int64_t length = 0;
    int scale = 0;

    SQLSMALLINT sql_type() const;
    /// COLUMN_SIZE of the catalogue and SQLDescribeCol.
    std::int64_t column_size() const;
    /// BUFFER_LENGTH: bytes a value needs.
    std::int64_t buffer_length() const;
    /// DECIMAL_DIGITS; empty means SQL NULL.
    std::optional<int> decimal_digits() const;
    std::optional<int> radix() const;
    std::optional<std::int64_t> char_octet_length() const;
    /// SYSCAT.COLUMNS.TYPENAME.
    std::string catalog_name() const;
    /// TYPE_NAME of SQLColumns (differs for FOR BIT DATA types).
    std::string odbc_name() const;
    /// The type as written in DDL.
    std::string ddl() const;

    bool is_graphic() const;   // lengths count UTF-16 units
    bool is_character() const; // text stored as UTF-8 (graphic and XML included)
    bool is_binary() const;    // bytes
    bool is_lob() const;       // read through locators (XML included)
    bool is_integer() const;
    bool is_datetime() const;
};

/// A value on its way into or out of SQLite. `number` is exact decimal text from a literal.
struct value {
    enum kind_t : std::uint8_t { null, integer, real, number, text, blob };
    kind_t kind = null;
    std::int64_t i = 0;
    double d = 0;
    std::string s;

    static value make_int(std::int64_t v) { value x; x.kind = integer; x.i = v; return x; }
    static value make_real(double v) { value x; x.kind = real; x.d = v; return x; }
    static value make_text(std::string v) { value x; x.kind = text; x.s = std::move(v); return x; }
    static value make_blob(std::string v) { value x; x.kind = blob; x.s = std::move(v); return x; }
    static value make_number(std::string v) { value x; x.kind = number; x.s = std::move(v); return x; }
};

/// Checks `v` against `type` and returns the stored form (integer, real, text or blob).
/// Failures throw db2_error with DB2's SQLCODE for the condition; `column` names the target.
value coerce(const value& v, const db2_type& type, std::string_view column);

/// Normalises decimal text to exactly `scale` fraction digits (DB2 truncates extra digits).
/// Returns false when the text is not a number or needs more than `precision` digits.
bool normalise_decimal(std::string_view text, int precision, int scale, std::string& out);

/// Parsed date and time parts, nanoseconds in `fraction`; `fraction_digits` as written.
struct datetime_parts {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    std::uint32_t fraction = 0;
    std::uint32_t fraction2 = 0;  // picoseconds beyond `fraction` (digits 10-12), 0-999
};
/// Accepts the ISO and DB2 forms; `what` is the kind of column (DATE, TIME or TIMESTAMP).
bool parse_datetime(std::string_view text, db2_kind what, datetime_parts& out);
/// Stored (and DB2 character) form: 2024-01-31, 13.45.00, 2024-01-31-13.45.00.123456.
std::string format_datetime(const datetime_parts& p, db2_kind what, int fraction_digits);
/// What a character fetch returns: ISO forms with ':' and a blank (2024-01-31 13:45:00.123456).
std::string client_datetime_text(std::string_view stored, db2_kind what);

/// Shortest text that reads back as the same double (DB2 writes 1.5E0 style; ODBC clients
/// parse either).
std::string format_double(double v);

}  // namespace db2s
