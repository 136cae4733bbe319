#pragma once
// The conversion driver: the settings every conversion has, the progress counters, and the
// loop that moves the selected tables and queries from a source to a destination database.

#include "tk_conv.hpp"
#include "udb_db.hpp"

#include <atomic>
#include <chrono>
#include <exception>
#include <iosfwd>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

class tk_exception;
class udb_profile;

/// What a run needs from the front end that knows the two ends: how to open them, how to
/// build the destination's table-name validator and how to prepare the destination's
/// connection. The driver calls these inside its run-level error scope, so that a failure
/// to open either end is reported like any other run failure.
class udb_run_sides {
public:
    virtual ~udb_run_sides() = default;
    /// The source database for the chosen schema. Never null.
    virtual std::unique_ptr<udb_database> open_source() = 0;
    /// The destination database, created or opened. Never null.
    virtual std::unique_ptr<udb_database> open_destination() = 0;
    /// The destination's table-name validator, knowing `tables` (the tables to convert) as its
    /// existing names. The tables `destination` already has must not be among them: a source
    /// table maps to the same name on every run, so that a re-run finds its earlier table.
    /// Never null.
    virtual std::unique_ptr<udb_validator> create_validator(const std::vector<std::u16string>& tables,
                                                            const udb_database& destination) = 0;
    /// Called once before the first item (the MySQL side raises its packet limit). Default: nothing.
    virtual void prepare_destination(udb_database& destination);
    /// For a run with several jobs, called on the run's thread after prepare_destination, once
    /// per worker: a further source over the same schema on a connection of its own. Null (the
    /// default) means the ends cannot be shared: the run copies one item after another.
    virtual std::unique_ptr<udb_database> open_worker_source();
    /// The same for the destination: a further handle on `destination` that a worker thread
    /// writes through (a server database on a session of its own, a dump's parts), whose tables
    /// `destination` adopts (udb_database::adopt_table). Null (the default): one item after another.
    virtual std::unique_ptr<udb_database> open_worker_destination(udb_database& destination);
};

/// What became of one item (table or query) of a run, for the end-of-run summary.
struct udb_item_report {
    enum class outcome { copied, failed, skipped };
    std::u16string name;        ///< the source's name of the table or query
    std::u16string destination; ///< the destination table's name; empty when none was made
    int records_read = 0;       ///< records taken from the source
    int records_copied = 0;     ///< records the destination took
    int records_refused = 0;    ///< records the destination refused
    std::chrono::steady_clock::duration time{};
    outcome result = outcome::copied;
};

/// Existing-data modes: what the run does when a destination table already exists.
enum udb_mode : int {
    udb_mode_overwrite_database = 0, ///< nothing special at table level
    udb_mode_overwrite_tables = 1,   ///< the existing table is deleted first
    udb_mode_skip_tables = 2,        ///< the item is skipped without a message
    udb_mode_merge = 3,              ///< rows are appended after the structures are compared
};

/// The generic driver. Front ends fill the settings (directly, from a profile or from the
/// remembered settings), then call run(). The progress counters may be polled from another
/// thread while the run goes on; everything else belongs to the thread that runs.
class udb_converter : public tk_converter {
public:
    udb_converter();
    ~udb_converter() override;

    /// Stores the mode; callers validate it (the driver treats unknown modes like mode 0).
    void set_mode(int mode);
    int mode() const noexcept { return mode_; }
    void set_skip_indexes(bool on) noexcept { skip_indexes_ = on; }
    bool skip_indexes() const noexcept { return skip_indexes_; }
    void set_definitions_only(bool on) noexcept { definitions_only_ = on; }
    bool definitions_only() const noexcept { return definitions_only_; }
    /// How many workers may copy tables at once; 1 (the default) copies one table after another.
    /// Front ends validate the number; the driver treats anything below 1 as 1.
    void set_jobs(int jobs) noexcept { jobs_ = jobs < 1 ? 1 : jobs; }
    int jobs() const noexcept { return jobs_; }

    /// Tables to convert, in the order given; empty together with the selected items means
    /// "every table of the source".
    std::vector<std::u16string>& table_list() noexcept { return table_list_; }
    const std::vector<std::u16string>& table_list() const noexcept { return table_list_; }
    /// Name -> query text; a table has an empty text. Converted in code-unit order of the name.
    udb_query_map& selected_items() noexcept { return selected_items_; }
    const udb_query_map& selected_items() const noexcept { return selected_items_; }
    /// Queries offered to the user (name -> text).
    udb_query_map& available_queries() noexcept { return available_queries_; }
    const udb_query_map& available_queries() const noexcept { return available_queries_; }

    /// Adds the profile's generic settings, selected tables and queries to these settings
    /// (nothing is cleared first). True on success. A rejected "logfile" raises (level 1).
    bool load_profile(const udb_profile& profile);
    /// Writes these settings into `profile`. The table list itself is not written: only the
    /// selected items are (a run enters every listed table there). True on success.
    bool store_profile(udb_profile& profile) const;

    /// Runs one conversion with the ends `sides` supplies (the caller traces its own entry). Every outcome is reported through
    /// the error handler (which must exist), the trace log and, unless silent, the console;
    /// the run returns unless the error handler ends the program. Sets the finished flag at
    /// the end of every run that the error handler did not end.
    void run(udb_run_sides& sides);

    /// Asks every run of this process to stop cooperatively: the statement under way finishes,
    /// the current table is reported as stopped with its count of records, and the run ends
    /// at level 1 ("Stopped"). Safe to call from a signal handler or another thread.
    static void request_stop() noexcept;
    static bool stop_requested() noexcept;
    /// Withdraws a stop request, so that a later run of the same process goes ahead (a
    /// wizard whose window was closed mid-run is not the last user of the engine in tests).
    static void clear_stop_request() noexcept;

    /// Whether `e`, raised while a destination appended one record, is that destination
    /// rejecting the record (a MySQL error: code 0x400000 plus the error number) rather than
    /// a failure of the whole table.
    static bool is_record_rejection(const tk_exception& e) noexcept;

    /// The selection as a run completes it, in two steps around building the validator: with
    /// nothing chosen, the table list becomes every table of `source`; then the queries' names
    /// are reserved in `validator` and the listed tables join the selected items. A pass over
    /// the destination after a run (the verifier) repeats them to meet the same items.
    void default_to_all_tables(const udb_database& source);
    void select_items(udb_validator& validator);
    /// The destination table of item `name`: the name when `validator` accepts it, else its
    /// safe name (`accepted` tells which). reserve_item_name then registers it, so that later
    /// items are named as the run named them.
    static std::u16string destination_name(const udb_validator& validator, const std::u16string& name,
                                           bool& accepted);
    static void reserve_item_name(udb_validator& validator, const std::u16string& destination, bool accepted);

    /// Console streams for the "Converting ..." lines and the "Table ... not exists" notes;
    /// standard output and standard error unless replaced. They must outlive the converter.
    void set_console(std::ostream& out, std::ostream& err) noexcept {
        out_ = &out;
        err_ = &err;
    }

    // Progress, readable from another thread without a lock.
    int table_total() const noexcept { return table_total_.load(std::memory_order_relaxed); }
    int item_index() const noexcept { return item_index_.load(std::memory_order_relaxed); }
    int records_in_item() const noexcept { return records_in_item_.load(std::memory_order_relaxed); }
    int records_done() const noexcept { return records_done_.load(std::memory_order_relaxed); }
    /// Records of this run the destination took, records it refused, and items that failed.
    int records_copied() const noexcept { return records_copied_.load(std::memory_order_relaxed); }
    int records_refused() const noexcept { return records_refused_.load(std::memory_order_relaxed); }
    int items_failed() const noexcept { return items_failed_.load(std::memory_order_relaxed); }
    /// One report per item of the last run, in the order converted; read it once run() returned.
    const std::vector<udb_item_report>& item_reports() const noexcept { return item_reports_; }
    /// The last run's foreign keys and views as the destination counted them (udb_database).
    udb_object_counts foreign_keys() const noexcept { return foreign_keys_; }
    udb_object_counts views() const noexcept { return views_; }
    /// Name of the item being converted (a copy: another thread may be changing it).
    std::u16string current_item_name() const;

private:
    struct job;
    struct job_pool;
    /// Moves the records `writer` refused after append_record returned (a batch answered
    /// later) from copied to refused, in the run's counters and in `report`, however the item
    /// ends: made right after the writer, it goes before it.
    struct late_refusals {
        udb_converter& converter;
        const udb_recordset& writer;
        udb_item_report& report;
        ~late_refusals();
    };

    void run_items(udb_run_sides& sides);
    void convert_item(const std::u16string& name, const std::u16string& query, udb_database& source,
                      udb_database& destination, udb_validator& validator);
    /// Moves the reader's records to the writer and finishes the writer, counting them in
    /// `report` (read, copied, refused). `cancel` and `cancel_table` (when given) end the copy
    /// at the next record once set: false is returned. Records are numbered after `first_row`.
    /// With `read_ahead` the reader is read on a thread of its own (udb_read_ahead).
    bool copy_records(const std::u16string& name, udb_recordset& reader, udb_recordset& writer,
                      udb_item_report& report, const std::atomic<bool>* cancel,
                      const std::atomic<bool>* cancel_table = nullptr, int first_row = 0,
                      bool read_ahead = false);
    /// The items on `workers` threads (udb_jobs.cpp); false when the sides cannot share their
    /// ends, and nothing was done.
    bool run_jobs(udb_run_sides& sides, udb_database& source, udb_database& destination, udb_validator& validator);
    /// Opens worker ends until there are `count`; false when the sides cannot share their ends
    /// or a worker cannot connect (those opened stay).
    bool open_workers(job_pool& pool, udb_run_sides& sides, udb_database& destination, std::size_t count);
    void run_job(job_pool& pool, std::size_t worker);
    void convert_job(job_pool& pool, std::size_t worker, job& item);
    /// The end of a job: the progress counters give back its records.
    void finish_job(job& item, int counted, std::chrono::steady_clock::time_point started);
    /// Replaces the job of a table larger than a worker's share by one job per range of its key.
    void cut_large_tables(job_pool& pool, udb_database& source, const udb_database& destination,
                          std::size_t workers);
    /// The report of a cut table from its ranges' reports (into the first range's).
    void merge_ranges(job_pool& pool, std::size_t first);
    void create_foreign_keys_and_views(udb_database& source, udb_database& destination);
    /// Raises the level-1 "Stopped" failure when a stop was requested; with an item, the text
    /// says how many of its `total` records were `done`.
    void check_stop(const std::u16string* item, int done = 0, int total = 0) const;
    /// Writes one console line whole, even while workers write theirs.
    void console_line(std::ostream& stream, const std::string& line) const;

    int mode_ = 0;
    // Written once per item by the run and read by a polling window thread.
    mutable std::mutex name_lock_;
    std::u16string current_item_name_;
    // Counters are atomics because the wizard's window thread polls them while a worker runs.
    std::atomic<int> records_in_item_ = 0;
    std::atomic<int> records_done_ = 0;
    std::atomic<int> table_total_ = 0;
    std::atomic<int> item_index_ = 0;
    std::atomic<int> records_copied_ = 0;
    std::atomic<int> records_refused_ = 0;
    std::atomic<int> items_failed_ = 0;
    std::vector<udb_item_report> item_reports_;
    udb_object_counts foreign_keys_;
    udb_object_counts views_;
    std::vector<std::u16string> table_list_;
    udb_query_map selected_items_;
    udb_query_map available_queries_;
    bool skip_indexes_ = false;
    bool definitions_only_ = false;
    int jobs_ = 1;
    std::ostream* out_;
    std::ostream* err_;
};
