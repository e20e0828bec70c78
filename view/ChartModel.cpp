#include "view/ChartModel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "base/TextFormat.h"
#include "results/CapacityEntry.h"
#include "results/Collections.h"
#include "results/ExtendedText.h"
#include "results/RatingsText.h"
#include "results/RunRecord.h"
#include "results/RunSteps.h"

namespace vorn {

namespace {

float megabytes(uint32_t bytesPerSecond) {
    return static_cast<float>(static_cast<double>(bytesPerSecond) * 1e-6);
}

// Bars show the first zone only. The read chart stops at the first test it cannot
// show, so a missing read test ends the device's bars.
std::vector<ChartBar> readBars(const RunRecord& run) {
    std::vector<ChartBar> bars;
    for (int i = 0; i < kTestsPerTable; ++i) {
        const std::optional<uint32_t> rate = firstZoneRate(run.reads[i]);
        if (!rate) {
            break;
        }
        bars.push_back(
            {readTests[i].blockSize, barLabel(readTests[i].blockSize), megabytes(*rate)});
    }
    return bars;
}

// Write tests may be missing one by one (skipped); a stored test without a zone ends
// the device's bars.
std::vector<ChartBar> writeBars(const RunRecord& run) {
    std::vector<ChartBar> bars;
    for (int i = 0; i < kTestsPerTable; ++i) {
        const std::optional<uint32_t> rate = firstZoneRate(run.writes[i]);
        if (run.writes[i] && !rate) {
            break;
        }
        if (rate) {
            bars.push_back(
                {writeTests[i].blockSize, barLabel(writeTests[i].blockSize), megabytes(*rate)});
        }
    }
    return bars;
}

template <size_t N>
std::vector<ExtendedBar> extendedBars(const std::array<RunStep, N>& rows,
                                      const std::array<std::optional<QueuedRecord>, N>& tests) {
    std::vector<ExtendedBar> bars;
    for (size_t i = 0; i < N; ++i) {
        if (const std::optional<QueuedRecord>& test = tests[i]) {
            const float mbps = static_cast<float>(static_cast<double>(test->bytesPerSecond) * 1e-6);
            bars.push_back({static_cast<int>(i), extendedLabel(rows[i]), mbps, test->random != 0,
                            iopsOf(*test)});
        }
    }
    return bars;
}

// Mean access time in milliseconds; 0 when the entry is absent.
double accessMs(const std::optional<AccessResult>& access) {
    return access ? static_cast<double>(accessHundredthsMs(*access, access->meanTicks)) * 0.01
                  : 0.0;
}

// At most 254 characters. The collection ends a cut value inside the capacity, so
// one byte more is asked for than is kept.
std::string readDriveId(I_VornCollection& result) {
    char text[256] = {};
    uint32_t valueCapacity = 255;
    uint32_t dataCapacity = 0;
    if (!result.findEntry(kDriveIdKey, &valueCapacity, text, &dataCapacity, nullptr)) {
        return {};
    }
    text[254] = '\0';
    return text;
}

// Times before 1970 are no test times, and not every C library converts them.
bool testedOnLine(int64_t seconds, std::string* line) {
    if (seconds < 0) {
        return false;
    }
    const std::time_t time = static_cast<std::time_t>(seconds);
    std::tm local{};
    if (localtime_r(&time, &local) == nullptr) {
        return false;
    }
    *line = formatted("  Tested on %04d-%02d-%02d at %02d:%02d", local.tm_year + 1900,
                      local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min);
    return true;
}

}  // namespace

std::string testTimeText(int64_t seconds) {
    std::string line;
    if (!testedOnLine(seconds, &line)) {
        return {};
    }
    // "  Tested on YYYY-MM-DD at hh:mm" without its words.
    return line.substr(12, 10) + " " + line.substr(26);
}

namespace {

std::vector<SummaryLine> deviceSummary(const ChartDevice& device) {
    std::vector<SummaryLine> lines;
    lines.push_back({device.driveId, true, device.colour});
    if (device.maxRead > 0.0f) {
        lines.push_back({formatted("  Max read speed: %1.2f MB/s", double{device.maxRead})});
    }
    if (device.maxWrite > 0.0f) {
        lines.push_back({formatted("  Max write speed: %1.2f MB/s", double{device.maxWrite})});
    }
    lines.push_back({formatted("  Access (sequential/random): %1.1fms / %1.1fms",
                               device.sequentialMs, device.randomMs)});
    if (device.capacity) {
        lines.push_back({"  " + capacityVerdictText(*device.capacity)});
        if (std::string failed = capacityFailureText(*device.capacity); !failed.empty()) {
            lines.push_back({"  " + failed});
        }
    }
    for (const std::string& line : extendedLines(device.extended)) {
        lines.push_back({"  " + line});
    }
    if (device.ratings) {
        for (const std::string& line : ratingLines(*device.ratings)) {
            lines.push_back({"  " + line});
        }
    }
    std::string testedOn;
    if (device.hasTestTime && testedOnLine(device.testTime, &testedOn)) {
        lines.push_back({testedOn});
    }
    lines.push_back({});
    return lines;
}

ChartDevice readDevice(I_VornCollection& result, int index) {
    ChartDevice device;
    device.colour = driveColours[index];
    device.rgb = bgrToRgb(device.colour);
    device.driveId = readDriveId(result);
    const RunRecord run = readRunRecord(result);
    device.hasTestTime = run.testTime.has_value();
    device.testTime = run.testTime.value_or(0);
    device.readBars = readBars(run);
    device.writeBars = writeBars(run);
    // The summary's maximum walks every key of the table with the write rule, so it may
    // see sizes past a gap that the read chart does not draw.
    device.maxRead = megabytes(bestRate(run.reads, GapRule::StopAtEmptyTest));
    device.maxWrite = megabytes(bestRate(run.writes, GapRule::StopAtEmptyTest));
    device.randomMs = accessMs(run.random);
    device.sequentialMs = accessMs(run.sequential);
    device.capacity = loadCapacityResult(result);
    device.extended = readExtendedFigures(result);
    device.ratings = ratingsOf(device.extended, runDriveLink(result));
    device.extendedReadBars = extendedBars(extendedReads, device.extended.reads);
    device.extendedWriteBars = extendedBars(extendedWrites, device.extended.writes);
    device.summary = deviceSummary(device);
    return device;
}

}  // namespace

std::string barLabel(uint32_t blockSize) {
    return formatted("%uk", blockSize / 1024);
}

uint32_t axisStepFor(float mbps) {
    return static_cast<uint32_t>(std::floor(mbps)) + 1;
}

ChartModel buildChartModel(std::span<I_VornCollection* const> results) {
    ChartModel model;
    for (I_VornCollection* result : results) {
        if (result == nullptr) {
            continue;
        }
        if (model.devices.size() == kMaxChartResults) {
            break;
        }
        model.devices.push_back(readDevice(*result, static_cast<int>(model.devices.size())));
    }
    for (const ChartDevice& device : model.devices) {
        for (const auto* bars : {&device.readBars, &device.writeBars}) {
            for (const ChartBar& bar : *bars) {
                model.axisMax = std::max(model.axisMax, axisStepFor(bar.mbps));
            }
        }
        for (const auto* bars : {&device.extendedReadBars, &device.extendedWriteBars}) {
            for (const ExtendedBar& bar : *bars) {
                model.extendedAxisMax = std::max(model.extendedAxisMax, axisStepFor(bar.mbps));
            }
        }
    }
    return model;
}

std::vector<std::string> extendedCategories() {
    std::vector<std::string> labels;
    for (const RunStep& row : extendedReads) {
        labels.push_back(extendedLabel(row));
    }
    return labels;
}

bool hasExtendedBars(const ChartModel& model) {
    return std::any_of(model.devices.begin(), model.devices.end(), [](const ChartDevice& d) {
        return !d.extendedReadBars.empty() || !d.extendedWriteBars.empty();
    });
}

const ExtendedBar* extendedBarAt(const std::vector<ExtendedBar>& bars, int test) {
    for (const ExtendedBar& bar : bars) {
        if (bar.test == test) {
            return &bar;
        }
    }
    return nullptr;
}

std::string extendedHintText(const ExtendedBar& bar) {
    std::string text = formatted("%1.2f MB/s", double{bar.mbps});
    return bar.random ? text + ", " + iopsText(bar.iops) : text;
}

std::vector<SummaryLine> summaryLines(const ChartModel& model) {
    std::vector<SummaryLine> lines;
    for (const ChartDevice& device : model.devices) {
        lines.insert(lines.end(), device.summary.begin(), device.summary.end());
    }
    lines.push_back({"MB/s = 1,000,000 bytes per second."});
    lines.push_back({"GB = 1,000,000,000 bytes."});
    return lines;
}

std::string summaryText(const std::vector<SummaryLine>& lines) {
    std::string text;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) {
            text += '\n';
        }
        text += lines[i].text;
    }
    return text;
}

}  // namespace vorn
