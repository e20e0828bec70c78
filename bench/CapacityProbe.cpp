#include "bench/CapacityProbe.h"

#include <algorithm>
#include <vector>

#include "bench/CapacityProbeFull.h"
#include "bench/ProbeIo.h"
#include "storage/VornDevice.h"

namespace vorn {
namespace {

using probe::kNoSector;
using probe::ProbeIo;
using probe::RunCheck;

// The first round's points are at most this many; the runs that defeat caches grow
// instead, so the points stay no farther apart than those runs are long.
constexpr uint64_t kMaxFirstPoints = 4096;
constexpr uint64_t kPartsPerRound = 64;
// A round that moves neither end of the boundary ends the narrowing.
constexpr uint32_t kMaxRounds = 40;

class FastProbe {
public:
    FastProbe(ProbeIo& io, const ProbeOptions& options, CapacityResult& result)
        : io_(io), options_(options), result_(result) {}

    ProbeStatus run();

private:
    uint64_t cacheRunSectors() const;
    void placePoints(uint64_t step, bool withLast);
    uint32_t pointCount(uint64_t point) const;
    bool isPoint(uint64_t sector) const;
    uint64_t pointSectorsIn(uint64_t first, uint64_t end) const;
    uint64_t runStartBelow(uint64_t end) const;
    uint64_t runEndAbove(uint64_t first) const;
    uint64_t roundBytes() const;
    bool writeRound(uint64_t nonce);
    void readRound(uint64_t nonce);
    void noteFailure(SectorFault fault, uint64_t sector, uint64_t other);
    ProbeStatus finish();

    ProbeIo& io_;
    const ProbeOptions& options_;
    CapacityResult& result_;
    uint64_t sectors_ = 0;
    uint64_t run_ = 0;  // sectors in each cache-defeating run
    uint64_t lo_ = 0;   // sectors below have kept their data
    uint64_t hi_ = 0;   // the lowest sector known to fail
    bool wraps_ = false;
    std::vector<uint64_t> points_;
    std::vector<uint64_t> refused_;  // per point: its lowest refused sector, or none
    uint64_t otherRefused_ = kNoSector;
};

// Long enough to push the points out of any cache up to the option's size and to
// keep the first round's points no farther apart than itself; a quarter of the
// medium at most. A whole number of point blocks.
uint64_t FastProbe::cacheRunSectors() const {
    const uint64_t size = io_.sectorSize();
    const uint64_t wanted = std::max(options_.cacheDefeatBytes / size,
                                     (sectors_ + kMaxFirstPoints - 1) / kMaxFirstPoints);
    const uint64_t run = std::min(wanted, sectors_ / 4);
    return run / io_.pointSectors() * io_.pointSectors();
}

void FastProbe::placePoints(uint64_t step, bool withLast) {
    points_.clear();
    for (uint64_t p = lo_; p < hi_; p += step) {
        points_.push_back(p);
    }
    const uint64_t last = sectors_ > io_.pointSectors() ? sectors_ - io_.pointSectors() : 0;
    if (withLast && (points_.empty() || points_.back() < last)) {
        points_.push_back(last);
    }
    refused_.assign(points_.size(), kNoSector);
}

uint32_t FastProbe::pointCount(uint64_t point) const {
    return static_cast<uint32_t>(std::min<uint64_t>(io_.pointSectors(), sectors_ - point));
}

bool FastProbe::isPoint(uint64_t sector) const {
    auto it = std::upper_bound(points_.begin(), points_.end(), sector);
    return it != points_.begin() && sector < *(it - 1) + pointCount(*(it - 1));
}

uint64_t FastProbe::pointSectorsIn(uint64_t first, uint64_t end) const {
    uint64_t inside = 0;
    for (uint64_t p : points_) {
        const uint64_t a = std::max(first, p), b = std::min(end, p + pointCount(p));
        inside += b > a ? b - a : 0;
    }
    return inside;
}

// A run writes `run_` sectors besides the points inside it, so a cache of exactly
// that size is still pushed out: where such a run ending at `end` starts...
uint64_t FastProbe::runStartBelow(uint64_t end) const {
    for (uint64_t start = end - std::min(end, run_);;) {
        const uint64_t wanted = run_ + pointSectorsIn(start, end);
        const uint64_t next = end - std::min(end, wanted);
        if (next == start) {
            return start;
        }
        start = next;
    }
}

// ...and where one starting at `first` ends.
uint64_t FastProbe::runEndAbove(uint64_t first) const {
    for (uint64_t end = std::min(sectors_, first + run_);;) {
        const uint64_t next = std::min(sectors_, first + run_ + pointSectorsIn(first, end));
        if (next == end) {
            return end;
        }
        end = next;
    }
}

uint64_t FastProbe::roundBytes() const {
    const uint64_t pointBytes = points_.size() * uint64_t{io_.pointSectors()} * io_.sectorSize();
    const uint64_t runs = 2 * run_ * io_.sectorSize();
    return 2 * pointBytes + runs;
}

// The points top down; a run past the boundary (at the top of the claimed range until
// one is found) around the points; a run at the start; a flush.
bool FastProbe::writeRound(uint64_t nonce) {
    io_.beginPass("writing", true,
                  roundBytes() - points_.size() * uint64_t{io_.pointSectors()} * io_.sectorSize());
    for (size_t i = points_.size(); i-- > 0 && !io_.halted();) {
        refused_[i] = io_.writeRun(points_[i], pointCount(points_[i]), nonce);
        io_.advance(points_[i], pointCount(points_[i]));
    }
    auto skipPoints = [this](uint64_t s) { return isPoint(s); };
    otherRefused_ = kNoSector;
    const uint64_t highEnd = std::min(sectors_, runEndAbove(hi_));
    otherRefused_ = io_.writeDown(runStartBelow(highEnd), highEnd, nonce, skipPoints);
    // Once a wrap was seen the points inside the start run are written again in order:
    // the run past the boundary may have landed on their storage, and the lowest of
    // the sectors sharing it, written last, is the one read back.
    auto skipNone = [](uint64_t) { return false; };
    const uint64_t startEnd = runEndAbove(0);
    const uint64_t refused = wraps_ ? io_.writeDown(0, startEnd, nonce, skipNone)
                                    : io_.writeDown(0, startEnd, nonce, skipPoints);
    otherRefused_ = std::min(otherRefused_, refused);
    io_.flush();
    return !io_.halted();
}

void FastProbe::noteFailure(SectorFault fault, uint64_t sector, uint64_t other) {
    if (sector >= hi_) {
        return;
    }
    hi_ = sector;
    result_.fault = fault;
    result_.failedSector = sector;
    result_.wrapsTo = fault == SectorFault::Wraps ? other : 0;
}

// Bottom up to the first failing point; a point that holds a higher sector's data
// proves nothing about itself but marks that sector as missing.
void FastProbe::readRound(uint64_t nonce) {
    io_.beginPass("reading", false,
                  points_.size() * uint64_t{io_.pointSectors()} * io_.sectorSize());
    uint64_t good = lo_;
    for (size_t i = 0; i < points_.size() && !io_.halted(); ++i) {
        const uint64_t p = points_[i];
        if (p >= hi_) {
            break;
        }
        if (refused_[i] != kNoSector) {
            if (p == 0) {
                io_.stopAt(ProbeStop::WriteRefused, refused_[i], 0);
            }
            noteFailure(SectorFault::WriteError, refused_[i], 0);
            break;
        }
        const RunCheck check = io_.readRun(p, pointCount(p), nonce);
        io_.advance(p, pointCount(p));
        if (p == 0 && check.fault == SectorFault::ReadError) {
            io_.stopAt(ProbeStop::StartUnreadable, check.sector, 0);
            return;
        }
        if (check.aliasedBy != kNoSector) {
            wraps_ = true;
            noteFailure(SectorFault::Wraps, check.aliasedBy, p);
        }
        if (check.fault != SectorFault::None) {
            wraps_ = wraps_ || check.fault == SectorFault::Wraps;
            noteFailure(check.fault, check.sector, check.other);
            break;
        }
        if (check.good()) {
            good = std::max(good, std::min(hi_, p + pointCount(p)));
        }
    }
    if (io_.halted()) {
        return;
    }
    // A write refused below a point that kept its data is no boundary but a fault.
    if (otherRefused_ < good) {
        io_.stopAt(ProbeStop::WriteRefused, otherRefused_, 0);
        return;
    }
    if (otherRefused_ != kNoSector) {
        noteFailure(SectorFault::WriteError, otherRefused_, 0);
    }
    lo_ = std::min(good, hi_);
    io_.setKnownGood(lo_);
}

ProbeStatus FastProbe::run() {
    sectors_ = io_.sectors();
    run_ = cacheRunSectors();
    const uint64_t point = io_.pointSectors();
    const uint64_t resolution =
        std::max<uint64_t>(options_.resolutionBytes / io_.sectorSize(), point);
    result_.resolutionBytes = resolution * io_.sectorSize();
    hi_ = sectors_;
    uint64_t step = std::max<uint64_t>(run_, point);
    for (uint32_t round = 0; round < kMaxRounds; ++round) {
        const uint64_t lastLo = lo_, lastHi = hi_;
        placePoints(step, round == 0);
        if (round == 0) {
            // This round and, for a counterfeit, about one more of the same cost.
            io_.setEstimate(2 * roundBytes());
        }
        if (!writeRound(probeRoundNonce(io_.nonce(), round))) {
            break;
        }
        readRound(probeRoundNonce(io_.nonce(), round));
        // A round that moved neither end (every point in the gap held another
        // sector's data) would repeat itself: the verified part stays as it is.
        const bool moved = lo_ != lastLo || hi_ != lastHi;
        if (io_.halted() || lo_ >= sectors_ || hi_ - lo_ <= resolution || !moved) {
            break;
        }
        const uint64_t part = (hi_ - lo_ + kPartsPerRound - 1) / kPartsPerRound;
        step = std::max<uint64_t>(1, (part + point - 1) / point) * point;
    }
    return finish();
}

ProbeStatus FastProbe::finish() {
    if (io_.stopped()) {
        return ProbeStatus::Stopped;
    }
    if (io_.cancelled()) {
        return ProbeStatus::Cancelled;
    }
    const uint64_t verified = std::min(lo_, sectors_);
    if (verified < sectors_ && !io_.stillAnswersBelow(verified)) {
        return ProbeStatus::Stopped;
    }
    result_.verifiedBytes = verified * io_.sectorSize();
    result_.verdict =
        verified >= sectors_ ? CapacityVerdict::Genuine : CapacityVerdict::Counterfeit;
    return ProbeStatus::Done;
}

}  // namespace

uint64_t probeRate(const ProbeProgress& progress) {
    if (progress.elapsedNs == 0) {
        return 0;
    }
    return static_cast<uint64_t>(static_cast<double>(progress.doneBytes) * 1e9 /
                                 static_cast<double>(progress.elapsedNs));
}

uint64_t probeSecondsLeft(const ProbeProgress& progress) {
    if (progress.allElapsedNs == 0 || progress.allDoneBytes == 0 ||
        progress.allDoneBytes >= progress.allTotalBytes) {
        return 0;
    }
    const double rate = static_cast<double>(progress.allDoneBytes) * 1e9 /
                        static_cast<double>(progress.allElapsedNs);
    const double left = static_cast<double>(progress.allTotalBytes - progress.allDoneBytes) / rate;
    return static_cast<uint64_t>(left + 0.999);
}

ProbeStatus probeCapacity(I_VornDevice& device, const ProbeOptions& options,
                          I_ProbeObserver& observer, CapacityResult& result) {
    result = CapacityResult{};
    probe::ProbeIo io(device, observer, result);
    if (!io.prepare(options.nonce)) {
        return ProbeStatus::NoMedium;
    }
    if (!device.write(0, 0, nullptr)) {
        return ProbeStatus::NotWritable;
    }
    result.claimedBytes = io.sectors() * io.sectorSize();
    result.sectorSize = io.sectorSize();
    result.full = options.full;
    if (options.full) {
        return probeFull(io, result);
    }
    return FastProbe(io, options, result).run();
}

}  // namespace vorn
