#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "bench/BenchmarkWait.h"
#include "storage/EventLog.h"
#include "support/ManualCounter.h"
#include "support/MemoryDevice.h"

// The access benchmark's device on a scripted clock, shared by the benchmark's own
// tests and the tests of its stored record.
namespace vorn::test {

// With this frequency one tick reads back as one hundredth of a millisecond, so
// getValue answers the raw tick counts.
inline constexpr uint64_t kTickIsHundredth = 100000;

// A device on a scripted clock: timed request j takes ticks[j % size] (the
// untimed first request takes none); a write-mode request's flush takes none.
struct ScriptedDevice {
    explicit ScriptedDevice(std::vector<uint64_t> script, uint64_t frequency = kTickIsHundredth,
                            MemoryDevice::Options options = {})
        : clock(frequency), device(options), ticks(std::move(script)) {
        device.useClock(&clock);
        device.ticksFor = [this](uint64_t index, const Transfer& t) -> uint64_t {
            if (t.kind == kEventFlush || index == 0) {
                return 0;
            }
            const uint64_t request = t.kind == kEventWrite ? index / 2 : index;
            return ticks[(request - 1) % ticks.size()];
        };
    }
    uint32_t run(I_Benchmark& benchmark) {
        benchmark.start(&device);
        return waitForStatus(benchmark);
    }
    ManualCounter clock;
    MemoryDevice device;
    std::vector<uint64_t> ticks;
};

}  // namespace vorn::test
