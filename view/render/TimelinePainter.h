#pragma once

#include <string>
#include <vector>

#include "view/TimelineScene.h"

class QPainter;

namespace vorn {

// Paints a timeline scene (lines, bars, texts) with Qt.
void paintScene(QPainter& painter, const std::vector<SceneItem>& scene);

// The whole timeline of a model as a PNG file of the given size, written beside its
// target and renamed over it once complete. Without a running Qt application one is
// made for the call, drawing offscreen (no display needed).
bool writeTimelinePng(const TimelineModel& model, int width, int height, const std::string& path);

}  // namespace vorn
