#include "bench/DiskRwBenchmark.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "base/DiagLog.h"
#include "bench/DiskRwFixture.h"
#include "storage/EventLog.h"

namespace vorn::test {
namespace {

// Two equal counter readings, for one block (zone 0) and for a whole zone (zone 1).
TEST_F(DiskRwBenchmarkTest, EqualCounterReadingsSaturateInsteadOfDividingByZero) {
    device().ticksFor = [](uint64_t index, const Transfer&) {
        return index == 0 || index > 3 ? 0 : 1000000;
    };
    auto bench = fourBlockRead();
    ASSERT_EQ(run(*bench), kStatusDone);
    EXPECT_EQ(valueOf(*bench, kValueMax, 0), UINT32_MAX);
    EXPECT_EQ(valueOf(*bench, kValueZoneRate, 1), UINT32_MAX);
}

TEST_F(DiskRwBenchmarkTest, ReadRunVisitsZonesSequentiallyAfterWarmUpAndLogsThem) {
    device(1000000000 / 512);
    auto bench = fourBlockRead(2 * kBlock);
    ASSERT_EQ(run(*bench), kStatusDone);
    const auto& t = device_->transfers();
    ASSERT_EQ(t.size(), 12u);
    const uint64_t secondZone = 999555072;  // one span and a sector before the end, aligned
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(t[i].kind, kEventRead);
        EXPECT_EQ(t[i].count, kBlock / 512);
        EXPECT_EQ(t[i].sector, i * 128);
        EXPECT_EQ(t[6 + i].sector, secondZone / 512 + i * 128);
    }
    EXPECT_EQ(logText(),
              "DiskRwBenchmark: doQuickZoneSetup reserved 0 bytes 1000000000\n"
              "DiskRwBenchmark parameters (Test MemoryDevice 1.0)\n"
              "  write 0 quick 1 maxZones 2 blockSize 65536 zTop 2\n"
              "    Zone 0: start 0\n"
              "    Zone 1: start 999555072\n");
}

TEST_F(DiskRwBenchmarkTest, QuickWriteRunFlushesAroundTimedBlocksAndSparesFirstSectors) {
    ASSERT_TRUE(device().enableWrite(1, 512, 0));
    auto bench = newDiskRwBenchmark(1, 1, kBlock, 2, kBlock, 2 * kBlock, 65536);
    ASSERT_EQ(run(*bench), kStatusDone);
    std::vector<uint8_t> kinds;
    for (const Transfer& t : device_->transfers()) {
        kinds.push_back(t.kind);
        if (t.kind == kEventWrite) {
            EXPECT_GE(t.sector, 128u);
        }
    }
    const uint8_t w = kEventWrite, f = kEventFlush;
    EXPECT_EQ(kinds, (std::vector<uint8_t>{w, f, w, w, f, w, f, w, w, f}));
    // A flush that fails, before or after the timed blocks, leaves nothing measured.
    for (uint64_t failing : {1u, 4u}) {
        SCOPED_TRACE(failing);
        MemoryDevice& dev = device();
        ASSERT_TRUE(dev.enableWrite(1, 512, 0));
        dev.failWhen = [failing](uint64_t index, const Transfer& t) {
            return index == failing && t.kind == kEventFlush;
        };
        auto failed = newDiskRwBenchmark(1, 1, kBlock, 2, kBlock, 2 * kBlock, 65536);
        EXPECT_EQ(run(*failed), kStatusFailed);
        EXPECT_EQ(failed->getResultCount(), 0u);
        EXPECT_EQ(dev.transferCount(), failing + 1);
    }
}

TEST_F(DiskRwBenchmarkTest, SetUpRefusalsEndAtOnceWithTheirStatusAndLogLine) {
    const char* const kBadSize = "bad block/zone size";
    const struct {
        const char* name;
        uint32_t write, blockSize, warmUp, timed;
        uint64_t sectors;
        uint32_t sectorSize, status;
        const char* line;  // after "** DiskRwBenchmark failed - "
    } cases[] = {
        {"no media", 0, kBlock, 0, kBlock, 0, 512, kStatusBadSetup, "no media in drive?"},
        {"block 1000", 0, 1000, 0, 4000, 131072, 512, kStatusBadSetup, kBadSize},
        {"block 256", 0, 256, 0, 1024, 131072, 512, kStatusBadSetup, kBadSize},
        {"block 0", 0, 0, 0, 0, 131072, 512, kStatusBadSetup, kBadSize},
        {"timed part", 0, kBlock, 0, kBlock + 512, 131072, 512, kStatusBadSetup, kBadSize},
        {"warm-up part", 0, kBlock, 512, kBlock, 131072, 512, kStatusBadSetup, kBadSize},
        {"timed 0", 0, kBlock, 0, 0, 131072, 512, kStatusBadSetup, kBadSize},
        {"block below sector", 0, 2048, 0, 8192, 131072, 4096, kStatusBadSetup, kBadSize},
        {"small medium", 0, kBlock, 0, 4 * kBlock, 512, 512, kStatusBadSetup,
         "medium too small for a zone"},
        {"write not armed", 1, kBlock, 0, kBlock, 131072, 512, kStatusNotWritable,
         "write not enabled/valid on device Test MemoryDevice 1.0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        openLog(logPath().c_str());
        MemoryDevice& dev = device(c.sectors, c.sectorSize);
        auto bench = newDiskRwBenchmark(c.write, 1, c.blockSize, 2, c.warmUp, c.timed, 0);
        // Asked before a run, the same geometry gives the same refusal.
        using Fit = DiskRwBenchmark::Fit;
        const std::string text = c.line;
        const Fit fit = c.status == kStatusNotWritable ? Fit::Fits
                        : text == "no media in drive?" ? Fit::NoMedium
                        : text == kBadSize             ? Fit::BadBlockSize
                                                       : Fit::MediumTooSmall;
        EXPECT_EQ(bench->fitsMedium(c.sectorSize, c.sectors), fit);
        bench->start(&dev);
        EXPECT_EQ(bench->getStatus(), c.status);
        EXPECT_EQ(bench->getResultCount(), 0u);
        EXPECT_EQ(dev.transferCount(), 0u);
        const std::string line = "** DiskRwBenchmark failed - " + std::string(c.line) + "\n";
        EXPECT_NE(logText().find(line), std::string::npos);
    }
}

TEST_F(DiskRwBenchmarkTest, NewObjectHasNoResultsAndCannotBeReused) {
    device();
    auto bench = fourBlockRead();
    EXPECT_EQ(bench->getResultCount(), 0u);
    ASSERT_EQ(run(*bench), kStatusDone);
    bench->start(&device());  // a fresh device sees no transfer
    EXPECT_EQ(bench->getStatus(), kStatusDone);
    EXPECT_EQ(device_->transferCount(), 0u);
    EXPECT_NE(logText().find("** Attempt to reuse DiskRwBenchmark\n"), std::string::npos);
}

TEST_F(DiskRwBenchmarkTest, CancelInSecondZoneKeepsFirstZone) {
    auto bench = fourBlockRead();
    device().afterTransfer = [&](uint64_t index) {
        if (index == 5) {
            bench->cancel();
        }
    };
    EXPECT_EQ(run(*bench), kStatusCancelled);
    EXPECT_EQ(bench->getResultCount(), 1u);
    EXPECT_EQ(device_->transferCount(), 6u);  // stops within one transfer
    EXPECT_EQ(bench->getProgress(), 50u);
}

// A failed transfer in the first zone's warm-up or timed part, or in the second zone
// (the first is kept), and an exception in the worker, which is logged.
TEST_F(DiskRwBenchmarkTest, FailedTransferOrExceptionEndsRunWithFailure) {
    constexpr uint64_t kThrows = 100;
    for (uint64_t failing : {0u, 2u, 6u, 100u}) {
        SCOPED_TRACE(failing);
        openLog(logPath().c_str());
        device().failWhen = [failing](uint64_t index, const Transfer&) {
            if (failing == kThrows) {
                throw std::runtime_error("device gone");
            }
            return index == failing;
        };
        auto bench = fourBlockRead(kBlock);  // one warm-up block per zone
        EXPECT_EQ(run(*bench), kStatusFailed);
        EXPECT_EQ(bench->getResultCount(), failing == 6 ? 1u : 0u);
        EXPECT_EQ(device_->transferCount(), failing == kThrows ? 0 : failing + 1);
        const bool logged =
            logText().find("EXCEPTION: DiskRwThreadHeadler std::runtime_error device gone\n") !=
            std::string::npos;
        EXPECT_EQ(logged, failing == kThrows);
    }
}

TEST_F(DiskRwBenchmarkTest, SingleZoneProgressCountsWarmUpBlocks) {
    device();
    auto bench = newDiskRwBenchmark(0, 1, kBlock, 1, 2 * kBlock, 2 * kBlock, 0);
    ASSERT_EQ(run(*bench), kStatusDone);
    EXPECT_EQ(bench->getProgress(), 200u);
}

TEST_F(DiskRwBenchmarkTest, ReachesSectorsBeyondThirtyTwoBits) {
    device(1ull << 33);
    auto bench = fourBlockRead();
    ASSERT_EQ(run(*bench), kStatusDone);
    EXPECT_GT(device_->transfers().back().sector, 1ull << 32);
}

}  // namespace
}  // namespace vorn::test
