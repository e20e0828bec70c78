#include "bench/RAccessBenchmark.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/DiagLog.h"
#include "bench/EventLog.h"
#include "results/VornCollection.h"
#include "support/ManualCounter.h"
#include "support/MemoryDevice.h"

namespace vorn::test {
namespace {

// With this frequency one tick reads back as one hundredth of a millisecond, so
// getValue answers the raw tick counts.
constexpr uint64_t kTickIsHundredth = 100000;

// Polls until the run has ended; 0 when it never did.
uint32_t waitForStatus(I_Benchmark& benchmark) {
    for (int i = 0; i < 60000; ++i) {
        const uint32_t status = benchmark.getStatus();
        if (status != kStatusRunning) {
            return status;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return kStatusRunning;
}

struct Values {
    uint64_t max, min, mean, median, stdDev;
};

Values valuesOf(I_Benchmark& benchmark) {
    Values v{};
    EXPECT_TRUE(benchmark.getValue(kValueMax, 0, &v.max));
    EXPECT_TRUE(benchmark.getValue(kValueMin, 0, &v.min));
    EXPECT_TRUE(benchmark.getValue(kValueZoneRate, 0, &v.mean));
    EXPECT_TRUE(benchmark.getValue(kValueMedian, 0, &v.median));
    EXPECT_TRUE(benchmark.getValue(kValueStdDev, 0, &v.stdDev));
    return v;
}

std::vector<uint64_t> sectorsOf(const MemoryDevice& device) {
    std::vector<uint64_t> sectors;
    for (const Transfer& t : device.transfers()) {
        sectors.push_back(t.sector);
    }
    return sectors;
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// A temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/raccess-XXXXXX";
        path_ = mkdtemp(pattern);
    }
    ~TempDir() { std::filesystem::remove_all(path_); }
    std::string file(const char* name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// A device on a scripted clock: timed request j takes ticks[j % size] (the
// untimed first request takes none); a write-mode request's flush takes none.
struct ScriptedDevice {
    explicit ScriptedDevice(std::vector<uint64_t> script, uint64_t frequency = kTickIsHundredth,
                            MemoryDevice::Options options = {})
        : clock(frequency), device(options), ticks(std::move(script)) {
        device.useClock(&clock);
        device.ticksFor = [this](uint64_t index, const Transfer& t) -> uint64_t {
            if (t.kind == kEventFlush || index == 0) {
                return 0;
            }
            const uint64_t request = t.kind == kEventWrite ? index / 2 : index;
            return ticks[(request - 1) % ticks.size()];
        };
    }
    ManualCounter clock;
    MemoryDevice device;
    std::vector<uint64_t> ticks;
};

TEST(AccessRandom, FollowsTheSeededGeneratorFromItsFirstDraw) {
    // L = 10231972 * 22695477 + 1 mod 2^32, H = 0; then S = S * 0x15A00004E35 + 1.
    AccessRandom random(kAccessSeed);
    EXPECT_EQ(random.state(), 3488397813u);
    const uint32_t expected[] = {99849383, 1376367516, 1505019183, 987823046, 580622810, 893218738};
    for (uint32_t r : expected) {
        EXPECT_EQ(random.next(), r);
    }
}

TEST(AccessRandom, PositionsStayOnTheMedium) {
    struct Case {
        uint64_t capacity;
        uint32_t r;
        uint64_t position;
    };
    const Case cases[] = {
        {131072, 99849383, 6094},
        {1000, 1376367516, 641},
        {8589946937ull, 1376367516, 5505477979ull},  // past 2^32, kept whole
        {1000, 0, 0},
        {1000, 2147483647, 999},  // capacity * 1.0 would be one past the end
        {1000, 2147483646, 999},  // 999.9999995 rounds up to the capacity
        {1, 2147483647, 0},
        {0, 2147483647, 0},
        {UINT64_MAX, 2147483647, UINT64_MAX - 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(randomPosition(c.capacity, c.r), c.position)
            << "capacity " << c.capacity << " r " << c.r;
    }
}

TEST(AccessRandom, TicksConvertToHundredthsOfAMillisecond) {
    struct Case {
        uint64_t ticks, frequency, hundredths;
    };
    const Case cases[] = {
        {3580, 3579545, 100}, {10740, 3579545, 300},
        {1790, 3579545, 50},  {10, 3000, 333},
        {32, 3000, 1067},     {0, 3579545, 0},
        {5, 100000, 5},       {UINT32_MAX, 1, 429496729500000ull},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ticksToHundredthsMs(c.ticks, c.frequency), c.hundredths)
            << c.ticks << " ticks at " << c.frequency;
    }
}

TEST(RAccessBenchmark, SequentialRunTouchesSectorsOneToCountAfterSectorZero) {
    ScriptedDevice s({100});
    auto benchmark = newRAccessBenchmark(512, 1, 0);
    benchmark->start(&s.device);
    ASSERT_EQ(waitForStatus(*benchmark), kStatusDone);
    ASSERT_EQ(s.device.transfers().size(), 513u);
    for (uint64_t i = 0; i < 513; ++i) {
        const Transfer& t = s.device.transfers()[i];
        EXPECT_EQ(t.kind, kEventRead);
        EXPECT_EQ(t.sector, i);
        EXPECT_EQ(t.count, 1u);
    }
    EXPECT_EQ(benchmark->getProgress(), 100u);
    EXPECT_EQ(benchmark->getResultCount(), 1u);
}

TEST(RAccessBenchmark, RandomRunsOnEqualCapacitiesRequestTheSameSectors) {
    ScriptedDevice first({100});
    ScriptedDevice second({100});
    auto a = newRAccessBenchmark(512, 0, 0);
    auto b = newRAccessBenchmark(512, 0, 0);
    a->start(&first.device);
    ASSERT_EQ(waitForStatus(*a), kStatusDone);
    b->start(&second.device);
    ASSERT_EQ(waitForStatus(*b), kStatusDone);

    const std::vector<uint64_t> sectors = sectorsOf(first.device);
    ASSERT_EQ(sectors.size(), 513u);
    EXPECT_EQ(sectors, sectorsOf(second.device));
    const std::vector<uint64_t> firstFew(sectors.begin(), sectors.begin() + 7);
    EXPECT_EQ(firstFew, (std::vector<uint64_t>{0, 6094, 84007, 91859, 60292, 35438, 54518}));
    for (uint64_t sector : sectors) {
        EXPECT_LT(sector, 131072u);
    }
}

TEST(RAccessBenchmark, ReachesSectorsBeyondThirtyTwoBits) {
    MemoryDevice::Options big;
    big.sectors = 8589946937ull;  // 2^33 + 12345
    big.keepData = false;
    ScriptedDevice s({100}, kTickIsHundredth, big);
    auto benchmark = newRAccessBenchmark(64, 0, 0);
    benchmark->start(&s.device);
    ASSERT_EQ(waitForStatus(*benchmark), kStatusDone);
    const std::vector<uint64_t> sectors = sectorsOf(s.device);
    ASSERT_EQ(sectors.size(), 65u);
    EXPECT_EQ(std::vector<uint64_t>(sectors.begin() + 1, sectors.begin() + 4),
              (std::vector<uint64_t>{399398106, 5505477979ull, 6020085387ull}));
    uint32_t above = 0;
    for (uint64_t sector : sectors) {
        EXPECT_LT(sector, big.sectors);
        above += sector > UINT32_MAX ? 1 : 0;
    }
    EXPECT_GT(above, 10u);
}

TEST(RAccessBenchmark, StatisticsOfScriptedRequestTimes) {
    struct Case {
        std::vector<uint64_t> ticks;
        Values expected;  // ticks, as kTickIsHundredth reads them back
    };
    const Case cases[] = {
        {{7160, 3580, 1790, 3580, 10740}, {10740, 1790, 5370, 3580, 3202}},
        {{40, 10, 25, 1000}, {1000, 10, 268, 32, 422}},  // even count: median rounds down
        {{5}, {5, 5, 5, 5, 0}},
        {{4000000000u, 4000000000u}, {4000000000u, 4000000000u, 4000000000u, 4000000000u, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ticks.size());
        ScriptedDevice s(c.ticks);
        auto benchmark = newRAccessBenchmark(static_cast<uint32_t>(c.ticks.size()), 0, 0);
        benchmark->start(&s.device);
        ASSERT_EQ(waitForStatus(*benchmark), kStatusDone);
        const Values v = valuesOf(*benchmark);
        EXPECT_EQ(v.max, c.expected.max);
        EXPECT_EQ(v.min, c.expected.min);
        EXPECT_EQ(v.mean, c.expected.mean);
        EXPECT_EQ(v.median, c.expected.median);
        EXPECT_EQ(v.stdDev, c.expected.stdDev);
    }
}

TEST(RAccessBenchmark, ReportsHundredthsOfAMillisecondAtTheRunsFrequency) {
    ScriptedDevice s({7160, 3580, 1790, 3580, 10740}, 3579545);
    auto benchmark = newRAccessBenchmark(5, 0, 0);
    benchmark->start(&s.device);
    ASSERT_EQ(waitForStatus(*benchmark), kStatusDone);
    const Values v = valuesOf(*benchmark);
    EXPECT_EQ(v.median, 100u);
    EXPECT_EQ(v.max, 300u);
    EXPECT_EQ(v.min, 50u);
    EXPECT_EQ(v.mean, 150u);
    EXPECT_EQ(v.stdDev, 89u);
}

TEST(RAccessBenchmark, RequestTimesBeyondThirtyTwoBitsSaturate) {
    ScriptedDevice s({8589934592ull, 10});  // 2^33 ticks, then 10
    auto benchmark = newRAccessBenchmark(2, 0, 0);
    benchmark->start(&s.device);
    ASSERT_EQ(waitForStatus(*benchmark), kStatusDone);
    const Values v = valuesOf(*benchmark);
    EXPECT_EQ(v.max, UINT32_MAX);
    EXPECT_EQ(v.min, 10u);
    EXPECT_EQ(v.mean, UINT32_MAX);  // (2^33 + 10) / 2 does not fit either
}

TEST(RAccessBenchmark, GetValueRefusesOtherRowsKindsAndMissingResults) {
    ScriptedDevice s({100});
    auto benchmark = newRAccessBenchmark(3, 0, 0);
    uint64_t value = 7;
    EXPECT_FALSE(benchmark->getValue(kValueMax, 0, &value));  // never run
    EXPECT_EQ(benchmark->getResultCount(), 0u);
    benchmark->start(&s.device);
    ASSERT_EQ(waitForStatus(*benchmark), kStatusDone);
    EXPECT_TRUE(benchmark->getValue(kValueMax, 0, &value));
    EXPECT_FALSE(benchmark->getValue(kValueMax, 1, &value));
    EXPECT_FALSE(benchmark->getValue(kValueZoneStart, 0, &value));
    EXPECT_FALSE(benchmark->getValue(6, 0, &value));
    EXPECT_FALSE(benchmark->getValue(kValueMax, 0, nullptr));

    s.clock.setFrequency(0);  // a counter without a frequency gives no times
    benchmark->start(&s.device);
    ASSERT_EQ(waitForStatus(*benchmark), kStatusDone);
    EXPECT_FALSE(benchmark->getValue(kValueMax, 0, &value));
}

TEST(RAccessBenchmark, CancelLeavesNoResults) {
    ScriptedDevice s({100});
    auto benchmark = newRAccessBenchmark(10, 0, 0);
    s.device.afterTransfer = [&](uint64_t index) {
        if (index == 3) {
            benchmark->cancel();
        }
    };
    benchmark->start(&s.device);
    ASSERT_EQ(waitForStatus(*benchmark), kStatusCancelled);
    EXPECT_EQ(s.device.transferCount(), 4u);
    EXPECT_EQ(benchmark->getProgress(), 20u);
    EXPECT_EQ(benchmark->getResultCount(), 0u);
    uint64_t value = 0;
    EXPECT_FALSE(benchmark->getValue(kValueMedian, 0, &value));
}

TEST(RAccessBenchmark, FailedRequestsEndTheRunWithoutResults) {
    struct Case {
        const char* what;
        uint64_t failingIndex;
        uint64_t transfers;
        uint32_t progress;
    };
    const Case cases[] = {
        {"untimed first request", 0, 1, 0},
        {"timed request", 5, 6, 40},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedDevice s({100});
        s.device.failWhen = [&](uint64_t index, const Transfer&) {
            return index == c.failingIndex;
        };
        auto benchmark = newRAccessBenchmark(10, 1, 0);
        benchmark->start(&s.device);
        ASSERT_EQ(waitForStatus(*benchmark), kStatusFailed);
        EXPECT_EQ(s.device.transferCount(), c.transfers);
        EXPECT_EQ(benchmark->getProgress(), c.progress);
        EXPECT_EQ(benchmark->getResultCount(), 0u);
    }
}

TEST(RAccessBenchmark, WithoutAMediumEndsAtOnceWithNoMedia) {
    MemoryDevice::Options noSectors;
    noSectors.sectors = 0;
    MemoryDevice::Options noSectorSize;
    noSectorSize.sectorSize = 0;
    MemoryDevice empty(noSectors);
    MemoryDevice sizeless(noSectorSize);
    I_VornDevice* devices[] = {&empty, &sizeless, nullptr};
    for (I_VornDevice* device : devices) {
        auto benchmark = newRAccessBenchmark(512, 0, 0);
        benchmark->start(device);
        EXPECT_EQ(benchmark->getStatus(), kStatusNoMedia);
        EXPECT_EQ(benchmark->getResultCount(), 0u);
    }
    EXPECT_EQ(empty.transferCount() + sizeless.transferCount(), 0u);
}

TEST(RAccessBenchmark, WriteModeWritesAndFlushesInsideEachTimedRequest) {
    ScriptedDevice s({30});
    s.device.ticksFor = [](uint64_t index, const Transfer& t) -> uint64_t {
        if (index < 2) {
            return 0;  // the untimed write and its flush
        }
        return t.kind == kEventFlush ? 12 : 30;
    };
    ASSERT_TRUE(s.device.enableWrite(1, 512, 0));
    auto benchmark = newRAccessBenchmark(3, 1, 1);
    benchmark->start(&s.device);
    ASSERT_EQ(waitForStatus(*benchmark), kStatusDone);
    const std::vector<Transfer>& transfers = s.device.transfers();
    ASSERT_EQ(transfers.size(), 8u);
    for (uint64_t i = 0; i < 4; ++i) {
        EXPECT_EQ(transfers[2 * i].kind, kEventWrite);
        EXPECT_EQ(transfers[2 * i].sector, i);
        EXPECT_EQ(transfers[2 * i].count, 1u);
        EXPECT_EQ(transfers[2 * i + 1].kind, kEventFlush);
    }
    EXPECT_EQ(valuesOf(*benchmark).max, 42u);  // write and flush both timed

    ASSERT_TRUE(s.device.disableWrite());  // an unarmed device fails the first write
    benchmark->start(&s.device);
    EXPECT_EQ(waitForStatus(*benchmark), kStatusFailed);
}

TEST(RAccessBenchmark, RefusesAnAccessCountOfZero) {
    TempDir dir;
    const std::string log = dir.file("vorntest.log");
    openLog(log.c_str());
    MemoryDevice device;
    auto benchmark = newRAccessBenchmark(0, 0, 0);
    benchmark->start(&device);
    closeLog();
    EXPECT_EQ(benchmark->getStatus(), kStatusFailed);
    EXPECT_EQ(benchmark->getProgress(), 0u);
    EXPECT_EQ(device.transferCount(), 0u);
    EXPECT_NE(readFile(log).find("** RAccessBenchmark failed - access count 0"), std::string::npos);
}

TEST(RAccessBenchmark, ExceptionsInTheWorkerAreLoggedAsFailures) {
    struct Case {
        std::function<void()> raise;
        const char* line;
    };
    const Case cases[] = {
        {[] { throw std::runtime_error("device gone"); },
         "EXCEPTION: RAccessThreadHeadler std::runtime_error device gone"},
        {[] { throw 42; }, "SEH EXCEPTION: RAccessThreadHelper -1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        TempDir dir;
        const std::string log = dir.file("vorntest.log");
        openLog(log.c_str());
        ScriptedDevice s({100});
        s.device.failWhen = [&](uint64_t index, const Transfer&) {
            if (index == 2) {
                c.raise();
            }
            return false;
        };
        auto benchmark = newRAccessBenchmark(10, 0, 0);
        benchmark->start(&s.device);
        const uint32_t status = waitForStatus(*benchmark);
        closeLog();
        EXPECT_EQ(status, kStatusFailed);
        EXPECT_EQ(benchmark->getResultCount(), 0u);
        EXPECT_NE(readFile(log).find(c.line), std::string::npos) << readFile(log);
    }
}

TEST(RAccessBenchmark, StartingAgainRunsAfresh) {
    ScriptedDevice s({100});
    bool failOnce = true;
    s.device.failWhen = [&](uint64_t, const Transfer&) { return std::exchange(failOnce, false); };
    auto benchmark = newRAccessBenchmark(4, 1, 0);
    benchmark->start(&s.device);
    ASSERT_EQ(waitForStatus(*benchmark), kStatusFailed);

    benchmark->setParameters(3, 1, 0);
    benchmark->start(&s.device);
    ASSERT_EQ(waitForStatus(*benchmark), kStatusDone);
    EXPECT_EQ(sectorsOf(s.device), (std::vector<uint64_t>{0, 0, 1, 2, 3}));
    EXPECT_EQ(benchmark->getProgress(), 100u);

    s.ticks = {250};
    benchmark->start(&s.device);
    ASSERT_EQ(waitForStatus(*benchmark), kStatusDone);
    EXPECT_EQ(valuesOf(*benchmark).max, 250u);
}

TEST(RAccessBenchmark, DestroyingARunningBenchmarkStopsItsWorker) {
    constexpr uint32_t kRequests = 5000000;
    MemoryDevice device;
    device.recordTransfers(false);
    // The worker holds after its first timed request until the test is about to
    // destroy it, so the destructor meets a run with millions of requests to go.
    std::atomic<bool> started{false};
    std::atomic<bool> go{false};
    device.afterTransfer = [&](uint64_t index) {
        if (index == 1) {
            started.store(true);
            while (!go.load()) {
                std::this_thread::yield();
            }
        }
    };
    auto benchmark = newRAccessBenchmark(kRequests, 0, 0);
    benchmark->start(&device);
    for (int i = 0; i < 60000 && !started.load(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_TRUE(started.load());
    go.store(true);
    benchmark.reset();  // must cancel and join, or std::thread would terminate
    EXPECT_LT(device.transferCount(), kRequests + 1u);
}

// A result file holding one finished run under "QKCRACCESS" and under its default
// name, plus entries of wrong lengths.
class RAccessResultFile : public ::testing::Test {
protected:
    void SetUp() override {
        ScriptedDevice s({7160, 3580, 1790, 3580, 10740}, 3579545);
        auto benchmark = newRAccessBenchmark(5, 0, 0);
        benchmark->start(&s.device);
        ASSERT_EQ(waitForStatus(*benchmark), kStatusDone);
        saved_ = valuesOf(*benchmark);
        auto writer = createCollection(path_.c_str());
        ASSERT_NE(writer, nullptr);
        ASSERT_TRUE(benchmark->saveResults(writer.get(), "QKCRACCESS"));
        ASSERT_TRUE(benchmark->saveResults(writer.get(), nullptr));
        const std::vector<uint8_t> bytes(36, 1);
        ASSERT_TRUE(writer->addEntry("SHORT", "5", 28, bytes.data()));
        ASSERT_TRUE(writer->addEntry("LONG", "5", 36, bytes.data()));
    }

    std::unique_ptr<I_VornCollection> reopen() { return openCollection(path_.c_str()); }

    TempDir dir_;
    std::string path_ = dir_.file("temp.qkt");
    Values saved_{};
};

TEST_F(RAccessResultFile, StoresTheRecordLittleEndianWithTheAccessCount) {
    auto reader = reopen();
    ASSERT_NE(reader, nullptr);
    for (const char* name : {"QKCRACCESS", "RACCESS,5"}) {
        SCOPED_TRACE(name);
        char value[16] = {};
        uint8_t data[40] = {};
        uint32_t valueLength = sizeof value - 1;
        uint32_t dataLength = sizeof data;
        ASSERT_TRUE(reader->findEntry(name, &valueLength, value, &dataLength, data));
        EXPECT_STREQ(value, "5");
        ASSERT_EQ(dataLength, 32u);
        const uint8_t expected[32] = {0x99, 0x9e, 0x36, 0x00,
                                      0,    0,    0,    0,  // 3579545 ticks per second
                                      0xf4, 0x29, 0,    0,  // max 10740
                                      0xfe, 0x06, 0,    0,  // min 1790
                                      0xfc, 0x0d, 0,    0,  // median 3580
                                      0xfa, 0x14, 0,    0,  // mean 5370
                                      0x82, 0x0c, 0,    0,  // deviation 3202
                                      0,    0,    0,    0};
        EXPECT_EQ(std::vector<uint8_t>(data, data + 32),
                  std::vector<uint8_t>(expected, expected + 32));
    }
}

TEST_F(RAccessResultFile, LoadsWhatWasSaved) {
    auto reader = reopen();
    ASSERT_NE(reader, nullptr);
    auto viewer = newRAccessBenchmark(0, 0, 0);
    ASSERT_TRUE(viewer->loadResults(reader.get(), "QKCRACCESS"));
    EXPECT_EQ(viewer->getStatus(), kStatusDone);
    EXPECT_EQ(viewer->getResultCount(), 1u);
    const Values loaded = valuesOf(*viewer);
    EXPECT_EQ(loaded.max, saved_.max);
    EXPECT_EQ(loaded.min, saved_.min);
    EXPECT_EQ(loaded.mean, saved_.mean);
    EXPECT_EQ(loaded.median, 100u);
    EXPECT_EQ(loaded.stdDev, saved_.stdDev);
}

TEST_F(RAccessResultFile, RefusesEntriesOfOtherLengthsAndLeavesTheStatus) {
    auto reader = reopen();
    ASSERT_NE(reader, nullptr);
    auto fresh = newRAccessBenchmark(0, 0, 0);
    auto loaded = newRAccessBenchmark(0, 0, 0);
    ASSERT_TRUE(loaded->loadResults(reader.get(), "QKCRACCESS"));
    for (const char* key : {"SHORT", "LONG", "MISSING"}) {
        SCOPED_TRACE(key);
        EXPECT_FALSE(fresh->loadResults(reader.get(), key));
        EXPECT_EQ(fresh->getStatus(), kStatusRunning);
        EXPECT_EQ(fresh->getResultCount(), 0u);
        EXPECT_FALSE(loaded->loadResults(reader.get(), key));
        EXPECT_EQ(loaded->getStatus(), kStatusDone);
        EXPECT_EQ(valuesOf(*loaded).max, saved_.max);  // the earlier record is kept
    }
}

}  // namespace
}  // namespace vorn::test
