#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "bench/MemoryEventLog.h"
#include "platform/Counter.h"
#include "results/RunSteps.h"
#include "support/MemoryDevice.h"

// One-sector reads at consecutive sectors of a small memory-backed device, three
// ways: the bare copy the device makes, the device read without an event log (which
// still reads the counter twice), and the device read with an event log attached.
// Logged minus bare is the whole instrumentation cost of a transfer.

namespace {

constexpr uint64_t kSectors = 2048;  // 1 MB medium: stays in cache, as a fast device would
constexpr uint32_t kSectorSize = 512;
constexpr uint32_t kLogCapacity = vorn::kEventLogRoom;

vorn::test::MemoryDevice::Options deviceOptions() {
    vorn::test::MemoryDevice::Options options;
    options.sectors = kSectors;
    options.sectorSize = kSectorSize;
    options.bufferSize = 65536;
    options.keepData = true;
    return options;
}

void BM_BareCopy(benchmark::State& state) {
    std::vector<uint8_t> medium(kSectors * kSectorSize, 0x5a);
    std::vector<uint8_t> buffer(65536);
    uint64_t sector = 0;
    for (auto _ : state) {
        std::memcpy(buffer.data(), medium.data() + sector * kSectorSize, kSectorSize);
        benchmark::ClobberMemory();
        sector = sector + 1 == kSectors ? 0 : sector + 1;
    }
    state.SetBytesProcessed(state.iterations() * kSectorSize);
}
BENCHMARK(BM_BareCopy)->MinTime(0.1);

void BM_CounterPair(benchmark::State& state) {
    for (auto _ : state) {
        const uint64_t start = vorn::platform::counterNow();
        const uint64_t end = vorn::platform::counterNow();
        benchmark::DoNotOptimize(start);
        benchmark::DoNotOptimize(end);
    }
}
BENCHMARK(BM_CounterPair)->MinTime(0.1);

void readSectors(benchmark::State& state, vorn::I_VornEventLog* log) {
    vorn::test::MemoryDevice device(deviceOptions());
    device.recordTransfers(false);
    device.attachObserver(log);
    uint64_t sector = 0;
    uint32_t logged = 0;
    for (auto _ : state) {
        if (log != nullptr && logged == kLogCapacity) {
            state.PauseTiming();
            log->dumpCsv(nullptr, false, nullptr, kSectorSize);
            logged = 0;
            state.ResumeTiming();
        }
        const bool ok = device.read(sector, 1, nullptr);
        benchmark::DoNotOptimize(ok);
        ++logged;
        sector = sector + 1 == kSectors ? 0 : sector + 1;
    }
    state.SetBytesProcessed(state.iterations() * kSectorSize);
}

void BM_DeviceReadNoLog(benchmark::State& state) {
    readSectors(state, nullptr);
}
BENCHMARK(BM_DeviceReadNoLog)->MinTime(0.1);

void BM_DeviceReadWithLog(benchmark::State& state) {
    auto log = vorn::newEventLog(kLogCapacity);
    if (!log) {
        state.SkipWithError("no event log");
        return;
    }
    readSectors(state, log.get());
}
BENCHMARK(BM_DeviceReadWithLog)->MinTime(0.1);

}  // namespace
