#include "bench/RAccessBenchmark.h"

#include <cstdio>
#include <exception>
#include <vector>

#include "base/DiagLog.h"
#include "bench/Statistics.h"
#include "platform/Counter.h"
#include "platform/ThreadPriority.h"
#include "storage/VornDevice.h"

namespace vorn {
namespace {

// Time-critical only while requests are timed; unwinding returns the thread to
// normal too.
class TimeCriticalScope {
public:
    TimeCriticalScope() { platform::setTimeCriticalPriority(); }
    ~TimeCriticalScope() { platform::setNormalPriority(); }
    TimeCriticalScope(const TimeCriticalScope&) = delete;
    TimeCriticalScope& operator=(const TimeCriticalScope&) = delete;
};

// One request: a sector written and the cache flushed, or a sector read.
bool request(I_VornDevice* device, uint64_t sector, bool write) {
    if (write) {
        return device->write(sector, 1, nullptr) && device->flush();
    }
    return device->read(sector, 1, nullptr);
}

AccessResult summarize(uint32_t* samples, uint32_t count, uint64_t elapsed) {
    sortSamples(samples, count);
    AccessResult result{};
    result.frequency = platform::counterFrequency();
    result.maxTicks = samples[count - 1];
    result.minTicks = samples[0];
    result.medianTicks = medianOfSorted(samples, count);
    // Includes drawing positions and bookkeeping between requests.
    result.meanTicks = saturate32(elapsed / count);
    result.stdDevTicks = standardDeviation(samples, count);
    return result;
}

}  // namespace

AccessRandom::AccessRandom(uint32_t seed) {
    // The low word takes one step of the short generator; the high word starts at 0.
    state_ = seed * 22695477u + 1u;
}

uint32_t AccessRandom::next() {
    state_ = state_ * 0x0000015A00004E35ull + 1u;
    return static_cast<uint32_t>(state_ >> 32) & 0x7FFFFFFFu;
}

uint64_t randomPosition(uint64_t capacity, uint32_t r) {
    if (capacity == 0) {
        return 0;
    }
    const double c = r * (1.0 / 2147483647.0);
    const long double position = static_cast<long double>(capacity) * c + 0.5L;
    if (position >= static_cast<long double>(capacity)) {
        return capacity - 1;
    }
    return static_cast<uint64_t>(position);
}

uint64_t ticksToHundredthsMs(uint64_t ticks, uint64_t frequency) {
    if (frequency == 0) {
        return 0;
    }
    const long double hundredths = static_cast<long double>(ticks) * 1000 / frequency * 100;
    return static_cast<uint64_t>(hundredths + 0.5L);
}

RAccessBenchmark::~RAccessBenchmark() {
    stopWorker();
}

void RAccessBenchmark::setParameters(uint32_t accessCount, uint32_t sequential, uint32_t write) {
    accessCount_ = accessCount;
    sequential_ = sequential;
    write_ = write;
}

void RAccessBenchmark::start(I_VornDevice* device) {
    stopWorker();
    result_ = AccessResult{};
    status_.store(kStatusRunning, std::memory_order_relaxed);
    finished_.store(0, std::memory_order_relaxed);
    cancel_.store(0, std::memory_order_relaxed);
    requestsDone_.store(0, std::memory_order_relaxed);
    if (device == nullptr || device->mediaBlockSize() == 0 || device->mediaSectors() == 0) {
        finish(kStatusNoMedia);
        return;
    }
    // Without requests there is no sample to take statistics from, and the mean
    // would divide by zero.
    if (accessCount_ == 0) {
        logMessage("** RAccessBenchmark failed - access count 0");
        finish(kStatusFailed);
        return;
    }
    const Run run{device, accessCount_, sequential_ != 0, write_ != 0};
    try {
        worker_ = std::thread(&RAccessBenchmark::RAccessThreadHelper, this, run);
    } catch (const std::exception& e) {
        logException("RAccessBenchmark::start", e);
        finish(kStatusFailed);
    }
}

void RAccessBenchmark::cancel() {
    cancel_.store(1, std::memory_order_relaxed);
}

uint32_t RAccessBenchmark::getStatus() {
    return status_.load(std::memory_order_acquire);
}

uint32_t RAccessBenchmark::getResultCount() {
    return getStatus() == kStatusDone ? 1 : 0;
}

bool RAccessBenchmark::getValue(uint32_t kind, uint32_t row, uint64_t* value) {
    if (value == nullptr) {
        return false;
    }
    *value = 0;
    if (getStatus() != kStatusDone || row != 0 || result_.frequency == 0) {
        return false;
    }
    uint32_t ticks = 0;
    switch (kind) {
        case kValueMax:
            ticks = result_.maxTicks;
            break;
        case kValueMin:
            ticks = result_.minTicks;
            break;
        case kValueZoneRate:
            ticks = result_.meanTicks;
            break;
        case kValueMedian:
            ticks = result_.medianTicks;
            break;
        case kValueStdDev:
            ticks = result_.stdDevTicks;
            break;
        default:
            return false;
    }
    *value = ticksToHundredthsMs(ticks, result_.frequency);
    return true;
}

uint32_t RAccessBenchmark::getProgress() {
    if (accessCount_ == 0) {
        return 0;
    }
    const uint64_t done = requestsDone_.load(std::memory_order_relaxed);
    return static_cast<uint32_t>(done * 100 / accessCount_);
}

bool RAccessBenchmark::record(AccessRecord* out) const {
    if (running()) {
        return false;
    }
    *out = AccessRecord{accessCount_, result_};
    return true;
}

bool RAccessBenchmark::running() const {
    return worker_.joinable() && finished_.load(std::memory_order_acquire) == 0;
}

void RAccessBenchmark::stopWorker() {
    if (worker_.joinable()) {
        cancel();
        worker_.join();
    }
}

void RAccessBenchmark::finish(uint32_t status) {
    status_.store(status, std::memory_order_release);
    finished_.store(1, std::memory_order_release);
}

void RAccessBenchmark::RAccessThreadHelper(Run run) {
    uint32_t status = kStatusFailed;
    try {
        status = measure(run);
    } catch (const std::exception& e) {
        logException("RAccessThreadHeadler", e);
        status = kStatusFailed;
    } catch (...) {
        logUnknownException("RAccessThreadHelper", -1);
        status = kStatusFailed;
    }
    finish(status);
}

// The whole run; answers its status and, on success, leaves the statistics in
// result_.
uint32_t RAccessBenchmark::measure(const Run& run) {
    std::vector<uint32_t> samples(run.accessCount);
    // Untimed: the first request may wake the device or fill its caches.
    if (!request(run.device, 0, run.write)) {
        return kStatusFailed;
    }
    uint64_t elapsed = 0;
    const uint32_t status = timeRequests(run, samples.data(), &elapsed);
    if (status == kStatusDone) {
        result_ = summarize(samples.data(), run.accessCount, elapsed);
    }
    return status;
}

// The timed loop: nothing allocated, logged or formatted in here.
uint32_t RAccessBenchmark::timeRequests(const Run& run, uint32_t* samples, uint64_t* elapsed) {
    const uint64_t capacity = run.device->mediaSectors();
    AccessRandom random(kAccessSeed);
    TimeCriticalScope priority;
    const uint64_t runStart = platform::counterNow();
    uint64_t position = 0;
    for (uint32_t j = 0; j < run.accessCount; ++j) {
        const uint32_t r = random.next();
        position = run.sequential ? position + 1 : randomPosition(capacity, r);
        const uint64_t t0 = platform::counterNow();
        const bool ok = request(run.device, position, run.write);
        const uint64_t t1 = platform::counterNow();
        samples[j] = saturate32(t1 - t0);
        if (cancel_.load(std::memory_order_relaxed) != 0) {
            return kStatusCancelled;
        }
        if (!ok) {
            return kStatusFailed;
        }
        requestsDone_.store(j + 1, std::memory_order_relaxed);
    }
    *elapsed = platform::counterNow() - runStart;
    return kStatusDone;
}

std::unique_ptr<RAccessBenchmark> newRAccessBenchmark(uint32_t accessCount, uint32_t sequential,
                                                      uint32_t write) {
    auto benchmark = std::make_unique<RAccessBenchmark>();
    benchmark->setParameters(accessCount, sequential, write);
    return benchmark;
}

}  // namespace vorn
