#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <thread>

#include "platform/Counter.h"
#include "platform/LockedBuffer.h"
#include "platform/ProgramInfo.h"
#include "platform/ThreadPriority.h"
#include "support/ManualCounter.h"

namespace vorn::platform {
namespace {

// A replacement counter (every benchmark test uses one) gives way to the real,
// monotonic nanosecond clock when it goes.
TEST(Counter, RealCounterComesBackAfterAReplacement) {
    const uint64_t before = counterNow();
    {
        test::ManualCounter manual(3579545, 42);
        EXPECT_EQ(counterNow(), 42u);
        EXPECT_EQ(counterFrequency(), 3579545u);
    }
    EXPECT_EQ(counterFrequency(), 1000000000u);
    EXPECT_GE(counterNow(), before);
}

TEST(LockedBuffer, IsPageAlignedWritableAndSized) {
    for (size_t size : {size_t{0}, size_t{512}, size_t{524288}}) {
        auto buffer = LockedBuffer::allocate(size);
        ASSERT_NE(buffer, nullptr) << size;
        EXPECT_EQ(buffer->size(), size);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(buffer->data()) % sysconf(_SC_PAGESIZE), 0u);
        std::memset(buffer->data(), 0xA5, size);
        EXPECT_EQ(buffer->locked(), buffer->lockError() == 0);
    }
}

TEST(LockedBuffer, RaiseLockLimitAddsToSoftLimit) {
    rlimit before{};
    ASSERT_EQ(getrlimit(RLIMIT_MEMLOCK, &before), 0);
    if (before.rlim_cur == RLIM_INFINITY) {
        GTEST_SKIP() << "no lock limit to raise";
    }
    const bool raised = raiseLockLimit(16 << 20);
    rlimit after{};
    ASSERT_EQ(getrlimit(RLIMIT_MEMLOCK, &after), 0);
    // The answer tells the truth: true exactly when the soft limit grew.
    EXPECT_EQ(raised, after.rlim_cur > before.rlim_cur);
    if (raised) {
        EXPECT_EQ(after.rlim_cur, before.rlim_cur + (16 << 20));
    }
    setrlimit(RLIMIT_MEMLOCK, &before);
}

TEST(ThreadPriority, WorkerReturnsToOrdinaryPolicy) {
    int policy = -1;
    std::thread worker([&] {
        setTimeCriticalPriority();
        EXPECT_TRUE(setNormalPriority());
        sched_param param{};
        pthread_getschedparam(pthread_self(), &policy, &param);
    });
    worker.join();
    EXPECT_EQ(policy, SCHED_OTHER);
}

}  // namespace
}  // namespace vorn::platform
