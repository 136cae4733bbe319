#pragma once
// Step 4 of the wizard: which tables of the schema are converted, and custom queries whose
// results are stored as tables; the query editor with its SELECT test and Test Query.

#include "g_wiz_pg.hpp"
#include "kvn_page.hpp"

#include <QDialog>
#include <QString>

#include <map>
#include <string>

class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;

/// Names compared ignoring case (the lists' sort order and the duplicate test).
struct korvane_name_less {
    bool operator()(const QString& a, const QString& b) const;
};
/// Query name -> SELECT text.
using korvane_query_map = std::map<QString, QString>;

/// The SELECT test of a query text: an empty text passes; otherwise the text without its
/// leading blanks (tab, line feed, carriage return, space) must start with "SELECT" in any
/// letter case. `kept` receives the text without those blanks.
bool korvane_select_test(const QString& text, QString& kept);

/// The query editor ("Add Query"): a name to store the result as and the SELECT text.
class set_query_dlg : public QDialog {
    Q_OBJECT
public:
    /// Opens over `shell` with `name` and `text` in the boxes; Test Query asks `converter`.
    set_query_dlg(wizard_shell& shell, korvane_convertor& converter, const QString& name, const QString& text);

    /// The name and the query without its leading blanks, once OK closed the dialog.
    const QString& name() const noexcept { return name_; }
    const QString& query() const noexcept { return query_; }

    QLineEdit* name_box() const noexcept { return name_box_; }
    QPlainTextEdit* query_box() const noexcept { return query_box_; }
    QPushButton* test_button() const noexcept { return test_; }

    /// Test Query: the SELECT test, then the source runs the text. Shows the outcome.
    void on_test_query();
    /// OK: closes with the result when the name and the query pass their checks.
    void accept() override;

private:
    QString query_text() const;

    wizard_shell& shell_;
    korvane_convertor& converter_;
    QLineEdit* name_box_;
    QPlainTextEdit* query_box_;
    QPushButton* test_;
    QString name_;
    QString query_;
};

/// Step 4: the available and the selected tables and queries.
class sel_tables_page : public wizard_page {
    Q_OBJECT
public:
    sel_tables_page(wizard_shell& shell, korvane_convertor& converter);
    /// The run's progress page when the program has one, else the finish page.
    int nextId() const override;

    QListWidget* available() const noexcept { return available_; }
    QListWidget* selected() const noexcept { return selected_; }
    /// The text of a table list that failed to load; hidden when it loaded.
    QLabel* load_error() const noexcept { return load_error_; }
    const korvane_query_map& selected_queries() const noexcept { return selected_queries_; }
    const korvane_query_map& available_queries() const noexcept { return available_queries_; }

    /// Moves the current available entry (a query with its text) to the selected list.
    void on_add();
    /// Moves every available entry to the selected list.
    void on_add_all();
    /// Moves the current selected entry back; a query stays defined among the available ones.
    /// Nothing happens without a current entry.
    void on_delete();
    /// Moves every selected entry back.
    void on_del_all();
    /// Opens the query editor until the name is new to both lists (ignoring case) or the user
    /// cancels; the query is then selected.
    void on_add_query();
    /// Opens the current selected query for editing; the new name is not checked for duplicates.
    void on_edit_query();

protected:
    void page_init() override;
    bool on_next() override;

private:
    void do_page_init();
    // Moves the current entry of `from` into `to`; false when `from` has none.
    bool move_current(QListWidget* from, QListWidget* to, korvane_query_map& from_queries,
                      korvane_query_map& to_queries);
    // One entry, or every entry, from `from` to `to`, then the selection moves on as a user expects.
    void move_one(QListWidget* from, QListWidget* to, korvane_query_map& from_queries, korvane_query_map& to_queries);
    void move_all(QListWidget* from, QListWidget* to, korvane_query_map& from_queries, korvane_query_map& to_queries);
    // Selects the entry at `row` of `list`, or its last one; when the list is empty, focuses
    // `other` and selects its first entry.
    static void reselect(QListWidget* list, int row, QListWidget* other);
    bool listed(const QString& name) const;

    korvane_convertor& converter_;
    QListWidget* available_;
    QListWidget* selected_;
    QLabel* load_error_;
    korvane_query_map selected_queries_;
    korvane_query_map available_queries_;
    bool loaded_ = false;
};

/// Inserts `name` into `list` at its place in case-insensitive order; returns its row.
int korvane_insert_sorted(QListWidget* list, const QString& name);
