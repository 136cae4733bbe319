#pragma once
// What the reader knows per DB2 column type (variant tag, buffer, bind target, cell to value),
// and the column-wise fetch buffers of one statement.

#include "db2_cli.hpp"

#include "ole_var.hpp"
#include "udb_sche.hpp"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

/// A DB2 column descriptor: the common descriptor plus the CLI data type the server reported.
struct db2_ftd : t_ftd {
    SQLSMALLINT sql_type = SQL_UNKNOWN_TYPE;

    db2_ftd(std::uint32_t size, std::u16string name, std::uint16_t vartype, bool b_not_null,
            bool b_auto_increment, const ole_variant& default_value, std::uint32_t reserved,
            SQLSMALLINT sql_type)
        : t_ftd(size, std::move(name), vartype, b_not_null, b_auto_increment, default_value, reserved),
          sql_type(sql_type) {}
};

/// The type knowledge of one DB2 CLI data type.
struct ora_type {
    /// Variant tag a column of `sql_type` gets in the schema.
    static std::uint16_t get_vartype(SQLSMALLINT sql_type);
    /// Bytes of one fetch cell; `precision` only matters for DECIMAL/NUMERIC.
    static std::uint32_t get_buffer_size(SQLSMALLINT sql_type, std::uint32_t size,
                                         std::uint8_t precision);
    /// CLI target (C) type a column of `sql_type` is bound with.
    static SQLSMALLINT get_target_type(SQLSMALLINT sql_type);
    /// Large objects are bound as locators and read whole when their row is delivered.
    static bool is_lob(SQLSMALLINT sql_type);
    /// Text kinds whose indicator cells are preset before binding.
    static bool is_preset_text(SQLSMALLINT sql_type);
    /// The descriptor word of a date column: the date kind of `sql_type` (1 TIMESTAMP, 2 DATE,
    /// 3 TIME) and, for a timestamp, its fraction digits in bits 8-15.
    static std::uint32_t get_date_reserved(SQLSMALLINT sql_type, std::uint32_t fraction_digits);
    /// The precision/scale word (precision * 256 + scale) of a non-date column. A DECFLOAT's
    /// exponent moves from value to value, so its own scale of 0 would round every fraction away
    /// in the destination: it gets the widest exact decimal MySQL offers, 65 digits with 30 after
    /// the point.
    static std::uint32_t get_reserved(SQLSMALLINT sql_type, std::uint32_t precision, std::uint32_t scale);
};

/// Catalogue texts to values.
struct ora_field {
    /// A default or literal text as a value of tag `vartype`: quoted text and dates lose one
    /// pair of enclosing quotes and their doubled quotes; a 26-character DB2 timestamp becomes
    /// calendar time with its microseconds (hour 24 as the next day's midnight). A null text is
    /// an internal assertion.
    static ole_variant get_variant(std::uint16_t vartype, std::uint32_t size, const char16_t* text);
};

/// A DECFLOAT text as a value: exact (tag 14) when the digits and exponent fit the decimal
/// payload, else the text as DB2 wrote it (tag 8: NaN, the infinities, extreme exponents), so
/// that no value is ever changed on the way; the writer keeps or refuses it. Empty on an
/// empty text.
ole_variant db2_decfloat_value(std::u16string_view text);

/// The special register an unquoted catalogue default names (CURRENT TIMESTAMP, CURRENT_DATE,
/// USER, SESSION_USER, CURRENT SCHEMA...), or udb_reg_none for any other text.
udb_default_register db2_default_register(std::u16string_view text);

class db2_cache;

/// The fetch cells of one column for a block of rows, and how a cell becomes a value.
class db2_cache_column {
public:
    db2_cache_column(db2_cache& cache, std::u16string name, SQLUSMALLINT number,
                     SQLSMALLINT sql_type, std::uint32_t size, std::uint8_t scale,
                     std::uint8_t precision, bool not_null, const ole_variant& default_value);
    db2_cache_column(const db2_cache_column&) = delete;
    db2_cache_column& operator=(const db2_cache_column&) = delete;

    /// Binds the column's cells (or locator cells, allocating the two locator statements).
    void bind(SQLHSTMT statement);
    /// The value of the cell of `row` in the current block; SQL NULL is an empty value.
    ole_variant get(std::size_t row) { return (this->*getter_)(row); }

    const std::u16string& name() const noexcept { return name_; }
    SQLSMALLINT sql_type() const noexcept { return sql_type_; }
    SQLSMALLINT target_type() const noexcept { return target_type_; }
    std::uint32_t buffer_size() const noexcept { return buffer_size_; }
    const ole_variant& default_value() const noexcept { return default_value_; }
    /// Length/indicator cell of `row`.
    SQLLEN indicator(std::size_t row) const noexcept;

private:
    using getter_fn = ole_variant (db2_cache_column::*)(std::size_t row);
    void set_bind_params();
    std::byte* cell(std::size_t row) const noexcept { return data_.get() + row * buffer_size_; }
    SQLLEN* indicators() const noexcept;

    ole_variant get_text(std::size_t row);
    ole_variant get_decimal(std::size_t row);
    ole_variant get_decfloat(std::size_t row);
    ole_variant get_short(std::size_t row);
    ole_variant get_long(std::size_t row);
    ole_variant get_bigint(std::size_t row);
    ole_variant get_float(std::size_t row);
    ole_variant get_double(std::size_t row);
    ole_variant get_timestamp(std::size_t row);
    ole_variant get_binary(std::size_t row);
    ole_variant get_bit(std::size_t row);
    ole_variant get_tinyint(std::size_t row);
    ole_variant get_blob(std::size_t row);
    ole_variant get_clob(std::size_t row);

    getter_fn getter_ = nullptr;
    std::unique_ptr<std::byte[]> data_; // cells, then (aligned) the indicator cells
    std::size_t indicator_offset_ = 0;
    ole_variant default_value_;
    SQLSMALLINT sql_type_;
    SQLSMALLINT target_type_ = SQL_C_WCHAR;
    std::uint32_t buffer_size_ = 0;
    std::uint8_t scale_;
    std::uint8_t precision_;
    SQLUSMALLINT number_;
    db2_cache& cache_;
    bool not_null_;
    std::u16string name_;
    db2_handle length_stmt_;    // locator statements: they must be idle, not the cursor's own
    db2_handle substring_stmt_;
};

/// Column-wise fetch buffers of one statement, a block of rows at a time.
class db2_cache {
public:
    static constexpr std::uint32_t default_block_size = 100;

    explicit db2_cache(std::uint32_t block_size = default_block_size) : block_size_(block_size) {}

    /// One column per schema column, in schema order (the schema holds db2_ftd descriptors).
    void allocate(const udb_schema& schema);
    /// Sets the row array size and column-wise binding on `statement` and binds every column.
    void bind(SQLHSTMT statement);

    std::uint32_t block_size() const noexcept { return block_size_; }
    bool empty() const noexcept { return columns_.empty(); }
    std::size_t size() const noexcept { return columns_.size(); }
    db2_cache_column& operator[](std::size_t i) { return *columns_[i]; }

    /// The connection the fetching statement lives on, for the locator statements; the
    /// engine's when none is set.
    void set_connection(SQLHDBC dbc) noexcept { connection_ = dbc; }
    /// A new statement on that connection.
    db2_handle alloc_statement() const;

private:
    SQLHDBC connection_ = SQL_NULL_HANDLE;
    std::uint32_t block_size_;
    std::vector<std::unique_ptr<db2_cache_column>> columns_;
};

// ---------------------------------------------------------------------------------------------
// DB2 as a destination: column types, defaults and literals.

/// Largest VARGRAPHIC length DB2 accepts, in characters; longer text becomes a CLOB.
constexpr std::uint32_t db2_max_vargraphic = 16336;
/// Largest VARCHAR FOR BIT DATA length, in bytes; longer binaries become a BLOB.
constexpr std::uint32_t db2_max_varbinary = 32672;

/// The DB2 column type for a descriptor of the framework (by variant tag, size and `reserved`).
/// A tag no DB2 column can hold is an internal assertion (db2_util).
std::u16string get_db2_type(const t_ftd& column);
/// Whether get_db2_type gives `column` a large-object type (CLOB or BLOB), which takes no
/// default and no NOT NULL here and whose values are sent at execution.
bool is_db2_lob_column(const t_ftd& column);
/// The column's default as a DB2 literal, or empty for none (also for a default the column's
/// type cannot take).
std::u16string make_db2_def_val(const t_ftd& column);
/// `text` as a DB2 literal of tag `tag`; `detail` is the date kind for dates (1 date and time,
/// 2 date, 3 time). Text has its quotes doubled; dates and GUIDs get their DB2 forms.
std::u16string to_db2_str(std::u16string_view text, std::uint16_t tag, std::uint32_t detail);
