#include "bench/CapacityProbeFull.h"

#include <algorithm>

#include "bench/ProbeIo.h"

namespace vorn::probe {
namespace {

// Each pass at least halves what a cache can still hold below the boundary; far
// fewer are needed unless the cache is nearly as large as the missing part.
constexpr uint32_t kMaxSettlePasses = 64;

// What reading a range bottom up found.
struct Scan {
    SectorFault fault = SectorFault::None;
    uint64_t sector = 0;
    uint64_t other = 0;
    uint64_t failing = 0;
    uint64_t goodEnd = 0;  // the end of the highest run that kept its data
};

class FullProbe {
public:
    FullProbe(ProbeIo& io, CapacityResult& result) : io_(io), result_(result) {}
    ProbeStatus run();

private:
    Scan scan(uint64_t first, uint64_t end, uint64_t nonce, bool toFirstFailure);
    void settle(uint64_t nonce, Scan& found);
    ProbeStatus finish(const Scan& found);

    ProbeIo& io_;
    CapacityResult& result_;
    uint64_t sectors_ = 0;
};

Scan FullProbe::scan(uint64_t first, uint64_t end, uint64_t nonce, bool toFirstFailure) {
    Scan found;
    for (uint64_t at = first; at < end && !io_.halted();) {
        const auto count = static_cast<uint32_t>(std::min<uint64_t>(io_.chunkSectors(), end - at));
        const RunCheck check = io_.readRun(at, count, nonce);
        if (check.fault != SectorFault::None && found.fault == SectorFault::None) {
            found.fault = check.fault;
            found.sector = check.sector;
            found.other = check.other;
        }
        found.failing += check.failing;
        // Conservatively, good up to the run's first failure.
        if (check.failing == 0) {
            found.goodEnd = at + count;
        } else if (check.sector > at) {
            found.goodEnd = check.sector;
        }
        io_.advance(at, count);
        at += count;
        if (toFirstFailure && found.fault != SectorFault::None) {
            break;
        }
    }
    return found;
}

// Sectors just above the boundary may have been answered by a cache of what was
// written last. As many sectors above the boundary as lie below it are written
// (they are missing: a cache that keeps them pushes the older ones out), and the
// part below is read again, until the boundary stays put.
void FullProbe::settle(uint64_t nonce, Scan& found) {
    const uint64_t size = io_.sectorSize();
    auto none = [](uint64_t) { return false; };
    for (uint32_t pass = 1; pass <= kMaxSettlePasses && found.sector > 0; ++pass) {
        const uint64_t boundary = found.sector;
        const uint64_t extra = std::min(boundary, sectors_ - boundary);
        io_.beginPass("writing past the boundary", true, extra * size);
        (void)io_.writeDown(boundary, boundary + extra, probeRoundNonce(io_.nonce(), pass), none);
        io_.flush();
        io_.beginPass("reading again", false, boundary * size);
        const Scan again = scan(0, boundary, nonce, true);
        if (io_.halted() || again.fault == SectorFault::None) {
            return;
        }
        found.failing += boundary - again.sector;
        found.fault = again.fault;
        found.sector = again.sector;
        found.other = again.other;
        // Writing as many sectors as the boundary had below it pushed out all of them.
        if (extra >= boundary) {
            return;
        }
    }
}

ProbeStatus FullProbe::run() {
    sectors_ = io_.sectors();
    const uint64_t bytes = sectors_ * io_.sectorSize();
    const uint64_t nonce = probeRoundNonce(io_.nonce(), 0);
    io_.setEstimate(2 * bytes);
    io_.beginPass("writing", true, bytes, true);
    const uint64_t refused = io_.writeDown(0, sectors_, nonce, [](uint64_t) { return false; });
    io_.flush();
    io_.beginPass("reading", false, bytes, true);
    Scan found = io_.halted() ? Scan{} : scan(0, sectors_, nonce, false);
    if (io_.halted()) {
        return finish(found);
    }
    if (found.fault == SectorFault::ReadError && found.sector == 0) {
        io_.stopAt(ProbeStop::StartUnreadable, 0, 0);
    } else if (refused != kNoSector && (refused < found.goodEnd || refused == 0)) {
        io_.stopAt(ProbeStop::WriteRefused, refused, 0);
    } else if (refused != kNoSector &&
               (found.fault == SectorFault::None || refused <= found.sector)) {
        found.fault = SectorFault::WriteError;
        found.sector = refused;
        found.other = 0;
    }
    // On a medium that wraps, writes past the boundary land on real storage: the
    // settling passes would only overwrite what they check.
    if (!io_.halted() && found.fault != SectorFault::None && found.fault != SectorFault::Wraps) {
        settle(nonce, found);
    }
    return finish(found);
}

ProbeStatus FullProbe::finish(const Scan& found) {
    if (io_.stopped()) {
        return ProbeStatus::Stopped;
    }
    if (io_.cancelled()) {
        return ProbeStatus::Cancelled;
    }
    const bool failed = found.fault != SectorFault::None;
    if (failed && !io_.stillAnswersBelow(found.sector)) {
        return ProbeStatus::Stopped;
    }
    result_.fault = found.fault;
    result_.failedSector = failed ? found.sector : 0;
    result_.wrapsTo = found.fault == SectorFault::Wraps ? found.other : 0;
    result_.failedSectors = found.failing;
    const uint64_t verified = failed ? found.sector : sectors_;
    result_.verifiedBytes = verified * io_.sectorSize();
    result_.verdict = failed ? CapacityVerdict::Counterfeit : CapacityVerdict::Genuine;
    return ProbeStatus::Done;
}

}  // namespace

ProbeStatus probeFull(ProbeIo& io, CapacityResult& result) {
    return FullProbe(io, result).run();
}

}  // namespace vorn::probe
