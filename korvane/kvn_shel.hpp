#pragma once
// The wizard korvane: its shell with the pages in order, the start of the run, and the program's
// entry.

#include "g_wiz_sh.hpp"

#include <QStringList>

#include <functional>
#include <utility>

class gui_finish_page;
class korvane_convertor;

/// The wizard over the process's converter, which must outlive it. Pages are reached with
/// page(korvane_page_id).
class korvane_wizard : public wizard_shell {
    Q_OBJECT
public:
    /// Starts the conversion once Step 4 is stored; true moves on, false keeps Step 4.
    using run_function = std::function<bool()>;

    explicit korvane_wizard(korvane_convertor& converter, QWidget* parent = nullptr);

    /// Replaces how the run starts and returns the previous way (tests stop the wizard there).
    run_function set_run_function(run_function run) { return std::exchange(run_, std::move(run)); }
    gui_finish_page& finish_page() noexcept { return *finish_; }

    /// Leaving Step 4 starts the run, unless a page of its own does that.
    bool validateCurrentPage() override;

private:
    // Runs the whole conversion off the window thread, then hands its errors to the finish page.
    bool run_in_place();

    korvane_convertor& converter_;
    gui_finish_page* finish_;
    run_function run_;
};

/// The program: creates the error handler and the converter, loads the profile named by the
/// command line (`arguments` without the program name, joined by spaces), runs the wizard.
/// Returns the exit status.
int korvane_main(int argc, char** argv);
