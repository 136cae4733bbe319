#pragma once
// The dialogs a failure during a run is shown in, and what they offer: copying the message to
// the clipboard and mailing it to the vendor as a bug report.

#include <QDialog>
#include <QString>
#include <QUrl>

class QCheckBox;
class QLabel;
class QPushButton;
class wizard_asker;

/// The address bug reports go to.
inline constexpr const char* tk_support_address = "support@velquor.example";

/// Puts `text` on the desktop's clipboard as plain text.
void tk_copy_to_clipboard2(const QString& text);
/// The mailto: URL of a bug report: subject "Bug report on <subject>", the body as given.
/// Every character of both survives the URL (percent-encoded UTF-8).
QUrl tk_bug_report_url(const QString& subject, const QString& body);
/// Hands the bug report to the desktop's mail handler. False, traced, and nothing sent when no
/// handler takes it.
bool tk_send_bug(wizard_asker& desktop, const QString& subject, const QString& body);

/// A failure of one table or record: Continue (the default) or Abort, and "Do not show this
/// dialog box again". Closing the window answers Continue: only a deliberate Abort ends a run.
class dlg_error_continue : public QDialog {
    Q_OBJECT
public:
    /// The dialog's results (QDialog::result()).
    enum answer { answer_continue = 1, answer_abort = 2 };

    /// Captioned "<title> Error", centred over `parent`.
    dlg_error_continue(QWidget* parent, const QString& message);
    /// The check box's state: the dialog's second result.
    bool do_not_show_again() const;

    QLabel* message_label() const noexcept { return message_; }
    QPushButton* continue_button() const noexcept { return continue_; }
    QPushButton* abort_button() const noexcept { return abort_; }
    QCheckBox* do_not_show_box() const noexcept { return again_; }

    void reject() override { done(answer_continue); }

private:
    QLabel* message_;
    QPushButton* continue_;
    QPushButton* abort_;
    QCheckBox* again_;
};

/// A failure that ends the run or the program: OK (the default), Copy to clipboard, Send bug.
/// Each closes the dialog.
class dlg_error_ex : public QDialog {
    Q_OBJECT
public:
    /// `desktop` opens the bug report; `title` is the report's subject.
    dlg_error_ex(QWidget* parent, wizard_asker& desktop, const QString& title, const QString& message);

    QLabel* message_label() const noexcept { return message_; }
    QPushButton* send_bug_button() const noexcept { return send_; }
    QPushButton* ok_button() const noexcept { return ok_; }
    QPushButton* copy_button() const noexcept { return copy_; }

private:
    QLabel* message_;
    QPushButton* send_;
    QPushButton* ok_;
    QPushButton* copy_;
};
