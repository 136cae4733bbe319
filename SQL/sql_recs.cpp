#include "sql_recs.hpp"

#include "sql_util.hpp"
#include "tk_excp.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"

sql_recordset::sql_recordset(sql_database& database, const std::u16string& name, const std::u16string& query_text)
    : udb_recordset(name, query_text, true), database_(database) {
    initialize();
}

sql_recordset::~sql_recordset() = default;

std::u16string sql_recordset::quoted_name() const {
    return sql_quote_name(name_, database_.server_version());
}

void sql_recordset::initialize() {
    tk_trace(2, "sql_recordset::initialize");
    for (auto& slot : page_) slot.reset();
    record_count_ = get_rec_count();
    tk_trace(2, "get_rec_count returns %d", record_count_);

    sql_database::sql_limited_query first(database_, is_query() ? query_text_ : name_, 0, sql_page_size, is_query());
    first.store_to(&page_);
    const MYSQL_FIELD* fields = first.fields();
    for (unsigned i = 0; i < first.field_count(); ++i) {
        const MYSQL_FIELD& f = fields[i];
        tk_trace(1, "Processing field #%d", int(i + 1));
        tk_trace(1, "GOT FIELD: name=%s, type=%d, size=%d", f.name, int(f.type), int(f.length));
        std::uint16_t vt = get_mysql_vartype(int(f.type), f.flags);
        std::uint32_t reserved = 0;
        switch (f.type) {
        case MYSQL_TYPE_DATETIME: reserved = 1; break;
        case MYSQL_TYPE_DATE: reserved = 2; break;
        case MYSQL_TYPE_TIME: reserved = 3; break;
        case MYSQL_TYPE_LONGLONG: reserved = (f.flags & UNSIGNED_FLAG) ? 2 : 1; break;
        default: break;
        }
        if (vt == VT_BLOB && (f.flags & BINARY_FLAG) == 0) {
            // MySQL's TEXT columns are read as text.
            tk_trace(1, "Change type from BLOB to TEXT");
            vt = VT_BSTR;
        }
        if (f.type == MYSQL_TYPE_DECIMAL || f.type == MYSQL_TYPE_NEWDECIMAL) {
            const std::uint32_t d = f.decimals;
            const std::uint32_t n = std::uint32_t(f.length);
            tk_trace(1, "Scale/precision: (%d,%d)", int(d), int(n));
            // The display length counts the sign and, with decimals, the point.
            reserved = d + (n - 2 + (d == 0 ? 1 : 0)) * 256;
        }
        schema_.add(std::make_unique<t_ftd>(std::uint32_t(f.length),
                                            tk_from_utf8(std::string_view(f.name, f.name_length)), vt,
                                            (f.flags & NOT_NULL_FLAG) != 0, (f.flags & AUTO_INCREMENT_FLAG) != 0,
                                            ole_variant(), reserved));
    }
}

std::int32_t sql_recordset::get_rec_count() {
    tk_trace(2, "sql_recordset::get_rec_count");
    const std::u16string statement = is_query() ? u"SELECT COUNT(*) FROM (" + query_text_ + u") as query"
                                                : u"SELECT COUNT(*) FROM " + quoted_name();
    std::unique_ptr<udb_recordset> result = database_.query_rows(statement);
    if (!result) return 0;
    result->reset();
    const udb_record* row = result->get_item();
    if (!row || row->empty()) return 0;
    return (*row)[0].to_long();
}

void sql_recordset::load_page(long offset) {
    sql_database::sql_limited_query page(database_, is_query() ? query_text_ : name_, offset, sql_page_size,
                                         is_query());
    page.store_to(&page_);
}

void sql_recordset::append_record(const udb_record&) { throw tk_mail_assertion("sql_recs", __LINE__); }

const udb_record* sql_recordset::get_item() { return page_[std::size_t(position_)].get(); }

bool sql_recordset::is_eof() { return row_ >= record_count_; }

void sql_recordset::next() {
    if (position_ < sql_page_size - 1) {
        ++position_;
    } else {
        for (auto& slot : page_) slot.reset();
        load_page(long(row_) + 1);
        position_ = 0;
    }
    ++row_;
}

void sql_recordset::prev() {
    if (row_ > 0) {
        --row_;
        if (position_ > 0) --position_;
    }
}

void sql_recordset::reset() {
    tk_trace(2, "sql_recordset::reset");
    row_ = 0;
    position_ = 0;
    load_page(0);
}

sql_tmp_recordset::sql_tmp_recordset(sql_result result) : udb_recordset(std::u16string(), true) {
    tk_trace(2, "sql_tmp_recordset::initialize");
    tk_verify(result != nullptr, "sql_recs", __LINE__);
    const unsigned n = mysql_num_fields(result.get());
    const MYSQL_FIELD* fields = mysql_fetch_fields(result.get());
    while (MYSQL_ROW row = mysql_fetch_row(result.get())) {
        records_.push_back(std::make_unique<sql_record>(n, fields, mysql_fetch_lengths(result.get()), row));
    }
    record_count_ = std::int32_t(records_.size());
}

void sql_tmp_recordset::append_record(const udb_record&) { throw tk_mail_assertion("sql_recs", __LINE__); }

const udb_record* sql_tmp_recordset::get_item() {
    return position_ < records_.size() ? records_[position_].get() : nullptr;
}

bool sql_tmp_recordset::is_eof() { return position_ >= records_.size(); }
