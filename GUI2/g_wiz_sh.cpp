#include "g_wiz_sh.hpp"

#include "g_wiz_pg.hpp"
#include "tk_log.hpp"

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

namespace {

wizard_shell* current_shell = nullptr;

} // namespace

bool wizard_asker::message_box(QWidget* parent, icon kind, const QString& caption, const QString& text,
                               bool default_yes) {
    QMessageBox box(parent);
    box.setWindowTitle(caption);
    box.setText(text);
    switch (kind) {
    case icon::error: box.setIcon(QMessageBox::Critical); break;
    case icon::information: box.setIcon(QMessageBox::Information); break;
    case icon::warning: box.setIcon(QMessageBox::Warning); break;
    case icon::question:
        box.setIcon(QMessageBox::Question);
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(default_yes ? QMessageBox::Yes : QMessageBox::No);
        return box.exec() == QMessageBox::Yes;
    }
    box.exec();
    return true;
}

QString wizard_asker::choose_file(QWidget* parent, bool save, const QString& title, const QString& filter,
                                  const QString& suffix, const QString& start) {
    QFileDialog dialog(parent, title, start, filter);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(suffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().front();
}

bool wizard_asker::open_url(const QUrl& url) { return QDesktopServices::openUrl(url); }

int wizard_asker::run_dialog(QDialog& dialog) { return dialog.exec(); }

wizard_shell::wizard_shell(const QString& title, QWidget* parent)
    : QWizard(parent), title_(title), asker_(std::make_unique<wizard_asker>()) {
    current_shell = this;
    setWindowTitle(title);
    setWizardStyle(QWizard::ModernStyle);
    setOption(QWizard::HaveHelpButton, true);
    connect(&timer_, &QTimer::timeout, this, &wizard_shell::timer_tick);
    // A page initialises itself on every visit, Back included, as a property sheet does.
    connect(this, &QWizard::currentIdChanged, this, [this](int id) {
        if (auto* p = qobject_cast<wizard_page*>(page(id))) p->activate();
    });
    connect(this, &QWizard::helpRequested, this, [this] {
        if (auto* p = qobject_cast<wizard_page*>(currentPage())) display_help(p->help_topic());
    });
}

wizard_shell::~wizard_shell() {
    if (current_shell == this) current_shell = nullptr;
}

wizard_shell* wizard_shell::current() noexcept { return current_shell; }

QString wizard_shell::caption(const char* kind) {
    if (!current_shell) return QString::fromLatin1(kind);
    return current_shell->title_ + QLatin1Char(' ') + QString::fromLatin1(kind);
}

void wizard_shell::error(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    tk_trace(3, "wizard_shell::error(%s)", utf8.constData());
    asker_->message_box(this, wizard_asker::icon::error, caption("Error"), text, false);
}

void wizard_shell::message(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    tk_trace(1, "wizard_shell::message(%s)", utf8.constData());
    asker_->message_box(this, wizard_asker::icon::information, caption("Message"), text, false);
}

bool wizard_shell::question(const QString& text, bool default_yes) {
    return asker_->message_box(this, wizard_asker::icon::question, caption("Question"), text, default_yes);
}

void wizard_shell::enable_button(QWizard::WizardButton which, bool on) {
    tk_trace(1, "wizard_shell::enable_button(%08X)", static_cast<unsigned>(which));
    if (QAbstractButton* b = button(which)) b->setEnabled(on);
}

QString wizard_shell::help_folder() {
    const QString program_dir = QCoreApplication::applicationDirPath();
    const QString beside = program_dir + QStringLiteral("/help");
    if (QFileInfo(beside).isDir()) return beside;
    return QDir::cleanPath(program_dir + QStringLiteral("/../share/dunmere/help"));
}

QString wizard_shell::help_page(const QString& folder, int topic) {
    return folder + QStringLiteral("/topic_%1.html").arg(topic);
}

bool wizard_shell::display_help(int topic) {
    tk_trace(1, "wizard_shell::display_help(%d)", topic);
    const QString page = help_page(help_folder(), topic);
    if (!QFileInfo::exists(page)) return false;
    return asker_->open_url(QUrl::fromLocalFile(page));
}

void wizard_shell::set_timer(int milliseconds) {
    if (milliseconds > 0)
        timer_.start(milliseconds);
    else
        timer_.stop();
}

void wizard_shell::set_asker(std::unique_ptr<wizard_asker> asker) {
    if (asker) asker_ = std::move(asker);
}

void wizard_shell::reject() {
    if (question(QStringLiteral("Are you sure you want to exit the wizard?"), false)) QWizard::reject();
}

void wizard_shell::begin_busy() { QApplication::setOverrideCursor(Qt::WaitCursor); }

void wizard_shell::end_busy() { QApplication::restoreOverrideCursor(); }
