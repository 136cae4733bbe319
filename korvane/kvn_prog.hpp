#pragma once
// Step 5 of the wizard: the conversion runs on a worker thread while this page shows how far it
// got, then hands the outcome to the finish page.

#include "g_wiz_pg.hpp"
#include "tk_threa.hpp"

#include <QElapsedTimer>

#include <functional>

class QLabel;
class QProgressBar;
class gui_finish_page;
class korvane_convertor;
class korvane_error_handler;

/// The percentage of a run over `tables` tables with `done` of them finished, at record
/// `record` of the current table's `records`: done × 100 / tables, plus (record × 100 /
/// records) / tables, in integer arithmetic; 0 without tables. Held to 0..100 (queries run
/// after the tables without counting among them).
int korvane_progress_percent(int tables, int done, int records, int record);

/// The progress page. Entering it starts the run; leaving it is only possible forward, to the
/// finish page, once the run has ended.
class progress_page : public wizard_page {
    Q_OBJECT
public:
    /// What the worker thread runs: the conversion, or what a test puts in its place.
    using run_function = std::function<void()>;

    /// `handler` reports the run's failures; `finish` receives its outcome.
    progress_page(wizard_shell& shell, korvane_convertor& converter, korvane_error_handler& handler,
                  gui_finish_page& finish);
    ~progress_page() override;

    int nextId() const override;
    /// Next stays disabled while the run goes on.
    bool isComplete() const override;

    /// Replaces what the worker runs; returns the previous function.
    run_function set_run_function(run_function run);
    /// Whether a run is under way.
    bool running() const noexcept { return worker_.running(); }
    /// Stops a run under way at its next record and waits for it, keeping the window alive
    /// meanwhile. No dialog is shown while it stops. Does nothing without a run.
    void stop_run();

    QProgressBar* progress_bar() const noexcept { return bar_; }
    QLabel* status_label() const noexcept { return status_; }
    QLabel* records_label() const noexcept { return records_; }
    QLabel* elapsed_label() const noexcept { return elapsed_; }

    /// One timer tick: updates the figures and, once the run has ended, opens the finish page.
    void on_tick();

protected:
    void page_init() override;

private:
    // Runs the run function on its own thread; waiting for it keeps the window's events going.
    class worker : public tk_thread {
    public:
        explicit worker(progress_page& page) : page_(page) {}
        ~worker() override;

    protected:
        std::unique_ptr<tk_runnable> create_runnable() override;
        void idle() override;

    private:
        progress_page& page_;
    };

    void finish_run();

    korvane_convertor& converter_;
    korvane_error_handler& handler_;
    gui_finish_page& finish_;
    run_function run_;
    QProgressBar* bar_;
    QLabel* status_;
    QLabel* records_;
    QLabel* elapsed_;
    QElapsedTimer clock_;
    // The driver's item counter keeps counting over runs; this run starts from here.
    int first_item_ = 0;
    bool done_ = true;
    worker worker_;
};
