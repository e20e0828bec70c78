// capacity: whether the medium holds what it claims, asked and refused as the write
// test is; the fast probe, or every sector with --full.

#include <unistd.h>

#include <atomic>
#include <cinttypes>
#include <csignal>
#include <cstdio>
#include <string>

#include "app/WriteConsent.h"
#include "bench/CapacityProbe.h"
#include "cli/CliSupport.h"
#include "cli/Commands.h"
#include "cli/DeviceOpen.h"
#include "cli/TerminalDialogs.h"
#include "results/CapacityEntry.h"
#include "storage/Win2kDisk.h"

namespace vorn::cli {
namespace {

constexpr const char* kCommand = "capacity";
constexpr uint32_t kBuffer = 524288;
constexpr uint64_t kLineStep = 10;  // percent between progress lines off a terminal

std::atomic<bool> g_stop{false};

extern "C" void onStop(int) {
    g_stop.store(true);
}

// Ctrl-C stops the probe after its current request.
class StopOnInterrupt {
public:
    StopOnInterrupt() {
        struct sigaction action = {};
        action.sa_handler = onStop;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &previous_);
    }
    ~StopOnInterrupt() { sigaction(SIGINT, &previous_, nullptr); }
    StopOnInterrupt(const StopOnInterrupt&) = delete;
    StopOnInterrupt& operator=(const StopOnInterrupt&) = delete;

private:
    struct sigaction previous_ = {};
};

std::string clockText(uint64_t seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%" PRIu64 ":%02u:%02u", seconds / 3600,
                  static_cast<unsigned>(seconds / 60 % 60), static_cast<unsigned>(seconds % 60));
    return text;
}

// Progress, rate and time left on stderr: redrawn in place on a terminal, a line
// every tenth of a pass otherwise.
class ProgressLine : public I_ProbeObserver {
public:
    ProgressLine() : terminal_(isatty(STDERR_FILENO) != 0) {}
    ~ProgressLine() override {
        if (terminal_ && drawn_) {
            std::fputc('\n', stderr);
        }
    }
    void progress(const ProbeProgress& p) override {
        const uint64_t percent = p.totalBytes == 0 ? 100 : p.doneBytes * 100 / p.totalBytes;
        const uint64_t left = probeSecondsLeft(p);
        const bool newPass = p.doneBytes == 0;
        if (!newPass && (terminal_ ? percent == percent_ && left == left_
                                   : percent / kLineStep == percent_ / kLineStep)) {
            return;
        }
        percent_ = percent;
        left_ = left;
        std::fprintf(stderr, "%s%-8s %3" PRIu64 "%%  %6.1f MB/s  %s left%s", terminal_ ? "\r" : "",
                     p.writing ? "Writing" : "Reading", percent,
                     static_cast<double>(probeRate(p)) / 1e6, clockText(left).c_str(),
                     terminal_ ? "   " : "\n");
        drawn_ = true;
    }
    bool cancelRequested() override { return g_stop.load(); }

private:
    bool terminal_;
    bool drawn_ = false;
    uint64_t percent_ = UINT64_MAX;
    uint64_t left_ = 0;
};

std::string jsonNumberOrNull(bool present, uint64_t value) {
    return present ? std::to_string(value) : "null";
}

void printJson(const CapacityResult& r) {
    const bool failed = r.fault != SectorFault::None;
    // Appended piece by piece: GCC 12 at -O3 warns falsely (-Wrestrict) on
    // "literal" + std::string.
    std::string failure = "null";
    if (failed) {
        failure = "\"";
        failure += sectorFaultName(r.fault);
        failure += "\"";
    }
    std::printf(
        "{\"claimed_bytes\": %" PRIu64 ", \"verified_bytes\": %" PRIu64
        ", \"verdict\": \"%s\", \"full\": %s, \"resolution_bytes\": %" PRIu64
        ", \"sector_size\": %u, \"first_failed_sector\": %s, \"failure\": %s, \"wraps_to\": %s, "
        "\"bytes_written\": %" PRIu64 ", \"bytes_read\": %" PRIu64 "}\n",
        r.claimedBytes, r.verifiedBytes, capacityVerdictName(r.verdict), r.full ? "true" : "false",
        r.resolutionBytes, r.sectorSize, jsonNumberOrNull(failed, r.failedSector).c_str(),
        failure.c_str(), jsonNumberOrNull(r.fault == SectorFault::Wraps, r.wrapsTo).c_str(),
        r.bytesWritten, r.bytesRead);
}

void printText(const CapacityResult& r) {
    std::printf("%s\n", capacityVerdictText(r).c_str());
    if (const std::string failed = capacityFailureText(r); !failed.empty()) {
        std::printf("%s\n", failed.c_str());
    }
}

int probeStatusCode(ProbeStatus status) {
    switch (status) {
        case ProbeStatus::Done:
            return 0;
        case ProbeStatus::Cancelled:
            return failWith(kCommand, "cancelled");
        case ProbeStatus::NoMedium:
            return failWith(kCommand, "the medium has no sectors the check can use");
        case ProbeStatus::NotWritable:
            break;
    }
    return failWith(kCommand, "writing is not allowed on this device");
}

}  // namespace

int runCapacity(int argc, char** argv) {
    ArgParser args(argc, argv);
    ProbeOptions options;
    options.full = args.takeFlag("--full");
    const bool yes = args.takeFlag("--yes");
    const bool json = args.takeFlag("--json");
    ScopedLog log("vorntest.log");
    auto disk = args.ok() ? openTarget(args, nullptr, kBuffer) : nullptr;
    if (args.ok() && !args.positionals().empty()) {
        args.fail("unexpected argument");
    }
    if (!args.ok() || !disk) {
        return failWith(kCommand, args.error(), 2);
    }
    TerminalQuestions dialogs(yes);
    if (!mediumAccepted(*disk, dialogs) || !confirmWriteTest(*disk, dialogs) ||
        !claimDeviceForWrite(*disk, dialogs)) {
        return failWith(kCommand, "stopped before the check");
    }
    CapacityResult result;
    ProbeStatus status;
    {
        StopOnInterrupt interrupt;
        g_stop.store(false);
        ProgressLine progress;
        status = probeCapacity(*disk, options, progress, result);
    }
    if (status != ProbeStatus::Done) {
        return probeStatusCode(status);
    }
    if (json) {
        printJson(result);
    } else {
        printText(result);
    }
    return 0;
}

}  // namespace vorn::cli
