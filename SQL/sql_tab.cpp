#include "sql_tab.hpp"

#include "sql_stmt.hpp"
#include "sql_util.hpp"
#include "sql_view.hpp"
#include "tk_excp.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"

#include <cstdio>

namespace {

constexpr const char* structure_error =
    "The structure of data source does not conform to the destination table. For more information see "
    "Troubleshooting article of the product documentation.";

// Bytes of a packet that are not the statement (the command byte and headers), kept free.
constexpr std::size_t packet_reserve = 1024;

std::string field_text(const udb_field& field) {
    return field.is_empty_or_null() ? std::string() : tk_to_utf8(field.to_wstring());
}

} // namespace

sql_table::sql_table(sql_database& database, const std::u16string& name)
    : sql_recordset(database, name, {}), link_(database),
      sender_(link_, name, database.server_version(), record_count_) {
    tk_trace(2, "sql_table::ctor");
    learn_table();
}

sql_table::~sql_table() {
    tk_trace(2, "sql_table::dtor");
    sender_.abandon();
    if (!pending_.tuples.empty()) {
        // The finishing step was not reached (the item failed): the batch is given up.
        tk_trace(2, "Discarding %d unsent row(s)", int(pending_.tuples.size()));
    }
}

void sql_table::learn_table() {
    tk_trace(2, "sql_table::initialize");
    const std::u16string qname = quoted_name();
    {
        std::unique_ptr<udb_recordset> columns = database_.query_rows(u"SHOW COLUMNS FROM " + qname);
        std::size_t i = 0;
        if (columns) {
            for (columns->reset(); !columns->is_eof() && i < schema_.size(); columns->next(), ++i) {
                const udb_record& row = *columns->get_item();
                if (row.size() < 3) continue;
                t_ftd& column = schema_[i];
                const std::string type = field_text(row[1]);
                tk_trace(1, "Got type: %s", type.c_str());
                int a = 0, b = 0;
                if (std::sscanf(type.c_str(), "varchar(%d)", &a) == 1) {
                    tk_trace(1, "Refining size for varchar: %d", a);
                    column.size = std::uint32_t(a);
                } else if (std::sscanf(type.c_str(), "float(%d,%d)", &a, &b) == 2) {
                    tk_trace(1, "Refining type for FLOAT(%d,%d)", a, b);
                    if (a != 0 && b != 0 && b < a) {
                        column.vartype = VT_DECIMAL;
                        column.reserved = std::uint32_t(a) * 256 + std::uint32_t(b);
                    }
                }
                const udb_field& def = row[row.size() - 2];
                const std::u16string def_text = def.is_empty_or_null() ? std::u16string() : def.to_wstring();
                if (!tk_log::skips(1)) tk_trace(1, "Got default value: %s", tk_to_utf8(def_text).c_str());
                if (column.b_not_null || !def_text.empty()) {
                    tk_trace(1, "Default value's type: %08X", unsigned(def.vt()));
                    if (column.vartype == VT_DATE &&
                        (def_text.empty() || def_text == u"0000-00-00" || def_text == u"0000-00-00 00:00:00" ||
                         def_text == u"00000000000000")) {
                        tk_trace(1, "Skip empty def.values for date column");
                        column.b_not_null = false;
                    } else {
                        column.default_value = get_variant(needs_quotes(column.vartype) ? std::uint16_t(VT_BSTR)
                                                                                        : column.vartype,
                                                           def.is_empty_or_null() ? nullptr : def_text.c_str());
                    }
                }
            }
        }
    }
    {
        std::unique_ptr<udb_recordset> keys = database_.query_rows(u"SHOW INDEX FROM " + qname);
        std::vector<udb_index> found;
        if (keys) {
            for (keys->reset(); !keys->is_eof(); keys->next()) {
                const udb_record& row = *keys->get_item();
                if (row.size() < 5) continue;
                const bool unique = row[1].to_long() == 0;
                const std::u16string key = row[2].to_wstring();
                const bool primary = key == u"PRIMARY";
                const std::u16string column = row[4].to_wstring();
                if (!tk_log::skips(1)) {
                    tk_trace(1, "Got index '%s' (primary=%d, unique=%d)", tk_to_utf8(key).c_str(), int(primary),
                             int(unique));
                }
                bool added = false;
                for (udb_index& index : found) {
                    if (udb_name_equal(index.name, key)) {
                        index.fields.push_back(column);
                        added = true;
                        break;
                    }
                }
                if (!added) found.emplace_back(key, unique || primary, primary, udb_names{column});
            }
        }
        // Rows come in key order and column order, so every key is complete when it is added.
        for (const udb_index& index : found) add_index(index);
    }
    if (database_.server_version() >= sql_ver_innodb) {
        tk_trace(1, "Extracting foreign keys");
        std::unique_ptr<udb_recordset> create = database_.query_rows(u"SHOW CREATE TABLE " + qname);
        if (create) {
            create->reset();
            const udb_record* row = create->get_item();
            if (row && !row->empty()) {
                sql_fk_parser parser(name_, (*row)[row->size() - 1].to_wstring());
                parser.do_parse();
            }
        }
    }
}

void sql_table::append_record(const udb_record& record) {
    tk_trace(1, "sql_table::append_record");
    ++appended_;
    ++record_count_;
    tk_trace(1, "*** FAST INSERT MODE ***");
    fast_append(record);
}

void sql_table::raise_structure_error() const { throw tk_exception(structure_error, tk_level_item); }

void sql_table::pair_fields(const udb_record& record) {
    std::vector<std::pair<std::size_t, std::size_t>> pairs;
    std::unique_ptr<udb_validator> validator = database_.engine().create_fn_validator(record);
    // As the table's columns were named: a name taken restricts the names after it, so that of
    // "a" and "A" the second is mapped here as it was when the table was created.
    auto mapped = [&](const std::u16string& name) {
        std::u16string out = name;
        if (!validator->is_acceptable(name)) {
            out = validator->get_safe_name(name);
            validator->add_existing_name(out);
        }
        validator->restricted_names().push_back(out);
        return out;
    };
    if (record.size() < schema_.size()) {
        tk_trace(1, "Size of record is less than size of schema");
        for (std::size_t f = 0; f < record.size(); ++f) {
            const std::u16string name = mapped(record[f].name);
            if (!tk_log::skips(1)) {
                tk_wtrace(1, u"Name=%s, mapped name=%s", record[f].name.c_str(), name.c_str());
            }
            std::size_t c = 0;
            while (c < schema_.size() && !udb_name_equal(schema_[c].name, name)) ++c;
            if (c == schema_.size()) {
                tk_wtrace(1, u"Field %s not found", name.c_str());
                raise_structure_error();
            }
            pairs.emplace_back(f, c);
        }
    } else {
        tk_trace(1, "Size of schema is less or equal to the size of record");
        // The field finder: the record's names as the table's columns were named.
        std::vector<std::u16string> names;
        names.reserve(record.size());
        for (std::size_t f = 0; f < record.size(); ++f) {
            names.push_back(mapped(record[f].name));
            if (names.back() != record[f].name && !tk_log::skips(1)) {
                tk_wtrace(1, u"GOT SAFE NAME: %s->%s", record[f].name.c_str(), names.back().c_str());
            }
        }
        for (std::size_t c = 0; c < schema_.size(); ++c) {
            tk_wtrace(1, u"sql_field_finder::get_field_idx(%s)", schema_[c].name.c_str());
            std::size_t f = 0;
            while (f < names.size() && names[f] != schema_[c].name) ++f;
            if (f == names.size()) {
                tk_wtrace(1, u"Field %s not found in appending record", schema_[c].name.c_str());
                raise_structure_error();
            }
            pairs.emplace_back(f, c);
        }
    }
    std::vector<std::u16string> columns;
    columns.reserve(pairs.size());
    for (const auto& pair : pairs) columns.push_back(schema_[pair.second].name);
    head_ = sql_insert_head(name_, columns, database_.server_version());
    pairs_ = std::move(pairs);
    paired_names_.clear();
    for (const auto& field : record) paired_names_.push_back(field->name);
}

void sql_table::fast_append(const udb_record& record) {
    tk_trace(1, "sql_table::fast_append");
    bool same = record.size() == paired_names_.size() && !pairs_.empty();
    for (std::size_t f = 0; same && f < record.size(); ++f) same = record[f].name == paired_names_[f];
    if (!same) {
        const std::string previous = head_;
        pair_fields(record);
        // One column list serves a whole batch: rows of another shape start a new one.
        if (!pending_.tuples.empty() && previous != head_) send_pending();
    }

    std::string& out = pending_.statement;
    const bool first = pending_.tuples.empty();
    const std::size_t mark = out.size();
    std::size_t begin = 0;
    try {
        if (first) {
            tk_trace(1, "Initialize new query...");
            fast_append_head();
        } else {
            out += ", ";
        }
        begin = out.size();
        sql_append_insert_tuple(out, pairs_.size(), [&](std::size_t k) {
            return sql_cell(record[pairs_[k].first], schema_[pairs_[k].second]);
        });
        tk_trace(1, "sql_query=[%.*s]", int(out.size() - begin), out.data() + begin);
    } catch (...) {
        // Nothing of a record that cannot be written stays in the batch.
        out.resize(first ? 0 : mark);
        if (first) pending_.head_length = 0;
        throw;
    }
    // No statement is built larger than the server accepts: a record that does not fit even
    // alone is reported, and one that does not fit beside the batch starts the next batch.
    const std::size_t packet = database_.engine().max_packet();
    if (packet > packet_reserve) {
        const std::size_t limit = packet - packet_reserve;
        const std::size_t tuple = out.size() - begin;
        if (const std::size_t alone = pending_.head_length + tuple; alone > limit) {
            out.resize(first ? 0 : mark);
            if (first) pending_.head_length = 0;
            report_too_large(alone, packet);
            return;
        }
        if (out.size() > limit) {
            // Rare (a large row after smaller ones): the copy costs less than the statement.
            const std::string text(out, begin, tuple);
            out.resize(mark);
            send_pending();
            fast_append_head();
            pending_.statement += text;
            pending_.tuples.push_back({std::uint32_t(pending_.head_length), std::uint32_t(pending_.statement.size()),
                                       records_before_ + appended_});
            return;
        }
    }
    pending_.tuples.push_back({std::uint32_t(begin), std::uint32_t(out.size()), records_before_ + appended_});
    if (out.size() > batch_limit) send_pending();
}

void sql_table::fast_append_head() {
    std::string& out = pending_.statement;
    out += head_;
    pending_.head_length = out.size();
}

void sql_table::report_too_large(std::size_t statement_bytes, std::size_t packet) {
    sender_.report_rejected({0, 0, records_before_ + appended_}, sql_batch_sender::packet_too_large,
                            "The record needs an INSERT statement of " + std::to_string(statement_bytes) +
                                " bytes, more than the server's max_allowed_packet of " + std::to_string(packet) +
                                " bytes. Raise max_allowed_packet on the server above " +
                                std::to_string(statement_bytes) + " bytes and convert this table again.");
}

void sql_table::finish() {
    tk_trace(2, "sql_table::finish");
    send_pending();
    collect();
}

void sql_table::reset() {
    collect();
    sql_recordset::reset();
}

void sql_table::next() {
    collect();
    sql_recordset::next();
}

void sql_table::update(const udb_record& record) {
    tk_trace(1, "sql_table::update");
    collect();
    std::unique_ptr<udb_validator> validator = database_.engine().create_fn_validator(record);
    if (primary_key_index_ == -1) {
        tk_trace(1, "There's no primary/unique key");
        return;
    }
    tk_trace(1, "Step #1");
    tk_verify(std::size_t(primary_key_index_) < indexes_.size(), "sql_tab", __LINE__);
    const udb_index& key = indexes_[std::size_t(primary_key_index_)];
    tk_trace(1, "Step #2");
    const std::uint32_t version = database_.server_version();
    std::string statement = "UPDATE ";
    sql_append_quoted_name(statement, name_, version);
    statement += " SET ";
    tk_trace(1, "Step #3");
    std::string set_list, where_list;
    for (const auto& field : record) {
        tk_trace(1, "Step #4");
        std::u16string name = field->name;
        if (!validator->is_acceptable(name)) {
            name = validator->get_safe_name(name);
            validator->add_existing_name(name);
        }
        tk_wtrace(1, u"Got mappend fn: %s", name.c_str());
        if (!schema_.has_field(name)) {
            tk_wtrace(1, u"Field '%s' is not found in schema", name.c_str());
            continue;
        }
        bool in_key = false;
        for (const auto& k : key.fields) in_key = in_key || k == name;
        if (!in_key) {
            tk_wtrace(1, u"Field %s is NOT a part of UKey", name.c_str());
            if (!set_list.empty()) set_list += ", ";
            sql_append_quoted_name(set_list, name, version);
            set_list += '=';
            set_list += to_mysql_str(*field);
        } else {
            tk_wtrace(1, u"Field %s is a part of UKey", name.c_str());
            if (!where_list.empty()) where_list += " AND ";
            sql_append_quoted_name(where_list, name, version);
            where_list += '=';
            append_fld_str(where_list, *field, schema_.find_field(name));
        }
    }
    statement += set_list;
    statement += " WHERE ";
    statement += where_list;
    tk_trace(2, "UPDATE QUERY: %s", statement.c_str());
    if (where_list.empty()) {
        tk_trace(1, "Missing primary/unique key");
        return;
    }
    database_.query_append(statement);
}
