#pragma once
// Translation between the value model and the text of MySQL statements: column types, name
// quoting, and variants from fetched rows; the cell literals and DEFAULT values are in
// sql_lit.hpp, included here. The column definitions, the direct table writer and the dump
// writer all go through these functions, so a table written directly and one written to a dump
// file get identical types and literals.

#include "ole_var.hpp"
#include "sql_lit.hpp"
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

/// True for the number columns (`ole_type_props::number_column`: 2-6, 11, 14, 16-23), whose
/// literals go bare when their text is a number. Not udb_is_numeric_type, which leaves out 22
/// and 23 (no value of theirs is read as a number).
bool is_numeric_type(std::uint16_t vt) noexcept;
/// True for 7 and 8 (`ole_type_props::quoted`): the literals that go between single quotes.
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
