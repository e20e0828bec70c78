#include "bench/DiskRwBenchmark.h"

#include <cstdio>

#include "base/DiagLog.h"
#include "bench/ZoneSetup.h"
#include "storage/VornDevice.h"

namespace vorn {
namespace {

uint32_t roundedPercent(uint64_t done, uint64_t total) {
    return static_cast<uint32_t>((done * 200 + total) / (total * 2));
}

}  // namespace

std::unique_ptr<DiskRwBenchmark> newDiskRwBenchmark(uint32_t write, uint32_t quick,
                                                    uint32_t blockSize, uint32_t maxZones,
                                                    uint32_t warmUpBytes, uint32_t timedBytes,
                                                    uint32_t alignBytes) {
    auto benchmark = std::make_unique<DiskRwBenchmark>();
    benchmark->setParameters(write, quick, blockSize, maxZones, warmUpBytes, timedBytes,
                             alignBytes);
    return benchmark;
}

DiskRwBenchmark::~DiskRwBenchmark() {
    cancel();
    if (worker_.joinable()) {
        worker_.join();
    }
}

void DiskRwBenchmark::setParameters(uint32_t write, uint32_t quick, uint32_t blockSize,
                                    uint32_t maxZones, uint32_t warmUpBytes, uint32_t timedBytes,
                                    uint32_t alignBytes) {
    write_ = write;
    quick_ = quick;
    blockSize_ = blockSize;
    maxZones_ = maxZones;
    warmUpBytes_ = warmUpBytes;
    timedBytes_ = timedBytes;
    alignBytes_ = alignBytes;
}

void DiskRwBenchmark::start(I_VornDevice* device) {
    device_ = device;
    sectorSize_ = device->mediaBlockSize();
    sectors_ = device->mediaSectors();
    // A second start, after the run or while it goes on, would race the worker.
    if (finished_.load(std::memory_order_acquire) != 0 || worker_.joinable()) {
        logMessage("** Attempt to reuse DiskRwBenchmark");
        return;
    }
    if (sectorSize_ == 0 || sectors_ == 0) {
        logMessage("** DiskRwBenchmark failed - no media in drive?");
        return finish(kStatusBadSetup);
    }
    if (!checkSizes(sectorSize_)) {
        logMessage("** DiskRwBenchmark failed - bad block/zone size");
        return finish(kStatusBadSetup);
    }
    if (write_ != 0 && !device->write(0, 0, nullptr)) {
        logMessage("** DiskRwBenchmark failed - write not enabled/valid on device %s",
                   device->deviceId());
        return finish(kStatusNotWritable);
    }
    if (!setUpZones()) {
        logMessage("** DiskRwBenchmark failed - medium too small for a zone");
        return finish(kStatusBadSetup);
    }
    logParameters();
    blocksTotal_.store(0, std::memory_order_relaxed);
    blocksDone_.store(0, std::memory_order_relaxed);
    status_.store(kStatusRunning, std::memory_order_relaxed);
    worker_ = std::thread(&DiskRwBenchmark::DiskRwThreadHelper, this);
}

// A timedBytes of 0 would leave no sample to take a maximum or minimum from.
bool DiskRwBenchmark::checkSizes(uint32_t sectorSize) const {
    return blockSize_ >= 512 && blockSize_ % 512 == 0 && blockSize_ % sectorSize == 0 &&
           warmUpBytes_ % blockSize_ == 0 && timedBytes_ % blockSize_ == 0 && timedBytes_ != 0;
}

ZoneLayout DiskRwBenchmark::layoutFor(uint32_t sectorSize, uint64_t sectors) const {
    const ZoneParameters params{write_, maxZones_, warmUpBytes_, timedBytes_, alignBytes_};
    return quick_ != 0 ? quickZoneSetup(params, sectorSize, sectors)
                       : fullZoneSetup(params, sectorSize, sectors);
}

DiskRwBenchmark::Fit DiskRwBenchmark::fitsMedium(uint32_t sectorSize, uint64_t sectors) const {
    if (sectorSize == 0 || sectors == 0) {
        return Fit::NoMedium;
    }
    if (!checkSizes(sectorSize)) {
        return Fit::BadBlockSize;
    }
    return layoutFor(sectorSize, sectors).starts.empty() ? Fit::MediumTooSmall : Fit::Fits;
}

bool DiskRwBenchmark::setUpZones() {
    const ZoneLayout layout = layoutFor(sectorSize_, sectors_);
    logMessage("DiskRwBenchmark: %s reserved %u bytes %llu",
               quick_ != 0 ? "doQuickZoneSetup" : "doFullZoneSetup", layout.reserved,
               static_cast<unsigned long long>(layout.usable));
    zones_.assign(layout.starts.size(), ZoneResult{});
    for (size_t i = 0; i < zones_.size(); ++i) {
        zones_[i].start = layout.starts[i];
    }
    zonesDone_.store(0, std::memory_order_relaxed);
    return !zones_.empty();
}

void DiskRwBenchmark::logParameters() {
    logMessage("DiskRwBenchmark parameters (%s)", device_->deviceId());
    logMessage("  write %u quick %u maxZones %u blockSize %u zTop %u", write_, quick_, maxZones_,
               blockSize_, zoneCount());
    for (uint32_t i = 0; i < zoneCount(); ++i) {
        logMessage("    Zone %u: start %llu", i, static_cast<unsigned long long>(zones_[i].start));
    }
}

void DiskRwBenchmark::finish(uint32_t status) {
    status_.store(status, std::memory_order_relaxed);
    finished_.store(1, std::memory_order_release);
}

void DiskRwBenchmark::cancel() {
    cancel_.store(1, std::memory_order_relaxed);
}

uint32_t DiskRwBenchmark::getStatus() {
    if (finished_.load(std::memory_order_acquire) == 0) {
        return kStatusRunning;
    }
    return status_.load(std::memory_order_relaxed);
}

uint32_t DiskRwBenchmark::getResultCount() {
    return zonesDone_.load(std::memory_order_acquire);
}

bool DiskRwBenchmark::getValue(uint32_t kind, uint32_t row, uint64_t* value) {
    *value = 0;
    if (row >= getResultCount()) {
        return false;
    }
    const ZoneResult& zone = zones_[row];
    switch (kind) {
        case kValueZoneStart:
            *value = zone.start;
            return true;
        case kValueMax:
            *value = zone.maxRate;
            return true;
        case kValueMin:
            *value = zone.minRate;
            return true;
        case kValueZoneRate:
            *value = zone.zoneRate;
            return true;
        case kValueMedian:
            *value = zone.medianRate;
            return true;
        case kValueStdDev:
            *value = zone.stdDev;
            return true;
        default:
            return false;
    }
}

uint32_t DiskRwBenchmark::getProgress() {
    const uint64_t zones = zoneCount();
    if (zones > 1) {
        return roundedPercent(zonesDone_.load(std::memory_order_relaxed), zones);
    }
    const uint64_t total = blocksTotal_.load(std::memory_order_relaxed);
    if (total != 0) {
        return roundedPercent(blocksDone_.load(std::memory_order_relaxed), total);
    }
    return 0;
}

bool DiskRwBenchmark::record(DiskRwRecord* out) const {
    // The worker still writes the zone records while it runs.
    if (worker_.joinable() && finished_.load(std::memory_order_acquire) == 0) {
        return false;
    }
    *out =
        DiskRwRecord{write_, quick_, maxZones_, blockSize_, warmUpBytes_, defaultZoneSpan_, zones_};
    return true;
}

}  // namespace vorn
