#pragma once
// The wizard's error handler: the console handler's messages, shown in dialogs on the window
// thread while the run waits for the answer, and collected for the finish page.

#include "udb_errh.hpp"

#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

class wizard_shell;

/// Reports failures of a wizard run. handle() may be called on the worker thread: the dialog
/// is shown by the window thread, and the worker waits for the answer. A failure of one table
/// or record offers Continue or Abort (and "do not show again"); a failure of the run is shown
/// with the shell's error box; an internal error with OK, Copy and Send bug, then the program
/// ends. At most max_errors messages are kept for the finish page.
class korvane_error_handler : public error_handler {
public:
    static constexpr int max_errors = 20;
    /// (error code, help topic): a run failure of that code also opens that help page.
    static const std::vector<std::pair<int, int>> help_topics;

    korvane_error_handler();

    /// The wizard the dialogs belong to, or null (then failures are only traced). Called on
    /// the window thread while no run is under way; a new wizard starts with every dialog
    /// shown again.
    void attach(wizard_shell* shell) noexcept {
        shell_ = shell;
        do_not_show_.store(false);
    }
    wizard_shell* attached() const noexcept { return shell_; }
    /// While set, nothing is shown and a level-0 failure does not stop the run: the window
    /// is closing and the run is being stopped anyway. Setting it also withdraws a dialog the
    /// run asked for and the window has not opened yet, so that the run never waits for a
    /// window that is busy stopping it.
    void set_closing(bool on);

    void handle(const tk_exception& e, int final_flag) override;

    /// Shows the dialog the run is waiting for, if any. The window thread calls it on every
    /// progress tick: the run asks, the window looks (nothing is posted across threads).
    void serve_request();

    /// The messages collected so far, line feeds turned into spaces.
    QStringList errors() const;
    /// Forgets the collected messages (a new run begins).
    void clear_errors();
    bool do_not_show_again() const noexcept { return do_not_show_.load(); }

private:
    // One request of the worker to the window thread.
    struct request {
        std::mutex lock;
        std::condition_variable changed;
        const std::function<void()>* show = nullptr;
        bool started = false, done = false, withdrawn = false;
    };

    // Runs `show` on the window thread, waiting for it when called from another thread (until
    // serve_request runs it). Nothing runs when the request is withdrawn before it is taken up.
    void on_window_thread(const std::function<void()>& show);

    wizard_shell* shell_ = nullptr;
    std::atomic<bool> closing_ = false;
    std::atomic<bool> do_not_show_ = false;
    mutable std::mutex lock_;
    QStringList errors_;
    std::shared_ptr<request> pending_;
};
