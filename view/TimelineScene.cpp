#include "view/TimelineScene.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <set>
#include <unordered_map>

#include "base/TextFormat.h"
#include "view/AxisTicks.h"
#include "view/ChartModel.h"

namespace vorn {
namespace {

constexpr double kMarginLeft = 72, kMarginRight = 16, kMarginTop = 44, kAxisBand = 34;
constexpr double kRateShare = 0.68;  // of the height below the legend
constexpr uint32_t kAxisColor = 0x303030, kGridColor = 0xDDDDDD, kFailColor = 0xE00000;
constexpr double kHintPixels = 6;
constexpr uint32_t kCacheColor = 0xC0392B;

std::string format(const char* pattern, double value) {
    char text[64];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

void line(std::vector<SceneItem>& out, double x1, double y1, double x2, double y2, uint32_t color,
          bool dashed = false) {
    out.push_back({SceneItem::Line, x1, y1, x2, y2, color, false, dashed, {}});
}

void text(std::vector<SceneItem>& out, double x, double y, const std::string& words,
          uint32_t color = kAxisColor) {
    out.push_back({SceneItem::Text, x, y, 0, 0, color, false, false, words});
}

void rect(std::vector<SceneItem>& out, double x, double y, double w, double h, uint32_t color) {
    out.push_back({SceneItem::Rect, x, y, x + w, y + h, color, true, false, {}});
}

void legend(std::vector<SceneItem>& out, const TimelineModel& model) {
    std::set<StepKind> kinds;
    for (const TimelineStep& step : model.steps) {
        if (!step.name.empty()) {
            kinds.insert(step.kind);
        }
    }
    double x = kMarginLeft;
    for (StepKind kind : kinds) {
        rect(out, x, 14, 12, 12, stepColor(kind, readTests.back().blockSize));
        text(out, x + 16, 25, stepCaption(kind));
        x += 24 + 7.0 * std::string(stepCaption(kind)).size();
    }
    if (model.logTruncated || model.rowLimitReached) {
        text(out, x + 8, 25, model.logTruncated ? "log truncated" : "row limit reached",
             kFailColor);
    }
}

void rateAxes(std::vector<SceneItem>& out, const PlotArea& a, double topRate, double from,
              double to) {
    for (double v : niceTicks(0, topRate / 1e6, 5)) {
        const double y = a.top + a.height - v * 1e6 / topRate * a.height;
        line(out, a.left, y, a.left + a.width, y, kGridColor);
        text(out, 4, y + 4, format(v >= 1000 ? "%.0f MB/s" : "%.4g MB/s", v));
    }
    for (double t : niceTicks(from, std::max(to, from + 1e-6), 8)) {
        const double x = a.left + (t - from) / (to - from) * a.width;
        line(out, x, a.top + a.height, x, a.top + a.height + 4, kAxisColor);
        text(out, x - 10, a.top + a.height + 16, format("%.4g s", t));
    }
    line(out, a.left, a.top, a.left, a.top + a.height, kAxisColor);
    line(out, a.left, a.top + a.height, a.left + a.width, a.top + a.height, kAxisColor);
}

double topRateOf(const TimelineModel& model) {
    return model.scaleRate > 0 ? model.scaleRate * 1.1 : 1e6;
}

// Height of a rate in the plot; rates above the axis stay on its top edge.
double rateY(const PlotArea& a, double rate, double top) {
    return a.top + a.height - std::min(rate, top) / top * a.height;
}

// Per pixel column and step, the lowest and highest rate drawn there.
void ratePoints(std::vector<SceneItem>& out, const TimelineModel& model, const PlotArea& a,
                double from, double to) {
    const double top = topRateOf(model);
    struct Span {
        double low, high;
    };
    std::unordered_map<uint64_t, Span> columns;
    double lastFailColumn = -1;
    const auto first =
        std::lower_bound(model.points.begin(), model.points.end(), from,
                         [](const TimelinePoint& p, double t) { return p.timeSec < t; });
    for (auto p = first; p != model.points.end() && p->timeSec <= to; ++p) {
        const double x = std::floor((p->timeSec - from) / (to - from) * a.width);
        if (p->failed) {
            if (x != lastFailColumn) {
                line(out, a.left + x, a.top - 6, a.left + x, a.top, kFailColor);
                lastFailColumn = x;
            }
            continue;
        }
        const uint64_t key = static_cast<uint64_t>(x) * model.steps.size() + p->step;
        auto [it, fresh] = columns.try_emplace(key, Span{p->rate, p->rate});
        it->second.low = std::min(it->second.low, p->rate);
        it->second.high = std::max(it->second.high, p->rate);
    }
    for (const auto& [key, span] : columns) {
        const double x = a.left + static_cast<double>(key / model.steps.size()) + 0.5;
        const uint32_t color = model.steps[key % model.steps.size()].color;
        const double yLow = rateY(a, span.low, top);
        const double yHigh = rateY(a, span.high, top);
        line(out, x, yLow + 1, x, yHigh - 1, color);
    }
}

void zones(std::vector<SceneItem>& out, const TimelineModel& model, const PlotArea& a, double from,
           double to) {
    double lastColumn = -1;  // one line per pixel column, however many zones meet there
    for (double t : model.zoneStarts) {
        const double column = std::floor((t - from) / (to - from) * a.width);
        if (t >= from && t <= to && column != lastColumn) {
            line(out, a.left + column, a.top, a.left + column, a.top + a.height, 0x999999, true);
            lastColumn = column;
        }
    }
}

// "3.2 GB", or for a small cache "48 MB".
std::string cacheAmount(uint64_t bytes) {
    const double gb = static_cast<double>(bytes) / 1e9;
    return gb >= 0.1 ? format("%.1f GB", gb) : format("%.0f MB", gb * 1000);
}

// Where the first wipe had filled the medium's write cache: a line across the plot
// and what the cache held, beside the line where it fits.
void cacheMarker(std::vector<SceneItem>& out, const TimelineModel& model, const PlotArea& a,
                 double from, double to) {
    const double t = model.cacheEndSec;
    if (t < 0 || t < from || t > to || !model.wipeCurve) {
        return;
    }
    const double x = a.left + (t - from) / (to - from) * a.width;
    const std::string label = "write cache full (" + cacheAmount(model.wipeCurve->cacheBytes) + ")";
    const double labelWidth = 7.0 * static_cast<double>(label.size());
    const double labelX = x + 4 + labelWidth <= a.left + a.width ? x + 4 : x - 4 - labelWidth;
    line(out, x, a.top, x, a.top + a.height, kCacheColor);
    text(out, labelX, a.top + 24, label, kCacheColor);
}

// The access-time axis on round values: 40 bins from 0 to the first tick above nearly
// every access. The slowest 2 % count in the last bin, so a few stragglers (a medium
// cleaning up now and then) do not squeeze the rest into the first bars, and the
// slowest bar is never the edge.
constexpr size_t kHistogramBins = 40;
constexpr int kHistogramTicks = 8;
constexpr double kHistogramShare = 0.98;
constexpr double kHistogramRoom = 1.05;

// How many accesses a bar's height stands for, on round counts.
void countScale(std::vector<SceneItem>& out, uint32_t most, double top, double bottom) {
    const double step = std::max(1.0, niceStep(most, 4));
    line(out, kMarginLeft, top, kMarginLeft, bottom, kAxisColor);
    for (double n = 0; n <= most; n += step) {  // whole counts: no drift to fear
        const double y = bottom - (bottom - top) * n / most;
        line(out, kMarginLeft - 4, y, kMarginLeft, y, kAxisColor);
        text(out, kMarginLeft - 40, y + 4, format("%.0f", n));
    }
}

// Each step's start is labelled above the plot (the block size of a zoned test), where
// it does not run into the label before it.
std::string shortName(const TimelineStep& step) {
    const RunStep* known = stepNamed(step.name);
    if (known != nullptr && isZoned(known->kind) && known->kind != StepKind::FlashCheck) {
        return barLabel(known->blockSize);
    }
    return stepDisplayName(step.name);
}

void stepLabels(std::vector<SceneItem>& out, const TimelineModel& model, const PlotArea& a,
                double from, double to) {
    double freeFrom = a.left;
    // Only the transfers in view, as the rate points are found: a step already running
    // at the left edge is not labelled there.
    const auto first =
        std::lower_bound(model.points.begin(), model.points.end(), from,
                         [](const TimelinePoint& p, double t) { return p.timeSec < t; });
    uint32_t lastStep = first == model.points.begin() ? 0 : std::prev(first)->step;
    for (auto p = first; p != model.points.end() && p->timeSec <= to; ++p) {
        if (p->step == lastStep || p->step == 0) {
            lastStep = p->step;
            continue;
        }
        lastStep = p->step;
        const double x = a.left + (p->timeSec - from) / (to - from) * a.width;
        const std::string name = shortName(model.steps[p->step]);
        const double labelEnd = x + 7.0 * static_cast<double>(name.size()) + 6;
        if (x >= freeFrom && labelEnd <= a.left + a.width) {
            line(out, x, a.top, x, a.top + a.height, 0xBBBBBB, true);
            text(out, x + 2, a.top + 10, name);
            freeFrom = labelEnd;
        }
    }
}

// Random and sequential access bars side by side in each bin; the tallest bar's count.
uint32_t accessBars(std::vector<SceneItem>& out, const AccessHistogram& h, double top,
                    double bottom, double w) {
    uint32_t most = 1;
    for (size_t i = 0; i < h.random.size(); ++i) {
        most = std::max({most, h.random[i], h.sequential[i]});
    }
    const double bin = w / static_cast<double>(h.random.size());
    for (size_t i = 0; i < h.random.size(); ++i) {
        const double x = kMarginLeft + bin * static_cast<double>(i);
        for (int s = 0; s < 2; ++s) {
            const uint32_t count = s == 0 ? h.random[i] : h.sequential[i];
            const double barHeight = (bottom - top - 14) * count / most;
            rect(out, x + s * bin / 2, bottom - barHeight, bin / 2 - 1, barHeight,
                 stepColor(s == 0 ? StepKind::RandomAccess : StepKind::SequentialAccess, 0));
        }
    }
    return most;
}

void histogram(std::vector<SceneItem>& out, const TimelineModel& model, int width, int height) {
    // A little room above them, so the last bar (with the stragglers) stands apart.
    const double topMs =
        niceAbove(accessPercentileMs(model, kHistogramShare) * kHistogramRoom, kHistogramTicks);
    const AccessHistogram h = accessHistogram(model, kHistogramBins, topMs);
    const double top = kMarginTop + (height - kMarginTop) * kRateShare + 10;
    const double bottom = height - kAxisBand + 8;
    const double w = width - kMarginLeft - kMarginRight;
    text(out, 4, top + 10, "access times");
    if (h.random.empty()) {
        text(out, kMarginLeft, top + 30, "no access tests in this log");
        return;
    }
    const uint32_t most = accessBars(out, h, top, bottom, w);
    line(out, kMarginLeft, bottom, kMarginLeft + w, bottom, kAxisColor);
    for (double ms : niceTicks(0, topMs, kHistogramTicks)) {
        const double x = kMarginLeft + w * ms / topMs;
        line(out, x, bottom, x, bottom + 4, kAxisColor);
        text(out, std::min(x - 10, width - 60.0), bottom + 16, format("%.4g ms", ms));
    }
    if (h.beyond > 0) {
        text(out, width - 260.0, top + 10,
             std::to_string(h.beyond) + " slower, counted in the last bar");
    }
    countScale(out, most, top + 14, bottom);
}

std::string hex(uint32_t color) {
    char text[8];
    std::snprintf(text, sizeof text, "#%06X", color & 0xFFFFFF);
    return text;
}

// SVG text: control characters as spaces, markup characters as entities.
std::string escaped(std::string words) {
    for (char& c : words) {
        if (static_cast<unsigned char>(c) < 0x20) {
            c = ' ';
        }
    }
    return escapeHtml(words);
}

}  // namespace

PlotArea ratePlotArea(int width, int height) {
    const double below = (height - kMarginTop) * kRateShare;
    return {kMarginLeft, kMarginTop, std::max(1.0, width - kMarginLeft - kMarginRight),
            std::max(1.0, below - kAxisBand)};
}

std::vector<SceneItem> timelineScene(const TimelineModel& model, int width, int height,
                                     double fromSec, double toSec) {
    std::vector<SceneItem> out;
    if (toSec <= fromSec) {
        toSec = fromSec + 1e-3;
    }
    const PlotArea area = ratePlotArea(width, height);
    legend(out, model);
    rateAxes(out, area, topRateOf(model), fromSec, toSec);
    zones(out, model, area, fromSec, toSec);
    stepLabels(out, model, area, fromSec, toSec);
    cacheMarker(out, model, area, fromSec, toSec);
    text(out, width - 330, 10, "wheel: zoom, drag: move, double-click: whole run", kAxisColor);
    ratePoints(out, model, area, fromSec, toSec);
    histogram(out, model, width, height);
    return out;
}

std::string sceneSvg(const std::vector<SceneItem>& scene, int width, int height) {
    std::string svg =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" "
        "width=\"" +
        std::to_string(width) + "\" height=\"" + std::to_string(height) +
        "\" font-family=\"sans-serif\" font-size=\"11\">\n<rect width=\"100%\" height=\"100%\" "
        "fill=\"#FFFFFF\"/>\n";
    char item[256];
    for (const SceneItem& s : scene) {
        if (s.kind == SceneItem::Line) {
            std::snprintf(
                item, sizeof item,
                "<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" stroke=\"%s\"%s/>\n", s.x1,
                s.y1, s.x2, s.y2, hex(s.color).c_str(),
                s.dashed ? " stroke-dasharray=\"4 3\"" : "");
            svg += item;
        } else if (s.kind == SceneItem::Rect) {
            std::snprintf(
                item, sizeof item,
                "<rect x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\" fill=\"%s\"/>\n", s.x1,
                s.y1, s.x2 - s.x1, s.y2 - s.y1, hex(s.color).c_str());
            svg += item;
        } else {
            std::snprintf(item, sizeof item, "<text x=\"%.1f\" y=\"%.1f\" fill=\"%s\">", s.x1, s.y1,
                          hex(s.color).c_str());
            svg += item + escaped(s.text) + "</text>\n";
        }
    }
    return svg + "</svg>\n";
}

long pointNear(const TimelineModel& model, int width, int height, double fromSec, double toSec,
               double x, double y) {
    const PlotArea a = ratePlotArea(width, height);
    const double top = topRateOf(model);
    const double perPixel = (toSec - fromSec) / a.width;
    const double t = fromSec + (x - a.left) * perPixel;
    auto it = std::lower_bound(model.points.begin(), model.points.end(), t - kHintPixels * perPixel,
                               [](const TimelinePoint& p, double v) { return p.timeSec < v; });
    long best = -1;
    double bestDistance = kHintPixels;
    for (; it != model.points.end() && it->timeSec <= t + kHintPixels * perPixel; ++it) {
        const double px = a.left + (it->timeSec - fromSec) / perPixel;
        const double py = rateY(a, it->rate, top);
        const double distance = std::hypot(px - x, py - y);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = it - model.points.begin();
        }
    }
    return best;
}

std::string pointHint(const TimelineModel& model, size_t index) {
    const TimelinePoint& p = model.points.at(index);
    char hint[256];
    std::snprintf(
        hint, sizeof hint, "%s\n%.3f s, %.3f ms, %s%s",
        model.steps[p.step].name.empty() ? "(between steps)"
                                         : stepDisplayName(model.steps[p.step].name).c_str(),
        p.timeSec, p.durationMs, p.failed ? "FAILED" : format("%.2f MB/s", p.rate / 1e6).c_str(),
        !p.summed ? "" : (p.write ? ", many writes in one row" : ", many reads in one row"));
    return hint;
}

}  // namespace vorn
