// bench and access: one benchmark on one drive, with its statistics.

#include <algorithm>
#include <cstdio>
#include <string>

#include "bench/DiskRwBenchmark.h"
#include "bench/RAccessBenchmark.h"
#include "cli/CliSupport.h"
#include "cli/Commands.h"
#include "cli/DeviceOpen.h"
#include "cli/SignalCancel.h"
#include "platform/LockedBuffer.h"
#include "storage/Win2kDisk.h"

namespace vorn::cli {
namespace {

constexpr uint32_t kMinBuffer = 524288;
// Far beyond any block a flash medium is measured with, and a buffer that can be had.
constexpr uint64_t kMaxBlock = 64ull << 20;
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

bool confirmWrite(Win2kDisk& disk, bool yes) {
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

void printZones(DiskRwBenchmark& bench, uint32_t status, bool json) {
    const uint32_t rows = bench.getResultCount();
    if (json) {
        std::printf("{\"status\": %u, \"zones\": [", status);
    } else {
        std::printf("status %u (%s), %u zone(s)\n", status, statusText(status), rows);
        std::printf("%14s %12s %12s %12s %12s %12s\n", "start", "max B/s", "min B/s", "zone B/s",
                    "median B/s", "stddev B/s");
    }
    for (uint32_t r = 0; r < rows; ++r) {
        const auto v = [&](uint32_t kind) {
            return static_cast<unsigned long long>(valueOf(bench, kind, r));
        };
        if (json) {
            std::printf(
                "%s{\"start\": %llu, \"max\": %llu, \"min\": %llu, \"zone_rate\": %llu, "
                "\"median\": %llu, \"stddev\": %llu}",
                r == 0 ? "" : ", ", v(kValueZoneStart), v(kValueMax), v(kValueMin),
                v(kValueZoneRate), v(kValueMedian), v(kValueStdDev));
        } else {
            std::printf("%14llu %12llu %12llu %12llu %12llu %12llu\n", v(kValueZoneStart),
                        v(kValueMax), v(kValueMin), v(kValueZoneRate), v(kValueMedian),
                        v(kValueStdDev));
        }
    }
    if (json) {
        std::printf("]}\n");
    }
}

}  // namespace

int runBench(int argc, char** argv) {
    // From the start, so a signal while the device opens cancels too.
    const CancelOnSignals cancelOnSignals;
    ArgParser args(argc, argv);
    const bool write = args.takeFlag("--write");
    const bool read = args.takeFlag("--read");
    const bool full = args.takeFlag("--full");
    const bool json = args.takeFlag("--json");
    const bool yes = args.takeFlag("--yes");
    uint64_t block = 0, zones = 2, warmUp = 0, timed = 4194304, align = 65536;
    const bool hasBlock = args.takeUnsigned("--block", &block, kMaxBlock);
    args.takeUnsigned("--zones", &zones);
    args.takeUnsigned("--warmup", &warmUp);
    args.takeUnsigned("--timed", &timed);
    args.takeUnsigned("--align", &align);
    if (read == write) {
        args.fail("give either --read or --write");
    }
    if (!hasBlock) {
        args.fail("--block BYTES is required");
    }
    ScopedLog log("vorntest.log");
    const uint32_t bufferSize = std::max<uint32_t>(kMinBuffer, static_cast<uint32_t>(block));
    if (args.ok() && !platform::LockedBuffer::allocate(bufferSize)) {
        return failWith(
            "bench", "no memory for a transfer buffer of " + std::to_string(bufferSize) + " bytes");
    }
    auto disk = args.ok() ? openTarget(args, nullptr, bufferSize) : nullptr;
    if (!args.positionals().empty()) {
        args.fail("unexpected argument");
    }
    if (!args.ok()) {
        return failWith("bench", args.error(), 2);
    }
    if (write) {
        if (!disk->enableWrite(1, disk->mediaBlockSize(), 0)) {
            return failWith("bench", "writing is not allowed on this device");
        }
        if (!confirmWrite(*disk, yes)) {
            return cancelRequested() ? cancelledExit("bench") : failWith("bench", "cancelled");
        }
    }
    auto bench = newDiskRwBenchmark(write ? 1 : 0, full ? 0 : 1, static_cast<uint32_t>(block),
                                    static_cast<uint32_t>(zones), static_cast<uint32_t>(warmUp),
                                    static_cast<uint32_t>(timed), static_cast<uint32_t>(align));
    bench->start(disk.get());
    const uint32_t status = runToEnd(*bench, write ? "write benchmark" : "read benchmark");
    if (cancelRequested()) {
        return cancelledExit("bench");
    }
    printZones(*bench, status, json);
    return status == kStatusDone ? 0 : failWith("bench", statusText(status));
}

int runAccess(int argc, char** argv) {
    const CancelOnSignals cancelOnSignals;
    ArgParser args(argc, argv);
    const bool sequential = args.takeFlag("--sequential");
    const bool json = args.takeFlag("--json");
    uint64_t count = 512;
    if (args.takeUnsigned("--count", &count, kMaxAccessCount) && count == 0) {
        args.fail("--count must be at least 1");
    }
    ScopedLog log("vorntest.log");
    auto disk = args.ok() ? openTarget(args, nullptr, kMinBuffer) : nullptr;
    if (!args.positionals().empty()) {
        args.fail("unexpected argument");
    }
    if (!args.ok()) {
        return failWith("access", args.error(), 2);
    }
    auto bench = newRAccessBenchmark(static_cast<uint32_t>(count), sequential ? 1 : 0, 0);
    bench->start(disk.get());
    const uint32_t status = runToEnd(*bench, sequential ? "sequential access" : "random access");
    if (cancelRequested()) {
        return cancelledExit("access");
    }
    const auto v = [&](uint32_t kind) {
        return static_cast<unsigned long long>(valueOf(*bench, kind, 0));
    };
    if (json) {
        std::printf(
            "{\"status\": %u, \"max\": %llu, \"min\": %llu, \"mean\": %llu, \"median\": %llu, "
            "\"stddev\": %llu}\n",
            status, v(kValueMax), v(kValueMin), v(kValueZoneRate), v(kValueMedian),
            v(kValueStdDev));
    } else {
        std::printf("status %u (%s), times in ms\n", status, statusText(status));
        std::printf("max %.2f  min %.2f  mean %.2f  median %.2f  stddev %.2f\n",
                    v(kValueMax) / 100.0, v(kValueMin) / 100.0, v(kValueZoneRate) / 100.0,
                    v(kValueMedian) / 100.0, v(kValueStdDev) / 100.0);
    }
    return status == kStatusDone ? 0 : failWith("access", statusText(status));
}

}  // namespace vorn::cli
