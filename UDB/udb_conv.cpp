#include "udb_conv.hpp"

#include <atomic>
#include <optional>

#include "tk_excp.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"
#include "udb_ahead.hpp"
#include "udb_errh.hpp"

#include <iostream>

namespace {

// The code range that marks a MySQL client error (error number plus this base).
constexpr int mysql_code_base = 0x400000;
constexpr int mysql_code_end = 0x410000;

// Lock-free, so that a signal handler may set it.
std::atomic<bool> stop_flag{false};
static_assert(std::atomic<bool>::is_always_lock_free);

// Adds records to one of the run's counters in steps, and the rest when it goes: workers that
// added to the same counter at every record would pass its cache line from core to core. The
// progress display reads the counters a few times a second, a step behind at most.
class counter_steps {
public:
    explicit counter_steps(std::atomic<int>& counter) noexcept : counter_(counter) {}
    counter_steps(const counter_steps&) = delete;
    counter_steps& operator=(const counter_steps&) = delete;
    ~counter_steps() { flush(); }
    void add() noexcept {
        if (++pending_ == step) flush();
    }
    void flush() noexcept {
        counter_.fetch_add(pending_, std::memory_order_relaxed);
        pending_ = 0;
    }

private:
    static constexpr int step = 64;
    std::atomic<int>& counter_;
    int pending_ = 0;
};

}  // namespace

void udb_run_sides::prepare_destination(udb_database&) {}

std::unique_ptr<udb_database> udb_run_sides::open_worker_source() { return nullptr; }

std::unique_ptr<udb_database> udb_run_sides::open_worker_destination(udb_database&) { return nullptr; }

void udb_converter::request_stop() noexcept { stop_flag.store(true, std::memory_order_relaxed); }

bool udb_converter::stop_requested() noexcept { return stop_flag.load(std::memory_order_relaxed); }

void udb_converter::clear_stop_request() noexcept { stop_flag.store(false, std::memory_order_relaxed); }

void udb_converter::check_stop(const std::u16string* item, int done, int total) const {
    if (!stop_requested()) return;
    std::string text = "Stopped";
    // The item's own catch names it as the context of the report.
    if (item) text += " after " + std::to_string(done) + " of " + std::to_string(total) + " records";
    tk_trace(3, "%s", text.c_str());
    throw tk_exception(text, tk_level_run);
}

void udb_converter::console_line(std::ostream& stream, const std::string& line) const {
    if (silent_) return;
    std::lock_guard<std::recursive_mutex> hold(error_handler::lock());
    stream << line << '\n' << std::flush;
}

udb_converter::late_refusals::~late_refusals() {
    const int late = writer.records_refused_late();
    converter.records_copied_.fetch_sub(late, std::memory_order_relaxed);
    converter.records_refused_.fetch_add(late, std::memory_order_relaxed);
    report.records_copied -= late;
    report.records_refused += late;
}

std::u16string udb_converter::current_item_name() const {
    std::lock_guard<std::mutex> lock(name_lock_);
    return current_item_name_;
}

udb_converter::udb_converter() : out_(&std::cout), err_(&std::cerr) {
    tk_trace(2, "udb_converter::ctor");
}

udb_converter::~udb_converter() = default;

void udb_converter::set_mode(int mode) {
    tk_trace(1, "udb_converter::set_mode(%d)", mode);
    mode_ = mode;
}

bool udb_converter::is_record_rejection(const tk_exception& e) noexcept {
    // The framework cannot name the MySQL layer's exception class (it sits above this one);
    // the code range is what marks every failure that layer raises.
    return e.code() >= mysql_code_base && e.code() < mysql_code_end;
}

void udb_converter::default_to_all_tables(const udb_database& source) {
    if (table_list_.empty() && selected_items_.empty()) table_list_ = source.tables();
}

void udb_converter::select_items(udb_validator& validator) {
    // Queries (and a profile's tables) reserve their names before any table is named, so that
    // no generated table name takes the name of an item still to come.
    for (const auto& item : selected_items_) validator.add_existing_name(item.first);
    for (const auto& table : table_list_) selected_items_.emplace(table, std::u16string());
}

std::u16string udb_converter::destination_name(const udb_validator& validator, const std::u16string& name,
                                               bool& accepted) {
    accepted = validator.is_acceptable(name);
    return accepted ? name : validator.get_safe_name(name);
}

void udb_converter::reserve_item_name(udb_validator& validator, const std::u16string& destination, bool accepted) {
    if (!accepted) {
        tk_wtrace(2, u"Store generated table name '%s'", destination.c_str());
        validator.add_existing_name(destination);
    }
    // A later item whose name differs from this one only in letter case must not be accepted.
    validator.restricted_names().push_back(destination);
}

void udb_converter::run(udb_run_sides& sides) {
    error_handler& handler = error_handler::instance();
    init_conversion bracket(this, true);
    try {
        run_items(sides);
    } catch (const tk_final_exception&) {
        // The user chose to stop after an error: a quiet end.
    } catch (const tk_exception& e) {
        if (e.level() != tk_level_item) {
            handler.handle(e, 1);
        } else {
            // Out here even a failure of one operation (the source's table list, the
            // destination's creation) means the run did not happen: it is not a success.
            tk_exception run_failure(e.message(), tk_level_run);
            run_failure.set_code(e.code());
            handler.handle(run_failure, 1);
        }
    } catch (const std::exception& e) {
        tk_trace(3, "ERROR:\n%s", e.what());
        if (!silent_) *err_ << e.what() << '\n' << std::flush;
    }
}

void udb_converter::run_items(udb_run_sides& sides) {
    records_copied_.store(0, std::memory_order_relaxed);
    records_refused_.store(0, std::memory_order_relaxed);
    items_failed_.store(0, std::memory_order_relaxed);
    item_reports_.clear();
    foreign_keys_ = {};
    views_ = {};
    check_stop(nullptr);
    std::unique_ptr<udb_database> source = sides.open_source();
    tk_verify(source != nullptr, "udb_conv", __LINE__);

    default_to_all_tables(*source);
    // The destination is touched (a database dropped, a dump file begun) only once the source
    // is known to hold something of what was asked for.
    if (!table_list_.empty() || !selected_items_.empty()) {
        bool any = false;
        for (const auto& table : table_list_) any = any || source->is_table_exist(table);
        for (const auto& [name, query] : selected_items_) any = any || !query.empty() || source->is_table_exist(name);
        if (!any) {
            throw tk_exception("None of the tables to convert exists in schema '" + udb_console_text(source->name()) +
                                   "' of the source database '" + udb_console_text(source_) + "'.",
                               tk_level_run);
        }
    }
    table_total_.store(static_cast<int>(table_list_.size()), std::memory_order_relaxed);
    tk_trace(2, "Source database has %d table(s)", table_total());
    if (!silent_) {
        *out_ << "Converting database " << udb_console_text(source_) << '(' << table_total() << " tables)\n"
              << std::flush;
    }

    std::unique_ptr<udb_database> destination = sides.open_destination();
    tk_verify(destination != nullptr, "udb_conv", __LINE__);

    std::unique_ptr<udb_validator> validator = sides.create_validator(table_list_, *destination);
    tk_verify(validator != nullptr, "udb_conv", __LINE__);
    select_items(*validator);

    sides.prepare_destination(*destination);

    error_handler& handler = error_handler::instance();
    const bool parallel = jobs_ > 1 && run_jobs(sides, *source, *destination, *validator);
    if (!parallel) {
        for (const auto& [name, query] : selected_items_) {
            check_stop(nullptr);
            const auto started = std::chrono::steady_clock::now();
            item_reports_.push_back(udb_item_report{name, {}, 0, 0, 0, {}, udb_item_report::outcome::skipped});
            try {
                // The item's report counts its records as they go (copy_records, late_refusals).
                convert_item(name, query, *source, *destination, *validator);
            } catch (const tk_exception& e) {
                // The item's recordsets are gone by now: they were released while unwinding.
                items_failed_.fetch_add(1, std::memory_order_relaxed);
                item_reports_.back().result = udb_item_report::outcome::failed;
                handler.report(e, 0, name);
            }
            item_reports_.back().time = std::chrono::steady_clock::now() - started;
            item_index_.fetch_add(1, std::memory_order_relaxed);
        }
    }

    check_stop(nullptr);
    create_foreign_keys_and_views(*source, *destination);
    foreign_keys_ = destination->foreign_key_counts();
    views_ = destination->view_counts();

    handler.clear_context();
    validator.reset();
    destination.reset();
    source.reset();
}

void udb_converter::convert_item(const std::u16string& name, const std::u16string& query, udb_database& source,
                                 udb_database& destination, udb_validator& validator) {
    {
        std::lock_guard<std::mutex> lock(name_lock_);
        current_item_name_ = name;
    }
    tk_wtrace(2, u"Processing table %s", name.c_str());
    records_in_item_.store(0, std::memory_order_relaxed);
    records_done_.store(0, std::memory_order_relaxed);
    // Stays "skipped" when the item returns before its destination table is made.
    udb_item_report& report = item_reports_.back();

    if (query.empty() && !source.is_table_exist(name)) {
        console_line(*err_, "Table " + udb_console_text(name) + " not exists");
        return;
    }
    std::unique_ptr<udb_recordset> reader = query.empty() ? source.get_table(name, 1)
                                                           : source.get_query(name, query, 1);
    if (!reader) {
        // A source that cannot read queries answers with nothing: this item fails, not the run.
        tk_verify(!query.empty(), "udb_conv", __LINE__);
        throw tk_exception("The source database cannot run custom queries.", tk_level_item);
    }

    bool accepted = true;
    const std::u16string dest_name = destination_name(validator, name, accepted);

    if (destination.is_table_exist(dest_name)) {
        if (mode_ == udb_mode_skip_tables) return;
        if (mode_ == udb_mode_overwrite_tables) destination.delete_tab(dest_name);
    }

    static const udb_indexes no_indexes;
    const udb_indexes& indexes = skip_indexes_ ? no_indexes : reader->indexes();
    std::unique_ptr<udb_recordset> writer = destination.create_table(dest_name, reader->schema(), indexes);
    tk_verify(writer != nullptr, "udb_conv", __LINE__);
    // A batching writer refuses some records after append_record returned, when the batch's
    // answer comes back: they move from copied to refused however the item ends (finished,
    // stopped or failed), before run_items reads the counters into the item's report.
    const late_refusals settle_late{*this, *writer, report};
    report.destination = dest_name;
    report.result = udb_item_report::outcome::copied;

    if (mode_ == udb_mode_merge && !reader->schema().conform_to(writer->schema())) {
        throw tk_exception("The structure of data source does not conform to the destination table.",
                           tk_level_item);
    }

    // Foreign keys name their tables by source name; they must find this one.
    if (!accepted) destination.names_map().add_tn_mapping(name, dest_name);
    reserve_item_name(validator, dest_name, accepted);

    tk_trace(1, "Table structure has been written");
    const int count = reader->record_count();
    records_in_item_.store(count, std::memory_order_relaxed);
    tk_wtrace(2, u"Table %s has %d record(s)", name.c_str(), count);
    console_line(*out_, "Converting table " + udb_console_text(name) + '(' + std::to_string(count) + " records)");
    if (definitions_only_) return;

    copy_records(name, *reader, *writer, report, nullptr, nullptr, 0, jobs_ > 1);
    tk_trace(2, "Table #%d has been processed", item_index());
}

bool udb_converter::copy_records(const std::u16string& name, udb_recordset& reader, udb_recordset& writer,
                                 udb_item_report& report, const std::atomic<bool>* cancel,
                                 const std::atomic<bool>* cancel_table, int first_row, bool read_ahead) {
    error_handler& handler = error_handler::instance();
    const int total = reader.record_count();
    reader.reset();
    // A table copied alone in a run of several jobs is read on a second thread: the second
    // core fetches and converts while this one formats and writes.
    udb_read_ahead rows(reader, read_ahead);
    counter_steps copied(records_copied_), done(records_done_);
    while (!rows.is_eof()) {
        const int position = first_row + report.records_read + 1;
        tk_trace(1, "Converting %d record", position);
        try {
            const udb_record* record = rows.get_item();
            tk_verify(record != nullptr, "udb_conv", __LINE__);
            writer.append_record(*record);
            ++report.records_copied;
            copied.add();
        } catch (const tk_exception& e) {
            if (!is_record_rejection(e)) throw;
            ++report.records_refused;
            records_refused_.fetch_add(1, std::memory_order_relaxed);
            tk_trace(2, "mode=%d, error=%d", mode_, e.code());
            handler.report(e, 0, name, position);
        }
        rows.next();
        ++report.records_read;
        done.add();
        const bool cancelled = (cancel && cancel->load(std::memory_order_relaxed)) ||
                               (cancel_table && cancel_table->load(std::memory_order_relaxed));
        if (stop_requested() || cancelled) {
            // What was handed over reaches the destination before the table is reported.
            writer.finish();
            copied.flush();
            done.flush();
            check_stop(&name, report.records_read, total);
            return false;
        }
    }
    // Inside the item's scope: a failure of the last buffered write is reported for the table.
    writer.finish();
    return true;
}

void udb_converter::create_foreign_keys_and_views(udb_database& source, udb_database& destination) {
    // Foreign keys first, then views: neither depends on the other, but the dump writer's
    // foreign-key block ends the last table's LOCK TABLES, which a view statement must not
    // run under. Each has its own scope so that a failure of one does not prevent the other.
    // A failed key or view is the failure of one item (level 0). A failure that means the
    // destination itself is lost (level 1: a full disk, a dropped connection) must not stop
    // the other step either, yet it must still end the run as failed: it is kept and raised
    // after the destination has finished, where the run scope reports it. Internal errors keep
    // their level.
    //
    // The views are the source database's own (its queries map), not the selected queries:
    // those were converted into tables of the same names above, and a view under such a name
    // would collide with them. The DB2 source reads no view definitions, so its map is empty.
    error_handler& handler = error_handler::instance();
    std::optional<tk_exception> lost;
    auto report = [&](std::u16string_view context, const tk_exception& e) {
        if (e.level() == tk_level_run) {
            if (!lost) lost = e;
            return;
        }
        handler.set_context(context);
        handler.handle(e, 0);
    };
    try {
        destination.create_relationships(source.relationships());
    } catch (const tk_exception& e) {
        report(u"Foreign keys", e);
    }
    try {
        destination.create_views(source.queries());
    } catch (const tk_exception& e) {
        report(u"Views", e);
    }
    handler.clear_context();
    for (const std::u16string& view : source.unconverted_views())
        handler.handle(tk_exception("View " + tk_to_utf8(view) + " is not converted", tk_level_item), 0);
    destination.finish();
    if (lost) throw *lost;
}
