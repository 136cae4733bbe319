#include "udb_memdb.hpp"

#include "tk_utils.hpp"
#include "udb_errh.hpp"

namespace memdb {

namespace {

std::string utf8(const std::u16string& s) { return tk_to_utf8(s); }

void fill_schema(udb_schema& schema, const std::vector<t_ftd>& columns) {
    for (const t_ftd& c : columns) schema.add(std::make_unique<t_ftd>(c));
}

std::vector<t_ftd> columns_of(const udb_schema& schema) {
    std::vector<t_ftd> out;
    for (const t_ftd* c : schema) out.push_back(*c);
    return out;
}

/// Reads the rows of a table (or a query result) kept by a source_db.
class source_recordset : public udb_recordset {
public:
    source_recordset(std::u16string name, std::u16string query_text, const table& t, source_state& state)
        : udb_recordset(std::move(name), std::move(query_text), true), table_(t), state_(state) {
        ++state_.live_recordsets;
        fill_schema(schema_, t.columns);
        for (const udb_index& i : t.indexes) add_index(i);
        record_count_ = t.reported_count ? *t.reported_count : static_cast<std::int32_t>(t.rows.size());
        for (const t_ftd* c : schema_) record_.add(std::make_unique<udb_field>(c->name, c->size, ole_variant()));
    }

    ~source_recordset() override { --state_.live_recordsets; }

    void append_record(const udb_record&) override { throw tk_mail_assertion("memdb", __LINE__); }
    const udb_record* get_item() override {
        if (is_eof()) return nullptr;
        const auto& row = table_.rows[static_cast<std::size_t>(pos_)];
        for (std::size_t i = 0; i < row.size() && i < record_.size(); ++i) record_[i].set_value(row[i]);
        ++state_.rows_read;
        return &record_;
    }
    bool is_eof() override { return pos_ < 0 || static_cast<std::size_t>(pos_) >= table_.rows.size(); }
    void next() override { ++pos_; }
    void reset() override { pos_ = 0; }

private:
    const table& table_;
    source_state& state_;
    udb_record record_;
    std::ptrdiff_t pos_ = -1;  // before the first row until reset()
};

/// Appends to one table kept in a dest_state.
class dest_recordset : public udb_recordset {
public:
    dest_recordset(std::shared_ptr<dest_state> state, std::u16string name, const std::vector<t_ftd>& columns)
        : udb_recordset(std::move(name), true), state_(std::move(state)) {
        fill_schema(schema_, columns);
        ++state_->live_recordsets;
    }
    ~dest_recordset() override { --state_->live_recordsets; }

    void append_record(const udb_record& record) override {
        ++appends_;
        if (state_->reject.count({name_, appends_})) {
            failure{"Duplicate entry '" + std::to_string(appends_) + "' for key 'PRIMARY'", tk_level_item,
                    duplicate_key_code}
                .raise();
        }
        if (state_->buffered && state_->batch_rows > 0 && int(pending_.size()) == state_->batch_rows) send();
        std::vector<ole_variant> row;
        row.reserve(record.size());
        for (const auto& f : record) row.push_back(f->value());
        if (state_->buffered) {
            pending_.emplace_back(appends_, std::move(row));
        } else {
            target().rows.push_back(std::move(row));
        }
    }

    void finish() override {
        state_->log.push_back("finish(" + utf8(name_) + ")");
        if (state_->fail_finish.count(name_)) {
            pending_.clear();
            failure{"Lost connection to MySQL server during query", tk_level_item, 0x400000 + 2013}.raise();
        }
        send();
    }

    int records_refused_late() const noexcept override { return refused_late_; }

private:
    table& target() {
        table* t = state_->find(name_);
        if (!t) throw tk_mail_assertion("memdb", __LINE__);
        return *t;
    }

    // Stores the pending rows, reporting those the state refuses late.
    void send() {
        std::vector<std::pair<int, std::vector<ole_variant>>> batch = std::move(pending_);
        pending_.clear();
        for (auto& [position, row] : batch) {
            if (!state_->reject_late.count({name_, position})) {
                target().rows.push_back(std::move(row));
                continue;
            }
            ++refused_late_;
            error_handler::instance().set_context(name_, position);
            error_handler::instance().handle(tk_exception("Duplicate entry '" + std::to_string(position) +
                                                              "' for key 'PRIMARY'",
                                                          tk_level_item),
                                             0);
        }
    }

    std::shared_ptr<dest_state> state_;
    int appends_ = 0;
    int refused_late_ = 0;
    // (position, row), dropped unless sent
    std::vector<std::pair<int, std::vector<ole_variant>>> pending_;
};

}  // namespace

table make_table(std::u16string name, int count, bool keyed) {
    table t;
    t.name = std::move(name);
    t.columns.emplace_back(0, u"ID", VT_I4, true);
    t.columns.emplace_back(20, u"NAME", VT_BSTR);
    if (keyed) t.indexes.emplace_back(u"PK_" + t.name, true, true, udb_names{u"ID"});
    for (int i = 1; i <= count; ++i) {
        std::vector<ole_variant> row;
        row.emplace_back(i);
        row.emplace_back(tk_ascii_to_wide("row" + std::to_string(i)));
        t.rows.push_back(std::move(row));
    }
    return t;
}

std::vector<int> ids(const std::vector<std::vector<ole_variant>>& rows) {
    std::vector<int> out;
    for (const auto& row : rows) out.push_back(row.empty() ? -1 : row[0].i4());
    return out;
}

void failure::raise() const {
    tk_exception e(text, level);
    e.set_code(code);
    throw e;
}

// ---- source ----

source_db::source_db(std::shared_ptr<source_state> state, std::u16string name, bool case_sensitive)
    : udb_database(std::move(name), 1, case_sensitive), state_(std::move(state)) {
    for (const table& t : state_->tables) tables_.push_back(t.name);
    queries_ = state_->views;
    relationships_ = state_->relationships;
    unconverted_views_ = state_->unconverted_views;
}

source_db::~source_db() {
    state_->log.push_back("destroyed");
    state_->destroyed = true;
}

std::unique_ptr<udb_recordset> source_db::create_table(const std::u16string& name, const udb_schema&,
                                                       const udb_indexes&) {
    state_->log.push_back("create_table(" + utf8(name) + ")");
    throw tk_mail_assertion("memdb", __LINE__);
}

std::unique_ptr<udb_recordset> source_db::get_table(const std::u16string& name, int kind) {
    state_->log.push_back("get_table(" + utf8(name) + "," + std::to_string(kind) + ")");
    if (auto f = state_->fail_open.find(name); f != state_->fail_open.end()) f->second.raise();
    for (const table& t : state_->tables) {
        if (t.name == name) return std::make_unique<source_recordset>(name, u"", t, *state_);
    }
    failure{"no such table"}.raise();
}

std::unique_ptr<udb_recordset> source_db::get_query(const std::u16string& name, const std::u16string& query_text,
                                                    int kind) {
    state_->log.push_back("get_query(" + utf8(name) + "," + utf8(query_text) + "," + std::to_string(kind) + ")");
    if (auto f = state_->fail_open.find(name); f != state_->fail_open.end()) f->second.raise();
    if (state_->no_queries) return nullptr;
    auto r = state_->query_results.find(query_text);
    if (r == state_->query_results.end()) failure{"query failed"}.raise();
    return std::make_unique<source_recordset>(name, query_text, r->second, *state_);
}

bool source_db::query(const std::u16string& statement) {
    state_->log.push_back("query(" + utf8(statement) + ")");
    return true;
}

// ---- destination ----

const table* dest_state::find(const std::u16string& name) const {
    for (const table& t : stored) {
        if (udb_name_equal(t.name, name)) return &t;
    }
    return nullptr;
}

table* dest_state::find(const std::u16string& name) {
    return const_cast<table*>(static_cast<const dest_state*>(this)->find(name));
}

dest_db::dest_db(std::shared_ptr<dest_state> state, std::u16string name)
    : udb_database(std::move(name), 1, false), state_(std::move(state)) {
    for (const table& t : state_->stored) tables_.push_back(t.name);
}

dest_db::~dest_db() {
    state_->log.push_back("destroyed");
    state_->destroyed = true;
}

std::unique_ptr<udb_recordset> dest_db::create_table(const std::u16string& name, const udb_schema& schema,
                                                     const udb_indexes& indexes) {
    state_->log.push_back("create_table(" + utf8(name) + ")");
    if (auto f = state_->fail_create.find(name); f != state_->fail_create.end()) f->second.raise();
    state_->index_counts[name] = indexes.size();
    if (const table* existing = state_->find(name)) {
        return std::make_unique<dest_recordset>(state_, existing->name, existing->columns);
    }
    table t;
    t.name = name;
    t.columns = columns_of(schema);
    t.indexes.assign(indexes.begin(), indexes.end());
    state_->stored.push_back(std::move(t));
    tables_.push_back(name);
    return std::make_unique<dest_recordset>(state_, name, state_->stored.back().columns);
}

bool dest_db::delete_tab(const std::u16string& name) {
    state_->log.push_back("delete_tab(" + utf8(name) + ")");
    auto& stored = state_->stored;
    for (auto it = stored.begin(); it != stored.end(); ++it) {
        if (udb_name_equal(it->name, name)) {
            stored.erase(it);
            break;
        }
    }
    return udb_database::delete_tab(name);
}

std::unique_ptr<udb_recordset> dest_db::get_table(const std::u16string&, int) {
    throw tk_mail_assertion("memdb", __LINE__);
}

std::unique_ptr<udb_recordset> dest_db::get_query(const std::u16string&, const std::u16string&, int) {
    throw tk_mail_assertion("memdb", __LINE__);
}

bool dest_db::query(const std::u16string& statement) {
    state_->log.push_back("query(" + utf8(statement) + ")");
    return true;
}

void dest_db::finish() {
    state_->log.push_back("finish");
    if (state_->fail_database_finish) state_->fail_database_finish->raise();
}

void dest_db::create_views(const udb_query_map& queries) {
    state_->log.push_back("create_views(" + std::to_string(queries.size()) + ")");
    if (state_->fail_views) state_->fail_views->raise();
    state_->views = queries;
}

void dest_db::create_relationships(const udb_relationships& relationships) {
    state_->log.push_back("create_relationships(" + std::to_string(relationships.size()) + ")");
    if (state_->fail_relationships) state_->fail_relationships->raise();
    state_->relationship_count = relationships.size();
}

// ---- sides ----

std::unique_ptr<udb_database> sides::open_source() {
    if (fail_open_source) fail_open_source->raise();
    return std::make_unique<source_db>(source);
}

std::unique_ptr<udb_database> sides::open_destination() {
    if (fail_open_destination) fail_open_destination->raise();
    return std::make_unique<dest_db>(dest);
}

std::unique_ptr<udb_validator> sides::create_validator(const std::vector<std::u16string>& tables,
                                                       const udb_database& destination) {
    auto v = std::make_unique<udb_validator>(max_name_length);
    for (const auto& t : tables) v->add_existing_name(t);
    for (const auto& t : destination.tables()) v->add_existing_name(t);
    return v;
}

void sides::prepare_destination(udb_database& destination) {
    ++prepared;
    dest->log.push_back("prepare(" + utf8(destination.name()) + ")");
}

}  // namespace memdb
