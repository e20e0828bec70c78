#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "view/ChartModel.h"

// The checked result files of the maker's results folder, read once for everything
// publish makes of them: the libraries, the update list and the results site.

namespace vorn {

// What kind of medium a result measured, as its libraries are grouped.
enum class MediumKind { Usb, SdCard, Other };

// The kind in a library's name: "USB", "SD", "OTHER".
const char* mediumKindName(MediumKind kind);
// The kind for a reader: "USB", "SD card", "Other".
const char* mediumKindText(MediumKind kind);

// One result as publish shows it. Every text in here came from an upload.
struct PublishedResult {
    std::string name;       // the file's stem, its content name
    std::string bytes;      // the result file as checked (magic, length and CRC)
    ChartModel chart;       // what the chart window shows of it alone: one device
    std::string bus;        // the device record's bus; empty without a record
    std::string link;       // the stored link in words; empty when nothing is known
    uint64_t capacity = 0;  // bytes, from the device record; 0 without one
    MediumKind kind = MediumKind::Other;
    int year = 0;          // of the test time in UTC; 0 without a test time
    std::string testDate;  // "YYYY-MM-DD" in UTC, so every machine publishes the same
    std::string ratings;   // the highest ratings met, "Class 10, U3, V30, A1"

    const ChartDevice& device() const { return chart.devices.front(); }
};

struct ResultScan {
    std::vector<PublishedResult> results;  // in file-name order
    std::vector<std::string> skipped;      // "<file>: why", one per file left out
};

// A stem publish can use as a file name and in a link: 1 to 64 letters, digits, '-'
// and '_', as the content names of checked results are.
bool isContentName(const std::string& stem);

// One result file read as publish shows it; nothing (with `why`) when it is not a
// regular file, not a complete result or does not open as one.
std::optional<PublishedResult> readPublishedResult(const std::string& path, const std::string& name,
                                                   std::string* why);

// Every "*.qkc" of `folder` (any case), sorted by file name. Files that are not
// regular, that do not read as results or whose stem is no content name are skipped
// and named. False (with `why`) only when the folder itself cannot be listed.
[[nodiscard]] bool scanResults(const std::string& folder, ResultScan* scan, std::string* why);

}  // namespace vorn
