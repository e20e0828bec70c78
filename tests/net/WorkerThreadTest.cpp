#include <gtest/gtest.h>

#include <stdexcept>
#include <system_error>

#include "net/WorkerThread.h"

namespace vorn::test {
namespace {

// A machine out of threads.
struct NoThreads : WorkerThread {
    NoThreads() : WorkerThread("NoThreads") {}
    std::thread launch(std::function<void()>) override {
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    }
};

TEST(WorkerThreadTest, AnswerIsTheJobsAndAnythingElseCountsAsFailed) {
    const struct {
        std::function<bool()> job;
        bool success;
    } cases[] = {
        {[] { return true; }, true},
        {[] { return false; }, false},
        {[]() -> bool { throw std::runtime_error("broken"); }, false},
        {[]() -> bool { throw 7; }, false},
    };
    WorkerThread worker("test");
    for (const auto& c : cases) {
        EXPECT_TRUE(worker.start(c.job));
        while (!worker.isDone()) {
            std::this_thread::yield();
        }
        EXPECT_EQ(worker.succeeded(), c.success);
    }
    // A thread that cannot start is done and failed at once: nobody waits for it.
    NoThreads starved;
    EXPECT_FALSE(starved.start([] { return true; }));
    EXPECT_TRUE(starved.isDone());
    EXPECT_FALSE(starved.succeeded());
}

}  // namespace
}  // namespace vorn::test
