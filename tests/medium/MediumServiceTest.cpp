// The test medium's service through the real kernel path: queued O_DIRECT transfers
// through io_uring, as the queued benchmarks make them, reach it at once and are
// served "parallel" at a time; writes past its write cache take the sustained time.
// Wall time is only ever checked as a floor, which a loaded machine cannot break.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <liburing.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>

#include "support/TestMedium.h"

namespace vorn::test {
namespace {

constexpr uint64_t kMiB = 1024 * 1024;
constexpr uint32_t kBlock = 4096;

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
using Buffer = std::unique_ptr<char, FreeDeleter>;

Buffer alignedBuffer(size_t bytes) {
    return Buffer(static_cast<char*>(std::aligned_alloc(4096, bytes)));
}

class Descriptor {
public:
    explicit Descriptor(const std::string& path) : fd_(::open(path.c_str(), O_RDWR | O_DIRECT)) {}
    ~Descriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int fd() const { return fd_; }

private:
    int fd_;
};

// `depth` reads of one block each, at blocks 0, 2, 4, ..., submitted at once through
// one io_uring and all waited for; false when any failed or came back short.
bool readQueued(int fd, unsigned depth) {
    io_uring ring{};
    if (io_uring_queue_init(depth, &ring, 0) != 0) {
        return false;
    }
    Buffer buffer = alignedBuffer(size_t{depth} * kBlock);
    for (unsigned i = 0; i < depth; ++i) {
        io_uring_sqe* sqe = io_uring_get_sqe(&ring);
        io_uring_prep_read(sqe, fd, buffer.get() + size_t{i} * kBlock, kBlock,
                           static_cast<uint64_t>(i) * 2 * kBlock);
    }
    bool ok = io_uring_submit(&ring) == static_cast<int>(depth);
    for (unsigned done = 0; ok && done < depth; ++done) {
        io_uring_cqe* cqe = nullptr;
        ok = io_uring_wait_cqe(&ring, &cqe) == 0 && cqe->res == static_cast<int>(kBlock);
        if (cqe != nullptr) {
            io_uring_cqe_seen(&ring, cqe);
        }
    }
    io_uring_queue_exit(&ring);
    return ok;
}

bool writeBlocks(int fd, uint64_t firstBlock, unsigned count, uint32_t block) {
    Buffer buffer = alignedBuffer(block);
    for (unsigned i = 0; i < count; ++i) {
        const off_t at = static_cast<off_t>((firstBlock + i) * block);
        if (::pwrite(fd, buffer.get(), block, at) != static_cast<ssize_t>(block)) {
            return false;
        }
    }
    return true;
}

using Clock = std::chrono::steady_clock;

// Where io_uring is switched off (kernel.io_uring_disabled) there is no queue to test.
bool uringUsable() {
    io_uring ring{};
    if (io_uring_queue_init(1, &ring, 0) != 0) {
        return false;
    }
    io_uring_queue_exit(&ring);
    return true;
}

// Why a test cannot run here; empty when it can.
std::string whyNot(const TestMedium& medium) {
    if (!medium.ready()) {
        return medium.skipReason();
    }
    return uringUsable() ? "" : "io_uring is switched off here";
}

// Eight queued reads, four served at a time for 100 ms each: the medium holds all
// eight at once (the kernel holds none back), serves four at a time, never more, so
// the eight take two service times at least.
TEST(MediumService, ServesQueuedRequestsParallelAtATime) {
    TestMedium medium(16 * kMiB, TestMedium::Requests::Concurrent);
    if (const std::string why = whyNot(medium); !why.empty()) {
        GTEST_SKIP() << why;
    }
    Descriptor file(medium.mediumPath());
    ASSERT_GE(file.fd(), 0);
    ASSERT_TRUE(medium.control("latency_us=100000\nparallel=4\n"));
    const auto start = Clock::now();
    ASSERT_TRUE(readQueued(file.fd(), 8));
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(200));
    EXPECT_EQ(medium.count("reads"), 8u);
    EXPECT_EQ(medium.count("peak"), 8u);
    EXPECT_EQ(medium.count("peak_busy"), 4u);
    EXPECT_EQ(medium.count("parallel"), 4u);
}

// A queue of 32, deeper than the kernel lets through to a FUSE file system unless it
// is told more (12 background requests), reaches the medium whole and is served at
// once; with one slot the same queue is served one by one.
TEST(MediumService, ADeepQueueReachesTheMediumWhole) {
    TestMedium medium(16 * kMiB, TestMedium::Requests::Concurrent);
    if (const std::string why = whyNot(medium); !why.empty()) {
        GTEST_SKIP() << why;
    }
    Descriptor file(medium.mediumPath());
    ASSERT_GE(file.fd(), 0);
    ASSERT_TRUE(medium.control("latency_us=300000\nparallel=32\n"));
    ASSERT_TRUE(readQueued(file.fd(), 32));
    EXPECT_EQ(medium.count("peak"), 32u);
    EXPECT_EQ(medium.count("peak_busy"), 32u);

    ASSERT_TRUE(medium.control("reset=1\nlatency_us=20000\n"));
    EXPECT_EQ(medium.count("parallel"), 1u);
    const auto start = Clock::now();
    ASSERT_TRUE(readQueued(file.fd(), 16));
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(16 * 20));
    EXPECT_EQ(medium.count("peak_busy"), 1u);
    EXPECT_EQ(medium.count("reads"), 16u);
}

// Started one request at a time (as the zoned tests' medium is), a queue reaches it
// one by one whatever "parallel" says.
TEST(MediumService, OneAtATimeHoldsOneRequest) {
    TestMedium medium(16 * kMiB);
    if (const std::string why = whyNot(medium); !why.empty()) {
        GTEST_SKIP() << why;
    }
    Descriptor file(medium.mediumPath());
    ASSERT_GE(file.fd(), 0);
    ASSERT_TRUE(medium.control("latency_us=5000\nparallel=8\n"));
    ASSERT_TRUE(readQueued(file.fd(), 8));
    EXPECT_EQ(medium.count("reads"), 8u);
    EXPECT_EQ(medium.count("peak"), 1u);
}

// The first 256 KiB written since mount go at the fast time, every write after them
// at the sustained 50 ms; reads never use up the cache, and a reset empties it again.
TEST(MediumService, WritesPastTheWriteCacheTakeTheSustainedTime) {
    constexpr uint32_t kWrite = 65536;
    TestMedium medium(16 * kMiB);
    if (const std::string why = whyNot(medium); !why.empty()) {
        GTEST_SKIP() << why;
    }
    Descriptor file(medium.mediumPath());
    ASSERT_GE(file.fd(), 0);
    ASSERT_TRUE(medium.control("write_cache=262144\nsustained_latency_us=50000\n"));
    ASSERT_TRUE(readQueued(file.fd(), 8));
    ASSERT_TRUE(writeBlocks(file.fd(), 0, 4, kWrite));
    EXPECT_EQ(medium.count("written"), 4u * kWrite);
    EXPECT_EQ(medium.count("sustained_writes"), 0u);

    const auto start = Clock::now();
    ASSERT_TRUE(writeBlocks(file.fd(), 4, 3, kWrite));
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(3 * 50));
    EXPECT_EQ(medium.count("sustained_writes"), 3u);
    EXPECT_EQ(medium.count("written"), 7u * kWrite);

    ASSERT_TRUE(medium.control("reset=1\nwrite_cache=131072\nsustained_latency_us=1000\n"));
    ASSERT_TRUE(writeBlocks(file.fd(), 0, 3, kWrite));
    EXPECT_EQ(medium.count("sustained_writes"), 1u);
    EXPECT_EQ(medium.count("writes"), 3u);
}

}  // namespace
}  // namespace vorn::test
