#pragma once

#include <QString>
#include <cstdint>
#include <string>
#include <vector>

#include "view/ChartModel.h"

class QBarSeries;
class QChartView;
class QValueAxis;
class QWidget;

namespace vorn {

// The two bar charts of the chart window: block sizes "2k" ... "64k" along the bottom
// (or the extended tests, "SEQ1M Q1" ... "RND4K Q32"), MB/s up the left, one series per
// device.

// A chart view set up with its title, legend hidden, both axes and zooming by a
// dragged rectangle.
QChartView* newSpeedChart(const QString& title, QWidget* parent);

// Removes and destroys every series, undoes any zoom and sets the left axis to 0..0.
void clearSpeedChart(QChartView* view);

QValueAxis* speedAxis(QChartView* view);

// Sets the left axis to 0..maximum MB/s with a tick step that keeps labels apart.
void setSpeedAxisMaximum(QChartView* view, uint32_t maximum);

// The title and the categories along the bottom; for a view without series.
void setSpeedChartLabels(QChartView* view, const QString& title,
                         const std::vector<std::string>& categories);

// The block-size labels the charts start with: "2k" ... "64k".
std::vector<std::string> blockSizeCategories();

// Adds one device's bars as a series of its own in its colour (0x00RRGGBB). A block
// size without a bar keeps its place, so the devices' bars line up per block size.
QBarSeries* addDeviceBars(QChartView* view, const std::vector<ChartBar>& bars, uint32_t rgb);
// The same for the extended bars, each in its test's category.
QBarSeries* addExtendedBars(QChartView* view, const std::vector<ExtendedBar>& bars, uint32_t rgb);

// The bar of `bars` drawn at category `index`, or nullptr for an empty place.
const ChartBar* barAtCategory(const std::vector<ChartBar>& bars, int index);

}  // namespace vorn
