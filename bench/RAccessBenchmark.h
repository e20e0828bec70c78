#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>
#include <type_traits>

#include "bench/Benchmark.h"

namespace vorn {

// Statistics of one access-time run, in counter ticks. Stored verbatim
// (little-endian) as result-file data, so this layout is a file format.
struct AccessResult {
    uint64_t frequency;  // counter ticks per second
    uint32_t maxTicks;
    uint32_t minTicks;
    uint32_t medianTicks;
    uint32_t meanTicks;
    uint32_t stdDevTicks;
    uint32_t reserved;
};
static_assert(sizeof(AccessResult) == 32);
static_assert(std::is_standard_layout_v<AccessResult>);

// A finished run's statistics with its request count; results/ stores and reads it.
struct AccessRecord {
    uint32_t accessCount = 0;
    AccessResult result{};
};

// Every run starts from this seed, so runs on media of equal capacity visit the
// same sectors in the same order and stay comparable.
inline constexpr uint32_t kAccessSeed = 10231972;

// The run's random generator: a 64-bit linear congruential state whose high word,
// top bit cleared, is the number drawn (0 ... 2147483647).
class AccessRandom {
public:
    explicit AccessRandom(uint32_t seed);
    uint32_t next();
    uint64_t state() const { return state_; }

private:
    uint64_t state_;
};

// Sector of a random request for a draw r: capacity * (r / 2147483647) rounded to
// the nearest sector, kept inside the medium (the largest draws would otherwise
// land one past the last sector).
uint64_t randomPosition(uint64_t capacity, uint32_t r);

// A tick count in hundredths of a millisecond, rounded to the nearest.
uint64_t ticksToHundredthsMs(uint64_t ticks, uint64_t frequency);

// Time taken by single-sector requests, at random places over the whole medium
// or at consecutive sectors from sector 1.
class RAccessBenchmark final : public I_Benchmark {
public:
    RAccessBenchmark() = default;
    ~RAccessBenchmark() override;
    RAccessBenchmark(const RAccessBenchmark&) = delete;
    RAccessBenchmark& operator=(const RAccessBenchmark&) = delete;

    void start(I_VornDevice* device) override;
    void cancel() override;
    uint32_t getStatus() override;
    uint32_t getResultCount() override;
    bool getValue(uint32_t kind, uint32_t row, uint64_t* value) override;
    uint32_t getProgress() override;
    // The statistics of the last run; false while the worker runs.
    [[nodiscard]] bool record(AccessRecord* out) const;

    // Takes effect at the next start.
    void setParameters(uint32_t accessCount, uint32_t sequential, uint32_t write);

private:
    // What the worker needs, copied at start so the caller may change parameters
    // without racing a running worker.
    struct Run {
        I_VornDevice* device;
        uint32_t accessCount;
        bool sequential;
        bool write;
    };

    bool running() const;
    void stopWorker();
    void finish(uint32_t status);
    void RAccessThreadHelper(Run run);
    uint32_t measure(const Run& run);
    uint32_t timeRequests(const Run& run, uint32_t* samples, uint64_t* elapsed);

    uint32_t accessCount_ = 0;
    uint32_t sequential_ = 0;
    uint32_t write_ = 0;

    // The worker writes result_ before publishing status_, and status_ before
    // finished_; readers look at result_ only once status_ reads 1.
    AccessResult result_{};
    std::atomic<uint32_t> status_{kStatusRunning};
    std::atomic<uint32_t> finished_{0};
    std::atomic<uint32_t> cancel_{0};
    std::atomic<uint32_t> requestsDone_{0};
    std::thread worker_;
};

std::unique_ptr<RAccessBenchmark> newRAccessBenchmark(uint32_t accessCount, uint32_t sequential,
                                                      uint32_t write);

}  // namespace vorn
