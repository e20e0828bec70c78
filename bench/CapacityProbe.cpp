#include "bench/CapacityProbe.h"

#include <algorithm>
#include <vector>

#include "platform/Counter.h"
#include "storage/VornDevice.h"

namespace vorn {
namespace {

constexpr uint32_t kChunkBytes = 262144;
constexpr uint32_t kPointBytes = 4096;
// The first round's points are at most this many; the filler grows instead, so the
// points stay no farther apart than the filler is long (see the header).
constexpr uint64_t kMaxFirstPoints = 4096;
constexpr uint64_t kPartsPerRound = 64;

// What a read-back of a run of sectors found: its lowest failing sector, how it
// failed, and how many of the run's sectors failed.
struct RunCheck {
    SectorFault fault = SectorFault::None;
    uint64_t sector = 0;
    uint64_t other = 0;
    uint64_t failing = 0;
};

class Probe {
public:
    Probe(I_VornDevice& device, const ProbeOptions& options, I_ProbeObserver& observer,
          CapacityResult& result)
        : device_(device), options_(options), observer_(observer), result_(result) {}

    ProbeStatus run();

private:
    bool prepare();
    ProbeStatus runFull();
    ProbeStatus runFast();
    uint64_t fillerSectors() const;
    void placePoints(uint64_t lo, uint64_t hi, uint64_t step, bool withLast);
    uint32_t pointCount(uint64_t point) const;
    bool writeRound(uint64_t filler, uint64_t nonce);
    void readRound(uint64_t nonce, uint64_t& lo, uint64_t& hi);
    void writeRun(uint64_t sector, uint32_t count, uint64_t nonce);
    RunCheck readRun(uint64_t sector, uint32_t count, uint64_t nonce);
    void checkSectors(uint64_t sector, uint32_t count, uint64_t nonce, RunCheck& check);
    bool writeDown(uint64_t first, uint64_t end, uint64_t nonce);
    void noteFailure(const RunCheck& check);
    void beginPass(bool writing, uint64_t totalBytes);
    bool advance(uint64_t bytes);
    void finish(uint64_t verifiedSectors);

    I_VornDevice& device_;
    const ProbeOptions& options_;
    I_ProbeObserver& observer_;
    CapacityResult& result_;
    uint64_t sectors_ = 0;
    uint32_t size_ = 0;
    uint32_t chunkSectors_ = 0;
    uint32_t pointSectors_ = 0;
    uint64_t nonce_ = 0;
    std::vector<uint8_t> buffer_;
    std::vector<uint64_t> points_;
    ProbeProgress pass_;
    uint64_t passStart_ = 0;
};

uint64_t elapsedNs(uint64_t start) {
    const uint64_t frequency = platform::counterFrequency();
    if (frequency == 0) {
        return 0;
    }
    const double ticks = static_cast<double>(platform::counterNow() - start);
    return static_cast<uint64_t>(ticks * 1e9 / static_cast<double>(frequency));
}

bool Probe::prepare() {
    size_ = device_.mediaBlockSize();
    sectors_ = device_.mediaSectors();
    if (sectors_ == 0 || size_ < kProbeSectorMinimum || size_ % 8 != 0) {
        return false;
    }
    chunkSectors_ = std::max<uint32_t>(1, kChunkBytes / size_);
    pointSectors_ = std::max<uint32_t>(1, kPointBytes / size_);
    buffer_.assign(static_cast<size_t>(chunkSectors_) * size_, 0);
    points_.reserve(kMaxFirstPoints + kPartsPerRound + 2);
    nonce_ = options_.nonce != 0 ? options_.nonce
                                 : platform::counterNow() ^ reinterpret_cast<uintptr_t>(this);
    result_ = CapacityResult{};
    result_.claimedBytes = sectors_ * size_;
    result_.sectorSize = size_;
    result_.full = options_.full;
    return true;
}

ProbeStatus Probe::run() {
    if (!prepare()) {
        return ProbeStatus::NoMedium;
    }
    if (!device_.write(0, 0, nullptr)) {
        return ProbeStatus::NotWritable;
    }
    return options_.full ? runFull() : runFast();
}

void Probe::beginPass(bool writing, uint64_t totalBytes) {
    pass_ = ProbeProgress{writing, 0, totalBytes, 0};
    passStart_ = platform::counterNow();
    observer_.progress(pass_);
}

// False when the user asked to stop.
bool Probe::advance(uint64_t bytes) {
    pass_.doneBytes += bytes;
    pass_.elapsedNs = elapsedNs(passStart_);
    observer_.progress(pass_);
    return !observer_.cancelRequested();
}

void Probe::finish(uint64_t verifiedSectors) {
    result_.verifiedBytes = verifiedSectors * size_;
    result_.verdict =
        verifiedSectors >= sectors_ ? CapacityVerdict::Genuine : CapacityVerdict::Counterfeit;
}

void Probe::noteFailure(const RunCheck& check) {
    if (check.fault == SectorFault::None) {
        return;
    }
    if (options_.full) {
        result_.failedSectors += check.failing;
    }
    if (result_.fault == SectorFault::None || check.sector < result_.failedSector) {
        result_.fault = check.fault;
        result_.failedSector = check.sector;
        result_.wrapsTo = check.fault == SectorFault::Wraps ? check.other : 0;
    }
}

// A refused request is retried sector by sector from its bottom up to the first
// refusal: storage that ends inside the run still gets the sectors it has.
void Probe::writeRun(uint64_t sector, uint32_t count, uint64_t nonce) {
    for (uint32_t i = 0; i < count; ++i) {
        fillProbeSector(&buffer_[static_cast<size_t>(i) * size_], size_, nonce, sector + i);
    }
    result_.bytesWritten += static_cast<uint64_t>(count) * size_;
    if (device_.write(sector, count, buffer_.data()) || count == 1) {
        return;
    }
    for (uint32_t i = 0; i < count; ++i) {
        if (!device_.write(sector + i, 1, &buffer_[static_cast<size_t>(i) * size_])) {
            return;
        }
    }
}

void Probe::checkSectors(uint64_t sector, uint32_t count, uint64_t nonce, RunCheck& check) {
    for (uint32_t i = 0; i < count; ++i) {
        uint64_t other = 0;
        const SectorFault fault = checkProbeSector(&buffer_[static_cast<size_t>(i) * size_], size_,
                                                   nonce, sector + i, other);
        if (fault != SectorFault::None) {
            if (check.fault == SectorFault::None) {
                check = RunCheck{fault, sector + i, other, 0};
            }
            ++check.failing;
        }
    }
}

// A refused read is retried sector by sector up to the first refusal; the rest of
// the run counts as unreadable.
RunCheck Probe::readRun(uint64_t sector, uint32_t count, uint64_t nonce) {
    RunCheck check;
    result_.bytesRead += static_cast<uint64_t>(count) * size_;
    if (device_.read(sector, count, buffer_.data())) {
        checkSectors(sector, count, nonce, check);
        return check;
    }
    for (uint32_t i = 0; i < count; ++i) {
        if (!device_.read(sector + i, 1, buffer_.data())) {
            if (check.fault == SectorFault::None) {
                check = RunCheck{SectorFault::ReadError, sector + i, 0, 0};
            }
            check.failing += count - i;
            break;
        }
        checkSectors(sector + i, 1, nonce, check);
    }
    return check;
}

// Top down, so the lower of two sectors sharing storage is written last.
bool Probe::writeDown(uint64_t first, uint64_t end, uint64_t nonce) {
    for (uint64_t top = end; top > first;) {
        const uint64_t start = top - std::min<uint64_t>(chunkSectors_, top - first);
        const auto count = static_cast<uint32_t>(top - start);
        writeRun(start, count, nonce);
        top = start;
        if (!advance(static_cast<uint64_t>(count) * size_)) {
            return false;
        }
    }
    return true;
}

ProbeStatus Probe::runFull() {
    const uint64_t nonce = probeRoundNonce(nonce_, 0);
    beginPass(true, sectors_ * size_);
    if (!writeDown(0, sectors_, nonce)) {
        return ProbeStatus::Cancelled;
    }
    (void)device_.flush();
    beginPass(false, sectors_ * size_);
    for (uint64_t at = 0; at < sectors_;) {
        const auto count = static_cast<uint32_t>(std::min<uint64_t>(chunkSectors_, sectors_ - at));
        noteFailure(readRun(at, count, nonce));
        at += count;
        if (!advance(static_cast<uint64_t>(count) * size_)) {
            return ProbeStatus::Cancelled;
        }
    }
    finish(result_.fault == SectorFault::None ? sectors_ : result_.failedSector);
    return ProbeStatus::Done;
}

// Long enough to push the points out of any cache up to the option's size and to
// keep the first round's points no farther apart than itself; a quarter of the
// medium at most. A whole number of point blocks.
uint64_t Probe::fillerSectors() const {
    const uint64_t wanted = std::max(options_.cacheDefeatBytes / size_,
                                     (sectors_ + kMaxFirstPoints - 1) / kMaxFirstPoints);
    const uint64_t filler = std::min(wanted, sectors_ / 4);
    return filler / pointSectors_ * pointSectors_;
}

void Probe::placePoints(uint64_t lo, uint64_t hi, uint64_t step, bool withLast) {
    points_.clear();
    for (uint64_t p = lo; p < hi; p += step) {
        points_.push_back(p);
    }
    const uint64_t last = sectors_ > pointSectors_ ? sectors_ - pointSectors_ : 0;
    if (withLast && points_.back() < last) {
        points_.push_back(last);
    }
}

uint32_t Probe::pointCount(uint64_t point) const {
    return static_cast<uint32_t>(std::min<uint64_t>(pointSectors_, sectors_ - point));
}

// Points reaching above the filler top down, then the filler (which holds the points
// below it), then a flush.
bool Probe::writeRound(uint64_t filler, uint64_t nonce) {
    uint64_t total = filler * size_;
    for (uint64_t p : points_) {
        total += p + pointCount(p) > filler ? uint64_t{pointCount(p)} * size_ : 0;
    }
    beginPass(true, total);
    for (auto it = points_.rbegin(); it != points_.rend() && *it + pointCount(*it) > filler; ++it) {
        const uint32_t count = pointCount(*it);
        writeRun(*it, count, nonce);
        if (!advance(static_cast<uint64_t>(count) * size_)) {
            return false;
        }
    }
    if (!writeDown(0, filler, nonce)) {
        return false;
    }
    (void)device_.flush();
    return true;
}

// Reads the points bottom up to the first failing one: `hi` becomes its failing
// sector, `lo` the end of the highest point below it that kept its data.
void Probe::readRound(uint64_t nonce, uint64_t& lo, uint64_t& hi) {
    beginPass(false, points_.size() * static_cast<uint64_t>(pointSectors_) * size_);
    for (uint64_t p : points_) {
        const uint32_t count = pointCount(p);
        const RunCheck check = readRun(p, count, nonce);
        (void)advance(static_cast<uint64_t>(count) * size_);
        if (check.fault != SectorFault::None) {
            noteFailure(check);
            hi = std::min(hi, check.sector);
            return;
        }
        lo = std::max(lo, std::min(hi, p + count));
    }
}

ProbeStatus Probe::runFast() {
    const uint64_t filler = fillerSectors();
    const uint64_t resolution = std::max<uint64_t>(options_.resolutionBytes / size_, pointSectors_);
    result_.resolutionBytes = resolution * size_;
    uint64_t lo = 0;
    uint64_t hi = sectors_;
    uint64_t step = std::max<uint64_t>(filler, pointSectors_);
    for (uint32_t round = 0;; ++round) {
        const uint64_t nonce = probeRoundNonce(nonce_, round);
        placePoints(lo, hi, step, round == 0);
        if (!writeRound(filler, nonce)) {
            return ProbeStatus::Cancelled;
        }
        readRound(nonce, lo, hi);
        if (observer_.cancelRequested()) {
            return ProbeStatus::Cancelled;
        }
        if (lo >= sectors_ || hi - lo <= resolution) {
            break;
        }
        const uint64_t part = (hi - lo + kPartsPerRound - 1) / kPartsPerRound;
        step = std::max<uint64_t>(1, (part + pointSectors_ - 1) / pointSectors_) * pointSectors_;
    }
    finish(result_.fault == SectorFault::None ? sectors_ : lo);
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
    const uint64_t rate = probeRate(progress);
    if (rate == 0 || progress.doneBytes >= progress.totalBytes) {
        return 0;
    }
    return (progress.totalBytes - progress.doneBytes + rate - 1) / rate;
}

ProbeStatus probeCapacity(I_VornDevice& device, const ProbeOptions& options,
                          I_ProbeObserver& observer, CapacityResult& result) {
    return Probe(device, options, observer, result).run();
}

}  // namespace vorn
