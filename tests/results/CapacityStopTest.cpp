// The stop a failing medium leaves in the capacity probe's answer, in the words the
// result record keeps.
#include <gtest/gtest.h>

#include "bench/CounterfeitProbe.h"
#include "results/CapacityEntry.h"

namespace vorn::test {
namespace {

// Reads that start failing mid-check, below the boundary too, are no boundary.
TEST(CapacityProbeCounterfeit, ReadsFailingEverywhereAreAFaultNotACounterfeit) {
    for (bool full : {false, true}) {
        CounterfeitDevice::Options o;
        o.realBytes = o.claimedBytes = 64 * kMiB;
        o.failReadsAfter = full ? 100 : 3;  // inside the first read-back
        CounterfeitDevice device(o);
        CapacityResult result;
        ASSERT_EQ(probe(device, scaled(full), result), ProbeStatus::Stopped)
            << capacityVerdict(result);
        // Found at the boundary (unreadable below it) or by a run of failures.
        EXPECT_TRUE(result.stop == ProbeStop::Unreadable || result.stop == ProbeStop::Gone);
        EXPECT_EQ(capacityStopText(result).rfind("The medium stopped answering at sector ", 0), 0u);
    }
}

}  // namespace
}  // namespace vorn::test
