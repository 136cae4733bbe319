#include "vordaxen.hpp"

#include "kvn_conv.hpp"
#include "sql_client.hpp"
#include "tk_cmdli.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"
#include "tk_version.hpp"
#include "udb_errh.hpp"
#include "udb_prof.hpp"
#include "vordaxen_report.hpp"

#include <algorithm>
#include <chrono>
#include <climits>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <memory>
#include <termios.h>
#include <unistd.h>

namespace {

// The numbers come from the project version; only the text around them is written here.
constexpr int major_version = tk_version_major;
constexpr int minor_version = tk_version_minor;
constexpr const char* vendor_notice = "(c) Velquor 2026";

enum option_id : int {
    opt_dest = 0,
    opt_dump = 1,
    opt_help = 2,
    opt_logfile = 3,
    opt_mode = 4,
    opt_db2pswd = 5,
    opt_db2schema = 6,
    opt_db2user = 7,
    opt_mysqlh = 8,
    opt_mysqlu = 9,
    opt_mysqlp = 10,
    opt_port = 11,
    opt_profile = 12,
    opt_silent = 13,
    opt_skip_idx = 14,
    opt_src = 15,
    opt_tab_def = 16,
    opt_tab_file = 17,
    opt_db2pswd_prompt = 18,
    opt_mysqlp_prompt = 19,
    opt_read_timeout = 20,
    opt_verify = 21,
    opt_verify_only = 22,
    opt_strict = 23,
    opt_version = 24,
    opt_jobs = 25,
};

// Searched in this order, first match wins; an option without "=" must match the whole
// argument ("--dumpster" is no "--dump"), which parse_cmd_line checks.
const tk_cmd_option option_table[] = {
    {opt_db2pswd, "--db2pswd="}, {opt_db2pswd_prompt, "--db2pswd"}, {opt_db2schema, "--db2schema="},
    {opt_db2user, "--db2user="}, {opt_dest, "--dest="},             {opt_dump, "--dump"},
    {opt_help, "--help"},        {opt_jobs, "--jobs="},             {opt_logfile, "--logfile="},       {opt_mode, "--mode="},
    {opt_mysqlh, "--mysqlh="},   {opt_mysqlu, "--mysqlu="},         {opt_mysqlp, "--mysqlp="},
    {opt_mysqlp_prompt, "--mysqlp"}, {opt_port, "--port="},         {opt_profile, "--profile="},
    {opt_read_timeout, "--read_timeout="}, {opt_silent, "--silent"}, {opt_skip_idx, "--skip_idx"},
    {opt_src, "--src="},         {opt_strict, "--strict"},          {opt_tab_def, "--tab_def"},
    {opt_tab_file, "--tab_file="},
    // "--verify_only" first: the table is searched by prefix.
    {opt_verify_only, "--verify_only"}, {opt_verify, "--verify"}, {opt_version, "--version"},
    {-1, ""},
};

// Environment variables that give a password without putting it on the command line.
constexpr const char* db2_password_variable = "DUNMERE_DB2_PASSWORD";
constexpr const char* mysql_password_variable = "DUNMERE_MYSQL_PASSWORD";

// Longest path the system accepts, terminator excluded.
constexpr std::size_t max_path_length = PATH_MAX - 1;

// Seconds a MySQL read may wait before the statement counts as failed: long enough for any
// statement of a conversion, short enough that a server that stopped answering ends the table.
constexpr unsigned default_read_timeout = 600;

// Longest table name a table-list line may hold, in bytes.
constexpr std::size_t max_tab_line = 254;

// Console output is switched off from --silent on; kept here because a fatal message may come
// after the converter is gone.
bool output_silenced = false;

// --strict: a run that refused a record or failed a table, key or view ends with status 1.
bool strict_status = false;

// What parse_cmd_line found wrong with the options it did not know, shown before the usage text.
std::string unknown_options_text;

// Edit distance of two short texts: how far a misspelt option is from a known one.
std::size_t distance(std::string_view a, std::string_view b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// "Unknown option '--dmp' (did you mean '--dump'?)": the known option closest to the argument's
// name (the part before "="), when at most two edits away or a prefix of it.
std::string unknown_option_line(const std::string& argument) {
    const std::string_view name = std::string_view(argument).substr(0, argument.find('='));
    std::string_view best;
    std::size_t best_distance = 3;
    for (const tk_cmd_option& option : option_table) {
        std::string_view known = option.prefix;
        if (known.empty()) break;
        if (known.back() == '=') known.remove_suffix(1);
        // A known option with letters added ("--mysqlhost", "--dumpster") is one slip away.
        const std::size_t d = name.starts_with(known) ? 1 : distance(name, known);
        if (d < best_distance) {
            best_distance = d;
            best = option.prefix;
        }
    }
    std::string line = "Unknown option '" + tk_printable(argument) + "'";
    if (!best.empty()) line += " (did you mean '" + std::string(best) + "'?)";
    return line + '\n';
}

// What the run proves afterwards: nothing, the copy it made, or only an existing destination.
enum class verify_step { none, after_run, only };
verify_step verification = verify_step::none;

} // namespace

std::string vordaxen_usage() {
    char first[96];
    std::snprintf(first, sizeof first, "VORDAXEN v%d.%d ", major_version, minor_version);
    return std::string(first) + vendor_notice +
           "\n"
           "Usage: VORDAXEN OPTIONS\n"
           "\n"
           "   --db2pswd=...   DB2 user password (--db2pswd alone asks for it)\n"
           "   --db2schema=... DB2 schema name\n"
           "   --db2user=...   DB2 user name\n"
           "   --dest=...      MySQL database name\n"
           "   --dump          convert DB2 database into MySQL dump file\n"
           "   --help          display this help message and exit\n"
           "   --jobs=...      number of tables (or parts of a table) to copy at once,\n"
           "                   each with its own connections (1 to 64, default 1)\n"
           "   --logfile=...   path to the file where execution trace will be written\n"
           "   --mode=...      how to process an existing MySQL database\n"
           "                   (0 - overwrite the entire database, 1 - overwrite existing\n"
           "                   tables only, 2 - skip existing tables, 3 - merge)\n"
           "   --mysqlh=...    MySQL server IP address or network name\n"
           "   --mysqlu=...    MySQL user name\n"
           "   --mysqlp=...    MySQL user password (--mysqlp alone asks for it)\n"
           "   --port=...      MySQL port\n"
           "   --profile=...   path to the file to load conversion settings from\n"
           "   --read_timeout=...  seconds to wait for the MySQL server's answer\n"
           "                   (default 600)\n"
           "   --silent        disable program output\n"
           "   --skip_idx      skip converting indexes\n"
           "   --src=...       DB2 database name\n"
           "   --strict        end with status 1 when a record was refused or a table,\n"
           "                   foreign key or view failed (0 only for a clean run)\n"
           "   --tab_def       convert table definitions only\n"
           "   --tab_file=...  file containing the list of tables to convert\n"
           "                   (one table name per line)\n"
           "   --verify        after converting, compare the MySQL database with DB2\n"
           "                   value by value\n"
           "   --verify_only   convert nothing, only compare the MySQL database with DB2\n"
           "   --version       print the version and the libraries used, and exit\n"
           "\n"
           "NOTES:\n"
           "   1) If you specified a profile, there is no need to specify any other\n"
           "      parameters\n"
           "   2) The default mode is 'overwrite'. You can change it using '--mode'\n"
           "      parameter\n"
           "   3) You can omit 'mysqlh' parameter to connect local MySQL server\n"
           "   4) It is necessary to specify 'port' parameter only if it deffers from\n"
           "      the default MySQL port 3306\n"
           "   5) If you omit 'tab_file' parameter, all database tables will be converted\n"
           "   6) If you omit 'mode' parameter, default mode 'overwrite the entire\n"
           "      database' will be used.\n"
           "   7) Command line parameters that contain spaces should be enclosed in\n"
           "      quotes (for example --dest=\"my database\")\n"
           "   8) Passwords not given as options are read from the environment\n"
           "      variables DUNMERE_DB2_PASSWORD and DUNMERE_MYSQL_PASSWORD; a password\n"
           "      given as an option is hidden from the process list once read\n"
           "   9) Exit status: 0 when the run went through, 255 when it failed or\n"
           "      converted nothing, 1 when --verify found a difference or, with\n"
           "      --strict, when records were refused or tables, keys or views failed.\n"
           "      On a terminal a progress line is shown; every run ends with a summary\n"
           "      of what was converted";
}

std::string vordaxen_version() {
    return "VORDAXEN " + std::to_string(major_version) + "." + std::to_string(minor_version) + " " + vendor_notice +
           "\n"
           "MySQL client library " + sql_client_library_version() + "\n"
           "DB2 CLI library loaded at run time (DB2_CLI_LIBRARY, else libdb2.so.1)\n"
           "Compiler " __VERSION__ "\n";
}

void vordaxen_fatal(const std::string& text) {
    tk_trace(3, "%s", text.c_str());
    if (!output_silenced) {
        std::cerr << text << '\n';
        std::cerr.flush();
    }
    std::exit(vordaxen_failure);
}

void process_tab_file(const std::string& path) {
    tk_trace(1, "process_tab_file(%s)", tk_printable(path).c_str());
    if (tk_is_special_file(path))
        vordaxen_fatal("Table names file '" + tk_printable(path) + "' is not a regular file.");
    if (!tk_is_file_exist(path, tk_file_readable))
        vordaxen_fatal("Table names file does not exist.\nPlease verify the correct path/name was given.");
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file)
        vordaxen_fatal("Table names file does not exist.\nPlease verify the correct path/name was given.");

    std::vector<std::u16string> names;
    bool first = true;
    bool utf8 = false;
    std::string line;
    for (long number = 1;; ++number) {
        // A line is kept up to two bytes past the limit: enough to tell a CR LF ending from
        // an overlong line without ever holding a whole runaway line in memory.
        line.clear();
        int c;
        bool any = false;
        while ((c = std::getc(file.get())) != EOF) {
            any = true;
            if (c == '\n') break;
            if (line.size() < max_tab_line + 2) line.push_back(static_cast<char>(c));
        }
        if (!any) break;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.size() > max_tab_line)
            vordaxen_fatal("Table names file '" + path + "': line " + std::to_string(number) + " is longer than " +
                           std::to_string(max_tab_line) + " bytes.");
        if (line.empty()) continue;
        std::string_view text = line;
        if (first) {
            first = false;
            utf8 = text.substr(0, 3) == "\xEF\xBB\xBF";
            if (utf8) text.remove_prefix(3);
        }
        std::u16string name;
        bool decoded = true;
        if (utf8) {
            try {
                name = tk_from_utf8(text);
            } catch (const tk_exception&) {
                decoded = false;
            }
        } else {
            decoded = tk_try_from_ansi(text, name);
        }
        if (!decoded)
            vordaxen_fatal("Table names file '" + path + "': line " + std::to_string(number) +
                           " is not valid text in its character set.");
        // A line that held only the byte-order mark names nothing.
        if (!name.empty()) names.push_back(std::move(name));
        if (c == EOF) break;
    }
    // An empty list would mean "every table": a file that names none is a mistake.
    if (names.empty()) vordaxen_fatal("Table names file '" + tk_printable(path) + "' names no table.");
    korvane_convertor::instance().table_list() = std::move(names);
}

namespace {

// Reads a password from the terminal without showing it.
std::string prompt_password(const char* what) {
    const int fd = ::open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) vordaxen_fatal(std::string("Cannot ask for the ") + what + " password: there is no terminal.");
    const std::string prompt = std::string("Enter ") + what + " password: ";
    (void)!::write(fd, prompt.data(), prompt.size());
    termios old_mode{};
    const bool terminal = ::tcgetattr(fd, &old_mode) == 0;
    if (terminal) {
        termios quiet = old_mode;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        ::tcsetattr(fd, TCSAFLUSH, &quiet);
    }
    std::string password;
    char c;
    while (::read(fd, &c, 1) == 1 && c != '\n') password.push_back(c);
    if (terminal) ::tcsetattr(fd, TCSAFLUSH, &old_mode);
    (void)!::write(fd, "\n", 1);
    ::close(fd);
    if (!password.empty() && password.back() == '\r') password.pop_back();
    return password;
}

// A whole number from min to max, written in decimal digits only; false otherwise.
bool whole_number(const std::string& text, unsigned long min, unsigned long max, unsigned long& out) {
    if (text.empty() || text.size() > 9) return false;
    unsigned long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + unsigned(c - '0');
    }
    if (value < min || value > max) return false;
    out = value;
    return true;
}

// Options naming a file or a folder: an empty value and a path the system cannot take are
// refused here, each with the option's name.
void check_path_value(const char* option, const std::string& value) {
    if (value.empty()) vordaxen_fatal(std::string("Option ") + option + " needs a value.");
    if (value.size() > max_path_length)
        vordaxen_fatal(std::string("The path given with ") + option + " is longer than " +
                       std::to_string(max_path_length) + " bytes.");
}

} // namespace

bool parse_cmd_line(int argc, const char* const* argv) {
    tk_trace(1, "parse_cmd_line");
    for (int i = 0; i < argc; ++i) {
        // Passwords stay out of the trace log, which users attach to problem reports.
        const bool secret = std::strncmp(argv[i], "--db2pswd=", 10) == 0 || std::strncmp(argv[i], "--mysqlp=", 9) == 0;
        tk_trace(1, "parameter #%d: %s", i, secret ? "(password)" : tk_printable(argv[i]).c_str());
    }

    korvane_convertor& converter = korvane_convertor::instance();
    error_handler& handler = error_handler::instance();
    std::u16string db2_user, db2_password, db2_schema, source;
    std::string host, user, password, port = "3306";
    bool profile_loaded = false;

    // Wide values come from the console's code page; one that does not convert is ignored.
    const auto wide = [](const std::string& value, std::u16string& out) { return tk_try_from_ansi(value, out); };

    bool db2_password_given = false, mysql_password_given = false;
    std::vector<std::string> stray;

    tk_cmdli scanner;
    for (scanner.start(argc, argv, option_table); scanner.has_current(); scanner.next()) {
        const std::string& value = scanner.value();
        std::u16string w;
        int id = scanner.id();
        // Options without "=" take no value: "--dumpster" is not "--dump".
        const bool flag = id == opt_dump || id == opt_help || id == opt_silent || id == opt_skip_idx ||
                          id == opt_tab_def || id == opt_db2pswd_prompt || id == opt_mysqlp_prompt ||
                          id == opt_verify || id == opt_verify_only || id == opt_strict || id == opt_version;
        if (flag && !value.empty()) {
            stray.push_back(scanner.argument());
            continue;
        }
        switch (id) {
        case opt_db2pswd:
            if (wide(value, w)) db2_password = w;
            db2_password_given = true;
            break;
        case opt_db2pswd_prompt:
            if (wide(prompt_password("DB2"), w)) db2_password = w;
            db2_password_given = true;
            break;
        case opt_mysqlp_prompt:
            password = prompt_password("MySQL");
            mysql_password_given = true;
            break;
        case opt_db2schema:
            if (wide(value, w)) db2_schema = w;
            break;
        case opt_db2user:
            if (wide(value, w)) db2_user = w;
            break;
        case opt_dest:
            tk_trace(1, "parse_cmd_line - got dest %s", tk_printable(value).c_str());
            check_path_value("--dest=", value);
            if (wide(value, w)) converter.set_destination(w);
            break;
        case opt_dump:
            tk_trace(2, "\tconvert into dump files");
            converter.set_direct_mode(false);
            break;
        case opt_strict: strict_status = true; break;
        case opt_version:
            std::cout << vordaxen_version() << std::flush;
            std::exit(0);
        case opt_help:
            // Asked for, the usage text is the answer, not a failure.
            std::cout << vordaxen_usage() << '\n' << std::flush;
            std::exit(0);
        case opt_logfile:
            tk_trace(1, "parse_cmd_line - got logfile %s", tk_printable(value).c_str());
            check_path_value("--logfile=", value);
            converter.set_logfile(value);
            break;
        case opt_mode: {
            // Only the canonical rendering of 0 to 3: "01", "+1", " 1" and "" are refused.
            if (value.size() != 1 || value[0] < '0' || value[0] > '3') vordaxen_fatal("Invalid merge/overwrite mode");
            const int mode = value[0] - '0';
            tk_trace(2, "\tgot mode %d", mode);
            converter.set_mode(mode);
            break;
        }
        case opt_mysqlh: host = value; break;
        case opt_mysqlu: user = value; break;
        case opt_mysqlp:
            password = value;
            mysql_password_given = true;
            break;
        case opt_port: {
            unsigned long number = 0;
            if (!whole_number(value, 1, 65535, number)) throw tk_exception("Invalid port number", tk_level_run);
            port = value;
            break;
        }
        case opt_read_timeout: {
            unsigned long seconds = 0;
            if (!whole_number(value, 1, 86400, seconds))
                throw tk_exception("Invalid read timeout: give a whole number of seconds from 1 to 86400",
                                   tk_level_run);
            converter.mysql().engine().set_read_timeout(unsigned(seconds));
            break;
        }
        case opt_jobs: {
            unsigned long jobs = 0;
            if (!whole_number(value, 1, korvane_convertor::max_jobs, jobs))
                throw tk_exception("Invalid number of jobs: give a whole number from 1 to " +
                                       std::to_string(korvane_convertor::max_jobs),
                                   tk_level_run);
            tk_trace(2, "\tgot jobs %lu", jobs);
            converter.set_jobs(int(jobs));
            break;
        }
        case opt_profile:
            tk_trace(1, "parse_cmd_line - got profile %s", tk_printable(value).c_str());
            check_path_value("--profile=", value);
            if (tk_is_special_file(value))
                vordaxen_fatal("Profile '" + tk_printable(value) + "' is not a regular file.");
            if (wide(value, w)) {
                udb_profile profile;
                if (profile.load(w) && converter.load_profile(profile)) profile_loaded = true;
            }
            break;
        case opt_silent:
            tk_trace(1, "parse_cmd_line - silent mode is ON");
            converter.set_silent(true);
            handler.set_silent(true);
            output_silenced = true;
            break;
        case opt_skip_idx:
            tk_trace(2, "\tskip converting indexes");
            converter.set_skip_indexes(true);
            break;
        case opt_src:
            tk_trace(1, "parse_cmd_line - got src %s", value.c_str());
            if (wide(value, w)) {
                converter.set_source_name(w);
                source = w;
            }
            break;
        case opt_tab_def:
            tk_trace(2, "\tconvert table definitions only");
            converter.set_definitions_only(true);
            break;
        case opt_tab_file:
            tk_trace(2, "\tparse_cmd_line - got tab_file %s", tk_printable(value).c_str());
            check_path_value("--tab_file=", value);
            process_tab_file(value);
            break;
        case opt_verify:
            tk_trace(2, "\tverify after converting");
            if (verification == verify_step::none) verification = verify_step::after_run;
            break;
        case opt_verify_only:
            tk_trace(2, "\tverify only");
            verification = verify_step::only;
            break;
        default: break; // collected by the scanner
        }
    }
    if (!scanner.unrecognised().empty() || !stray.empty()) {
        for (const std::string& argument : scanner.unrecognised()) unknown_options_text += unknown_option_line(argument);
        for (const std::string& argument : stray) unknown_options_text += unknown_option_line(argument);
        return false;
    }

    // Passwords not given on the command line may come from the environment, which other
    // users cannot read.
    if (!db2_password_given) {
        if (const char* env = std::getenv(db2_password_variable)) {
            std::u16string w;
            if (wide(env, w)) db2_password = w;
            db2_password_given = true;
        }
    }
    if (!mysql_password_given) {
        if (const char* env = std::getenv(mysql_password_variable)) {
            password = env;
            mysql_password_given = true;
        }
    }

    if (converter.destination().empty()) vordaxen_fatal("You should enter MySQL database name");
    if (converter.source_name().empty()) vordaxen_fatal("You should enter DB2 database name");
    if (verification == verify_step::after_run && !converter.direct_mode())
        vordaxen_fatal("--verify compares a MySQL server's database: load the dump, then use --verify_only");
    if (!profile_loaded) {
        if (db2_schema.empty()) vordaxen_fatal("You should enter DB2 schema name");
        converter.db2().set_connection_settings(source, db2_user, db2_password);
        converter.db2().set_schema(db2_schema);
        converter.mysql().store_mysql_settings(host, user, password, port);
    } else {
        // The profile's settings stand, and one without a schema (or remembered one) has none.
        if (converter.db2().schema().empty()) vordaxen_fatal("You should enter DB2 schema name");
        // A profile without passwords takes them from the command line or the environment.
        if (db2_password_given && converter.db2().password().empty()) converter.db2().password() = db2_password;
        if (mysql_password_given && converter.mysql().password().empty()) converter.mysql().password() = password;
    }
    return true;
}

void hide_passwords(int argc, char** argv) {
    // The process list shows the arguments' memory as it is now: overwritten, a password is
    // no longer in it.
    for (int i = 1; i < argc; ++i) {
        for (const char* option : {"--db2pswd=", "--mysqlp="}) {
            const std::size_t length = std::strlen(option);
            if (std::strncmp(argv[i], option, length) != 0) continue;
            for (char* p = argv[i] + length; *p; ++p) *p = 'x';
        }
    }
}

namespace {

extern "C" void on_stop_signal(int signal_number) {
    // A second signal ends the program at once, as if no handler were there.
    if (udb_converter::stop_requested()) {
        std::signal(signal_number, SIG_DFL);
        std::raise(signal_number);
        return;
    }
    udb_converter::request_stop();
}

void install_stop_handlers() {
    struct sigaction action {};
    action.sa_handler = on_stop_signal;
    sigemptyset(&action.sa_mask);
    // Calls under way (a fetch, a statement) finish; the run stops at the next record.
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

} // namespace

int vordaxen_main(int argc, char** argv) {
    const auto started = std::chrono::steady_clock::now();
    std::setlocale(LC_ALL, "");
    install_stop_handlers();
    // No file until --logfile= or a profile names one.
    tk_log log(nullptr, false, 3, false);
    error_handler handler;
    try {
        korvane_convertor converter(korvane_front_end::agent);
        converter.mysql().engine().set_read_timeout(default_read_timeout);
        const bool complete = argc > 1 && parse_cmd_line(argc, argv);
        hide_passwords(argc, argv);
        if (!complete) vordaxen_fatal(unknown_options_text + vordaxen_usage());
        converter.db2().connect_db2_server(converter.source_name());
        // Verifying reads the server's database whatever the run would have written.
        if (verification == verify_step::only) converter.set_direct_mode(true);
        if (converter.direct_mode()) converter.mysql().connect_mysql_server();
        if (verification != verify_step::only) {
            converter.check_dest();
            {
                // Only a person at a terminal sees it: a file or a pipe gets the plain lines.
                std::unique_ptr<vordaxen_progress> progress;
                if (!output_silenced && ::isatty(STDERR_FILENO))
                    progress = std::make_unique<vordaxen_progress>(converter, STDERR_FILENO);
                converter();
            }
            if (!converter.item_reports().empty()) {
                const std::string summary = vordaxen_summary(
                    converter, converter.direct_mode() ? std::string() : udb_console_text(converter.destination()),
                    std::chrono::steady_clock::now() - started);
                tk_trace(3, "%s", summary.c_str());
                if (!output_silenced) std::cout << summary << std::flush;
            }
        }
        if (verification != verify_step::none && !converter.verify(std::cout)) return vordaxen_differences;
        if (strict_status && verification != verify_step::only && vordaxen_run_had_failures(converter))
            return vordaxen_strict_failure;
    } catch (const tk_exception& e) {
        handler.handle(e, 0);
        // The run reports its own table and record failures; a failure that gets here, even of
        // level 0 (a refused DB2 login, an unreachable server), means nothing was converted.
        return vordaxen_failure;
    } catch (const std::exception& e) {
        vordaxen_fatal(e.what());
    }
    return 0;
}
