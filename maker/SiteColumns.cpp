#include "maker/SiteColumns.h"

#include <cctype>
#include <cstdio>

#include "results/BenchmarkEntries.h"
#include "results/ExtendedText.h"
#include "results/RunSteps.h"

namespace vorn {

namespace {

SiteCell textCell(const std::string& text) {
    return {text, std::nullopt};
}

// A figure with two decimals, or an empty cell for a figure not stored (0).
SiteCell figureCell(double value, const char* format = "%.2f") {
    if (!(value > 0.0)) {
        return {};
    }
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return {text, value};
}

// "rseq1mq1" for the read test "SEQ1M Q1": its label in lower case without spaces.
std::string extendedKey(char kind, const RunStep& row) {
    std::string key(1, kind);
    for (const char c : extendedLabel(row)) {
        if (std::isalnum(static_cast<unsigned char>(c)) != 0) {
            key += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
    }
    return key;
}

// A random test is told by its IOPS, a sequential one by its MB/s.
template <size_t N>
void addExtendedColumns(std::vector<SiteColumn>* columns, const std::array<RunStep, N>& rows,
                        bool write) {
    for (size_t i = 0; i < N; ++i) {
        const RunStep& row = rows[i];
        const std::string unit = row.random ? " (IOPS)" : " (MB/s)";
        auto cell = [i, write, random = row.random](const PublishedResult& result) {
            const ChartDevice& device = result.device();
            const ExtendedBar* bar = extendedBarAt(
                write ? device.extendedWriteBars : device.extendedReadBars, static_cast<int>(i));
            if (bar == nullptr) {
                return SiteCell{};
            }
            return random ? figureCell(bar->iops, "%.0f") : figureCell(bar->mbps);
        };
        columns->push_back({extendedKey(write ? 'w' : 'r', row),
                            std::string(write ? "Write " : "Read ") + extendedLabel(row) + unit,
                            true, cell});
    }
}

std::vector<SiteColumn> makeColumns() {
    std::vector<SiteColumn> columns = {
        {"drive", "Drive", false,
         [](const PublishedResult& r) { return textCell(r.device().driveId); }},
        {"medium", "Medium", false,
         [](const PublishedResult& r) { return textCell(mediumKindText(r.kind)); }},
        {"bus", "Bus", false, [](const PublishedResult& r) { return textCell(r.bus); }},
        {"link", "Link", false, [](const PublishedResult& r) { return textCell(r.link); }},
        {"capacity", "Capacity", true,
         [](const PublishedResult& r) {
             return r.capacity != 0
                        ? SiteCell{capacityText(r.capacity), static_cast<double>(r.capacity)}
                        : SiteCell{};
         }},
        {"maxread", "Max read (MB/s)", true,
         [](const PublishedResult& r) { return figureCell(r.device().maxRead); }},
        {"maxwrite", "Max write (MB/s)", true,
         [](const PublishedResult& r) { return figureCell(r.device().maxWrite); }},
        {"seqaccess", "Sequential access (ms)", true,
         [](const PublishedResult& r) { return figureCell(r.device().sequentialMs); }},
        {"rndaccess", "Random access (ms)", true,
         [](const PublishedResult& r) { return figureCell(r.device().randomMs); }},
    };
    addExtendedColumns(&columns, extendedReads, false);
    addExtendedColumns(&columns, extendedWrites, true);
    columns.push_back({"ratings", "Ratings", false,
                       [](const PublishedResult& r) { return textCell(r.ratings); }});
    columns.push_back({"date", "Test date", true, [](const PublishedResult& r) {
                           return r.testDate.empty()
                                      ? SiteCell{}
                                      : SiteCell{r.testDate,
                                                 static_cast<double>(r.device().testTime)};
                       }});
    return columns;
}

}  // namespace

const std::vector<SiteColumn>& siteColumns() {
    static const std::vector<SiteColumn> columns = makeColumns();
    return columns;
}

}  // namespace vorn
