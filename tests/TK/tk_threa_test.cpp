#include "tk_threa.hpp"

#include "tk_excp.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>

namespace {

// Runs until asked to stop, or throws at once when told to.
class waiting_job : public tk_runnable {
public:
    explicit waiting_job(bool fail) : fail_(fail) {}
    void run() override {
        if (fail_) throw std::runtime_error("job failed");
        while (!stop_.load()) std::this_thread::yield();
    }
    void request_stop() noexcept override { stop_.store(true); }

private:
    bool fail_;
    std::atomic<bool> stop_ = false;
};

class test_thread : public tk_thread {
public:
    ~test_thread() override {
        if (running()) stop();
    }
    bool give_job = true;
    bool failing_job = false;

protected:
    std::unique_ptr<tk_runnable> create_runnable() override {
        return give_job ? std::make_unique<waiting_job>(failing_job) : nullptr;
    }
};

// The assertion's message names the source and line in hex; compare with a fresh one.
std::string assertion_text(int line) { return tk_mail_assertion("tk_threa", line).message(); }

template <class F>
std::string thrown(F&& f) {
    try {
        f();
    } catch (const tk_exception& e) {
        return e.message();
    }
    return "nothing";
}

} // namespace

TEST(TkThread, MisuseIsAnAssertionAndStopWaitsForTheJob) {
    test_thread t;
    EXPECT_EQ(thrown([&] { t.stop(); }), assertion_text(55));
    t.give_job = false;
    EXPECT_EQ(thrown([&] { t.start(); }), assertion_text(105));
    t.give_job = true;
    t.start();
    EXPECT_TRUE(t.running());
    EXPECT_EQ(thrown([&] { t.start(); }), assertion_text(92));
    EXPECT_EQ(thrown([&] { t.cleanup(); }), assertion_text(71));
    t.stop();
    EXPECT_FALSE(t.running());
    EXPECT_FALSE(t.started());

    // A job that fails leaves its failure behind; the next start begins clean.
    t.failing_job = true;
    t.start();
    while (t.running()) std::this_thread::yield();
    t.cleanup();
    ASSERT_TRUE(t.failure());
    EXPECT_THROW(std::rethrow_exception(t.failure()), std::runtime_error);
    t.failing_job = false;
    t.start();
    EXPECT_FALSE(t.failure());
}
