#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>

#include "bench/MemoryEventLog.h"
#include "platform/Counter.h"
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

// An extended step's log, as the step sets it: its first kExtendedRows completions a
// row each, then one batch row per kExtendedBatchMs. Completions come 10 us apart (a
// fast medium at a deep queue), so a batch row sums 10000 of them.
class ExtendedLog {
public:
    ExtendedLog() : log_(vorn::newEventLog(vorn::kExtendedLogRoom)) {
        const uint64_t frequency = vorn::platform::counterFrequency();
        batchTicks_ = frequency * vorn::kExtendedBatchMs / 1000;
        spacing_ = frequency / 100000 > 0 ? frequency / 100000 : 1;
    }
    bool ready() const { return log_ != nullptr && batchTicks_ != 0; }
    // An empty log starting a step.
    void startStep() {
        (void)log_->dumpCsv(nullptr, false, nullptr, 512);
        log_->limitRows(vorn::kExtendedRows, batchTicks_);
    }
    // Completion n of eight sectors, through the interface the queue calls. The caller
    // keeps the count in a register: kept in this object, the compiler updates it with
    // one wide store that the next call's narrow loads stall on.
    bool complete(uint64_t n) {
        const uint64_t ticks = 1000 + n * spacing_;
        return log_->addEvent(1, vorn::kEventRead, 8, n * 8, ticks, ticks + spacing_ * 4, 0);
    }
    // The single rows of a step, outside the timing.
    uint64_t fillSingleRows(uint64_t n) {
        for (uint32_t i = 0; i < vorn::kExtendedRows; ++i) {
            (void)complete(n++);
        }
        return n;
    }
    uint32_t rows() const { return log_->rowCount(); }

private:
    std::unique_ptr<vorn::I_VornEventLog> log_;
    uint64_t batchTicks_ = 0;
    uint64_t spacing_ = 1;
};

// While the step's single rows last: a new step (outside the timing) whenever they
// are used up.
void BM_ExtendedSingleRows(benchmark::State& state) {
    ExtendedLog log;
    if (!log.ready()) {
        state.SkipWithError("no event log");
        return;
    }
    log.startStep();
    uint32_t left = vorn::kExtendedRows;
    uint64_t rows = 0;
    uint64_t n = 0;
    for (auto _ : state) {
        if (left == 0) {
            state.PauseTiming();
            rows += log.rows();
            log.startStep();
            left = vorn::kExtendedRows;
            state.ResumeTiming();
        }
        benchmark::DoNotOptimize(log.complete(n++));
        --left;
    }
    rows += log.rows();
    state.SetItemsProcessed(state.iterations());
    // 1 when every completion got its own row, as this part of a step must.
    state.counters["rows_per_completion"] =
        static_cast<double>(rows) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_ExtendedSingleRows)->MinTime(0.1);

// Once the single rows are used up: every completion joins the open batch row.
void BM_ExtendedBatching(benchmark::State& state) {
    ExtendedLog log;
    if (!log.ready()) {
        state.SkipWithError("no event log");
        return;
    }
    log.startStep();
    uint64_t n = log.fillSingleRows(0);
    uint64_t rows = 0;
    uint32_t before = log.rows();
    for (auto _ : state) {
        if (!log.complete(n++)) {
            state.PauseTiming();
            rows += log.rows() - before;
            log.startStep();
            n = log.fillSingleRows(n);
            before = log.rows();
            state.ResumeTiming();
        }
    }
    rows += log.rows() - before;
    state.SetItemsProcessed(state.iterations());
    // About 1 / 10000: one batch row per kExtendedBatchMs of completions.
    state.counters["rows_per_completion"] =
        static_cast<double>(rows) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_ExtendedBatching)->MinTime(0.1);

}  // namespace
