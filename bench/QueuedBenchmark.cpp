#include "bench/QueuedBenchmark.h"

#include <algorithm>
#include <exception>
#include <system_error>

#include "base/DiagLog.h"
#include "storage/VornDevice.h"

namespace vorn {
namespace {

// The region starts at sector 0 and ends on a 1 MiB boundary (a medium smaller than
// that: on a block boundary).
constexpr uint64_t kRegionAlign = uint64_t{1} << 20;

}  // namespace

QueuedBenchmark::QueuedBenchmark(const QueuedSetup& setup) : setup_(setup) {}

QueuedBenchmark::~QueuedBenchmark() {
    cancel();
    if (worker_.joinable()) {
        worker_.join();
    }
}

void QueuedBenchmark::finish(uint32_t status) {
    status_.store(status, std::memory_order_relaxed);
    finished_.store(1, std::memory_order_release);
}

bool QueuedBenchmark::setUp() {
    sectorSize_ = device_->mediaBlockSize();
    const uint64_t sectors = device_->mediaSectors();
    const uint32_t block = setup_.blockSize;
    if (sectorSize_ == 0 || sectors == 0 || block == 0 || block % sectorSize_ != 0 ||
        setup_.queueDepth == 0 || block / sectorSize_ > UINT16_MAX) {
        failure_ = "no medium, or a block size that does not suit its sectors";
        return false;
    }
    const uint64_t medium = sectors * sectorSize_;
    uint64_t region = std::min(setup_.regionBytes, medium);
    region = region >= kRegionAlign ? region - region % kRegionAlign : region - region % block;
    if (region < block) {
        failure_ = "the medium is smaller than one block";
        return false;
    }
    regionSectors_ = region / sectorSize_;
    record_ = QueuedRecord{};
    record_.write = setup_.write ? 1 : 0;
    record_.random = setup_.random ? 1 : 0;
    record_.blockSize = block;
    record_.queueDepth = setup_.queueDepth;
    record_.regionBytes = region;
    return true;
}

void QueuedBenchmark::start(I_VornDevice* device) {
    // A second start, after the run or while it goes on, would race the worker.
    if (finished_.load(std::memory_order_acquire) != 0 || worker_.joinable()) {
        logMessage("** Attempt to reuse QueuedBenchmark");
        return;
    }
    device_ = device;
    if (!setUp()) {
        logMessage("** QueuedBenchmark failed - %s", failure_);
        return finish(kStatusBadSetup);
    }
    if (setup_.write && !device->write(0, 0, nullptr)) {
        failure_ = "writing is not enabled on the device";
        logMessage("** QueuedBenchmark failed - write not enabled on device %s",
                   device->deviceId());
        return finish(kStatusNotWritable);
    }
    logMessage("    Queued %s %s: block %u, depth %u, region %llu bytes",
               setup_.random ? "random" : "sequential", setup_.write ? "write" : "read",
               setup_.blockSize, setup_.queueDepth,
               static_cast<unsigned long long>(record_.regionBytes));
    status_.store(kStatusRunning, std::memory_order_relaxed);
    try {
        worker_ = std::thread(&QueuedBenchmark::run, this);
    } catch (const std::system_error& e) {
        logException("QueuedBenchmark::start", e);
        finish(kStatusFailed);
    }
}

void QueuedBenchmark::cancel() {
    cancel_.store(1, std::memory_order_relaxed);
}

uint32_t QueuedBenchmark::getStatus() {
    if (finished_.load(std::memory_order_acquire) == 0) {
        return kStatusRunning;
    }
    return status_.load(std::memory_order_relaxed);
}

uint32_t QueuedBenchmark::getResultCount() {
    return getStatus() == kStatusDone ? 1 : 0;
}

bool QueuedBenchmark::getValue(uint32_t kind, uint32_t row, uint64_t* value) {
    if (value == nullptr || row != 0 || getStatus() != kStatusDone) {
        return false;
    }
    switch (kind) {
        case kValueZoneRate:
            *value = record_.bytesPerSecond;
            return true;
        case kValueMedian:
            *value = record_.latencyMedianNs;
            return true;
        case kValueMax:
            *value = record_.latencyMaxNs;
            return true;
        default:
            return false;
    }
}

uint32_t QueuedBenchmark::getProgress() {
    return progress_.load(std::memory_order_relaxed);
}

bool QueuedBenchmark::record(QueuedRecord* out) const {
    if (out == nullptr || finished_.load(std::memory_order_acquire) == 0 ||
        status_.load(std::memory_order_relaxed) != kStatusDone) {
        return false;
    }
    *out = record_;
    return true;
}

void QueuedBenchmark::run() {
    try {
        std::string why;
        auto queue = device_->openQueue(setup_.queueDepth, setup_.blockSize, why);
        if (!queue) {
            logMessage("** QueuedBenchmark failed - %s", why.c_str());
            failure_ = "the device cannot queue transfers";
            return finish(kStatusFailed);
        }
        // Reserved here, before anything is timed.
        latencies_.clear();
        if (setup_.queueDepth == 1) {
            latencies_.reserve(kMaxLatencySamples);
        }
        completions_.assign(setup_.queueDepth, QueuedCompletion{});
        const uint32_t status = measure(*queue);
        // Transfers still in flight after an abandoned drain end with the queue.
        queue.reset();
        finish(status);
    } catch (const std::exception& e) {
        logException("QueuedBenchmark", e);
        finish(kStatusFailed);
    } catch (...) {
        logUnknownException("QueuedBenchmark", -1);
        finish(kStatusFailed);
    }
}

}  // namespace vorn
