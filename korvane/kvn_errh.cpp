#include "kvn_errh.hpp"

#include "g_f_dlg.hpp"
#include "g_wiz_sh.hpp"
#include "kvn_page.hpp"
#include "tk_log.hpp"

#include <QThread>

namespace {

constexpr int mysql_code = 0x400000;

} // namespace

// Refused logins and unreachable servers are explained on the server page's help; a key too
// long for MySQL on the database page's, where "Skip converting indexes" is.
const std::vector<std::pair<int, int>> korvane_error_handler::help_topics = {
    {mysql_code + 1045, help_topic_base + page_mysql}, {mysql_code + 1130, help_topic_base + page_mysql},
    {mysql_code + 2002, help_topic_base + page_mysql}, {mysql_code + 2003, help_topic_base + page_mysql},
    {mysql_code + 2005, help_topic_base + page_mysql}, {mysql_code + 1071, help_topic_base + page_database},
};

korvane_error_handler::korvane_error_handler() = default;

void korvane_error_handler::on_window_thread(const std::function<void()>& show) {
    if (QThread::currentThread() == shell_->thread()) {
        show();
        return;
    }
    // Not a blocking queued call: a window thread that is stopping the run waits inside an
    // event handler, where a queued call would never be delivered.
    auto req = std::make_shared<request>();
    req->show = &show;
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (closing_.load()) return;
        pending_ = req;
    }
    std::unique_lock<std::mutex> wait(req->lock);
    req->changed.wait(wait, [&] { return req->done || (req->withdrawn && !req->started); });
    wait.unlock();
    std::lock_guard<std::mutex> hold(lock_);
    if (pending_ == req) pending_.reset();
}

void korvane_error_handler::serve_request() {
    std::shared_ptr<request> req;
    {
        std::lock_guard<std::mutex> hold(lock_);
        req = pending_;
    }
    if (!req) return;
    {
        std::lock_guard<std::mutex> hold(req->lock);
        if (req->withdrawn || req->started) return;
        req->started = true;
    }
    (*req->show)();
    std::lock_guard<std::mutex> hold(req->lock);
    req->done = true;
    req->changed.notify_all();
}

void korvane_error_handler::set_closing(bool on) {
    std::shared_ptr<request> req;
    {
        std::lock_guard<std::mutex> hold(lock_);
        closing_.store(on);
        if (on) req = std::move(pending_);
    }
    if (!req) return;
    std::lock_guard<std::mutex> hold(req->lock);
    req->withdrawn = true;
    req->changed.notify_all();
}

void korvane_error_handler::handle(const tk_exception& e, int final_flag) {
    tk_trace(2, "error_handler::handle");
    const bool shown = shell_ && !closing_.load();
    if (e.level() == tk_level_internal) {
        tk_trace(3, "Internal error:\n%s", e.what());
        const QString text = QString::fromLocal8Bit(e.what());
        if (shown) {
            on_window_thread([this, &text] {
                if (closing_.load()) return;
                dlg_error_ex dialog(shell_, shell_->asker(), shell_->windowTitle(), text);
                shell_->asker().run_dialog(dialog);
            });
        }
        end_program(-1);
    }
    std::string composed = compose(e);
    tk_trace(3, "Error:\n%s", composed.c_str());
    QString message = QString::fromLocal8Bit(composed.c_str());
    message.replace(QLatin1Char('\n'), QLatin1Char(' '));
    if (shell_) {
        std::lock_guard<std::mutex> hold(lock_);
        if (errors_.size() < max_errors) errors_ << message;
    }
    if (e.level() == tk_level_item) {
        tk_trace(1, "Got 0-level error");
        if (!shown || do_not_show_.load()) return;
        int answer = dlg_error_continue::answer_continue;
        bool again = false;
        on_window_thread([&] {
            if (closing_.load()) return;
            dlg_error_continue dialog(shell_, message);
            answer = shell_->asker().run_dialog(dialog);
            again = dialog.do_not_show_again();
        });
        if (answer == dlg_error_continue::answer_abort && final_flag == 0) throw tk_final_exception();
        do_not_show_.store(again);
        return;
    }
    tk_trace(1, "Got 1-level error");
    if (shown && !do_not_show_.load()) {
        tk_trace(1, "Step 1");
        on_window_thread([this, &message] {
            if (!closing_.load()) shell_->error(message);
        });
    }
    tk_trace(1, "Step 2");
    if (shown) {
        for (const auto& [code, topic] : help_topics)
            if (code == e.code()) on_window_thread([this, help = topic] { shell_->display_help(help); });
    }
    if (final_flag == 0) throw tk_final_exception();
}

QStringList korvane_error_handler::errors() const {
    std::lock_guard<std::mutex> hold(lock_);
    return errors_;
}

void korvane_error_handler::clear_errors() {
    std::lock_guard<std::mutex> hold(lock_);
    errors_.clear();
}
