#include "db2_recs.hpp"
#include "tk_utils.hpp"

#include "db2_conn.hpp"
#include "db2_db.hpp"
#include "db2_engi.hpp"

#include "tk_log.hpp"

#include <algorithm>
#include <array>

namespace {

// A catalogue name: the longest DB2 identifier (128) and a terminator, length in bytes.
using name_buffer = std::array<SQLWCHAR, 129>;
constexpr SQLLEN k_name_bytes = SQLLEN(sizeof(name_buffer));

SQLWCHAR* wide(const std::u16string& text) { return const_cast<SQLWCHAR*>(text.c_str()); }

void check_stmt(SQLRETURN rc, SQLHSTMT stmt) { db2_engine::check_err(rc, SQL_HANDLE_STMT, stmt); }

// Runs a SELECT whose block fetches report their row count into `rows_fetched`; returns the
// number of result columns, which the caller then describes.
SQLSMALLINT open_result(SQLHSTMT stmt, const std::u16string& text, SQLULEN& rows_fetched) {
    const auto& api = db2_cli();
    check_stmt(api.SQLSetStmtAttrW(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &rows_fetched, 0), stmt);
    // Without it DB2 keeps every large-object locator until the transaction ends: one per cell
    // of a whole table. A client that does not know the attribute keeps its default.
    if (!SQL_SUCCEEDED(api.SQLSetStmtAttrW(stmt, SQL_ATTR_FREE_LOCATORS_ON_FETCH,
                                           reinterpret_cast<SQLPOINTER>(std::uintptr_t(SQL_TRUE)), 0)))
        tk_trace(2, "Locators are not freed on fetch");
    check_stmt(api.SQLExecDirectW(stmt, wide(text), SQL_NTS), stmt);
    SQLSMALLINT count = 0;
    check_stmt(api.SQLNumResultCols(stmt, &count), stmt);
    return count;
}

// One result column as the driver describes it.
struct described_column {
    std::u16string name;
    SQLSMALLINT type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
};

described_column describe_column(SQLHSTMT stmt, SQLUSMALLINT i) {
    name_buffer name{};
    SQLSMALLINT name_length = 0;
    described_column c;
    check_stmt(db2_cli().SQLDescribeColW(stmt, i, name.data(), SQLSMALLINT(name.size()), &name_length, &c.type,
                                         &c.size, &c.digits, &c.nullable),
               stmt);
    c.name = name.data();
    return c;
}

void bind_text(SQLHSTMT stmt, SQLUSMALLINT column, name_buffer& buffer, SQLLEN& ind) {
    check_stmt(db2_cli().SQLBindCol(stmt, column, SQL_C_WCHAR, buffer.data(), k_name_bytes, &ind), stmt);
}

void bind_short(SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT& value, SQLLEN& ind) {
    check_stmt(db2_cli().SQLBindCol(stmt, column, SQL_C_SHORT, &value, sizeof value, &ind), stmt);
}

// False at the end of the result; any other non-zero result raises.
bool fetch_row(SQLHSTMT stmt) {
    const SQLRETURN rc = db2_cli().SQLFetch(stmt);
    if (rc == SQL_NO_DATA) return false;
    check_stmt(rc, stmt);
    return true;
}

void unbind_and_close(SQLHSTMT stmt) {
    check_stmt(db2_cli().SQLFreeStmt(stmt, SQL_UNBIND), stmt);
    check_stmt(db2_cli().SQLFreeStmt(stmt, SQL_CLOSE), stmt);
}

std::u16string text_of(const name_buffer& buffer, SQLLEN ind) {
    return ind == SQL_NULL_DATA ? std::u16string() : std::u16string(buffer.data());
}

// The identity columns of a table as the catalogue lists them. The column attribute that
// should tell the same is not reliably answered by DB2, so the catalogue decides. A catalogue
// that cannot be read (no SELECT right on it) leaves the attribute as the only witness.
std::vector<std::u16string> identity_columns(SQLHSTMT stmt, const std::u16string& schema,
                                             const std::u16string& table) {
    std::vector<std::u16string> names;
    try {
        const std::u16string text = u"SELECT COLNAME FROM SYSCAT.COLUMNS WHERE TABSCHEMA = " +
                                    db2_string_literal(schema) + u" AND TABNAME = " + db2_string_literal(table) +
                                    u" AND IDENTITY = 'Y'";
        check_stmt(db2_cli().SQLExecDirectW(stmt, wide(text), SQL_NTS), stmt);
        name_buffer name{};
        SQLLEN ind = 0;
        bind_text(stmt, 1, name, ind);
        while (fetch_row(stmt)) names.push_back(text_of(name, ind));
        unbind_and_close(stmt);
    } catch (const db2_exception& e) {
        tk_trace(2, "Cannot read identity columns: %s", e.what());
        db2_cli().SQLFreeStmt(stmt, SQL_UNBIND);
        db2_cli().SQLFreeStmt(stmt, SQL_CLOSE);
    }
    return names;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Construction

db2_recordset::db2_recordset(db2_database& db, const std::u16string& table,
                             udb_relationships& relationships, int kind, std::u16string clause)
    : udb_recordset(table, true), relationships_(relationships), clause_(std::move(clause)), dbc_(db.connection()),
      quoted_table_(db.quoted_table(table)) {
    tk_wtrace(2, u"db2_recordset::db2_recordset(%s)", table.c_str());
    schema_name_ = db.name();
    statement_ = db.alloc_statement();
    init_schema();
    if (!schema_.empty()) {
        if (kind == 1) ora_table::init_indexes(statement_.get(), schema_name_, *this, relationships_);
        record_count_ = db.count_rows(quoted_table_);
        tk_trace(2, "Got %d records", int(record_count_));
    } else {
        tk_trace(2, "Empty table");
    }
    init_cursor();
    if (kind == 2) deinit_cursor();
}

db2_recordset::db2_recordset(db2_database& db, const std::u16string& name,
                             const std::u16string& query_text, udb_relationships& relationships,
                             int /*kind*/)
    : udb_recordset(name, query_text, true), relationships_(relationships), dbc_(db.connection()) {
    tk_wtrace(2, u"db2_recordset::db2_recordset(%s)", name.c_str());
    schema_name_ = db.name();
    statement_ = db.alloc_statement();
    const SQLHSTMT stmt = statement_.get();
    const SQLSMALLINT count = open_result(stmt, query_text_, rows_fetched_);
    for (SQLUSMALLINT i = 1; i <= SQLUSMALLINT(count); ++i) {
        described_column c = describe_column(stmt, i);
        const std::uint16_t vartype = ora_type::get_vartype(c.type);
        // A query's date columns are typed by their SQL type, as a table's are by the catalogue.
        const std::uint32_t reserved =
            vartype == VT_DATE ? ora_type::get_date_reserved(c.type, std::uint32_t(std::max<SQLSMALLINT>(c.digits, 0)))
                               : ora_type::get_reserved(c.type, std::uint32_t(c.size), std::uint16_t(c.digits));
        schema_.add(std::make_unique<db2_ftd>(std::uint32_t(c.size), std::move(c.name), vartype,
                                              c.nullable != SQL_NULLABLE, false, ole_variant(), reserved, c.type));
    }
}

db2_recordset::~db2_recordset() {
    try {
        deinit_cursor();
    } catch (const tk_exception&) {
        // Nothing more can be done for a cursor that will not close; the handle goes anyway.
    }
    statement_.reset();
    // A copy that failed half-way still leaves its identity columns generating values.
    insert_.reset();
    try {
        enable_all_identities();
    } catch (const tk_exception& e) {
        tk_trace(3, "Identity columns of the table stay off: %s", e.what());
    }
}

void db2_recordset::init_schema() {
    tk_trace(2, "db2_recordset::init_schema");
    const SQLHSTMT stmt = statement_.get();
    const auto& api = db2_cli();
    static const std::u16string all = u"%";
    // Schema and table are patterns in this call: only exact ones keep other tables' columns out.
    const std::u16string schema = db2_exact_pattern(schema_name_);
    const std::u16string table = db2_exact_pattern(name_);
    check_stmt(api.SQLColumnsW(stmt, nullptr, 0, wide(schema), SQL_NTS, wide(table), SQL_NTS, wide(all), SQL_NTS),
               stmt);
    name_buffer column{};
    // A default may be as long as the catalogue allows (254 characters).
    std::array<SQLWCHAR, 255> column_def{};
    SQLSMALLINT data_type = 0, digits = 0, nullable = 0, sql_data_type = 0, datetime_sub = 0;
    SQLINTEGER buffer_length = 0;
    SQLLEN name_ind = 0, type_ind = 0, length_ind = 0, digits_ind = 0, nullable_ind = 0, def_ind = 0,
           sql_type_ind = 0, sub_ind = 0;
    bind_text(stmt, 4, column, name_ind);
    bind_short(stmt, 5, data_type, type_ind);
    check_stmt(api.SQLBindCol(stmt, 8, SQL_C_LONG, &buffer_length, sizeof buffer_length, &length_ind), stmt);
    bind_short(stmt, 9, digits, digits_ind);
    bind_short(stmt, 11, nullable, nullable_ind);
    check_stmt(api.SQLBindCol(stmt, 13, SQL_C_WCHAR, column_def.data(), SQLLEN(sizeof column_def), &def_ind),
               stmt);
    bind_short(stmt, 14, sql_data_type, sql_type_ind);
    bind_short(stmt, 15, datetime_sub, sub_ind);
    while (fetch_row(stmt)) {
        std::uint32_t date_kind = 0;
        if (sub_ind != SQL_NULL_DATA) {
            if (datetime_sub == SQL_CODE_TIMESTAMP) date_kind = 1;
            else if (datetime_sub == SQL_CODE_DATE) date_kind = 2;
            else if (datetime_sub == SQL_CODE_TIME) date_kind = 3;
        }
        // A timestamp's fraction digits (its precision) ride with the date kind.
        if (date_kind == 1 && digits_ind != SQL_NULL_DATA && digits > 0)
            date_kind |= std::uint32_t(std::min<SQLSMALLINT>(digits, 255)) << 8;
        const SQLSMALLINT sql_type = type_ind == SQL_NULL_DATA ? SQL_UNKNOWN_TYPE : data_type;
        const std::uint16_t vartype = ora_type::get_vartype(sql_type);
        ole_variant def;
        udb_default_register reg = udb_reg_none;
        if (def_ind != SQL_NULL_DATA) {
            std::u16string text(column_def.data());
            const bool quoted = text.size() > 1 && text.front() == u'\'' && text.back() == u'\'';
            if (quoted) {
                // A string literal: its doubled quotes stand for one.
                std::u16string inner;
                for (std::size_t i = 1; i + 1 < text.size(); ++i) {
                    inner.push_back(text[i]);
                    if (text[i] == u'\'' && i + 2 < text.size() && text[i + 1] == u'\'') ++i;
                }
                text = std::move(inner);
            }
            tk_wtrace(2, u"Got string def.value: %s", text.c_str());
            // The keyword (not the quoted text 'NULL') means no default value at all; read as
            // a value it would become 0 or the text NULL. A special register is no value
            // either: read as one it would become the text 'USER' or nothing at all.
            if (!quoted) reg = db2_default_register(text);
            if (reg != udb_reg_none) tk_wtrace(2, u"Default is the special register %s", text.c_str());
            else if (!quoted && text == u"NULL") def = ole_variant();
            else if (vartype == VT_BOOL) def = ole_variant(tk_wstring::to_upper(text) == u"TRUE" || text == u"1");
            else def = ole_variant::from_wstring(text, vartype);
        }
        const bool not_null = nullable_ind == SQL_NULL_DATA || nullable != SQL_NULLABLE;
        const std::uint32_t size = length_ind == SQL_NULL_DATA ? 0 : std::uint32_t(buffer_length);
        auto descriptor = std::make_unique<db2_ftd>(size, text_of(column, name_ind), vartype, not_null, false, def,
                                                    date_kind, sql_type);
        descriptor->default_register = reg;
        schema_.add(std::move(descriptor));
    }
    tk_trace(2, "Got %d columns", int(schema_.size()));
    unbind_and_close(stmt);
}

void db2_recordset::init_cursor() {
    tk_trace(2, "db2_recordset::init_cursor");
    std::u16string list;
    for (const t_ftd* column : schema_) {
        if (!list.empty()) list += u", ";
        const auto* d = static_cast<const db2_ftd*>(column);
        if (d->sql_type == SQL_XML) list += u"XML2CLOB(" + db2_quote_name(d->name) + u")";
        else list += db2_quote_name(d->name);
    }
    select_text_ = u"SELECT " + list + u" FROM " + db2_quote_name(schema_name_) + u"." + db2_quote_name(name_) + clause_;
    tk_wtrace(1, u"Executing query: %s", select_text_.c_str());
    const SQLHSTMT stmt = statement_.get();
    const auto& api = db2_cli();
    const std::vector<std::u16string> identities = identity_columns(stmt, schema_name_, name_);
    const SQLSMALLINT count = open_result(stmt, select_text_, rows_fetched_);
    for (SQLUSMALLINT i = 1; i <= SQLUSMALLINT(count); ++i) {
        const std::u16string name = describe_column(stmt, i).name;
        SQLINTEGER auto_unique = 0, precision = 0, scale = 0;
        check_stmt(api.SQLColAttributeW(stmt, i, SQL_DESC_AUTO_UNIQUE_VALUE, nullptr, 0, nullptr, &auto_unique),
                   stmt);
        check_stmt(api.SQLColAttributeW(stmt, i, SQL_DESC_PRECISION, nullptr, 0, nullptr, &precision), stmt);
        check_stmt(api.SQLColAttributeW(stmt, i, SQL_DESC_SCALE, nullptr, 0, nullptr, &scale), stmt);
        // The select list follows the schema, so the column at the same place is the one meant;
        // a name lookup (which ignores case) would confuse columns "a" and "A".
        t_ftd* target = nullptr;
        if (i <= schema_.size() && schema_[i - 1].name == name) target = &schema_[i - 1];
        else if (schema_.has_field(name)) target = &schema_.find_field(name);
        if (!target) continue;
        if (target->vartype != VT_DATE)
            target->reserved = ora_type::get_reserved(static_cast<const db2_ftd*>(target)->sql_type,
                                                      std::uint32_t(precision), std::uint32_t(scale));
        target->b_auto_increment =
            auto_unique == SQL_TRUE || std::find(identities.begin(), identities.end(), name) != identities.end();
    }
}

void db2_recordset::deinit_cursor() {
    tk_trace(1, "db2_recordset::deinit_cursor");
    if (!statement_) return;
    const SQLHSTMT stmt = statement_.get();
    // The handle goes even when the driver refuses to unbind or close.
    db2_handle owned = std::move(statement_);
    unbind_and_close(stmt);
}

// ---------------------------------------------------------------------------------------------
// Rows


bool db2_recordset::is_eof() {
    tk_trace(1, "db2_recordset::is_eof(%d)", int(eof_));
    return eof_;
}

void db2_recordset::reset() {
    tk_trace(1, "db2_recordset::reset");
    if (eof_ || !cache_.empty()) return;
    tk_verify(bool(statement_), "db2_recs", __LINE__);
    cache_.allocate(schema_);
    cache_.set_connection(dbc_);
    cache_.bind(statement_.get());
    next();
}

void db2_recordset::fetch_block() {
    const SQLHSTMT stmt = statement_.get();
    const SQLRETURN rc = db2_cli().SQLFetch(stmt);
    ++fetch_count_;
    if (rc == SQL_NO_DATA) {
        rows_fetched_ = 0;
        eof_ = true;
        return;
    }
    check_stmt(rc, stmt);
}

void db2_recordset::next() {
    tk_trace(1, "db2_recordset::next");
    if (eof_) return;
    tk_verify(!cache_.empty(), "db2_recs", __LINE__);
    if (current_row_ == -1) {
        fetch_block();
        current_row_ = 0;
    } else if (std::int64_t(current_row_) < std::int64_t(rows_fetched_) - 1) {
        ++current_row_;
    } else {
        fetch_block();
        if (rows_fetched_ != 0) {
            current_row_ = 0;
        } else {
            current_row_ = -1;
            eof_ = true;
        }
    }
}

const udb_record* db2_recordset::get_item() {
    tk_trace(1, "db2_recordset::get_item");
    if (eof_ || current_row_ < 0 || std::uint32_t(current_row_) >= rows_fetched_) return nullptr;
    if (!last_record_) last_record_ = std::make_unique<udb_record>();
    if (last_record_->size() != schema_.size()) {
        // Built once (and again for each record exchange_item took away before it came back);
        // every later row only replaces the values.
        last_record_->clear();
        last_record_->reserve(schema_.size());
        for (const t_ftd* column : schema_)
            last_record_->add(std::make_unique<udb_field>(column->name, column->size, ole_variant(),
                                                          column->b_not_null, column->b_auto_increment));
    }
    const std::size_t row = std::size_t(current_row_);
    for (std::size_t i = 0; i < cache_.size(); ++i) (*last_record_)[i].set_value(cache_[i].get(row));
    return last_record_.get();
}

bool db2_recordset::exchange_item(udb_record& spare) {
    if (!last_record_) return false;
    last_record_->swap(spare);
    return true;
}

// ---------------------------------------------------------------------------------------------
// Keys, indexes, foreign keys

const char16_t* ora_table::get_delete_rule(SQLSMALLINT rule) {
    tk_trace(1, "::get_delete_rule");
    switch (rule) {
    case SQL_CASCADE: return u"CASCADE";
    case SQL_RESTRICT: return u"RESTRICT";
    case SQL_SET_NULL: return u"SET NULL";
    case SQL_SET_DEFAULT: return u"SET DEFAULT";
    default: return u"";
    }
}

std::u16string ora_table::get_rule_clause(SQLSMALLINT delete_rule, bool delete_null, SQLSMALLINT update_rule,
                                          bool update_null) {
    std::u16string clause;
    const std::u16string on_delete = delete_null ? u"" : get_delete_rule(delete_rule);
    if (!on_delete.empty()) clause = u"ON DELETE " + on_delete;
    const std::u16string on_update = update_null ? u"" : get_delete_rule(update_rule);
    if (!on_update.empty()) clause += (clause.empty() ? u"ON UPDATE " : u" ON UPDATE ") + on_update;
    return clause;
}

void ora_table::init_indexes(SQLHSTMT stmt, const std::u16string& schema_name, udb_recordset& table,
                             udb_relationships& relationships) {
    tk_trace(2, "ora_table::init_indexes");
    const auto& api = db2_cli();
    const udb_schema& schema = table.schema();
    const std::u16string& table_name = table.name();

    // Indexes are gathered here and added at the end: a list entry cannot be extended in place.
    std::vector<udb_index> found;
    const auto find_index = [&](const std::u16string& name) -> udb_index* {
        for (auto& index : found)
            if (udb_name_equal(index.name, name)) return &index;
        return nullptr;
    };

    tk_trace(1, "Extracting PK details");
    check_stmt(api.SQLPrimaryKeysW(stmt, nullptr, 0, wide(schema_name), SQL_NTS, wide(table_name), SQL_NTS),
               stmt);
    name_buffer column{}, key{};
    SQLLEN column_ind = 0, key_ind = 0;
    bind_text(stmt, 4, column, column_ind);
    bind_text(stmt, 6, key, key_ind);
    std::u16string pk_name;
    udb_names pk_fields;
    while (fetch_row(stmt)) {
        pk_name = text_of(key, key_ind);
        if (pk_name.empty()) tk_wtrace(2, u"Got primary key '%s'", pk_name.c_str());
        const std::u16string field = text_of(column, column_ind);
        if (!schema.has_field(field)) {
            tk_wtrace(2, u"PK field '%s' not found - skip it", field.c_str());
            continue;
        }
        pk_fields.push_back(field);
    }
    const bool has_pk = !pk_fields.empty();
    if (has_pk) found.emplace_back(pk_name, true, true, pk_fields);
    unbind_and_close(stmt);

    tk_trace(1, "Extracting other indexes");
    check_stmt(api.SQLStatisticsW(stmt, nullptr, 0, wide(schema_name), SQL_NTS, wide(table_name), SQL_NTS,
                                  SQL_INDEX_ALL, SQL_QUICK),
               stmt);
    SQLSMALLINT non_unique = 0;
    SQLLEN non_unique_ind = 0, index_ind = 0, field_ind = 0;
    name_buffer index_name{}, field_name{}, order{};
    SQLLEN order_ind = 0;
    bind_short(stmt, 4, non_unique, non_unique_ind);
    bind_text(stmt, 6, index_name, index_ind);
    bind_text(stmt, 9, field_name, field_ind);
    bind_text(stmt, 10, order, order_ind);
    while (fetch_row(stmt)) {
        if (index_ind == SQL_NULL_DATA) continue; // the table's own statistics row
        const std::u16string name(index_name.data());
        const bool unique = non_unique_ind != SQL_NULL_DATA && non_unique == SQL_FALSE;
        tk_wtrace(2, u"Got index '%s' (unique=%d)", name.c_str(), int(unique));
        const std::u16string field = text_of(field_name, field_ind);
        if (!schema.has_field(field)) {
            tk_wtrace(2, u"Index field '%s' not found - skip it", field.c_str());
            continue;
        }
        udb_index* index = find_index(name);
        if (!index) index = &found.emplace_back(name, unique, false, udb_names{});
        if (index->b_primary) {
            tk_trace(2, "Skip Primary Key DoubleInitialization");
            continue;
        }
        index->fields.push_back(field);
        index->descending.push_back(text_of(order, order_ind) == u"D");
    }
    unbind_and_close(stmt);
    for (const auto& index : found) table.add_index(index);

    tk_trace(1, "Extracting FK details");
    check_stmt(api.SQLForeignKeysW(stmt, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, wide(schema_name),
                                   SQL_NTS, wide(table_name), SQL_NTS),
               stmt);
    name_buffer pk_schema{}, pk_table{}, pk_column{}, fk_schema{}, fk_table{}, fk_column{}, fk_name{},
        parent_key{};
    SQLLEN pk_schema_ind = 0, fk_schema_ind = 0, pk_table_ind = 0, pk_column_ind = 0, fk_table_ind = 0, fk_column_ind = 0,
           fk_name_ind = 0, parent_key_ind = 0, rule_ind = 0, update_ind = 0;
    SQLSMALLINT delete_rule = 0, update_rule = 0;
    bind_text(stmt, 2, pk_schema, pk_schema_ind);
    bind_text(stmt, 3, pk_table, pk_table_ind);
    bind_text(stmt, 4, pk_column, pk_column_ind);
    bind_text(stmt, 6, fk_schema, fk_schema_ind);
    bind_text(stmt, 7, fk_table, fk_table_ind);
    bind_text(stmt, 8, fk_column, fk_column_ind);
    bind_short(stmt, 10, update_rule, update_ind);
    bind_short(stmt, 11, delete_rule, rule_ind);
    bind_text(stmt, 12, fk_name, fk_name_ind);
    bind_text(stmt, 13, parent_key, parent_key_ind);
    // Keys are gathered per table first: DB2 scopes a constraint name to its table, so a name
    // met in the list may belong to another table, whose key must not be extended.
    std::vector<udb_foreign_key> keys;
    while (fetch_row(stmt)) {
        const std::u16string rule = rule_ind == SQL_NULL_DATA ? u"" : get_delete_rule(delete_rule);
        const std::u16string child = text_of(fk_table, fk_table_ind);
        const std::u16string name = text_of(fk_name, fk_name_ind);
        const std::u16string child_field = text_of(fk_column, fk_column_ind);
        const std::u16string parent_field = text_of(pk_column, pk_column_ind);
        tk_wtrace(1, u"GOT FK: %s,%s,%s,%s", child.c_str(), name.c_str(), child_field.c_str(), rule.c_str());
        auto key = std::find_if(keys.begin(), keys.end(),
                                [&](const udb_foreign_key& k) { return udb_name_equal(k.name, name); });
        if (key == keys.end()) {
            udb_foreign_key& added =
                keys.emplace_back(name, pk_name, child, text_of(pk_table, pk_table_ind), udb_names{child_field},
                                  udb_names{parent_field},
                                  get_rule_clause(delete_rule, rule_ind == SQL_NULL_DATA, update_rule,
                                                  update_ind == SQL_NULL_DATA));
            // A parent in another schema must not be taken for a table of this schema's name.
            const std::u16string parent_schema = text_of(pk_schema, pk_schema_ind);
            if (parent_schema != text_of(fk_schema, fk_schema_ind)) added.parent_schema = parent_schema;
        } else if (std::find(key->child_fields.begin(), key->child_fields.end(), child_field) ==
                   key->child_fields.end()) {
            key->child_fields.push_back(child_field);
            key->parent_fields.push_back(parent_field);
        }
    }
    for (const auto& key : keys) {
        if (relationships.is_acceptable_name(key.name)) {
            relationships.add(key);
            continue;
        }
        udb_foreign_key& known = relationships.get_index(key.name);
        if (known.child_table != key.child_table) {
            relationships.add(key);
            continue;
        }
        // The same table read again: only columns the key lacks are added.
        for (std::size_t i = 0; i < key.child_fields.size(); ++i) {
            if (std::find(known.child_fields.begin(), known.child_fields.end(), key.child_fields[i]) !=
                known.child_fields.end())
                continue;
            known.child_fields.push_back(key.child_fields[i]);
            known.parent_fields.push_back(key.parent_fields[i]);
        }
    }
    tk_trace(1, "No FKs found");
    unbind_and_close(stmt);
}
