#include "db2_init.hpp"

#include "db2_conn.hpp"
#include "db2_engi.hpp"
#include "db2_util.hpp"

#include "tk_log.hpp"

db2_schema_initializer::db2_schema_initializer(std::u16string table, const udb_schema& source,
                                               const udb_indexes& indexes)
    : table_(std::move(table)), validator_(source) {
    tk_trace(1, "db2_schema_initializer::ctor");
    for (const t_ftd* column : source) {
        std::u16string name = column->name;
        if (!validator_.is_acceptable(name)) {
            name = validator_.get_safe_name(name);
            tk_wtrace(2, u"Store generated column name '%s'", name.c_str());
            validator_.add_existing_name(name);
            validator_.add_mapped_pair(column->name, name);
        }
        bool not_null = column->b_auto_increment || column->b_not_null;
        if (indexes.is_idx_field(column->name, true)) {
            tk_trace(2, "Field is a part of Primary Key");
            not_null = true;
        }
        // One identity per DB2 table: a second identity column of the source stays plain.
        const bool identity = column->b_auto_increment && identity_.empty();
        if (identity) identity_ = name;
        t_ftd& added = schema_.add(std::make_unique<t_ftd>(column->size, name, column->vartype, not_null, identity,
                                                           identity ? ole_variant() : column->default_value,
                                                           column->reserved));
        if (!identity) added.default_register = column->default_register;
    }
}

std::u16string db2_schema_initializer::get_init_str(const std::u16string& qualified_table) const {
    tk_trace(1, "db2_schema_initializer::get_init_str(n_columns=%d)", int(schema_.size()));
    std::u16string sql = u"CREATE TABLE " + qualified_table + u" (";
    bool first = true;
    for (const t_ftd* column : schema_) {
        if (!first) sql += u", ";
        first = false;
        sql += db2_quote_name(column->name) + u" " + get_db2_type(*column);
        const bool lob = is_db2_lob_column(*column);
        const std::u16string def = make_db2_def_val(*column);
        tk_wtrace(1, u"got def value: %s", def.c_str());
        if (!def.empty() && !lob) sql += u" DEFAULT " + def;
        if (lob) continue;
        if (column->b_not_null) sql += u" NOT NULL";
        if (column->b_auto_increment) sql += u" GENERATED AS IDENTITY ";
    }
    return sql + u")";
}

db2_indexes_initializer::db2_indexes_initializer(std::u16string table, const udb_indexes& indexes,
                                                 const udb_schema& columns, const t_names_map& renamed)
    : table_(std::move(table)), columns_(columns) {
    for (const udb_index& source : indexes) {
        udb_index index(source.name, source.b_unique, source.b_primary, {});
        for (std::size_t i = 0; i < source.fields.size(); ++i) {
            const std::u16string column = renamed.get_mapped_name(source.fields[i], true);
            if (!can_be_part_of_index(column)) continue;
            index.fields.push_back(column);
            index.descending.push_back(i < source.descending.size() && source.descending[i]);
        }
        if (!index.fields.empty()) indexes_.push_back(std::move(index));
    }
}

bool db2_indexes_initializer::can_be_part_of_index(const std::u16string& column) const {
    tk_trace(1, "db2_indexes_initializer::can_be_part_of_index");
    for (const t_ftd* c : columns_) {
        if (c->name != column) continue;
        tk_trace(1, "GOT FIELD: vt=%d, size=%d", int(c->vartype), int(c->size));
        if (!is_db2_lob_column(*c)) return true;
        break;
    }
    tk_wtrace(2, u"Field '%s' cannot be part of index", column.c_str());
    return false;
}

void db2_indexes_initializer::build_indexes(SQLHDBC dbc, const std::u16string& qualified_table,
                                            const std::u16string& schema, db2_validator& registry) const {
    tk_trace(2, "db2_indexes_initializer::build_indexes(n_indexes=%d)", int(indexes_.size()));
    for (const udb_index& index : indexes_) {
        std::u16string sql;
        if (index.b_primary) {
            sql = u"ALTER TABLE " + qualified_table + u" ADD CONSTRAINT " + db2_quote_name(index.name) +
                  u" PRIMARY KEY (";
        } else {
            std::u16string name = index.name;
            if (!registry.is_acceptable(name) || registry.is_duplicated(name)) {
                name = registry.get_safe_name(name);
                tk_wtrace(2, u"Store generated index name '%s'", name.c_str());
            }
            registry.add_existing_name(name);
            sql = std::u16string(u"CREATE ") + (index.b_unique ? u"UNIQUE " : u"") + u"INDEX " + schema + u"." +
                  db2_quote_name(name) + u" ON " + qualified_table + u" (";
        }
        for (std::size_t i = 0; i < index.fields.size(); ++i) {
            tk_wtrace(1, u"Process idx.field %s", index.fields[i].c_str());
            if (i) sql += u", ";
            sql += db2_quote_name(index.fields[i]);
            // A primary key has no order of its own.
            if (!index.b_primary && i < index.descending.size() && index.descending[i]) sql += u" DESC";
        }
        sql += u")";
        tk_wtrace(3, u"Run SQL query: %s\n", sql.c_str());
        db2_execute(dbc, sql);
    }
}
