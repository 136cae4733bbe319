#pragma once
// The writer of one MySQL table: records become tuples of multi-row INSERT statements sent in
// batches of about a megabyte. It also learns the table's real columns, keys and defaults
// from the server, so that an existing table can be compared with the source before rows are
// appended to it.

#include "sql_recs.hpp"
#include "sql_send.hpp"

#include <cstdint>
#include <string>
#include <vector>

/// Writer (and page reader) of one existing table; made by sql_database.
///
/// A full batch is sent without waiting for the server's answer: the server executes it while
/// the next batch is formatted, and its answer is read before that one is sent (or by
/// finish()). The statements are the same as if each waited; a refused batch is settled as
/// below, only later, and its rows keep their own record numbers.
///
/// No statement is built larger than the session's max_allowed_packet: a record too large
/// for any statement is reported as rejected with its size and the limit to raise, and the
/// table's other records are stored.
///
/// A batch that the server refuses for its data is not lost: its rows are written again in
/// smaller statements until every good row is stored and every bad row is isolated; each bad
/// row is reported once through the error handler with its own 1-based record number (the
/// count of records this writer was handed) and the server's text. A failure that is not the
/// rows' fault (the connection, the table, rights) fails the table instead: it is raised as a
/// tk_exception outside the record-rejection code range, so the driver gives up the item
/// rather than reporting every later record.
class sql_table : public sql_recordset {
public:
    /// Pending-statement size past which a batch is sent.
    static constexpr std::size_t batch_limit = 1000000;

    /// Reads the table's columns, defaults, keys and row count. Raises sql_exception.
    sql_table(sql_database& database, const std::u16string& name);
    /// Discards a batch that finish() was not called for; reads the answer to one in flight.
    ~sql_table() override;

    /// Adds the record to the pending batch, sending the batch once it passes batch_limit.
    /// A record that cannot be matched with the table's columns raises tk_exception (level 0)
    /// and adds nothing.
    void append_record(const udb_record& record) override;
    /// Sends the last batch and waits until every sent row is stored or reported.
    void finish() override;
    /// Records reported as rejected without raising: refused by the server in a batch, or too
    /// large for any statement.
    int records_refused_late() const noexcept override { return int(sender_.rows_rejected()); }
    /// Reading the table first settles a batch in flight: the connection has one statement
    /// at a time.
    void reset() override;
    void next() override;
    using udb_recordset::update;
    /// Writes the record as an UPDATE by the table's key; without a key, or without a key
    /// field in the record, writes nothing.
    void update(const udb_record& record);

    /// Records this writer was handed so far.
    std::int32_t records_appended() const noexcept { return appended_; }
    /// Rows of the batches sent so far, whether or not the server has answered yet.
    std::int64_t rows_sent() const noexcept { return sender_.rows_sent(); }
    /// Rows sent and stored by the server, and rows reported as rejected.
    std::int64_t rows_stored() const noexcept { return sender_.rows_stored(); }
    std::int64_t rows_rejected() const noexcept { return sender_.rows_rejected(); }

private:
    void learn_table();
    void fast_append(const udb_record& record);
    /// Starts the pending statement: "INSERT INTO t(columns) VALUES".
    void fast_append_head();
    /// Reports the current record as rejected: alone it makes a statement of `statement_bytes`,
    /// more than the server's packet limit `packet`.
    void report_too_large(std::size_t statement_bytes, std::size_t packet);
    void pair_fields(const udb_record& record);
    [[noreturn]] void raise_structure_error() const;
    /// Settles the batch in flight, then sends the pending batch without waiting for its answer.
    void send_pending() { sender_.send(pending_); }
    /// Waits for the answer to the batch in flight, if any, and settles it.
    void collect() { sender_.collect(); }

    sql_insert_batch pending_; // the batch being formatted
    sql_database_link link_;
    sql_batch_sender sender_; // sends the batches over link_ and settles the server's answers
    // Pairing of record fields with table columns, reused while records keep the same names.
    std::vector<std::u16string> paired_names_;
    std::vector<std::pair<std::size_t, std::size_t>> pairs_; // (field, column)
    std::string head_;                                       // "INSERT INTO t(a, b) VALUES" for them
    std::int32_t appended_ = 0;
};
