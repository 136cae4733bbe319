#pragma once
// One worker thread that runs one job at a time. A job is stopped by asking it to stop and
// waiting for it: a thread killed from outside could leave a destination half-written and the
// process in an undefined state.

#include <atomic>
#include <exception>
#include <memory>
#include <thread>

/// The job a tk_thread runs. run() is called once on the worker thread.
class tk_runnable {
public:
    virtual ~tk_runnable() = default;
    /// The job itself. An exception that escapes is kept by the thread (tk_thread::failure).
    virtual void run() = 0;
    /// Asks run() to return soon; called from another thread while run() is under way.
    virtual void request_stop() noexcept {}
};

/// Owns a worker thread and its job. Failures of use are internal assertions (source
/// "tk_threa"). Derived classes say which job runs (create_runnable) and how the calling
/// thread waits for a stopped job (idle).
class tk_thread {
public:
    tk_thread() = default;
    tk_thread(const tk_thread&) = delete;
    tk_thread& operator=(const tk_thread&) = delete;
    /// Stops a running job and waits for it.
    virtual ~tk_thread();

    /// Starts a new job on a new thread. Assertion 92 while a job runs, 100 when the previous
    /// job is still attached after its clean-up, 105 when create_runnable gives none.
    void start();
    /// Releases the finished thread and its job. Assertion 71 when the job still runs after
    /// a 10 ms grace.
    void cleanup();
    /// Asks the job to stop, waits for it (calling idle() until it ends) and cleans up.
    /// Assertion 55 when no thread was started.
    void stop();

    /// Whether the job is still running.
    bool running() const noexcept { return running_.load(std::memory_order_acquire); }
    /// Whether a thread was started and not yet cleaned up.
    bool started() const noexcept { return worker_.joinable(); }
    /// What the last job threw (an assertion 149 for a thread with no job); null otherwise.
    std::exception_ptr failure() const noexcept { return failure_; }

protected:
    /// The next job.
    virtual std::unique_ptr<tk_runnable> create_runnable() = 0;
    /// One pause while stop() waits; the default sleeps 10 ms. A window thread overrides it
    /// to keep serving the events the stopping job may wait for.
    virtual void idle();

    /// The body of the worker thread.
    void body(tk_runnable* job);

private:
    std::thread worker_;
    std::unique_ptr<tk_runnable> runnable_;
    std::atomic<bool> running_ = false;
    std::exception_ptr failure_;
};
