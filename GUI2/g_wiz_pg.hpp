#pragma once
// The base of every wizard page: header texts, help topic, activation on every visit (Back
// included), and Next handlers whose failures keep the wizard on the page.

#include <QWizardPage>

class wizard_shell;

/// A page of a wizard_shell. Derived pages fill page_init and on_next; the shell must outlive it.
class wizard_page : public QWizardPage {
    Q_OBJECT
public:
    /// `title` and `subtitle` form the header band; both empty means no header.
    wizard_page(wizard_shell& shell, int help_topic, const QString& title = {}, const QString& subtitle = {});

    int help_topic() const noexcept { return help_topic_; }
    wizard_shell& shell() noexcept { return shell_; }

    /// Called by the shell each time the page becomes the current one, in either direction.
    void activate();

    /// Runs on_next; an exception's text is shown as an error and keeps the page.
    bool validatePage() final;
    /// Initialisation happens in activate(), which also runs when the user comes Back.
    void initializePage() final {}
    /// Going Back: calls on_back.
    void cleanupPage() override;

protected:
    /// Fills the controls from the settings each time the page is shown.
    virtual void page_init() {}
    /// Checks and stores the page; false keeps the wizard on it. May throw.
    virtual bool on_next() { return true; }
    /// Called when the user goes Back from this page; the page may store what it holds.
    virtual void on_back() {}

    /// Enables or disables `control`, giving it the focus when enabled.
    void enable_ctrl(QWidget* control, bool on);
    /// Shows or hides `control`.
    void show_ctrl(QWidget* control, bool on);

private:
    wizard_shell& shell_;
    int help_topic_;
};
