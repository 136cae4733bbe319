#include "udb_db.hpp"

#include "tk_excp.hpp"
#include "tk_log.hpp"

namespace {
// Quoted in problem reports; kept stable.
constexpr int line_delete_unknown = 44;
constexpr int line_query_rows = 70;
} // namespace

// ---------------------------------------------------------------------------------------------
// udb_recordset

udb_recordset::udb_recordset(std::u16string name, std::u16string query_text, bool b_owner)
    : query_text_(std::move(query_text)), name_(std::move(name)), schema_(b_owner) {}

udb_recordset::udb_recordset(std::u16string name, bool b_owner)
    : name_(std::move(name)), schema_(b_owner) {}

udb_recordset::~udb_recordset() = default;

void udb_recordset::update() { tk_trace(2, "udb_recordset::update"); }

const udb_record* udb_recordset::get_item() { return nullptr; }

bool udb_recordset::exchange_item(udb_record&) { return false; }

bool udb_recordset::is_eof() { return true; }

bool udb_recordset::is_query() const { return !query_text_.empty(); }

void udb_recordset::next() {}

void udb_recordset::prev() {}

void udb_recordset::reset() {}

void udb_recordset::finish() {}

int udb_recordset::records_refused_late() const noexcept { return 0; }

void udb_recordset::add_index(const udb_index& index) {
    tk_wtrace(2, u"udb_recordset::add_index (%s)", index.name.c_str());
    if (!indexes_.is_acceptable_name(index.name)) return;
    if (primary_key_index_ == -1 && (index.b_primary || index.b_unique)) {
        tk_trace(1, "Store primary/unique key");
        primary_key_index_ = static_cast<std::int32_t>(indexes_.size());
    }
    indexes_.add(index);
}

// ---------------------------------------------------------------------------------------------
// udb_database

udb_database::udb_database(std::u16string name, std::int32_t mode, bool b_case_sensitive)
    : mode_(mode), name_(std::move(name)), b_case_sensitive_(b_case_sensitive) {
    tk_wtrace(2, u"udb_database::ctor(%s)", name_.c_str());
}

udb_database::~udb_database() { tk_trace(2, "udb_database::dtor"); }

std::ptrdiff_t udb_database::find_table(const std::u16string& name) const {
    for (std::size_t i = 0; i < tables_.size(); ++i) {
        tk_wtrace(1, u"Compare with %s", tables_[i].c_str());
        if (b_case_sensitive_ ? tables_[i] == name : udb_name_equal(tables_[i], name))
            return static_cast<std::ptrdiff_t>(i);
    }
    return -1;
}

bool udb_database::delete_tab(const std::u16string& name) {
    tk_wtrace(2, u"udb_database::delete_tab (%s)", name.c_str());
    const std::ptrdiff_t i = find_table(name);
    if (i < 0) throw tk_mail_assertion("udb_db", line_delete_unknown);
    tables_.erase(tables_.begin() + i);
    return true;
}

std::unique_ptr<udb_recordset> udb_database::query_rows(const std::u16string&) {
    throw tk_mail_assertion("udb_db", line_query_rows);
}

void udb_database::create_views(const udb_query_map&) {}

void udb_database::finish() {}

void udb_database::create_relationships(const udb_relationships&) {}

bool udb_database::is_table_exist(const std::u16string& name) const {
    tk_wtrace(2, u"udb_database::is_table_exist(%s)", name.c_str());
    if (find_table(name) >= 0) {
        tk_trace(1, "table exists");
        return true;
    }
    tk_trace(1, "table not found");
    return false;
}

void udb_database::adopt_table(udb_database& part, const std::u16string& name) {
    tk_wtrace(2, u"udb_database::adopt_table(%s)", name.c_str());
    if (!part.is_table_exist(name)) return;
    if (!is_table_exist(name)) tables_.push_back(name);
    const auto& columns = part.names_map().column_maps();
    if (const auto found = columns.find(name); found != columns.end()) names_map_.add_fn_map(name, found->second);
}

std::vector<udb_key_range> udb_database::split_table(const std::u16string&, const std::u16string&, int) { return {}; }

std::unique_ptr<udb_recordset> udb_database::get_table_range(const std::u16string&, const udb_key_range&, int) {
    throw tk_mail_assertion("udb_db", __LINE__);
}

bool udb_database::appends_at_once() const noexcept { return false; }
