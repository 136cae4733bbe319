#pragma once
// Process-wide single instances: the trace log, the error handler and the converter.

#include "tk_excp.hpp"

/// Base of a class that may exist at most once per process. A second construction, the
/// destruction of a missing instance or asking for a missing one is an internal assertion.
/// The pointer is read without a lock: instances are created before any worker thread starts.
template <class T> class tk_singleton {
public:
    tk_singleton(const tk_singleton&) = delete;
    tk_singleton& operator=(const tk_singleton&) = delete;

    /// The live instance; internal assertion when there is none.
    static T& instance() {
        if (!current_) throw tk_mail_assertion("tk_singl", 33);
        return *static_cast<T*>(current_);
    }
    /// The live instance or null: for callers that must work without one (the trace log).
    static T* pointer() noexcept { return static_cast<T*>(current_); }

protected:
    tk_singleton() {
        if (current_) throw tk_mail_assertion("tk_singl", 21);
        // Kept as the base: the derived part does not exist yet while this constructor runs.
        current_ = this;
    }
    /// A further instance that instance() never returns (a worker thread's own session).
    struct unregistered {};
    explicit tk_singleton(unregistered) noexcept : registered_(false) {}
    ~tk_singleton() noexcept(false) {
        if (!registered_) return;
        if (!current_) throw tk_mail_assertion("tk_singl", 26);
        current_ = nullptr;
    }

private:
    static inline tk_singleton* current_ = nullptr;
    bool registered_ = true;
};
