// show: what the chart window shows for a result: the bars of both charts in MB/s,
// their shared axis maximum and the summary text.

#include <charconv>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/CliSupport.h"
#include "cli/Commands.h"
#include "results/VornCollection.h"
#include "view/ChartModel.h"

namespace vorn::cli {

namespace {

// The shortest text that reads back as the same single-precision value.
std::string floatText(float value) {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    return std::string(text, end);
}

std::string barsJson(const std::vector<ChartBar>& bars) {
    std::string json = "{";
    for (size_t i = 0; i < bars.size(); ++i) {
        json += (i == 0 ? "\"" : ", \"") + bars[i].label + "\": " + floatText(bars[i].mbps);
    }
    return json + "}";
}

void printJson(const ChartModel& model) {
    std::string json = "{\"axis_max\": " + std::to_string(model.axisMax) + ", \"results\": [";
    for (size_t i = 0; i < model.devices.size(); ++i) {
        const ChartDevice& device = model.devices[i];
        // A device's own lines, without the empty line that separates devices.
        std::vector<SummaryLine> own(device.summary.begin(), device.summary.end() - 1);
        json += (i == 0 ? "" : ", ");
        json += "{\"drive_id\": \"" + jsonEscaped(device.driveId) +
                "\", \"read\": " + barsJson(device.readBars) +
                ", \"write\": " + barsJson(device.writeBars) + ", \"summary\": \"" +
                jsonEscaped(summaryText(own)) + "\"}";
    }
    json += "], \"summary\": \"" + jsonEscaped(summaryText(summaryLines(model))) + "\"}";
    std::printf("%s\n", json.c_str());
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
        std::printf("{\"error\": \"%s\"}\n", jsonEscaped(message).c_str());
        return 1;
    }
    return failWith("show", message);
}

}  // namespace

int runShow(int argc, char** argv) {
    ArgParser args(argc, argv);
    const bool json = args.takeFlag("--json");
    uint64_t member = 0;
    args.takeUnsigned("--member", &member);
    const std::vector<std::string> rest = args.positionals();
    if (!args.ok() || rest.size() != 1) {
        return failWith(
            "show", args.ok() ? "usage: qkvorn-cli show FILE [--member N] [--json]" : args.error(),
            2);
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
        printJson(model);
    } else {
        printText(model);
    }
    return 0;
}

}  // namespace vorn::cli
