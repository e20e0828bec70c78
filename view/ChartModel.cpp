#include "view/ChartModel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "base/LittleEndian.h"
#include "bench/DiskRwBenchmark.h"
#include "bench/RAccessBenchmark.h"
#include "results/CapacityEntry.h"
#include "results/TestTables.h"
#include "results/VornCollection.h"

namespace vorn {

namespace {

// What one test key of a result holds.
enum class Stored { Absent, NoZone, Rate };

struct StoredRate {
    Stored state = Stored::Absent;
    float mbps = 0.0f;
};

// Rate of the first zone only: further zones of a test are not shown.
StoredRate readRate(DiskRwBenchmark& bench, I_VornCollection& result, const char* key) {
    if (!bench.loadResults(&result, key)) {
        return {};
    }
    uint64_t bytesPerSecond = 0;
    if (!bench.getValue(kValueZoneRate, 0, &bytesPerSecond)) {
        return {Stored::NoZone, 0.0f};
    }
    return {Stored::Rate, static_cast<float>(static_cast<double>(bytesPerSecond) * 1e-6)};
}

// The read chart stops at the first test it cannot show, so a missing read test
// ends the device's bars.
std::vector<ChartBar> readBars(DiskRwBenchmark& bench, I_VornCollection& result) {
    std::vector<ChartBar> bars;
    for (const TestTableEntry& test : readTests) {
        const StoredRate rate = readRate(bench, result, test.resultKey);
        if (rate.state != Stored::Rate) {
            break;
        }
        bars.push_back({test.blockSize, barLabel(test.blockSize), rate.mbps});
    }
    return bars;
}

// Write tests may be missing one by one (skipped); a stored test without a zone ends
// the device's bars.
std::vector<ChartBar> writeBars(DiskRwBenchmark& bench, I_VornCollection& result) {
    std::vector<ChartBar> bars;
    for (const TestTableEntry& test : writeTests) {
        const StoredRate rate = readRate(bench, result, test.resultKey);
        if (rate.state == Stored::NoZone) {
            break;
        }
        if (rate.state == Stored::Rate) {
            bars.push_back({test.blockSize, barLabel(test.blockSize), rate.mbps});
        }
    }
    return bars;
}

// The summary's maximum walks every key of the table with the write rule, so it may
// see sizes past a gap that the read chart does not draw.
float maximumRate(DiskRwBenchmark& bench, I_VornCollection& result,
                  const TestTableEntry (&tests)[kTestsPerTable]) {
    float best = 0.0f;
    for (const TestTableEntry& test : tests) {
        const StoredRate rate = readRate(bench, result, test.resultKey);
        if (rate.state == Stored::NoZone) {
            break;
        }
        if (rate.state == Stored::Rate && rate.mbps > best) {
            best = rate.mbps;
        }
    }
    return best;
}

// Mean access time in milliseconds; 0 when the entry is absent or holds no result.
double accessMs(RAccessBenchmark& bench, I_VornCollection& result, const char* key) {
    uint64_t hundredths = 0;
    if (bench.loadResults(&result, key) && !bench.getValue(kValueZoneRate, 0, &hundredths)) {
        hundredths = 0;
    }
    return static_cast<double>(hundredths) * 0.01;
}

// At most 254 characters. The collection ends a cut value inside the capacity, so
// one byte more is asked for than is kept.
std::string readDriveId(I_VornCollection& result) {
    char text[256] = {};
    uint32_t valueCapacity = 255;
    uint32_t dataCapacity = 0;
    if (!result.findEntry("DRIVEID", &valueCapacity, text, &dataCapacity, nullptr)) {
        return {};
    }
    text[254] = '\0';
    return text;
}

// The 32-bit signed time of the test; false when the entry is absent or too short
// (a missing time must not show up as a test on 1 January 1970).
bool readTestTime(I_VornCollection& result, int64_t* seconds) {
    unsigned char bytes[4] = {};
    uint32_t valueCapacity = 0;
    uint32_t dataCapacity = sizeof bytes;
    if (!result.findEntry("QKCTIME", &valueCapacity, nullptr, &dataCapacity, bytes) ||
        dataCapacity < sizeof bytes) {
        return false;
    }
    const uint32_t raw = loadLe32(bytes);
    *seconds = static_cast<int32_t>(raw);
    return true;
}

template <typename... Args>
std::string formatted(const char* format, Args... args) {
    char text[160];
    std::snprintf(text, sizeof text, format, args...);
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
    device.hasTestTime = readTestTime(result, &device.testTime);

    auto rates = newDiskRwBenchmark(0, 0, 0, 0, 0, 0, 0);
    device.readBars = readBars(*rates, result);
    device.writeBars = writeBars(*rates, result);
    device.maxRead = maximumRate(*rates, result, readTests);
    device.maxWrite = maximumRate(*rates, result, writeTests);

    auto access = newRAccessBenchmark(0, 0, 0);
    device.randomMs = accessMs(*access, result, "QKCRACCESS");
    device.sequentialMs = accessMs(*access, result, "QKCSACCESS");
    device.capacity = loadCapacityResult(result);
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
    }
    return model;
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
