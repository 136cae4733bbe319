#include "kvn_shel.hpp"

#include "g_finish.hpp"
#include "kvn_conv.hpp"
#include "kvn_errh.hpp"
#include "kvn_prog.hpp"
#include "kvn_page.hpp"
#include "kvn_tabs.hpp"
#include "tk_log.hpp"
#include "udb_errh.hpp"
#include "udb_prof.hpp"

#include <QApplication>
#include <QIcon>

#include <clocale>

korvane_wizard::korvane_wizard(korvane_convertor& converter, QWidget* parent)
    : wizard_shell(QString::fromStdString(korvane_convertor::title()), parent) {
    setPage(page_welcome, new welcome_page(*this, converter));
    setPage(page_db2, new db2_settings_page2(*this, converter));
    setPage(page_mysql, new sql_settings_page2(*this, converter));
    setPage(page_dump, new sql_dump_page(*this, converter));
    setPage(page_database, new sel_database_page(*this, converter));
    setPage(page_tables, new sel_tables_page(*this, converter));
    finish_ = new gui_finish_page(
        *this, help_topic_base + page_finish,
        QStringLiteral("Wizard has migrated your DB2 database to\nMySQL server successfully.\n\n"
                       "Click 'Finish' to exit the wizard."),
        QLatin1String(profile_extension), [&converter](const QString& path) {
            udb_profile profile;
            if (!converter.store_profile(profile)) return false;
            try {
                profile.store(path.toStdU16String());
            } catch (const std::exception&) {
                return false;
            }
            return true;
        });
    setPage(page_finish, finish_);
    auto* handler = dynamic_cast<korvane_error_handler*>(error_handler::pointer());
    tk_verify(handler != nullptr, "kvn_shel", __LINE__);
    handler->attach(this);
    progress_ = new progress_page(*this, converter, *handler, *finish_);
    setPage(page_progress, progress_);
    setStartId(page_welcome);
    resize(640, 520);
}

korvane_wizard::~korvane_wizard() {
    progress_->stop_run();
    auto* handler = static_cast<korvane_error_handler*>(error_handler::pointer());
    if (handler && handler->attached() == this) handler->attach(nullptr);
}

korvane_wizard::run_function korvane_wizard::set_run_function(run_function run) {
    return progress_->set_run_function(std::move(run));
}

void korvane_wizard::done(int result) {
    progress_->stop_run();
    wizard_shell::done(result);
}

int korvane_main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    QApplication app(argc, argv);
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("korvane")));
    // The trace log stays off unless a profile names a log file; off, every entry costs nothing.
    tk_log log(nullptr, false, 3, true);
    korvane_error_handler handler;
    // An internal error ends the program through the window's event loop, never from the
    // worker thread behind the window's back.
    error_handler::set_exit_function([](int status) {
        QMetaObject::invokeMethod(qApp, [status] { QCoreApplication::exit(status); }, Qt::QueuedConnection);
    });
    korvane_convertor converter(korvane_front_end::wizard);
    // The whole command line names one profile, spaces included.
    QStringList words = QApplication::arguments();
    words.removeFirst();
    const QString profile = words.join(QLatin1Char(' '));
    if (!profile.isEmpty()) korvane_load_profile(converter, profile);
    korvane_wizard wizard(converter);
    wizard.show();
    return app.exec();
}
