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

TEST(ZoneSetup, QuickLayoutsMatchKnownAnswers) {
    const struct {
        const char* name;
        uint64_t sectors;
        ZoneParameters params;
        std::vector<uint64_t> starts;
    } cases[] = {
        // Two zones: the start, and one span plus one sector before the end, aligned.
        {"1GB two zones", kGigabyte / 512, testParams(0, 2), {0, 995753984}},
        // Fewer than one zone per 128 MB still gives two zones.
        {"100MB", 100000000 / 512, testParams(0, 64), {0, 95748096}},
        // One zone per 128 MB, evenly spaced, each start rounded to the alignment.
        {"1GB seven zones",
         kGigabyte / 512,
         testParams(0, 64),
         {0, 166658048, 333316096, 499974144, 666632192, 833290240, 995753984}},
        {"single zone at the end", kGigabyte / 512, testParams(0, 1), {995753984}},
        // Without alignment, starts are only rounded up to whole sectors.
        {"unaligned", 10000, testParams(0, 2, 0, 0, 512 * 100), {0, 9899 * 512}},
        // No room for one span and a sector, or for the write reserve, or no zones.
        {"one span", 8, testParams(0, 2, 0, 0, 512 * 8), {}},
        {"one span and a sector", 9, testParams(0, 2, 0, 0, 512 * 8), {0, 0}},
        {"reserve beyond the medium", 100, testParams(1, 2), {}},
        {"no zones", kGigabyte / 512, testParams(0, 0), {}},
        {"4 TiB, past 32-bit sectors",
         1ull << 33,
         testParams(0, 2),
         {0, (1ull << 42) - kTimed - 65536}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ZoneLayout layout = quickZoneSetup(c.params, 512, c.sectors);
        EXPECT_EQ(layout.starts, c.starts);
        if (c.params.write == 0) {
            EXPECT_EQ(layout.usable, c.sectors * 512);
        }
    }
}

// A write test never touches the first 128 sectors, even with an alignment larger
// than that, and stays inside the medium.
TEST(ZoneSetup, WriteLayoutsSpareTheReserveAndStayInside) {
    const ZoneLayout quick = quickZoneSetup(testParams(1, 64), 512, kGigabyte / 512);
    EXPECT_EQ(quick.reserved, 128u * 512);
    EXPECT_EQ(quick.usable, kGigabyte - 65536);
    ASSERT_EQ(quick.starts.size(), 7u);
    EXPECT_EQ(quick.starts.front(), 65536u);
    for (uint64_t start : quick.starts) {
        EXPECT_EQ(start % 65536, 0u);
        EXPECT_LE(start + kTimed, kGigabyte);
    }
    const ZoneParameters wide = testParams(1, 2, 1048576);
    for (const ZoneLayout& layout :
         {quickZoneSetup(wide, 512, kGigabyte / 512), fullZoneSetup(wide, 512, 262144)}) {
        ASSERT_FALSE(layout.starts.empty());
        EXPECT_GE(layout.starts.front(), 128u * 512);
    }
    // Full: zones back to back from the reserve, none reaching into the last 128
    // sectors and no room left for another.
    const uint64_t bytes = 64ull * 1048576;
    const ZoneLayout full = fullZoneSetup(testParams(1, 64, 65536, 0, kTimed), 512, bytes / 512);
    ASSERT_FALSE(full.starts.empty());
    EXPECT_EQ(full.starts.front(), 65536u);
    const uint64_t end = full.starts.back() + kTimed;
    EXPECT_LE(end, bytes - 128 * 512);
    EXPECT_GT(end + kTimed, bytes - 128 * 512 - 1);
}

TEST(ZoneSetup, FullReadOnExactSpansLeavesOutTheLastOne) {
    const uint32_t span = 2097152 + 6291456;
    const ZoneParameters params = testParams(0, 64, 0, 2097152, 6291456);
    for (uint64_t k : {1u, 2u, 5u}) {
        const ZoneLayout layout = fullZoneSetup(params, 512, k * span / 512);
        ASSERT_EQ(layout.starts.size(), k - 1) << k;
        for (uint64_t j = 0; j < layout.starts.size(); ++j) {
            EXPECT_EQ(layout.starts[j], j * span);
        }
    }
    // One sector more makes room for the k-th zone.
    EXPECT_EQ(fullZoneSetup(params, 512, 5 * span / 512 + 1).starts.size(), 5u);
}

}  // namespace
}  // namespace vorn
