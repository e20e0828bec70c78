#include "bench/RAccessBenchmark.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "base/DiagLog.h"
#include "bench/BenchmarkWait.h"
#include "bench/ScriptedDevice.h"
#include "storage/EventLog.h"
#include "support/ManualCounter.h"
#include "support/MemoryDevice.h"
#include "support/TempDir.h"

namespace vorn::test {
namespace {

// max, min, mean, median, deviation.
using Values = std::array<uint64_t, 5>;

Values valuesOf(I_Benchmark& benchmark) {
    Values v{};
    const uint32_t kinds[] = {kValueMax, kValueMin, kValueZoneRate, kValueMedian, kValueStdDev};
    for (size_t i = 0; i < v.size(); ++i) {
        EXPECT_TRUE(benchmark.getValue(kinds[i], 0, &v[i]));
    }
    return v;
}

std::vector<uint64_t> sectorsOf(const MemoryDevice& device) {
    std::vector<uint64_t> sectors;
    for (const Transfer& t : device.transfers()) {
        sectors.push_back(t.sector);
    }
    return sectors;
}

TEST(AccessRandom, GeneratorPositionsAndTickConversionKnownAnswers) {
    // L = 10231972 * 22695477 + 1 mod 2^32, H = 0; then S = S * 0x15A00004E35 + 1.
    AccessRandom random(kAccessSeed);
    EXPECT_EQ(random.state(), 3488397813u);
    for (uint32_t r : {99849383u, 1376367516u, 1505019183u, 987823046u, 580622810u}) {
        EXPECT_EQ(random.next(), r);
    }
    const struct {
        uint64_t capacity;
        uint32_t r;
        uint64_t position;
    } positions[] = {
        {131072, 99849383, 6094},
        {8589946937ull, 1376367516, 5505477979ull},  // past 2^32, kept whole
        {1000, 0, 0},
        {1000, 2147483647, 999},  // capacity * 1.0 would be one past the end
        {1000, 2147483646, 999},  // 999.9999995 rounds up to the capacity
        {0, 2147483647, 0},
        {UINT64_MAX, 2147483647, UINT64_MAX - 1},
    };
    for (const auto& c : positions) {
        EXPECT_EQ(randomPosition(c.capacity, c.r), c.position) << c.capacity << " r " << c.r;
    }
    const struct {
        uint64_t ticks, frequency, hundredths;
    } times[] = {{3580, 3579545, 100},
                 {1790, 3579545, 50},
                 {10, 3000, 333},
                 {32, 3000, 1067},
                 {0, 3579545, 0},
                 {5, 0, 0},
                 {UINT32_MAX, 1, 429496729500000ull}};
    for (const auto& c : times) {
        EXPECT_EQ(ticksToHundredthsMs(c.ticks, c.frequency), c.hundredths)
            << c.ticks << " ticks at " << c.frequency;
    }
}

// The first request (sector 0) is untimed; then sectors 1..count in order, or the
// seeded random sequence over the whole medium, beyond 32 bits too.
TEST(RAccessBenchmark, RequestsTheExpectedSectors) {
    const struct {
        bool sequential;
        uint64_t sectors;
        uint32_t count;
        std::vector<uint64_t> first;
    } cases[] = {
        {true, 131072, 512, {0, 1, 2, 3}},
        {false, 131072, 512, {0, 6094, 84007, 91859, 60292, 35438, 54518}},
        {false, 8589946937ull, 64, {0, 399398106, 5505477979ull, 6020085387ull}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sectors);
        ScriptedDevice s({100}, kTickIsHundredth, {.sectors = c.sectors, .keepData = false});
        auto benchmark = newRAccessBenchmark(c.count, c.sequential, 0);
        ASSERT_EQ(s.run(*benchmark), kStatusDone);
        const std::vector<uint64_t> sectors = sectorsOf(s.device);
        ASSERT_EQ(sectors.size(), c.count + 1u);
        EXPECT_EQ(std::vector<uint64_t>(sectors.begin(), sectors.begin() + c.first.size()),
                  c.first);
        for (size_t i = 0; i < sectors.size(); ++i) {
            EXPECT_EQ(s.device.transfers()[i].count, 1u);
            EXPECT_EQ(s.device.transfers()[i].kind, kEventRead);
            EXPECT_LT(sectors[i], c.sectors);
            if (c.sequential) {
                EXPECT_EQ(sectors[i], i);
            }
        }
        EXPECT_EQ(benchmark->getProgress(), 100u);
        EXPECT_EQ(benchmark->getResultCount(), 1u);
    }
}

TEST(RAccessBenchmark, StatisticsOfScriptedRequestTimes) {
    const struct {
        std::vector<uint64_t> ticks;
        uint64_t frequency;
        Values expected;  // max, min, mean, median, deviation in hundredths of a ms
    } cases[] = {
        {{7160, 3580, 1790, 3580, 10740}, kTickIsHundredth, {10740, 1790, 5370, 3580, 3202}},
        {{7160, 3580, 1790, 3580, 10740}, 3579545, {300, 50, 150, 100, 89}},
        {{40, 10, 25, 1000}, kTickIsHundredth, {1000, 10, 268, 32, 422}},  // median rounds down
        {{5}, kTickIsHundredth, {5, 5, 5, 5, 0}},
        // A request of 2^33 ticks saturates its sample and the mean.
        {{8589934592ull, 10},
         kTickIsHundredth,
         {UINT32_MAX, 10, UINT32_MAX, 2147483652u, 2147483643u}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.ticks) + " at " + std::to_string(c.frequency));
        ScriptedDevice s(c.ticks, c.frequency);
        auto benchmark = newRAccessBenchmark(static_cast<uint32_t>(c.ticks.size()), 0, 0);
        ASSERT_EQ(s.run(*benchmark), kStatusDone);
        EXPECT_EQ(valuesOf(*benchmark), c.expected);
    }
}

TEST(RAccessBenchmark, GetValueRefusesOtherRowsKindsAndMissingResults) {
    ScriptedDevice s({100});
    auto benchmark = newRAccessBenchmark(3, 0, 0);
    uint64_t value = 7;
    EXPECT_FALSE(benchmark->getValue(kValueMax, 0, &value));  // never run
    ASSERT_EQ(s.run(*benchmark), kStatusDone);
    EXPECT_TRUE(benchmark->getValue(kValueMax, 0, &value));
    EXPECT_FALSE(benchmark->getValue(kValueMax, 1, &value));
    EXPECT_FALSE(benchmark->getValue(kValueZoneStart, 0, &value));
    EXPECT_FALSE(benchmark->getValue(6, 0, &value));
    EXPECT_FALSE(benchmark->getValue(kValueMax, 0, nullptr));
    s.clock.setFrequency(0);  // a counter without a frequency gives no times
    ASSERT_EQ(s.run(*benchmark), kStatusDone);
    EXPECT_FALSE(benchmark->getValue(kValueMax, 0, &value));
}

// Every way a run ends without results, with the transfers made, progress and the
// diagnostic line.
TEST(RAccessBenchmark, CancelAndFailuresEndTheRunWithoutResults) {
    enum Fault { None, Cancels, Fails, Throws, ThrowsOther };
    const struct {
        const char* what;
        uint64_t sectors;
        uint32_t sectorSize, count;
        Fault fault;
        uint64_t at;
        uint32_t status;
        uint64_t transfers;
        uint32_t progress;
        const char* line;
    } cases[] = {
        {"no sectors", 0, 512, 10, None, 0, kStatusNoMedia, 0, 0, ""},
        {"no sector size", 131072, 0, 10, None, 0, kStatusNoMedia, 0, 0, ""},
        {"access count 0", 131072, 512, 0, None, 0, kStatusFailed, 0, 0,
         "** RAccessBenchmark failed - access count 0\n"},
        {"cancel", 131072, 512, 10, Cancels, 3, kStatusCancelled, 4, 20, ""},
        {"untimed first request", 131072, 512, 10, Fails, 0, kStatusFailed, 1, 0, ""},
        {"timed request", 131072, 512, 10, Fails, 5, kStatusFailed, 6, 40, ""},
        {"library exception", 131072, 512, 10, Throws, 2, kStatusFailed, 2, 10,
         "EXCEPTION: RAccessThreadHeadler std::runtime_error device gone\n"},
        {"other exception", 131072, 512, 10, ThrowsOther, 2, kStatusFailed, 2, 10,
         "SEH EXCEPTION: RAccessThreadHelper -1\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        openLog(dir.file("vorntest.log").c_str());
        ScriptedDevice s({100}, kTickIsHundredth,
                         {.sectors = c.sectors, .sectorSize = c.sectorSize, .keepData = false});
        auto benchmark = newRAccessBenchmark(c.count, 1, 0);
        s.device.failWhen = [&](uint64_t index, const Transfer&) {
            if (index == c.at && c.fault == Cancels) {
                benchmark->cancel();
            }
            if (index == c.at && c.fault == Throws) {
                throw std::runtime_error("device gone");
            }
            if (index == c.at && c.fault == ThrowsOther) {
                throw 42;
            }
            return index == c.at && c.fault == Fails;
        };
        const uint32_t status = s.run(*benchmark);
        closeLog();
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(s.device.transferCount(), c.transfers);
        EXPECT_EQ(benchmark->getProgress(), c.progress);
        EXPECT_EQ(benchmark->getResultCount(), 0u);
        EXPECT_NE(dir.read("vorntest.log").find(c.line), std::string::npos);
    }
    auto benchmark = newRAccessBenchmark(10, 0, 0);
    benchmark->start(nullptr);
    EXPECT_EQ(benchmark->getStatus(), kStatusNoMedia);
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
    ASSERT_EQ(s.run(*benchmark), kStatusDone);
    const std::vector<Transfer>& transfers = s.device.transfers();
    ASSERT_EQ(transfers.size(), 8u);
    for (uint64_t i = 0; i < 4; ++i) {
        EXPECT_EQ(transfers[2 * i].kind, kEventWrite);
        EXPECT_EQ(transfers[2 * i].sector, i);
        EXPECT_EQ(transfers[2 * i + 1].kind, kEventFlush);
    }
    EXPECT_EQ(valuesOf(*benchmark)[0], 42u);  // write and flush both timed

    ASSERT_TRUE(s.device.disableWrite());  // an unarmed device fails the first write
    EXPECT_EQ(s.run(*benchmark), kStatusFailed);
}

TEST(RAccessBenchmark, StartingAgainRunsAfresh) {
    ScriptedDevice s({100});
    bool failOnce = true;
    s.device.failWhen = [&](uint64_t, const Transfer&) { return std::exchange(failOnce, false); };
    auto benchmark = newRAccessBenchmark(4, 1, 0);
    ASSERT_EQ(s.run(*benchmark), kStatusFailed);

    benchmark->setParameters(3, 1, 0);
    ASSERT_EQ(s.run(*benchmark), kStatusDone);
    EXPECT_EQ(sectorsOf(s.device), (std::vector<uint64_t>{0, 0, 1, 2, 3}));
    EXPECT_EQ(benchmark->getProgress(), 100u);

    s.ticks = {250};
    ASSERT_EQ(s.run(*benchmark), kStatusDone);
    EXPECT_EQ(valuesOf(*benchmark)[0], 250u);
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
            started = true;
            while (!go) {
                std::this_thread::yield();
            }
        }
    };
    auto benchmark = newRAccessBenchmark(kRequests, 0, 0);
    benchmark->start(&device);
    while (!started) {
        std::this_thread::yield();
    }
    go = true;
    benchmark.reset();  // must cancel and join, or std::thread would terminate
    EXPECT_LT(device.transferCount(), kRequests + 1u);
}

}  // namespace
}  // namespace vorn::test
