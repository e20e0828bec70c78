// The data of one result for the compare page, as JSON.

#include <cstdio>

#include "maker/SafeText.h"
#include "maker/SiteColumns.h"
#include "maker/SitePages.h"

namespace vorn {

namespace {

std::string number(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

// [[block size, label, MB/s], ...]
std::string barsJson(const std::vector<ChartBar>& bars) {
    std::string json = "[";
    for (const ChartBar& bar : bars) {
        json += (json.size() > 1 ? "," : "") + std::string("[") + std::to_string(bar.blockSize) +
                "," + jsonString(bar.label) + "," + number(bar.mbps) + "]";
    }
    return json + "]";
}

// One place per extended test: [MB/s, hint] or null.
std::string extendedJson(const std::vector<ExtendedBar>& bars) {
    std::string json = "[";
    for (size_t test = 0; test < extendedCategories().size(); ++test) {
        const ExtendedBar* bar = extendedBarAt(bars, static_cast<int>(test));
        json += test > 0 ? "," : "";
        json += bar != nullptr
                    ? "[" + number(bar->mbps) + "," + jsonString(extendedHintText(*bar)) + "]"
                    : "null";
    }
    return json + "]";
}

// [[caption, text], ...] in table order.
std::string figuresJson(const PublishedResult& result) {
    std::string json = "[";
    for (const SiteColumn& column : siteColumns()) {
        json += (json.size() > 1 ? "," : "") + std::string("[") + jsonString(column.caption) + "," +
                jsonString(column.cell(result).text) + "]";
    }
    return json + "]";
}

}  // namespace

std::string resultJson(const PublishedResult& result) {
    const ChartDevice& device = result.device();
    return "{\"name\":" + jsonString(result.name) +
           ",\"title\":" + jsonString(device.driveId.empty() ? result.name : device.driveId) +
           ",\n\"figures\":" + figuresJson(result) + ",\n\"read\":" + barsJson(device.readBars) +
           ",\n\"write\":" + barsJson(device.writeBars) +
           ",\n\"extRead\":" + extendedJson(device.extendedReadBars) +
           ",\n\"extWrite\":" + extendedJson(device.extendedWriteBars) + "}\n";
}

}  // namespace vorn
