#pragma once
// The wizard shell: a QWizard in modern style with the services every page uses (message boxes
// with the program's captions, button states, help, one periodic timer) and a way to run a long
// call off the window thread while the window keeps repainting.

#include <QDialog>
#include <QEventLoop>
#include <QString>
#include <QTimer>
#include <QUrl>
#include <QWizard>

#include <atomic>
#include <exception>
#include <memory>
#include <optional>
#include <thread>
#include <type_traits>
#include <utility>

/// What the wizard needs from the desktop: message boxes, file dialogs and opening a link. The
/// default shows the real dialogs; tests install their own to answer without a modal window.
class wizard_asker {
public:
    enum class icon { error, information, question, warning };
    virtual ~wizard_asker() = default;
    /// Shows `text` under `caption`. A question offers Yes and No (`default_yes` picks the
    /// default button) and answers true for Yes; the other kinds answer true.
    virtual bool message_box(QWidget* parent, icon kind, const QString& caption, const QString& text,
                             bool default_yes);
    /// A file chosen in an open (`save` false) or save dialog starting at `start`; empty when
    /// the user cancelled. `filter` is a Qt name filter list, `suffix` the default extension.
    virtual QString choose_file(QWidget* parent, bool save, const QString& title, const QString& filter,
                                const QString& suffix, const QString& start);
    /// Opens `url` with the desktop's handler; false when none took it.
    virtual bool open_url(const QUrl& url);
    /// Runs a prepared modal dialog and returns its result (QDialog::result()). Tests press
    /// one of its buttons instead.
    virtual int run_dialog(QDialog& dialog);
};

/// The wizard window. One exists at a time (current()); pages reach its services through it.
/// Widgets belong to the window thread: only run_long's call may run elsewhere.
class wizard_shell : public QWizard {
    Q_OBJECT
public:
    /// `title` is the program title that every caption starts with.
    explicit wizard_shell(const QString& title, QWidget* parent = nullptr);
    ~wizard_shell() override;

    /// The open wizard, or null before it exists and after it is gone.
    static wizard_shell* current() noexcept;
    /// "<title> <kind>" while a wizard exists, else `kind` alone ("Error", "Message", ...).
    static QString caption(const char* kind);

    /// Error box (caption "... Error"); the text is traced at level 3.
    void error(const QString& text);
    /// Information box (caption "... Message").
    void message(const QString& text);
    /// Yes/No question (caption "... Question"); true for Yes.
    bool question(const QString& text, bool default_yes);
    /// Enables or disables one of the wizard's buttons.
    void enable_button(QWizard::WizardButton which, bool on);
    /// Opens help topic `topic` from the help folder beside the program, when that page exists.
    /// False when there is no such page or the desktop did not open it.
    bool display_help(int topic);
    /// Starts the periodic timer (`milliseconds` > 0) or stops it (0); ticks arrive as timer_tick.
    void set_timer(int milliseconds);

    /// The folder of the help pages: "help" beside the program, else the installed share folder.
    static QString help_folder();
    /// The help page of `topic` inside `folder`.
    static QString help_page(const QString& folder, int topic);

    /// Replaces how message boxes, file dialogs and links are shown (never null).
    void set_asker(std::unique_ptr<wizard_asker> asker);
    wizard_asker& asker() noexcept { return *asker_; }

    /// Runs `call` on a worker thread and returns its result, or rethrows what it threw. The
    /// window thread meanwhile shows the busy cursor and keeps repainting; user input waits
    /// until the call ends, so that no page can start a second call on the same engine.
    template <class F>
    auto run_long(F&& call) -> std::invoke_result_t<F&>;

    /// Cancel: asks "Are you sure you want to exit the wizard?" (default No); Yes closes.
    void reject() override;

signals:
    /// One tick of the timer started by set_timer.
    void timer_tick();

private:
    void begin_busy();
    void end_busy();

    QString title_;
    std::unique_ptr<wizard_asker> asker_;
    QTimer timer_;
};

template <class F>
auto wizard_shell::run_long(F&& call) -> std::invoke_result_t<F&> {
    using result_type = std::invoke_result_t<F&>;
    QEventLoop loop;
    std::exception_ptr failure;
    std::conditional_t<std::is_void_v<result_type>, bool, std::optional<result_type>> result{};
    std::atomic<bool> done = false;
    begin_busy();
    std::thread worker([&] {
        try {
            if constexpr (std::is_void_v<result_type>)
                call();
            else
                result.emplace(call());
        } catch (...) {
            failure = std::current_exception();
        }
        done.store(true, std::memory_order_release);
    });
    // The window thread looks for the end itself: nothing is posted across threads, so the
    // hand-over of the result is plain to any race checker.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done.load(std::memory_order_acquire)) loop.quit();
    });
    poll.start(5);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    worker.join();
    end_busy();
    if (failure) std::rethrow_exception(failure);
    if constexpr (!std::is_void_v<result_type>) return std::move(*result);
}
