#include <gtest/gtest.h>

#include <memory>
#include <set>

#include "bench/BenchmarkWait.h"
#include "bench/MemoryEventLog.h"
#include "bench/QueuedBenchmark.h"
#include "support/ManualCounter.h"
#include "support/MemoryDevice.h"

namespace vorn::test {
namespace {

constexpr uint64_t kMs = 1000000;  // ticks of the 1 GHz scripted clock

// A 64 MB medium whose every transfer takes `serviceMs`, `servers` of them at once.
class QueuedBenchmarkTest : public ::testing::Test {
protected:
    MemoryDevice& device(uint32_t servers, uint64_t serviceTicks, uint64_t sectors = 131072) {
        device_ = std::make_unique<MemoryDevice>(MemoryDevice::Options{.sectors = sectors,
                                                                       .bufferSize = 8u << 20,
                                                                       .keepData = false,
                                                                       .queueServers = servers});
        device_->useClock(&clock_);
        device_->ticksFor = [serviceTicks](uint64_t, const Transfer&) { return serviceTicks; };
        return *device_;
    }
    QueuedRecord run(const QueuedSetup& setup, uint32_t expected = kStatusDone) {
        QueuedBenchmark bench(setup);
        bench.start(device_.get());
        EXPECT_EQ(waitForStatus(bench), expected);
        QueuedRecord record;
        EXPECT_EQ(bench.record(&record), expected == kStatusDone);
        return record;
    }

    ManualCounter clock_{1000000000};
    std::unique_ptr<MemoryDevice> device_;
};

QueuedSetup randomRead(uint32_t depth) {
    return QueuedSetup{.random = true, .blockSize = 4096, .queueDepth = depth};
}

TEST_F(QueuedBenchmarkTest, RatesFollowDepthUpToTheParallelServers) {
    // Four servers of 1 ms each: 1,000 IOPS at depth 1, 4,000 at 8 and at 32.
    for (const uint32_t depth : {1u, 8u, 32u}) {
        device(4, kMs);
        const QueuedRecord r = run(randomRead(depth));
        const double truth = 1000.0 * std::min(depth, 4u);
        EXPECT_NEAR(r.milliIops / 1000.0, truth, truth * 0.0005) << "depth " << depth;
        EXPECT_NEAR(static_cast<double>(r.bytesPerSecond), truth * 4096, truth * 4096 * 0.0005);
        EXPECT_EQ(r.queueDepth, depth);
        EXPECT_EQ(r.bytes, r.completions * 4096);
        // The measured part is the 5 s after the warm-up.
        EXPECT_NEAR(static_cast<double>(r.measuredNs), 5e9, 0.02e9);
        EXPECT_LE(device_->transferCount(), static_cast<uint64_t>(truth * 6.1));
    }
}

TEST_F(QueuedBenchmarkTest, RandomOffsetsAreAlignedInsideTheRegionAndRepeatable) {
    // A 64 MB medium: the region is the whole medium.
    device(1, kMs);
    const QueuedRecord first = run(randomRead(1));
    EXPECT_EQ(first.regionBytes, 64u << 20);
    const std::vector<Transfer> seen = device_->transfers();
    std::set<uint64_t> distinct;
    for (const Transfer& t : seen) {
        EXPECT_EQ(t.sector % 8, 0u);
        EXPECT_LT(t.sector + t.count, 131072u + 1);
        EXPECT_EQ(t.count, 8u);
        distinct.insert(t.sector);
    }
    EXPECT_GT(distinct.size(), seen.size() / 2);  // spread, not a few places again and again
    device(1, kMs);
    run(randomRead(1));
    ASSERT_EQ(device_->transfers().size(), seen.size());
    for (size_t i = 0; i < seen.size(); ++i) {
        ASSERT_EQ(device_->transfers()[i].sector, seen[i].sector) << i;
    }
}

TEST_F(QueuedBenchmarkTest, SequentialSweepEndsOnceItsRegionIsCovered) {
    // A 16 MB medium in 1 MiB blocks of 1 ms: covered after 16 measured blocks.
    device(1, kMs, 32768);
    const QueuedRecord r = run(QueuedSetup{.blockSize = 1048576, .queueDepth = 1});
    EXPECT_EQ(r.regionBytes, 16u << 20);
    EXPECT_GE(r.completions, 16u);
    EXPECT_LE(r.completions, 17u);
    uint64_t expected = 0;
    for (const Transfer& t : device_->transfers()) {
        ASSERT_EQ(t.sector, expected);
        expected = (expected + 2048) % 32768;
    }
    // A region larger than 1 GiB is cut to 1 GiB, on a 1 MiB boundary.
    device(1, kMs, (uint64_t{3} << 30) / 512 + 100);
    EXPECT_EQ(run(QueuedSetup{.blockSize = 1048576, .measureMs = 10}).regionBytes,
              uint64_t{1} << 30);
}

TEST_F(QueuedBenchmarkTest, LatencyPercentilesAtDepthOne) {
    device(1, kMs);
    // Every 50th transfer takes 10 ms, the 3,000th 80 ms; the rest 1 ms.
    device_->ticksFor = [](uint64_t index, const Transfer&) {
        return index == 3000 ? 80 * kMs : index % 50 == 49 ? 10 * kMs : kMs;
    };
    const QueuedRecord r = run(randomRead(1));
    EXPECT_EQ(r.latencyMedianNs, 1000000u);
    EXPECT_EQ(r.latencyP99Ns, 10000000u);
    EXPECT_EQ(r.latencyMaxNs, 80000000u);
    EXPECT_GE(r.latencyP999Ns, r.latencyP99Ns);
    EXPECT_LE(r.latencyP999Ns, r.latencyMaxNs);
    EXPECT_EQ(r.sampledLatencies, r.completions);
    // Deeper queues give no per-transfer percentiles.
    device(4, kMs);
    const QueuedRecord deep = run(randomRead(8));
    EXPECT_EQ(deep.latencyMedianNs, 0u);
    EXPECT_EQ(deep.sampledLatencies, 0u);
}

TEST_F(QueuedBenchmarkTest, ASlowMediumEndsNearItsTimeBox) {
    // 1 KB/s: a 4 KiB transfer takes 4 s, so at depth 32 most never finish in time.
    device(1, 4000 * kMs);
    const uint64_t begin = clock_.now();
    const QueuedRecord r = run(randomRead(32));
    const uint64_t took = clock_.now() - begin;
    // 6 s of box and 2 s for the transfers in flight, one wait slice late at most.
    EXPECT_LE(took, 8100 * kMs);
    // One transfer ends inside the 5 s window (at 4 s), the next only in the drain.
    EXPECT_EQ(r.completions, 1u);
    EXPECT_EQ(r.bytesPerSecond, 4096u / 5);
}

TEST_F(QueuedBenchmarkTest, FailuresCancelsAndRefusalsEndTheTest) {
    device(2, kMs).failWhen = [](uint64_t index, const Transfer&) { return index == 1500; };
    run(randomRead(8), kStatusFailed);
    EXPECT_LT(device_->transferCount(), 1600u);

    QueuedBenchmark cancelled(randomRead(8));
    device(2, kMs).afterTransfer = [&cancelled](uint64_t index) {
        if (index >= 700) {
            cancelled.cancel();
        }
    };
    cancelled.start(device_.get());
    EXPECT_EQ(waitForStatus(cancelled), kStatusCancelled);
    EXPECT_LE(device_->transferCount(), 708u);  // what was in flight is drained

    device(1, kMs);  // not armed
    run(QueuedSetup{.write = true, .random = true, .blockSize = 4096}, kStatusNotWritable);
    EXPECT_EQ(device_->transferCount(), 0u);

    device_ = std::make_unique<MemoryDevice>(MemoryDevice::Options{.canQueue = false});
    run(randomRead(1), kStatusFailed);
    device(1, kMs);
    run(QueuedSetup{.blockSize = 1000}, kStatusBadSetup);
}

TEST_F(QueuedBenchmarkTest, RandomWritesReachTheMediumAndTheLogKeepsItsShare) {
    device(4, kMs);
    ASSERT_TRUE(armWrites(*device_));
    MemoryEventLog log(4096);
    device_->attachObserver(&log);
    log.limitRows(1000, 100 * kMs);
    const QueuedRecord r =
        run(QueuedSetup{.write = true, .random = true, .blockSize = 4096, .queueDepth = 32});
    log.limitRows(0, 0);
    EXPECT_EQ(r.write, 1u);
    EXPECT_NEAR(r.milliIops / 1000.0, 4000.0, 20.0);
    // 24,000 writes kept in 1,000 single rows and one row per 100 ms after them.
    EXPECT_LE(log.rowCount(), 1000u + 61u);
    uint64_t sectors = 0;
    for (uint32_t i = 0; i < log.rowCount(); ++i) {
        LoggedRow row;
        ASSERT_TRUE(log.rowAt(i, &row));
        EXPECT_TRUE(i < 1000 ? row.kind == kEventWrite : row.kind == kEventWriteBatch) << i;
        sectors += row.sectors;
    }
    EXPECT_EQ(sectors, device_->writeCount() * 8);
}

}  // namespace
}  // namespace vorn::test
