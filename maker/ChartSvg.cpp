#include "maker/ChartSvg.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "base/TextFormat.h"
#include "maker/SafeText.h"
#include "view/AxisTicks.h"

namespace vorn {

namespace {

// Room around the plot: the axis labels left, the title above, the categories below.
constexpr double kLeft = 56.0;
constexpr double kRight = 12.0;
constexpr double kTop = 32.0;
constexpr double kBottom = 36.0;
// Share of a category's width its bars take together.
constexpr double kGroupShare = 0.8;
constexpr int kAboutTicks = 5;

std::string colourText(uint32_t rgb) {
    return formatted("#%06X", static_cast<unsigned>(rgb & 0xFFFFFF));
}

// A tick's label: whole numbers without a fraction.
std::string tickText(double value) {
    return value == static_cast<double>(static_cast<long long>(value))
               ? formatted("%lld", static_cast<long long>(value))
               : formatted("%g", value);
}

struct Plot {
    double left, top, width, height;
    double axisMax;
    double yOf(double value) const {
        const double share = axisMax > 0.0 ? std::clamp(value / axisMax, 0.0, 1.0) : 0.0;
        return top + height * (1.0 - share);
    }
};

std::string axisSvg(const SvgBarChart& chart, const Plot& plot) {
    std::string svg;
    for (const double tick : niceTicks(0.0, plot.axisMax, kAboutTicks)) {
        const double y = plot.yOf(tick);
        svg += formatted(R"svg(<line x1="%.1f" y1="%.1f" x2="%.1f" y2="%.1f" stroke="#ddd"/>)svg",
                         plot.left, y, plot.left + plot.width, y);
        svg +=
            formatted(R"svg(<text x="%.1f" y="%.1f" text-anchor="end" font-size="11">%s</text>)svg",
                      plot.left - 4, y + 4, tickText(tick).c_str());
    }
    const double bottom = plot.top + plot.height;
    svg += formatted(R"svg(<line x1="%.1f" y1="%.1f" x2="%.1f" y2="%.1f" stroke="#444"/>)svg",
                     plot.left, plot.top, plot.left, bottom);
    svg += formatted(R"svg(<line x1="%.1f" y1="%.1f" x2="%.1f" y2="%.1f" stroke="#444"/>)svg",
                     plot.left, bottom, plot.left + plot.width, bottom);
    svg += formatted(
        R"svg(<text x="12" y="%.1f" font-size="11" transform="rotate(-90 12 %.1f)" text-anchor="middle">)svg",
        plot.top + plot.height / 2, plot.top + plot.height / 2);
    return svg + escapeHtml(chart.unit) + "</text>";
}

std::string barSvg(const SvgBarChart& chart, const Plot& plot, size_t category, size_t s) {
    const SvgSeries& series = chart.series[s];
    if (category >= series.values.size() || !series.values[category]) {
        return {};
    }
    const double value = *series.values[category];
    const double group = plot.width / static_cast<double>(chart.categories.size());
    const double barWidth = group * kGroupShare / static_cast<double>(chart.series.size());
    const double x = plot.left + group * static_cast<double>(category) +
                     group * (1.0 - kGroupShare) / 2 + barWidth * static_cast<double>(s);
    const double y = plot.yOf(value);
    const bool ownHint = category < series.hints.size() && !series.hints[category].empty();
    const std::string hint =
        ownHint ? series.hints[category] : formatted("%.2f ", value) + chart.unit;
    return formatted(R"svg(<rect x="%.1f" y="%.1f" width="%.1f" height="%.1f" fill="%s">)svg", x, y,
                     barWidth, plot.top + plot.height - y, colourText(series.rgb).c_str()) +
           "<title>" + escapeHtml(hint) + "</title></rect>";
}

std::string categorySvg(const SvgBarChart& chart, const Plot& plot, size_t category) {
    const double group = plot.width / static_cast<double>(chart.categories.size());
    const double x = plot.left + group * (static_cast<double>(category) + 0.5);
    return formatted(R"svg(<text x="%.1f" y="%.1f" text-anchor="middle" font-size="11">)svg", x,
                     plot.top + plot.height + 16) +
           escapeHtml(chart.categories[category]) + "</text>";
}

}  // namespace

std::string barChartSvg(const SvgBarChart& chart) {
    const Plot plot{kLeft, kTop, chart.width - kLeft - kRight, chart.height - kTop - kBottom,
                    chart.axisMax};
    std::string svg = formatted(
        R"svg(<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" viewBox="0 0 %d %d" role="img" aria-label=")svg",
        chart.width, chart.height, chart.width, chart.height);
    svg += escapeHtml(chart.title) + "\">";
    svg += formatted(R"svg(<text x="%.1f" y="20" text-anchor="middle" font-size="14">)svg",
                     chart.width / 2.0) +
           escapeHtml(chart.title) + "</text>";
    svg += axisSvg(chart, plot);
    for (size_t category = 0; category < chart.categories.size(); ++category) {
        for (size_t s = 0; s < chart.series.size(); ++s) {
            svg += barSvg(chart, plot, category, s);
        }
        svg += categorySvg(chart, plot, category);
    }
    return svg + "</svg>";
}

SvgBarChart speedChart(const ChartModel& model, bool write) {
    SvgBarChart chart;
    chart.title = write ? "Write Speed (higher is better)" : "Read Speed (higher is better)";
    chart.axisMax = model.axisMax;
    // Every block size any device has a bar for, smallest first.
    std::map<uint32_t, std::string> sizes;
    for (const ChartDevice& device : model.devices) {
        for (const ChartBar& bar : write ? device.writeBars : device.readBars) {
            sizes.emplace(bar.blockSize, bar.label);
        }
    }
    for (const auto& [size, label] : sizes) {
        chart.categories.push_back(label);
    }
    for (const ChartDevice& device : model.devices) {
        SvgSeries series{device.rgb, {}, {}};
        for (const auto& category : sizes) {
            const uint32_t size = category.first;
            const std::vector<ChartBar>& bars = write ? device.writeBars : device.readBars;
            const auto bar = std::find_if(bars.begin(), bars.end(),
                                          [&](const ChartBar& b) { return b.blockSize == size; });
            series.values.push_back(bar != bars.end() ? std::optional<double>(bar->mbps)
                                                      : std::nullopt);
        }
        chart.series.push_back(std::move(series));
    }
    return chart;
}

SvgBarChart extendedChart(const ChartModel& model, bool write) {
    SvgBarChart chart;
    chart.title = write ? "Extended Write (higher is better)" : "Extended Read (higher is better)";
    chart.axisMax = model.extendedAxisMax;
    chart.categories = extendedCategories();
    for (const ChartDevice& device : model.devices) {
        SvgSeries series{device.rgb, {}, {}};
        const std::vector<ExtendedBar>& bars =
            write ? device.extendedWriteBars : device.extendedReadBars;
        for (size_t test = 0; test < chart.categories.size(); ++test) {
            const ExtendedBar* bar = extendedBarAt(bars, static_cast<int>(test));
            series.values.push_back(bar != nullptr ? std::optional<double>(bar->mbps)
                                                   : std::nullopt);
            series.hints.push_back(bar != nullptr ? extendedHintText(*bar) : std::string());
        }
        chart.series.push_back(std::move(series));
    }
    return chart;
}

}  // namespace vorn
