#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/VornCollection.h"
#include "bench/DiskRwBenchmark.h"
#include "bench/RAccessBenchmark.h"
#include "results/RunDetails.h"
#include "results/RunSteps.h"

// How a run is stored in a result: the keys and encodings of the read and write tests,
// the two access tests and the test time (here), the user's details and the device
// record (results/RunDetails.h). The benchmarks only measure; the run, the chart, the
// listing, the report and the saved file all go through these functions.

namespace vorn {

using StoredZones = std::optional<std::vector<ZoneResult>>;

// One stored run; an absent entry stays empty.
struct RunRecord {
    std::array<StoredZones, kTestsPerTable> reads;   // in readTests order
    std::array<StoredZones, kTestsPerTable> writes;  // in writeTests order
    std::optional<AccessResult> random;              // StepKind::RandomAccess
    std::optional<AccessResult> sequential;          // StepKind::SequentialAccess
    std::optional<int32_t> testTime;                 // "QKCTIME", seconds since 1970 UTC
    StoredDetails details;                           // what the user told
    std::shared_ptr<StoredDrive> device;             // null without a whole record
};

RunRecord readRunRecord(I_VornCollection& result);

// A zoned test: value "write,quick,zones,block,warm-up,span,zone count", data the zones,
// 32 little-endian bytes each.
[[nodiscard]] bool addRwTest(I_VornCollection& file, const char* key, const DiskRwRecord& test);
// The zones of a stored test; false when absent or not a whole number of zones.
[[nodiscard]] bool readZones(I_VornCollection& result, const char* key,
                             std::vector<ZoneResult>* zones);
// The name a zoned test is stored under when no table key is given.
std::string defaultRwKey(const DiskRwRecord& test);

// An access test: value the request count, data 32 little-endian bytes.
[[nodiscard]] bool addAccessTest(I_VornCollection& file, const char* key, const AccessRecord& test);
// False (and *out unchanged) when absent or not exactly one record long.
[[nodiscard]] bool readAccess(I_VornCollection& result, const char* key, AccessResult* out);
std::string defaultAccessKey(const AccessRecord& test);

// Four little-endian bytes; false when absent or shorter (a missing time must not show
// up as a test on 1 January 1970).
[[nodiscard]] bool addTestTime(I_VornCollection& file, uint32_t seconds);
[[nodiscard]] bool readTestTime(I_VornCollection& result, int32_t* seconds);

// A tick count of an access result in hundredths of a millisecond; 0 without a
// counter frequency.
uint64_t accessHundredthsMs(const AccessResult& access, uint32_t ticks);

// The first zone's rate of a stored test, in bytes/s; empty without a zone.
std::optional<uint32_t> firstZoneRate(const StoredZones& test);

// The best first-zone rate of a table. The chart's summary stops at the first stored
// test without a zone; the selection listing passes over it and looks at every test.
enum class GapRule { StopAtEmptyTest, PassOverEmptyTest };
uint32_t bestRate(const std::array<StoredZones, kTestsPerTable>& tests, GapRule rule);

}  // namespace vorn
