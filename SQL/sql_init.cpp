#include "sql_init.hpp"

#include "sql_engi.hpp"
#include "sql_util.hpp"
#include "tk_utils.hpp"
#include "udb_rule.hpp"

namespace {

constexpr std::size_t max_key_columns = 16;

void wtrace(int level, tk_wformat_string<const char16_t*> format, const std::u16string& text) { tk_wtrace(level, format, text.c_str()); }

// Columns MySQL cannot index without a prefix length: the BLOB and TEXT kinds.
bool is_unindexable(std::uint16_t vt, std::uint32_t size, std::uint32_t version) {
    const ole_type_props& type = ole_type_of(vt);
    if (type.group == ole_type_group::blob) return true;
    if (!type.short_form) return false;
    // Byte strings are BLOBs before VARBINARY.
    return !ole_fits_short_string(size) || (type.group == ole_type_group::bytes && version < sql_ver_varbinary);
}

bool has_exact_column(const udb_schema& schema, const std::u16string& name) {
    for (const t_ftd* column : schema)
        if (column->name == name) return true;
    return false;
}

} // namespace

sql_schema_initializer::sql_schema_initializer(std::u16string table, const udb_schema& source,
                                               const udb_indexes& indexes, std::u16string& auto_increment_name)
    : table_(std::move(table)), schema_(true), auto_increment_name_(auto_increment_name), indexes_(indexes),
      source_(source) {
    tk_trace(2, "sql_schema_initializer::ctor");
    validator_ = sql_engine::instance().create_fn_validator(source);
    for (const t_ftd* column : source) {
        const bool keep = validator_->is_acceptable(column->name);
        std::u16string name = keep ? column->name : validator_->get_safe_name(column->name);
        auto copy = std::make_unique<t_ftd>(*column);
        copy->name = name;
        if (!tk_log::skips(2)) {
            const std::string narrow = tk_to_utf8(name);
            tk_trace_write(2, "GOT FIELD: name=%s, type=%d, flags=%d", narrow.c_str(), int(copy->vartype),
                           int(copy->reserved));
        }
        schema_.add(std::move(copy));
        if (name != column->name) {
            wtrace(2, u"Store generated column name '%s'", name);
            validator_->add_existing_name(name);
            validator_->add_mapped_pair(column->name, name);
        }
        validator_->restricted_names().push_back(std::move(name));
    }
}

void sql_schema_initializer::get_init_chunks(sql_chunks& list) {
    tk_trace(2, "sql_schema_initializer::get_init_chunks(n_columns=%d)", int(schema_.size()));
    const sql_engine& engine = sql_engine::instance();
    const std::uint32_t version = engine.server_version();
    const sql_dialect dialect = engine.dialect();
    auto_increment_name_.clear();
    for (std::size_t i = 0; i < schema_.size(); ++i) {
        const t_ftd& column = schema_[i];
        const std::u16string& source_name = source_[i].name;
        wtrace(1, u"Processing field '%s'", column.name);
        std::u16string text = engine.quote_name(column.name);
        text += u' ';
        if (udb_custom_conversion::is_acceptable1(column)) text += udb_custom_conversion::handle1(column);
        else text += get_native_type(column.vartype, column.size, column.reserved, version, dialect.fractional_seconds());
        if (column.vartype == VT_DATE && (column.reserved & 3) == 1 && ((column.reserved >> 8) & 0xFF) &&
            !dialect.fractional_seconds())
            wtrace(3, u"Fractions of seconds of column '%s' are cut: the server has no DATETIME(n)", column.name);
        if (column.vartype == VT_BSTR && version >= sql_ver_new) {
            text += u" CHARACTER SET ";
            text += tk_ascii_to_wide(sql_text_charset(version));
            text += u' ';
        }
        if (column.b_not_null || column.b_auto_increment || indexes_.is_idx_field(source_name, true) ||
            (version < sql_ver_index_nullable && indexes_.is_idx_field(source_name, false)))
            text += u" NOT NULL";
        if (column.default_register != udb_reg_none) {
            // Checked apart from can_have_def_value: a special register is no value, so it is
            // written or dropped whatever the column.
            if (!column.b_auto_increment) text += sql_register_default(column, dialect);
        } else if (can_have_def_value(column)) {
            const std::u16string value = make_mysql_def_val(column);
            wtrace(1, u"got def value: %s", value);
            if (!value.empty()) text += u" DEFAULT " + value;
            else if (!column.default_value.is_empty_or_null())
                wtrace(3, u"Default of column '%s' dropped: no value of its type", column.name);
        }
        if (column.b_auto_increment && can_have_auto_num(column)) {
            tk_trace(1, "Setting auto-increment");
            if (!auto_increment_name_.empty()) throw tk_mail_assertion("sql_init", __LINE__);
            auto_increment_name_ = column.name;
            text += u" AUTO_INCREMENT";
        }
        if (!column.comment.empty()) {
            wtrace(1, u"Setting column's comment: '%s'", column.comment);
            // Escaped like any text literal: a quote in a remark must not end the statement.
            text += u" COMMENT " + to_mysql_wstr(column.comment, VT_BSTR);
        }
        list.push_back(std::move(text));
    }
}

sql_indexes_initializer::sql_indexes_initializer(const udb_schema& schema, const udb_indexes& source,
                                                 std::u16string auto_increment_name, const t_names_map& column_names)
    : auto_increment_name_(std::move(auto_increment_name)), schema_(schema), column_names_(column_names) {
    tk_trace(1, "sql_indexes_initializer::ctor");
    const std::unique_ptr<udb_validator> validator = sql_engine::instance().create_in_validator(source);
    for (const udb_index& index : source) {
        std::u16string name = validator->is_acceptable(index.name) ? index.name : validator->get_safe_name(index.name);
        udb_names fields;
        fields.reserve(index.fields.size());
        for (const std::u16string& field : index.fields) {
            // The exact spelling first: columns that differ only in case are different columns.
            const auto exact = column_names_.pairs().find(field);
            if (exact != column_names_.pairs().end()) fields.push_back(exact->second);
            else if (has_exact_column(schema_, field)) fields.push_back(field);
            else fields.push_back(column_names_.get_mapped_name(field, false));
        }
        udb_index& added = indexes_.add(udb_index(name, index.b_unique, index.b_primary, std::move(fields)));
        added.descending = index.descending;
        if (name != index.name) {
            wtrace(2, u"Store generated index name '%s'", name);
            validator->add_existing_name(name);
        }
        validator->restricted_names().push_back(std::move(name));
    }
}

void sql_indexes_initializer::get_init_chunks(sql_chunks& list) {
    tk_trace(1, "sql_indexes_initializer::get_init_chunks(n_indexes=%d)", int(indexes_.size()));
    const sql_engine& engine = sql_engine::instance();
    const std::uint32_t version = engine.server_version();
    const bool is_new = version >= sql_ver_new;
    const std::uint32_t max_key_length = is_new ? 500 : 256;
    const int max_indexes = is_new ? 31 : 15;
    int processed = 0;
    bool auto_unindexed = true;
    for (const udb_index& index : indexes_) {
        wtrace(2, u"Process index '%s'", index.name);
        if (index.fields.size() > max_key_columns) {
            tk_trace(2, "Max number of indexes has been reached");
            continue;
        }
        std::u16string text = index.b_primary ? u"PRIMARY KEY"
                                              : (index.b_unique ? u"UNIQUE " : u"INDEX ") + engine.quote_name(index.name);
        text += u" (";
        std::uint32_t key_length = 0;
        bool taken = true;
        bool covers_auto = false;
        for (std::size_t k = 0; k < index.fields.size() && taken; ++k) {
            const std::u16string& field = index.fields[k];
            if (k) text += u", ";
            wtrace(1, u"Process idx.field %s", field);
            // InnoDB takes an AUTO_INCREMENT column only as the first column of some key.
            if (k == 0 && !auto_increment_name_.empty() && auto_unindexed && udb_name_equal(auto_increment_name_, field)) {
                tk_trace(1, "Got index for auto_increment field");
                covers_auto = true;
            }
            text += engine.quote_name(field);
            // Older servers parse DESC and ignore it; bare-name dialects predate it.
            if (is_new && k < index.descending.size() && index.descending[k]) text += u" DESC";
            const std::uint32_t size = schema_.get_field_size(field);
            const std::uint16_t vt = schema_.get_field_type(field);
            if (is_unindexable(vt, size, version)) {
                tk_trace(2, "Indexes on BLOBs are not allowed");
                taken = false;
            } else if ((key_length += size) > max_key_length) {
                tk_trace(2, "Index is too big");
                taken = false;
            }
        }
        if (taken) {
            text += u')';
            list.push_back(std::move(text));
            // Only a key that is written covers the auto-increment column: MySQL refuses an
            // AUTO_INCREMENT column without one.
            if (covers_auto) auto_unindexed = false;
        }
        if (++processed >= max_indexes) break;
    }
    if (!auto_increment_name_.empty() && auto_unindexed) {
        tk_trace(2, "Creating index for auto-field");
        const std::unique_ptr<udb_validator> validator = engine.create_in_validator(indexes_);
        std::u16string name = auto_increment_name_;
        if (!validator->is_acceptable(name) || validator->is_duplicated(name)) name = validator->get_safe_name(name);
        list.push_back(u"INDEX " + engine.quote_name(name) + u" (" + engine.quote_name(auto_increment_name_) + u")");
    }
}
