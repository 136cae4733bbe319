#include "g_finish.hpp"

#include "g_wiz_sh.hpp"
#include "tk_log.hpp"

#include <QAbstractButton>
#include <QEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

gui_finish_page::gui_finish_page(wizard_shell& shell, int help_topic, const QString& success_text,
                                 const QString& profile_extension, save_function save)
    : wizard_page(shell, help_topic), success_text_(success_text), extension_(profile_extension),
      save_function_(std::move(save)) {
    auto* layout = new QVBoxLayout(this);
    auto* heading = new QLabel(QStringLiteral("Conversion is Completed"), this);
    QFont bold = heading->font();
    bold.setBold(true);
    bold.setPointSize(bold.pointSize() + 4);
    heading->setFont(bold);
    text_ = new QLabel(this);
    text_->setWordWrap(true);
    error_box_ = new QPlainTextEdit(this);
    error_box_->setReadOnly(true);
    error_box_->hide();
    error_box_->installEventFilter(this);
    summary_ = new QLabel(this);
    summary_->setWordWrap(true);
    summary_->hide();
    save_ = new QPushButton(QStringLiteral("&Save Settings"), this);
    connect(save_, &QPushButton::clicked, this, &gui_finish_page::on_save);
    trace_ = new QPushButton(QStringLiteral("Open &Trace Log"), this);
    trace_->hide();
    connect(trace_, &QPushButton::clicked, this,
            [this] { this->shell().asker().open_url(QUrl::fromLocalFile(trace_log_)); });
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(save_);
    buttons->addWidget(trace_);
    buttons->addStretch();
    layout->addWidget(heading);
    layout->addWidget(text_);
    layout->addWidget(summary_);
    layout->addWidget(error_box_, 1);
    layout->addStretch();
    layout->addLayout(buttons);
}

void gui_finish_page::page_init() {
    tk_trace(1, "gui_finish_page::page_init");
    shell().enable_button(QWizard::CancelButton, false);
    shell().enable_button(QWizard::HelpButton, false);
    shell().enable_button(QWizard::BackButton, false);
    if (!errors_.isEmpty()) {
        tk_trace(1, "Display errors");
        text_->setText(QStringLiteral("There were some errors while converting the database.\n"
                                      "Click 'Finish' to exit the wizard."));
        QString all;
        for (QString e : errors_) all += e.replace(QLatin1Char('\n'), QLatin1Char(' ')) + QStringLiteral("\n\n");
        error_box_->setPlainText(all);
        error_box_->show();
    } else {
        tk_trace(1, "Display success-message");
        text_->setText(success_text_);
        error_box_->hide();
    }
    summary_->setText(summary_text_);
    summary_->setVisible(!summary_text_.isEmpty());
    trace_->setVisible(!trace_log_.isEmpty() && QFileInfo(trace_log_).isFile());
}

bool gui_finish_page::eventFilter(QObject* watched, QEvent* event) {
    // The first focus would select the whole report; hand it on to Finish instead.
    if (watched == error_box_ && event->type() == QEvent::FocusIn && !box_focused_) {
        tk_trace(1, "gui_finish_page::on_eb_focus");
        box_focused_ = true;
        QTextCursor cursor = error_box_->textCursor();
        cursor.clearSelection();
        error_box_->setTextCursor(cursor);
        error_box_->ensureCursorVisible();
        if (QAbstractButton* finish = shell().button(QWizard::FinishButton)) finish->setFocus();
    }
    return wizard_page::eventFilter(watched, event);
}

void gui_finish_page::on_save() {
    const QString filter = QStringLiteral("Profile Files (*.%1);;All Files (*)").arg(extension_);
    const QString path =
        shell().asker().choose_file(this, true, QStringLiteral("Select Profile File"), filter, extension_, {});
    if (path.isEmpty()) return;
    if (!save_function_(path)) shell().error(QStringLiteral("Cannot write the profile file '%1'.").arg(path));
}
