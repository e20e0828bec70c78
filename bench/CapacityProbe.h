#pragma once

#include <cstdint>

#include "bench/ProbeSector.h"

namespace vorn {

class I_VornDevice;

// Whether a medium holds what it claims.
//
// The fast probe writes identity sectors ("points") spread over the claimed capacity
// and reads them back, then narrows the boundary between the highest point that kept
// its data and the lowest that did not, 64 parts per round, to the resolution. Before
// any point is read back, other data is written after it, so no write cache up to
// `cacheDefeatBytes` still answers for it: a run of that many sectors past the
// current boundary (the top of the claimed range until one is found), which pushes
// out a cache that keeps only writes to storage the medium does not have, then a run
// at the start of the medium, which pushes out a cache of every write. Neither run is
// ever read back: a point is the only evidence. Points are written from the top down,
// so on a medium whose addresses wrap, the lower (real) sector of two that share
// storage is written last and the failure shows at the higher one; a point that holds
// a higher sector's data proves that sector missing. Once a wrap is seen, the run at
// the start rewrites the points inside it in the same top-down order, so the real
// ones hold their own data again after the run past the boundary landed on them.
//
// The full probe writes every sector top down and reads every one back. Where a
// sector fails, it writes as many sectors above that one as lie below it and reads
// the part below again, until the boundary stays put: sectors that a cache answered
// for are pushed out by then. Its boundary is exact.
//
// Limits: the fast probe defeats caches of up to `cacheDefeatBytes` (64 MiB, at most a
// quarter of a small medium) of either kind; on a wrapping medium, caches up to the
// real size, whichever is less. The full probe defeats any cache smaller than the
// medium's missing part; on a wrapping medium, caches up to its real size.
struct ProbeOptions {
    bool full = false;
    uint64_t cacheDefeatBytes = 64ull << 20;
    // The fast probe's verified size is at most this far below the real one.
    uint64_t resolutionBytes = 1ull << 20;
    // 0: a nonce of its own (clock and address).
    uint64_t nonce = 0;
};

enum class CapacityVerdict : uint32_t {
    Genuine = 1,      // every probed sector kept its own data up to the claimed end
    Counterfeit = 2,  // storage ends before the claimed end (at 0: the medium failed)
};

// Why a check ended without a verdict.
enum class ProbeStop : uint32_t {
    None = 0,
    Gone = 1,          // the medium answers ENODEV or ENOMEDIUM, or nothing at all
    Unreadable = 2,    // a read failed where the storage had shown itself real
    WriteRefused = 3,  // a write failed below sectors that keep their data
    StartUnreadable = 4,
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
    // What the medium accepted: refused requests are not counted.
    uint64_t bytesWritten = 0;
    uint64_t bytesRead = 0;
    // With ProbeStatus::Stopped: why, where, and the medium's errno.
    ProbeStop stop = ProbeStop::None;
    uint64_t stopSector = 0;
    int stopError = 0;
};

enum class ProbeStatus {
    Done,
    Cancelled,
    NoMedium,     // no sectors, or sectors of a size the identity does not fit
    NotWritable,  // writing is not armed on the device
    Stopped,      // the medium failed in a way that allows no verdict (see `stop`)
};

// Where the probe is, after every request.
struct ProbeProgress {
    bool writing = false;
    uint64_t doneBytes = 0;   // of this pass
    uint64_t totalBytes = 0;  // of this pass
    uint64_t elapsedNs = 0;   // since the pass began
    uint32_t pass = 0;        // from 1
    const char* passName = "";
    // The pass goes over every sector of the medium once, in order (the full check's
    // first write and read): its rate over the medium's length is worth keeping.
    bool wholeMedium = false;
    // The request just done: its first byte, from the medium's start.
    uint64_t atByte = 0;
    // Over the whole check: the total is an estimate that grows when rounds are added.
    uint64_t allDoneBytes = 0;
    uint64_t allTotalBytes = 0;
    uint64_t allElapsedNs = 0;
};

// Bytes per second of a pass so far (0 while nothing is done yet), and the seconds
// the whole check still needs at the rate of all passes so far.
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
