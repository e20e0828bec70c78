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
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/DeviceOpen.h"
#include "cli/JsonOut.h"
#include "cli/TerminalDialogs.h"
#include "results/CapacityEntry.h"
#include "storage/LinuxDrive.h"

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

Json numberOrNull(bool present, uint64_t value) {
    return present ? Json(value) : Json(nullptr);
}

void printCapacityJson(const CapacityResult& r) {
    const bool failed = r.fault != SectorFault::None;
    printJson({{"claimed_bytes", r.claimedBytes},
               {"verified_bytes", r.verifiedBytes},
               {"verdict", capacityVerdictName(r.verdict)},
               {"full", r.full},
               {"resolution_bytes", r.resolutionBytes},
               {"sector_size", r.sectorSize},
               {"first_failed_sector", numberOrNull(failed, r.failedSector)},
               {"failure", failed ? Json(sectorFaultName(r.fault)) : Json(nullptr)},
               {"wraps_to", numberOrNull(r.fault == SectorFault::Wraps, r.wrapsTo)},
               {"bytes_written", r.bytesWritten},
               {"bytes_read", r.bytesRead}});
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
    CommandLine line(kCommand, "Whether the medium holds what it claims (overwrites it).");
    Target target;
    ProbeOptions options;
    bool yes = false, json = false;
    addTargetOptions(line, &target);
    line.flag("--full", &options.full, "check every sector rather than probe");
    line.flag("--yes", &yes, "answer yes to every question");
    line.flag("--json", &json, "print the answer as JSON");
    if (const auto code = line.parse(argc, argv)) {
        return *code;
    }
    ScopedLog log("vorntest.log");
    std::string error;
    auto disk = openTarget(line, target, nullptr, kBuffer, &error);
    if (!disk) {
        return line.usageError(error);
    }
    if (const auto code = readyForTransfers(*disk, kCommand)) {
        return *code;
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
        printCapacityJson(result);
    } else {
        printText(result);
    }
    return 0;
}

}  // namespace vorn::cli
