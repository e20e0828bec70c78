// show: what the chart window shows for a result: the bars of both charts in MB/s,
// their shared axis maximum and the summary text; then the extended charts and
// figures of a run that has them.

#include <cstdio>
#include <string>
#include <vector>

#include "cli/CliSupport.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/JsonOut.h"
#include "results/Collections.h"
#include "results/ExtendedText.h"
#include "results/RatingsText.h"
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

Json queuedJson(const QueuedRecord& test) {
    Json json = {{"bytes_per_second", test.bytesPerSecond}, {"iops", iopsOf(test)}};
    // Latencies are taken at depth 1 only.
    if (test.queueDepth == 1) {
        json["latency_ns"] = {{"median", test.latencyMedianNs},
                              {"p99", test.latencyP99Ns},
                              {"p99_9", test.latencyP999Ns},
                              {"max", test.latencyMaxNs}};
    }
    return json;
}

// The extended tests present, by test name, reads before writes.
Json extendedJson(const ExtendedFigures& figures) {
    Json json = Json::object();
    for (int i = 0; i < kExtendedPerKind; ++i) {
        if (figures.reads[i]) {
            json[extendedReads[i].name] = queuedJson(*figures.reads[i]);
        }
    }
    for (int i = 0; i < kExtendedPerKind; ++i) {
        if (figures.writes[i]) {
            json[extendedWrites[i].name] = queuedJson(*figures.writes[i]);
        }
    }
    return json;
}

Json sustainedJson(const WriteCurve& curve) {
    return {{"written_bytes", curve.writtenBytes},
            {"cache_bytes", curve.cacheBytes},
            {"cache_bytes_per_second", curve.cacheRate},
            {"sustained_bytes_per_second", curve.sustainedRate},
            {"slowest_bytes_per_second", curve.slowestRate},
            {"slowest_offset", curve.slowestOffset},
            {"text", writeCurveText(curve)}};
}

Json verdictJson(const RatingVerdict& verdict) {
    Json json = {{"rating", verdict.rule->name}};
    switch (verdict.verdict) {
        case Verdict::Meets:
            json["meets"] = true;
            return json;
        case Verdict::Fails:
            json["meets"] = false;
            break;
        case Verdict::Untold:
            json["meets"] = nullptr;
            break;
    }
    json["why"] = verdict.why;
    return json;
}

Json usbJson(const LinkLimit& usb) {
    return {{"generation", usb.generation},
            {"practical_bytes_per_second", usb.practicalRate},
            {"best_read_bytes_per_second", usb.bestRead},
            {"link_is_the_limit", usb.limited}};
}

// The verdicts with the figures they were taken from; "missing" instead of verdicts
// where the run lacks a figure they need.
Json ratingsJson(const RatingTable& table) {
    const RatingFigures& m = table.measured;
    Json json = {
        {"minimum_sustained_write_bytes_per_second", m.sustainedWrite},
        {"random_read_iops", static_cast<double>(m.randomReadMilliIops) / 1000.0},
        {"random_write_iops", static_cast<double>(m.randomWriteMilliIops) / 1000.0},
        {"queued_random_read_iops", static_cast<double>(m.queuedReadMilliIops) / 1000.0},
        {"queued_random_write_iops", static_cast<double>(m.queuedWriteMilliIops) / 1000.0}};
    if (!table.missing.empty()) {
        json["missing"] = table.missing;
    }
    Json verdicts = Json::array();
    for (const RatingVerdict& verdict : table.verdicts) {
        verdicts.push_back(verdictJson(verdict));
    }
    json["verdicts"] = std::move(verdicts);
    json["link_known"] = table.linkKnown;
    json["usb"] = table.usb ? usbJson(*table.usb) : Json(nullptr);
    if (const std::optional<SdClaims>& c = table.claims) {
        json["card_claims"] = {{"speed_class", c->speedClass},
                               {"uhs_speed_class", c->uhsGrade},
                               {"video_speed_class", c->videoClass},
                               {"application_class", c->appClass}};
    }
    std::string text;
    for (const std::string& line : ratingLines(table)) {
        text += (text.empty() ? "" : "\n") + line;
    }
    json["text"] = text;
    return json;
}

// Keys after the ones a result has always had, and only where there is something to
// tell, so every other answer keeps its bytes.
void addExtendedKeys(Json* result, const ExtendedFigures& figures) {
    if (Json tests = extendedJson(figures); !tests.empty()) {
        (*result)["extended"] = std::move(tests);
    }
    if (figures.sustained) {
        (*result)["sustained_write"] = sustainedJson(*figures.sustained);
    }
}

void addRatingsKey(Json* result, const std::optional<RatingTable>& ratings) {
    if (ratings) {
        (*result)["ratings"] = ratingsJson(*ratings);
    }
}

void printChartJson(const ChartModel& model) {
    Json results = Json::array();
    for (const ChartDevice& device : model.devices) {
        // A device's own lines, without the empty line that separates devices.
        std::vector<SummaryLine> own(device.summary.begin(), device.summary.end() - 1);
        Json result = {{"drive_id", device.driveId},
                       {"read", barsJson(device.readBars)},
                       {"write", barsJson(device.writeBars)},
                       {"summary", summaryText(own)}};
        addExtendedKeys(&result, device.extended);
        addRatingsKey(&result, device.ratings);
        results.push_back(std::move(result));
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

void printExtendedBars(const char* title, const std::vector<ExtendedBar>& bars) {
    std::printf("%s\n", title);
    if (bars.empty()) {
        std::printf("  (no bars)\n");
    }
    for (const ExtendedBar& bar : bars) {
        const std::string iops = bar.random ? "  " + iopsText(bar.iops) : std::string();
        std::printf("  %-9s %10.2f MB/s%s\n", bar.label.c_str(), double{bar.mbps}, iops.c_str());
    }
}

void printText(const ChartModel& model) {
    for (const ChartDevice& device : model.devices) {
        printBars("Read Speed (higher is better)", device.readBars);
        printBars("Write Speed (higher is better)", device.writeBars);
    }
    std::printf("Axis maximum: %u MB/s\n\n%s\n", model.axisMax,
                summaryText(summaryLines(model)).c_str());
    // The extended charts follow, for a run that has them.
    if (!hasExtendedBars(model)) {
        return;
    }
    for (const ChartDevice& device : model.devices) {
        std::printf("\n");
        printExtendedBars("Extended Read (higher is better)", device.extendedReadBars);
        printExtendedBars("Extended Write (higher is better)", device.extendedWriteBars);
    }
    std::printf("Extended axis maximum: %u MB/s\n", model.extendedAxisMax);
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
