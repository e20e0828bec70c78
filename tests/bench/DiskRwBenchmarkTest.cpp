#include "bench/DiskRwBenchmark.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "app/DiagLog.h"
#include "bench/BenchmarkWait.h"
#include "bench/EventLog.h"
#include "results/VornCollection.h"
#include "support/ManualCounter.h"
#include "support/MemoryDevice.h"
#include "support/TempDir.h"

namespace vorn {
namespace {

using test::ManualCounter;
using test::MemoryDevice;

constexpr uint32_t kBlock = 65536;

// Runs with a scripted clock and the diagnostic log in a temporary file.
class DiskRwBenchmarkTest : public ::testing::Test {
protected:
    void SetUp() override { openLog(logPath().c_str()); }
    void TearDown() override { closeLog(); }

    std::string logPath() const { return dir_.file("vorntest.log"); }
    std::string logText() {
        closeLog();
        return test::readText(logPath());
    }

    MemoryDevice& device(uint64_t sectors = 131072, uint32_t sectorSize = 512,
                         bool keepData = false) {
        MemoryDevice::Options options;
        options.sectors = sectors;
        options.sectorSize = sectorSize;
        options.keepData = keepData;
        device_ = std::make_unique<MemoryDevice>(options);
        device_->useClock(&clock_);
        device_->ticksFor = [](uint64_t, const test::Transfer&) { return 1000000; };
        return *device_;
    }

    test::TempDir dir_;
    ManualCounter clock_{1000000000};
    std::unique_ptr<MemoryDevice> device_;
};

// Four timed 64 KB blocks per zone, no warm-up, two zones.
std::unique_ptr<DiskRwBenchmark> fourBlockRead(uint32_t warmUp = 0) {
    return newDiskRwBenchmark(0, 1, kBlock, 2, warmUp, 4 * kBlock, 65536);
}

TEST_F(DiskRwBenchmarkTest, StatisticsFromScriptedBlockTimes) {
    MemoryDevice& dev = device();
    // Zone 0: rates 65.536, 32.768, 131.072, 65.536 MB/s; zone 1: all 131.072 MB/s.
    const uint64_t ticks[] = {1000000, 2000000, 500000, 1000000, 500000, 500000, 500000, 500000};
    dev.ticksFor = [&](uint64_t index, const test::Transfer&) { return ticks[index]; };
    auto bench = fourBlockRead();
    bench->start(&dev);
    ASSERT_EQ(test::waitForStatus(*bench), kStatusDone);
    ASSERT_EQ(bench->getResultCount(), 2u);

    struct Row {
        uint32_t kind, row;
        uint64_t expected;
    } rows[] = {
        {kValueMax, 0, 131072000},     {kValueMin, 0, 32768000},    {kValueMedian, 0, 65536000},
        {kValueZoneRate, 0, 58254222}, {kValueStdDev, 0, 35708100}, {kValueMax, 1, 131072000},
        {kValueMin, 1, 131072000},     {kValueStdDev, 1, 0},        {kValueZoneRate, 1, 131072000},
        {kValueZoneStart, 0, 0},
    };
    for (const Row& r : rows) {
        uint64_t value = 7;
        EXPECT_TRUE(bench->getValue(r.kind, r.row, &value)) << r.kind << "/" << r.row;
        EXPECT_EQ(value, r.expected) << r.kind << "/" << r.row;
    }
    uint64_t value = 7;
    EXPECT_FALSE(bench->getValue(kValueMax, 2, &value));
    EXPECT_EQ(value, 0u);
    EXPECT_FALSE(bench->getValue(6, 0, &value));
    EXPECT_EQ(bench->getProgress(), 100u);
}

TEST_F(DiskRwBenchmarkTest, EqualCounterReadingsSaturateInsteadOfDividingByZero) {
    MemoryDevice& dev = device();
    dev.ticksFor = [](uint64_t index, const test::Transfer&) { return index == 0 ? 0 : 1000000; };
    auto bench = fourBlockRead();
    bench->start(&dev);
    ASSERT_EQ(test::waitForStatus(*bench), kStatusDone);
    uint64_t max = 0;
    ASSERT_TRUE(bench->getValue(kValueMax, 0, &max));
    EXPECT_EQ(max, UINT32_MAX);
    // Two zones whose whole timed part took no time at all.
    dev.ticksFor = [](uint64_t, const test::Transfer&) { return 0; };
    auto instant = fourBlockRead();
    instant->start(&dev);
    ASSERT_EQ(test::waitForStatus(*instant), kStatusDone);
    uint64_t zoneRate = 0;
    ASSERT_TRUE(instant->getValue(kValueZoneRate, 1, &zoneRate));
    EXPECT_EQ(zoneRate, UINT32_MAX);
}

TEST_F(DiskRwBenchmarkTest, ReadRunVisitsZonesSequentiallyAfterWarmUp) {
    MemoryDevice& dev = device(1000000000 / 512);
    auto bench = fourBlockRead(2 * kBlock);
    bench->start(&dev);
    ASSERT_EQ(test::waitForStatus(*bench), kStatusDone);
    const auto& t = dev.transfers();
    ASSERT_EQ(t.size(), 12u);
    const uint64_t secondZone = 999555072 / 512;  // one span and a sector before the end
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(t[i].kind, kEventRead);
        EXPECT_EQ(t[i].count, kBlock / 512);
        EXPECT_EQ(t[i].sector, i * 128);
        EXPECT_EQ(t[6 + i].sector, secondZone + i * 128);
    }
}

TEST_F(DiskRwBenchmarkTest, QuickWriteRunFlushesAroundTimedBlocksAndSparesFirstSectors) {
    MemoryDevice& dev = device();
    ASSERT_TRUE(dev.enableWrite(1, 512, 0));
    auto bench = newDiskRwBenchmark(1, 1, kBlock, 2, kBlock, 2 * kBlock, 65536);
    bench->start(&dev);
    ASSERT_EQ(test::waitForStatus(*bench), kStatusDone);
    std::vector<uint8_t> kinds;
    for (const test::Transfer& t : dev.transfers()) {
        kinds.push_back(t.kind);
        if (t.kind == kEventWrite) {
            EXPECT_GE(t.sector, 128u);
        }
    }
    const std::vector<uint8_t> zone = {kEventWrite, kEventFlush, kEventWrite, kEventWrite,
                                       kEventFlush};
    std::vector<uint8_t> expected = zone;
    expected.insert(expected.end(), zone.begin(), zone.end());
    EXPECT_EQ(kinds, expected);
}

TEST_F(DiskRwBenchmarkTest, SetUpRefusalsEndAtOnceWithTheirStatusAndLogLine) {
    struct Case {
        const char* name;
        uint32_t write, blockSize, warmUp, timed;
        uint64_t sectors;
        uint32_t sectorSize;
        uint32_t status;
        const char* line;
    } cases[] = {
        {"no media", 0, kBlock, 0, kBlock, 0, 512, kStatusBadSetup,
         "** DiskRwBenchmark failed - no media in drive?"},
        {"block 1000", 0, 1000, 0, 4000, 131072, 512, kStatusBadSetup,
         "** DiskRwBenchmark failed - bad block/zone size"},
        {"block 256", 0, 256, 0, 1024, 131072, 512, kStatusBadSetup,
         "** DiskRwBenchmark failed - bad block/zone size"},
        {"block 0", 0, 0, 0, 0, 131072, 512, kStatusBadSetup,
         "** DiskRwBenchmark failed - bad block/zone size"},
        {"timed not whole blocks", 0, kBlock, 0, kBlock + 512, 131072, 512, kStatusBadSetup,
         "** DiskRwBenchmark failed - bad block/zone size"},
        {"warm-up not whole blocks", 0, kBlock, 512, kBlock, 131072, 512, kStatusBadSetup,
         "** DiskRwBenchmark failed - bad block/zone size"},
        {"timed 0", 0, kBlock, 0, 0, 131072, 512, kStatusBadSetup,
         "** DiskRwBenchmark failed - bad block/zone size"},
        {"block below sector", 0, 2048, 0, 8192, 131072, 4096, kStatusBadSetup,
         "** DiskRwBenchmark failed - bad block/zone size"},
        {"medium below one span", 0, kBlock, 0, 4 * kBlock, 512, 512, kStatusBadSetup,
         "** DiskRwBenchmark failed - medium too small for a zone"},
        {"write not armed", 1, kBlock, 0, kBlock, 131072, 512, kStatusNotWritable,
         "** DiskRwBenchmark failed - write not enabled/valid on device Test MemoryDevice 1.0"},
    };
    for (const Case& c : cases) {
        openLog(logPath().c_str());
        MemoryDevice& dev = device(c.sectors, c.sectorSize);
        auto bench = newDiskRwBenchmark(c.write, 1, c.blockSize, 2, c.warmUp, c.timed, 0);
        bench->start(&dev);
        EXPECT_EQ(bench->getStatus(), c.status) << c.name;
        EXPECT_EQ(bench->getResultCount(), 0u) << c.name;
        EXPECT_EQ(dev.transferCount(), 0u) << c.name;
        EXPECT_NE(logText().find(std::string(c.line) + "\n"), std::string::npos) << c.name;
    }
}

TEST_F(DiskRwBenchmarkTest, NewObjectReportsFailureUntilStartedAndCannotBeReused) {
    MemoryDevice& dev = device();
    auto bench = fourBlockRead();
    EXPECT_EQ(bench->getResultCount(), 0u);
    bench->start(&dev);
    ASSERT_EQ(test::waitForStatus(*bench), kStatusDone);
    const uint64_t transfers = dev.transferCount();
    bench->start(&dev);
    EXPECT_EQ(bench->getStatus(), kStatusDone);
    EXPECT_EQ(dev.transferCount(), transfers);
    EXPECT_NE(logText().find("** Attempt to reuse DiskRwBenchmark\n"), std::string::npos);
}

TEST_F(DiskRwBenchmarkTest, CancelInSecondZoneKeepsFirstZone) {
    MemoryDevice& dev = device();
    auto bench = fourBlockRead();
    dev.afterTransfer = [&](uint64_t index) {
        if (index == 5) {
            bench->cancel();
        }
    };
    bench->start(&dev);
    EXPECT_EQ(test::waitForStatus(*bench), kStatusCancelled);
    EXPECT_EQ(bench->getResultCount(), 1u);
    EXPECT_EQ(dev.transferCount(), 6u);  // stops within one transfer
    EXPECT_EQ(bench->getProgress(), 50u);
}

TEST_F(DiskRwBenchmarkTest, FailedTransferEndsRunWithFailure) {
    for (uint64_t failing : {0u, 2u, 6u}) {
        MemoryDevice& dev = device();
        dev.failWhen = [failing](uint64_t index, const test::Transfer&) {
            return index == failing;
        };
        auto bench = fourBlockRead(kBlock);  // one warm-up block per zone
        bench->start(&dev);
        EXPECT_EQ(test::waitForStatus(*bench), kStatusFailed) << failing;
        EXPECT_EQ(bench->getResultCount(), failing < 5 ? 0u : 1u) << failing;
        EXPECT_EQ(dev.transferCount(), failing + 1) << failing;
    }
}

TEST_F(DiskRwBenchmarkTest, ExceptionInWorkerIsLoggedAndFails) {
    MemoryDevice& dev = device();
    dev.ticksFor = [](uint64_t, const test::Transfer&) -> uint64_t {
        throw std::runtime_error("device gone");
    };
    auto bench = fourBlockRead();
    bench->start(&dev);
    EXPECT_EQ(test::waitForStatus(*bench), kStatusFailed);
    EXPECT_NE(logText().find("EXCEPTION: DiskRwThreadHeadler std::runtime_error device gone\n"),
              std::string::npos);
}

TEST_F(DiskRwBenchmarkTest, SingleZoneProgressCountsWarmUpBlocks) {
    MemoryDevice& dev = device();
    auto bench = newDiskRwBenchmark(0, 1, kBlock, 1, 2 * kBlock, 2 * kBlock, 0);
    bench->start(&dev);
    ASSERT_EQ(test::waitForStatus(*bench), kStatusDone);
    EXPECT_EQ(bench->getProgress(), 200u);
}

TEST_F(DiskRwBenchmarkTest, LogsParametersAndZones) {
    MemoryDevice& dev = device(1000000000 / 512);
    auto bench = fourBlockRead();
    bench->start(&dev);
    ASSERT_EQ(test::waitForStatus(*bench), kStatusDone);
    EXPECT_EQ(logText(),
              "DiskRwBenchmark: doQuickZoneSetup reserved 0 bytes 1000000000\n"
              "DiskRwBenchmark parameters (Test MemoryDevice 1.0)\n"
              "  write 0 quick 1 maxZones 2 blockSize 65536 zTop 2\n"
              "    Zone 0: start 0\n"
              "    Zone 1: start 999686144\n");
}

TEST_F(DiskRwBenchmarkTest, ReachesSectorsBeyondThirtyTwoBits) {
    MemoryDevice& dev = device(1ull << 33);
    auto bench = fourBlockRead();
    bench->start(&dev);
    ASSERT_EQ(test::waitForStatus(*bench), kStatusDone);
    EXPECT_GT(dev.transfers().back().sector, 1ull << 32);
}

}  // namespace
}  // namespace vorn

namespace vorn {
namespace {

TEST_F(DiskRwBenchmarkTest, SaveThenLoadGivesTheSameRows) {
    MemoryDevice& dev = device();
    const uint64_t ticks[] = {1000000, 2000000, 500000, 1000000, 700000, 500000, 900000, 500000};
    dev.ticksFor = [&](uint64_t index, const test::Transfer&) { return ticks[index]; };
    auto bench = fourBlockRead();
    bench->start(&dev);
    ASSERT_EQ(test::waitForStatus(*bench), kStatusDone);
    const std::string path = dir_.file("temp.qkt");
    {
        auto file = createCollection(path.c_str());
        ASSERT_NE(file, nullptr);
        ASSERT_TRUE(bench->saveResults(file.get(), "QKCR64"));
        ASSERT_TRUE(bench->saveResults(file.get(), nullptr));
    }
    auto file = openCollection(path.c_str());
    ASSERT_NE(file, nullptr);
    char value[64] = {};
    uint32_t valueLength = sizeof value;
    uint32_t dataLength = 0;
    ASSERT_TRUE(file->findEntry("RWBENCH,0,1,2,65536,0,8388608", &valueLength, value, &dataLength,
                                nullptr));
    EXPECT_STREQ(value, "0,1,2,65536,0,8388608,2");
    EXPECT_EQ(dataLength, 64u);

    auto loaded = newDiskRwBenchmark(0, 0, 0, 0, 0, 0, 0);
    ASSERT_TRUE(loaded->loadResults(file.get(), "QKCR64"));
    ASSERT_EQ(loaded->getResultCount(), 2u);
    for (uint32_t row = 0; row < 2; ++row) {
        for (uint32_t kind = kValueZoneStart; kind <= kValueStdDev; ++kind) {
            uint64_t original = 0;
            uint64_t restored = 1;
            ASSERT_TRUE(bench->getValue(kind, row, &original));
            ASSERT_TRUE(loaded->getValue(kind, row, &restored));
            EXPECT_EQ(restored, original) << kind << "/" << row;
        }
    }
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
    auto bench = newDiskRwBenchmark(0, 0, 0, 0, 0, 0, 0);
    ASSERT_TRUE(bench->loadResults(file.get(), "THREE"));
    EXPECT_EQ(bench->getResultCount(), 3u);
    uint64_t start = 0;
    ASSERT_TRUE(bench->getValue(kValueZoneStart, 1, &start));
    EXPECT_EQ(start, 64u);
    // A failed load leaves no rows from the earlier one.
    EXPECT_FALSE(bench->loadResults(file.get(), "ODD"));
    EXPECT_EQ(bench->getResultCount(), 0u);
    EXPECT_FALSE(bench->loadResults(file.get(), "MISSING"));
}

}  // namespace
}  // namespace vorn
