#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <cstring>
#include <limits>

#include "results/CpuId.h"
#include "support/ManualCounter.h"

namespace vorn::test {
namespace {

struct MhzCase {
    uint64_t cycles;
    uint64_t ticks;
    uint64_t frequency;
    int32_t mhz;
};

TEST(CpuId, MhzRoundsToNearestAndRefusesMissingIntervals) {
    const MhzCase cases[] = {
        {2400000000u, 1000000000u, 1000000000u, 2400},
        {2400499999u, 1000000000u, 1000000000u, 2400},
        {2400500000u, 1000000000u, 1000000000u, 2401},
        {4800000000u, 2000000000u, 1000000000u, 2400},  // two seconds
        {2400000000u, 3579545u, 3579545u, 2400},        // another counter frequency
        {2400000000u, 1000000000u, 0, 0},               // no counter frequency
        {2400000000u, 0, 1000000000u, 0},               // no counter interval
        {0, 1000000000u, 1000000000u, 0},
        {UINT64_MAX, 1, 1000000000u, std::numeric_limits<int32_t>::max()},
    };
    for (const MhzCase& c : cases) {
        EXPECT_EQ(cpuMhzFrom(c.cycles, c.ticks, c.frequency), c.mhz)
            << c.cycles << " cycles over " << c.ticks << " ticks at " << c.frequency;
    }
}

TEST(CpuId, MeasureAnswersZeroWithoutCounterFrequency) {
    ManualCounter counter(0);
    EXPECT_EQ(measureCpuMhz(), 0);
}

TEST(CpuId, BlockFillsEightyBytesWithLeavesInOrder) {
    uint8_t block[96];
    std::memset(block, 0xAA, sizeof block);
    readCpuIdBlock(block);
    for (size_t i = kCpuIdBlockSize; i < sizeof block; ++i) {
        ASSERT_EQ(block[i], 0xAA) << "written past the block at " << i;
    }
#if defined(__x86_64__) || defined(__i386__)
    // Leaf 0: the vendor text is EBX, EDX, ECX.
    char vendor[13] = {};
    std::memcpy(vendor, block + 4, 4);
    std::memcpy(vendor + 4, block + 12, 4);
    std::memcpy(vendor + 8, block + 8, 4);
    for (int i = 0; i < 12; ++i) {
        EXPECT_TRUE(std::isprint(static_cast<unsigned char>(vendor[i]))) << vendor;
    }
    const uint32_t highestLeaf =
        block[0] | block[1] << 8 | block[2] << 16 | uint32_t{block[3]} << 24;
    EXPECT_GE(highestLeaf, 1u);
    // Leaf 1 EAX, the signature, is never 0 on a processor with CPUID.
    EXPECT_NE(block[16] | block[17] | block[18] | block[19], 0);
#else
    for (size_t i = 0; i < kCpuIdBlockSize; ++i) {
        EXPECT_EQ(block[i], 0) << i;
    }
#endif
}

#if defined(__x86_64__) || defined(__i386__)
TEST(CpuId, MeasuresAClockOnThisProcessor) {
    // Sleeps one second; only the presence of an answer is checked, not its size.
    EXPECT_GT(measureCpuMhz(), 0);
}
#endif

}  // namespace
}  // namespace vorn::test
