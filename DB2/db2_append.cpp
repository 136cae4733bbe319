#include "db2_append.hpp"

#include "db2_conn.hpp"
#include "db2_engi.hpp"
#include "db2_util.hpp"

#include "ole_date.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"
#include "udb_errh.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

struct db2_insert_cache::column {
    std::u16string name;
    SQLSMALLINT sql_type = 0;
    SQLSMALLINT c_type = SQL_C_WCHAR;
    SQLULEN column_size = 0;
    SQLSMALLINT digits = 0;
    std::size_t cell_bytes = 0;
    // Longest value in characters (text) or bytes (binary); 0 when the cell decides alone.
    std::size_t max_units = 0;
    bool lob = false;
    bool not_null = false;
    std::uint32_t date_kind = 0;
    ole_variant default_value;
    std::vector<std::byte> cells;
    std::vector<SQLLEN> ind;
};

namespace {

SQLWCHAR* wide(const std::u16string& text) { return const_cast<SQLWCHAR*>(text.c_str()); }

bool succeeded(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

// The characters of a character type's declared length: graphic types count two bytes a
// character in the catalogue's buffer length.
std::size_t text_units(SQLSMALLINT t, std::uint32_t size) {
    switch (t) {
    case SQL_GRAPHIC: case SQL_VARGRAPHIC: case SQL_LONGVARGRAPHIC: case SQL_WCHAR: case SQL_WVARCHAR:
    case SQL_WLONGVARCHAR:
        return size / 2;
    case SQL_CHAR: case SQL_VARCHAR: case SQL_LONGVARCHAR:
        return size;
    default:
        return 0;
    }
}

// Values a whole-number cell of `bytes` bytes holds.
bool fits(std::int64_t v, std::size_t bytes) {
    if (bytes == 2) return v >= std::numeric_limits<std::int16_t>::min() && v <= std::numeric_limits<std::int16_t>::max();
    if (bytes == 4) return v >= std::numeric_limits<std::int32_t>::min() && v <= std::numeric_limits<std::int32_t>::max();
    return true;
}

// The value as a double; text counts when it reads as a number.
bool number_of(const ole_variant& v, double& out) {
    if (udb_is_numeric_type(v.vt())) {
        out = v.to_double();
        return true;
    }
    const ole_variant n = ole_variant::from_wstring(v.to_wstring(), VT_R8);
    if (n.vt() != VT_R8) return false;
    out = n.r8();
    return true;
}

bool whole_number(const ole_variant& v, std::int64_t& out) {
    switch (v.vt()) {
    case VT_I8: out = v.i8(); return true;
    case VT_UI8:
        if (v.ui8() > std::uint64_t(std::numeric_limits<std::int64_t>::max())) return false;
        out = std::int64_t(v.ui8());
        return true;
    case VT_I1: case VT_I2: case VT_I4: case VT_UI1: case VT_UI2: case VT_UI4: case VT_INT: case VT_UINT:
    case VT_BOOL:
        out = v.to_long();
        return true;
    default: {
        double d = 0;
        if (!number_of(v, d)) return false;
        if (!(d >= -9.2e18 && d <= 9.2e18) || d != static_cast<double>(static_cast<std::int64_t>(d))) return false;
        out = static_cast<std::int64_t>(d);
        return true;
    }
    }
}

// The text a character column receives; a truth value as the digit its CHAR(1) column holds.
const std::u16string& text_of(const ole_variant& v, std::u16string& scratch) {
    if (v.vt() == VT_BSTR) return v.text();
    if (v.vt() == VT_BOOL) scratch = v.to_bool() ? u"1" : u"0";
    else scratch = v.to_wstring();
    return scratch;
}

} // namespace

db2_insert_cache::db2_insert_cache(SQLHDBC dbc, std::u16string table, const std::u16string& qualified_table,
                                   const udb_schema& columns, std::uint32_t block_size)
    : dbc_(dbc), table_(std::move(table)), block_size_(block_size) {
    tk_trace(1, "db2_cache::allocate");
    columns_.resize(columns.size());
    std::u16string names, marks;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const auto& d = static_cast<const db2_ftd&>(columns[i]);
        column& c = columns_[i];
        c.name = d.name;
        c.sql_type = d.sql_type;
        c.not_null = d.b_not_null;
        c.default_value = d.default_value;
        c.date_kind = d.reserved & 3;
        const std::uint32_t precision = (d.reserved >> 8) & 0xff;
        switch (d.sql_type) {
        case SQL_SMALLINT: c.c_type = SQL_C_SHORT; c.cell_bytes = 2; break;
        case SQL_INTEGER: c.c_type = SQL_C_LONG; c.cell_bytes = 4; break;
        case SQL_BIGINT: c.c_type = SQL_C_SBIGINT; c.cell_bytes = 8; break;
        case SQL_REAL: c.c_type = SQL_C_FLOAT; c.cell_bytes = 4; break;
        case SQL_FLOAT: case SQL_DOUBLE: c.c_type = SQL_C_DOUBLE; c.cell_bytes = 8; break;
        case SQL_TYPE_DATE: case SQL_TYPE_TIME: case SQL_TYPE_TIMESTAMP:
            c.c_type = SQL_C_TYPE_TIMESTAMP;
            c.cell_bytes = sizeof(TIMESTAMP_STRUCT);
            c.column_size = d.sql_type == SQL_TYPE_DATE ? 10 : d.sql_type == SQL_TYPE_TIME ? 8 : 26;
            c.digits = d.sql_type == SQL_TYPE_TIMESTAMP ? 6 : 0;
            break;
        case SQL_BINARY: case SQL_VARBINARY: case SQL_LONGVARBINARY:
            c.c_type = SQL_C_BINARY;
            c.cell_bytes = std::max<std::size_t>(d.size, 1);
            c.max_units = d.size;
            c.column_size = d.size;
            break;
        case SQL_BLOB:
            c.c_type = SQL_C_BINARY;
            c.lob = true;
            break;
        case SQL_CLOB: case SQL_DBCLOB: case SQL_XML:
            c.c_type = SQL_C_WCHAR;
            c.lob = true;
            break;
        default: {
            // Text, and every type DB2 reads from text: decimals, DECFLOAT, truth values.
            c.c_type = SQL_C_WCHAR;
            c.max_units = text_units(d.sql_type, d.size);
            std::size_t chars = c.max_units;
            if (d.sql_type == SQL_DECIMAL || d.sql_type == SQL_NUMERIC) chars = 2 * precision + 6;
            else if (chars == 0) chars = std::max<std::size_t>(d.size, 64);
            c.cell_bytes = 2 * (chars + 1);
            c.column_size = chars;
            c.digits = SQLSMALLINT(d.reserved & 0xff);
            break;
        }
        }
        if (c.lob) {
            // The cell holds the row's place in the waiting values.
            c.cell_bytes = sizeof(SQLINTEGER);
            c.column_size = 1073741824;
        }
        c.cells.assign(c.cell_bytes * block_size_, std::byte{});
        c.ind.assign(block_size_, 0);
        names += (i ? u", " : u"") + db2_quote_name(c.name);
        marks += i ? u", ?" : u"?";
    }
    records_.assign(block_size_, 0);
    lobs_.resize(std::size_t(block_size_) * columns_.size());
    const std::u16string sql = u"INSERT INTO " + qualified_table + u"(" + names + u") VALUES (" + marks + u")";
    tk_wtrace(1, u"Prepare: %s", sql.c_str());
    statement_ = db2_alloc_statement(dbc_);
    db2_engine::check_err(db2_cli().SQLPrepareW(statement_.get(), wide(sql), SQL_NTS), SQL_HANDLE_STMT,
                          statement_.get());
    db2_engine::check_err(db2_cli().SQLSetStmtAttrW(statement_.get(), SQL_ATTR_PARAM_BIND_TYPE,
                                                    reinterpret_cast<SQLPOINTER>(std::intptr_t(SQL_PARAM_BIND_BY_COLUMN)), 0),
                          SQL_HANDLE_STMT, statement_.get());
}

db2_insert_cache::~db2_insert_cache() = default;

void db2_insert_cache::add(const udb_record& record, int record_number) {
    tk_trace(1, "db2_recordset::append_record");
    if (record.size() != columns_.size())
        throw tk_exception("The record has " + std::to_string(record.size()) + " fields, the table " +
                               std::to_string(columns_.size()) + " columns.",
                           tk_level_item);
    const std::size_t row = rows_;
    std::string why;
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        if (!set_cell(columns_[i], row, record[i], why)) {
            // Nothing of the refused record stays in the block.
            for (std::size_t k = 0; k < columns_.size(); ++k) lobs_[row * columns_.size() + k] = {};
            report(record_number, "Column " + tk_to_utf8(columns_[i].name) + ": " + why);
            return;
        }
    }
    records_[row] = record_number;
    if (++rows_ == block_size_) flush();
}

bool db2_insert_cache::set_cell(column& c, std::size_t row, const ole_variant& given, std::string& why) {
    const ole_variant* value = &given;
    if (value->is_empty_or_null() && c.not_null && !c.default_value.is_empty_or_null()) value = &c.default_value;
    SQLLEN& ind = c.ind[row];
    std::byte* cell = c.cells.data() + row * c.cell_bytes;
    if (value->is_empty_or_null()) {
        ind = SQL_NULL_DATA;
        return true;
    }
    const ole_variant& v = *value;
    if (c.lob) {
        lob_value& lob = lobs_[row * columns_.size() + std::size_t(&c - columns_.data())];
        const SQLINTEGER token = SQLINTEGER(row);
        std::memcpy(cell, &token, sizeof token);
        if (c.c_type == SQL_C_BINARY) {
            if (v.vt() == VT_BYTES) lob.bytes = v.bytes();
            else {
                const std::string text = tk_to_utf8(v.to_wstring());
                lob.bytes.assign(text.begin(), text.end());
            }
            ind = SQL_LEN_DATA_AT_EXEC(SQLLEN(lob.bytes.size()));
        } else {
            std::u16string scratch;
            lob.text = text_of(v, scratch);
            ind = SQL_DATA_AT_EXEC;
        }
        return true;
    }
    switch (c.c_type) {
    case SQL_C_SHORT: case SQL_C_LONG: case SQL_C_SBIGINT: {
        std::int64_t n = 0;
        if (!whole_number(v, n) || !fits(n, c.cell_bytes)) {
            why = "the value " + tk_to_utf8(v.to_wstring()) + " does not fit the column's type";
            return false;
        }
        if (c.cell_bytes == 2) {
            const auto s = std::int16_t(n);
            std::memcpy(cell, &s, 2);
        } else if (c.cell_bytes == 4) {
            const auto l = std::int32_t(n);
            std::memcpy(cell, &l, 4);
        } else {
            std::memcpy(cell, &n, 8);
        }
        ind = SQLLEN(c.cell_bytes);
        return true;
    }
    case SQL_C_FLOAT:
    case SQL_C_DOUBLE: {
        double d = 0;
        if (!number_of(v, d)) {
            why = "the value " + tk_to_utf8(v.to_wstring()) + " is no number";
            return false;
        }
        if (c.c_type == SQL_C_FLOAT) {
            const float f = float(d);
            std::memcpy(cell, &f, 4);
            ind = 4;
            return true;
        }
        std::memcpy(cell, &d, 8);
        ind = 8;
        return true;
    }
    case SQL_C_TYPE_TIMESTAMP: {
        ole_systemtime t = v.get_time();
        if (v.vt() != VT_DATE) {
            ole_date date(v.to_wstring());
            if (!date.is_valid()) {
                why = "the value " + tk_to_utf8(v.to_wstring()) + " is no date or time";
                return false;
            }
            date.expand_short_year();
            t = date.time();
        }
        TIMESTAMP_STRUCT ts{};
        if (c.sql_type != SQL_TYPE_TIME) {
            ts.year = SQLSMALLINT(t.year);
            ts.month = t.month;
            ts.day = t.day;
        }
        if (c.sql_type != SQL_TYPE_DATE) {
            ts.hour = t.hour;
            ts.minute = t.minute;
            ts.second = t.second;
            ts.fraction = SQLUINTEGER(t.microseconds) * 1000u;
        }
        std::memcpy(cell, &ts, sizeof ts);
        ind = sizeof ts;
        return true;
    }
    case SQL_C_BINARY: {
        const std::uint8_t* data = nullptr;
        std::size_t n = 0;
        std::string text;
        if (v.vt() == VT_BYTES) {
            n = v.get_bytes(data);
        } else {
            text = tk_to_utf8(v.to_wstring());
            data = reinterpret_cast<const std::uint8_t*>(text.data());
            n = text.size();
        }
        if (n > c.max_units) {
            why = std::to_string(n) + " bytes are longer than the column's " + std::to_string(c.max_units);
            return false;
        }
        if (n) std::memcpy(cell, data, n);
        ind = SQLLEN(n);
        return true;
    }
    default: {
        std::u16string scratch;
        const std::u16string& text = text_of(v, scratch);
        const std::size_t room = c.cell_bytes / 2 - 1;
        if ((c.max_units && text.size() > c.max_units) || text.size() > room) {
            const std::size_t limit = c.max_units ? c.max_units : room;
            why = std::to_string(text.size()) + " characters are longer than the column's " + std::to_string(limit);
            return false;
        }
        std::memcpy(cell, text.data(), text.size() * 2);
        std::memset(cell + text.size() * 2, 0, 2);
        ind = SQL_NTS;
        return true;
    }
    }
}

void db2_insert_cache::flush() {
    if (rows_ == 0) return;
    const std::size_t rows = rows_;
    rows_ = 0;
    execute_rows(0, rows);
    for (auto& lob : lobs_) lob = {};
}

void db2_insert_cache::execute_rows(std::size_t first, std::size_t last) {
    std::string error, state;
    if (run(first, last, error, state)) {
        stored_ += std::int64_t(last - first);
        return;
    }
    // Only the rows' data explains a data exception or a constraint violation; anything else
    // is the table's (or the connection's) failure.
    if (state.size() != 5 || (state.compare(0, 2, "22") != 0 && state.compare(0, 2, "23") != 0))
        throw db2_exception(-1, error);
    if (last - first == 1) {
        report(records_[first], error);
        return;
    }
    const std::size_t mid = first + (last - first) / 2;
    execute_rows(first, mid);
    execute_rows(mid, last);
}

bool db2_insert_cache::run(std::size_t first, std::size_t last, std::string& error, std::string& state) {
    const auto& api = db2_cli();
    const SQLHSTMT stmt = statement_.get();
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        column& c = columns_[i];
        db2_engine::check_err(api.SQLBindParameter(stmt, SQLUSMALLINT(i + 1), SQL_PARAM_INPUT, c.c_type, c.sql_type,
                                                   c.column_size, c.digits, c.cells.data() + first * c.cell_bytes,
                                                   SQLLEN(c.cell_bytes), c.ind.data() + first),
                              SQL_HANDLE_STMT, stmt);
    }
    const SQLULEN rows = last - first;
    if (rows != paramset_size_) {
        db2_engine::check_err(api.SQLSetStmtAttrW(stmt, SQL_ATTR_PARAMSET_SIZE,
                                                  reinterpret_cast<SQLPOINTER>(std::uintptr_t(rows)), 0),
                              SQL_HANDLE_STMT, stmt);
        paramset_size_ = rows;
    }
    SQLRETURN rc = api.SQLExecute(stmt);
    try {
        while (rc == SQL_NEED_DATA) {
            SQLPOINTER cell = nullptr;
            rc = api.SQLParamData(stmt, &cell);
            if (rc == SQL_NEED_DATA) send_lob(cell);
        }
        if (succeeded(rc)) return true;
        std::array<SQLWCHAR, SQL_SQLSTATE_SIZE + 1> sqlstate{};
        std::array<SQLWCHAR, 1025> text{};
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        if (succeeded(api.SQLGetDiagRecW(SQL_HANDLE_STMT, stmt, 1, sqlstate.data(), &native, text.data(),
                                         SQLSMALLINT(text.size()), &length)))
            state = tk_to_utf8(std::u16string(sqlstate.data()));
        db2_engine::check_err(rc, SQL_HANDLE_STMT, stmt);
    } catch (const db2_exception& e) {
        error = e.what();
        // An execution that stopped half-way through its data at execution is given up.
        api.SQLFreeStmt(stmt, SQL_CLOSE);
        if (state.empty()) throw;
    }
    tk_trace(2, "Rows %d to %d refused (%s): %s", records_[first], records_[last - 1], state.c_str(), error.c_str());
    return false;
}

void db2_insert_cache::send_lob(SQLPOINTER cell) {
    const SQLHSTMT stmt = statement_.get();
    const auto* address = static_cast<const std::byte*>(cell);
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        const column& c = columns_[i];
        if (!c.lob || address < c.cells.data() || address >= c.cells.data() + c.cells.size()) continue;
        SQLINTEGER row = 0;
        std::memcpy(&row, address, sizeof row);
        tk_verify(row >= 0 && std::uint32_t(row) < block_size_, "db2_append", __LINE__);
        lob_value& lob = lobs_[std::size_t(row) * columns_.size() + i];
        // Each value goes in one piece.
        SQLRETURN rc = c.c_type == SQL_C_BINARY
                           ? db2_cli().SQLPutData(stmt, lob.bytes.data(), SQLLEN(lob.bytes.size()))
                           : db2_cli().SQLPutData(stmt, lob.text.data(), SQLLEN(lob.text.size() * 2));
        if (!succeeded(rc)) db2_engine::check_err(rc, SQL_HANDLE_STMT, stmt);
        return;
    }
    throw tk_mail_assertion("db2_append", __LINE__);
}

void db2_insert_cache::report(int record_number, const std::string& text) {
    ++refused_;
    tk_trace(2, "Record #%d rejected: %s", record_number, text.c_str());
    const db2_exception e(-1, text);
    error_handler* handler = error_handler::pointer();
    if (!handler) throw e;
    handler->report(e, 0, table_, record_number);
}

// ---------------------------------------------------------------------------------------------
// The appending side of a table recordset

#include "db2_recs.hpp"

void db2_recordset::append_record(const udb_record& record) {
    ++appended_;
    if (!insert_) {
        tk_verify(query_text_.empty(), "db2_append", __LINE__);
        deinit_cursor();
        disable_all_identities();
        insert_ = std::make_unique<db2_insert_cache>(dbc_, name_, quoted_table_, schema_, cache_.block_size());
    }
    insert_->add(record, appended_);
}

void db2_recordset::finish() {
    if (insert_) insert_->flush();
    enable_all_identities();
}

void db2_recordset::disable_all_identities() {
    tk_trace(1, "db2_recordset::disable_all_identities");
    for (const t_ftd* column : schema_) {
        if (!column->b_auto_increment) continue;
        tk_wtrace(1, u"db2_recordset::disable_identity(%s)", column->name.c_str());
        db2_execute(dbc_, u"ALTER TABLE " + quoted_table_ + u" ALTER COLUMN " + db2_quote_name(column->name) +
                              u" DROP IDENTITY");
        disabled_identities_.push_back(column->name);
    }
}

void db2_recordset::enable_all_identities() {
    if (disabled_identities_.empty()) return;
    tk_trace(1, "db2_recordset::enable_all_identities");
    while (!disabled_identities_.empty()) {
        const std::u16string& name = disabled_identities_.back();
        tk_wtrace(1, u"db2_recordset::enable_identity(%s)", name.c_str());
        const std::u16string column = db2_quote_name(name);
        const auto next = db2_query_column(dbc_, u"SELECT MAX(" + column + u") + 1 FROM " + quoted_table_);
        const std::u16string start = next.empty() || next.front().empty() ? u"1" : next.front();
        db2_execute(dbc_, u"ALTER TABLE " + quoted_table_ + u" ALTER COLUMN " + column +
                              u" SET GENERATED AS IDENTITY (START WITH " + start + u")");
        disabled_identities_.pop_back();
    }
}
