// The capacity probe against the FUSE test medium lying as counterfeit media do:
// each kind is found with its real size, behind a write cache too.

#include <gtest/gtest.h>

#include <string>

#include "bench/CapacityProbe.h"
#include "storage/LinuxDrive.h"
#include "support/TestMedium.h"

namespace vorn::test {
namespace {

constexpr uint64_t kMiB = 1024 * 1024;
constexpr uint32_t kBuffer = 524288;

class QuietObserver : public I_ProbeObserver {
public:
    void progress(const ProbeProgress&) override {}
    bool cancelRequested() override { return false; }
};

struct Case {
    const char* name;
    uint64_t realBytes;
    uint64_t claimedBytes;  // 0: no lie
    const char* beyond;
    uint64_t cacheBytes;
    bool full;
    SectorFault fault;
};

// Runs the probe on a medium set up as the case says; false when FUSE is missing.
bool probeMedium(const Case& c, const ProbeOptions& options, CapacityResult& result,
                 std::string& skip) {
    TestMedium medium(c.realBytes);
    if (!medium.ready()) {
        skip = medium.skipReason();
        return false;
    }
    std::string lines = "beyond=" + std::string(c.beyond) + "\n";
    if (c.claimedBytes != 0) {
        lines += "claim=" + std::to_string(c.claimedBytes) + "\n";
    }
    if (c.cacheBytes != 0) {
        // A case named "past the end" has a cache fed only by writes past the real end.
        const bool beyondOnly = std::string(c.name).find("past the end") != std::string::npos;
        lines += (beyondOnly ? "cache_beyond=" : "cache=") + std::to_string(c.cacheBytes) + "\n";
    }
    EXPECT_TRUE(medium.control(lines));
    auto disk = newLinuxDriveForPath(medium.mediumPath(), nullptr, kBuffer);
    EXPECT_NE(disk, nullptr);
    if (!disk) {
        return true;
    }
    EXPECT_TRUE(disk->enableWrite(1, 512, 0));
    QuietObserver observer;
    EXPECT_EQ(probeCapacity(*disk, options, observer, result), ProbeStatus::Done);
    return true;
}

TEST(CapacityProbeMedium, FindsEachCounterfeitKindWithItsRealSize) {
    const uint64_t real = 97 * kMiB + 7 * 512;  // not on a point or a block
    const uint64_t small = 23 * kMiB + 3 * 512;
    const Case cases[] = {
        {"genuine", 96 * kMiB, 0, "drop", 0, false, SectorFault::None},
        {"genuine full", 40 * kMiB, 0, "drop", 0, true, SectorFault::None},
        {"wrap", real, 256 * kMiB, "wrap", 0, false, SectorFault::Wraps},
        {"drop", real, 256 * kMiB, "drop", 0, false, SectorFault::Zeros},
        {"error", real, 256 * kMiB, "error", 0, false, SectorFault::WriteError},
        // Real storage smaller than the filler: the boundary lies inside it.
        {"wrap below the filler", small, 256 * kMiB, "wrap", 0, false, SectorFault::Wraps},
        {"drop below the filler", small, 256 * kMiB, "drop", 0, false, SectorFault::Zeros},
        // A cache far larger than the first round's points.
        {"wrap cached", real, 256 * kMiB, "wrap", 16 * kMiB, false, SectorFault::Wraps},
        {"drop cached", real, 256 * kMiB, "drop", 16 * kMiB, false, SectorFault::Zeros},
        {"error cached", real, 256 * kMiB, "error", 16 * kMiB, false, SectorFault::WriteError},
        {"wrap full", small, 64 * kMiB, "wrap", 0, true, SectorFault::Wraps},
        {"drop full cached", small, 64 * kMiB, "drop", 8 * kMiB, true, SectorFault::Zeros},
        {"error full", small, 64 * kMiB, "error", 0, true, SectorFault::WriteError},
        // Caches fed only by writes to storage the medium does not have.
        {"drop cached past the end", real, 256 * kMiB, "drop", 1 * kMiB, false, SectorFault::Zeros},
        {"stale cached past the end full", small, 64 * kMiB, "stale", 16 * kMiB, true,
         SectorFault::OtherData},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ProbeOptions options;
        options.full = c.full;
        CapacityResult result;
        std::string skip;
        if (!probeMedium(c, options, result, skip)) {
            GTEST_SKIP() << skip;
        }
        const uint64_t claimed = c.claimedBytes != 0 ? c.claimedBytes : c.realBytes;
        const uint64_t realSectors = c.realBytes / 512;
        EXPECT_EQ(result.claimedBytes, claimed);
        EXPECT_EQ(result.fault, c.fault);
        if (c.fault == SectorFault::None) {
            EXPECT_EQ(result.verdict, CapacityVerdict::Genuine);
            EXPECT_EQ(result.verifiedBytes, claimed);
            continue;
        }
        EXPECT_EQ(result.verdict, CapacityVerdict::Counterfeit);
        EXPECT_LE(result.verifiedBytes, c.realBytes);
        EXPECT_GE(result.failedSector, realSectors);
        if (c.full) {
            EXPECT_EQ(result.verifiedBytes, c.realBytes);
            EXPECT_EQ(result.failedSector, realSectors);
            // A cache may have answered for a few sectors high up in the first read-back.
            EXPECT_LE(result.failedSectors, claimed / 512 - realSectors);
            EXPECT_GE(result.failedSectors + c.cacheBytes / 512, claimed / 512 - realSectors);
        } else {
            EXPECT_EQ(result.resolutionBytes, 1 * kMiB);
            EXPECT_LE(c.realBytes - result.verifiedBytes, result.resolutionBytes);
            EXPECT_LT(result.failedSector - realSectors, result.resolutionBytes / 512);
        }
        if (c.fault == SectorFault::Wraps) {
            EXPECT_EQ(result.wrapsTo, result.failedSector % realSectors);
        }
    }
}

// Without enough written between the points and their read-back the cache answers
// for storage that is not there: the filler is what defeats it.
TEST(CapacityProbeMedium, CacheFoolsTheProbeWithoutTheFiller) {
    const Case c{"drop cached", 97 * kMiB, 256 * kMiB, "drop", 32 * kMiB, false, SectorFault::None};
    ProbeOptions options;
    options.cacheDefeatBytes = 0;  // only the points' spacing is left as filler
    CapacityResult result;
    std::string skip;
    if (!probeMedium(c, options, result, skip)) {
        GTEST_SKIP() << skip;
    }
    EXPECT_EQ(result.verdict, CapacityVerdict::Genuine);
    EXPECT_EQ(result.verifiedBytes, 256 * kMiB);
}

}  // namespace
}  // namespace vorn::test
