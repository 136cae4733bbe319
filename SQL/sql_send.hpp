#pragma once
// The sending half of the table writer: multi-row INSERT statements go out over a
// sql_statement_link, one batch executing on the server while the next is formatted, and a
// refused batch is written again in parts until each bad row stands alone.

#include "sql_link.hpp"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

/// One multi-row INSERT statement with the place and record number of each of its tuples.
struct sql_insert_batch {
    struct tuple {
        std::uint32_t begin;
        std::uint32_t end;
        std::int32_t record;
    };
    std::string statement;
    std::size_t head_length = 0; // "INSERT INTO t(a, b) VALUES"
    std::vector<tuple> tuples;   // each "(...)" as [begin, end) of statement
    void clear() {
        statement.clear();
        head_length = 0;
        tuples.clear();
    }
};

/// Sends the batches of one table and settles the server's answers.
///
/// A batch is sent without waiting for its answer, which is read before the next batch goes
/// out (or by collect()). A refused batch is not lost: its rows are written again in smaller
/// statements until every good row is stored and every bad row is isolated; each bad row is
/// reported once through the error handler with its own record number and the server's text.
/// A failure that is not the rows' fault (the connection, the table, rights) is raised as a
/// tk_exception (level 0, outside the record-rejection code range) so that the table fails
/// as a whole; a lost connection says how many of the table's rows reached the server.
class sql_batch_sender {
public:
    /// The server refused a statement larger than its packet limit, before reading any row.
    static constexpr unsigned packet_too_large = 1153;

    /// `table` names the table in reports and in the statements that inspect it after a
    /// refusal (quoted for `server_version`); `server_rows` is what it holds now.
    sql_batch_sender(sql_statement_link& link, std::u16string table, std::uint32_t server_version,
                     std::int64_t server_rows);
    /// Reads the answer to a batch still in flight (see abandon).
    ~sql_batch_sender();
    sql_batch_sender(const sql_batch_sender&) = delete;
    sql_batch_sender& operator=(const sql_batch_sender&) = delete;

    /// Settles the batch in flight, then takes `pending` (left empty) and sends it without
    /// waiting for its answer. An empty `pending` only settles.
    void send(sql_insert_batch& pending);
    /// Waits for the answer to the batch in flight, if any, and settles it.
    void collect();
    /// For a table given up: reads the answer to the batch in flight, so that the connection
    /// takes the next statement, without settling or reporting its rows.
    void abandon();
    /// Reports one record as rejected with the server's error number and text (the record's
    /// statement need not have been sent).
    void report_rejected(const sql_insert_batch::tuple& tuple, unsigned error, const std::string& text);

    /// Rows of the batches sent so far, whether or not the server has answered yet.
    std::int64_t rows_sent() const noexcept { return sent_; }
    /// Rows sent and stored by the server, and rows reported as rejected.
    std::int64_t rows_stored() const noexcept { return stored_; }
    std::int64_t rows_rejected() const noexcept { return rejected_; }

private:
    /// Counts the rows of the sent batch as stored, or recovers the good rows of a refused one.
    void settle(bool executed);
    /// Sends tuples [first, last) of `b` as one statement: 0, or the server's error number.
    unsigned send_tuples(const sql_insert_batch& b, std::size_t first, std::size_t last, std::string& error_text);
    /// The link's error for refused tuples [first, last): its number (never 0) and text.
    unsigned refusal(const sql_insert_batch& b, std::size_t first, std::size_t last, std::string& error_text);
    void recover(const sql_insert_batch& b, std::size_t first, std::size_t last, unsigned error, std::string text);
    bool is_transactional();
    std::int64_t count_server_rows();

    sql_statement_link& link_;
    std::u16string table_;
    std::uint32_t server_version_;
    sql_insert_batch sending_; // the batch being sent, kept until every row is stored or reported
    bool in_flight_ = false;   // sending_ went out and its answer has not been read yet
    std::string part_;         // statement of a part of a refused batch
    std::int64_t sent_ = 0;
    std::int64_t stored_ = 0;
    std::int64_t rejected_ = 0;
    std::int64_t server_rows_; // rows the table held after the last statement that changed it
    int transactional_ = -1;   // unknown until a batch is refused
};
