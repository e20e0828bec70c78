#include "results/SaveResult.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

#include "base/DiagLog.h"
#include "platform/ProgramInfo.h"
#include "results/CollectionFile.h"
#include "results/ExtendedText.h"
#include "results/RatingsText.h"
#include "results/ReplacementFile.h"
#include "results/RunRecord.h"
#include "results/RunSteps.h"
#include "results/VornDiskCollection.h"
#include "storage/DeviceListText.h"

namespace vorn {

namespace {

// Longest identification that goes into a file name, so that the name with its
// time, extension and the temporary name's decoration stays within a file-name limit.
constexpr size_t kMaxNameStem = kMaxReplacementStem;
// Longest stored parameter text a report block shows.
constexpr uint32_t kReportValueText = 1024;

bool isAsciiLetterOrDigit(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

std::string quoted(const std::string& path) {
    return "\"" + path + "\"";
}

std::string reasonOf(int error) {
    return error != 0 ? std::string(std::strerror(error)) : "the file could not be written whole";
}

// Reads the value and data of the entry the cursor stands on; findEntry is the
// fallback for collections that cannot tell repeated names apart.
bool readEntry(I_VornCollection& source, const char* name, std::vector<char>* value,
               std::vector<unsigned char>* data) {
    uint32_t valueLength = 0;
    uint32_t dataLength = 0;
    const bool current = source.readCurrentEntry(&valueLength, nullptr, &dataLength, nullptr);
    if (!current && !source.findEntry(name, &valueLength, nullptr, &dataLength, nullptr)) {
        return false;
    }
    // One zero byte more, so a value always ends.
    value->assign(static_cast<size_t>(valueLength) + 1, '\0');
    data->assign(dataLength, 0);
    uint32_t valueCapacity = valueLength;
    uint32_t dataCapacity = dataLength;
    return current
               ? source.readCurrentEntry(&valueCapacity, value->data(), &dataCapacity, data->data())
               : source.findEntry(name, &valueCapacity, value->data(), &dataCapacity, data->data());
}

// Every entry of the result on view, in order, except its identification, which
// the user's text replaces.
bool copyEntries(I_VornCollection& source, I_VornCollection& target) {
    char name[kEntryNameBuffer] = {};
    std::vector<char> value;
    std::vector<unsigned char> data;
    for (bool more = source.firstEntry(name); more; more = source.nextEntry(name)) {
        if (std::strcmp(name, kDriveIdKey) == 0) {
            continue;
        }
        if (!readEntry(source, name, &value, &data)) {
            logMessage("** Save: entry %s could not be read", name);
            return false;
        }
        const bool hasValue = value.size() > 1;
        if (!target.addEntry(name, hasValue ? value.data() : nullptr,
                             static_cast<uint32_t>(data.size()),
                             data.empty() ? nullptr : data.data())) {
            logMessage("** Save: entry %s could not be written", name);
            return false;
        }
    }
    return true;
}

// The user's details, then the processor's identification and clock.
bool addSaveDetails(const ResultDetails& details, I_VornCollection& target,
                    const SaveHooks& hooks) {
    uint8_t cpuId[kCpuIdBlockSize] = {};
    readCpuIdBlock(cpuId);
    const int32_t mhz = hooks.cpuMhz ? hooks.cpuMhz() : 0;
    unsigned char clock[4];
    storeLe32(clock, static_cast<uint32_t>(mhz));
    return addDetails(target, details) &&
           target.addEntry("WPCCPUID", nullptr, kCpuIdBlockSize, cpuId) &&
           target.addEntry("WPCCPUFREQ", nullptr, sizeof clock, clock);
}

// Writes the whole result file at `path`; true only when it reads back with a sound
// header and CRC.
bool writeResult(const ResultDetails& details, I_VornCollection& source, const std::string& path,
                 const SaveHooks& hooks) {
    std::unique_ptr<I_VornCollection> target = hooks.create(path.c_str());
    if (!target) {
        return false;
    }
    const bool written = copyEntries(source, *target) && addSaveDetails(details, *target, hooks);
    target.reset();  // completes the header and its CRC
    VornDiskCollection check;
    return written && check.open(path.c_str());
}

// The report covers the zoned tests and the access tests; the flash check stores nothing.
bool isZonedTestKey(const char* key) {
    const RunStep* step = stepStoredAs(key);
    return step != nullptr && isZoned(step->kind);
}

bool isAccessTestKey(const char* key) {
    const RunStep* step = stepStoredAs(key);
    return step != nullptr && isAccess(step->kind);
}

using StatisticsRow = std::array<long long, 6>;  // max, min, average, median, deviation, position

// The rows of a stored test, one per zone (an access test has one, without a position);
// false when the entry is absent or damaged.
bool statisticsRows(I_VornCollection& collection, const char* key,
                    std::vector<StatisticsRow>* rows) {
    if (isZonedTestKey(key)) {
        std::vector<ZoneResult> zones;
        if (!readZones(collection, key, &zones)) {
            return false;
        }
        for (const ZoneResult& z : zones) {
            rows->push_back({z.maxRate, z.minRate, z.zoneRate, z.medianRate, z.stdDev,
                             static_cast<long long>(z.start)});
        }
        return true;
    }
    AccessResult a{};
    if (!readAccess(collection, key, &a)) {
        return false;
    }
    auto ms = [&a](uint32_t ticks) { return static_cast<long long>(accessHundredthsMs(a, ticks)); };
    rows->push_back(
        {ms(a.maxTicks), ms(a.minTicks), ms(a.meanTicks), ms(a.medianTicks), ms(a.stdDevTicks), 0});
    return true;
}

}  // namespace

std::string resultFileName(const char* deviceId, I_VornCollection& collection, bool withTime) {
    std::string name = std::string(deviceId != nullptr ? deviceId : "").substr(0, kMaxNameStem);
    if (withTime) {
        int32_t seconds = 0;
        if (!readTestTime(collection, &seconds)) {
            seconds = 0;
        }
        const time_t when = seconds;
        std::tm local = {};
        if (localtime_r(&when, &local) == nullptr) {
            local = {};
        }
        char stamp[64];
        std::snprintf(stamp, sizeof stamp, " %04d%02d%02d%02d%02d", local.tm_year + 1900,
                      local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min);
        name += stamp;
    }
    for (char& c : name) {
        if (!isAsciiLetterOrDigit(c)) {
            c = '_';
        }
    }
    return name + ".qkc";
}

std::string reportPathFor(const std::string& resultPath) {
    const size_t dot = resultPath.find('.');
    if (dot == std::string::npos) {
        return resultPath + ".csv";
    }
    if (dot > 0 && resultPath[dot - 1] != '/') {
        return resultPath.substr(0, dot) + ".csv";
    }
    const size_t slash = resultPath.rfind('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const size_t last = resultPath.rfind('.');
    if (last > nameStart) {
        return resultPath.substr(0, last) + ".csv";
    }
    return resultPath + ".csv";
}

void writeStatistics(std::string& report, I_VornCollection& collection, const char* key,
                     const char* title) {
    if (!isZonedTestKey(key) && !isAccessTestKey(key)) {
        return;
    }
    char value[kReportValueText + 1] = {};
    uint32_t valueCapacity = kReportValueText;
    uint32_t dataCapacity = 0;
    if (!collection.findEntry(key, &valueCapacity, value, &dataCapacity, nullptr)) {
        value[0] = '\0';
    }
    std::vector<StatisticsRow> rows;
    if (statisticsRows(collection, key, &rows)) {
        report += std::string(title) + "\n" + value + "\n";
        report += "MAX,MIN,AVERAGE,MEDIAN,STDDEV,POSITION\n";
        for (const StatisticsRow& cells : rows) {
            char line[160];
            std::snprintf(line, sizeof line, "%lld,%lld,%lld,%lld,%lld,%lld\n", cells[0], cells[1],
                          cells[2], cells[3], cells[4], cells[5]);
            report += line;
        }
    }
    report += "\n\n\n";
}

std::string statisticsReport(I_VornCollection& collection, const std::string& deviceText) {
    const char* version = platform::programVersion();
    std::string report = std::string("QK Vorn ") + (version != nullptr ? version : "") + "\n";
    report += deviceText + "\n\n";
    // The access tests first, then the zoned tests in run order.
    for (const bool access : {true, false}) {
        for (const RunStep& step : kRunSteps) {
            if (step.reportTitle != nullptr && isAccess(step.kind) == access) {
                writeStatistics(report, collection, step.resultKey, step.reportTitle);
            }
        }
    }
    // Only a run with the extended tests has anything here.
    const ExtendedFigures extended = readExtendedFigures(collection);
    return report + extendedReport(extended) +
           ratingsReport(ratingsOf(extended, runDriveLink(collection)));
}

SaveOutcome saveResultFile(const ResultDetails& details, I_DriveFacts& device,
                           I_VornCollection& source, const std::string& target, bool withReport,
                           const SaveHooks& hooks) {
    SaveOutcome outcome;
    ReplacementFile result(target);
    if (!result.reserve()) {
        outcome.problem = "The results could not be saved as " + quoted(target) + ": " +
                          result.problem() + ". Nothing was written.";
    } else if (!writeResult(details, source, result.tempPath(), hooks) || !result.commit()) {
        outcome.problem = "The results could not be saved as " + quoted(target) + ": " +
                          reasonOf(result.error()) +
                          ". Nothing was written; a file of that name is as it was.";
    }
    if (!outcome.problem.empty()) {
        logMessage("** %s", outcome.problem.c_str());
        return outcome;
    }
    outcome.resultSaved = true;
    if (!withReport) {
        return outcome;
    }
    const std::string reportPath = reportPathFor(target);
    ReplacementFile report(reportPath);
    if (report.reserve() && report.write(statisticsReport(source, deviceListText(device))) &&
        report.commit()) {
        outcome.reportSaved = true;
    } else {
        outcome.problem = "The results were saved, but the statistics report " +
                          quoted(reportPath) + " could not be written: " + report.problem() + ".";
        logMessage("** %s", outcome.problem.c_str());
    }
    return outcome;
}

}  // namespace vorn
