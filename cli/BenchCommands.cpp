// bench and access: one benchmark on one drive, with its statistics.

#include <algorithm>
#include <cstdio>
#include <string>

#include "base/FileNames.h"
#include "bench/DiskRwBenchmark.h"
#include "bench/QueuedBenchmark.h"
#include "bench/RAccessBenchmark.h"
#include "cli/CliSupport.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/DeviceOpen.h"
#include "cli/JsonOut.h"
#include "cli/SignalCancel.h"
#include "platform/LockedBuffer.h"
#include "results/RunSteps.h"
#include "storage/LinuxDrive.h"

namespace vorn::cli {
namespace {

constexpr uint32_t kMinBuffer = 524288;
// Far beyond any block a flash medium is measured with, and a buffer that can be had.
constexpr uint64_t kMaxBlock = 64ull << 20;
constexpr uint64_t kMaxQueue = 256;
constexpr uint64_t kMaxSeconds = 3600;
// Each access keeps its time: the samples must fit in memory at once.
constexpr uint64_t kMaxAccessCount = 1000000;

const char* statusText(uint32_t status) {
    switch (status) {
        case kStatusDone:
            return "finished";
        case kStatusCancelled:
            return "cancelled";
        case kStatusFailed:
            return "a transfer failed";
        case kStatusNoMedia:
            return "no media";
        case kStatusBadSetup:
            return "no media, or block/zone sizes not acceptable";
        case kStatusNotWritable:
            return "the device cannot be written";
        default:
            return "unknown status";
    }
}

// Polls like the test run does, with the progress shown on stderr. A cancelling
// signal is passed on at once; the worker stops after its current transfer.
uint32_t runToEnd(I_Benchmark& benchmark, const char* label) {
    ProgressBar bar(label);
    uint32_t status;
    while ((status = benchmark.getStatus()) == kStatusRunning) {
        bar.update(benchmark.getProgress());
        if (cancelRequested()) {
            benchmark.cancel();
        }
        sleepUnlessCancelled(100);
    }
    bar.update(benchmark.getProgress());
    return status;
}

uint64_t valueOf(I_Benchmark& benchmark, uint32_t kind, uint32_t row) {
    uint64_t value = 0;
    return benchmark.getValue(kind, row, &value) ? value : 0;
}

bool confirmWrite(LinuxDrive& disk, bool yes) {
    if (yes) {
        return true;
    }
    if (cancelRequested()) {
        return false;
    }
    std::fprintf(stderr, "The write test overwrites data on %s (%s). Continue? [y/N] ",
                 disk.getDevicePath(), disk.deviceId());
    char answer[16] = {};
    return std::fgets(answer, sizeof answer, stdin) != nullptr &&
           (answer[0] == 'y' || answer[0] == 'Y');
}

void printZonesJson(DiskRwBenchmark& bench, uint32_t status) {
    Json zones = Json::array();
    for (uint32_t r = 0; r < bench.getResultCount(); ++r) {
        zones.push_back({{"start", valueOf(bench, kValueZoneStart, r)},
                         {"max", valueOf(bench, kValueMax, r)},
                         {"min", valueOf(bench, kValueMin, r)},
                         {"zone_rate", valueOf(bench, kValueZoneRate, r)},
                         {"median", valueOf(bench, kValueMedian, r)},
                         {"stddev", valueOf(bench, kValueStdDev, r)}});
    }
    printJson({{"status", status}, {"zones", zones}});
}

void printZones(DiskRwBenchmark& bench, uint32_t status) {
    const uint32_t rows = bench.getResultCount();
    std::printf("status %u (%s), %u zone(s)\n", status, statusText(status), rows);
    std::printf("%14s %12s %12s %12s %12s %12s\n", "start", "max B/s", "min B/s", "zone B/s",
                "median B/s", "stddev B/s");
    for (uint32_t r = 0; r < rows; ++r) {
        const auto v = [&](uint32_t kind) {
            return static_cast<unsigned long long>(valueOf(bench, kind, r));
        };
        std::printf("%14llu %12llu %12llu %12llu %12llu %12llu\n", v(kValueZoneStart), v(kValueMax),
                    v(kValueMin), v(kValueZoneRate), v(kValueMedian), v(kValueStdDev));
    }
}

struct BenchOptions {
    Target target;
    bool write = false, read = false, full = false, json = false, yes = false;
    uint64_t block = 0, zones = 2, warmUp = 0, timed = 4194304, align = 65536;
    bool random = false;
    uint64_t queue = 1, seconds = 5;
};

// --random, --queue or --seconds ask for the queued test instead of the zoned one.
bool queuedAsked(const CommandLine& line) {
    return line.given("--random") || line.given("--queue") || line.given("--seconds");
}

void addBenchOptions(CommandLine& line, BenchOptions& o) {
    addTargetOptions(line, &o.target);
    line.flag("--read", &o.read, "measure reading");
    line.flag("--write", &o.write, "measure writing (overwrites the medium)");
    line.number("--block", &o.block, kMaxBlock, "bytes per transfer (required)");
    line.number("--zones", &o.zones, UINT32_MAX, "zones across the medium (default 2)");
    line.number("--warmup", &o.warmUp, UINT32_MAX, "bytes moved before timing (default 0)");
    line.number("--timed", &o.timed, UINT32_MAX, "bytes timed per zone (default 4194304)");
    line.number("--align", &o.align, UINT32_MAX, "zone alignment in bytes (default 65536)");
    line.flag("--full", &o.full, "measure the whole zone");
    line.flag("--random", &o.random, "queued test: random offsets (block default 4096)");
    line.number("--queue", &o.queue, kMaxQueue, "queued test: transfers in flight (default 1)");
    line.number("--seconds", &o.seconds, kMaxSeconds,
                "queued test: seconds measured after 1 s of warm-up (default 5)");
    line.flag("--json", &o.json, "print the zones as JSON");
    line.flag("--yes", &o.yes, "write without asking");
}

void printAccess(I_Benchmark& bench, uint32_t status, bool json) {
    const auto v = [&](uint32_t kind) { return valueOf(bench, kind, 0); };
    if (json) {
        printJson({{"status", status},
                   {"max", v(kValueMax)},
                   {"min", v(kValueMin)},
                   {"mean", v(kValueZoneRate)},
                   {"median", v(kValueMedian)},
                   {"stddev", v(kValueStdDev)}});
        return;
    }
    std::printf("status %u (%s), times in ms\n", status, statusText(status));
    std::printf("max %.2f  min %.2f  mean %.2f  median %.2f  stddev %.2f\n", v(kValueMax) / 100.0,
                v(kValueMin) / 100.0, v(kValueZoneRate) / 100.0, v(kValueMedian) / 100.0,
                v(kValueStdDev) / 100.0);
}

void printQueuedJson(uint32_t status, const QueuedRecord* r) {
    if (r == nullptr) {
        printJson({{"status", status}});
        return;
    }
    Json out = {{"status", status},
                {"write", r->write != 0},
                {"random", r->random != 0},
                {"block", r->blockSize},
                {"queue_depth", r->queueDepth},
                {"region_bytes", r->regionBytes},
                {"completions", r->completions},
                {"bytes", r->bytes},
                {"measured_ns", r->measuredNs},
                {"bytes_per_second", r->bytesPerSecond},
                {"iops", static_cast<double>(r->milliIops) / 1000.0}};
    if (r->queueDepth == 1) {
        out["latency_ns"] = {{"median", r->latencyMedianNs},
                             {"p99", r->latencyP99Ns},
                             {"p999", r->latencyP999Ns},
                             {"max", r->latencyMaxNs}};
    }
    printJson(out);
}

void printQueued(uint32_t status, const QueuedRecord* r) {
    std::printf("status %u (%s)\n", status, statusText(status));
    if (r == nullptr) {
        return;
    }
    std::printf("%s %s, %u-byte blocks at queue depth %u over %llu bytes\n",
                r->random ? "random" : "sequential", r->write ? "write" : "read", r->blockSize,
                r->queueDepth, static_cast<unsigned long long>(r->regionBytes));
    std::printf(
        "%.1f MB/s, %.0f IOPS (%llu transfers in %.3f s)\n",
        static_cast<double>(r->bytesPerSecond) / 1e6, static_cast<double>(r->milliIops) / 1000.0,
        static_cast<unsigned long long>(r->completions), static_cast<double>(r->measuredNs) / 1e9);
    if (r->queueDepth == 1 && r->sampledLatencies != 0) {
        std::printf("latency ms: median %.3f  99%% %.3f  99.9%% %.3f  max %.3f\n",
                    static_cast<double>(r->latencyMedianNs) / 1e6,
                    static_cast<double>(r->latencyP99Ns) / 1e6,
                    static_cast<double>(r->latencyP999Ns) / 1e6,
                    static_cast<double>(r->latencyMaxNs) / 1e6);
    }
}

int runQueuedBench(I_VornDevice& disk, const QueuedSetup& setup, bool json) {
    QueuedBenchmark bench(setup);
    bench.start(&disk);
    const uint32_t status = runToEnd(bench, setup.write ? "queued write" : "queued read");
    if (cancelRequested()) {
        return cancelledExit("bench");
    }
    QueuedRecord record;
    const bool measured = bench.record(&record);
    json ? printQueuedJson(status, measured ? &record : nullptr)
         : printQueued(status, measured ? &record : nullptr);
    return status == kStatusDone ? 0 : failWith("bench", statusText(status));
}

}  // namespace

int runBench(int argc, char** argv) {
    // From the start, so a signal while the device opens cancels too.
    const CancelOnSignals cancelOnSignals;
    CommandLine line("bench", "One read or write benchmark on one drive, zone by zone.");
    BenchOptions o;
    addBenchOptions(line, o);
    if (const auto code = line.parse(argc, argv)) {
        return *code;
    }
    if (o.read == o.write) {
        return line.usageError("give either --read or --write");
    }
    const bool queued = queuedAsked(line);
    if (queued && !line.given("--block")) {
        o.block = o.random ? kRndBlock : kSeqBlock;
    }
    if (!line.given("--block")) {
        if (!queued) {
            return line.usageError("--block BYTES is required");
        }
    }
    if (queued &&
        (o.queue == 0 || o.seconds == 0 || o.block == 0 || o.block * o.queue > kMaxBlock)) {
        return line.usageError(
            "--queue and --seconds must be at least 1, and --block times "
            "--queue at most " +
            std::to_string(kMaxBlock) + " bytes");
    }
    ScopedLog log(kTestLog);
    const uint32_t bufferSize =
        std::max<uint32_t>(kMinBuffer, static_cast<uint32_t>(queued ? o.block * o.queue : o.block));
    if (!platform::LockedBuffer::allocate(bufferSize)) {
        return failWith(
            "bench", "no memory for a transfer buffer of " + std::to_string(bufferSize) + " bytes");
    }
    std::string error;
    auto disk = openTarget(line, o.target, nullptr, bufferSize, &error);
    if (!disk) {
        return line.usageError(error);
    }
    if (const auto code = readyForTransfers(*disk, "bench")) {
        return *code;
    }
    if (o.write) {
        if (!armWrites(*disk)) {
            return failWith("bench", "writing is not allowed on this device");
        }
        if (!confirmWrite(*disk, o.yes)) {
            return cancelRequested() ? cancelledExit("bench") : failWith("bench", "cancelled");
        }
        // Writing needs the drive to itself (and, as a normal user, a descriptor
        // opened for writing).
        if (std::string why; !disk->claimForWrite(why)) {
            return failWith(
                "bench", std::string(disk->getDevicePath()) + ": " + why + "; nothing was written");
        }
    }
    if (queued) {
        const QueuedSetup setup{.write = o.write,
                                .random = o.random,
                                .blockSize = static_cast<uint32_t>(o.block),
                                .queueDepth = static_cast<uint32_t>(o.queue),
                                .measureMs = static_cast<uint32_t>(o.seconds * 1000)};
        return runQueuedBench(*disk, setup, o.json);
    }
    auto bench = newDiskRwBenchmark(o.write ? 1 : 0, o.full ? 0 : 1, static_cast<uint32_t>(o.block),
                                    static_cast<uint32_t>(o.zones), static_cast<uint32_t>(o.warmUp),
                                    static_cast<uint32_t>(o.timed), static_cast<uint32_t>(o.align));
    bench->start(disk.get());
    const uint32_t status = runToEnd(*bench, o.write ? "write benchmark" : "read benchmark");
    if (cancelRequested()) {
        return cancelledExit("bench");
    }
    o.json ? printZonesJson(*bench, status) : printZones(*bench, status);
    return status == kStatusDone ? 0 : failWith("bench", statusText(status));
}

int runAccess(int argc, char** argv) {
    const CancelOnSignals cancelOnSignals;
    CommandLine line("access", "Access times of one drive, random or sequential.");
    Target target;
    bool sequential = false, json = false;
    uint64_t count = 512;
    addTargetOptions(line, &target);
    line.flag("--sequential", &sequential, "sequential rather than random sectors");
    line.number("--count", &count, kMaxAccessCount, "accesses to time (default 512)");
    line.flag("--json", &json, "print the statistics as JSON");
    if (const auto code = line.parse(argc, argv)) {
        return *code;
    }
    if (count == 0) {
        return line.usageError("--count must be at least 1");
    }
    ScopedLog log(kTestLog);
    std::string error;
    auto disk = openTarget(line, target, nullptr, kMinBuffer, &error);
    if (!disk) {
        return line.usageError(error);
    }
    if (const auto code = readyForTransfers(*disk, "access")) {
        return *code;
    }
    auto bench = newRAccessBenchmark(static_cast<uint32_t>(count), sequential ? 1 : 0, 0);
    bench->start(disk.get());
    const uint32_t status = runToEnd(*bench, sequential ? "sequential access" : "random access");
    if (cancelRequested()) {
        return cancelledExit("access");
    }
    printAccess(*bench, status, json);
    return status == kStatusDone ? 0 : failWith("access", statusText(status));
}

}  // namespace vorn::cli
