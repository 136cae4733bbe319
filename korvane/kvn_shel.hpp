#pragma once
// The wizard korvane: its shell with the pages in order, the start of the run, and the program's
// entry.

#include "g_wiz_sh.hpp"

#include <QStringList>

#include <functional>
#include <utility>

class gui_finish_page;
class korvane_convertor;
class korvane_error_handler;
class progress_page;

/// The wizard over the process's converter and its error handler (a korvane_error_handler),
/// which must both outlive it. Pages are reached with page(korvane_page_id).
class korvane_wizard : public wizard_shell {
    Q_OBJECT
public:
    /// What the worker thread runs at Step 5 (see progress_page::run_function).
    using run_function = std::function<void()>;

    explicit korvane_wizard(korvane_convertor& converter, QWidget* parent = nullptr);
    /// Stops a run under way first: its dialogs need this window.
    ~korvane_wizard() override;

    /// Replaces what Step 5 runs and returns the previous function.
    run_function set_run_function(run_function run);
    gui_finish_page& finish_page() noexcept { return *finish_; }
    progress_page& run_page() noexcept { return *progress_; }

    /// Closing the wizard (Cancel answered Yes, Finish) first stops a run under way.
    void done(int result) override;

private:
    gui_finish_page* finish_;
    progress_page* progress_;
};

/// The program: creates the error handler and the converter, loads the profile named by the
/// command line (`arguments` without the program name, joined by spaces), runs the wizard.
/// Returns the exit status.
int korvane_main(int argc, char** argv);
