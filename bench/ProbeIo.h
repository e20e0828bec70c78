#pragma once

#include <cstdint>
#include <vector>

#include "bench/CapacityProbe.h"

namespace vorn {

class I_VornDevice;

namespace probe {

inline constexpr uint64_t kNoSector = UINT64_MAX;

// What a read-back of a run of sectors found: its lowest failing sector, how it
// failed and how many of the run's sectors failed; and the lowest sector that holds
// the data of a higher one (that higher sector shares its storage, so it is missing,
// while the lower one proves nothing either way).
struct RunCheck {
    SectorFault fault = SectorFault::None;
    uint64_t sector = 0;
    uint64_t other = 0;
    uint64_t failing = 0;
    uint64_t aliasedBy = kNoSector;

    bool good() const { return fault == SectorFault::None && aliasedBy == kNoSector; }
};

// The probe's transfers: identity sectors written and checked a run at a time, the
// bytes the medium accepted, progress and cancel, and the signs of a medium that has
// stopped answering, which end the check at once rather than after every remaining
// request has failed too.
class ProbeIo {
public:
    ProbeIo(I_VornDevice& device, I_ProbeObserver& observer, CapacityResult& result)
        : device_(device), observer_(observer), result_(result) {}

    // Sizes and buffers; false when the medium cannot carry identity sectors.
    bool prepare(uint64_t nonce);
    uint64_t sectors() const { return sectors_; }
    uint32_t sectorSize() const { return size_; }
    uint32_t chunkSectors() const { return chunkSectors_; }
    uint32_t pointSectors() const { return pointSectors_; }
    uint64_t nonce() const { return nonce_; }

    // Sectors below `end` have kept their data: a failure there is no boundary.
    void setKnownGood(uint64_t end) { knownGood_ = end; }

    // Writes `count` sectors of identity; a refused request is retried sector by
    // sector from its bottom. Answers the lowest sector refused, or kNoSector.
    uint64_t writeRun(uint64_t sector, uint32_t count, uint64_t nonce);
    // Top down from `end` to `first`, skipping the sectors `skip` says; the lowest
    // refused sector or kNoSector. Stops early when stopped or cancelled.
    template <typename Skip>
    uint64_t writeDown(uint64_t first, uint64_t end, uint64_t nonce, Skip skip);
    RunCheck readRun(uint64_t sector, uint32_t count, uint64_t nonce);
    void flush();

    void setEstimate(uint64_t allBytes) { progress_.allTotalBytes = allBytes; }
    void beginPass(const char* name, bool writing, uint64_t totalBytes, bool wholeMedium = false);
    // A request of `count` sectors from `sector` is done. False when the user asked to
    // stop or the medium stopped answering.
    bool advance(uint64_t sector, uint32_t count);
    bool stopped() const { return result_.stop != ProbeStop::None; }
    bool cancelled() { return observer_.cancelRequested(); }
    bool halted() { return stopped() || cancelled(); }
    void stopAt(ProbeStop why, uint64_t sector, int error);
    // Before a boundary becomes a verdict: the storage below it still reads. A medium
    // that fails there too has stopped answering; that is no counterfeit.
    bool stillAnswersBelow(uint64_t boundary);

private:
    void failed(uint64_t sector, bool write);
    void checkSectors(uint64_t sector, uint32_t count, uint64_t nonce, RunCheck& check);

    I_VornDevice& device_;
    I_ProbeObserver& observer_;
    CapacityResult& result_;
    uint64_t sectors_ = 0;
    uint32_t size_ = 0;
    uint32_t chunkSectors_ = 0;
    uint32_t pointSectors_ = 0;
    uint64_t nonce_ = 0;
    uint64_t knownGood_ = 0;
    uint32_t failedInARow_ = 0;
    std::vector<uint8_t> buffer_;
    std::vector<uint8_t> health_;
    ProbeProgress progress_;
    uint64_t passStart_ = 0;
    uint64_t allStart_ = 0;
};

template <typename Skip>
uint64_t ProbeIo::writeDown(uint64_t first, uint64_t end, uint64_t nonce, Skip skip) {
    uint64_t refused = kNoSector;
    for (uint64_t top = end; top > first && !halted();) {
        uint64_t start = top - std::min<uint64_t>(chunkSectors_, top - first);
        // A run never crosses a skipped sector: [start, top) is written whole.
        uint64_t next = start;
        for (uint64_t s = top; s > start; --s) {
            if (skip(s - 1)) {
                next = s - 1;
                start = s;
                break;
            }
        }
        if (top > start) {
            const auto count = static_cast<uint32_t>(top - start);
            const uint64_t lowest = writeRun(start, count, nonce);
            refused = std::min(refused, lowest);
            if (!advance(start, count)) {
                break;
            }
        }
        top = next;
    }
    return refused;
}

}  // namespace probe
}  // namespace vorn
