#include "base/WorkerJob.h"

#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "base/DiagLog.h"
#include "support/TempDir.h"

namespace vorn::test {
namespace {

using namespace std::chrono_literals;

// A machine out of threads.
struct NoThreads : WorkerJob {
    std::thread launch(std::function<void()>) override {
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    }
};

void waitForEnd(const WorkerJob& worker) {
    while (!worker.isDone()) {
        std::this_thread::yield();
    }
}

class WorkerJobTest : public ::testing::Test {
protected:
    void SetUp() override {
        closeLog();
        openLog(dir_.file("worker.log").c_str());
    }
    void TearDown() override { closeLog(); }
    std::string log() {
        closeLog();
        return dir_.read("worker.log");
    }

    TempDir dir_;
};

// The answer is the job's; an exception, of a standard class or not, is logged under
// the job's place and counts as failed.
TEST_F(WorkerJobTest, AnswerIsTheJobsAndAnythingElseCountsAsFailed) {
    const struct {
        std::function<bool()> job;
        bool success;
    } cases[] = {
        {[] { return true; }, true},
        {[] { return false; }, false},
        {[]() -> bool { throw std::runtime_error("broken"); }, false},
        {[]() -> bool { throw 7; }, false},
    };
    WorkerJob worker;
    for (const auto& c : cases) {
        EXPECT_TRUE(worker.start("WorkerJobTest", c.job));
        waitForEnd(worker);
        EXPECT_EQ(worker.succeeded(), c.success);
    }
    EXPECT_EQ(log(),
              "EXCEPTION: WorkerJobTest std::runtime_error broken\n"
              "SEH EXCEPTION: WorkerJobTest -1\n");
}

// A thread that cannot start is done and failed at once: nobody waits for it, and
// nobody is told of an end that never comes.
TEST_F(WorkerJobTest, AThreadThatCannotStartIsAFinishedFailedJob) {
    NoThreads starved;
    bool ran = false;
    bool told = false;
    EXPECT_FALSE(starved.start(
        "NoThreads",
        [&ran] {
            ran = true;
            return true;
        },
        [&told] { told = true; }));
    EXPECT_TRUE(starved.isDone());
    EXPECT_FALSE(starved.succeeded());
    EXPECT_FALSE(starved.busy());
    EXPECT_FALSE(ran);
    EXPECT_FALSE(told);
    EXPECT_NE(log().find("EXCEPTION: NoThreads std::system_error "), std::string::npos);
}

// While a job runs a second start changes nothing; once it ended the worker takes the
// next job.
TEST_F(WorkerJobTest, ASecondStartIsRefusedWhileAJobRuns) {
    std::atomic<bool> release{false};
    std::atomic<int> runs{0};
    WorkerJob worker;
    ASSERT_TRUE(worker.start("first", [&] {
        while (!release.load()) {
            std::this_thread::sleep_for(1ms);
        }
        ++runs;
        return true;
    }));
    EXPECT_TRUE(worker.busy());
    EXPECT_FALSE(worker.isDone());
    EXPECT_FALSE(worker.start("second", [&] {
        runs += 10;
        return false;
    }));
    release = true;
    waitForEnd(worker);
    EXPECT_TRUE(worker.succeeded());
    EXPECT_EQ(runs.load(), 1);
    EXPECT_TRUE(worker.start("third", [&] {
        runs += 100;
        return false;
    }));
    worker.join();
    EXPECT_TRUE(worker.isDone());
    EXPECT_FALSE(worker.succeeded());
    EXPECT_EQ(runs.load(), 101);
}

// What the job wrote is there for whoever sees it finished, and so is its answer when
// the end is told.
TEST_F(WorkerJobTest, WhatTheJobWroteIsSeenOnceItFinished) {
    for (int round = 0; round < 20; ++round) {
        std::vector<int> written;
        std::atomic<bool> doneWhenTold{false};
        std::atomic<bool> succeededWhenTold{false};
        WorkerJob worker;
        ASSERT_TRUE(worker.start(
            "result",
            [&written] {
                written.assign(1000, 7);
                return true;
            },
            [&] {
                doneWhenTold = worker.isDone();
                succeededWhenTold = worker.succeeded();
            }));
        waitForEnd(worker);
        ASSERT_EQ(written.size(), 1000u);
        EXPECT_EQ(written.back(), 7);
        worker.join();
        EXPECT_TRUE(doneWhenTold.load());
        EXPECT_TRUE(succeededWhenTold.load());
    }
}

// The destructor waits for the job, so the thread never outlives what it works on.
TEST_F(WorkerJobTest, TheDestructorJoinsAJobStillRunning) {
    bool ended = false;
    {
        WorkerJob worker;
        ASSERT_TRUE(worker.start("slow", [&ended] {
            std::this_thread::sleep_for(50ms);
            ended = true;
            return true;
        }));
    }
    EXPECT_TRUE(ended);
}

}  // namespace
}  // namespace vorn::test
