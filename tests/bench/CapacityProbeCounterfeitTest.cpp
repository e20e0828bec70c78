// The capacity probe against every counterfeit kind behind every kind of write cache,
// on the in-process counterfeit device: the fast probe never reports more than the
// real size and stays within its resolution below it; the full probe is exact; faults
// of the medium end the check without a verdict and without the remaining requests.

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "bench/CapacityProbe.h"
#include "bench/CounterfeitProbe.h"
#include "support/CounterfeitDevice.h"

namespace vorn::test {
namespace {

using medium::Beyond;

enum class Cache { None, All, BeyondOnly };

struct Lie {
    Beyond beyond;
    uint64_t real;
    uint64_t claimed;
    Cache cache;
    uint64_t cacheBytes;
};

std::string describe(const Lie& s, bool full) {
    static const char* const kCaches[] = {"no cache", "cache of all writes", "cache past the end"};
    return std::string(medium::beyondName(s.beyond)) + " real " + std::to_string(s.real) +
           " claimed " + std::to_string(s.claimed) + " " + kCaches[static_cast<int>(s.cache)] +
           " " + std::to_string(s.cacheBytes / kMiB) + " MiB" + (full ? " full" : " fast");
}

CounterfeitDevice::Options deviceOptions(const Lie& s) {
    CounterfeitDevice::Options o;
    o.realBytes = s.real;
    o.claimedBytes = s.claimed;
    o.beyond = s.beyond;
    o.cacheBytes = s.cache == Cache::None ? 0 : s.cacheBytes;
    o.cacheBeyondOnly = s.cache == Cache::BeyondOnly;
    return o;
}

SectorFault expectedFault(Beyond beyond) {
    switch (beyond) {
        case Beyond::Wrap:
            return SectorFault::Wraps;
        // A refused write is the first evidence, before any read.
        case Beyond::Error:
        case Beyond::Refuse:
            return SectorFault::WriteError;
        case Beyond::Stale:
        case Beyond::Random:
            return SectorFault::OtherData;
        case Beyond::Drop:
            break;
    }
    return SectorFault::Zeros;
}

void expectCounterfeitAnswer(const Lie& s, const ProbeOptions& options) {
    SCOPED_TRACE(describe(s, options.full));
    CounterfeitDevice device(deviceOptions(s));
    CapacityResult result;
    ASSERT_EQ(probe(device, options, result), ProbeStatus::Done);
    EXPECT_EQ(result.verdict, CapacityVerdict::Counterfeit);
    EXPECT_EQ(result.fault, expectedFault(s.beyond));
    EXPECT_EQ(result.claimedBytes, s.claimed);
    EXPECT_LE(result.verifiedBytes, s.real);
    const uint64_t missing = (s.claimed - s.real / 512 * 512) / 512;
    if (options.full) {
        EXPECT_EQ(result.verifiedBytes, s.real / 512 * 512);
        EXPECT_EQ(result.failedSector, s.real / 512);
        // A cache may have answered for a few sectors high up in the first read-back.
        EXPECT_LE(result.failedSectors, missing);
        EXPECT_GE(result.failedSectors + s.cacheBytes / 512, missing);
    } else {
        EXPECT_LE(s.real - result.verifiedBytes, result.resolutionBytes);
        EXPECT_GE(result.failedSector, s.real / 512);
    }
}

// Each counterfeit kind behind each cache kind up to the stated limit (the run size;
// on a medium that wraps, also below its real size), at real sizes below the runs,
// of a power of two and of neither.
TEST(CapacityProbeCounterfeit, FastProbeNeverOverstatesBehindCachesUpToTheLimit) {
    const uint64_t claimed = 128 * kMiB;
    for (Beyond beyond : {Beyond::Wrap, Beyond::Drop, Beyond::Error, Beyond::Refuse, Beyond::Stale,
                          Beyond::Random}) {
        for (uint64_t real : {5 * kMiB, 32 * kMiB, 12 * kMiB + 7 * 512}) {
            for (Cache cache : {Cache::None, Cache::All, Cache::BeyondOnly}) {
                uint64_t cacheBytes = kScaledRun;
                if (beyond == Beyond::Wrap && cacheBytes >= real) {
                    cacheBytes = real - kMiB;
                }
                expectCounterfeitAnswer({beyond, real, claimed, cache, cacheBytes}, scaled(false));
            }
        }
    }
}

TEST(CapacityProbeCounterfeit, FullProbeIsExactBehindAnyCacheSmallerThanTheMissingPart) {
    const uint64_t claimed = 24 * kMiB;
    for (Beyond beyond : {Beyond::Drop, Beyond::Error, Beyond::Refuse, Beyond::Stale}) {
        for (uint64_t real : {5 * kMiB, 11 * kMiB + 7 * 512}) {
            const uint64_t missing = claimed - real;
            for (Cache cache : {Cache::All, Cache::BeyondOnly}) {
                for (uint64_t cacheBytes : {1 * kMiB, 6 * kMiB, missing - 512 * 1024}) {
                    expectCounterfeitAnswer({beyond, real, claimed, cache, cacheBytes},
                                            scaled(true));
                }
            }
        }
    }
    // A medium that wraps: caches up to its real size.
    for (uint64_t real : {5 * kMiB, 11 * kMiB + 7 * 512}) {
        for (uint64_t cacheBytes : {0 * kMiB, 1 * kMiB, real - kMiB}) {
            expectCounterfeitAnswer({Beyond::Wrap, real, claimed, Cache::All, cacheBytes},
                                    scaled(true));
        }
    }
}

// The cases found in the field, at the probe's own defaults: a 1 MiB cache of
// writes past the end of a 256 MiB medium claiming 4 GB; 40 MiB of storage behind a
// 48 MiB cache; and the same with --full.
TEST(CapacityProbeCounterfeit, ReportedCachesNoLongerFoolTheProbe) {
    const Lie cases[] = {
        {Beyond::Drop, 256 * kMiB, 4'000'000'000, Cache::BeyondOnly, 1 * kMiB},
        {Beyond::Drop, 40 * kMiB, 4'000'000'000, Cache::All, 48 * kMiB},
        {Beyond::Drop, 40 * kMiB, 4'000'000'000, Cache::BeyondOnly, 48 * kMiB},
    };
    for (const Lie& c : cases) {
        expectCounterfeitAnswer(c, ProbeOptions{});
    }
    ProbeOptions full;
    full.full = true;
    expectCounterfeitAnswer({Beyond::Drop, 40 * kMiB, 512 * kMiB, Cache::All, 48 * kMiB}, full);
    expectCounterfeitAnswer({Beyond::Drop, 256 * kMiB, 512 * kMiB, Cache::BeyondOnly, 1 * kMiB},
                            full);
}

// Larger than the limit, a cache of every write holds the points the fast probe reads
// back; the full probe still finds the exact size behind it.
TEST(CapacityProbeCounterfeit, CacheBeyondTheLimitMayFoolOnlyTheFastProbe) {
    const Lie s{Beyond::Drop, 5 * kMiB, 24 * kMiB, Cache::All, 16 * kMiB};
    CounterfeitDevice fast(deviceOptions(s));
    CapacityResult result;
    ASSERT_EQ(probe(fast, scaled(false), result), ProbeStatus::Done);
    EXPECT_GT(result.verifiedBytes, s.real);
    CounterfeitDevice full(deviceOptions(s));
    ASSERT_EQ(probe(full, scaled(true), result), ProbeStatus::Done);
    EXPECT_EQ(result.verifiedBytes, s.real);
}

TEST(CapacityProbeCounterfeit, GenuineMediaBehindCachesStayGenuine) {
    for (Cache cache : {Cache::None, Cache::All}) {
        for (bool full : {false, true}) {
            const Lie s{Beyond::Drop, 160 * kMiB, 0, cache, 16 * kMiB};
            SCOPED_TRACE(describe(s, full));
            CounterfeitDevice::Options o = deviceOptions(s);
            o.claimedBytes = o.realBytes;
            CounterfeitDevice device(o);
            CapacityResult result;
            ASSERT_EQ(probe(device, full, result), ProbeStatus::Done);
            EXPECT_EQ(result.verdict, CapacityVerdict::Genuine);
            EXPECT_EQ(result.verifiedBytes, s.real);
            if (full) {
                EXPECT_EQ(result.bytesWritten, s.real);
                EXPECT_EQ(result.bytesRead, s.real);
            }
        }
    }
}

// Faults are no verdicts: a medium that goes away mid-pass (early in the first write
// pass, late in it, in the read-back), or that refuses writes where it had kept data,
// ends the check at once with what happened.
TEST(CapacityProbeCounterfeit, FaultsEndTheCheckWithoutAVerdict) {
    struct Fault {
        bool full;
        uint64_t vanishAfter;
        uint64_t failWritesAfter;
    };
    const Fault faults[] = {
        {false, 3, UINT64_MAX},  {false, 100, UINT64_MAX}, {false, 200, UINT64_MAX},
        {true, 3, UINT64_MAX},   {true, 300, UINT64_MAX},  {true, 700, UINT64_MAX},
        {false, UINT64_MAX, 40}, {false, UINT64_MAX, 100}, {true, UINT64_MAX, 40},
        {true, UINT64_MAX, 300},
    };
    for (const Fault& f : faults) {
        const bool vanishes = f.vanishAfter != UINT64_MAX;
        const uint64_t after = vanishes ? f.vanishAfter : f.failWritesAfter;
        SCOPED_TRACE(std::string(vanishes ? "vanishes" : "writes fail") + " after " +
                     std::to_string(after) + (f.full ? " full" : " fast"));
        CounterfeitDevice::Options o;
        o.realBytes = o.claimedBytes = 128 * kMiB;
        o.vanishAfter = f.vanishAfter;
        o.failWritesAfter = f.failWritesAfter;
        CounterfeitDevice device(o);
        CapacityResult result;
        ASSERT_EQ(probe(device, f.full, result), ProbeStatus::Stopped);
        EXPECT_EQ(result.stop, vanishes ? ProbeStop::Gone : ProbeStop::WriteRefused);
        if (vanishes) {
            EXPECT_EQ(result.stopError, ENODEV);
            // One request to learn it, at most one retry of a single sector.
            EXPECT_LE(device.requestsAfterVanishing(), 2u);
        }
        // Only what the medium took is counted.
        EXPECT_LE(result.bytesWritten, after * 262144);
    }
}

TEST(CapacityProbeCounterfeit, NoStorageAtTheStartIsAFailedMedium) {
    // Everything answers zeros: the verdict is a counterfeit with nothing usable.
    Lie s{Beyond::Drop, 0, 64 * kMiB, Cache::None, 0};
    CounterfeitDevice zeros(deviceOptions(s));
    CapacityResult result;
    ASSERT_EQ(probe(zeros, false, result), ProbeStatus::Done);
    EXPECT_EQ(result.verdict, CapacityVerdict::Counterfeit);
    EXPECT_EQ(result.verifiedBytes, 0u);
    // Every read failing from the start allows no verdict at all.
    s.beyond = Beyond::Error;
    for (bool full : {false, true}) {
        CounterfeitDevice unreadable(deviceOptions(s));
        ASSERT_EQ(probe(unreadable, full, result), ProbeStatus::Stopped);
        EXPECT_EQ(result.bytesWritten, 0u);
    }
}

}  // namespace
}  // namespace vorn::test
