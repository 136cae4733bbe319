#pragma once
// The console agent: one unattended conversion configured by command-line options or a profile.

#include <string>

/// Exit status of every failed run: -1, which the shell sees as 255.
inline constexpr int vordaxen_failure = -1;
/// Exit status of a verification that found a table not identical to its source.
inline constexpr int vordaxen_differences = 1;

/// Fills the converter from the command line. True when the settings are complete, false when
/// the usage text must be shown. Ends the program itself (vordaxen_fatal) for a bad mode, a
/// missing destination, source or schema, a bad number or path, and a bad table-list file;
/// `--help` prints the usage text and ends the program with status 0.
bool parse_cmd_line(int argc, const char* const* argv);

/// Replaces the converter's table list with the names in the file at `path`, one per line
/// (an optional UTF-8 byte-order mark makes the file UTF-8, else the console's code page).
/// A missing file, a line longer than 254 bytes or an undecodable line ends the program.
void process_tab_file(const std::string& path);

/// The usage text, without a final line feed.
std::string vordaxen_usage();

/// Logs `text` at level 3, prints it with a line feed on standard error unless output was
/// silenced, and ends the program with status -1.
[[noreturn]] void vordaxen_fatal(const std::string& text);

/// Overwrites the values of --db2pswd= and --mysqlp= in `argv` with "x", so that the process
/// list no longer shows them.
void hide_passwords(int argc, char** argv);

/// The agent's whole run; returns the process exit status. SIGINT and SIGTERM stop the run
/// cooperatively (a second one ends the program at once).
int vordaxen_main(int argc, char** argv);
