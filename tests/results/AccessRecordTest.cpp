// The access benchmark's record in a result file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bench/RAccessBenchmark.h"
#include "bench/ScriptedDevice.h"
#include "results/Collections.h"
#include "results/ResultBytes.h"
#include "results/RunRecord.h"
#include "support/TempDir.h"

namespace vorn::test {
namespace {

// One finished run saved under "QKCRACCESS" and under its default name: 32 bytes
// little-endian, loaded back whole; entries of other lengths are refused and leave
// what was loaded before.
TEST(RAccessBenchmark, SavesAndLoadsTheRecord) {
    TempDir dir;
    const std::string path = dir.file("temp.qkt");
    ScriptedDevice s({7160, 3580, 1790, 3580, 10740}, 3579545);
    auto benchmark = newRAccessBenchmark(5, 0, 0);
    ASSERT_EQ(s.run(*benchmark), kStatusDone);
    {
        auto writer = createCollection(path.c_str());
        ASSERT_NE(writer, nullptr);
        AccessRecord record;
        ASSERT_TRUE(benchmark->record(&record));
        ASSERT_TRUE(addAccessTest(*writer, "QKCRACCESS", record));
        ASSERT_TRUE(addAccessTest(*writer, defaultAccessKey(record).c_str(), record));
        const std::vector<uint8_t> bytes(36, 1);
        ASSERT_TRUE(writer->addEntry("SHORT", "5", 28, bytes.data()));
        ASSERT_TRUE(writer->addEntry("LONG", "5", 36, bytes.data()));
    }
    auto reader = openCollection(path.c_str());
    ASSERT_NE(reader, nullptr);
    // Frequency (64 bits), max, min, median, mean, deviation, reserved.
    const std::string expected = le32(3579545) + le32(0) + le32(10740) + le32(1790) + le32(3580) +
                                 le32(5370) + le32(3202) + le32(0);
    for (const char* name : {"QKCRACCESS", "RACCESS,5"}) {
        char value[16] = {};
        std::string data(40, '\0');
        uint32_t valueLength = sizeof value - 1;
        uint32_t dataLength = 40;
        ASSERT_TRUE(reader->findEntry(name, &valueLength, value, &dataLength, data.data()));
        EXPECT_STREQ(value, "5") << name;
        data.resize(dataLength);
        EXPECT_EQ(data, expected) << name;
    }

    auto asText = [](const AccessResult& r) {
        return std::to_string(r.frequency) + "," + std::to_string(r.maxTicks) + "," +
               std::to_string(r.minTicks) + "," + std::to_string(r.medianTicks) + "," +
               std::to_string(r.meanTicks) + "," + std::to_string(r.stdDevTicks);
    };
    AccessResult loaded{};
    ASSERT_TRUE(readAccess(*reader, "QKCRACCESS", &loaded));
    EXPECT_EQ(asText(loaded), "3579545,10740,1790,3580,5370,3202");
    for (const char* key : {"SHORT", "LONG", "MISSING"}) {
        EXPECT_FALSE(readAccess(*reader, key, &loaded)) << key;
        EXPECT_EQ(asText(loaded), "3579545,10740,1790,3580,5370,3202") << key;
    }
}

}  // namespace
}  // namespace vorn::test
