#pragma once
// The wizard's pages up to the destination choice: the welcome page, the DB2 connection, the
// MySQL server or dump-file settings, the schema and destination page and its overwrite dialog.
// Every page reads and writes the process's converter; none keeps settings of its own.

#include "g_wiz_pg.hpp"

#include <QDialog>
#include <QString>

#include <functional>
#include <optional>
#include <string>
#include <vector>

class korvane_convertor;
class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QSpinBox;

/// Page identifiers in the order the wizard walks them.
enum korvane_page_id : int {
    page_welcome = 0,
    page_db2 = 1,
    page_mysql = 2,
    page_dump = 3,
    page_database = 4,
    page_tables = 5,
    page_progress = 6,
    page_finish = 7,
};

/// Help topics: one per page (1001 + its identifier) and one per dialog.
inline constexpr int help_topic_base = 1001;
inline constexpr int help_topic_query = 1011;
inline constexpr int help_topic_overwrite = 1012;

/// The extension of profile files, without its dot.
inline constexpr const char* profile_extension = "kvp";

/// Loads the profile at `path` into the converter. Failures (unreadable file, rejected value)
/// are shown with the shell's error service, or a plain box before the wizard exists; false then.
bool korvane_load_profile(korvane_convertor& converter, const QString& path);

/// A hidden label, in a warning colour, for a list that failed to load.
QLabel* korvane_error_label(QWidget* parent);
/// Runs `list` off the window thread and returns its names. A failure is never an empty list:
/// `error_label` then shows "<what> could not be listed: <reason>", the shell shows the same
/// text, and nothing is returned.
std::optional<std::vector<std::u16string>> korvane_list_names(wizard_shell& shell, QLabel* error_label,
                                                              const char* what,
                                                              const std::function<std::vector<std::u16string>()>& list);

/// `text` as the destination box shows it: in direct mode the file-name part (no folder, no
/// extension; "/" and "\" both separate folders), in dump mode the text with its extension
/// replaced by ".sql".
QString korvane_destination_text(const QString& text, bool direct);

/// The scenario choice: straight into a server or into a dump file; loading a profile.
class welcome_page : public wizard_page {
    Q_OBJECT
public:
    /// Every page of the program reads and writes `converter`, which outlives the wizard.
    welcome_page(wizard_shell& shell, korvane_convertor& converter);
    int nextId() const override { return page_db2; }
    QRadioButton* direct_button() const noexcept { return direct_; }
    QRadioButton* dump_button() const noexcept { return dump_; }
    QPushButton* load_button() const noexcept { return load_; }

protected:
    void page_init() override;
    bool on_next() override;

private:
    void on_load();

    korvane_convertor& converter_;
    QRadioButton* direct_;
    QRadioButton* dump_;
    QPushButton* load_;
};

/// Step 1: the DB2 database, user and password; Next connects.
class db2_settings_page2 : public wizard_page {
    Q_OBJECT
public:
    db2_settings_page2(wizard_shell& shell, korvane_convertor& converter);
    /// The server page in direct mode, the dump page otherwise (Back retraces the same path).
    int nextId() const override;
    QLineEdit* database() const noexcept { return database_; }
    QLineEdit* user() const noexcept { return user_; }
    QLineEdit* password() const noexcept { return password_; }

protected:
    void page_init() override;
    bool on_next() override;

private:
    void store_settings();

    korvane_convertor& converter_;
    QLineEdit* database_;
    QLineEdit* user_;
    QLineEdit* password_;
};

/// Step 2 in direct mode: the MySQL server, local or remote; Next connects.
class sql_settings_page2 : public wizard_page {
    Q_OBJECT
public:
    sql_settings_page2(wizard_shell& shell, korvane_convertor& converter);
    int nextId() const override { return page_database; }
    QRadioButton* local_button() const noexcept { return local_; }
    QRadioButton* remote_button() const noexcept { return remote_; }
    QLineEdit* user() const noexcept { return user_; }
    QLineEdit* password() const noexcept { return password_; }
    QLineEdit* host() const noexcept { return host_; }
    QLineEdit* port() const noexcept { return port_; }

protected:
    void page_init() override;
    bool on_next() override;

private:
    void store_settings();
    void on_access_mode();

    korvane_convertor& converter_;
    QRadioButton* local_;
    QRadioButton* remote_;
    QLineEdit* user_;
    QLineEdit* password_;
    QLineEdit* host_;
    QLineEdit* port_;
};

/// Step 2 in dump mode: how the dump file is written.
class sql_dump_page : public wizard_page {
    Q_OBJECT
public:
    sql_dump_page(wizard_shell& shell, korvane_convertor& converter);
    int nextId() const override { return page_database; }
    QRadioButton* new_version() const noexcept { return new_version_; }
    QRadioButton* old_version() const noexcept { return old_version_; }
    QRadioButton* windows_breaks() const noexcept { return windows_; }
    QRadioButton* unix_breaks() const noexcept { return unix_; }
    QCheckBox* lock() const noexcept { return lock_; }
    QCheckBox* create_database() const noexcept { return create_database_; }
    QCheckBox* create_tables() const noexcept { return create_tables_; }
    QCheckBox* comments() const noexcept { return comments_; }

protected:
    void page_init() override;
    bool on_next() override;
    void on_back() override { store_settings(); }

private:
    void store_settings();

    korvane_convertor& converter_;
    QRadioButton* new_version_;
    QRadioButton* old_version_;
    QRadioButton* windows_;
    QRadioButton* unix_;
    QCheckBox* lock_;
    QCheckBox* create_database_;
    QCheckBox* create_tables_;
    QCheckBox* comments_;
};

/// Step 3: the DB2 schema, the destination (database or dump file) and what to do with an
/// existing one.
class sel_database_page : public wizard_page {
    Q_OBJECT
public:
    sel_database_page(wizard_shell& shell, korvane_convertor& converter);
    int nextId() const override { return page_tables; }
    QListWidget* schemas() const noexcept { return schemas_; }
    QLineEdit* destination() const noexcept { return destination_; }
    QLabel* destination_label() const noexcept { return destination_label_; }
    QPushButton* browse_button() const noexcept { return browse_; }
    QCheckBox* definitions_only() const noexcept { return definitions_only_; }
    QCheckBox* skip_indexes() const noexcept { return skip_indexes_; }
    QSpinBox* jobs() const noexcept { return jobs_; }
    /// The text of a schema list that failed to load; empty when it loaded.
    QLabel* load_error() const noexcept { return load_error_; }

protected:
    void page_init() override;
    bool on_next() override;

private:
    void on_schema_selected();
    void on_browse();
    bool check_direct(const std::u16string& name);
    bool check_dump(const std::u16string& path);

    korvane_convertor& converter_;
    QListWidget* schemas_;
    QCheckBox* definitions_only_;
    QCheckBox* skip_indexes_;
    QSpinBox* jobs_;
    QLabel* destination_label_;
    QLineEdit* destination_;
    QPushButton* browse_;
    QLabel* load_error_;
    // Set while the page fills the list, so that only the user's choice rewrites the box.
    bool filling_ = false;
};

/// Asks what to do with an existing destination database.
class overwrite_dlg2 : public QDialog {
    Q_OBJECT
public:
    /// Centred over `shell`, showing `text` above the four modes (the first one checked).
    overwrite_dlg2(wizard_shell& shell, const QString& text);
    /// Runs the dialog: the mode 0 to 3 for OK, nothing for Cancel.
    std::optional<int> choose();
    QRadioButton* mode_button(int mode) const noexcept { return modes_[mode]; }

private:
    QRadioButton* modes_[4];
};
