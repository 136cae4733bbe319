#include "kvn_conv.hpp"

#include "db2_veri.hpp"
#include "sql_db.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"
#include "tk_version.hpp"
#include "udb_errh.hpp"
#include "udb_prof.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ostream>
#include <unistd.h>

namespace {

// The numbers come from the project version; only the text around them is written here.
constexpr int major_version = tk_version_major;
constexpr int minor_version = tk_version_minor;
// The edition tag of the title; this system has one edition.
constexpr const char* edition = "";

} // namespace

korvane_convertor::korvane_convertor(korvane_front_end front_end) : front_end_(front_end), db2_(*this) {
    direct_mode_ = true;
    serialize(false);
    // The agent chooses the destination kind on its command line alone.
    if (front_end_ == korvane_front_end::agent) direct_mode_ = true;
}

korvane_convertor::~korvane_convertor() noexcept {
    if (front_end_ == korvane_front_end::wizard) serialize(true);
}

void korvane_convertor::operator()() {
    tk_trace(2, "korvane_convertor::operator()");
    run(*this);
}

bool korvane_convertor::serialize(bool store) {
    tk_trace(1, "serialize( %d )", store ? 1 : 0);
    if (key_.open_create(tk_reg_root::current_user, settings_key, tk_reg_all_access) != tk_reg_ok) return false;
    const bool wizard = front_end_ == korvane_front_end::wizard;
    bool ok = true;
    // Loading starts every member with a default from its row; "as constructed" rows have none.
    const auto value = [&](const char* name, auto& member, auto fallback, bool has_default) {
        if (!store && has_default) member = fallback;
        ok = key_.transfer(name, member, store) && ok;
    };
    dmp_options& dump = mysql_.dump_options();
    std::int32_t line_break = static_cast<std::int32_t>(dump.line_break);
    bool skip = skip_indexes();
    bool definitions = definitions_only();
    std::int32_t jobs_wanted = jobs();
    const std::u16string no_text;

    if (wizard) {
        value("dest", destination_, no_text, false);
        value("direct", direct_mode_, true, true);
        value("db2pswd", db2_.password(), no_text, false);
        value("db2schema", db2_.schema(), no_text, false);
    }
    value("dmp_line_br", line_break, std::int32_t(0), true);
    value("dmp_new_ver", dump.b_new_version, true, true);
    value("dmp_loc_wri", dump.b_lock_for_write, true, true);
    value("dmp_ins_com", dump.b_comments, true, true);
    value("dmp_ins_db", dump.b_create_database, false, true);
    value("dmp_ins_tab", dump.b_create_table, true, true);
    value("myhost", mysql_.host(), std::string(), false);
    value("myport", mysql_.port(), std::string("3306"), true);
    value("mypswd", mysql_.password(), std::string(), false);
    value("myuser", mysql_.user(), std::string(), false);
    if (wizard) {
        value("skip_idx", skip, false, true);
        value("src", source_, no_text, false);
        value("tab_def", definitions, false, true);
        value("jobs", jobs_wanted, std::int32_t(1), true);
        value("db2user", db2_.user(), no_text, false);
    }
    if (!store) {
        dump.line_break = static_cast<std::uint32_t>(line_break);
        if (wizard) {
            set_skip_indexes(skip);
            set_definitions_only(definitions);
            // A store edited by hand may hold any number.
            set_jobs(std::clamp(jobs_wanted, std::int32_t(1), std::int32_t(max_jobs)));
        }
    }
    key_.close();
    return ok;
}

bool korvane_convertor::load_profile(const udb_profile& profile) {
    tk_trace(2, "korvane_convertor::load_profile");
    if (!udb_converter::load_profile(profile) || !db2_.load_profile(profile) || !mysql_.load_profile(profile))
        return false;
    const std::u16string direct = profile.get_value(mysql_profile_section, u"direct mode");
    if (!direct.empty()) direct_mode_ = direct == u"1";
    return true;
}

bool korvane_convertor::store_profile(udb_profile& profile) const {
    tk_trace(2, "korvane_convertor::store_profile");
    if (!udb_converter::store_profile(profile) || !db2_.store_profile(profile) || !mysql_.store_profile(profile))
        return false;
    profile.set_value(mysql_profile_section, u"direct mode", direct_mode_ ? u"1" : u"0");
    return true;
}

void korvane_convertor::check_dest() {
    tk_trace(1, "korvane_convertor::check_dest()");
    // Only checks: nothing is dropped or replaced before the run has read its source (see
    // get_dest_base), so a wrong schema or an unreadable catalogue destroys nothing.
    if (!direct_mode_) common_check_dest(destination_);
}

std::unique_ptr<udb_database> korvane_convertor::get_dest_base() {
    tk_trace(2, "korvane_convertor::get_dest_base");
    sql_engine& engine = mysql_.engine();
    if (direct_mode_) {
        if (mysql_.is_mysql_base_exist(destination_) && mode() == udb_mode_overwrite_database)
            mysql_.del_mysql_base(destination_);
        if (mysql_.is_mysql_base_exist(destination_)) {
            const std::int32_t flags = mode() == udb_mode_overwrite_database ? sql_db_overwrite : sql_db_keep_tables;
            return sql_open_database(engine, destination_, flags);
        }
        engine.create_db(destination_);
        return std::make_unique<sql_database>(destination_, engine, sql_db_created);
    }
    mysql_.dump_options().creator = tk_to_ansi(tk_from_utf8(title()));
    return engine.create_dump(destination_, mysql_.dump_options());
}

bool korvane_convertor::verify(std::ostream& out) {
    tk_trace(2, "korvane_convertor::verify");
    std::unique_ptr<udb_database> source = open_source();
    if (!mysql_.is_mysql_base_exist(destination_))
        throw tk_exception("MySQL database " + tk_to_utf8(destination_) + " does not exist", tk_level_run);
    std::unique_ptr<sql_database> destination =
        sql_open_database(mysql_.engine(), destination_, sql_db_read_only | sql_db_skip_views);
    // The items and their destination names as a run takes them.
    default_to_all_tables(*source);
    std::unique_ptr<udb_validator> validator = create_validator(table_list(), *destination);
    select_items(*validator);
    if (!silent_) out << "Verifying database " << udb_console_text(source_name()) << '\n' << std::flush;

    db2_verifier verifier(*source, *destination);
    int tables = 0, identical = 0;
    for (const auto& [name, query] : selected_items()) {
        // A stop asked for by a signal ends the verification between tables, as it ends a run.
        if (stop_requested()) throw tk_exception("Stopped", tk_level_run);
        ++tables;
        db2_verdict verdict;
        if (query.empty() && !source->is_table_exist(name)) {
            verdict.name = name;
            verdict.failure = "the DB2 schema has no such table";
        } else {
            bool accepted = true;
            const std::u16string dest_name = destination_name(*validator, name, accepted);
            reserve_item_name(*validator, dest_name, accepted);
            verdict = verifier.verify(name, query, dest_name);
        }
        if (verdict.identical()) ++identical;
        if (!silent_)
            for (const std::string& line : db2_verdict_lines(verdict)) out << line << '\n';
        out << std::flush;
    }
    const int differing = tables - identical;
    tk_trace(3, "Verified %d table(s): %d identical, %d not", tables, identical, differing);
    if (!silent_) {
        out << "Verified " << tables << " tables: " << identical << " identical, " << differing
            << (differing == 1 ? " differs" : " differ") << '\n'
            << std::flush;
    }
    return differing == 0;
}

std::vector<std::u16string> korvane_convertor::get_db2_schemas() {
    tk_trace(2, "korvane_convertor::get_db2_schemas");
    return db2_.engine().get_contents();
}

std::vector<std::u16string> korvane_convertor::get_all_tables() {
    tk_trace(2, "korvane_convertor::get_all_tables");
    std::unique_ptr<udb_database> source = db2_.open_db(db2_.schema());
    return source->tables();
}

bool korvane_convertor::test_query(const std::u16string& statement) {
    try {
        std::unique_ptr<udb_database> source = db2_.open_db(db2_.schema());
        return source->query(statement);
    } catch (const std::exception&) {
        return false;
    }
}

std::string korvane_convertor::title() {
    char text[64];
    std::snprintf(text, sizeof text, "Dunmere %d.%d %s", major_version, minor_version, edition);
    return text;
}

std::unique_ptr<udb_database> korvane_convertor::open_source() { return db2_.open_db(db2_.schema()); }

std::unique_ptr<udb_database> korvane_convertor::open_destination() { return get_dest_base(); }

std::unique_ptr<udb_validator> korvane_convertor::create_validator(const std::vector<std::u16string>& tables,
                                                                   const udb_database&) {
    // Only this run's names take part: a table of an earlier run under the name a source table
    // maps to is that table's destination, to be skipped, merged into or overwritten, not a name
    // to step around (which would make a new copy on every run).
    return mysql_.engine().create_tn_validator(tables, {});
}

void korvane_convertor::prepare_destination(udb_database&) {
    // A dump file has no server whose limit could be raised.
    if (direct_mode_ && mysql_.engine().is_connected()) mysql_.engine().set_max_allowed_packet(max_allowed_packet);
}

std::unique_ptr<udb_database> korvane_convertor::open_worker_source() { return db2_.open_worker_db(db2_.schema()); }

std::unique_ptr<udb_database> korvane_convertor::open_worker_destination(udb_database& destination) {
    if (direct_mode_) return dynamic_cast<sql_database&>(destination).open_worker();
    return dynamic_cast<dmp_database&>(destination).open_part();
}
