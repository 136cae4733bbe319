#include "sql_send.hpp"

#include "sql_db.hpp"
#include "sql_engi.hpp"
#include "sql_util.hpp"
#include "tk_excp.hpp"
#include "tk_log.hpp"
#include "udb_errh.hpp"

#include <cstdlib>
#include <strings.h>
#include <utility>

namespace {

// Server errors that a batch gets for a reason other than its rows: writing the rows again in
// smaller statements would only repeat them, once per row.
bool is_table_failure(unsigned error) noexcept {
    if (error >= 2000 && error < 3000) return true; // client errors: the connection is gone
    switch (error) {
    case 1021: // disk full
    case 1030: // storage engine error
    case 1036: // table is read only
    case 1037: case 1038: case 1041: // out of memory
    case 1040: // too many connections
    case 1044: case 1045: case 1142: case 1143: // access denied
    case 1053: // server shutdown
    case 1054: // unknown column
    case 1099: case 1100: case 1223: // table locks
    case 1114: // table is full
    case 1146: // table does not exist
    case 1205: case 1213: // lock wait timeout, deadlock
    case 1290: case 1792: // read-only server or transaction
    case 1317: case 1927: // query interrupted, connection killed
        return true;
    default: return false;
    }
}

// Engines whose INSERT statements store all their rows or none.
bool is_transactional_engine(const std::string& engine) {
    static const char* const names[] = {"InnoDB", "XtraDB", "BerkeleyDB", "BDB", "ndbcluster", "NDB", "TokuDB",
                                        "RocksDB"};
    for (const char* n : names)
        if (strcasecmp(engine.c_str(), n) == 0) return true;
    return false;
}

} // namespace

sql_batch_sender::sql_batch_sender(sql_statement_link& link, std::u16string table, std::uint32_t server_version,
                                   std::int64_t server_rows)
    : link_(link), table_(std::move(table)), server_version_(server_version), server_rows_(server_rows) {}

sql_batch_sender::~sql_batch_sender() { abandon(); }

void sql_batch_sender::abandon() {
    if (!in_flight_) return;
    in_flight_ = false;
    // The item failed after a batch went out: its answer is still read, so that the
    // connection is ready for the next statement.
    const bool executed = link_.read_query_result();
    tk_trace(2, "Last batch of %d row(s) %s", int(sending_.tuples.size()), executed ? "stored" : "refused");
}

void sql_batch_sender::send(sql_insert_batch& pending) {
    // The server takes one statement at a time: the batch before this one is settled first.
    collect();
    if (pending.tuples.empty()) return;
    std::swap(sending_, pending);
    pending.clear();
    sent_ += std::int64_t(sending_.tuples.size());
    tk_trace(2, "Run SQL query: [%s]", sending_.statement.c_str());
    // The server executes the batch while the next one is formatted; its answer is read
    // when that one is ready to go (or when the table is finished).
    in_flight_ = link_.send_query(sending_.statement);
    if (!in_flight_) settle(false);
}

void sql_batch_sender::collect() {
    if (!in_flight_) return;
    in_flight_ = false;
    settle(link_.read_query_result());
}

void sql_batch_sender::settle(bool executed) {
    const std::size_t count = sending_.tuples.size();
    if (executed) {
        server_rows_ += std::int64_t(count);
        stored_ += std::int64_t(count);
        sending_.clear();
        return;
    }
    std::string text;
    const unsigned error = refusal(sending_, 0, count, text);
    try {
        recover(sending_, 0, count, error, text);
    } catch (...) {
        sending_.clear();
        throw;
    }
    sending_.clear();
}

unsigned sql_batch_sender::send_tuples(const sql_insert_batch& b, std::size_t first, std::size_t last,
                                       std::string& error_text) {
    std::string_view statement;
    if (first == 0 && last == b.tuples.size()) {
        statement = b.statement;
    } else {
        part_.assign(b.statement, 0, b.head_length);
        for (std::size_t i = first; i < last; ++i) {
            if (i > first) part_ += ", ";
            part_.append(b.statement, b.tuples[i].begin, b.tuples[i].end - b.tuples[i].begin);
        }
        statement = part_;
    }
    if (link_.query(statement)) {
        server_rows_ += std::int64_t(last - first);
        stored_ += std::int64_t(last - first);
        return 0;
    }
    return refusal(b, first, last, error_text);
}

unsigned sql_batch_sender::refusal(const sql_insert_batch& b, std::size_t first, std::size_t last,
                                   std::string& error_text) {
    error_text = link_.error();
    const unsigned error = link_.error_number();
    tk_trace(2, "Rows %d to %d refused (%u): %s", b.tuples[first].record, b.tuples[last - 1].record, error,
             error_text.c_str());
    return error ? error : 1;
}

void sql_batch_sender::recover(const sql_insert_batch& b, std::size_t first, std::size_t last, unsigned error,
                               std::string text) {
    for (;;) {
        if (sql_engine::is_connection_lost(error)) {
            // The table ends here; the next one starts on a new connection (ensure_connection).
            // Code 0: the advice kept for this error number would send the user the wrong way.
            throw tk_exception("The connection to the MySQL server was lost (" + text + "); " +
                                   std::to_string(stored_) + " of the table's rows reached the server.",
                               tk_level_item);
        }
        if (is_table_failure(error)) {
            // Not the rows' fault: the table fails once, as a whole.
            throw tk_exception(text, tk_level_item);
        }
        if (last - first == 1) {
            report_rejected(b.tuples[first], error, text);
            return;
        }
        if (error != packet_too_large && !is_transactional()) {
            // A table without transactions keeps the rows before the one the statement
            // stopped at; the row count says how many.
            const std::int64_t now = count_server_rows();
            const std::int64_t kept = now - server_rows_;
            if (kept >= 0 && kept < std::int64_t(last - first)) {
                server_rows_ = now;
                stored_ += kept;
                first += std::size_t(kept);
                // Alone, the row where the statement stopped shows whether it is bad.
                std::string row_text;
                const unsigned row_error = send_tuples(b, first, first + 1, row_text);
                if (row_error) {
                    if (is_table_failure(row_error)) throw tk_exception(row_text, tk_level_item);
                    report_rejected(b.tuples[first], row_error, row_text);
                }
                if (++first == last) return;
                error = send_tuples(b, first, last, text);
                if (!error) return;
                continue;
            }
            tk_trace(2, "Row count does not explain the refusal (%lld rows kept)", static_cast<long long>(kept));
        }
        // All or nothing: halve until the bad rows stand alone.
        const std::size_t mid = first + (last - first) / 2;
        std::string half_text;
        const unsigned half_error = send_tuples(b, first, mid, half_text);
        if (half_error) recover(b, first, mid, half_error, half_text);
        first = mid;
        error = send_tuples(b, first, last, text);
        if (!error) return;
    }
}

void sql_batch_sender::report_rejected(const sql_insert_batch::tuple& tuple, unsigned error, const std::string& text) {
    ++rejected_;
    tk_trace(2, "Record #%d rejected (%u): %s", tuple.record, error, text.c_str());
    const sql_exception e(text, error);
    error_handler* handler = error_handler::pointer();
    if (!handler) throw e;
    handler->report(e, 0, table_, tuple.record);
}

bool sql_batch_sender::is_transactional() {
    if (transactional_ < 0) {
        // Unknown stays "no": the row count then decides, which is slower but right either way.
        transactional_ = 0;
        std::u16string pattern;
        for (char16_t c : table_) {
            if (c == u'%' || c == u'_' || c == u'\\') pattern += u'\\';
            pattern += c;
        }
        const std::string statement = "SHOW TABLE STATUS LIKE " + sql_string_literal(pattern);
        if (const std::optional<std::string> engine = link_.query_value(statement, 1)) {
            transactional_ = is_transactional_engine(*engine) ? 1 : 0;
            tk_trace(2, "Table engine: %s", engine->c_str());
        }
    }
    return transactional_ == 1;
}

std::int64_t sql_batch_sender::count_server_rows() {
    std::string statement = "SELECT COUNT(*) FROM ";
    sql_append_quoted_name(statement, table_, server_version_);
    // Without the count the refused rows cannot be told apart: the table fails, not a record.
    const std::optional<std::string> count = link_.query_value(statement, 0);
    if (!count) throw tk_exception(link_.error(), tk_level_item);
    return std::strtoll(count->c_str(), nullptr, 10);
}
