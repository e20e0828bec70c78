#include <gtest/gtest.h>

#include <stdexcept>
#include <system_error>

#include "net/WorkerThread.h"

namespace vorn::test {
namespace {

// A machine out of threads.
class NoThreads : public WorkerThread {
public:
    NoThreads() : WorkerThread("NoThreads") {}

protected:
    std::thread launch(std::function<void()>) override {
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    }
};

void waitFor(const WorkerThread& worker) {
    while (!worker.isDone()) {
        std::this_thread::yield();
    }
}

TEST(WorkerThreadTest, AnswerIsTheJobsAndFailuresCountAsFailed) {
    struct Case {
        const char* name;
        std::function<bool()> job;
        bool success;
    };
    const Case cases[] = {
        {"succeeds", [] { return true; }, true},
        {"fails", [] { return false; }, false},
        {"throws", []() -> bool { throw std::runtime_error("broken"); }, false},
        {"throws anything", []() -> bool { throw 7; }, false},
    };
    WorkerThread worker("test");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(worker.start(c.job));
        waitFor(worker);
        EXPECT_EQ(worker.succeeded(), c.success);
    }
}

TEST(WorkerThreadTest, ThreadThatCannotStartIsDoneAndFailed) {
    NoThreads worker;
    EXPECT_FALSE(worker.start([] { return true; }));
    EXPECT_TRUE(worker.isDone());
    EXPECT_FALSE(worker.succeeded());
}

TEST(WorkerThreadTest, SecondStartWhileRunningIsRefused) {
    std::atomic<bool> release{false};
    WorkerThread worker("test");
    ASSERT_TRUE(worker.start([&release] {
        while (!release.load()) {
            std::this_thread::yield();
        }
        return true;
    }));
    EXPECT_FALSE(worker.start([] { return false; }));
    release.store(true);
    waitFor(worker);
    EXPECT_TRUE(worker.succeeded());
}

}  // namespace
}  // namespace vorn::test
