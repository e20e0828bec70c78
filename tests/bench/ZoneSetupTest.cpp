#include "bench/ZoneSetup.h"

#include <gtest/gtest.h>

#include <vector>

namespace vorn {
namespace {

constexpr uint64_t kGigabyte = 1000000000;
constexpr uint32_t kTimed = 4194304;

ZoneParameters testParams(uint32_t write, uint32_t maxZones, uint32_t align = 65536,
                          uint32_t warmUp = 0, uint32_t timed = kTimed) {
    return ZoneParameters{write, maxZones, warmUp, timed, align};
}

struct QuickCase {
    const char* name;
    uint64_t bytes;
    ZoneParameters params;
    std::vector<uint64_t> starts;
};

TEST(ZoneSetup, QuickLayoutsMatchKnownAnswers) {
    const QuickCase cases[] = {
        // Two zones: the start, and one span plus one sector before the end, aligned.
        {"1GB two zones", kGigabyte, testParams(0, 2), {0, 995753984}},
        // Fewer than one zone per 128 MB still gives two zones.
        {"100MB", 100000000, testParams(0, 64), {0, 95748096}},
        // One zone per 128 MB, evenly spaced, each start rounded to the alignment.
        {"1GB seven zones",
         kGigabyte,
         testParams(0, 64),
         {0, 166658048, 333316096, 499974144, 666632192, 833290240, 995753984}},
        // maxZones below two: a single zone at the end.
        {"single zone", kGigabyte, testParams(0, 1), {995753984}},
        // Without alignment, starts are only rounded up to whole sectors.
        {"unaligned", 10000 * 512, testParams(0, 2, 0, 0, 512 * 100), {0, 9899 * 512}},
    };
    for (const QuickCase& c : cases) {
        const ZoneLayout layout = quickZoneSetup(c.params, 512, c.bytes / 512);
        EXPECT_EQ(layout.starts, c.starts) << c.name;
        EXPECT_EQ(layout.usable, c.bytes / 512 * 512) << c.name;
    }
}

TEST(ZoneSetup, QuickWriteSetupSkipsReservedSectorsAndStaysInside) {
    const ZoneLayout layout = quickZoneSetup(testParams(1, 64), 512, kGigabyte / 512);
    EXPECT_EQ(layout.reserved, 128u * 512);
    EXPECT_EQ(layout.usable, kGigabyte - 65536);
    ASSERT_EQ(layout.starts.size(), 7u);
    EXPECT_EQ(layout.starts.front(), 65536u);
    for (uint64_t start : layout.starts) {
        EXPECT_EQ(start % 65536, 0u);
        EXPECT_LE(start + kTimed, kGigabyte);
    }
}

TEST(ZoneSetup, AlignmentLargerThanReserveNeverReachesFirstSectors) {
    const ZoneParameters params = testParams(1, 2, 1048576);
    for (const ZoneLayout& layout :
         {quickZoneSetup(params, 512, kGigabyte / 512), fullZoneSetup(params, 512, 262144)}) {
        ASSERT_FALSE(layout.starts.empty());
        EXPECT_GE(layout.starts.front(), 128u * 512);
    }
}

TEST(ZoneSetup, QuickRefusesMediumWithoutRoomForOneSpanAndSector) {
    const ZoneParameters params = testParams(0, 2, 0, 0, 512 * 8);
    EXPECT_TRUE(quickZoneSetup(params, 512, 8).starts.empty());
    EXPECT_EQ(quickZoneSetup(params, 512, 9).starts.size(), 2u);
    // The write reserve alone may be larger than the medium.
    EXPECT_TRUE(quickZoneSetup(testParams(1, 2), 512, 100).starts.empty());
    EXPECT_TRUE(quickZoneSetup(testParams(0, 0), 512, kGigabyte / 512).starts.empty());
}

TEST(ZoneSetup, FullReadOnExactSpansLeavesOutTheLastOne) {
    const uint32_t span = 2097152 + 6291456;
    for (uint64_t k : {1u, 2u, 5u}) {
        const ZoneLayout layout =
            fullZoneSetup(testParams(0, 64, 0, 2097152, 6291456), 512, k * span / 512);
        ASSERT_EQ(layout.starts.size(), k - 1) << k;
        for (uint64_t j = 0; j < layout.starts.size(); ++j) {
            EXPECT_EQ(layout.starts[j], j * span);
        }
    }
    // One sector more makes room for the k-th zone.
    EXPECT_EQ(fullZoneSetup(testParams(0, 64, 0, 2097152, 6291456), 512, 5 * span / 512 + 1)
                  .starts.size(),
              5u);
}

TEST(ZoneSetup, FullWriteStaysClearOfBothEnds) {
    const uint64_t sectors = 64ull * 1048576 / 512;
    const ZoneLayout layout = fullZoneSetup(testParams(1, 64, 65536, 0, kTimed), 512, sectors);
    ASSERT_FALSE(layout.starts.empty());
    EXPECT_EQ(layout.starts.front(), 65536u);
    const uint64_t end = layout.starts.back() + kTimed;
    EXPECT_LE(end, sectors * 512 - 128 * 512);
    // Zones are back to back and there is no room for another before the reserve.
    EXPECT_GT(end + kTimed, sectors * 512 - 128 * 512 - 1);
}

TEST(ZoneSetup, MediaBeyondFourBillionSectorsKeepFullOffsets) {
    const uint64_t sectors = 1ull << 33;  // 4 TiB
    const ZoneLayout layout = quickZoneSetup(testParams(0, 2), 512, sectors);
    ASSERT_EQ(layout.starts.size(), 2u);
    EXPECT_GT(layout.starts[1] / 512, 1ull << 32);
}

}  // namespace
}  // namespace vorn
