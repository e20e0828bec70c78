#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "view/ChartModel.h"

// Bar charts as standalone SVG elements, for pages that show results without the
// chart window: grouped bars per category, one colour per series, a value axis with
// round ticks and a hint (an SVG title) over every bar.

namespace vorn {

struct SvgSeries {
    uint32_t rgb = 0;                           // 0x00RRGGBB
    std::vector<std::optional<double>> values;  // one per category; nothing leaves a gap
    std::vector<std::string> hints;             // per category; empty: the value with the unit
};

struct SvgBarChart {
    std::string title;
    std::vector<std::string> categories;
    std::vector<SvgSeries> series;
    double axisMax = 0.0;  // top of the value axis; values above it are drawn to the top
    std::string unit = "MB/s";
    int width = 600;
    int height = 300;
};

// The chart as one <svg> element with its own size. Every text (title, categories,
// hints) is escaped, so the chart may hold text from an upload.
std::string barChartSvg(const SvgBarChart& chart);

// The chart window's read (write == false) or write chart of a model: a category per
// block size that any device has a bar for, a series per device in its colour.
SvgBarChart speedChart(const ChartModel& model, bool write);

// The extended read or write chart: a category per extended test, the model's
// extended axis.
SvgBarChart extendedChart(const ChartModel& model, bool write);

}  // namespace vorn
