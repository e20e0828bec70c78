// capacity: whether the medium holds what it claims, asked and refused as the write
// test is; the fast probe, or every sector with --full. Its exit status tells the
// verdicts apart, so a script can sort a box of cards without reading the text.

#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <optional>
#include <string>

#include "app/WriteConsent.h"
#include "base/DiagLog.h"
#include "base/FileNames.h"
#include "bench/CapacityProbe.h"
#include "cli/CliSupport.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/DeviceOpen.h"
#include "cli/JsonOut.h"
#include "cli/SignalCancel.h"
#include "cli/TerminalDialogs.h"
#include "results/CapacityEntry.h"
#include "results/WritePassSpans.h"
#include "storage/LinuxDrive.h"

namespace vorn::cli {
namespace {

constexpr const char* kCommand = "capacity";
constexpr uint32_t kBuffer = 524288;

constexpr int kExitCounterfeit = 3;
constexpr int kExitFailedMedium = 4;
constexpr int kExitNoVerdict = 5;

constexpr const char* kExitCodes =
    "Exit status: 0 genuine; 3 counterfeit (less storage than claimed); 4 the medium "
    "failed outright (no good storage at its start); 5 no verdict (the medium stopped "
    "answering or failed where it had shown itself real); 1 other errors and refusals; "
    "2 usage errors; 130, 143, 129 cancelled by SIGINT, SIGTERM, SIGHUP.";

std::string clockText(uint64_t seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%" PRIu64 ":%02u:%02u", seconds / 3600,
                  static_cast<unsigned>(seconds / 60 % 60), static_cast<unsigned>(seconds % 60));
    return text;
}

// Progress on stderr: on a terminal one line redrawn in place with the pass, its
// share done, its rate and the time the whole check still needs; otherwise one line
// as each pass begins, naming it. The write pass of a full check is kept for its curve.
class ProgressLine : public I_ProbeObserver {
public:
    explicit ProgressLine(WritePassSpans& spans)
        : terminal_(isatty(STDERR_FILENO) != 0), spans_(spans) {}
    ~ProgressLine() override {
        if (terminal_ && drawn_) {
            std::fputc('\n', stderr);
        }
    }
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    void progress(const ProbeProgress& p) override {
        spans_.note(p);
        if (!terminal_) {
            if (p.pass != pass_) {
                pass_ = p.pass;
                std::fprintf(stderr, "Pass %u: %s %.1f MB\n", p.pass, p.passName,
                             static_cast<double>(p.totalBytes) / 1e6);
            }
            return;
        }
        const uint64_t percent = p.totalBytes == 0 ? 100 : p.doneBytes * 100 / p.totalBytes;
        const uint64_t left = probeSecondsLeft(p);
        if (p.pass == pass_ && percent == percent_ && left == left_) {
            return;
        }
        pass_ = p.pass;
        percent_ = percent;
        left_ = left;
        std::fprintf(stderr, "\rPass %u: %-26s %3" PRIu64 "%%  %6.1f MB/s  %s left   ", p.pass,
                     p.passName, percent, static_cast<double>(probeRate(p)) / 1e6,
                     clockText(left).c_str());
        drawn_ = true;
    }
    bool cancelRequested() override { return cli::cancelRequested(); }

private:
    bool terminal_;
    WritePassSpans& spans_;
    bool drawn_ = false;
    uint32_t pass_ = 0;
    uint64_t percent_ = UINT64_MAX;
    uint64_t left_ = UINT64_MAX;
};

Json numberOrNull(bool present, uint64_t value) {
    return present ? Json(value) : Json(nullptr);
}

Json curveJson(const std::optional<WriteCurve>& curve) {
    if (!curve) {
        return nullptr;
    }
    return {{"written_bytes", curve->writtenBytes}, {"cache_bytes", curve->cacheBytes},
            {"cache_rate", curve->cacheRate},       {"sustained_rate", curve->sustainedRate},
            {"slowest_rate", curve->slowestRate},   {"slowest_offset", curve->slowestOffset}};
}

// With a full check, "write_curve" closes the answer: null when it found none.
void printCapacityJson(const CapacityResult& r, const std::optional<WriteCurve>& curve) {
    const bool failed = r.fault != SectorFault::None;
    Json answer = {{"claimed_bytes", r.claimedBytes},
                   {"verified_bytes", r.verifiedBytes},
                   {"verdict", capacityVerdictName(r.verdict)},
                   {"full", r.full},
                   {"resolution_bytes", r.resolutionBytes},
                   {"sector_size", r.sectorSize},
                   {"first_failed_sector", numberOrNull(failed, r.failedSector)},
                   {"failure", failed ? Json(sectorFaultName(r.fault)) : Json(nullptr)},
                   {"wraps_to", numberOrNull(r.fault == SectorFault::Wraps, r.wrapsTo)},
                   {"bytes_written", r.bytesWritten},
                   {"bytes_read", r.bytesRead},
                   {"verified_sectors", r.sectorSize == 0 ? 0 : r.verifiedBytes / r.sectorSize}};
    if (r.full) {
        answer["write_curve"] = curveJson(curve);
    }
    printJson(answer);
}

const char* stopName(ProbeStop stop) {
    switch (stop) {
        case ProbeStop::Gone:
            return "gone";
        case ProbeStop::Unreadable:
            return "unreadable";
        case ProbeStop::WriteRefused:
            return "write_refused";
        case ProbeStop::StartUnreadable:
            return "start_unreadable";
        case ProbeStop::None:
            break;
    }
    return "none";
}

// A check without a verdict still answers a script in JSON: what stopped it and where.
void printStopJson(const CapacityResult& r) {
    printJson({{"claimed_bytes", r.claimedBytes},
               {"verdict", nullptr},
               {"stopped", stopName(r.stop)},
               {"stop_sector", r.stopSector},
               {"errno", r.stopError},
               {"message", capacityStopText(r)},
               {"bytes_written", r.bytesWritten},
               {"bytes_read", r.bytesRead}});
}

void printText(const CapacityResult& r, const std::optional<WriteCurve>& curve) {
    std::printf("%s\n", capacityVerdictText(r).c_str());
    if (const std::string failed = capacityFailureText(r); !failed.empty()) {
        std::printf("%s\n", failed.c_str());
    }
    if (curve) {
        std::printf("%s\n", writeCurveText(*curve).c_str());
    }
}

int verdictCode(const CapacityResult& r) {
    if (r.verdict == CapacityVerdict::Genuine) {
        return 0;
    }
    return r.verifiedBytes == 0 ? kExitFailedMedium : kExitCounterfeit;
}

int probeStatusCode(ProbeStatus status, const CapacityResult& r) {
    switch (status) {
        case ProbeStatus::Done:
            return verdictCode(r);
        case ProbeStatus::Cancelled:
            return cancelRequested() ? cancelledExit(kCommand) : failWith(kCommand, "cancelled");
        case ProbeStatus::NoMedium:
            return failWith(kCommand, "the medium has no sectors the check can use");
        case ProbeStatus::Stopped:
            return failWith(kCommand, capacityStopText(r), kExitNoVerdict);
        case ProbeStatus::NotWritable:
            break;
    }
    return failWith(kCommand, "writing is not allowed on this device");
}

}  // namespace

int runCapacity(int argc, char** argv) {
    const CancelOnSignals cancelOnSignals;
    CommandLine line(kCommand, "Whether the medium holds what it claims (overwrites it).");
    line.footer(kExitCodes);
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
    ScopedLog log(kTestLog);
    std::string error;
    auto disk = openTarget(line, target, nullptr, kBuffer, &error);
    if (!disk) {
        return line.usageError(error);
    }
    if (const auto code = readyForTransfers(*disk, kCommand)) {
        return *code;
    }
    TerminalQuestions dialogs(yes);
    const bool agreed = mediumAccepted(*disk, dialogs) && confirmCapacityCheck(*disk, dialogs) &&
                        claimDeviceForWrite(*disk, dialogs, "the capacity check");
    if (cancelRequested()) {
        return cancelledExit(kCommand);
    }
    if (!agreed) {
        return failWith(kCommand, "stopped before the check");
    }
    CapacityResult result;
    ProbeStatus status;
    // Taken before the check: noting its write pass then takes no memory.
    WritePassSpans spans(options.full ? disk->mediaSectors() * disk->mediaBlockSize() : 0);
    {
        ProgressLine progress(spans);
        status = probeCapacity(*disk, options, progress, result);
    }
    if (status != ProbeStatus::Done) {
        if (status == ProbeStatus::Stopped) {
            logMessage("** %s", capacityStopText(result).c_str());
            if (json) {
                printStopJson(result);
            }
        }
        return probeStatusCode(status, result);
    }
    const std::optional<WriteCurve> curve = spans.curve(result.verifiedBytes);
    if (json) {
        printCapacityJson(result, curve);
    } else {
        printText(result, curve);
    }
    return verdictCode(result);
}

}  // namespace vorn::cli
