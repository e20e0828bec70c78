#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "bench/CapacityProbe.h"
#include "results/ExtendedEntries.h"
#include "results/Ratings.h"

namespace vorn {

class I_VornCollection;

// The chart window shows at most this many results side by side.
inline constexpr int kMaxChartResults = 4;

// Colour of each device index, for its bars and its summary heading, as Windows colour
// values (blue in the high byte: 0x00BBGGRR): red, blue, green, teal.
inline constexpr uint32_t driveColours[kMaxChartResults] = {0x0000FF, 0xFF0000, 0x008000, 0x808000};

// A Windows colour value as 0x00RRGGBB, the order toolkits and web colours use.
constexpr uint32_t bgrToRgb(uint32_t bgr) {
    return ((bgr & 0xFF) << 16) | (bgr & 0xFF00) | ((bgr >> 16) & 0xFF);
}

// One bar: a block size with its label ("2k" ... "64k") and its rate in MB/s
// (1,000,000 bytes per second), held in single precision as shown.
struct ChartBar {
    uint32_t blockSize = 0;
    std::string label;
    float mbps = 0.0f;
};

// One bar of the extended charts: an extended test (its place in extendedReads or
// extendedWrites, which is its category), labelled "SEQ1M Q1" ... "RND4K Q32", with its
// rate in MB/s and, for a random test, its transfers per second.
struct ExtendedBar {
    int test = 0;
    std::string label;
    float mbps = 0.0f;
    bool random = false;
    double iops = 0.0;  // shown for a random test only
};

// One line of the summary. Headings (the device identification) are shown bold in
// their device's colour; every other line is plain.
struct SummaryLine {
    std::string text;
    bool heading = false;
    uint32_t colour = 0;  // Windows colour value; 0 for plain lines
};

// Everything shown for one device (one held result).
struct ChartDevice {
    uint32_t colour = 0;  // Windows colour value (driveColours)
    uint32_t rgb = 0;     // the same colour as 0x00RRGGBB
    std::string driveId;
    std::vector<ChartBar> readBars;
    std::vector<ChartBar> writeBars;
    float maxRead = 0.0f;  // MB/s
    float maxWrite = 0.0f;
    double sequentialMs = 0.0;  // mean access times; 0 when not stored
    double randomMs = 0.0;
    bool hasTestTime = false;
    int64_t testTime = 0;                       // seconds since 1970-01-01 00:00 UTC
    std::optional<CapacityResult> capacity;     // only where the run checked it
    ExtendedFigures extended;                   // only what the run stored
    std::optional<RatingTable> ratings;         // only where the run stored an extended figure
    std::vector<ExtendedBar> extendedReadBars;  // the tests stored, in table order
    std::vector<ExtendedBar> extendedWriteBars;
    std::vector<SummaryLine> summary;  // heading first, ends with an empty line
};

struct ChartModel {
    std::vector<ChartDevice> devices;
    // Shared left-axis maximum of both charts in whole MB/s: the largest floor(v) + 1
    // over every bar of both charts, 0 without bars.
    uint32_t axisMax = 0;
    // The extended charts' shared axis maximum, taken as axisMax is; 0 without their bars.
    uint32_t extendedAxisMax = 0;
};

// A test time as "YYYY-MM-DD hh:mm" in local time; empty before 1970 or when it does
// not convert.
std::string testTimeText(int64_t seconds);

// The bar label of a block size: "%dk" of the size in KiB.
std::string barLabel(uint32_t blockSize);

// The axis maximum one bar asks for: floor(v) + 1, so a bar never touches the top.
uint32_t axisStepFor(float mbps);

// The categories of the extended charts: extendedLabel of each test, in table order.
std::vector<std::string> extendedCategories();

// Whether any device has an extended bar: only then does the chart offer those charts.
bool hasExtendedBars(const ChartModel& model);

// The bar of `bars` in category `test`, or nullptr for an empty place.
const ExtendedBar* extendedBarAt(const std::vector<ExtendedBar>& bars, int test);

// What the hint over an extended bar says: "45.20 MB/s", a random test's with its IOPS
// ("5.32 MB/s, 1299 IOPS").
std::string extendedHintText(const ExtendedBar& bar);

// Reads what the chart window shows from up to four results, each positioned on one
// result (device index = position). Results past the fourth and null entries are
// ignored.
ChartModel buildChartModel(std::span<I_VornCollection* const> results);

// The whole summary in display order: each device's lines, then the unit notes.
std::vector<SummaryLine> summaryLines(const ChartModel& model);

// Lines joined with '\n' (no trailing newline), for terminals and JSON.
std::string summaryText(const std::vector<SummaryLine>& lines);

}  // namespace vorn
