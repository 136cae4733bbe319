#pragma once
// Moving result cells into the application's buffers: bound columns with row arrays, and
// SQLGetData for one cell.

#include "handles.hpp"

namespace db2s {

/// Size of a fixed-length C type, 0 for the variable ones (text, binary).
std::size_t c_type_size(SQLSMALLINT c_type);
bool is_known_c_type(SQLSMALLINT c_type);

/// Fetches the next rowset into the bound columns. Returns SQL_NO_DATA at the end and
/// SQL_SUCCESS_WITH_INFO (01004 recorded) when a value was cut; errors throw db2_error.
SQLRETURN fetch_rowset(statement& st);

/// One cell of the current row; repeated calls on a text or binary column continue where the
/// previous one stopped.
SQLRETURN get_data(statement& st, SQLUSMALLINT column, SQLSMALLINT c_type, SQLPOINTER target,
                   SQLLEN buffer_length, SQLLEN* indicator);

/// Encodes decimal text as an IEEE 754 decimal64 or decimal128 with binary-integer
/// significand (the x86-64 encoding); false when it does not fit.
bool encode_decimal_bid(std::string_view text, bool wide, unsigned char* out);

}  // namespace db2s
