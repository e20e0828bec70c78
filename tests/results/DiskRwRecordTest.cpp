// The zoned benchmark's record in a result file: written by a finished run, read back
// row for row, and refused when it is not made of whole rows.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bench/DiskRwFixture.h"
#include "results/Collections.h"
#include "results/RunRecord.h"

namespace vorn::test {
namespace {

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
