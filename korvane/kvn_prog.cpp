#include "kvn_prog.hpp"

#include "g_finish.hpp"
#include "g_wiz_sh.hpp"
#include "kvn_conv.hpp"
#include "kvn_errh.hpp"
#include "kvn_page.hpp"
#include "tk_log.hpp"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

#include <algorithm>
#include <thread>

namespace {

class run_job : public tk_runnable {
public:
    explicit run_job(progress_page::run_function run) : run_(std::move(run)) {}
    void run() override { run_(); }
    void request_stop() noexcept override { udb_converter::request_stop(); }

private:
    progress_page::run_function run_;
};

QString elapsed_text(qint64 milliseconds) {
    const qint64 seconds = milliseconds / 1000;
    return QStringLiteral("Elapsed time: %1:%2:%3")
        .arg(seconds / 3600)
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

int korvane_progress_percent(int tables, int done, int records, int record) {
    if (tables == 0) return 0;
    int percent = done * 100 / tables;
    if (records != 0) percent += record * 100 / records / tables;
    return std::clamp(percent, 0, 100);
}

progress_page::worker::~worker() {
    if (running()) stop();
}

std::unique_ptr<tk_runnable> progress_page::worker::create_runnable() {
    return std::make_unique<run_job>(page_.run_);
}

void progress_page::worker::idle() {
    // The stopping run may be waiting for the window thread to answer a dialog request.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

progress_page::progress_page(wizard_shell& shell, korvane_convertor& converter, korvane_error_handler& handler,
                             gui_finish_page& finish)
    : wizard_page(shell, help_topic_base + page_progress, QStringLiteral("Step 5 of 5"),
                  QStringLiteral("Database converting is in progress")),
      converter_(converter), handler_(handler), finish_(finish), worker_(*this) {
    run_ = [&converter] {
        // The driver reads "nothing selected" as "every table": a user who chose to go on
        // without a selection gets no run at all.
        if (converter.table_list().empty() && converter.selected_items().empty()) {
            converter.set_finished(true);
            return;
        }
        converter();
    };
    auto* layout = new QVBoxLayout(this);
    bar_ = new QProgressBar(this);
    bar_->setRange(0, 100);
    status_ = new QLabel(this);
    records_ = new QLabel(this);
    elapsed_ = new QLabel(this);
    layout->addWidget(bar_);
    layout->addWidget(status_);
    layout->addWidget(records_);
    layout->addWidget(elapsed_);
    layout->addStretch();
    connect(&shell, &wizard_shell::timer_tick, this, &progress_page::on_tick);
}

progress_page::~progress_page() { stop_run(); }

int progress_page::nextId() const { return page_finish; }

bool progress_page::isComplete() const { return done_; }

progress_page::run_function progress_page::set_run_function(run_function run) {
    return std::exchange(run_, std::move(run));
}

void progress_page::page_init() {
    tk_trace(2, "progress_page::page_init");
    done_ = false;
    // The wizard sets its buttons again on this signal: the page's own states come after it.
    emit completeChanged();
    shell().enable_button(QWizard::BackButton, false);
    shell().enable_button(QWizard::NextButton, false);
    shell().enable_button(QWizard::FinishButton, false);
    bar_->setValue(0);
    status_->clear();
    records_->clear();
    elapsed_->setText(elapsed_text(0));
    handler_.clear_errors();
    converter_.set_finished(false);
    udb_converter::clear_stop_request();
    first_item_ = converter_.item_index();
    clock_.start();
    worker_.start();
    shell().set_timer(200);
}

void progress_page::on_tick() {
    if (done_) return;
    // A dialog the run waits for comes first; the figures are read after its answer.
    handler_.serve_request();
    const int done = converter_.item_index() - first_item_;
    bar_->setValue(korvane_progress_percent(converter_.table_total(), done, converter_.records_in_item(),
                                            converter_.records_done()));
    // A run that ended without its bracket's flag (an internal error ends the program) is over too.
    if (converter_.finished() || !worker_.running()) {
        finish_run();
        return;
    }
    // The wizard re-enables Back whenever it revisits its buttons; there is no way back from a run.
    if (QAbstractButton* back = shell().button(QWizard::BackButton)) back->setEnabled(false);
    const std::u16string name = converter_.current_item_name();
    status_->setText(name.empty() ? QString()
                                  : QStringLiteral("Processing table '%1'").arg(QString::fromStdU16String(name)));
    records_->setText(name.empty() ? QString()
                                   : QStringLiteral("Record %1 of %2")
                                         .arg(converter_.records_done())
                                         .arg(converter_.records_in_item()));
    elapsed_->setText(elapsed_text(clock_.elapsed()));
}

void progress_page::finish_run() {
    tk_trace(2, "progress_page::finish_run");
    shell().set_timer(0);
    // The flag is the run's last act: the thread ends at once.
    while (worker_.running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    worker_.cleanup();
    done_ = true;
    const int items = converter_.item_index() - first_item_;
    const int converted = items - converter_.items_failed();
    finish_.set_errors(handler_.errors());
    finish_.set_summary(QStringLiteral("Tables converted: %1 of %2 (%3 failed). Rows copied: %4 (%5 refused).\n%6")
                            .arg(converted)
                            .arg(static_cast<int>(converter_.selected_items().size()))
                            .arg(converter_.items_failed())
                            .arg(converter_.records_copied())
                            .arg(converter_.records_refused())
                            .arg(elapsed_text(clock_.elapsed())));
    finish_.set_trace_log(QString::fromLocal8Bit(converter_.logfile().c_str()));
    emit completeChanged();
    shell().next();
}

void progress_page::stop_run() {
    if (!worker_.started()) return;
    tk_trace(2, "progress_page::stop_run");
    shell().set_timer(0);
    // The stop comes first: once closing, the handler lets the run go on without asking, and
    // the run must not hurry through the rest of the table meanwhile.
    udb_converter::request_stop();
    handler_.set_closing(true);
    if (worker_.running()) worker_.stop();
    worker_.cleanup();
    handler_.set_closing(false);
    done_ = true;
}
