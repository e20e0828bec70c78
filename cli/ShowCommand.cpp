// show: what the chart window shows for a result: the bars of both charts in MB/s,
// their shared axis maximum and the summary text.

#include <cstdio>
#include <string>
#include <vector>

#include "cli/CliSupport.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/JsonOut.h"
#include "results/Collections.h"
#include "view/ChartModel.h"

namespace vorn::cli {

namespace {

Json barsJson(const std::vector<ChartBar>& bars) {
    Json json = Json::object();
    for (const ChartBar& bar : bars) {
        json[bar.label] = bar.mbps;
    }
    return json;
}

void printChartJson(const ChartModel& model) {
    Json results = Json::array();
    for (const ChartDevice& device : model.devices) {
        // A device's own lines, without the empty line that separates devices.
        std::vector<SummaryLine> own(device.summary.begin(), device.summary.end() - 1);
        results.push_back({{"drive_id", device.driveId},
                           {"read", barsJson(device.readBars)},
                           {"write", barsJson(device.writeBars)},
                           {"summary", summaryText(own)}});
    }
    printJson({{"axis_max", model.axisMax},
               {"results", results},
               {"summary", summaryText(summaryLines(model))}});
}

void printBars(const char* title, const std::vector<ChartBar>& bars) {
    std::printf("%s\n", title);
    if (bars.empty()) {
        std::printf("  (no bars)\n");
    }
    for (const ChartBar& bar : bars) {
        std::printf("  %-4s %10.2f MB/s\n", bar.label.c_str(), double{bar.mbps});
    }
}

void printText(const ChartModel& model) {
    for (const ChartDevice& device : model.devices) {
        printBars("Read Speed (higher is better)", device.readBars);
        printBars("Write Speed (higher is better)", device.writeBars);
    }
    std::printf("Axis maximum: %u MB/s\n\n%s\n", model.axisMax,
                summaryText(summaryLines(model)).c_str());
}

int fail(bool json, const std::string& message) {
    if (json) {
        printJson({{"error", message}});
        return 1;
    }
    return failWith("show", message);
}

}  // namespace

int runShow(int argc, char** argv) {
    CommandLine line("show", "What the chart window shows for a result.");
    bool json = false;
    uint64_t member = 0;
    std::vector<std::string> rest;
    line.positionals("FILE", &rest, "a result or library file");
    line.number("--member", &member, UINT32_MAX, "the library member (default 0)");
    line.flag("--json", &json, "print the charts as JSON");
    if (const auto code = line.parse(argc, argv)) {
        return *code;
    }
    if (rest.size() != 1) {
        return line.usageError("usage: qkvorn-cli show FILE [--member N] [--json]");
    }
    auto collection = openCollection(rest[0].c_str());
    if (!collection) {
        return fail(json, openFailure(rest[0], "a result or library file"));
    }
    const uint32_t members = collection->getMemberCount();
    if (member >= members || !collection->selectMember(static_cast<uint32_t>(member))) {
        return fail(json, "member " + std::to_string(member) + " is out of range or damaged (" +
                              std::to_string(members) + " members)");
    }
    I_VornCollection* const results[] = {collection.get()};
    const ChartModel model = buildChartModel(results);
    if (json) {
        printChartJson(model);
    } else {
        printText(model);
    }
    return 0;
}

}  // namespace vorn::cli
