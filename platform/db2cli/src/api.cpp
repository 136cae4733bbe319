// The exported CLI functions. Each one finds its handle, clears the handle's diagnostics,
// consults fault injection, and turns every failure into a diagnostic record and a return
// code: nothing thrown inside ever crosses the C boundary.

#include "catalog.hpp"
#include "db2_cli_direct.h"
#include "faults.hpp"
#include "fetch.hpp"
#include "handles.hpp"
#include "text.hpp"

#include <cstring>
#include <new>
#include <type_traits>

#define DB2S_EXPORT extern "C" __attribute__((visibility("default")))

using namespace db2s;

namespace {

template <typename T>
T* lookup(SQLSMALLINT type, SQLHANDLE h) {
    return static_cast<T*>(handle_table::instance().find(type, h));
}

template <typename Fn>
SQLRETURN guarded(handle_object& obj, const char* name, Fn&& fn) {
    obj.diag.clear();
    std::optional<injected_fault> fault;
    try {
        fault = check_fault(name);
        if (fault && !fault->warning) {
            obj.diag.add(fault->record);
            return SQL_ERROR;
        }
        const SQLSMALLINT type = obj.type;
        const SQLHANDLE id = obj.id;
        SQLRETURN rc = fn();
        if (fault && (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO)) {
            // A call that freed its own handle has nowhere to keep the warning.
            if (handle_table::instance().find(type, id)) obj.diag.add(fault->record);
            rc = SQL_SUCCESS_WITH_INFO;
        }
        return rc;
    } catch (const db2_error& e) {
        obj.diag.add(e.record());
        return e.rc();
    } catch (const std::bad_alloc&) {
        obj.diag.add(client_diag("CLI0120E", "Memory allocation failure.", "HY001"));
        return SQL_ERROR;
    } catch (const std::exception& e) {
        obj.diag.add(client_diag("CLI0116E", std::string("Internal error: ") + e.what(), "HY000"));
        return SQL_ERROR;
    }
}

template <typename T, typename Fn>
SQLRETURN on_handle(SQLSMALLINT type, SQLHANDLE h, const char* name, Fn&& fn) {
    T* obj = lookup<T>(type, h);
    if (!obj) return SQL_INVALID_HANDLE;
    return guarded(*obj, name, [&] { return fn(*obj); });
}

session& server_of(connection& c) {
    if (!c.server) throw_client("CLI0106E", "Connection is closed.", "08003");
    return *c.server;
}

session& server_of(statement& st) { return server_of(*st.conn); }

void close_cursor(statement& st) {
    st.result.reset();
    st.row_available = false;
    st.need_data.reset();
    if (st.conn) st.conn->locators.free_owned_by(st.id);
}

void require_no_cursor(statement& st) {
    if (st.has_cursor()) throw_client("CLI0115E", "Invalid cursor state.", "24000");
    if (st.need_data) throw db2_error(function_sequence_error());
}

std::intptr_t int_value(SQLPOINTER value) { return reinterpret_cast<std::intptr_t>(value); }

// ---------------------------------------------------------------------------------------------
// Parameters

struct param_cell {
    const parameter_binding* b = nullptr;
    const char* data = nullptr;
    const SQLLEN* ind = nullptr;
};

param_cell locate_param(const statement& st, int p, int row) {
    if (p + 1 >= static_cast<int>(st.params.size()) ||
        (!st.params[p + 1].target && !st.params[p + 1].indicator)) {
        throw_client("CLI0100E", "Wrong number of parameters.", "07002");
    }
    param_cell c;
    c.b = &st.params[p + 1];
    std::size_t stride = c_type_size(c.b->c_type);
    if (stride == 0) stride = static_cast<std::size_t>(std::max<SQLLEN>(c.b->buffer_length, 0));
    if (st.param_bind_type != SQL_PARAM_BIND_BY_COLUMN) stride = st.param_bind_type;
    c.data = c.b->target ? static_cast<const char*>(c.b->target) + stride * row : nullptr;
    if (c.b->indicator) {
        c.ind = st.param_bind_type == SQL_PARAM_BIND_BY_COLUMN
                    ? c.b->indicator + row
                    : reinterpret_cast<const SQLLEN*>(reinterpret_cast<const char*>(c.b->indicator) +
                                                      st.param_bind_type * row);
    }
    return c;
}

bool at_exec(const param_cell& c) {
    return c.ind && (*c.ind == SQL_DATA_AT_EXEC || *c.ind <= SQL_LEN_DATA_AT_EXEC_OFFSET);
}

value text_param(SQLSMALLINT c_type, const char* data, std::size_t bytes) {
    if (c_type == SQL_C_WCHAR || c_type == SQL_C_DBCHAR) {
        std::u16string units(bytes / 2, u'\0');
        std::memcpy(units.data(), data, units.size() * 2);
        return value::make_text(to_utf8(units));
    }
    return value::make_text(std::string(data, bytes));
}

value read_param(const statement& st, int p, int row) {
    const param_cell c = locate_param(st, p, row);
    if (c.ind && *c.ind == SQL_NULL_DATA) return value{};
    const SQLSMALLINT t = c.b->c_type;
    if (at_exec(c)) {
        for (const auto& cell : st.need_data->cells) {
            if (cell.param != p || cell.row != row) continue;
            if (cell.is_null) return value{};
            if (t == SQL_C_BINARY) return value::make_blob(cell.data);
            return text_param(t, cell.data.data(), cell.data.size());
        }
        return value{};
    }
    if (!c.data) throw invalid_argument();
    switch (t) {
    case SQL_C_CHAR: {
        const std::size_t n = !c.ind || *c.ind == SQL_NTS ? std::strlen(c.data)
                                                           : static_cast<std::size_t>(std::max<SQLLEN>(*c.ind, 0));
        return value::make_text(std::string(c.data, n));
    }
    case SQL_C_WCHAR:
    case SQL_C_DBCHAR: {
        std::size_t n = 0;
        if (!c.ind || *c.ind == SQL_NTS) {
            const auto* w = reinterpret_cast<const char16_t*>(c.data);
            while (w[n]) ++n;
            n *= 2;
        } else {
            n = static_cast<std::size_t>(std::max<SQLLEN>(*c.ind, 0));
        }
        return text_param(t, c.data, n);
    }
    case SQL_C_BINARY: {
        const std::size_t n = c.ind ? static_cast<std::size_t>(std::max<SQLLEN>(*c.ind, 0))
                                    : static_cast<std::size_t>(std::max<SQLLEN>(c.b->buffer_length, 0));
        return value::make_blob(std::string(c.data, n));
    }
    case SQL_C_LONG: case SQL_C_SLONG: { std::int32_t v; std::memcpy(&v, c.data, 4); return value::make_int(v); }
    case SQL_C_ULONG: { std::uint32_t v; std::memcpy(&v, c.data, 4); return value::make_int(v); }
    case SQL_C_SHORT: case SQL_C_SSHORT: { std::int16_t v; std::memcpy(&v, c.data, 2); return value::make_int(v); }
    case SQL_C_USHORT: { std::uint16_t v; std::memcpy(&v, c.data, 2); return value::make_int(v); }
    case SQL_C_SBIGINT: { std::int64_t v; std::memcpy(&v, c.data, 8); return value::make_int(v); }
    case SQL_C_UBIGINT: { std::uint64_t v; std::memcpy(&v, c.data, 8); return value::make_int(static_cast<std::int64_t>(v)); }
    case SQL_C_TINYINT: case SQL_C_STINYINT: return value::make_int(static_cast<signed char>(*c.data));
    case SQL_C_UTINYINT: case SQL_C_BIT: return value::make_int(static_cast<unsigned char>(*c.data));
    case SQL_C_FLOAT: { float v; std::memcpy(&v, c.data, 4); return value::make_real(v); }
    case SQL_C_DOUBLE: { double v; std::memcpy(&v, c.data, 8); return value::make_real(v); }
    case SQL_C_TYPE_DATE:
    case SQL_C_TYPE_TIME:
    case SQL_C_TYPE_TIMESTAMP: {
        datetime_parts parts;
        if (t == SQL_C_TYPE_DATE) {
            DATE_STRUCT d;
            std::memcpy(&d, c.data, sizeof d);
            parts.year = d.year; parts.month = d.month; parts.day = d.day;
        } else if (t == SQL_C_TYPE_TIME) {
            TIME_STRUCT tm;
            std::memcpy(&tm, c.data, sizeof tm);
            parts.year = 1; parts.month = 1; parts.day = 1;
            parts.hour = tm.hour; parts.minute = tm.minute; parts.second = tm.second;
        } else {
            TIMESTAMP_STRUCT ts;
            std::memcpy(&ts, c.data, sizeof ts);
            parts = {ts.year, ts.month, ts.day, ts.hour, ts.minute, ts.second, ts.fraction};
        }
        // The parameter's SQL type decides which part the server receives.
        db2_kind as = db2_kind::timestamp;
        if (c.b->sql_type == SQL_TYPE_DATE || (t == SQL_C_TYPE_DATE && c.b->sql_type != SQL_TYPE_TIMESTAMP)) as = db2_kind::date;
        if (c.b->sql_type == SQL_TYPE_TIME || (t == SQL_C_TYPE_TIME && c.b->sql_type != SQL_TYPE_TIMESTAMP)) as = db2_kind::time;
        return value::make_text(format_datetime(parts, as, 9));
    }
    case SQL_C_NUMERIC: {
        SQL_NUMERIC_STRUCT n;
        std::memcpy(&n, c.data, sizeof n);
        unsigned __int128 v = 0;
        for (int b = SQL_MAX_NUMERIC_LEN - 1; b >= 0; --b) v = (v << 8) | n.val[b];
        std::string digits;
        do { digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(v % 10))); v /= 10; } while (v);
        if (n.scale > 0) {
            while (static_cast<int>(digits.size()) <= n.scale) digits.insert(digits.begin(), '0');
            digits.insert(digits.end() - n.scale, '.');
        }
        return value::make_number((n.sign ? "" : "-") + digits);
    }
    default:
        throw_client("CLI0122E", "Program type out of range.", "HY003");
    }
}

int param_rows(const statement& st) {
    return static_cast<int>(st.paramset_size == 0 ? 1 : st.paramset_size);
}

SQLRETURN finish_execution(statement& st) {
    const prepared_statement& p = *st.prepared;
    exec_outcome out = server_of(st).execute(
        p, [&st](int param, int row) { return read_param(st, param, row); }, param_rows(st));
    st.need_data.reset();
    if (out.result) {
        st.result = std::move(*out.result);
        st.get_data_offset.assign(st.result->columns.size() + 1, 0);
        st.row_count = -1;
    } else {
        st.row_count = out.row_count;
    }
    return out.no_data ? SQL_NO_DATA : SQL_SUCCESS;
}

SQLRETURN execute_prepared(statement& st) {
    close_cursor(st);
    const prepared_statement& p = *st.prepared;
    // Parameters sent at execution time: collect the cells and ask for them one by one.
    if (p.param_count > 0) {
        pending_data pending;
        pending.rows = param_rows(st);
        for (int row = 0; row < pending.rows; ++row) {
            for (int param = 0; param < p.param_count; ++param) {
                if (at_exec(locate_param(st, param, row))) pending.cells.push_back({param, row, {}, false});
            }
        }
        if (!pending.cells.empty()) {
            st.need_data = std::move(pending);
            return SQL_NEED_DATA;
        }
    }
    return finish_execution(st);
}

void set_catalog_result(statement& st, result_set rs) {
    st.result = std::move(rs);
    st.get_data_offset.assign(st.result->columns.size() + 1, 0);
    st.row_count = -1;
}

// Writes a string attribute answer (SQLColAttributeW): BufferLength counts bytes.
void write_char_attr(const std::string& text, SQLPOINTER out, SQLSMALLINT buffer_bytes,
                     SQLSMALLINT* length, bool& truncated) {
    SQLSMALLINT units = 0;
    truncated = write_wide_out(text, static_cast<SQLWCHAR*>(out),
                               buffer_bytes > 0 ? static_cast<std::size_t>(buffer_bytes) / 2 : 0, &units);
    if (length) *length = static_cast<SQLSMALLINT>(units * 2);
}

}  // namespace

// =============================================================================================
// Handles

DB2S_EXPORT SQLRETURN SQLAllocHandle(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* output) {
    if (type == SQL_HANDLE_ENV) {
        if (auto fault = check_fault("SQLAllocHandle"); fault && !fault->warning) {
            if (output) *output = SQL_NULL_HANDLE;
            return SQL_ERROR;
        }
        if (!output) return SQL_ERROR;
        *output = handle_table::instance().add(std::make_unique<environment>());
        return SQL_SUCCESS;
    }
    if (type == SQL_HANDLE_DBC) {
        return on_handle<environment>(SQL_HANDLE_ENV, input, "SQLAllocHandle", [&](environment& env) -> SQLRETURN {
            if (!output) throw invalid_argument();
            auto conn = std::make_unique<connection>();
            conn->env = &env;
            *output = handle_table::instance().add(std::move(conn));
            env.connections.insert(*output);
            return SQL_SUCCESS;
        });
    }
    if (type == SQL_HANDLE_STMT) {
        return on_handle<connection>(SQL_HANDLE_DBC, input, "SQLAllocHandle", [&](connection& c) -> SQLRETURN {
            if (!output) throw invalid_argument();
            server_of(c);
            auto st = std::make_unique<statement>();
            st->conn = &c;
            *output = handle_table::instance().add(std::move(st));
            c.statements.insert(*output);
            return SQL_SUCCESS;
        });
    }
    // Descriptors are not offered; the caller's handle gets the reason.
    handle_object* parent = nullptr;
    for (SQLSMALLINT t : {SQL_HANDLE_ENV, SQL_HANDLE_DBC, SQL_HANDLE_STMT}) {
        if (!parent) parent = handle_table::instance().find(t, input);
    }
    if (!parent) return SQL_INVALID_HANDLE;
    parent->diag.clear();
    parent->diag.add(client_diag("CLI0150E", "Driver not capable.", "HYC00"));
    return SQL_ERROR;
}

namespace {

void free_statement(statement& st) {
    close_cursor(st);
    if (st.conn) st.conn->statements.erase(st.id);
    handle_table::instance().remove(st.id);
}

}  // namespace

DB2S_EXPORT SQLRETURN SQLFreeHandle(SQLSMALLINT type, SQLHANDLE h) {
    switch (type) {
    case SQL_HANDLE_ENV:
        return on_handle<environment>(type, h, "SQLFreeHandle", [&](environment& env) -> SQLRETURN {
            if (!env.connections.empty()) throw db2_error(function_sequence_error());
            handle_table::instance().remove(h);
            return SQL_SUCCESS;
        });
    case SQL_HANDLE_DBC:
        return on_handle<connection>(type, h, "SQLFreeHandle", [&](connection& c) -> SQLRETURN {
            if (c.server) throw db2_error(function_sequence_error());
            c.env->connections.erase(h);
            handle_table::instance().remove(h);
            return SQL_SUCCESS;
        });
    case SQL_HANDLE_STMT:
        return on_handle<statement>(type, h, "SQLFreeHandle", [&](statement& st) -> SQLRETURN {
            free_statement(st);
            return SQL_SUCCESS;
        });
    default:
        return SQL_INVALID_HANDLE;
    }
}

DB2S_EXPORT SQLRETURN SQLSetEnvAttrW(SQLHENV h, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER) {
    return on_handle<environment>(SQL_HANDLE_ENV, h, "SQLSetEnvAttrW", [&](environment& env) -> SQLRETURN {
        switch (attribute) {
        case SQL_ATTR_ODBC_VERSION:
            if (int_value(value) != SQL_OV_ODBC2 && int_value(value) != SQL_OV_ODBC3)
                throw_client("CLI0191E", "Invalid attribute value.", "HY024");
            env.odbc_version = static_cast<SQLINTEGER>(int_value(value));
            return SQL_SUCCESS;
        case SQL_ATTR_CONNECTTYPE:
            return SQL_SUCCESS;
        default:
            throw_client("CLI0133E", "Option type out of range.", "HY092");
        }
    });
}

DB2S_EXPORT SQLRETURN SQLSetConnectAttrW(SQLHDBC h, SQLINTEGER attribute, SQLPOINTER value,
                                         SQLINTEGER length) {
    return on_handle<connection>(SQL_HANDLE_DBC, h, "SQLSetConnectAttrW", [&](connection& c) -> SQLRETURN {
        switch (attribute) {
        case SQL_ATTR_AUTOCOMMIT:
            c.autocommit = int_value(value) != SQL_AUTOCOMMIT_OFF;
            if (c.server) c.server->set_autocommit(c.autocommit);
            return SQL_SUCCESS;
        case SQL_ATTR_CURRENT_SCHEMA: {
            const cli_text schema = read_wide_arg(static_cast<const SQLWCHAR*>(value),
                                                  length == SQL_NTS ? SQL_NTS : length / 2);
            server_of(c).set_current_schema(schema.value);
            return SQL_SUCCESS;
        }
        case SQL_ATTR_CONNECTTYPE:
            if (int_value(value) != SQL_CONCURRENT_TRANS && int_value(value) != SQL_COORDINATED_TRANS)
                throw_client("CLI0191E", "Invalid attribute value.", "HY024");
            return SQL_SUCCESS;
        case 101:  // access mode
        case 108:  // isolation
        case 113:  // login timeout
            return SQL_SUCCESS;
        default:
            throw_client("CLI0133E", "Option type out of range.", "HY092");
        }
    });
}

DB2S_EXPORT SQLRETURN SQLConnectW(SQLHDBC h, SQLWCHAR* dsn, SQLSMALLINT dsn_length, SQLWCHAR* uid,
                                  SQLSMALLINT uid_length, SQLWCHAR* pwd, SQLSMALLINT pwd_length) {
    return on_handle<connection>(SQL_HANDLE_DBC, h, "SQLConnectW", [&](connection& c) -> SQLRETURN {
        if (c.server) throw_client("CLI0103E", "Connection is already in use.", "08002");
        const cli_text name = read_wide_arg(dsn, dsn_length);
        const cli_text user = read_wide_arg(uid, uid_length);
        const cli_text password = read_wide_arg(pwd, pwd_length);
        if (name.value.empty()) throw invalid_argument("Invalid string or buffer length.");
        auto db = database::open(name.value);
        if (db->stopped()) {
            throw db2_error(server_diag(-1032, "No start database manager command was issued.",
                                        "57019", "08001", false));
        }
        if (db->has_users() && !db->check_password(user.value, password.value)) {
            throw db2_error(server_diag(-30082,
                                        "Security processing failed with reason \"24\" "
                                        "(\"USERNAME AND/OR PASSWORD INVALID\").",
                                        "08001", "08001", false));
        }
        c.server = std::make_unique<session>(std::move(db), user.value);
        c.server->set_autocommit(c.autocommit);
        c.server->on_transaction_end = [&c] { c.locators.clear(); };
        return SQL_SUCCESS;
    });
}

DB2S_EXPORT SQLRETURN SQLDisconnect(SQLHDBC h) {
    return on_handle<connection>(SQL_HANDLE_DBC, h, "SQLDisconnect", [&](connection& c) -> SQLRETURN {
        server_of(c);
        // Statements die with the connection; uncommitted work is rolled back.
        const std::set<SQLHANDLE> statements = c.statements;
        for (SQLHANDLE s : statements) {
            if (auto* st = lookup<statement>(SQL_HANDLE_STMT, s)) free_statement(*st);
        }
        c.server->on_transaction_end = nullptr;
        c.server->rollback();
        c.server.reset();
        c.locators.clear();
        return SQL_SUCCESS;
    });
}

DB2S_EXPORT SQLRETURN SQLEndTran(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT completion) {
    auto end = [completion](connection& c) {
        if (!c.server) return;
        if (completion == SQL_COMMIT) c.server->commit();
        else c.server->rollback();
    };
    if (type == SQL_HANDLE_ENV) {
        return on_handle<environment>(type, h, "SQLEndTran", [&](environment& env) -> SQLRETURN {
            for (SQLHANDLE ch : env.connections) {
                if (auto* c = lookup<connection>(SQL_HANDLE_DBC, ch)) end(*c);
            }
            return SQL_SUCCESS;
        });
    }
    return on_handle<connection>(SQL_HANDLE_DBC, h, "SQLEndTran", [&](connection& c) -> SQLRETURN {
        if (completion != SQL_COMMIT && completion != SQL_ROLLBACK) {
            throw_client("CLI0131E", "Invalid transaction operation code.", "HY012");
        }
        server_of(c);
        end(c);
        return SQL_SUCCESS;
    });
}

DB2S_EXPORT SQLRETURN SQLGetDiagRecW(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT record,
                                     SQLWCHAR* sqlstate, SQLINTEGER* native, SQLWCHAR* message,
                                     SQLSMALLINT buffer_length, SQLSMALLINT* text_length) {
    handle_object* obj = handle_table::instance().find(type, h);
    if (!obj) return SQL_INVALID_HANDLE;
    if (record < 1 || buffer_length < 0) return SQL_ERROR;
    const auto& records = obj->diag.records();
    if (static_cast<std::size_t>(record) > records.size()) return SQL_NO_DATA;
    const diag_record& r = records[static_cast<std::size_t>(record) - 1];
    if (sqlstate) write_wide_out(r.sqlstate, sqlstate, 6, nullptr);
    if (native) *native = r.native;
    const bool cut = write_wide_out(r.message, message, static_cast<std::size_t>(buffer_length), text_length);
    return cut && message ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
}

// =============================================================================================
// Catalogue

DB2S_EXPORT SQLRETURN SQLTablesW(SQLHSTMT h, SQLWCHAR* cat, SQLSMALLINT cat_len, SQLWCHAR* schema,
                                 SQLSMALLINT schema_len, SQLWCHAR* table, SQLSMALLINT table_len,
                                 SQLWCHAR* type, SQLSMALLINT type_len) {
    return on_handle<statement>(SQL_HANDLE_STMT, h, "SQLTablesW", [&](statement& st) -> SQLRETURN {
        require_no_cursor(st);
        set_catalog_result(st, catalog_tables(server_of(st), read_wide_arg(cat, cat_len),
                                              read_wide_arg(schema, schema_len),
                                              read_wide_arg(table, table_len),
                                              read_wide_arg(type, type_len)));
        return SQL_SUCCESS;
    });
}

DB2S_EXPORT SQLRETURN SQLColumnsW(SQLHSTMT h, SQLWCHAR* cat, SQLSMALLINT cat_len, SQLWCHAR* schema,
                                  SQLSMALLINT schema_len, SQLWCHAR* table, SQLSMALLINT table_len,
                                  SQLWCHAR* column, SQLSMALLINT column_len) {
    return on_handle<statement>(SQL_HANDLE_STMT, h, "SQLColumnsW", [&](statement& st) -> SQLRETURN {
        require_no_cursor(st);
        set_catalog_result(st, catalog_columns(server_of(st), read_wide_arg(cat, cat_len),
                                               read_wide_arg(schema, schema_len),
                                               read_wide_arg(table, table_len),
                                               read_wide_arg(column, column_len)));
        return SQL_SUCCESS;
    });
}

DB2S_EXPORT SQLRETURN SQLPrimaryKeysW(SQLHSTMT h, SQLWCHAR* cat, SQLSMALLINT cat_len,
                                      SQLWCHAR* schema, SQLSMALLINT schema_len, SQLWCHAR* table,
                                      SQLSMALLINT table_len) {
    return on_handle<statement>(SQL_HANDLE_STMT, h, "SQLPrimaryKeysW", [&](statement& st) -> SQLRETURN {
        require_no_cursor(st);
        set_catalog_result(st, catalog_primary_keys(server_of(st), read_wide_arg(cat, cat_len),
                                                    read_wide_arg(schema, schema_len),
                                                    read_wide_arg(table, table_len)));
        return SQL_SUCCESS;
    });
}

DB2S_EXPORT SQLRETURN SQLStatisticsW(SQLHSTMT h, SQLWCHAR* cat, SQLSMALLINT cat_len,
                                     SQLWCHAR* schema, SQLSMALLINT schema_len, SQLWCHAR* table,
                                     SQLSMALLINT table_len, SQLUSMALLINT unique, SQLUSMALLINT) {
    return on_handle<statement>(SQL_HANDLE_STMT, h, "SQLStatisticsW", [&](statement& st) -> SQLRETURN {
        require_no_cursor(st);
        set_catalog_result(st, catalog_statistics(server_of(st), read_wide_arg(cat, cat_len),
                                                  read_wide_arg(schema, schema_len),
                                                  read_wide_arg(table, table_len), unique));
        return SQL_SUCCESS;
    });
}

DB2S_EXPORT SQLRETURN SQLForeignKeysW(SQLHSTMT h, SQLWCHAR* pk_cat, SQLSMALLINT pk_cat_len,
                                      SQLWCHAR* pk_schema, SQLSMALLINT pk_schema_len,
                                      SQLWCHAR* pk_table, SQLSMALLINT pk_table_len,
                                      SQLWCHAR* fk_cat, SQLSMALLINT fk_cat_len,
                                      SQLWCHAR* fk_schema, SQLSMALLINT fk_schema_len,
                                      SQLWCHAR* fk_table, SQLSMALLINT fk_table_len) {
    return on_handle<statement>(SQL_HANDLE_STMT, h, "SQLForeignKeysW", [&](statement& st) -> SQLRETURN {
        require_no_cursor(st);
        set_catalog_result(st, catalog_foreign_keys(
                                   server_of(st), read_wide_arg(pk_cat, pk_cat_len),
                                   read_wide_arg(pk_schema, pk_schema_len),
                                   read_wide_arg(pk_table, pk_table_len),
                                   read_wide_arg(fk_cat, fk_cat_len),
                                   read_wide_arg(fk_schema, fk_schema_len),
                                   read_wide_arg(fk_table, fk_table_len)));
        return SQL_SUCCESS;
    });
}

// =============================================================================================
// Statements

DB2S_EXPORT SQLRETURN SQLPrepareW(SQLHSTMT h, SQLWCHAR* text, SQLINTEGER length) {
    return on_handle<statement>(SQL_HANDLE_STMT, h, "SQLPrepareW", [&](statement& st) -> SQLRETURN {
        require_no_cursor(st);
        if (!text) throw invalid_argument();
        st.prepared.reset();
        st.prepared_columns.reset();
        st.prepared = server_of(st).prepare(read_wide_arg(text, length).value);
        return SQL_SUCCESS;
    });
}

DB2S_EXPORT SQLRETURN SQLExecute(SQLHSTMT h) {
    return on_handle<statement>(SQL_HANDLE_STMT, h, "SQLExecute", [&](statement& st) -> SQLRETURN {
        if (!st.prepared || st.need_data) throw db2_error(function_sequence_error());
        require_no_cursor(st);
        return execute_prepared(st);
    });
}

DB2S_EXPORT SQLRETURN SQLExecDirectW(SQLHSTMT h, SQLWCHAR* text, SQLINTEGER length) {
    return on_handle<statement>(SQL_HANDLE_STMT, h, "SQLExecDirectW", [&](statement& st) -> SQLRETURN {
        require_no_cursor(st);
        if (!text) throw invalid_argument();
        st.prepared.reset();
        st.prepared_columns.reset();
        st.prepared = server_of(st).prepare(read_wide_arg(text, length).value);
        return execute_prepared(st);
    });
}

DB2S_EXPORT SQLRETURN SQLParamData(SQLHSTMT h, SQLPOINTER* value_out) {
    return on_handle<statement>(SQL_HANDLE_STMT, h, "SQLParamData", [&](statement& st) -> SQLRETURN {
        if (!st.need_data) throw db2_error(function_sequence_error());
        pending_data& pending = *st.need_data;
        ++pending.current;
        if (pending.current < static_cast<int>(pending.cells.size())) {
            const auto& cell = pending.cells[static_cast<std::size_t>(pending.current)];
            if (value_out) *value_out = const_cast<char*>(locate_param(st, cell.param, cell.row).data);
            return SQL_NEED_DATA;
        }
        return finish_execution(st);
    });
}

DB2S_EXPORT SQLRETURN SQLPutData(SQLHSTMT h, SQLPOINTER data, SQLLEN length) {
    return on_handle<statement>(SQL_HANDLE_STMT, h, "SQLPutData", [&](statement& st) -> SQLRETURN {
        if (!st.need_data || st.need_data->current < 0) throw db2_error(function_sequence_error());
        auto& cell = st.need_data->cells[static_cast<std::size_t>(st.need_data->current)];
        if (length == SQL_NULL_DATA) {
            cell.is_null = true;
            return SQL_SUCCESS;
        }
        if (!data && length != 0) throw invalid_argument();
        const SQLSMALLINT c_type = st.params[static_cast<std::size_t>(cell.param) + 1].c_type;
        std::size_t n = 0;
        if (length == SQL_NTS) {
            if (c_type == SQL_C_WCHAR || c_type == SQL_C_DBCHAR) {
                const auto* w = static_cast<const char16_t*>(data);
                while (w[n]) ++n;
                n *= 2;
            } else {
                n = std::strlen(static_cast<const char*>(data));
            }
        } else if (length < 0) {
            throw_client("CLI0139E", "String or buffer length is invalid.", "HY090");
        } else {
            n = static_cast<std::size_t>(length);
        }
        cell.data.append(static_cast<const char*>(data), n);
        return SQL_SUCCESS;
    });
}

namespace {

// The columns of the open result, or of the prepared query that has not run yet.
const std::vector<result_column>& columns_of(statement& st) {
    static const std::vector<result_column> none;
    if (st.result) return st.result->columns;
    if (!st.prepared) return none;
    if (!st.prepared_columns) st.prepared_columns = server_of(st).describe_prepared(*st.prepared);
    return *st.prepared_columns;
}

const result_column& result_col(statement& st, SQLUSMALLINT column) {
    const auto& cols = columns_of(st);
    if (!st.result && !st.prepared) throw db2_error(function_sequence_error());
    if (column < 1 || column > cols.size()) {
        throw_client("CLI0145E", "Invalid descriptor index.", "07009");
    }
    return cols[column - 1];
}

}  // namespace

DB2S_EXPORT SQLRETURN SQLNumResultCols(SQLHSTMT h, SQLSMALLINT* count) {
    return on_handle<statement>(SQL_HANDLE_STMT, h, "SQLNumResultCols", [&](statement& st) -> SQLRETURN {
        if (!count) throw invalid_argument();
        *count = static_cast<SQLSMALLINT>(columns_of(st).size());
        return SQL_SUCCESS;
    });
}


DB2S_EXPORT SQLRETURN SQLDescribeColW(SQLHSTMT h, SQLUSMALLINT column, SQLWCHAR* name,
                                      SQLSMALLINT buffer_length, SQLSMALLINT* name_length,
                                      SQLSMALLINT* data_type, SQLULEN* column_size,
                                      SQLSMALLINT* decimal_digits, SQLSMALLINT* nullable) {
    return on_handle<statement>(SQL_HANDLE_STMT, h, "SQLDescribeColW", [&](statement& st) -> SQLRETURN {
        const result_column& c = result_col(st, column);
        const bool cut = write_wide_out(c.name, name, buffer_length > 0 ? static_cast<std::size_t>(buffer_length) : 0, name_length);
        if (data_type) *data_type = c.type.sql_type();
        if (column_size) *column_size = static_cast<SQLULEN>(std::min<std::int64_t>(c.type.column_size(), 0x7FFFFFFF));
        if (decimal_digits) *decimal_digits = static_cast<SQLSMALLINT>(c.type.decimal_digits().value_or(0));
        if (nullable) *nullable = c.nullable ? SQL_NULLABLE : SQL_NO_NULLS;
        if (cut && name) {
            st.diag.add(client_diag("CLI0002W", "Data truncated.", "01004"));
            return SQL_SUCCESS_WITH_INFO;
        }
        return SQL_SUCCESS;
    });
}

DB2S_EXPORT SQLRETURN SQLColAttributeW(SQLHSTMT h, SQLUSMALLINT column, SQLUSMALLINT field,
                                       SQLPOINTER char_attr, SQLSMALLINT buffer_length,
                                       SQLSMALLINT* string_length, SQLPOINTER numeric_attr) {
    return on_handle<statement>(SQL_HANDLE_STMT, h, "SQLColAttributeW", [&](statement& st) -> SQLRETURN {
        const result_column& c = result_col(st, column);
        std::optional<std::int64_t> number;
        std::optional<std::string> text;
        const db2_type& t = c.type;
        switch (field) {
        // IBM's older CLI documentation says DB2 answers false here for every DB2 type, identity
        // columns included; answering the same makes clients take identities from SYSCAT.COLUMNS.
        case SQL_DESC_AUTO_UNIQUE_VALUE: number = SQL_FALSE; break;
        case SQL_DESC_PRECISION:
            if (t.kind == db2_kind::decimal || t.kind == db2_kind::decfloat) number = t.length;
            else if (t.kind == db2_kind::timestamp) number = t.length;
            else if (t.is_datetime()) number = 0;
            else number = t.column_size();
            break;
        case SQL_DESC_SCALE:
            number = t.kind == db2_kind::decimal ? t.scale : t.kind == db2_kind::timestamp ? t.length : 0;
            break;
        case SQL_DESC_CONCISE_TYPE: number = t.sql_type(); break;
        case SQL_DESC_TYPE: number = t.is_datetime() ? SQL_DATETIME : t.sql_type(); break;
        case SQL_COLUMN_LENGTH: case SQL_DESC_LENGTH: number = t.column_size(); break;
        case SQL_DESC_OCTET_LENGTH: number = t.buffer_length(); break;
        case SQL_DESC_NULLABLE: number = c.nullable ? SQL_NULLABLE : SQL_NO_NULLS; break;
        case 6: /* display size */ number = t.column_size() + (t.radix() ? 2 : 0); break;
        case SQL_DESC_TYPE_NAME: text = t.catalog_name(); break;
        case SQL_DESC_TABLE_NAME: text = c.table; break;
        case SQL_DESC_SCHEMA_NAME: text = c.schema; break;
        case SQL_DESC_CATALOG_NAME: text = ""; break;
        case SQL_DESC_NAME: case SQL_DESC_LABEL: text = c.name; break;
        default:
            throw_client("CLI0151E", "Invalid descriptor field identifier.", "HY091");
        }
        if (number) {
            // The numeric answer is a 32-bit value in this flavour of the interface.
            const auto v = static_cast<SQLINTEGER>(std::min<std::int64_t>(*number, 0x7FFFFFFF));
            if (numeric_attr) std::memcpy(numeric_attr, &v, sizeof v);
            return SQL_SUCCESS;
        }
        bool cut = false;
        write_char_attr(*text, char_attr, buffer_length, string_length, cut);
        if (cut && char_attr) {
            st.diag.add(client_diag("CLI0002W", "Data truncated.", "01004"));
            return SQL_SUCCESS_WITH_INFO;
        }
        return SQL_SUCCESS;
    });
}

DB2S_EXPORT SQLRETURN SQLSetStmtAttrW(SQLHSTMT h, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER) {
    return on_handle<statement>(SQL_HANDLE_STMT, h, "SQLSetStmtAttrW", [&](statement& st) -> SQLRETURN {
        const auto n = int_value(value);
        switch (attribute) {
        case SQL_ATTR_ROW_BIND_TYPE: st.row_bind_type = static_cast<SQLULEN>(n); break;
        case SQL_ATTR_PARAM_BIND_TYPE: st.param_bind_type = static_cast<SQLULEN>(n); break;
        case SQL_ATTR_PARAMSET_SIZE:
            if (n < 1) throw_client("CLI0191E", "Invalid attribute value.", "HY024");
            st.paramset_size = static_cast<SQLULEN>(n);
            break;
        case SQL_ATTR_ROW_STATUS_PTR: st.row_status = static_cast<SQLUSMALLINT*>(value); break;
        case SQL_ATTR_ROWS_FETCHED_PTR: st.rows_fetched = static_cast<SQLULEN*>(value); break;
        case SQL_ATTR_ROW_ARRAY_SIZE:
            if (n < 1) throw_client("CLI0191E", "Invalid attribute value.", "HY024");
            st.row_array_size = static_cast<SQLULEN>(n);
            break;
        case SQL_ATTR_FREE_LOCATORS_ON_FETCH:  // locators are always freed on fetch here
        case SQL_ATTR_CURSOR_HOLD:
        case 0:  // query timeout
        case 1:  // max rows
            break;
        default:
            throw_client("CLI0133E", "Option type out of range.", "HY092");
        }
        return SQL_SUCCESS;
    });
}

DB2S_EXPORT SQLRETURN SQLBindCol(SQLHSTMT h, SQLUSMALLINT column, SQLSMALLINT c_type,
                                 SQLPOINTER target, SQLLEN buffer_length, SQLLEN* indicator) {
    return on_handle<statement>(SQL_HANDLE_STMT, h, "SQLBindCol", [&](statement& st) -> SQLRETURN {
        if (column == 0) throw_client("CLI0145E", "Invalid descriptor index.", "07009");
        if (buffer_length < 0) throw_client("CLI0139E", "String or buffer length is invalid.", "HY090");
        if (!is_known_c_type(c_type)) throw_client("CLI0122E", "Program type out of range.", "HY003");
        if (st.columns.size() <= column) st.columns.resize(column + 1u);
        st.columns[column] = {c_type, target, buffer_length, indicator};
        return SQL_SUCCESS;
    });
}

DB2S_EXPORT SQLRETURN SQLFetch(SQLHSTMT h) {
    return on_handle<statement>(SQL_HANDLE_STMT, h, "SQLFetch", [&](statement& st) -> SQLRETURN {
        return fetch_rowset(st);
    });
}

DB2S_EXPORT SQLRETURN SQLGetData(SQLHSTMT h, SQLUSMALLINT column, SQLSMALLINT c_type,
                                 SQLPOINTER target, SQLLEN buffer_length, SQLLEN* indicator) {
    return on_handle<statement>(SQL_HANDLE_STMT, h, "SQLGetData", [&](statement& st) -> SQLRETURN {
        if (!is_known_c_type(c_type)) throw_client("CLI0122E", "Program type out of range.", "HY003");
        return get_data(st, column, c_type, target, buffer_length, indicator);
    });
}

DB2S_EXPORT SQLRETURN SQLRowCount(SQLHSTMT h, SQLLEN* count) {
    return on_handle<statement>(SQL_HANDLE_STMT, h, "SQLRowCount", [&](statement& st) -> SQLRETURN {
        if (!count) throw invalid_argument();
        *count = static_cast<SQLLEN>(st.row_count);
        return SQL_SUCCESS;
    });
}

DB2S_EXPORT SQLRETURN SQLBindParameter(SQLHSTMT h, SQLUSMALLINT number, SQLSMALLINT io_type,
                                       SQLSMALLINT c_type, SQLSMALLINT sql_type, SQLULEN column_size,
                                       SQLSMALLINT digits, SQLPOINTER value, SQLLEN buffer_length,
                                       SQLLEN* indicator) {
    return on_handle<statement>(SQL_HANDLE_STMT, h, "SQLBindParameter", [&](statement& st) -> SQLRETURN {
        if (number == 0) throw_client("CLI0145E", "Invalid descriptor index.", "07009");
        if (io_type != SQL_PARAM_INPUT) throw_client("CLI0150E", "Driver not capable.", "HYC00");
        if (!is_known_c_type(c_type)) throw_client("CLI0122E", "Program type out of range.", "HY003");
        if (st.params.size() <= number) st.params.resize(number + 1u);
        parameter_binding& p = st.params[number];
        p.c_type = c_type == SQL_C_DEFAULT ? SQL_C_CHAR : c_type;
        p.target = value;
        p.buffer_length = buffer_length;
        p.indicator = indicator;
        p.io_type = io_type;
        p.sql_type = sql_type;
        p.column_size = column_size;
        p.digits = digits;
        return SQL_SUCCESS;
    });
}

DB2S_EXPORT SQLRETURN SQLFreeStmt(SQLHSTMT h, SQLUSMALLINT option) {
    return on_handle<statement>(SQL_HANDLE_STMT, h, "SQLFreeStmt", [&](statement& st) -> SQLRETURN {
        switch (option) {
        case SQL_CLOSE: close_cursor(st); break;
        case SQL_DROP: free_statement(st); break;
        case SQL_UNBIND: st.columns.clear(); break;
        case SQL_RESET_PARAMS: st.params.clear(); break;
        default: throw_client("CLI0130E", "Option type out of range.", "HY092");
        }
        return SQL_SUCCESS;
    });
}

// =============================================================================================
// Locators

namespace {

const locator& require_locator(statement& st, SQLSMALLINT locator_type, SQLINTEGER id) {
    if (locator_type != SQL_C_BLOB_LOCATOR && locator_type != SQL_C_CLOB_LOCATOR &&
        locator_type != SQL_C_DBCLOB_LOCATOR) {
        throw_client("CLI0102E", "Invalid conversion.", "07006");
    }
    if (st.has_cursor()) throw db2_error(function_sequence_error());
    server_of(st);
    const locator* loc = st.conn->locators.find(id);
    if (!loc) {
        throw_server(-423, "Locator variable \"1\" does not currently represent any value.", "0F001");
    }
    if (loc->c_type != locator_type) throw_client("CLI0102E", "Invalid conversion.", "07006");
    return *loc;
}

}  // namespace

DB2S_EXPORT SQLRETURN SQLGetLength(SQLHSTMT h, SQLSMALLINT locator_type, SQLINTEGER id,
                                   SQLINTEGER* length, SQLINTEGER* indicator) {
    return on_handle<statement>(SQL_HANDLE_STMT, h, "SQLGetLength", [&](statement& st) -> SQLRETURN {
        const locator& loc = require_locator(st, locator_type, id);
        if (!length) throw invalid_argument();
        const std::size_t n = locator_type == SQL_C_DBCLOB_LOCATOR ? loc.units.size() : loc.bytes.size();
        *length = static_cast<SQLINTEGER>(n);
        if (indicator) *indicator = 0;
        return SQL_SUCCESS;
    });
}

DB2S_EXPORT SQLRETURN SQLGetSubString(SQLHSTMT h, SQLSMALLINT locator_type, SQLINTEGER id,
                                      SQLUINTEGER from, SQLUINTEGER for_length,
                                      SQLSMALLINT target_type, SQLPOINTER data,
                                      SQLINTEGER buffer_length, SQLINTEGER* string_length,
                                      SQLINTEGER* indicator) {
    return on_handle<statement>(SQL_HANDLE_STMT, h, "SQLGetSubString", [&](statement& st) -> SQLRETURN {
        const locator& loc = require_locator(st, locator_type, id);
        const bool wide_source = locator_type == SQL_C_DBCLOB_LOCATOR;
        const std::size_t total = wide_source ? loc.units.size() : loc.bytes.size();
        if (from < 1 || from > total + 1) {
            throw_server(-138, "The second or third argument of the SUBSTR or SUBSTRING function is out of range.", "22011");
        }
        // The part asked for, padded past the end as DB2 pads: X'00', blank, double-byte blank.
        const std::size_t start = from - 1;
        const std::size_t available = std::min<std::size_t>(for_length, total - start);
        std::string bytes;
        std::u16string units;
        if (wide_source) {
            units = loc.units.substr(start, available);
            units.append(for_length - available, u' ');
        } else {
            bytes = loc.bytes.substr(start, available);
            bytes.append(for_length - available, locator_type == SQL_C_BLOB_LOCATOR ? '\0' : ' ');
        }
        if (indicator) *indicator = 0;
        if (target_type == locator_type) {
            locator part;
            part.c_type = locator_type;
            part.bytes = std::move(bytes);
            part.units = std::move(units);
            part.owner = 0;  // lives until the transaction ends
            const SQLINTEGER new_id = st.conn->locators.add(std::move(part));
            if (!data) throw invalid_argument();
            std::memcpy(data, &new_id, sizeof new_id);
            if (string_length) *string_length = sizeof new_id;
            return SQL_SUCCESS;
        }
        std::string out;  // in the target's encoding
        std::size_t terminator = 0;
        switch (target_type) {
        case SQL_C_BINARY:
            out = wide_source ? std::string(reinterpret_cast<const char*>(units.data()), units.size() * 2) : bytes;
            break;
        case SQL_C_CHAR:
            out = wide_source ? to_utf8(units) : bytes;
            terminator = 1;
            break;
        case SQL_C_WCHAR:
        case SQL_C_DBCHAR: {
            const std::u16string u = wide_source ? units : to_utf16(bytes);
            out.assign(reinterpret_cast<const char*>(u.data()), u.size() * 2);
            terminator = 2;
            break;
        }
        default:
            throw_client("CLI0102E", "Invalid conversion.", "07006");
        }
        if (buffer_length < 0) throw_client("CLI0139E", "String or buffer length is invalid.", "HY090");
        const std::size_t room = static_cast<std::size_t>(buffer_length);
        std::size_t n = room >= terminator ? std::min(out.size(), room - terminator) : 0;
        if (terminator == 2) n &= ~std::size_t{1};
        if (data && room > 0) {
            std::memcpy(data, out.data(), n);
            if (terminator && n + terminator <= room) std::memset(static_cast<char*>(data) + n, 0, terminator);
        }
        if (string_length) *string_length = static_cast<SQLINTEGER>(out.size());
        if (n < out.size()) {
            st.diag.add(client_diag("CLI0002W", "Data truncated.", "01004"));
            return SQL_SUCCESS_WITH_INFO;
        }
        return SQL_SUCCESS;
    });
}

// =============================================================================================
// Stand-in extras for tests

/// Number of live handles of every type.
DB2S_EXPORT int db2standin_live_handles(void) { return handle_table::instance().live(); }

// Every exported function has exactly the signature the shared header promises.
#define DB2S_CHECK_SIGNATURE(name) \
    static_assert(std::is_same_v<decltype(&::name), name##_fn>, #name " does not match its header type");
DB2CLI_FUNCTIONS(DB2S_CHECK_SIGNATURE)
