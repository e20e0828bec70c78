#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "results/Collections.h"
#include "results/CpuId.h"
#include "results/RunDetails.h"

namespace vorn {

class I_DriveFacts;

// What saving takes from outside the result. Tests replace the clock measurement,
// which sleeps a second, and the writer, to make a write fail halfway.
struct SaveHooks {
    std::function<int32_t()> cpuMhz = measureCpuMhz;
    std::function<std::unique_ptr<I_VornCollection>(const char*)> create = createCollection;
};

struct SaveOutcome {
    bool resultSaved = false;
    bool reportSaved = false;  // also false when no report was asked for
    std::string problem;       // for the user when something could not be written
};

// "<identification>[ YYYYMMDDhhmm].qkc" with every character but ASCII letters and
// digits turned into "_"; the time is the result's "QKCTIME" in local time (1970
// when it has none).
std::string resultFileName(const char* deviceId, I_VornCollection& collection, bool withTime);

// The report beside a saved result: the path cut before its first "." with ".csv"
// appended. A cut that would leave no name (a "." opening a folder or file name, as
// in "~/.local/x.qkc" or "./x.qkc") is made at the file name's last "." instead.
std::string reportPathFor(const std::string& resultPath);

// Appends the statistics block of one test: title, stored parameters, column
// header and one row per zone (or the access-time row), then "\n\n\n". A test that
// is missing leaves only "\n\n\n"; a key that is no test adds nothing.
void writeStatistics(std::string& report, I_VornCollection& collection, const char* key,
                     const char* title);

// The whole comma-separated report: program version, the device's list text and the
// fourteen test blocks.
std::string statisticsReport(I_VornCollection& collection, const std::string& deviceText);

// Writes the result on view with the user's details to `target` (every source entry
// but "DRIVEID", then the details, the processor identification and clock), and
// with `withReport` the statistics report beside it. Each file is written under a
// temporary name in its folder and moved over any old file only once complete, so a
// failure leaves nothing partial and an old file as it was.
[[nodiscard]] SaveOutcome saveResultFile(const ResultDetails& details, I_DriveFacts& device,
                                         I_VornCollection& source, const std::string& target,
                                         bool withReport, const SaveHooks& hooks = {});

}  // namespace vorn
