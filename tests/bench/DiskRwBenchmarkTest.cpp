#include "bench/DiskRwBenchmark.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "base/DiagLog.h"
#include "bench/BenchmarkWait.h"
#include "results/Collections.h"
#include "results/RunRecord.h"
#include "storage/EventLog.h"
#include "support/ManualCounter.h"
#include "support/MemoryDevice.h"
#include "support/TempDir.h"

namespace vorn::test {
namespace {

constexpr uint32_t kBlock = 65536;

// Runs with a scripted clock (a millisecond per block unless a test scripts
// otherwise) and the diagnostic log in a temporary file.
class DiskRwBenchmarkTest : public ::testing::Test {
protected:
    void SetUp() override { openLog(logPath().c_str()); }
    void TearDown() override { closeLog(); }

    std::string logPath() const { return dir_.file("vorntest.log"); }
    std::string logText() {
        closeLog();
        return readText(logPath());
    }
    MemoryDevice& device(uint64_t sectors = 131072, uint32_t sectorSize = 512) {
        device_ = std::make_unique<MemoryDevice>(
            MemoryDevice::Options{.sectors = sectors, .sectorSize = sectorSize, .keepData = false});
        device_->useClock(&clock_);
        device_->ticksFor = [](uint64_t, const Transfer&) { return 1000000; };
        return *device_;
    }
    uint32_t run(I_Benchmark& bench) {
        bench.start(device_.get());
        return waitForStatus(bench);
    }

    TempDir dir_;
    ManualCounter clock_{1000000000};
    std::unique_ptr<MemoryDevice> device_;
};

// Four timed 64 KB blocks per zone, two zones.
std::unique_ptr<DiskRwBenchmark> fourBlockRead(uint32_t warmUp = 0) {
    return newDiskRwBenchmark(0, 1, kBlock, 2, warmUp, 4 * kBlock, 65536);
}

uint64_t valueOf(I_Benchmark& bench, uint32_t kind, uint32_t row) {
    uint64_t value = 7;
    EXPECT_TRUE(bench.getValue(kind, row, &value)) << kind << "/" << row;
    return value;
}

// Statistics on known block times, then saved (under a key and under the default
// name) and loaded back row for row.
TEST_F(DiskRwBenchmarkTest, StatisticsFromScriptedBlockTimesSurviveSaveAndLoad) {
    // Zone 0: rates 65.536, 32.768, 131.072, 65.536 MB/s; zone 1: all 131.072 MB/s.
    const uint64_t ticks[] = {1000000, 2000000, 500000, 1000000, 500000, 500000, 500000, 500000};
    device().ticksFor = [&](uint64_t index, const Transfer&) { return ticks[index]; };
    auto bench = fourBlockRead();
    ASSERT_EQ(run(*bench), kStatusDone);
    ASSERT_EQ(bench->getResultCount(), 2u);
    EXPECT_EQ(bench->getProgress(), 100u);
    const struct {
        uint32_t kind, row;
        uint64_t expected;
    } rows[] = {
        {kValueMax, 0, 131072000},     {kValueMin, 0, 32768000},    {kValueMedian, 0, 65536000},
        {kValueZoneRate, 0, 58254222}, {kValueStdDev, 0, 35708100}, {kValueMax, 1, 131072000},
        {kValueMin, 1, 131072000},     {kValueStdDev, 1, 0},        {kValueZoneRate, 1, 131072000},
        {kValueZoneStart, 0, 0},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(valueOf(*bench, r.kind, r.row), r.expected) << r.kind << "/" << r.row;
    }
    uint64_t value = 7;
    EXPECT_FALSE(bench->getValue(kValueMax, 2, &value));
    EXPECT_EQ(value, 0u);
    EXPECT_FALSE(bench->getValue(6, 0, &value));

    const std::string path = dir_.file("temp.qkt");
    {
        auto file = createCollection(path.c_str());
        ASSERT_NE(file, nullptr);
        DiskRwRecord record;
        ASSERT_TRUE(bench->record(&record));
        EXPECT_EQ(record.blockSize, 65536u);
        ASSERT_TRUE(addRwTest(*file, "QKCR64", record));
        ASSERT_TRUE(addRwTest(*file, defaultRwKey(record).c_str(), record));
    }
    auto file = openCollection(path.c_str());
    ASSERT_NE(file, nullptr);
    char text[64] = {};
    uint32_t textLength = sizeof text;
    uint32_t dataLength = 0;
    ASSERT_TRUE(
        file->findEntry("RWBENCH,0,1,2,65536,0,8388608", &textLength, text, &dataLength, nullptr));
    EXPECT_STREQ(text, "0,1,2,65536,0,8388608,2");
    EXPECT_EQ(dataLength, 64u);
    std::vector<ZoneResult> zones;
    ASSERT_TRUE(readZones(*file, "QKCR64", &zones));
    ASSERT_EQ(zones.size(), 2u);
    for (uint32_t row = 0; row < 2; ++row) {
        const ZoneResult& z = zones[row];
        // In ValueKind order: start, max, min, zone rate, median, deviation.
        const uint64_t stored[] = {z.start,    z.maxRate,    z.minRate,
                                   z.zoneRate, z.medianRate, z.stdDev};
        for (uint32_t kind = kValueZoneStart; kind <= kValueStdDev; ++kind) {
            EXPECT_EQ(stored[kind], valueOf(*bench, kind, row)) << kind << "/" << row;
        }
    }
}

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

TEST_F(DiskRwBenchmarkTest, LoadAcceptsOnlyWholeRecords) {
    const std::string path = dir_.file("rows.qkt");
    {
        auto file = createCollection(path.c_str());
        ASSERT_NE(file, nullptr);
        std::vector<uint8_t> data(100, 0);
        data[32] = 0x40;  // start of the second row: 64
        ASSERT_TRUE(file->addEntry("THREE", "x", 96, data.data()));
        ASSERT_TRUE(file->addEntry("ODD", "x", 100, data.data()));
    }
    auto file = openCollection(path.c_str());
    ASSERT_NE(file, nullptr);
    std::vector<ZoneResult> zones;
    ASSERT_TRUE(readZones(*file, "THREE", &zones));
    ASSERT_EQ(zones.size(), 3u);
    EXPECT_EQ(zones[1].start, 64u);
    EXPECT_FALSE(readZones(*file, "ODD", &zones));
    EXPECT_FALSE(readZones(*file, "MISSING", &zones));
    EXPECT_EQ(zones.size(), 3u);
}

}  // namespace
}  // namespace vorn::test
