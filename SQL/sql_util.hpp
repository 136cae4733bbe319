#pragma once
// Translation between the value model and the text of MySQL statements: column types, cell
// literals, DEFAULT values, name quoting, and variants from fetched rows. The column
// definitions, the direct table writer and the dump writer all go through these functions, so
// a table written directly and one written to a dump file get identical types and literals.

#include "ole_var.hpp"
#include "udb_sche.hpp"

#include <cstdint>
#include <string>
#include <string_view>

/// Server versions (major * 65536 + minor * 256 + patch) at which the dialect changes.
inline constexpr std::uint32_t sql_ver_index_nullable = 0x031702; ///< 3.23.2: index columns may be NULL
inline constexpr std::uint32_t sql_ver_engine_clause = 0x031722;  ///< above 3.23.34: ENGINE=InnoDB possible
inline constexpr std::uint32_t sql_ver_innodb = 0x03172C;         ///< 3.23.44: InnoDB and foreign keys
inline constexpr std::uint32_t sql_ver_new = 0x040100;            ///< 4.1.0: backquotes, character sets
inline constexpr std::uint32_t sql_ver_varbinary = 0x040102;      ///< 4.1.2: VARBINARY is a byte string
inline constexpr std::uint32_t sql_ver_full_tables = 0x050001;    ///< 5.0.1: SHOW FULL TABLES
inline constexpr std::uint32_t sql_ver_utf8mb4 = 0x050503;        ///< 5.5.3: 4-byte UTF-8

/// What a destination's statements may say beyond the dialect its version number gives:
/// MariaDB numbers its versions apart from MySQL, and a dump file is loaded by a server that
/// is not known when it is written, so newer forms go behind version comments there.
struct sql_dialect {
    std::uint32_t version = 0;
    bool mariadb = false;
    /// A new-dialect dump file.
    bool dump = false;

    /// DATETIME(n) keeps fractions of seconds: MySQL 5.6.4, MariaDB 5.3, new-dialect dumps.
    bool fractional_seconds() const noexcept;
};

/// The " DEFAULT ..." clause of a column whose default is a special register of the source
/// (`t_ftd::default_register`): CURRENT_TIMESTAMP(n) for a DATETIME(n) where the destination
/// allows it for DATETIME (MySQL 5.6.5, MariaDB 10.0), (CURRENT_DATE) and (CURRENT_TIME) as
/// expression defaults where it has them (MySQL 8.0.13, MariaDB 10.2.1); in a dump the clause
/// stands in a version comment, so that an older server skips it. Empty where none can be
/// written (user registers never are: whoever loads the data is not whoever wrote it); each
/// such drop is traced with the column's name.
std::u16string sql_register_default(const t_ftd& column, const sql_dialect& dialect);

/// The character set of the connection and of text columns for a server: "utf8mb4" where it
/// exists, since "utf8" is a 3-byte form that refuses characters outside the Basic
/// Multilingual Plane; "utf8" on older servers.
const char* sql_text_charset(std::uint32_t server_version) noexcept;

/// A name as the statements write it: between backquotes, with every backquote inside doubled,
/// from 4.1.0 on; bare before (old servers' validators admit no characters needing quotes).
/// The only quoting of names: every statement built from names uses it.
std::u16string sql_quote_name(std::u16string_view name, std::uint32_t server_version);
/// The same, appended to `out` as UTF-8.
void sql_append_quoted_name(std::string& out, std::u16string_view name, std::uint32_t server_version);

/// True for the numeric type codes 2-6, 11, 14, 16-23.
bool is_numeric_type(std::uint16_t vt) noexcept;
/// True for 7 and 8: the literals that go between single quotes.
bool needs_quotes(std::uint16_t vt) noexcept;

/// The MySQL column type of a source column. Byte arrays (8209) become VARBINARY(n) for sizes
/// 1 to 255 on servers that have it, else the BLOB kinds. An unknown type code is an internal
/// assertion (sql_util). This form reads the version of the session, or takes the oldest
/// dialect when there is none.
std::u16string get_native_type(std::uint16_t vt, std::uint32_t size, std::uint32_t reserved);
/// A date-and-time column whose `reserved` holds fraction digits in bits 8-15 becomes
/// DATETIME(n), n at most 6, when `fractional_seconds` (the destination keeps them).
std::u16string get_native_type(std::uint16_t vt, std::uint32_t size, std::uint32_t reserved,
                               std::uint32_t server_version, bool fractional_seconds = false);

/// The type code of a fetched column from its client-library field type and flags.
std::uint16_t get_mysql_vartype(int field_type, unsigned flags) noexcept;

/// A variant from text; a null text gives an empty variant.
ole_variant get_variant(std::uint16_t vt, const char* text);
ole_variant get_variant(std::uint16_t vt, const char16_t* text);
/// A variant from one fetched value (null data: empty variant). Binary columns become byte
/// arrays of exactly `length` bytes (the wide form takes the low byte of each unit); text is
/// read as UTF-8, the connection's character set.
ole_variant get_variant(int field_type, unsigned long length, unsigned flags, const char* data);
ole_variant get_variant(int field_type, unsigned long length, unsigned flags, const char16_t* data);

/// The literal of a text for a column of type `vt`: NULL for 0 and 1, "" for an empty text,
/// otherwise escaped (backslash before backslash and quote, NUL as \0) and single-quoted when
/// needs_quotes(vt). Dates are printed in the canonical form first. Binary types (65, 70)
/// follow the binary rule (GUIDs and hexadecimal or decimal literals pass as they are).
std::string to_mysql_str(std::string_view text, std::uint16_t vt);
/// The wide form; binary types are an internal assertion ("Don't process BLOBs here!").
std::u16string to_mysql_wstr(std::u16string_view text, std::uint16_t vt);
/// The literal of a cell by its own type; byte arrays are written byte by byte.
std::string to_mysql_str(const udb_field& cell);

/// The UTF-8 literal of one cell for a column, as INSERT and UPDATE statements write it. A
/// TIME column gets the time of day alone; a value that a DECIMAL(p, s) column cannot hold
/// exactly (too many digits, NaN, an infinity, text that is no number), or a date after
/// 9999-12-31 (a time past 838:59:59), raises sql_exception (the server's errors 1264, 1366 and
/// 1292), the failure of its record in either mode.
std::string get_fld_append_str(const udb_field& cell, const t_ftd& column);
/// The same, appended to `out`: the per-cell path of the writers, which allocates nothing
/// beyond the growth of `out` for text and byte-array cells.
void append_fld_str(std::string& out, const udb_field& cell, const t_ftd& column);

/// The value of the column's DEFAULT clause, or empty when it gets none (bad defaults are
/// dropped, not reported).
std::u16string make_mysql_def_val(const t_ftd& column);
