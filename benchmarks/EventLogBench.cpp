#include <benchmark/benchmark.h>

#include <cstdint>

#include "bench/MemoryEventLog.h"
#include "results/RunSteps.h"

namespace {

// The size a test run uses, so the entries span as much locked memory as in a run.
constexpr uint32_t kCapacity = vorn::kEventLogRoom;

// One addEvent through the interface, as the device calls it between two counter
// readings. The log is emptied (outside the timing) whenever it fills up.
void BM_AddEvent(benchmark::State& state) {
    auto log = vorn::newEventLog(kCapacity);
    if (!log) {
        state.SkipWithError("no event log");
        return;
    }
    uint64_t ticks = 1000;
    uint64_t sector = 0;
    uint32_t used = 0;
    for (auto _ : state) {
        if (used == kCapacity) {
            state.PauseTiming();
            log->dumpCsv(nullptr, false, nullptr, 512);
            used = 0;
            state.ResumeTiming();
        }
        const bool stored = log->addEvent(1, vorn::kEventRead, 1, sector, ticks, ticks + 250, 0);
        benchmark::DoNotOptimize(stored);
        ++used;
        ++sector;
        ticks += 300;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AddEvent)->MinTime(0.1);

}  // namespace
