// The capacity probe's sector identity and the probe itself on the memory device:
// genuine media, storage that refuses requests past its end, cancel and refusals.
// The counterfeit kinds that need a lying medium run on the FUSE test medium.

#include <gtest/gtest.h>

#include <vector>

#include "bench/CapacityProbe.h"
#include "storage/EventLog.h"
#include "support/MemoryDevice.h"

namespace vorn::test {
namespace {

constexpr uint64_t kMiB = 1024 * 1024;

TEST(ProbeSector, ReadBackTellsOwnOtherZeroAndDamagedSectors) {
    for (uint32_t size : {512u, 4096u}) {
        SCOPED_TRACE(size);
        std::vector<uint8_t> sector(size);
        fillProbeSector(sector.data(), size, 77, 1234);
        uint64_t other = 0;
        EXPECT_EQ(checkProbeSector(sector.data(), size, 77, 1234, other), SectorFault::None);
        EXPECT_EQ(checkProbeSector(sector.data(), size, 77, 99, other), SectorFault::Wraps);
        EXPECT_EQ(other, 1234u);
        // Another round's data is stale, not a wrap.
        EXPECT_EQ(checkProbeSector(sector.data(), size, 78, 1234, other), SectorFault::OtherData);
        std::vector<uint8_t> damaged = sector;
        damaged[size - 1] ^= 0x01;
        EXPECT_EQ(checkProbeSector(damaged.data(), size, 77, 1234, other), SectorFault::OtherData);
        std::vector<uint8_t> zeros(size, 0);
        EXPECT_EQ(checkProbeSector(zeros.data(), size, 77, 1234, other), SectorFault::Zeros);
        // Two sectors differ beyond their header: the filler is the sector's own.
        std::vector<uint8_t> next(size);
        fillProbeSector(next.data(), size, 77, 1235);
        EXPECT_NE(std::vector<uint8_t>(sector.begin() + 32, sector.end()),
                  std::vector<uint8_t>(next.begin() + 32, next.end()));
    }
    EXPECT_NE(probeRoundNonce(5, 0), probeRoundNonce(5, 1));
}

class CountingObserver : public I_ProbeObserver {
public:
    void progress(const ProbeProgress& p) override {
        ++calls;
        EXPECT_LE(p.doneBytes, p.totalBytes);
        if (p.writing) {
            ++writingCalls;
        }
    }
    bool cancelRequested() override { return cancelAfter != 0 && calls >= cancelAfter; }
    uint64_t calls = 0;
    uint64_t writingCalls = 0;
    uint64_t cancelAfter = 0;
};

MemoryDevice::Options sized(uint64_t bytes, uint32_t sectorSize) {
    MemoryDevice::Options options;
    options.sectorSize = sectorSize;
    options.sectors = bytes / sectorSize;
    return options;
}

TEST(CapacityProbe, GenuineMediaVerifyFullyFastAndFull) {
    for (uint32_t sectorSize : {512u, 4096u}) {
        for (bool full : {false, true}) {
            SCOPED_TRACE(testing::Message() << sectorSize << (full ? " full" : " fast"));
            MemoryDevice device(sized(96 * kMiB + 3 * sectorSize, sectorSize));
            device.recordTransfers(false);
            ASSERT_TRUE(device.enableWrite(1, sectorSize, 0));
            CountingObserver observer;
            CapacityResult result;
            ProbeOptions options;
            options.full = full;
            ASSERT_EQ(probeCapacity(device, options, observer, result), ProbeStatus::Done);
            EXPECT_EQ(result.verdict, CapacityVerdict::Genuine);
            EXPECT_EQ(result.claimedBytes, device.mediaSectors() * sectorSize);
            EXPECT_EQ(result.verifiedBytes, result.claimedBytes);
            EXPECT_EQ(result.fault, SectorFault::None);
            EXPECT_GT(observer.writingCalls, 0u);
            if (full) {
                EXPECT_EQ(result.bytesWritten, result.claimedBytes);
                EXPECT_EQ(result.bytesRead, result.claimedBytes);
            } else {
                // One round: two cache-defeating runs of a quarter each, and the points.
                EXPECT_LT(result.bytesWritten, result.claimedBytes * 6 / 10);
            }
        }
    }
}

// Storage that refuses every request touching sectors at or past `real`.
void refusePast(MemoryDevice& device, uint64_t real) {
    device.failWhen = [real](uint64_t, const Transfer& t) {
        return t.kind != kEventFlush && t.sector + t.count > real;
    };
}

TEST(CapacityProbe, RefusedRequestsPastTheEndGiveTheRealSize) {
    const uint64_t real = 70 * 2048 + 5;  // 70 MiB and five sectors
    for (bool full : {false, true}) {
        SCOPED_TRACE(full ? "full" : "fast");
        MemoryDevice device(sized(128 * kMiB, 512));
        device.recordTransfers(false);
        refusePast(device, real);
        ASSERT_TRUE(device.enableWrite(1, 512, 0));
        CountingObserver observer;
        CapacityResult result;
        ProbeOptions options;
        options.full = full;
        ASSERT_EQ(probeCapacity(device, options, observer, result), ProbeStatus::Done);
        EXPECT_EQ(result.verdict, CapacityVerdict::Counterfeit);
        // The refused write is the first evidence.
        EXPECT_EQ(result.fault, SectorFault::WriteError);
        EXPECT_LE(result.verifiedBytes, real * 512);
        if (full) {
            EXPECT_EQ(result.verifiedBytes, real * 512);
            EXPECT_EQ(result.failedSector, real);
            EXPECT_EQ(result.failedSectors, device.mediaSectors() - real);
        } else {
            EXPECT_LE(real * 512 - result.verifiedBytes, result.resolutionBytes);
            EXPECT_GE(result.failedSector, real);
            EXPECT_EQ(result.failedSectors, 0u);
        }
    }
}

TEST(CapacityProbe, StopsOnCancelAndRefusesUnarmedOrMissingMedia) {
    MemoryDevice device(sized(64 * kMiB, 512));
    device.recordTransfers(false);
    CountingObserver observer;
    CapacityResult result;
    EXPECT_EQ(probeCapacity(device, {}, observer, result), ProbeStatus::NotWritable);
    EXPECT_EQ(device.writeCount(), 0u);
    ASSERT_TRUE(device.enableWrite(1, 512, 0));
    for (bool full : {false, true}) {
        CountingObserver cancelling;
        cancelling.cancelAfter = 3;
        ProbeOptions options;
        options.full = full;
        EXPECT_EQ(probeCapacity(device, options, cancelling, result), ProbeStatus::Cancelled);
        EXPECT_LE(cancelling.calls, 4u);
    }
    MemoryDevice empty(sized(0, 512));
    ASSERT_TRUE(empty.enableWrite(1, 512, 0));
    EXPECT_EQ(probeCapacity(empty, {}, observer, result), ProbeStatus::NoMedium);
    MemoryDevice odd(sized(64 * kMiB, 516));  // no whole number of identity words
    ASSERT_TRUE(odd.enableWrite(1, 516, 0));
    EXPECT_EQ(probeCapacity(odd, {}, observer, result), ProbeStatus::NoMedium);
}

TEST(CapacityProbe, RateFollowsThePassAndTimeLeftTheWholeCheck) {
    ProbeProgress p;
    p.doneBytes = 20'000'000;
    p.totalBytes = 100'000'000;
    p.elapsedNs = 2'000'000'000;
    // 60 MB of 200 MB done in 6 s: 14 s left for all passes, not 8 for this one.
    p.allDoneBytes = 60'000'000;
    p.allTotalBytes = 200'000'000;
    p.allElapsedNs = 6'000'000'000;
    EXPECT_EQ(probeRate(p), 10'000'000u);
    EXPECT_EQ(probeSecondsLeft(p), 14u);
    p.elapsedNs = 0;
    p.allElapsedNs = 0;
    EXPECT_EQ(probeRate(p), 0u);
    EXPECT_EQ(probeSecondsLeft(p), 0u);
}

}  // namespace
}  // namespace vorn::test
