#include "bench/ProbeIo.h"

#include <algorithm>
#include <cerrno>

#include "platform/Counter.h"
#include "storage/VornDevice.h"

namespace vorn::probe {
namespace {

constexpr uint32_t kChunkBytes = 262144;
constexpr uint32_t kPointBytes = 4096;
// After this many failed requests in a row the start of the medium is read: a
// medium that no longer answers there has gone, whatever the rest would say.
constexpr uint32_t kFailuresBeforeHealthCheck = 64;

uint64_t elapsedNs(uint64_t start) {
    const uint64_t frequency = platform::counterFrequency();
    if (frequency == 0) {
        return 0;
    }
    const double ticks = static_cast<double>(platform::counterNow() - start);
    return static_cast<uint64_t>(ticks * 1e9 / static_cast<double>(frequency));
}

bool mediumGone(int error) {
    return error == ENODEV || error == ENOMEDIUM || error == ENXIO;
}

}  // namespace

bool ProbeIo::prepare(uint64_t nonce) {
    size_ = device_.mediaBlockSize();
    sectors_ = device_.mediaSectors();
    if (sectors_ == 0 || size_ < kProbeSectorMinimum || size_ % 8 != 0) {
        return false;
    }
    chunkSectors_ = std::max<uint32_t>(1, kChunkBytes / size_);
    pointSectors_ = std::max<uint32_t>(1, kPointBytes / size_);
    buffer_.assign(static_cast<size_t>(chunkSectors_) * size_, 0);
    health_.assign(static_cast<size_t>(pointSectors_) * size_, 0);
    nonce_ = nonce != 0 ? nonce : platform::counterNow() ^ reinterpret_cast<uintptr_t>(this);
    allStart_ = platform::counterNow();
    return true;
}

void ProbeIo::stopAt(ProbeStop why, uint64_t sector, int error) {
    if (stopped()) {
        return;
    }
    result_.stop = why;
    result_.stopSector = sector;
    result_.stopError = error;
}

// A failure below storage that has kept its data, an answer that the medium has
// gone, or a long run of failures while the start no longer reads, ends the check.
void ProbeIo::failed(uint64_t sector, bool write) {
    const int error = device_.lastError();
    if (mediumGone(error)) {
        stopAt(ProbeStop::Gone, sector, error);
        return;
    }
    if (sector < knownGood_) {
        stopAt(write ? ProbeStop::WriteRefused : ProbeStop::Unreadable, sector, error);
        return;
    }
    if (++failedInARow_ < kFailuresBeforeHealthCheck) {
        return;
    }
    failedInARow_ = 0;
    if (!device_.read(0, pointSectors_, health_.data())) {
        stopAt(ProbeStop::Gone, sector, device_.lastError());
    }
}

bool ProbeIo::stillAnswersBelow(uint64_t boundary) {
    if (boundary == 0 || stopped()) {
        return !stopped();
    }
    const uint64_t sector = boundary - std::min<uint64_t>(boundary, pointSectors_);
    const auto count = static_cast<uint32_t>(boundary - sector);
    if (device_.read(sector, count, health_.data())) {
        result_.bytesRead += uint64_t{count} * size_;
        return true;
    }
    const int error = device_.lastError();
    stopAt(mediumGone(error) ? ProbeStop::Gone : ProbeStop::Unreadable, sector, error);
    return false;
}

uint64_t ProbeIo::writeRun(uint64_t sector, uint32_t count, uint64_t nonce) {
    for (uint32_t i = 0; i < count; ++i) {
        fillProbeSector(&buffer_[static_cast<size_t>(i) * size_], size_, nonce, sector + i);
    }
    if (device_.write(sector, count, buffer_.data())) {
        failedInARow_ = 0;
        result_.bytesWritten += uint64_t{count} * size_;
        return kNoSector;
    }
    failed(sector, true);
    if (count == 1 || stopped()) {
        return sector;
    }
    // Storage that ends inside the run still gets the sectors it has.
    for (uint32_t i = 0; i < count; ++i) {
        if (!device_.write(sector + i, 1, &buffer_[static_cast<size_t>(i) * size_])) {
            failed(sector + i, true);
            return sector + i;
        }
        result_.bytesWritten += size_;
    }
    return kNoSector;
}

void ProbeIo::checkSectors(uint64_t sector, uint32_t count, uint64_t nonce, RunCheck& check) {
    for (uint32_t i = 0; i < count; ++i) {
        uint64_t other = 0;
        const uint8_t* bytes = &buffer_[static_cast<size_t>(i) * size_];
        const SectorFault fault = checkProbeSector(bytes, size_, nonce, sector + i, other);
        if (fault == SectorFault::None) {
            continue;
        }
        if (fault == SectorFault::Wraps && other > sector + i) {
            check.aliasedBy = std::min(check.aliasedBy, other);
            continue;
        }
        if (check.fault == SectorFault::None) {
            check.fault = fault;
            check.sector = sector + i;
            check.other = other;
        }
        ++check.failing;
    }
}

// A refused read is retried sector by sector up to the first refusal; the rest of
// the run counts as unreadable.
RunCheck ProbeIo::readRun(uint64_t sector, uint32_t count, uint64_t nonce) {
    RunCheck check;
    if (device_.read(sector, count, buffer_.data())) {
        failedInARow_ = 0;
        result_.bytesRead += uint64_t{count} * size_;
        checkSectors(sector, count, nonce, check);
        return check;
    }
    failed(sector, false);
    for (uint32_t i = 0; i < count && !stopped(); ++i) {
        if (count == 1 || !device_.read(sector + i, 1, buffer_.data())) {
            if (count != 1) {
                failed(sector + i, false);
            }
            if (check.fault == SectorFault::None) {
                check.fault = SectorFault::ReadError;
                check.sector = sector + i;
            }
            check.failing += count - i;
            break;
        }
        result_.bytesRead += size_;
        checkSectors(sector + i, 1, nonce, check);
    }
    return check;
}

void ProbeIo::flush() {
    if (!device_.flush() && mediumGone(device_.lastError())) {
        stopAt(ProbeStop::Gone, 0, device_.lastError());
    }
}

void ProbeIo::beginPass(const char* name, bool writing, uint64_t totalBytes, bool wholeMedium) {
    progress_.writing = writing;
    progress_.wholeMedium = wholeMedium;
    progress_.atByte = 0;
    progress_.doneBytes = 0;
    progress_.totalBytes = totalBytes;
    progress_.elapsedNs = 0;
    progress_.passName = name;
    ++progress_.pass;
    progress_.allTotalBytes =
        std::max(progress_.allTotalBytes, progress_.allDoneBytes + totalBytes);
    progress_.allElapsedNs = elapsedNs(allStart_);
    passStart_ = platform::counterNow();
    observer_.progress(progress_);
}

bool ProbeIo::advance(uint64_t sector, uint32_t count) {
    const uint64_t bytes = uint64_t{count} * size_;
    progress_.atByte = sector * size_;
    progress_.doneBytes = std::min(progress_.doneBytes + bytes, progress_.totalBytes);
    progress_.allDoneBytes += bytes;
    progress_.allTotalBytes = std::max(progress_.allTotalBytes, progress_.allDoneBytes);
    progress_.elapsedNs = elapsedNs(passStart_);
    progress_.allElapsedNs = elapsedNs(allStart_);
    observer_.progress(progress_);
    return !halted();
}

}  // namespace vorn::probe
