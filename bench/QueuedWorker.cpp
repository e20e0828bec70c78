// The timed loop of the queued benchmark: keep the queue full until the time box
// ends, then drain it. Inside the loop only the queue is called; the figures are
// worked out after it.

#include <algorithm>

#include "base/DiagLog.h"
#include "bench/QueuedBenchmark.h"
#include "platform/Counter.h"
#include "storage/TransferQueue.h"
#include "storage/VornDevice.h"

namespace vorn {
namespace {

// Waits are cut into slices so a cancel or the end of the box is seen within one.
constexpr uint64_t kWaitSliceNs = 50'000'000;
// After the box ends, transfers in flight get this long to finish; a medium so slow
// that they do not is left to finish them on its own, uncounted.
constexpr uint64_t kDrainGraceMs = 2000;

uint64_t nextRandom(uint64_t& state) {
    // xorshift64*: cheap, and the same offsets for the same seed run after run.
    state ^= state >> 12;
    state ^= state << 25;
    state ^= state >> 27;
    return state * 2685821657736338717ull;
}

uint64_t ticksOfMs(uint64_t ms, uint64_t frequency) {
    return static_cast<uint64_t>(static_cast<long double>(ms) * frequency / 1000);
}

uint64_t nsOfTicks(uint64_t ticks, uint64_t frequency) {
    return static_cast<uint64_t>(static_cast<long double>(ticks) * 1e9L / frequency);
}

}  // namespace

struct QueuedBenchmark::Tally {
    uint64_t measureStart = 0;
    uint64_t boxEnd = 0;
    bool boxExpired = false;  // the box ended the test, not the end of the sweep
    uint64_t lastEnd = 0;
    uint64_t completions = 0;
    uint64_t bytes = 0;
    // The first completion (or group of completions reaped together) in the window.
    uint64_t firstEnd = 0;
    uint64_t firstCompletions = 0;
    uint64_t maxTicks = 0;
    uint64_t submittedBytes = 0;  // pushed since the measured part began
};

bool QueuedBenchmark::pushNext(I_TransferQueue& queue, uint32_t slot) {
    const uint64_t blockSectors = setup_.blockSize / sectorSize_;
    const uint64_t blocks = regionSectors_ / blockSectors;
    uint64_t block;
    if (setup_.random) {
        block = nextRandom(randomState_) % blocks;
    } else {
        block = nextBlock_;
        nextBlock_ = nextBlock_ + 1 == blocks ? 0 : nextBlock_ + 1;
    }
    return queue.push(setup_.write, block * blockSectors, static_cast<uint32_t>(blockSectors),
                      slot);
}

// Counted: completions inside the measured window. Transfers draining after the box
// are logged but not counted, so a rate never takes in a group that was mostly served
// outside its window.
void QueuedBenchmark::count(const QueuedCompletion& done, Tally& tally) {
    if (done.endTicks < tally.measureStart || done.endTicks > tally.boxEnd) {
        return;
    }
    if (tally.completions == 0 || done.endTicks == tally.firstEnd) {
        tally.firstEnd = done.endTicks;
        ++tally.firstCompletions;
    }
    ++tally.completions;
    tally.bytes += setup_.blockSize;
    tally.lastEnd = std::max(tally.lastEnd, done.endTicks);
    const uint64_t ticks = done.endTicks - done.startTicks;
    tally.maxTicks = std::max(tally.maxTicks, ticks);
    if (setup_.queueDepth == 1 && latencies_.size() < latencies_.capacity()) {
        latencies_.push_back(static_cast<uint32_t>(std::min<uint64_t>(ticks, UINT32_MAX)));
    }
}

uint32_t QueuedBenchmark::measure(I_TransferQueue& queue) {
    frequency_ = platform::counterFrequency();
    if (frequency_ == 0) {
        return kStatusFailed;
    }
    const uint32_t depth = setup_.queueDepth;
    nextBlock_ = 0;
    randomState_ = setup_.seed != 0 ? setup_.seed : 1;
    const uint64_t begin = platform::counterNow();
    Tally tally;
    tally.measureStart = begin + ticksOfMs(setup_.warmUpMs, frequency_);
    const uint64_t boxEnd = tally.measureStart + ticksOfMs(setup_.measureMs, frequency_);
    tally.boxEnd = boxEnd;
    const uint64_t boxTicks = boxEnd - begin;
    bool submitting = true;
    bool failed = false;
    for (uint32_t slot = 0; slot < depth && !failed; ++slot) {
        failed = !pushNext(queue, slot);
    }
    failed = failed || !queue.submit();
    uint64_t drainEnd = 0;
    while (queue.inFlight() > 0) {
        const int got = queue.reap(completions_.data(), static_cast<int>(depth), kWaitSliceNs);
        const uint64_t now = platform::counterNow();
        if (got < 0) {
            failed = true;
            break;
        }
        const bool stopAsked = cancel_.load(std::memory_order_relaxed) != 0;
        const bool sweptOnce = !setup_.random && tally.submittedBytes >= record_.regionBytes;
        tally.boxExpired = tally.boxExpired || (submitting && now >= boxEnd && !sweptOnce);
        submitting = submitting && !failed && !stopAsked && now < boxEnd && !sweptOnce;
        bool pushed = false;
        for (int i = 0; i < got; ++i) {
            const QueuedCompletion& done = completions_[static_cast<size_t>(i)];
            if (done.failed != 0) {
                failed = true;
                submitting = false;
                continue;
            }
            count(done, tally);
            if (submitting) {
                failed = !pushNext(queue, done.slot);
                pushed = !failed;
                tally.submittedBytes += now >= tally.measureStart ? setup_.blockSize : 0;
                submitting = !failed;
            }
        }
        if (pushed && !queue.submit()) {
            failed = true;
        }
        const uint64_t elapsed = std::min(now - begin, boxTicks);
        progress_.store(static_cast<uint32_t>(elapsed * 100 / boxTicks), std::memory_order_relaxed);
        if (!submitting) {
            drainEnd = drainEnd != 0 ? drainEnd : now + ticksOfMs(kDrainGraceMs, frequency_);
            // A cancel drains too: a write left in flight could land after the
            // markers the run writes next.
            if (now >= drainEnd) {
                break;  // what is still in flight is left to the queue's end
            }
        }
    }
    if (failed) {
        return kStatusFailed;
    }
    if (cancel_.load(std::memory_order_relaxed) != 0) {
        return kStatusCancelled;
    }
    progress_.store(100, std::memory_order_relaxed);
    summarize(tally);
    return kStatusDone;
}

void QueuedBenchmark::summarize(const Tally& tally) {
    record_.completions = tally.completions;
    record_.bytes = tally.bytes;
    // A test the box ended is measured up to the end of the box; one that ended with its
    // sweep, up to its last completion.
    const uint64_t windowEnd = tally.boxExpired ? tally.boxEnd : tally.lastEnd;
    if (tally.completions == 0 || windowEnd <= tally.measureStart) {
        logMessage("    No transfer completed within the time box");
        return;
    }
    // Timed from the first completion in the window, counting those after it: the
    // first group was served mostly before the window opened. A medium so slow that
    // nothing followed it is timed from the window's start instead.
    uint64_t counted = tally.completions - tally.firstCompletions;
    uint64_t from = tally.firstEnd;
    if (counted == 0 || windowEnd <= from) {
        counted = tally.completions;
        from = tally.measureStart;
    }
    const uint64_t ticks = windowEnd - from;
    const long double seconds = static_cast<long double>(ticks) / frequency_;
    record_.measuredNs = nsOfTicks(ticks, frequency_);
    record_.bytesPerSecond = static_cast<uint64_t>(counted * setup_.blockSize / seconds);
    record_.milliIops = static_cast<uint64_t>(counted * 1000.0L / seconds);
    if (setup_.queueDepth != 1 || latencies_.empty()) {
        return;
    }
    record_.sampledLatencies = static_cast<uint32_t>(latencies_.size());
    record_.latencyMaxNs = nsOfTicks(tally.maxTicks, frequency_);
    // Nearest rank: the smallest latency at or above which the fraction lies.
    auto rank = [this](long double fraction) {
        const size_t n = latencies_.size();
        size_t index = static_cast<size_t>(fraction * n + 0.999999L);
        index = index == 0 ? 0 : std::min(index, n) - 1;
        std::nth_element(latencies_.begin(), latencies_.begin() + static_cast<long>(index),
                         latencies_.end());
        return nsOfTicks(latencies_[index], frequency_);
    };
    record_.latencyMedianNs = rank(0.5L);
    record_.latencyP99Ns = rank(0.99L);
    record_.latencyP999Ns = rank(0.999L);
}

}  // namespace vorn
