#pragma once
// The last page of a wizard: success or the collected errors, and "Save Settings".

#include "g_wiz_pg.hpp"

#include <QStringList>

#include <functional>

class QLabel;
class QPlainTextEdit;
class QPushButton;

/// The finish page. The program sets the errors of the run before the page is shown and says
/// how settings are saved into a profile file.
class gui_finish_page : public wizard_page {
    Q_OBJECT
public:
    /// Writes the settings into the profile at the path; false when it could not.
    using save_function = std::function<bool(const QString& path)>;

    /// `success_text` is shown when the run collected no errors; `profile_extension` is the
    /// profile files' extension without its dot.
    gui_finish_page(wizard_shell& shell, int help_topic, const QString& success_text,
                    const QString& profile_extension, save_function save);

    /// The errors the run collected, shown one after another.
    void set_errors(const QStringList& errors) { errors_ = errors; }
    const QStringList& errors() const noexcept { return errors_; }
    /// What the run did in figures (tables, rows, time), shown under the text; empty hides it.
    void set_summary(const QString& text) { summary_text_ = text; }
    /// The run's trace log: "Open Trace Log" is offered while that file exists.
    void set_trace_log(const QString& path) { trace_log_ = path; }

    QLabel* text_label() const noexcept { return text_; }
    QPlainTextEdit* error_box() const noexcept { return error_box_; }
    QPushButton* save_button() const noexcept { return save_; }
    QLabel* summary_label() const noexcept { return summary_; }
    QPushButton* trace_button() const noexcept { return trace_; }

protected:
    void page_init() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void on_save();

    QString success_text_;
    QString extension_;
    save_function save_function_;
    QStringList errors_;
    QString summary_text_;
    QString trace_log_;
    QLabel* text_;
    QLabel* summary_;
    QPushButton* trace_;
    QPlainTextEdit* error_box_;
    QPushButton* save_;
    bool box_focused_ = false;
};
