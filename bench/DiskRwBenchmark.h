#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "bench/Benchmark.h"
#include "bench/ZoneSetup.h"

namespace vorn {

// One zone's statistics. Stored verbatim (little-endian) as result-file data, so
// this layout is a file format.
struct ZoneResult {
    uint64_t start;    // byte offset on the medium
    uint32_t maxRate;  // bytes/s
    uint32_t minRate;
    uint32_t medianRate;
    uint32_t zoneRate;  // timed bytes over the zone's elapsed time
    uint32_t stdDev;
    uint32_t reserved;
};
static_assert(sizeof(ZoneResult) == 32);

// What a run measured, with the parameters it ran under; results/ stores and reads it.
struct DiskRwRecord {
    uint32_t write = 0;
    uint32_t quick = 0;
    uint32_t maxZones = 0;
    uint32_t blockSize = 0;
    uint32_t warmUpBytes = 0;
    uint32_t zoneSpan = 0;
    std::vector<ZoneResult> zones;
};

// Sequential transfer speed at several places (zones) of a medium: per zone a run
// of untimed blocks, then a run of timed blocks, each timed on its own.
class DiskRwBenchmark : public I_Benchmark {
public:
    DiskRwBenchmark() = default;
    ~DiskRwBenchmark() override;
    DiskRwBenchmark(const DiskRwBenchmark&) = delete;
    DiskRwBenchmark& operator=(const DiskRwBenchmark&) = delete;

    void setParameters(uint32_t write, uint32_t quick, uint32_t blockSize, uint32_t maxZones,
                       uint32_t warmUpBytes, uint32_t timedBytes, uint32_t alignBytes);

    void start(I_VornDevice* device) override;
    void cancel() override;
    uint32_t getStatus() override;
    uint32_t getResultCount() override;
    bool getValue(uint32_t kind, uint32_t row, uint64_t* value) override;
    uint32_t getProgress() override;
    // The zones measured so far and the parameters; false while the worker runs.
    [[nodiscard]] bool record(DiskRwRecord* out) const;

    // What a start on a medium of this geometry would refuse, asked before anything is
    // written: the block size against the sector size, and room for the zones.
    enum class Fit { Fits, NoMedium, BadBlockSize, MediumTooSmall };
    Fit fitsMedium(uint32_t sectorSize, uint64_t sectors) const;
    uint32_t blockSize() const { return blockSize_; }

    // Zones set up by start (or loaded), completed or not.
    uint32_t zoneCount() const { return static_cast<uint32_t>(zones_.size()); }

private:
    bool checkSizes(uint32_t sectorSize) const;
    ZoneLayout layoutFor(uint32_t sectorSize, uint64_t sectors) const;
    bool setUpZones();
    void logParameters();
    void finish(uint32_t status);
    void DiskRwThreadHelper();
    void measure();
    // Moves `blocks` blocks from `sector` on; false on failure or cancel.
    bool warmUp(uint64_t& sector, uint32_t blocks);
    bool timeBlocks(uint64_t& sector, uint32_t* samples, uint32_t blocks, uint64_t frequency);
    bool transferBlock(uint64_t sector);
    bool flushed();
    bool stopRequested(bool ok);

    // Parameters.
    uint32_t write_ = 0;
    uint32_t quick_ = 1;
    uint32_t maxZones_ = 64;
    uint32_t blockSize_ = 65536;
    uint32_t warmUpBytes_ = 2097152;
    uint32_t defaultZoneSpan_ = 8388608;
    uint32_t timedBytes_ = 6291456;
    uint32_t alignBytes_ = 0;

    // Run state. The worker writes a zone's record before publishing zonesDone_,
    // and its final status before finished_.
    I_VornDevice* device_ = nullptr;
    uint32_t sectorSize_ = 0;
    uint64_t sectors_ = 0;
    std::vector<ZoneResult> zones_;
    std::atomic<uint32_t> status_{kStatusFailed};
    std::atomic<uint32_t> finished_{0};
    std::atomic<uint32_t> cancel_{0};
    std::atomic<uint32_t> zonesDone_{0};
    std::atomic<uint32_t> blocksTotal_{0};
    std::atomic<uint32_t> blocksDone_{0};
    std::thread worker_;
};

// Makes a benchmark with its parameters set; they are checked by start().
std::unique_ptr<DiskRwBenchmark> newDiskRwBenchmark(uint32_t write, uint32_t quick,
                                                    uint32_t blockSize, uint32_t maxZones,
                                                    uint32_t warmUpBytes, uint32_t timedBytes,
                                                    uint32_t alignBytes);

}  // namespace vorn
