// The stored entries of the extended tests: written, read back and refused.

#include "results/ExtendedEntries.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "results/Collections.h"
#include "support/TempDir.h"

namespace vorn::test {
namespace {

std::array<uint64_t, 16> fieldsOf(const QueuedRecord& r) {
    return {r.write,        r.random,         r.blockSize,    r.queueDepth,
            r.regionStart,  r.regionBytes,    r.completions,  r.bytes,
            r.measuredNs,   r.bytesPerSecond, r.milliIops,    r.latencyMedianNs,
            r.latencyP99Ns, r.latencyP999Ns,  r.latencyMaxNs, r.sampledLatencies};
}

// A record as the test of `row` measures it; `seed` makes each one different.
QueuedRecord recordFor(const RunStep& row, uint64_t seed) {
    QueuedRecord r;
    r.write = row.kind == StepKind::ExtendedWrite ? 1 : 0;
    r.random = row.random ? 1 : 0;
    r.blockSize = row.blockSize;
    r.queueDepth = row.queueDepth;
    r.regionStart = 0;
    r.regionBytes = kExtendedRegion;
    r.completions = 1000 + seed;
    r.bytes = r.completions * row.blockSize;
    r.measuredNs = 5'000'000'000 + seed;
    r.bytesPerSecond = r.bytes * 1'000'000'000 / r.measuredNs;
    r.milliIops = r.completions * 1'000'000'000'000 / r.measuredNs;
    if (row.queueDepth == 1) {
        r.latencyMedianNs = 700'000 + seed;
        r.latencyP99Ns = 1'900'000 + seed;
        r.latencyP999Ns = 4'000'000 + seed;
        r.latencyMaxNs = 9'000'000 + seed;
        r.sampledLatencies = static_cast<uint32_t>(r.completions);
    }
    return r;
}

class ExtendedEntriesTest : public ::testing::Test {
protected:
    // Writes the entries a test adds to a new file and opens it for reading.
    template <typename Add>
    std::unique_ptr<I_VornCollection> stored(Add add) {
        const std::string path = folder_.file("r" + std::to_string(files_++) + ".qkc");
        {
            auto file = createCollection(path.c_str());
            EXPECT_NE(file, nullptr);
            if (!file) {
                return nullptr;
            }
            EXPECT_TRUE(file->addEntry("DRIVEID", "USB Flash Disk 1.00", 0, nullptr));
            add(*file);
        }
        auto read = openCollection(path.c_str());
        EXPECT_NE(read, nullptr);
        return read;
    }

    std::optional<QueuedRecord> readBack(const char* value) {
        auto file = stored([value](I_VornCollection& f) {
            EXPECT_TRUE(f.addEntry("QKXR4KQ1", value, 0, nullptr));
        });
        return file ? readQueuedTest(*file, "QKXR4KQ1") : std::nullopt;
    }

    TempDir folder_;
    int files_ = 0;
};

TEST_F(ExtendedEntriesTest, EveryTestOfTheTableReadsBackAsWritten) {
    auto file = stored([](I_VornCollection& f) {
        uint64_t seed = 1;
        for (const auto* rows : {&extendedReads, &extendedWrites}) {
            for (const RunStep& row : *rows) {
                EXPECT_TRUE(addQueuedTest(f, row.resultKey, recordFor(row, seed++)));
            }
        }
    });
    ASSERT_NE(file, nullptr);
    const ExtendedFigures figures = readExtendedFigures(*file);
    EXPECT_TRUE(figures.any());
    uint64_t seed = 1;
    for (int i = 0; i < kExtendedPerKind; ++i) {
        ASSERT_TRUE(figures.reads[i].has_value()) << extendedReads[i].resultKey;
        EXPECT_EQ(fieldsOf(*figures.reads[i]), fieldsOf(recordFor(extendedReads[i], seed++)));
    }
    for (int i = 0; i < kExtendedPerKind; ++i) {
        ASSERT_TRUE(figures.writes[i].has_value()) << extendedWrites[i].resultKey;
        EXPECT_EQ(fieldsOf(*figures.writes[i]), fieldsOf(recordFor(extendedWrites[i], seed++)));
    }
    EXPECT_FALSE(figures.sustained.has_value());
}

// Every field keeps all of its bits, and the value text is plain decimal.
// The sustained write is read with the tests, and alone it counts as a figure too.
TEST_F(ExtendedEntriesTest, TheSustainedWriteIsReadWithTheTests) {
    const WriteCurve curve{64'000'000'000, 0, 0, 22'000'000, 9'800'000, 4096};
    auto file = stored([&curve](I_VornCollection& f) { EXPECT_TRUE(addWriteCurve(f, curve)); });
    ASSERT_NE(file, nullptr);
    const ExtendedFigures figures = readExtendedFigures(*file);
    EXPECT_TRUE(figures.any());
    ASSERT_TRUE(figures.sustained.has_value());
    EXPECT_EQ(figures.sustained->writtenBytes, curve.writtenBytes);
    EXPECT_EQ(figures.sustained->sustainedRate, curve.sustainedRate);
    EXPECT_EQ(figures.sustained->slowestOffset, curve.slowestOffset);
    for (int i = 0; i < kExtendedPerKind; ++i) {
        EXPECT_FALSE(figures.reads[i] || figures.writes[i]) << i;
    }
}

TEST_F(ExtendedEntriesTest, LargestFieldsAndTheStoredText) {
    QueuedRecord big = recordFor(extendedReads[3], 0);
    big.regionStart = UINT64_MAX;
    big.bytes = UINT64_MAX - 1;
    big.latencyMaxNs = UINT64_MAX;
    big.sampledLatencies = UINT32_MAX;
    auto file = stored([&big](I_VornCollection& f) {
        EXPECT_TRUE(addQueuedTest(f, "QKXR4KQ32", big));
        QueuedRecord small{};
        small.blockSize = 4096;
        small.queueDepth = 1;
        small.random = 1;
        EXPECT_TRUE(addQueuedTest(f, "QKXR4KQ1", small));
    });
    ASSERT_NE(file, nullptr);
    const std::optional<QueuedRecord> back = readQueuedTest(*file, "QKXR4KQ32");
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(fieldsOf(*back), fieldsOf(big));
    char value[128] = {};
    uint32_t valueCapacity = sizeof value - 1;
    uint32_t dataCapacity = 0;
    ASSERT_TRUE(file->findEntry("QKXR4KQ1", &valueCapacity, value, &dataCapacity, nullptr));
    EXPECT_STREQ(value, "0,1,4096,1,0,0,0,0,0,0,0,0,0,0,0,0");
    EXPECT_EQ(dataCapacity, 0u);
}

TEST_F(ExtendedEntriesTest, MalformedValuesAreRefused) {
    const std::string good = "0,1,4096,1,0,1073741824,10,40960,5000000000,8192,2000,7,8,9,10,10";
    ASSERT_TRUE(readBack(good.c_str()).has_value());
    const struct {
        const char* why;
        std::string value;
    } cases[] = {
        {"empty", ""},
        {"fifteen numbers", "0,1,4096,1,0,1073741824,10,40960,5000000000,8192,2000,7,8,9,10"},
        {"seventeen numbers", good + ",1"},
        {"a trailing comma", good + ","},
        {"an empty field", "0,1,4096,1,,1073741824,10,40960,5000000000,8192,2000,7,8,9,10,10"},
        {"a sign", "0,1,4096,1,-1,1073741824,10,40960,5000000000,8192,2000,7,8,9,10,10"},
        {"a plus", "0,1,4096,+1,0,1073741824,10,40960,5000000000,8192,2000,7,8,9,10,10"},
        {"a blank", "0,1,4096,1, 0,1073741824,10,40960,5000000000,8192,2000,7,8,9,10,10"},
        {"a letter", "0,1,4096,1,0,1073741824,10,40960,5000000000,8192,2000,7,8,9,10,1x"},
        {"past 64 bits",
         "0,1,4096,1,18446744073709551616,1073741824,10,40960,5000000000,8192,2000,7,8,9,10,10"},
        {"block 0", "0,1,0,1,0,1073741824,10,40960,5000000000,8192,2000,7,8,9,10,10"},
        {"depth 0", "0,1,4096,0,0,1073741824,10,40960,5000000000,8192,2000,7,8,9,10,10"},
        {"write flag 2", "2,1,4096,1,0,1073741824,10,40960,5000000000,8192,2000,7,8,9,10,10"},
        {"random flag 2", "0,2,4096,1,0,1073741824,10,40960,5000000000,8192,2000,7,8,9,10,10"},
        {"block past 32 bits",
         "0,1,4294967296,1,0,1073741824,10,40960,5000000000,8192,2000,7,8,9,10,10"},
        {"samples past 32 bits",
         "0,1,4096,1,0,1073741824,10,40960,5000000000,8192,2000,7,8,9,10,4294967296"},
        {"median above p99", "0,1,4096,1,0,1073741824,10,40960,5000000000,8192,2000,9,8,9,10,10"},
        {"p99.9 above max", "0,1,4096,1,0,1073741824,10,40960,5000000000,8192,2000,7,8,11,10,10"},
        // Sound numbers, but more text than any record needs: cut to the room a record
        // has, the last field would read as 0.
        {"overlong", good.substr(0, good.rfind(',') + 1) + std::string(400, '0') + "7"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_FALSE(readBack(c.value.c_str()).has_value()) << c.value;
    }
}

TEST_F(ExtendedEntriesTest, AbsentOrMisplacedTestsStayEmpty) {
    auto plain = stored([](I_VornCollection& f) {
        EXPECT_TRUE(f.addEntry("QKCR2", "0,1,64,65536,2097152,8388608,1", 0, nullptr));
    });
    ASSERT_NE(plain, nullptr);
    EXPECT_FALSE(readQueuedTest(*plain, "QKXR1MQ1").has_value());
    EXPECT_FALSE(readExtendedFigures(*plain).any());

    // A record under another test's key is not shown as that test.
    auto misplaced = stored([](I_VornCollection& f) {
        EXPECT_TRUE(addQueuedTest(f, "QKXR1MQ1", recordFor(extendedWrites[0], 0)));
        EXPECT_TRUE(addQueuedTest(f, "QKXR1MQ8", recordFor(extendedReads[0], 0)));
        EXPECT_TRUE(addQueuedTest(f, "QKXR4KQ1", recordFor(extendedReads[3], 0)));
        EXPECT_TRUE(addQueuedTest(f, "QKXW4KQ32", recordFor(extendedWrites[3], 0)));
    });
    ASSERT_NE(misplaced, nullptr);
    const ExtendedFigures figures = readExtendedFigures(*misplaced);
    EXPECT_TRUE(figures.any());
    for (int i = 0; i < kExtendedPerKind; ++i) {
        EXPECT_FALSE(figures.reads[i].has_value()) << extendedReads[i].resultKey;
        EXPECT_EQ(figures.writes[i].has_value(), i == 3) << extendedWrites[i].resultKey;
    }
}

}  // namespace
}  // namespace vorn::test
