#include "kvn_wizard_fixture.hpp"

#include "db2_fixture.hpp"
#include "test_files.hpp"
#include "tk_utils.hpp"

#include <QAbstractButton>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QThread>
#include <QTest>

#include <cstdlib>
#include <filesystem>

namespace wizard_test {

namespace {

// Answers from the test's script instead of blocking on a modal window.
class scripted_asker : public wizard_asker {
public:
    explicit scripted_asker(desktop& d) : d_(d) {}
    bool message_box(QWidget*, icon kind, const QString& caption, const QString& text, bool) override {
        d_.boxes.push_back({kind, caption, text});
        if (kind != icon::question) return true;
        if (d_.answers.empty()) {
            ADD_FAILURE() << "unexpected question: " << text.toStdString();
            return false;
        }
        const bool yes = d_.answers.front();
        d_.answers.pop_front();
        return yes;
    }
    QString choose_file(QWidget*, bool, const QString&, const QString&, const QString&, const QString&) override {
        if (d_.files.empty()) return {};
        QString f = d_.files.front();
        d_.files.pop_front();
        return f;
    }
    bool open_url(const QUrl& url) override {
        d_.opened.push_back(url);
        return d_.mail_handler || url.scheme() != QLatin1String("mailto");
    }
    int run_dialog(QDialog& dialog) override {
        // The message is the dialog's one label with text (the other holds the icon).
        QString text;
        for (const QLabel* l : dialog.findChildren<QLabel*>())
            if (!l->text().isEmpty()) text = l->text();
        d_.dialogs.push_back({icon::error, dialog.windowTitle(), text});
        if (d_.presses.empty()) {
            ADD_FAILURE() << "unexpected dialog: " << text.toStdString();
            dialog.reject();
        } else {
            auto act = std::move(d_.presses.front());
            d_.presses.pop_front();
            act(dialog);
        }
        return dialog.result();
    }

private:
    desktop& d_;
};

} // namespace

std::function<void(QDialog&)> press(const QString& label, bool tick) {
    return [label, tick](QDialog& dialog) {
        if (tick) {
            QCheckBox* box = dialog.findChild<QCheckBox*>();
            ASSERT_NE(box, nullptr);
            box->click();
        }
        for (QPushButton* b : dialog.findChildren<QPushButton*>()) {
            if (b->text() == label) {
                b->click();
                return;
            }
        }
        ADD_FAILURE() << "no button " << label.toStdString();
        dialog.reject();
    };
}

std::vector<QString> desktop::texts() const {
    std::vector<QString> out;
    for (const shown& b : boxes) out.push_back(b.text);
    return out;
}

const std::string& shop_database() {
    static const std::string name = [] {
        db2_test::use_standin();
        db2_test::create_database("SHOPDB", test_files::read_file(std::string(WIZARD_SAMPLES_DIR) + "/shop.sql"));
        return std::string("SHOPDB");
    }();
    return name;
}

const std::string& schemas_database() {
    static const std::string name = [] {
        db2_test::use_standin();
        db2_test::create_database("SCHEMADB", "CREATE SCHEMA SHOPPING;\nCREATE SCHEMA ARCHIVE;\nCREATE SCHEMA SHOP;\n"
                                              "CREATE TABLE SHOP.T1 (ID INTEGER NOT NULL);\n");
        return std::string("SCHEMADB");
    }();
    return name;
}

void Wizard::SetUp() {
    char pattern[] = "/tmp/korvane_wizard_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
    setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
    handler = std::make_unique<korvane_error_handler>();
    converter = std::make_unique<korvane_convertor>(korvane_front_end::wizard);
    make_wizard();
}

void Wizard::make_wizard() {
    wizard = std::make_unique<korvane_wizard>(*converter);
    wizard->set_asker(std::make_unique<scripted_asker>(desk));
}

void Wizard::TearDown() {
    wizard.reset();
    converter.reset();
    handler.reset();
    std::filesystem::remove_all(dir);
}

void Wizard::start_at(int id) {
    wizard->setStartId(id);
    // Showing starts the wizard the first time; later starts are restarts.
    if (wizard->isVisible())
        wizard->restart();
    else
        wizard->show();
    QCoreApplication::processEvents();
}

void Wizard::next() {
    QAbstractButton* b = wizard->button(QWizard::NextButton);
    ASSERT_TRUE(b->isVisible() && b->isEnabled()) << "Next is not offered on page " << current();
    b->click();
    QCoreApplication::processEvents();
}

void Wizard::back() {
    wizard->button(QWizard::BackButton)->click();
    QCoreApplication::processEvents();
}

bool Wizard::wait_for_page(int id) {
    QElapsedTimer clock;
    clock.start();
    while (current() != id && clock.elapsed() < 60000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return current() == id;
}

void Wizard::connect_db2(const std::string& database) {
    converter->db2().set_connection_settings(tk_from_utf8(database), u"", u"");
    converter->db2().connect_db2_server(tk_from_utf8(database));
}

} // namespace wizard_test

int main(int argc, char** argv) {
    // Widgets need no display here; CI has none.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
