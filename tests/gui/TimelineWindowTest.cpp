#include "view/gui/TimelineWindow.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <cmath>
#include <filesystem>
#include <string>

#include "gui/WindowTestSupport.h"
#include "results/Collections.h"
#include "support/TempDir.h"
#include "view/ChartResults.h"
#include "view/gui/TQkVornChart.h"

namespace vorn::test {
namespace {

// A run's worth of steps: a flash check, a wipe whose rate falls when its cache is
// full, three read tests of two zones, and the random access test.
std::string syntheticLog() {
    std::string log = "Event,Device,Success,Start(sec),Duration(ms),Sector,Count,Bps\n";
    double t = 0;
    auto step = [&](const char* name, int rows, double rate, int zoneAt, const char* event) {
        log += std::string(",,,,,,,START -\n,,,,,,,") + name + "\n";
        for (int i = 0; i < rows; ++i) {
            const double r = rate * (1 + 0.1 * std::sin(i * 0.3)) * (i == rows / 3 ? 0.2 : 1);
            const long sector = i < zoneAt ? i * 128 : 900000 + i * 128;
            log += std::string(event) + ",1,YES," + std::to_string(t) + ",0.500," +
                   std::to_string(sector) + ",128," + std::to_string(static_cast<long>(r)) + "\n";
            t += 0.0006;
        }
        log += std::string(",,,,,,,END -\n,,,,,,,") + name + "\n";
        t += 0.05;
    };
    step("Flash test:read", 32, 40e6, 16, "READ");
    step("WIPE FLASH DEVICE", 300, 12e6, 1000, "WIPE");
    step("Read Test (2k block)", 2000, 8e6, 1000, "READ");
    step("Read Test (16k block)", 500, 25e6, 250, "READ");
    step("Read Test (64k block)", 128, 38e6, 64, "READ");
    step("Write Test (64k block)", 128, 10e6, 64, "WRITE");
    step("Random Access", 512, 1e6, 1000, "READ");
    log += "READ,129,NO," + std::to_string(t) + ",0.500,5,1,0\n";
    return log;
}

TEST(TimelineWindowTest, ZoomsMovesBackAndIsOpenedFromTheChartWindow) {
    TempDir dir;
    const std::string path = dir.write("event.log", syntheticLog());
    TimelineWindow window;
    ASSERT_TRUE(window.openLog(path));
    window.resize(1000, 620);
    window.show();
    QApplication::processEvents();
    EXPECT_TRUE(saveScreenshot(window, "timeline.png"));
    const double whole = window.toSec();
    EXPECT_NEAR(whole, window.model().endSec, 1e-9);
    window.zoom(2, whole / 2);
    EXPECT_NEAR(window.toSec() - window.fromSec(), whole / 2, 1e-9);
    EXPECT_NEAR(window.fromSec(), whole / 4, 1e-9);  // around the middle
    window.zoom(1e9, 0);
    EXPECT_GT(window.toSec() - window.fromSec(), 0);  // the deepest zoom still shows time
    window.showWholeRun();
    EXPECT_NEAR(window.toSec(), whole, 1e-9);
    const size_t transfers = window.model().points.size();
    EXPECT_EQ(transfers, 32u + 300u + 2000u + 500u + 128u + 128u + 512u + 1u);
    EXPECT_FALSE(window.openLog(dir.file("missing.log")));
    EXPECT_TRUE(window.model().points.empty());

    // The chart window's Timeline button shows the event.log of the run just made,
    // named after it, over the chart; a stored result has none to show.
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    StoredResult stored;
    stored.driveId = "Generic Flash Disk 8.07";
    stored.testTime = 1205531250;
    ASSERT_TRUE(writeResultFile("run.qkc", stored));
    TQkVornChart chart;
    auto* button = chart.findChild<QPushButton*>("btTimeline");
    ASSERT_NE(button, nullptr);
    EXPECT_FALSE(button->isEnabled());
    chart.openOn(openCollection("run.qkc"), TQkVornChart::Origin::Stored, false);
    EXPECT_FALSE(button->isEnabled());
    EXPECT_FALSE(button->toolTip().isEmpty());
    chart.openOn(openCollection("run.qkc"), TQkVornChart::Origin::Run, false);
    ASSERT_TRUE(button->isEnabled());
    button->click();
    auto* opened = chart.findChild<TimelineWindow*>();
    std::filesystem::current_path(previous);
    ASSERT_NE(opened, nullptr);
    EXPECT_TRUE(opened->isVisible());
    EXPECT_EQ(opened->model().points.size(), transfers);
    EXPECT_TRUE(opened->windowTitle().startsWith("QK Vorn Timeline - Generic Flash Disk 8.07, 20"))
        << opened->windowTitle().toStdString();
    // Over the chart (where the screen lets it be), not at the screen's corner.
    EXPECT_TRUE(opened->geometry().contains(chart.geometry().center()));
    // Esc closes it, as Ctrl+W does.
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(opened, &escape);
    EXPECT_FALSE(opened->isVisible());
    opened->show();
    QKeyEvent closeKey(QEvent::KeyPress, Qt::Key_W, Qt::ControlModifier);
    QCoreApplication::sendEvent(opened, &closeKey);
    EXPECT_FALSE(opened->isVisible());
}

}  // namespace
}  // namespace vorn::test
