#include "g_wiz_pg.hpp"

#include "g_wiz_sh.hpp"
#include "tk_log.hpp"

#include <QVariant>

#include <exception>

namespace {

// Controls carry no numeric identifier in Qt; pages may set one as the "ctrl_id" property so
// that the trace names them.
int control_id(const QWidget* control) { return control ? control->property("ctrl_id").toInt() : 0; }

} // namespace

wizard_page::wizard_page(wizard_shell& shell, int help_topic, const QString& title, const QString& subtitle)
    : shell_(shell), help_topic_(help_topic) {
    setTitle(title);
    setSubTitle(subtitle);
}

void wizard_page::activate() {
    tk_trace(1, "wizard_page::OnSetActive");
    page_init();
}

bool wizard_page::validatePage() {
    try {
        return on_next();
    } catch (const std::exception& e) {
        // Engine texts are in the process code page, which the locale set at start-up names.
        shell_.error(QString::fromLocal8Bit(e.what()));
        return false;
    }
}

void wizard_page::cleanupPage() { on_back(); }

void wizard_page::enable_ctrl(QWidget* control, bool on) {
    tk_trace(1, "wizard_page::enable_ctrl(%d=%d)", control_id(control), on ? 1 : 0);
    if (!control) return;
    control->setEnabled(on);
    if (on) control->setFocus();
}

void wizard_page::show_ctrl(QWidget* control, bool on) {
    tk_trace(1, "wizard_page::show_ctrl(%d=%d)", control_id(control), on ? 1 : 0);
    if (control) control->setVisible(on);
}
