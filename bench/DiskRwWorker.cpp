// The measuring side of the zoned benchmark: runs on its own worker thread.

#include <exception>
#include <vector>

#include "base/DiagLog.h"
#include "bench/DiskRwBenchmark.h"
#include "bench/Statistics.h"
#include "platform/Counter.h"
#include "platform/ThreadPriority.h"
#include "storage/VornDevice.h"

namespace vorn {

void DiskRwBenchmark::DiskRwThreadHelper() {
    platform::setTimeCriticalPriority();
    try {
        measure();
    } catch (const std::exception& e) {
        logException("DiskRwThreadHeadler", e);
        status_.store(kStatusFailed, std::memory_order_relaxed);
    } catch (...) {
        logUnknownException("DiskRwThreadHelper", -1);
        status_.store(kStatusFailed, std::memory_order_relaxed);
    }
    finished_.store(1, std::memory_order_release);
    platform::setNormalPriority();
}

void DiskRwBenchmark::measure() {
    const uint32_t blocksPerZone = timedBytes_ / blockSize_;
    const uint32_t warmUpBlocks = warmUpBytes_ / blockSize_;
    const bool flushZones = write_ != 0 && quick_ != 0;
    // Everything the timed loop needs is allocated before the first zone.
    std::vector<uint32_t> samples(blocksPerZone);
    blocksTotal_.store(blocksPerZone * zoneCount(), std::memory_order_relaxed);
    const uint64_t frequency = platform::counterFrequency();

    for (uint32_t z = 0; z < zoneCount(); ++z) {
        ZoneResult& zone = zones_[z];
        uint64_t sector = zone.start / sectorSize_;
        if (!warmUp(sector, warmUpBlocks)) {
            return;
        }
        // The first flush empties the warm-up out of the cache before the clock starts;
        // the second one, inside the zone time, makes the timed writes land.
        if (flushZones && !flushed()) {
            return;
        }
        const uint64_t zoneStart = platform::counterNow();
        if (!timeBlocks(sector, samples.data(), blocksPerZone, frequency)) {
            return;
        }
        if (flushZones && !flushed()) {
            return;
        }
        const uint64_t zoneEnd = platform::counterNow();

        sortSamples(samples.data(), blocksPerZone);
        zone.maxRate = samples[blocksPerZone - 1];
        zone.minRate = samples[0];
        zone.zoneRate = rateOf(timedBytes_, zoneEnd - zoneStart, frequency);
        zone.medianRate = medianOfSorted(samples.data(), blocksPerZone);
        zone.stdDev = standardDeviation(samples.data(), blocksPerZone);
        zonesDone_.store(z + 1, std::memory_order_release);
    }
    status_.store(kStatusDone, std::memory_order_relaxed);
}

// A flush that fails leaves the timed writes unlanded: the zone measured nothing.
bool DiskRwBenchmark::flushed() {
    if (device_->flush()) {
        return true;
    }
    status_.store(kStatusFailed, std::memory_order_relaxed);
    return false;
}

bool DiskRwBenchmark::transferBlock(uint64_t sector) {
    const uint32_t count = blockSize_ / sectorSize_;
    return write_ != 0 ? device_->write(sector, count, nullptr)
                       : device_->read(sector, count, nullptr);
}

// Counts the block, then answers whether the run must stop: on a cancel (status 2)
// or a failed transfer (the status stays at its failure value).
bool DiskRwBenchmark::stopRequested(bool ok) {
    blocksDone_.fetch_add(1, std::memory_order_relaxed);
    if (cancel_.load(std::memory_order_relaxed) != 0) {
        status_.store(kStatusCancelled, std::memory_order_relaxed);
        return true;
    }
    if (!ok) {
        status_.store(kStatusFailed, std::memory_order_relaxed);
        return true;
    }
    return false;
}

bool DiskRwBenchmark::warmUp(uint64_t& sector, uint32_t blocks) {
    const uint32_t sectorsPerBlock = blockSize_ / sectorSize_;
    for (uint32_t k = 0; k < blocks; ++k) {
        if (stopRequested(transferBlock(sector))) {
            return false;
        }
        sector += sectorsPerBlock;
    }
    return true;
}

bool DiskRwBenchmark::timeBlocks(uint64_t& sector, uint32_t* samples, uint32_t blocks,
                                 uint64_t frequency) {
    const uint32_t sectorsPerBlock = blockSize_ / sectorSize_;
    for (uint32_t k = 0; k < blocks; ++k) {
        const uint64_t t0 = platform::counterNow();
        const bool ok = transferBlock(sector);
        const uint64_t t1 = platform::counterNow();
        samples[k] = rateOf(blockSize_, t1 - t0, frequency);
        if (stopRequested(ok)) {
            return false;
        }
        sector += sectorsPerBlock;
    }
    return true;
}

}  // namespace vorn
