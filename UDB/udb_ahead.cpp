#include "udb_ahead.hpp"

#include "udb_db.hpp"

namespace {

// A field of a row copied from a reader that cannot hand its record over: the reader's value
// with the type the reader's field reported for it, since readers may refine it.
class copied_field : public udb_field {
public:
    using udb_field::udb_field;
    std::uint16_t type = VT_EMPTY;
    std::uint16_t get_type() const override { return type; }
};

// Values above this size are given back once written, so that a slot does not keep the
// largest value it ever held.
constexpr std::size_t large_value = std::size_t(64) << 10;

std::size_t value_bytes(const ole_variant& value) noexcept {
    return value.text().size() * sizeof(char16_t) + value.bytes().size();
}

// The values of `row` into `to`, made a record of the same columns first if it is not one.
void copy_row(const udb_record& row, udb_record& to) {
    if (to.size() != row.size()) {
        to.clear();
        to.reserve(row.size());
        for (const auto& field : row)
            to.add(std::make_unique<copied_field>(field->name, field->size, ole_variant(), field->b_not_null,
                                                  field->b_auto_increment));
    }
    for (std::size_t i = 0; i < row.size(); ++i) {
        auto& field = static_cast<copied_field&>(to[i]);
        field.set_value(row[i].value());
        field.type = row[i].get_type();
    }
}

} // namespace

udb_read_ahead::udb_read_ahead(udb_recordset& reader, bool on_thread) : reader_(reader) {
    if (!on_thread) return;
    ring_.resize(batches);
    for (batch& b : ring_) b.slots.resize(rows_per_batch);
    thread_ = std::thread([this] { read(); });
}

udb_read_ahead::~udb_read_ahead() {
    if (!thread_.joinable()) return;
    {
        std::lock_guard<std::mutex> hold(lock_);
        stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void udb_read_ahead::read() {
    for (std::size_t n = 0;; ++n) {
        batch& b = ring_[n % batches];
        {
            // A full ring is refilled once the writer has taken half of it, not batch by
            // batch: each wait of either thread costs a switch of the core's thread.
            std::unique_lock<std::mutex> wait(lock_);
            if (filled_ == batches) changed_.wait(wait, [this] { return stop_ || filled_ <= batches / 2; });
            if (stop_) return;
        }
        const bool more = fill(b);
        bool wake = false;
        {
            std::lock_guard<std::mutex> hold(lock_);
            if (stop_) return;
            wake = ++filled_ == batches / 2 || !more;
            done_ = !more;
        }
        if (wake) changed_.notify_all();
        if (!more) return;
    }
}

bool udb_read_ahead::fill(batch& b) {
    b.size = 0;
    b.last = false;
    b.failure = nullptr;
    std::size_t bytes = 0;
    while (b.size < rows_per_batch && bytes < batch_bytes) {
        if (stop_.load(std::memory_order_relaxed)) return false;
        try {
            if (reader_.is_eof()) {
                b.last = true;
                return false;
            }
        } catch (...) {
            b.failure = std::current_exception();
            b.last = true;
            return false;
        }
        slot& s = b.slots[b.size++];
        if (s.large) {
            for (const auto& field : s.record) field->set_value(ole_variant());
            s.large = false;
        }
        s.failure = nullptr;
        s.present = false;
        try {
            if (const udb_record* row = reader_.get_item()) {
                if (!reader_.exchange_item(s.record)) copy_row(*row, s.record);
                s.present = true;
                std::size_t row_bytes = 0;
                for (const auto& field : s.record) row_bytes += value_bytes(field->value());
                s.large = row_bytes > large_value;
                bytes += row_bytes;
            }
        } catch (...) {
            s.failure = std::current_exception();
        }
        try {
            reader_.next();
        } catch (...) {
            b.failure = std::current_exception();
            b.last = true;
            return false;
        }
    }
    return true;
}

udb_read_ahead::batch& udb_read_ahead::current() {
    batch& b = ring_[taken_ % batches];
    if (!have_) {
        // The thread publishes every batch up to its last one: it stops early only when told to.
        // An empty ring is taken up again once half full, as the thread refills a full one.
        std::unique_lock<std::mutex> wait(lock_);
        if (filled_ == 0) changed_.wait(wait, [this] { return filled_ >= batches / 2 || done_; });
        have_ = true;
    }
    return b;
}

void udb_read_ahead::raise_at_end(batch& b) {
    if (b.failure) std::rethrow_exception(b.failure);
}

bool udb_read_ahead::is_eof() {
    if (!thread_.joinable()) return reader_.is_eof();
    batch& b = current();
    if (position_ < b.size) return false;
    raise_at_end(b);
    return true;
}

const udb_record* udb_read_ahead::get_item() {
    if (!thread_.joinable()) return reader_.get_item();
    const slot& s = current().slots[position_];
    if (s.failure) std::rethrow_exception(s.failure);
    return s.present ? &s.record : nullptr;
}

void udb_read_ahead::next() {
    if (!thread_.joinable()) return reader_.next();
    batch& b = current();
    if (++position_ < b.size) return;
    if (b.last) return raise_at_end(b);
    bool wake = false;
    {
        std::lock_guard<std::mutex> hold(lock_);
        wake = --filled_ == batches / 2;
    }
    if (wake) changed_.notify_all();
    have_ = false;
    ++taken_;
    position_ = 0;
}
