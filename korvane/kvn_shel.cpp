#include "kvn_shel.hpp"

#include "g_finish.hpp"
#include "kvn_conv.hpp"
#include "kvn_page.hpp"
#include "kvn_tabs.hpp"
#include "tk_log.hpp"
#include "udb_errh.hpp"
#include "udb_prof.hpp"

#include <QApplication>
#include <QIcon>

#include <clocale>
#include <iostream>
#include <sstream>

korvane_wizard::korvane_wizard(korvane_convertor& converter, QWidget* parent)
    : wizard_shell(QString::fromStdString(korvane_convertor::title()), parent), converter_(converter) {
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
    setStartId(page_welcome);
    run_ = [this] { return run_in_place(); };
    resize(640, 520);
}

bool korvane_wizard::validateCurrentPage() {
    if (!wizard_shell::validateCurrentPage()) return false;
    if (currentId() == page_tables && !page(page_progress)) return run_();
    return true;
}

bool korvane_wizard::run_in_place() {
    tk_trace(1, "korvane_wizard::run_in_place");
    // The driver reads "nothing selected" as "every table": a user who chose to go on without a
    // selection gets no run at all.
    if (converter_.table_list().empty() && converter_.selected_items().empty()) {
        finish_->set_errors({});
        return true;
    }
    // The console handler reports into this text and ends a failed run by unwinding it.
    std::ostringstream report;
    error_handler& handler = error_handler::instance();
    handler.set_output(report);
    error_handler::exit_function previous = error_handler::set_exit_function([](int) {});
    try {
        run_long([this] { converter_(); });
    } catch (const error_handler_exit&) {
        // Reported already.
    } catch (const std::exception& e) {
        report << "Error:\n" << e.what() << '\n';
    }
    error_handler::set_exit_function(std::move(previous));
    handler.set_output(std::cout);

    QStringList errors;
    for (const QString& line : QString::fromLocal8Bit(report.str()).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        if (line != QLatin1String("Error:") && errors.size() < 20) errors << line;
    finish_->set_errors(errors);
    return true;
}

int korvane_main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    QApplication app(argc, argv);
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("korvane")));
    // The wizard keeps no trace log: every trace entry costs nothing.
    error_handler handler;
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
