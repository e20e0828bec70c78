#pragma once

#include <optional>
#include <string>

#include "bench/CapacityProbe.h"

namespace vorn {

class I_VornCollection;

// The capacity check's entry of a result file, written only by a run that made the
// check. Value text "claimed,verified,verdict,sector size,failed sector,fault,wraps
// to,full,resolution" (bytes and sector numbers in decimal), no data.
inline constexpr const char* kCapacityKey = "QKCCAPACITY";

[[nodiscard]] bool saveCapacityResult(I_VornCollection& file, const CapacityResult& result);
// Nothing when the entry is absent or does not read as one.
std::optional<CapacityResult> loadCapacityResult(I_VornCollection& file);

// "Real capacity: verified 64.0 GB of 64.0 GB", or for a medium that holds less
// "Real capacity: only 7.8 GB of the claimed 64.0 GB usable; data written beyond is
// lost". The usable size is rounded down, never up.
std::string capacityVerdictText(const CapacityResult& result);
// The first failed sector and how it failed; empty when none failed.
std::string capacityFailureText(const CapacityResult& result);
// "genuine" or "counterfeit", for scripts.
const char* capacityVerdictName(CapacityVerdict verdict);
const char* sectorFaultName(SectorFault fault);

}  // namespace vorn
