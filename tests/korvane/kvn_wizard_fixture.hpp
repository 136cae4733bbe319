#pragma once
// The wizard driven as a user drives it, offscreen: a fresh settings folder and converter per
// test, message boxes and file dialogs answered from a script, modal dialogs clicked through.

#include "g_wiz_sh.hpp"
#include "kvn_conv.hpp"
#include "kvn_errh.hpp"
#include "kvn_page.hpp"
#include "kvn_shel.hpp"
#include "udb_errh.hpp"

#include <QApplication>
#include <QDialog>
#include <QTimer>

#include <gtest/gtest.h>

#include <deque>
#include <ostream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

/// Test failures print Qt text as text.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace wizard_test {

/// One message box the wizard showed.
struct shown {
    wizard_asker::icon kind;
    QString caption;
    QString text;
};

/// What the scripted desktop saw and how it answers.
struct desktop {
    std::vector<shown> boxes;
    std::vector<shown> dialogs;  // error dialogs (kind error), their caption and message
    /// Answers the next error dialogs in order; a missing answer fails the test and Continues.
    std::deque<std::function<void(QDialog&)>> presses;
    bool mail_handler = true;    // whether a mailto: link opens
    std::deque<bool> answers;   // for questions, in order; a missing answer fails the test
    std::deque<QString> files;  // for file dialogs
    std::vector<QUrl> opened;
    /// Texts of the boxes shown, in order.
    std::vector<QString> texts() const;
};

/// Clicks the dialog's button labelled `label`, first ticking its check box when `tick`.
std::function<void(QDialog&)> press(const QString& label, bool tick = false);

/// The SHOP sample in the stand-in (created once per process); points the DB2 reader at it.
const std::string& shop_database();
/// A stand-in database with three schemas ARCHIVE (no tables), SHOP and SHOPPING.
const std::string& schemas_database();

/// A fresh settings folder, error handler, converter and wizard for each test.
class Wizard : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    /// A new wizard over the converter, answering through `desk`.
    void make_wizard();
    /// Shows the wizard on `page` (the converter prepared by the test).
    void start_at(int page);
    /// Clicks Next (or Back) and lets the window settle.
    void next();
    void back();
    int current() const { return wizard->currentId(); }
    template <class P>
    P& page(int id) {
        return *qobject_cast<P*>(wizard->page(id));
    }
    /// Connects the converter's DB2 side to `database` of the stand-in.
    void connect_db2(const std::string& database);
    /// Lets the window work until the wizard shows page `id` (at most a minute); false if not.
    bool wait_for_page(int id);

    std::string dir;
    desktop desk;
    std::unique_ptr<korvane_error_handler> handler;
    std::unique_ptr<korvane_convertor> converter;
    std::unique_ptr<korvane_wizard> wizard;
};

/// Calls `act` with the next modal dialog of type D once it is open (waits up to 5 seconds).
template <class D>
void when_dialog(std::function<void(D&)> act) {
    auto* timer = new QTimer;
    auto ticks = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [timer, ticks, act] {
        D* dialog = qobject_cast<D*>(QApplication::activeModalWidget());
        if (!dialog && ++*ticks < 500) return;
        timer->stop();
        timer->deleteLater();
        if (!dialog) {
            ADD_FAILURE() << "no dialog opened";
            if (QWidget* other = QApplication::activeModalWidget()) other->close();
            return;
        }
        act(*dialog);
    });
    timer->start(10);
}

} // namespace wizard_test
