#pragma once
// One fetched row of a MySQL result turned into a record of the value model.

#include "udb_sche.hpp"

#include <mysql.h>

#include <cstdint>
#include <string>

/// One cell of a fetched row, carrying the MySQL field type and flags it came from.
class sql_field : public udb_field {
public:
    /// From text already widened from UTF-8 (text columns); `data` null means SQL NULL.
    sql_field(const std::u16string& name, int field_type, unsigned long length, unsigned flags,
              const char16_t* data);
    /// From the raw bytes of the value (numbers, dates, binary columns keep every byte).
    sql_field(const std::u16string& name, int field_type, unsigned long length, unsigned flags,
              const char* data);

    /// The variant's own type.
    std::uint16_t get_type() const override;
};

/// One row of a result: one sql_field per column, in column order.
class sql_record : public udb_record {
public:
    /// `fields` describes the `n_fields` columns, `lengths` and `row` are what the client
    /// library fetched. A missing field-description array is an internal assertion (sql_rec).
    sql_record(unsigned n_fields, const MYSQL_FIELD* fields, const unsigned long* lengths, MYSQL_ROW row);
};
