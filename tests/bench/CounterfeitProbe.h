#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "bench/CapacityProbe.h"
#include "support/CounterfeitDevice.h"

// The capacity probe on the in-process counterfeit device, shared by the probe's own
// tests and the tests of the texts stored from its answers.
namespace vorn::test {

inline constexpr uint64_t kMiB = 1024 * 1024;

class QuietObserver : public I_ProbeObserver {
public:
    void progress(const ProbeProgress& p) override {
        EXPECT_LE(p.doneBytes, p.totalBytes);
        EXPECT_LE(p.allDoneBytes, p.allTotalBytes);
        lastPass = p.pass;
    }
    bool cancelRequested() override { return false; }
    uint32_t lastPass = 0;
};

// The table runs at a small scale (runs of 8 MiB against caches up to 8 MiB) so it
// takes seconds; the cases users reported run at the real defaults.
inline constexpr uint64_t kScaledRun = 8 * kMiB;

inline ProbeOptions scaled(bool full) {
    ProbeOptions options;
    options.full = full;
    options.cacheDefeatBytes = kScaledRun;
    return options;
}

inline std::string capacityVerdict(const CapacityResult& r) {
    return "verified " + std::to_string(r.verifiedBytes) + " of " + std::to_string(r.claimedBytes);
}

inline ProbeStatus probe(CounterfeitDevice& device, const ProbeOptions& options,
                         CapacityResult& result) {
    EXPECT_TRUE(device.ready());
    EXPECT_TRUE(device.enableWrite(1, 512, 0));
    QuietObserver observer;
    return probeCapacity(device, options, observer, result);
}

inline ProbeStatus probe(CounterfeitDevice& device, bool full, CapacityResult& result) {
    ProbeOptions options;
    options.full = full;
    return probe(device, options, result);
}

}  // namespace vorn::test
