#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "view/TimelineModel.h"

namespace vorn {

// One thing to draw, in pixels from the top left: the window paints these with Qt,
// the terminal writes them as SVG, so both show the same picture.
struct SceneItem {
    enum Kind { Line, Rect, Text };
    Kind kind = Line;
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;  // a Text's anchor is (x1, y1), left aligned
    uint32_t color = 0;                     // 0xRRGGBB
    bool filled = false;
    bool dashed = false;
    std::string text;
};

// Where the rate plot lies in a picture of the given size.
struct PlotArea {
    double left = 0, top = 0, width = 0, height = 0;
};
PlotArea ratePlotArea(int width, int height);

// The picture of the seconds fromSec..toSec of a run: each transfer's rate against
// time coloured by step (many transfers per pixel column are drawn as the column's
// lowest-to-highest rate), zone starts dashed, failed transfers as red ticks on top,
// a legend, and below the distribution of access times.
std::vector<SceneItem> timelineScene(const TimelineModel& model, int width, int height,
                                     double fromSec, double toSec);

// The scene as a standalone SVG document.
std::string sceneSvg(const std::vector<SceneItem>& scene, int width, int height);

// The transfer drawn nearest to a pixel of the rate plot (within a few pixels), for
// the value hint; -1 when none.
long pointNear(const TimelineModel& model, int width, int height, double fromSec, double toSec,
               double x, double y);

// The hint text of a transfer: step, time, duration and rate.
std::string pointHint(const TimelineModel& model, size_t index);

}  // namespace vorn
