#pragma once
// The objects behind CLI handles and the table that maps handle numbers to them. Handles are
// small integers, as IBM's client hands them out; the table also counts what is alive so that
// tests can prove nothing leaked.

#include "diagnostics.hpp"
#include "locators.hpp"
#include "results.hpp"
#include "session.hpp"

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace db2s {

struct handle_object {
    explicit handle_object(SQLSMALLINT t) : type(t) {}
    virtual ~handle_object() = default;
    SQLSMALLINT type;
    SQLHANDLE id = 0;
    diag_area diag;
};

struct environment final : handle_object {
    environment() : handle_object(SQL_HANDLE_ENV) {}
    SQLINTEGER odbc_version = SQL_OV_ODBC3;
    std::set<SQLHANDLE> connections;
};

struct connection final : handle_object {
    connection() : handle_object(SQL_HANDLE_DBC) {}
    environment* env = nullptr;
    std::unique_ptr<session> server;  // set while connected
    bool autocommit = true;
    std::set<SQLHANDLE> statements;
    locator_store locators;
};

/// One bound column or parameter buffer.
struct binding {
    SQLSMALLINT c_type = 0;
    SQLPOINTER target = nullptr;
    SQLLEN buffer_length = 0;
    SQLLEN* indicator = nullptr;
};

struct parameter_binding : binding {
    SQLSMALLINT io_type = SQL_PARAM_INPUT;
    SQLSMALLINT sql_type = 0;
    SQLULEN column_size = 0;
    SQLSMALLINT digits = 0;
};

/// Data-at-execution progress of one execution: which (parameter, row) cells are still
/// waiting for SQLPutData, and the data collected so far.
struct pending_data {
    struct cell {
        int param = 0, row = 0;
        std::string data;
        bool is_null = false;
    };
    std::vector<cell> cells;
    int current = -1;
    int rows = 1;
};

struct statement final : handle_object {
    statement() : handle_object(SQL_HANDLE_STMT) {}
    connection* conn = nullptr;

    // Attributes.
    SQLULEN row_array_size = 1;
    SQLULEN row_bind_type = SQL_BIND_BY_COLUMN;
    SQLULEN* rows_fetched = nullptr;
    SQLUSMALLINT* row_status = nullptr;
    SQLULEN paramset_size = 1;
    SQLULEN param_bind_type = SQL_PARAM_BIND_BY_COLUMN;

    std::vector<binding> columns;      // index 0 unused: columns count from 1
    std::vector<parameter_binding> params;

    std::optional<prepared_statement> prepared;
    std::optional<std::vector<result_column>> prepared_columns;  // described before execution
    std::optional<result_set> result;  // an open cursor
    bool row_available = false;        // SQLGetData may read the current row
    std::vector<std::size_t> get_data_offset;  // per column, for piecewise SQLGetData
    std::int64_t row_count = -1;
    std::optional<pending_data> need_data;

    bool has_cursor() const { return result.has_value(); }
};

/// Process-wide table of live handles.
class handle_table {
public:
    static handle_table& instance();

    /// Registers an object; returns its new handle number.
    SQLHANDLE add(std::unique_ptr<handle_object> object);
    /// Null when the number is not a live handle of that type.
    handle_object* find(SQLSMALLINT type, SQLHANDLE id);
    void remove(SQLHANDLE id);
    int live() const;

    std::mutex& mutex() { return mutex_; }

private:
    mutable std::mutex mutex_;
    std::map<SQLHANDLE, std::unique_ptr<handle_object>> objects_;
    SQLHANDLE next_ = 1;
};

}  // namespace db2s
