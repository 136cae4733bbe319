// The driver with several jobs: the items are named and counted on the run's thread in item
// order, copied by worker threads (the largest first), each worker on a source and a
// destination handle of its own, and adopted by the run's destination in item order again, so
// that names, foreign keys and a dump's bytes are those of a run with one job. A table larger
// than its share of the run is cut into ranges of its key, one job each, where the destination
// takes one table's rows from several handles at once (a server, not a dump).

#include "udb_conv.hpp"

#include "tk_excp.hpp"
#include "tk_log.hpp"
#include "udb_errh.hpp"

#include <algorithm>
#include <condition_variable>
#include <optional>
#include <thread>

/// One selected item of a run with several jobs.
struct udb_converter::job {
    const std::u16string* name;
    const std::u16string* query;
    std::u16string destination; ///< decided before any worker starts
    int count = 0;              ///< the table's records, to give the largest tables out first
    bool copy = false;          ///< false: reported as it stands (skipped, not found, failed early)
    std::u16string key;         ///< the table's one-column unique key, by which it may be cut
    std::optional<udb_key_range> range; ///< set: the job copies this range of the table
    std::size_t first = 0;      ///< of a range: the job of the table's first range
    std::size_t ranges = 1;     ///< of a table's first range: how many there are
    /// Of a cut table, shared by its ranges: one range failed, the others stop.
    std::shared_ptr<std::atomic<bool>> table_failed;
    udb_item_report report;
    // Under job_pool::lock:
    bool started = false;
    bool finished = false;
    std::size_t worker = 0;
    bool created = false; ///< of a first range: the table exists, the other ranges may write
    // Written by the worker before `finished`: the destination handle got as far as create_table.
    bool reached_create = false;

    bool is_first() const noexcept { return !range || range->first_row == 0; }
};

/// What the run's thread and the workers share.
struct udb_converter::job_pool {
    std::vector<job> jobs;
    std::vector<std::size_t> queue; ///< indices into jobs, largest first
    std::vector<std::unique_ptr<udb_database>> sources;
    std::vector<std::unique_ptr<udb_database>> destinations;
    /// Per worker: held while its destination handle changes its lists, and while the run's
    /// destination adopts a table from it.
    std::vector<std::unique_ptr<std::mutex>> destination_locks;

    std::mutex lock;
    std::condition_variable changed;
    std::size_t next = 0;                 ///< next entry of queue to give out
    std::atomic<bool> cancel = false;     ///< every worker stops at its next record
    std::optional<tk_exception> run_failure; ///< the first failure of the whole run in an item
    std::u16string failed_item;
    std::exception_ptr escaped;           ///< anything else that ends the run (an Abort, an exit)

    void fail_run(const tk_exception& e, const std::u16string& item) {
        std::lock_guard<std::mutex> hold(lock);
        if (!run_failure && !escaped) {
            run_failure = e;
            failed_item = item;
        }
        cancel.store(true);
        changed.notify_all();
    }
    void fail(std::exception_ptr e) {
        std::lock_guard<std::mutex> hold(lock);
        if (!escaped && !run_failure) escaped = std::move(e);
        cancel.store(true);
        changed.notify_all();
    }
};

bool udb_converter::run_jobs(udb_run_sides& sides, udb_database& source, udb_database& destination,
                             udb_validator& validator) {
    job_pool pool;
    // More workers than items only where a table can be cut into ranges.
    const std::size_t workers = destination.appends_at_once() && !definitions_only_
                                    ? std::size_t(jobs_)
                                    : std::min<std::size_t>(std::size_t(jobs_), selected_items_.size());
    // One worker would only add a part to copy: the items go one after another, as with one job.
    if (workers < 2) {
        tk_trace(2, "One item to copy at a time: one item after another");
        return false;
    }
    // Two workers tell whether the ends can be shared at all; the others are opened once the
    // jobs are known, no more than can run at once.
    if (!open_workers(pool, sides, destination, 2)) {
        tk_trace(2, "The run's ends cannot be shared: one item after another");
        return false;
    }

    // Today's order on this thread: the source's checks, the keys it collects, the names.
    error_handler& handler = error_handler::instance();
    pool.jobs.reserve(selected_items_.size());
    for (const auto& [name, query] : selected_items_) {
        check_stop(nullptr);
        job& item = pool.jobs.emplace_back();
        item.name = &name;
        item.query = &query;
        item.report = udb_item_report{name, {}, 0, 0, 0, {}, udb_item_report::outcome::skipped};
        try {
            if (query.empty() && !source.is_table_exist(name)) {
                console_line(*err_, "Table " + udb_console_text(name) + " not exists");
                continue;
            }
            if (query.empty()) {
                const std::unique_ptr<udb_recordset> reader = source.get_table(name, 1);
                item.count = reader->record_count();
                // A key that DB2 orders by and that holds every row (no NULL escapes a range).
                if (const std::int32_t k = reader->primary_key_index(); k >= 0) {
                    const udb_names& fields = reader->indexes()[std::size_t(k)].fields;
                    if (fields.size() == 1 && reader->schema().has_field(fields[0]) &&
                        reader->schema().find_field(fields[0]).b_not_null)
                        item.key = fields[0];
                }
            }
            bool accepted = true;
            item.destination = destination_name(validator, name, accepted);
            if (destination.is_table_exist(item.destination) && mode_ == udb_mode_skip_tables) continue;
            if (!accepted) destination.names_map().add_tn_mapping(name, item.destination);
            reserve_item_name(validator, item.destination, accepted);
            item.copy = true;
        } catch (const tk_exception& e) {
            items_failed_.fetch_add(1, std::memory_order_relaxed);
            item.report.result = udb_item_report::outcome::failed;
            handler.report(e, 0, name);
        }
    }
    cut_large_tables(pool, source, destination, workers);
    for (std::size_t i = 0; i < pool.jobs.size(); ++i)
        if (pool.jobs[i].copy) pool.queue.push_back(i);
    std::stable_sort(pool.queue.begin(), pool.queue.end(),
                     [&pool](std::size_t a, std::size_t b) { return pool.jobs[a].count > pool.jobs[b].count; });
    const std::size_t wanted = std::min(workers, pool.queue.size());
    if (!open_workers(pool, sides, destination, wanted))
        console_line(*err_, "Only " + std::to_string(pool.sources.size()) + " of " + std::to_string(wanted) +
                                " jobs could connect; the run goes on with them");
    tk_trace(2, "Converting with %d workers", int(pool.sources.size()));

    {
        std::vector<std::thread> threads;
        // Whatever ends this scope, the workers stop at their next record and are waited for.
        struct joiner {
            job_pool& pool;
            std::vector<std::thread>& threads;
            ~joiner() {
                {
                    // Under the lock: a worker waiting for its table's first range must wake up.
                    std::lock_guard<std::mutex> hold(pool.lock);
                    pool.cancel.store(true);
                    pool.changed.notify_all();
                }
                for (std::thread& t : threads) t.join();
            }
        } join_all{pool, threads};
        const std::size_t count = std::min(pool.sources.size(), pool.queue.size());
        for (std::size_t w = 0; w < count; ++w) threads.emplace_back([this, &pool, w] { run_job(pool, w); });

        for (std::size_t i = 0; i < pool.jobs.size(); ++i) {
            job& item = pool.jobs[i];
            if (!item.copy) {
                item_reports_.push_back(item.report);
                item_index_.fetch_add(1, std::memory_order_relaxed);
                continue;
            }
            if (!item.is_first()) continue;
            const auto over = [&](const job& j) { return j.finished || (pool.cancel.load() && !j.started); };
            {
                std::unique_lock<std::mutex> wait(pool.lock);
                pool.changed.wait(wait, [&] {
                    return std::all_of(&item, &item + item.ranges, over);
                });
                if (!item.finished) continue;
            }
            if (item.range) merge_ranges(pool, i);
            item_reports_.push_back(item.report);
            // A run that failed writes nothing more: its destination is given up.
            if (pool.cancel.load() || !item.reached_create) continue;
            std::lock_guard<std::mutex> hold(*pool.destination_locks[item.worker]);
            destination.adopt_table(*pool.destinations[item.worker], item.destination);
        }
    }
    pool.destinations.clear();
    pool.sources.clear();

    if (pool.escaped) std::rethrow_exception(pool.escaped);
    if (pool.run_failure) {
        // Reported as a run with one job reports it: for the item, then the run ends.
        handler.report(*pool.run_failure, 0, pool.failed_item);
        throw tk_final_exception();
    }
    return true;
}

bool udb_converter::open_workers(job_pool& pool, udb_run_sides& sides, udb_database& destination,
                                 std::size_t count) {
    while (pool.sources.size() < count) {
        try {
            std::unique_ptr<udb_database> worker_source = sides.open_worker_source();
            std::unique_ptr<udb_database> worker_destination =
                worker_source ? sides.open_worker_destination(destination) : nullptr;
            if (!worker_destination) return false;
            pool.sources.push_back(std::move(worker_source));
            pool.destinations.push_back(std::move(worker_destination));
            pool.destination_locks.push_back(std::make_unique<std::mutex>());
        } catch (const tk_exception& e) {
            // A server that takes no more sessions (its or the user's connection limit): the
            // run goes on with the workers it has, or with its own ends alone.
            tk_trace(2, "Worker %d cannot connect: %s", int(pool.sources.size()) + 1, e.what());
            return false;
        }
    }
    return true;
}

void udb_converter::run_job(job_pool& pool, std::size_t worker) {
    for (;;) {
        job* item = nullptr;
        {
            std::lock_guard<std::mutex> hold(pool.lock);
            if (stop_requested()) pool.cancel.store(true);
            if (pool.cancel.load() || pool.next == pool.queue.size()) {
                pool.changed.notify_all();
                return;
            }
            item = &pool.jobs[pool.queue[pool.next++]];
            item->started = true;
            item->worker = worker;
        }
        convert_job(pool, worker, *item);
        std::lock_guard<std::mutex> hold(pool.lock);
        item->finished = true;
        pool.changed.notify_all();
    }
}

void udb_converter::convert_job(job_pool& pool, std::size_t worker, job& item) {
    const std::u16string& name = *item.name;
    const std::u16string& query = *item.query;
    udb_database& source = *pool.sources[worker];
    udb_database& destination = *pool.destinations[worker];
    udb_item_report& report = item.report;
    const auto started = std::chrono::steady_clock::now();
    {
        std::lock_guard<std::mutex> lock(name_lock_);
        current_item_name_ = name;
    }
    tk_wtrace(2, u"Processing table %s", name.c_str());
    int counted = 0;
    try {
        std::unique_ptr<udb_recordset> reader = item.range ? source.get_table_range(name, *item.range, 1)
                                                : query.empty() ? source.get_table(name, 1)
                                                                : source.get_query(name, query, 1);
        if (!reader) {
            tk_verify(!query.empty(), "udb_conv", __LINE__);
            throw tk_exception("The source database cannot run custom queries.", tk_level_item);
        }
        std::unique_ptr<udb_recordset> writer;
        if (item.is_first()) {
            {
                std::lock_guard<std::mutex> hold(*pool.destination_locks[worker]);
                if (mode_ == udb_mode_overwrite_tables && destination.is_table_exist(item.destination))
                    destination.delete_tab(item.destination);
                static const udb_indexes no_indexes;
                item.reached_create = true;
                writer = destination.create_table(item.destination, reader->schema(),
                                                  skip_indexes_ ? no_indexes : reader->indexes());
            }
            std::lock_guard<std::mutex> hold(pool.lock);
            item.created = true;
            pool.changed.notify_all();
        } else {
            // The table's first range makes the table; the others write into it once it is there.
            job& first = pool.jobs[item.first];
            {
                std::unique_lock<std::mutex> wait(pool.lock);
                pool.changed.wait(wait, [&] { return first.created || first.finished || pool.cancel.load(); });
                if (!first.created) return finish_job(item, 0, started);
            }
            std::lock_guard<std::mutex> hold(*pool.destination_locks[worker]);
            if (!destination.is_table_exist(item.destination)) destination.tables().push_back(item.destination);
            writer = destination.get_table(item.destination, 2);
        }
        tk_verify(writer != nullptr, "udb_conv", __LINE__);
        const late_refusals settle_late{*this, *writer, report};
        report.destination = item.destination;
        report.result = udb_item_report::outcome::copied;
        if (mode_ == udb_mode_merge && !reader->schema().conform_to(writer->schema())) {
            throw tk_exception("The structure of data source does not conform to the destination table.",
                               tk_level_item);
        }
        const int first_row = item.range ? item.range->first_row : 0;
        counted = item.range ? item.range->rows : reader->record_count();
        writer->set_records_before(first_row);
        records_in_item_.fetch_add(counted, std::memory_order_relaxed);
        tk_wtrace(2, u"Table %s has %d record(s)", name.c_str(), counted);
        if (item.is_first()) {
            const int count = item.range ? item.count : counted;
            console_line(*out_, "Converting table " + udb_console_text(name) + '(' + std::to_string(count) +
                                    " records)");
        }
        if (!definitions_only_ &&
            !copy_records(name, *reader, *writer, report, &pool.cancel, item.table_failed.get(), first_row)) {
            // Another worker's failure ended the run, or another range's the table: not done.
            if (!item.range) items_failed_.fetch_add(1, std::memory_order_relaxed);
            report.result = udb_item_report::outcome::failed;
        }
    } catch (const tk_final_exception&) {
        pool.fail(std::current_exception());
    } catch (const tk_exception& e) {
        // A cut table counts as failed once, when its ranges are put together.
        if (!item.range) items_failed_.fetch_add(1, std::memory_order_relaxed);
        if (item.table_failed) item.table_failed->store(true);
        report.result = udb_item_report::outcome::failed;
        if (e.level() != tk_level_item) {
            pool.fail_run(e, name);
        } else {
            try {
                error_handler::instance().report(e, 0, name);
            } catch (...) {
                pool.fail(std::current_exception());
            }
        }
    } catch (...) {
        pool.fail(std::current_exception());
    }
    finish_job(item, counted, started);
}

void udb_converter::finish_job(job& item, int counted, std::chrono::steady_clock::time_point started) {
    records_in_item_.fetch_sub(counted, std::memory_order_relaxed);
    records_done_.fetch_sub(item.report.records_read, std::memory_order_relaxed);
    item.report.time = std::chrono::steady_clock::now() - started;
    if (item.is_first()) item_index_.fetch_add(1, std::memory_order_relaxed);
}

void udb_converter::cut_large_tables(job_pool& pool, udb_database& source, const udb_database& destination,
                                     std::size_t workers) {
    if (workers < 2 || definitions_only_ || !destination.appends_at_once()) return;
    long long total = 0;
    for (const job& item : pool.jobs)
        if (item.copy) total += item.count;
    std::vector<job> jobs;
    jobs.reserve(pool.jobs.size());
    for (job& item : pool.jobs) {
        std::vector<udb_key_range> ranges;
        // Only a table that alone is more than a worker's share of the run gains from cutting.
        if (item.copy && !item.key.empty() && item.count >= int(2 * workers) &&
            (long long)item.count * (long long)workers > total) {
            try {
                ranges = source.split_table(*item.name, item.key, int(workers));
            } catch (const tk_exception& e) {
                tk_trace(2, "The table is copied whole: %s", e.what());
            }
        }
        if (ranges.empty()) {
            jobs.push_back(std::move(item));
            continue;
        }
        tk_wtrace(2, u"Table %s is cut into %d ranges", item.name->c_str(), int(ranges.size()));
        const std::size_t first = jobs.size();
        auto failed = std::make_shared<std::atomic<bool>>(false);
        for (udb_key_range& range : ranges) {
            job& part = jobs.emplace_back(item);
            part.range = std::move(range);
            part.first = first;
            part.ranges = 1;
            part.table_failed = failed;
        }
        jobs[first].ranges = ranges.size();
    }
    pool.jobs = std::move(jobs);
}

void udb_converter::merge_ranges(job_pool& pool, std::size_t first) {
    job& table = pool.jobs[first];
    udb_item_report& report = table.report;
    bool failed = report.result == udb_item_report::outcome::failed || !table.finished;
    for (std::size_t i = first + 1; i < first + table.ranges; ++i) {
        const job& range = pool.jobs[i];
        failed = failed || !range.finished || range.report.result != udb_item_report::outcome::copied;
        report.records_read += range.report.records_read;
        report.records_copied += range.report.records_copied;
        report.records_refused += range.report.records_refused;
        report.time = std::max(report.time, range.report.time);
    }
    if (failed && report.result != udb_item_report::outcome::skipped) {
        report.result = udb_item_report::outcome::failed;
        items_failed_.fetch_add(1, std::memory_order_relaxed);
    }
}
