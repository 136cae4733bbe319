#include "g_f_dlg.hpp"

#include "g_wiz_sh.hpp"
#include "tk_log.hpp"

#include <QCheckBox>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace {

// The message beside the error icon, selectable so that a user can quote part of it.
QLabel* add_message(QDialog& dialog, QVBoxLayout* layout, const QString& message) {
    dialog.setWindowTitle(wizard_shell::caption("Error"));
    auto* row = new QHBoxLayout;
    auto* icon = new QLabel(&dialog);
    icon->setPixmap(dialog.style()->standardIcon(QStyle::SP_MessageBoxCritical).pixmap(32, 32));
    auto* text = new QLabel(message, &dialog);
    text->setWordWrap(true);
    text->setTextFormat(Qt::PlainText);
    text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    text->setMinimumWidth(360);
    row->addWidget(icon, 0, Qt::AlignTop);
    row->addWidget(text, 1);
    layout->addLayout(row);
    return text;
}

} // namespace

void tk_copy_to_clipboard2(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    tk_trace(1, "tk_copy_to_clipboard2(%s)", utf8.constData());
    if (QClipboard* clipboard = QGuiApplication::clipboard()) clipboard->setText(text);
}

QUrl tk_bug_report_url(const QString& subject, const QString& body) {
    const QString text = QStringLiteral("mailto:%1?subject=%2&body=%3")
                             .arg(QLatin1String(tk_support_address),
                                  QString::fromLatin1(QUrl::toPercentEncoding(QStringLiteral("Bug report on ") + subject)),
                                  QString::fromLatin1(QUrl::toPercentEncoding(body)));
    return QUrl(text, QUrl::StrictMode);
}

bool tk_send_bug(wizard_asker& desktop, const QString& subject, const QString& body) {
    const QByteArray s = subject.toUtf8(), b = body.toUtf8();
    tk_trace(1, "tk_send_bug(%s|%s)", s.constData(), b.constData());
    if (desktop.open_url(tk_bug_report_url(subject, body))) return true;
    tk_trace(3, "No mail handler took the bug report");
    return false;
}

dlg_error_continue::dlg_error_continue(QWidget* parent, const QString& message) : QDialog(parent) {
    tk_trace(1, "dlg_error_continue::ctor");
    auto* layout = new QVBoxLayout(this);
    message_ = add_message(*this, layout, message);
    again_ = new QCheckBox(QStringLiteral("&Do not show this dialog box again"), this);
    layout->addWidget(again_);
    auto* buttons = new QDialogButtonBox(this);
    continue_ = buttons->addButton(QStringLiteral("Continue"), QDialogButtonBox::AcceptRole);
    abort_ = buttons->addButton(QStringLiteral("Abort"), QDialogButtonBox::RejectRole);
    continue_->setDefault(true);
    connect(continue_, &QPushButton::clicked, this, [this] { done(answer_continue); });
    connect(abort_, &QPushButton::clicked, this, [this] { done(answer_abort); });
    layout->addWidget(buttons);
    tk_trace(1, "dlg_error_continue::on_init");
}

bool dlg_error_continue::do_not_show_again() const { return again_->isChecked(); }

dlg_error_ex::dlg_error_ex(QWidget* parent, wizard_asker& desktop, const QString& title, const QString& message)
    : QDialog(parent) {
    tk_trace(1, "dlg_error_ex::ctor");
    auto* layout = new QVBoxLayout(this);
    message_ = add_message(*this, layout, message);
    auto* buttons = new QDialogButtonBox(this);
    send_ = buttons->addButton(QStringLiteral("Send bug"), QDialogButtonBox::ActionRole);
    ok_ = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    copy_ = buttons->addButton(QStringLiteral("Copy to clipboard"), QDialogButtonBox::ActionRole);
    ok_->setDefault(true);
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
    connect(copy_, &QPushButton::clicked, this, [this, message] {
        tk_copy_to_clipboard2(message);
        accept();
    });
    connect(send_, &QPushButton::clicked, this, [this, &desktop, title, message] {
        tk_send_bug(desktop, title, message);
        accept();
    });
    layout->addWidget(buttons);
    tk_trace(1, "dlg_error_ex::on_init");
}
