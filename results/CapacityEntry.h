#pragma once

#include <optional>
#include <string>

#include "bench/CapacityProbe.h"
#include "results/RunSteps.h"

namespace vorn {

class I_VornCollection;

// The capacity check's entry of a result file, written only by a run that made the
// check. Value text "claimed,verified,verdict,sector size,failed sector,fault,wraps
// to,full,resolution" (bytes and sector numbers in decimal), no data.
inline constexpr const char* kCapacityKey = stepOf(StepKind::Capacity).resultKey;

[[nodiscard]] bool saveCapacityResult(I_VornCollection& file, const CapacityResult& result);
// Nothing when the entry is absent or does not read as one.
std::optional<CapacityResult> loadCapacityResult(I_VornCollection& file);

// "Real capacity: verified 64,000,000,000 bytes (125,000,000 sectors, 64.00 GB) of
// 64,000,000,000", or for a medium that holds less "Real capacity: only 268,435,456
// bytes (524,288 sectors, 0.26 GB) of the claimed 4,000,000,000 usable; data written
// beyond is lost". Exact in bytes and sectors; the gigabytes are never rounded up.
std::string capacityVerdictText(const CapacityResult& result);
// The first failed sector and how it failed; empty when none failed.
std::string capacityFailureText(const CapacityResult& result);
// Why a check that ended without a verdict ended; empty when it did not.
std::string capacityStopText(const CapacityResult& result);
// "genuine" or "counterfeit", for scripts.
const char* capacityVerdictName(CapacityVerdict verdict);
// One token per kind: "wraps", "zeros", "read_error", "other_data", "write_error".
const char* sectorFaultName(SectorFault fault);

}  // namespace vorn
