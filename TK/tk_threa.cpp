#include "tk_threa.hpp"

#include "tk_excp.hpp"
#include "tk_log.hpp"

#include <chrono>

tk_thread::~tk_thread() {
    // A derived destructor should have stopped the job already: by now idle() is this class's.
    if (started()) {
        if (runnable_) runnable_->request_stop();
        worker_.join();
        runnable_.reset();
    }
}

void tk_thread::start() {
    tk_trace(2, "tk_thread::start");
    if (running()) throw tk_mail_assertion("tk_threa", 92);
    if (started()) cleanup();
    if (runnable_) throw tk_mail_assertion("tk_threa", 100);
    runnable_ = create_runnable();
    if (!runnable_) throw tk_mail_assertion("tk_threa", 105);
    failure_ = nullptr;
    running_.store(true, std::memory_order_release);
    worker_ = std::thread(&tk_thread::body, this, runnable_.get());
}

void tk_thread::body(tk_runnable* job) {
    try {
        if (!job) throw tk_mail_assertion("tk_threa", 149);
        job->run();
    } catch (...) {
        failure_ = std::current_exception();
    }
    running_.store(false, std::memory_order_release);
}

void tk_thread::cleanup() {
    tk_trace(2, "tk_thread::cleanup");
    if (running()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (running()) throw tk_mail_assertion("tk_threa", 71);
    }
    if (worker_.joinable()) worker_.join();
    runnable_.reset();
}

void tk_thread::stop() {
    tk_trace(2, "tk_thread::stop");
    if (!started()) throw tk_mail_assertion("tk_threa", 55);
    if (runnable_) runnable_->request_stop();
    while (running()) idle();
    cleanup();
}

void tk_thread::idle() { std::this_thread::sleep_for(std::chrono::milliseconds(10)); }
