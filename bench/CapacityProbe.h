#pragma once

#include <cstdint>

#include "bench/ProbeSector.h"

namespace vorn {

class I_VornDevice;

// Whether a medium holds what it claims. The fast probe writes identity sectors at
// points spread over the whole claimed capacity, writes a run of filler at the start
// of the medium (so no write cache smaller than it still holds a point), flushes,
// reads the points back and then narrows the boundary between the highest point that
// kept its data and the lowest that did not, 64 parts per round, to the resolution.
// Points are written from the top of the medium down and the filler last, so on a
// medium whose addresses wrap, the lower (real) sector of two that share storage is
// always the one written last and the failure is found at the higher one.
// The full probe writes every sector (top down), flushes and verifies every sector.
struct ProbeOptions {
    bool full = false;
    // Written after the points of each round; a write cache up to this size is defeated.
    uint64_t cacheDefeatBytes = 64ull << 20;
    // The fast probe's verified size is at most this far below the real one.
    uint64_t resolutionBytes = 1ull << 20;
    // 0: a nonce of its own (clock and address).
    uint64_t nonce = 0;
};

enum class CapacityVerdict : uint32_t {
    Genuine = 1,      // every probed sector kept its own data up to the claimed end
    Counterfeit = 2,  // storage ends before the claimed end
};

struct CapacityResult {
    uint64_t claimedBytes = 0;
    uint64_t verifiedBytes = 0;
    uint32_t sectorSize = 0;
    CapacityVerdict verdict = CapacityVerdict::Genuine;
    // The lowest sector found failing, how, and (with Wraps) whose data it gave.
    uint64_t failedSector = 0;
    SectorFault fault = SectorFault::None;
    uint64_t wrapsTo = 0;
    // Only the full probe counts every failing sector.
    uint64_t failedSectors = 0;
    bool full = false;
    uint64_t resolutionBytes = 0;  // 0 with the full probe: the boundary is exact
    uint64_t bytesWritten = 0;
    uint64_t bytesRead = 0;
};

enum class ProbeStatus {
    Done,
    Cancelled,
    NoMedium,     // no sectors, or sectors of a size the identity does not fit
    NotWritable,  // writing is not armed on the device
};

// Where the probe is, after every request.
struct ProbeProgress {
    bool writing = false;
    uint64_t doneBytes = 0;   // of this pass
    uint64_t totalBytes = 0;  // of this pass (the fast probe: of this round)
    uint64_t elapsedNs = 0;   // since the pass began
};

// Bytes per second of a pass so far, and the seconds it still needs at that rate
// (0 while nothing is done yet).
uint64_t probeRate(const ProbeProgress& progress);
uint64_t probeSecondsLeft(const ProbeProgress& progress);

class I_ProbeObserver {
public:
    virtual ~I_ProbeObserver() = default;
    virtual void progress(const ProbeProgress& progress) = 0;
    virtual bool cancelRequested() = 0;
};

// Writes the medium (armed for writing by the caller): its data is lost. Runs on
// the calling thread; memory is taken once before the first transfer.
[[nodiscard]] ProbeStatus probeCapacity(I_VornDevice& device, const ProbeOptions& options,
                                        I_ProbeObserver& observer, CapacityResult& result);

}  // namespace vorn
