#pragma once
// The DB2 Call Level Interface as this project uses it: types, constants and the signature of
// every function, with the ABI of the 64-bit Linux `libdb2.so` (the plain CLI flavour, not the
// 64-bit ODBC one). Lengths (SQLLEN/SQLULEN) are 32-bit and handles are 32-bit integers, so a
// 64-bit ODBC header must never be mixed in: its wider types would silently change every call.
//
// The library is loaded at run time; the `_fn` pointer types below are what the symbols are cast
// to. DB2CLI_FUNCTIONS lists every function once so that a loader can build its table from it.

#include <cstdint>

// ---------------------------------------------------------------------------------------------
// Base types
// ---------------------------------------------------------------------------------------------

using SQLSMALLINT = std::int16_t;
using SQLUSMALLINT = std::uint16_t;
using SQLINTEGER = std::int32_t;
using SQLUINTEGER = std::uint32_t;
using SQLLEN = std::int32_t;    // 32-bit in the CLI flavour of the library
using SQLULEN = std::uint32_t;  // idem
using SQLBIGINT = std::int64_t;
using SQLUBIGINT = std::uint64_t;
using SQLRETURN = std::int16_t;
using SQLPOINTER = void*;
using SQLCHAR = unsigned char;
using SQLWCHAR = char16_t;      // one UTF-16 unit; same size and signedness as IBM's unsigned short
using SQLDBCHAR = char16_t;
using SQLREAL = float;
using SQLDOUBLE = double;

using SQLHANDLE = SQLINTEGER;   // small integers handed out by the library, never addresses
using SQLHENV = SQLHANDLE;
using SQLHDBC = SQLHANDLE;
using SQLHSTMT = SQLHANDLE;
using SQLHDESC = SQLHANDLE;

static_assert(sizeof(SQLLEN) == 4 && sizeof(SQLHANDLE) == 4 && sizeof(SQLWCHAR) == 2);

struct DATE_STRUCT {
    SQLSMALLINT year;
    SQLUSMALLINT month;
    SQLUSMALLINT day;
};

struct TIME_STRUCT {
    SQLUSMALLINT hour;
    SQLUSMALLINT minute;
    SQLUSMALLINT second;
};

/// `fraction` is in nanoseconds.
struct TIMESTAMP_STRUCT {
    SQLSMALLINT year;
    SQLUSMALLINT month;
    SQLUSMALLINT day;
    SQLUSMALLINT hour;
    SQLUSMALLINT minute;
    SQLUSMALLINT second;
    SQLUINTEGER fraction;
};

inline constexpr int SQL_MAX_NUMERIC_LEN = 16;

/// `sign` 1 is positive; `val` is the unscaled magnitude, little-endian.
struct SQL_NUMERIC_STRUCT {
    SQLCHAR precision;
    signed char scale;
    SQLCHAR sign;
    SQLCHAR val[SQL_MAX_NUMERIC_LEN];
};

static_assert(sizeof(DATE_STRUCT) == 6 && sizeof(TIME_STRUCT) == 6);
static_assert(sizeof(TIMESTAMP_STRUCT) == 16 && sizeof(SQL_NUMERIC_STRUCT) == 19);

// ---------------------------------------------------------------------------------------------
// Handles, return codes, special lengths
// ---------------------------------------------------------------------------------------------

inline constexpr SQLSMALLINT SQL_HANDLE_ENV = 1;
inline constexpr SQLSMALLINT SQL_HANDLE_DBC = 2;
inline constexpr SQLSMALLINT SQL_HANDLE_STMT = 3;
inline constexpr SQLSMALLINT SQL_HANDLE_DESC = 4;
inline constexpr SQLHANDLE SQL_NULL_HANDLE = 0;
inline constexpr SQLHENV SQL_NULL_HENV = 0;
inline constexpr SQLHDBC SQL_NULL_HDBC = 0;
inline constexpr SQLHSTMT SQL_NULL_HSTMT = 0;

inline constexpr SQLRETURN SQL_SUCCESS = 0;
inline constexpr SQLRETURN SQL_SUCCESS_WITH_INFO = 1;
inline constexpr SQLRETURN SQL_STILL_EXECUTING = 2;
inline constexpr SQLRETURN SQL_NEED_DATA = 99;
inline constexpr SQLRETURN SQL_NO_DATA = 100;
inline constexpr SQLRETURN SQL_NO_DATA_FOUND = 100;
inline constexpr SQLRETURN SQL_ERROR = -1;
inline constexpr SQLRETURN SQL_INVALID_HANDLE = -2;

/// IBM's own success test: 0 and 1 succeed.
constexpr bool SQL_SUCCEEDED(SQLRETURN rc) { return (rc & ~1) == 0; }

inline constexpr SQLINTEGER SQL_NTS = -3;
inline constexpr SQLLEN SQL_NULL_DATA = -1;
inline constexpr SQLLEN SQL_DATA_AT_EXEC = -2;
inline constexpr SQLLEN SQL_NO_TOTAL = -4;
inline constexpr SQLLEN SQL_LEN_DATA_AT_EXEC_OFFSET = -100;
constexpr SQLLEN SQL_LEN_DATA_AT_EXEC(SQLLEN length) { return -length + SQL_LEN_DATA_AT_EXEC_OFFSET; }

inline constexpr int SQL_MAX_MESSAGE_LENGTH = 1024;
inline constexpr int SQL_SQLSTATE_SIZE = 5;

inline constexpr SQLSMALLINT SQL_FALSE = 0;
inline constexpr SQLSMALLINT SQL_TRUE = 1;
inline constexpr SQLSMALLINT SQL_NO_NULLS = 0;
inline constexpr SQLSMALLINT SQL_NULLABLE = 1;
inline constexpr SQLSMALLINT SQL_NULLABLE_UNKNOWN = 2;

/// Length hints for integer-valued attributes passed in the pointer slot.
inline constexpr SQLINTEGER SQL_IS_POINTER = -4;
inline constexpr SQLINTEGER SQL_IS_UINTEGER = -5;
inline constexpr SQLINTEGER SQL_IS_INTEGER = -6;
inline constexpr SQLINTEGER SQL_IS_USMALLINT = -7;
inline constexpr SQLINTEGER SQL_IS_SMALLINT = -8;

// ---------------------------------------------------------------------------------------------
// Attributes
// ---------------------------------------------------------------------------------------------

inline constexpr SQLINTEGER SQL_ATTR_ODBC_VERSION = 200;
inline constexpr SQLINTEGER SQL_OV_ODBC2 = 2;
inline constexpr SQLINTEGER SQL_OV_ODBC3 = 3;

inline constexpr SQLINTEGER SQL_ATTR_AUTOCOMMIT = 102;
inline constexpr SQLINTEGER SQL_AUTOCOMMIT_OFF = 0;
inline constexpr SQLINTEGER SQL_AUTOCOMMIT_ON = 1;
inline constexpr SQLINTEGER SQL_ATTR_CURRENT_SCHEMA = 1254;
inline constexpr SQLINTEGER SQL_ATTR_CONNECTTYPE = 1255;
inline constexpr SQLINTEGER SQL_CONCURRENT_TRANS = 1;
inline constexpr SQLINTEGER SQL_COORDINATED_TRANS = 2;

inline constexpr SQLINTEGER SQL_ATTR_ROW_BIND_TYPE = 5;
inline constexpr SQLINTEGER SQL_BIND_BY_COLUMN = 0;
inline constexpr SQLINTEGER SQL_ATTR_PARAM_BIND_TYPE = 18;
inline constexpr SQLINTEGER SQL_PARAM_BIND_BY_COLUMN = 0;
inline constexpr SQLINTEGER SQL_ATTR_PARAMSET_SIZE = 22;
inline constexpr SQLINTEGER SQL_ATTR_ROW_STATUS_PTR = 25;
inline constexpr SQLINTEGER SQL_ATTR_ROWS_FETCHED_PTR = 26;
inline constexpr SQLINTEGER SQL_ATTR_ROW_ARRAY_SIZE = 27;
inline constexpr SQLINTEGER SQL_ATTR_CURSOR_HOLD = 1250;
inline constexpr SQLINTEGER SQL_ATTR_FREE_LOCATORS_ON_FETCH = 2518;

// Row status values written through SQL_ATTR_ROW_STATUS_PTR.
inline constexpr SQLUSMALLINT SQL_ROW_SUCCESS = 0;
inline constexpr SQLUSMALLINT SQL_ROW_NOROW = 3;
inline constexpr SQLUSMALLINT SQL_ROW_ERROR = 5;
inline constexpr SQLUSMALLINT SQL_ROW_SUCCESS_WITH_INFO = 6;

// ---------------------------------------------------------------------------------------------
// SQLColAttribute fields
// ---------------------------------------------------------------------------------------------

inline constexpr SQLUSMALLINT SQL_DESC_CONCISE_TYPE = 2;
inline constexpr SQLUSMALLINT SQL_COLUMN_LENGTH = 3;
inline constexpr SQLUSMALLINT SQL_DESC_AUTO_UNIQUE_VALUE = 11;
inline constexpr SQLUSMALLINT SQL_DESC_TYPE_NAME = 14;
inline constexpr SQLUSMALLINT SQL_DESC_TABLE_NAME = 15;
inline constexpr SQLUSMALLINT SQL_DESC_SCHEMA_NAME = 16;
inline constexpr SQLUSMALLINT SQL_DESC_CATALOG_NAME = 17;
inline constexpr SQLUSMALLINT SQL_DESC_LABEL = 18;
inline constexpr SQLUSMALLINT SQL_DESC_TYPE = 1002;
inline constexpr SQLUSMALLINT SQL_DESC_LENGTH = 1003;
inline constexpr SQLUSMALLINT SQL_DESC_PRECISION = 1005;
inline constexpr SQLUSMALLINT SQL_DESC_SCALE = 1006;
inline constexpr SQLUSMALLINT SQL_DESC_NULLABLE = 1008;
inline constexpr SQLUSMALLINT SQL_DESC_NAME = 1011;
inline constexpr SQLUSMALLINT SQL_DESC_OCTET_LENGTH = 1013;

// ---------------------------------------------------------------------------------------------
// Statement, catalogue and transaction codes
// ---------------------------------------------------------------------------------------------

inline constexpr SQLUSMALLINT SQL_CLOSE = 0;
inline constexpr SQLUSMALLINT SQL_DROP = 1;
inline constexpr SQLUSMALLINT SQL_UNBIND = 2;
inline constexpr SQLUSMALLINT SQL_RESET_PARAMS = 3;

inline constexpr SQLUSMALLINT SQL_INDEX_UNIQUE = 0;
inline constexpr SQLUSMALLINT SQL_INDEX_ALL = 1;
inline constexpr SQLUSMALLINT SQL_QUICK = 0;
inline constexpr SQLUSMALLINT SQL_ENSURE = 1;
inline constexpr SQLSMALLINT SQL_TABLE_STAT = 0;
inline constexpr SQLSMALLINT SQL_INDEX_CLUSTERED = 1;
inline constexpr SQLSMALLINT SQL_INDEX_HASHED = 2;
inline constexpr SQLSMALLINT SQL_INDEX_OTHER = 3;

inline constexpr SQLSMALLINT SQL_CASCADE = 0;
inline constexpr SQLSMALLINT SQL_RESTRICT = 1;
inline constexpr SQLSMALLINT SQL_SET_NULL = 2;
inline constexpr SQLSMALLINT SQL_NO_ACTION = 3;
inline constexpr SQLSMALLINT SQL_SET_DEFAULT = 4;
inline constexpr SQLSMALLINT SQL_INITIALLY_DEFERRED = 5;
inline constexpr SQLSMALLINT SQL_INITIALLY_IMMEDIATE = 6;
inline constexpr SQLSMALLINT SQL_NOT_DEFERRABLE = 7;

inline constexpr SQLSMALLINT SQL_COMMIT = 0;
inline constexpr SQLSMALLINT SQL_ROLLBACK = 1;

inline constexpr SQLSMALLINT SQL_PARAM_INPUT = 1;

// ---------------------------------------------------------------------------------------------
// SQL data types (as described by the server)
// ---------------------------------------------------------------------------------------------

inline constexpr SQLSMALLINT SQL_UNKNOWN_TYPE = 0;
inline constexpr SQLSMALLINT SQL_CHAR = 1;
inline constexpr SQLSMALLINT SQL_NUMERIC = 2;
inline constexpr SQLSMALLINT SQL_DECIMAL = 3;
inline constexpr SQLSMALLINT SQL_INTEGER = 4;
inline constexpr SQLSMALLINT SQL_SMALLINT = 5;
inline constexpr SQLSMALLINT SQL_FLOAT = 6;
inline constexpr SQLSMALLINT SQL_REAL = 7;
inline constexpr SQLSMALLINT SQL_DOUBLE = 8;
inline constexpr SQLSMALLINT SQL_DATETIME = 9;
inline constexpr SQLSMALLINT SQL_VARCHAR = 12;
inline constexpr SQLSMALLINT SQL_BOOLEAN = 16;
inline constexpr SQLSMALLINT SQL_TYPE_DATE = 91;
inline constexpr SQLSMALLINT SQL_TYPE_TIME = 92;
inline constexpr SQLSMALLINT SQL_TYPE_TIMESTAMP = 93;
inline constexpr SQLSMALLINT SQL_LONGVARCHAR = -1;
inline constexpr SQLSMALLINT SQL_BINARY = -2;
inline constexpr SQLSMALLINT SQL_VARBINARY = -3;
inline constexpr SQLSMALLINT SQL_LONGVARBINARY = -4;
inline constexpr SQLSMALLINT SQL_BIGINT = -5;
inline constexpr SQLSMALLINT SQL_TINYINT = -6;
inline constexpr SQLSMALLINT SQL_BIT = -7;
inline constexpr SQLSMALLINT SQL_WCHAR = -8;
inline constexpr SQLSMALLINT SQL_WVARCHAR = -9;
inline constexpr SQLSMALLINT SQL_WLONGVARCHAR = -10;
inline constexpr SQLSMALLINT SQL_GRAPHIC = -95;
inline constexpr SQLSMALLINT SQL_VARGRAPHIC = -96;
inline constexpr SQLSMALLINT SQL_LONGVARGRAPHIC = -97;
inline constexpr SQLSMALLINT SQL_BLOB = -98;
inline constexpr SQLSMALLINT SQL_CLOB = -99;
inline constexpr SQLSMALLINT SQL_DBCLOB = -350;
inline constexpr SQLSMALLINT SQL_DECFLOAT = -360;
inline constexpr SQLSMALLINT SQL_XML = -370;

/// SQL_DATETIME_SUB codes of the catalogue.
inline constexpr SQLSMALLINT SQL_CODE_DATE = 1;
inline constexpr SQLSMALLINT SQL_CODE_TIME = 2;
inline constexpr SQLSMALLINT SQL_CODE_TIMESTAMP = 3;

// ---------------------------------------------------------------------------------------------
// C data types (what a buffer holds)
// ---------------------------------------------------------------------------------------------

inline constexpr SQLSMALLINT SQL_C_CHAR = 1;
inline constexpr SQLSMALLINT SQL_C_NUMERIC = 2;
inline constexpr SQLSMALLINT SQL_C_LONG = 4;
inline constexpr SQLSMALLINT SQL_C_SHORT = 5;
inline constexpr SQLSMALLINT SQL_C_FLOAT = 7;
inline constexpr SQLSMALLINT SQL_C_DOUBLE = 8;
inline constexpr SQLSMALLINT SQL_C_DEFAULT = 99;
inline constexpr SQLSMALLINT SQL_C_TYPE_DATE = 91;
inline constexpr SQLSMALLINT SQL_C_TYPE_TIME = 92;
inline constexpr SQLSMALLINT SQL_C_TYPE_TIMESTAMP = 93;
inline constexpr SQLSMALLINT SQL_C_BINARY = -2;
inline constexpr SQLSMALLINT SQL_C_TINYINT = -6;
inline constexpr SQLSMALLINT SQL_C_BIT = -7;
inline constexpr SQLSMALLINT SQL_C_WCHAR = -8;
inline constexpr SQLSMALLINT SQL_C_SSHORT = -15;
inline constexpr SQLSMALLINT SQL_C_SLONG = -16;
inline constexpr SQLSMALLINT SQL_C_USHORT = -17;
inline constexpr SQLSMALLINT SQL_C_ULONG = -18;
inline constexpr SQLSMALLINT SQL_C_SBIGINT = -25;
inline constexpr SQLSMALLINT SQL_C_STINYINT = -26;
inline constexpr SQLSMALLINT SQL_C_UBIGINT = -27;
inline constexpr SQLSMALLINT SQL_C_UTINYINT = -28;
inline constexpr SQLSMALLINT SQL_C_DBCHAR = -350;
inline constexpr SQLSMALLINT SQL_C_DECIMAL64 = -360;
inline constexpr SQLSMALLINT SQL_C_DECIMAL128 = -361;
inline constexpr SQLSMALLINT SQL_C_BLOB_LOCATOR = 31;
inline constexpr SQLSMALLINT SQL_C_CLOB_LOCATOR = 41;
inline constexpr SQLSMALLINT SQL_C_DBCLOB_LOCATOR = -351;

// ---------------------------------------------------------------------------------------------
// Functions: the pointer type each exported symbol is cast to
// ---------------------------------------------------------------------------------------------

extern "C" {
using SQLAllocHandle_fn = SQLRETURN (*)(SQLSMALLINT HandleType, SQLHANDLE InputHandle,
                                        SQLHANDLE* OutputHandle);
using SQLFreeHandle_fn = SQLRETURN (*)(SQLSMALLINT HandleType, SQLHANDLE Handle);
using SQLSetEnvAttrW_fn = SQLRETURN (*)(SQLHENV, SQLINTEGER Attribute, SQLPOINTER Value,
                                        SQLINTEGER StringLength);
using SQLSetConnectAttrW_fn = SQLRETURN (*)(SQLHDBC, SQLINTEGER Attribute, SQLPOINTER Value,
                                            SQLINTEGER StringLength);
using SQLConnectW_fn = SQLRETURN (*)(SQLHDBC, SQLWCHAR* DSN, SQLSMALLINT DSNLength,
                                     SQLWCHAR* UID, SQLSMALLINT UIDLength, SQLWCHAR* AuthStr,
                                     SQLSMALLINT AuthStrLength);
using SQLDisconnect_fn = SQLRETURN (*)(SQLHDBC);
using SQLEndTran_fn = SQLRETURN (*)(SQLSMALLINT HandleType, SQLHANDLE Handle,
                                    SQLSMALLINT CompletionType);
/// SQLState receives 5 units and a terminator; BufferLength counts SQLWCHAR units.
using SQLGetDiagRecW_fn = SQLRETURN (*)(SQLSMALLINT HandleType, SQLHANDLE Handle,
                                        SQLSMALLINT RecNumber, SQLWCHAR* SQLState,
                                        SQLINTEGER* NativeError, SQLWCHAR* MessageText,
                                        SQLSMALLINT BufferLength, SQLSMALLINT* TextLength);
using SQLTablesW_fn = SQLRETURN (*)(SQLHSTMT, SQLWCHAR* CatalogName, SQLSMALLINT CatalogLength,
                                    SQLWCHAR* SchemaName, SQLSMALLINT SchemaLength,
                                    SQLWCHAR* TableName, SQLSMALLINT TableLength,
                                    SQLWCHAR* TableType, SQLSMALLINT TableTypeLength);
using SQLColumnsW_fn = SQLRETURN (*)(SQLHSTMT, SQLWCHAR* CatalogName, SQLSMALLINT CatalogLength,
                                     SQLWCHAR* SchemaName, SQLSMALLINT SchemaLength,
                                     SQLWCHAR* TableName, SQLSMALLINT TableLength,
                                     SQLWCHAR* ColumnName, SQLSMALLINT ColumnLength);
using SQLPrimaryKeysW_fn = SQLRETURN (*)(SQLHSTMT, SQLWCHAR* CatalogName,
                                         SQLSMALLINT CatalogLength, SQLWCHAR* SchemaName,
                                         SQLSMALLINT SchemaLength, SQLWCHAR* TableName,
                                         SQLSMALLINT TableLength);
using SQLStatisticsW_fn = SQLRETURN (*)(SQLHSTMT, SQLWCHAR* CatalogName,
                                        SQLSMALLINT CatalogLength, SQLWCHAR* SchemaName,
                                        SQLSMALLINT SchemaLength, SQLWCHAR* TableName,
                                        SQLSMALLINT TableLength, SQLUSMALLINT Unique,
                                        SQLUSMALLINT Reserved);
using SQLForeignKeysW_fn = SQLRETURN (*)(SQLHSTMT, SQLWCHAR* PkCatalogName,
                                         SQLSMALLINT PkCatalogLength, SQLWCHAR* PkSchemaName,
                                         SQLSMALLINT PkSchemaLength, SQLWCHAR* PkTableName,
                                         SQLSMALLINT PkTableLength, SQLWCHAR* FkCatalogName,
                                         SQLSMALLINT FkCatalogLength, SQLWCHAR* FkSchemaName,
                                         SQLSMALLINT FkSchemaLength, SQLWCHAR* FkTableName,
                                         SQLSMALLINT FkTableLength);
using SQLExecDirectW_fn = SQLRETURN (*)(SQLHSTMT, SQLWCHAR* StatementText,
                                        SQLINTEGER TextLength);
using SQLPrepareW_fn = SQLRETURN (*)(SQLHSTMT, SQLWCHAR* StatementText, SQLINTEGER TextLength);
using SQLExecute_fn = SQLRETURN (*)(SQLHSTMT);
using SQLNumResultCols_fn = SQLRETURN (*)(SQLHSTMT, SQLSMALLINT* ColumnCount);
/// BufferLength counts SQLWCHAR units.
using SQLDescribeColW_fn = SQLRETURN (*)(SQLHSTMT, SQLUSMALLINT ColumnNumber,
                                         SQLWCHAR* ColumnName, SQLSMALLINT BufferLength,
                                         SQLSMALLINT* NameLength, SQLSMALLINT* DataType,
                                         SQLULEN* ColumnSize, SQLSMALLINT* DecimalDigits,
                                         SQLSMALLINT* Nullable);
/// NumericAttribute receives 4 bytes. BufferLength counts bytes.
using SQLColAttributeW_fn = SQLRETURN (*)(SQLHSTMT, SQLUSMALLINT ColumnNumber,
                                          SQLUSMALLINT FieldIdentifier,
                                          SQLPOINTER CharacterAttribute,
                                          SQLSMALLINT BufferLength, SQLSMALLINT* StringLength,
                                          SQLPOINTER NumericAttribute);
using SQLSetStmtAttrW_fn = SQLRETURN (*)(SQLHSTMT, SQLINTEGER Attribute, SQLPOINTER Value,
                                         SQLINTEGER StringLength);
using SQLBindCol_fn = SQLRETURN (*)(SQLHSTMT, SQLUSMALLINT ColumnNumber,
                                    SQLSMALLINT TargetType, SQLPOINTER TargetValue,
                                    SQLLEN BufferLength, SQLLEN* StrLen_or_Ind);
using SQLFetch_fn = SQLRETURN (*)(SQLHSTMT);
using SQLGetData_fn = SQLRETURN (*)(SQLHSTMT, SQLUSMALLINT ColumnNumber, SQLSMALLINT TargetType,
                                    SQLPOINTER TargetValue, SQLLEN BufferLength,
                                    SQLLEN* StrLen_or_Ind);
using SQLRowCount_fn = SQLRETURN (*)(SQLHSTMT, SQLLEN* RowCount);
using SQLBindParameter_fn = SQLRETURN (*)(SQLHSTMT, SQLUSMALLINT ParameterNumber,
                                          SQLSMALLINT InputOutputType, SQLSMALLINT ValueType,
                                          SQLSMALLINT ParameterType, SQLULEN ColumnSize,
                                          SQLSMALLINT DecimalDigits,
                                          SQLPOINTER ParameterValue, SQLLEN BufferLength,
                                          SQLLEN* StrLen_or_Ind);
using SQLParamData_fn = SQLRETURN (*)(SQLHSTMT, SQLPOINTER* Value);
using SQLPutData_fn = SQLRETURN (*)(SQLHSTMT, SQLPOINTER Data, SQLLEN StrLen_or_Ind);
using SQLFreeStmt_fn = SQLRETURN (*)(SQLHSTMT, SQLUSMALLINT Option);
/// Must be called on an idle statement of the connection that made the locator.
using SQLGetLength_fn = SQLRETURN (*)(SQLHSTMT, SQLSMALLINT LocatorCType, SQLINTEGER Locator,
                                      SQLINTEGER* StringLength, SQLINTEGER* IndicatorValue);
/// Positions and lengths count bytes for BLOB and CLOB, characters for DBCLOB; 1-based.
using SQLGetSubString_fn = SQLRETURN (*)(SQLHSTMT, SQLSMALLINT LocatorCType,
                                         SQLINTEGER SourceLocator, SQLUINTEGER FromPosition,
                                         SQLUINTEGER ForLength, SQLSMALLINT TargetCType,
                                         SQLPOINTER DataPtr, SQLINTEGER BufferLength,
                                         SQLINTEGER* StringLength, SQLINTEGER* IndicatorValue);
}

/// Every function of the interface, for X-macro tables: X(name) once per exported symbol,
/// whose pointer type is name##_fn.
#define DB2CLI_FUNCTIONS(X) \
    X(SQLAllocHandle)       \
    X(SQLFreeHandle)        \
    X(SQLSetEnvAttrW)       \
    X(SQLSetConnectAttrW)   \
    X(SQLConnectW)          \
    X(SQLDisconnect)        \
    X(SQLEndTran)           \
    X(SQLGetDiagRecW)       \
    X(SQLTablesW)           \
    X(SQLColumnsW)          \
    X(SQLPrimaryKeysW)      \
    X(SQLStatisticsW)       \
    X(SQLForeignKeysW)      \
    X(SQLExecDirectW)       \
    X(SQLPrepareW)          \
    X(SQLExecute)           \
    X(SQLNumResultCols)     \
    X(SQLDescribeColW)      \
    X(SQLColAttributeW)     \
    X(SQLSetStmtAttrW)      \
    X(SQLBindCol)           \
    X(SQLFetch)             \
    X(SQLGetData)           \
    X(SQLRowCount)          \
    X(SQLBindParameter)     \
    X(SQLParamData)         \
    X(SQLPutData)           \
    X(SQLFreeStmt)          \
    X(SQLGetLength)         \
    X(SQLGetSubString)
