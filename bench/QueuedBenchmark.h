#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "bench/Benchmark.h"
#include "storage/TransferQueue.h"

namespace vorn {

// What a queued benchmark is asked to do.
struct QueuedSetup {
    bool write = false;
    bool random = false;           // random block-aligned offsets rather than one sweep
    uint32_t blockSize = 1048576;  // bytes per transfer
    uint32_t queueDepth = 1;       // transfers kept in flight
    uint32_t warmUpMs = 1000;      // transfers before the measured part are not counted
    uint32_t measureMs = 5000;     // the measured part; a sweep ends sooner at its region's end
    uint64_t regionBytes = uint64_t{1} << 30;  // from the start of the medium (less when smaller)
    uint64_t seed = 0x51c0ffee;                // random offsets are the same run after run
};

// What it measured. Rates are over the measured part only: bytes moved by the
// transfers that completed in it, over the time from its start to its last completion.
struct QueuedRecord {
    uint32_t write = 0;
    uint32_t random = 0;
    uint32_t blockSize = 0;
    uint32_t queueDepth = 0;
    uint64_t regionStart = 0;  // bytes
    uint64_t regionBytes = 0;
    uint64_t completions = 0;  // measured transfers
    uint64_t bytes = 0;        // measured bytes
    uint64_t measuredNs = 0;
    uint64_t bytesPerSecond = 0;
    uint64_t milliIops = 0;  // completions per second times 1000
    // Queue depth 1 only (0 otherwise): latency median, 99th and 99.9th percentile and
    // maximum, in nanoseconds.
    uint64_t latencyMedianNs = 0;
    uint64_t latencyP99Ns = 0;
    uint64_t latencyP999Ns = 0;
    uint64_t latencyMaxNs = 0;
    uint32_t sampledLatencies = 0;  // the latencies the percentiles are taken from
};

// Transfers of one size kept queued at a fixed depth for a fixed time, inside one
// region of the medium: sequential (one sweep, wrapping) or random. Runs on a worker
// thread of its own while the caller polls, like the zoned benchmarks.
class QueuedBenchmark : public I_Benchmark {
public:
    explicit QueuedBenchmark(const QueuedSetup& setup);
    ~QueuedBenchmark() override;
    QueuedBenchmark(const QueuedBenchmark&) = delete;
    QueuedBenchmark& operator=(const QueuedBenchmark&) = delete;

    void start(I_VornDevice* device) override;
    void cancel() override;
    uint32_t getStatus() override;
    // 1 once a record exists.
    uint32_t getResultCount() override;
    // kValueZoneRate: bytes/s; kValueMedian: latency median in ns; kValueMax: latency
    // maximum in ns. Row 0 only.
    bool getValue(uint32_t kind, uint32_t row, uint64_t* value) override;
    uint32_t getProgress() override;
    // The figures; false while the worker runs or when it did not finish.
    [[nodiscard]] bool record(QueuedRecord* out) const;
    // Why the last start failed, for the log; empty when it did not.
    const char* failure() const { return failure_; }

    // Latencies kept for the percentiles at depth 1; later ones count towards the
    // rates and the maximum only.
    static constexpr uint32_t kMaxLatencySamples = 1u << 20;

private:
    struct Tally;
    void run();
    bool setUp();
    uint32_t measure(I_TransferQueue& queue);
    bool pushNext(I_TransferQueue& queue, uint32_t slot);
    void count(const QueuedCompletion& done, Tally& tally);
    void summarize(const Tally& tally);
    void finish(uint32_t status);

    QueuedSetup setup_;
    I_VornDevice* device_ = nullptr;
    uint32_t sectorSize_ = 0;
    uint64_t regionSectors_ = 0;
    uint64_t frequency_ = 0;
    uint64_t nextBlock_ = 0;  // the sweep's next block
    uint64_t randomState_ = 0;
    std::vector<QueuedCompletion> completions_;
    QueuedRecord record_{};
    // Latencies of the measured part at depth 1, in ns; reserved before timing starts.
    std::vector<uint32_t> latencies_;
    const char* failure_ = "";
    std::atomic<uint32_t> status_{kStatusFailed};
    std::atomic<uint32_t> finished_{0};
    std::atomic<uint32_t> cancel_{0};
    std::atomic<uint32_t> progress_{0};
    std::thread worker_;
};

}  // namespace vorn
