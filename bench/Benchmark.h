#pragma once

#include <cstdint>

namespace vorn {

class I_VornDevice;

enum BenchmarkStatus : uint32_t {
    kStatusRunning = 0,
    kStatusDone = 1,
    kStatusCancelled = 2,
    kStatusFailed = 3,
    kStatusNoMedia = 4,      // access-time benchmark
    kStatusBadSetup = 5,     // zoned benchmark: no medium, or unacceptable sizes
    kStatusNotWritable = 6,  // zoned benchmark: write requested, device not armed
};

enum ValueKind : uint32_t {
    kValueZoneStart = 0,
    kValueMax = 1,
    kValueMin = 2,
    kValueZoneRate = 3,  // the access-time benchmark answers its mean here
    kValueMedian = 4,
    kValueStdDev = 5,
};

// A benchmark that runs on a worker thread of its own while the caller polls.
class I_Benchmark {
public:
    // Waits for a running worker to end (it is cancelled first).
    virtual ~I_Benchmark() = default;
    virtual void start(I_VornDevice* device) = 0;
    virtual void cancel() = 0;
    virtual uint32_t getStatus() = 0;
    virtual uint32_t getResultCount() = 0;
    [[nodiscard]] virtual bool getValue(uint32_t kind, uint32_t row, uint64_t* value) = 0;
    // Percent done, 0-100 (the zoned benchmark can pass 100 with a single zone).
    virtual uint32_t getProgress() = 0;
};

}  // namespace vorn
