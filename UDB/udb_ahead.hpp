#pragma once
// Reading a recordset on a thread of its own, a few batches of rows ahead of the writer, so
// that a table copied alone uses a second core: one thread fetches and converts the source's
// values while the other formats and writes them. The rows come out in the reader's order,
// and so do its failures, each at the row where the reader raised it.

#include "udb_sche.hpp"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class udb_recordset;

/// The recordset interface the copy loop needs (is_eof, get_item, next), over `reader`.
/// Without a thread every call goes straight to the reader. With one, a thread reads from the
/// reader's current row on, and each call answers what the reader answered at that row,
/// raising what it raised there: a failure of get_item at its row, a failure of moving on
/// (is_eof, next) at the move where it happened, after which nothing more is read.
/// Memory stays bounded: at most `batches` batches of up to `rows_per_batch` rows or
/// `batch_bytes` bytes of values are held, and a slot that held a large value gives it back.
class udb_read_ahead {
public:
    static constexpr std::size_t batches = 4;
    static constexpr std::size_t rows_per_batch = 256;
    static constexpr std::size_t batch_bytes = std::size_t(1) << 20;

    udb_read_ahead(udb_recordset& reader, bool on_thread);
    udb_read_ahead(const udb_read_ahead&) = delete;
    udb_read_ahead& operator=(const udb_read_ahead&) = delete;
    /// Stops the thread at its next row and waits for it; the reader is then free again.
    ~udb_read_ahead();

    /// True when no row is left. Raises a failure of the reader's moving on.
    bool is_eof();
    /// The current row, valid until next(); null where the reader gave none. Raises the
    /// reader's failure to give this row.
    const udb_record* get_item();
    /// Moves to the next row. Raises a failure of the reader's moving on.
    void next();

private:
    struct slot {
        udb_record record;
        std::exception_ptr failure; ///< get_item raised
        bool present = false;       ///< get_item gave a row
        bool large = false;         ///< its values are to be given back before the slot is reused
    };
    struct batch {
        std::vector<slot> slots;
        std::size_t size = 0;
        bool last = false;          ///< no row follows this batch
        std::exception_ptr failure; ///< moving on raised after the batch's rows
    };

    void read();
    bool fill(batch& b);
    /// The batch the writer is at, once the thread has filled it.
    batch& current();
    /// Raises the failure that ended the reading, once its place is reached.
    void raise_at_end(batch& b);

    udb_recordset& reader_;
    std::vector<batch> ring_;
    std::mutex lock_;
    std::condition_variable changed_;
    std::size_t filled_ = 0;          ///< under lock_: batches filled and not yet given back
    bool done_ = false;               ///< under lock_: the last batch is filled
    std::atomic<bool> stop_ = false;  ///< set under lock_, read by the thread at every row
    // The writer's side only.
    std::size_t taken_ = 0;   ///< batches the writer has moved past
    std::size_t position_ = 0; ///< row within the current batch
    bool have_ = false;       ///< the current batch is known to be filled
    std::thread thread_;
};
