#include "base/gui/InterfaceJob.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>
#include <atomic>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <thread>

#include "gui/WindowTestSupport.h"

namespace vorn::test {
namespace {

using namespace std::chrono_literals;

// The end is told on the interface thread, after the join: the job runs elsewhere, and
// only then does the next one start.
TEST(InterfaceJobTest, ThenRunsOnTheInterfaceThreadAfterTheJoin) {
    InterfaceJob job;
    QThread* jobThread = nullptr;
    QThread* thenThread = nullptr;
    int thens = 0;
    std::atomic<bool> release{false};
    ASSERT_TRUE(job.start(
        "InterfaceJobTest",
        [&] {
            jobThread = QThread::currentThread();
            while (!release.load()) {
                std::this_thread::sleep_for(1ms);
            }
            return true;
        },
        [&] {
            thenThread = QThread::currentThread();
            ++thens;
            EXPECT_FALSE(job.running());
            // The next job may start from here.
            EXPECT_TRUE(job.start("next", [] { return false; }, {}));
        }));
    EXPECT_TRUE(job.running());
    EXPECT_FALSE(job.start(
        "refused", [] { return true; }, [&] { thens += 10; }));
    release = true;
    ASSERT_TRUE(waitUntil([&] { return thens > 0; }, 10000));
    EXPECT_EQ(thenThread, QCoreApplication::instance()->thread());
    EXPECT_NE(jobThread, thenThread);
    ASSERT_TRUE(waitUntil([&] { return !job.running(); }, 10000));
    EXPECT_EQ(thens, 1);
    EXPECT_FALSE(job.succeeded());  // the next job's answer
}

// A job that escapes with an exception ends like any other, failed.
TEST(InterfaceJobTest, AnEscapedExceptionIsAFailedEnd) {
    InterfaceJob job;
    bool told = false;
    ASSERT_TRUE(job.start(
        "InterfaceJobTest", []() -> bool { throw std::runtime_error("broken"); },
        [&told] { told = true; }));
    ASSERT_TRUE(waitUntil([&] { return told; }, 10000));
    EXPECT_FALSE(job.running());
    EXPECT_FALSE(job.succeeded());
}

// Going while the job runs, the object waits for it and never runs its `then`, also
// when the job's end was already queued.
TEST(InterfaceJobTest, GoingJoinsTheJobAndDropsItsThen) {
    bool told = false;
    std::atomic<bool> ended{false};
    auto job = std::make_unique<InterfaceJob>();
    ASSERT_TRUE(job->start(
        "InterfaceJobTest",
        [&ended] {
            std::this_thread::sleep_for(50ms);
            ended = true;
            return true;
        },
        [&told] { told = true; }));
    job.reset();
    EXPECT_TRUE(ended.load());
    QCoreApplication::processEvents();
    EXPECT_FALSE(told);
}

}  // namespace
}  // namespace vorn::test
