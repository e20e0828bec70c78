#include "view/gui/TQkVornChart.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QCoreApplication>
#include <QCursor>
#include <QEnterEvent>
#include <QLabel>
#include <QPushButton>
#include <QTextBlock>
#include <QTextEdit>
#include <QValueAxis>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "gui/ChartWindowFixture.h"
#include "gui/WindowTestSupport.h"
#include "results/Collections.h"
#include "results/RunSteps.h"
#include "support/TempDir.h"
#include "view/ChartResults.h"
#include "view/gui/SpeedChart.h"

namespace vorn::test {
namespace {

// A result that tells when it is destroyed.
class TrackedResult : public I_VornCollection {
public:
    TrackedResult(std::unique_ptr<I_VornCollection> inner, bool* destroyed)
        : inner_(std::move(inner)), destroyed_(destroyed) {}
    ~TrackedResult() override { *destroyed_ = true; }
    uint32_t getMemberCount() override { return inner_->getMemberCount(); }
    bool selectMember(uint32_t index) override { return inner_->selectMember(index); }
    bool addEntry(const char* name, const char* value, uint32_t length, const void* data) override {
        return inner_->addEntry(name, value, length, data);
    }
    bool findEntry(const char* name, uint32_t* valueCapacity, char* value, uint32_t* dataCapacity,
                   void* data) override {
        return inner_->findEntry(name, valueCapacity, value, dataCapacity, data);
    }
    bool firstEntry(char* name) override { return inner_->firstEntry(name); }
    bool nextEntry(char* name) override { return inner_->nextEntry(name); }
    bool create(const char* path) override { return inner_->create(path); }
    bool open(const char* path) override { return inner_->open(path); }

private:
    std::unique_ptr<I_VornCollection> inner_;
    bool* destroyed_;
};

QBarSeries* seriesOf(QChartView* chart, int device) {
    const auto all = chart->chart()->series();
    return device < all.size() ? qobject_cast<QBarSeries*>(all[device]) : nullptr;
}

double axisMaxOf(QChartView* chart) {
    return speedAxis(chart)->max();
}

using ChartWindowTest = ChartWindowFixture;

TEST_F(ChartWindowTest, CreatedWithItsCaptionControlsAndUploadDisabled) {
    const std::string caption = window_.windowTitle().toStdString();
    EXPECT_EQ(caption.rfind("QK Vorn Beta version ", 0), 0u) << caption;
    EXPECT_EQ(caption.back(), ' ');
    EXPECT_EQ(window_.size(), layoutSize(layout::kChart));
    EXPECT_FALSE(window_.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(window_.btUpload->isEnabled());
    for (const char* name : {"lbVelto", "readChart", "btDone", "btCompare", "btSave", "btUpload",
                             "otherData", "writeChart", "StaticText1"}) {
        EXPECT_NE(window_.findChild<QWidget*>(name), nullptr) << name;
    }
    EXPECT_EQ(window_.readChart->chart()->title(), "Read Speed (higher is better)");
    EXPECT_EQ(window_.writeChart->chart()->title(), "Write Speed (higher is better)");
}

// Each button calls its own handler, the one set last; without one it does nothing.
TEST_F(ChartWindowTest, ButtonsCallTheHandlersTheProgramSupplies) {
    add(sampleResult("key", {3000000}, {1000000}));
    window_.setUploadButtonEnabled(true);
    window_.setSaveButtonEnabled(true);
    add(sampleResult("key 2", {3000000}, {1000000}));
    std::string calls;
    window_.btCompare->click();
    window_.btSave->click();
    window_.btUpload->click();
    EXPECT_EQ(calls, "");
    window_.setHandlers({[&calls] { calls += "c"; }, [&calls] { calls += "s"; }, {}});
    window_.setHandlers(
        {[&calls] { calls += "C"; }, [&calls] { calls += "S"; }, [&calls] { calls += "U"; }});
    window_.btUpload->click();
    window_.btSave->click();
    window_.btCompare->click();
    EXPECT_EQ(calls, "USC");
}

// The axis maximum comes from the model (rounding is tested there); both charts
// show it, whichever holds the largest bar.
// What the window shows first is what it goes on showing: no frame of half-laid-out
// axes or labels moving into place.
TEST_F(ChartWindowTest, TheFirstFrameIsTheFinalOne) {
    window_.openOn(open(sampleResult("Generic Flash Disk 8.07", {3000000, 5000000, 9000000},
                                     {1000000, 2000000})),
                   TQkVornChart::Origin::Stored, false);
    ASSERT_TRUE(window_.isVisible());
    const QImage first = window_.grab().toImage();
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(waitUntil([&clock] { return clock.elapsed() > 600; }));
    EXPECT_TRUE(first == window_.grab().toImage());
    window_.hide();
}

TEST_F(ChartWindowTest, BothChartsShareTheAxisMaximum) {
    const struct {
        std::vector<uint32_t> read, write;
        double axisMax;
    } cases[] = {{{19500000, 3000000}, {2000000}, 20}, {{3000000}, {1000000, 7000000}, 8}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.axisMax);
        window_.clearCharts(true);
        add(sampleResult("key", c.read, c.write));
        EXPECT_DOUBLE_EQ(axisMaxOf(window_.readChart), c.axisMax);
        EXPECT_DOUBLE_EQ(axisMaxOf(window_.writeChart), c.axisMax);
        EXPECT_DOUBLE_EQ(speedAxis(window_.readChart)->min(), 0);
    }
}

TEST_F(ChartWindowTest, AFifthResultIsRefusedAndChangesNothing) {
    for (int i = 0; i < 4; ++i) {
        add(sampleResult("key " + std::to_string(i), {(i + 1) * 3000000u}, {1000000}));
    }
    const QString summary = window_.otherData->toPlainText();
    const double axisMax = axisMaxOf(window_.readChart);
    ASSERT_EQ(window_.readChart->chart()->series().size(), 4);

    auto fifth = open(sampleResult("key 4", {90000000}, {90000000}));
    I_VornCollection* kept = fifth.get();
    EXPECT_FALSE(window_.addResult(std::move(fifth)));
    EXPECT_EQ(fifth.get(), kept);  // still the caller's
    EXPECT_EQ(window_.resultCount(), 4);
    EXPECT_EQ(window_.readChart->chart()->series().size(), 4);
    EXPECT_EQ(window_.writeChart->chart()->series().size(), 4);
    EXPECT_DOUBLE_EQ(axisMaxOf(window_.readChart), axisMax);
    EXPECT_EQ(window_.otherData->toPlainText(), summary);
}

TEST_F(ChartWindowTest, DeviceColoursAndBarsFollowTheBlockSizes) {
    add(sampleResult("first", {3000000, 5000000}, {}));
    StoredResult gap = sampleResult("second", {}, {});
    gap.tests = {{"QKCW2", 1000000}, {"QKCW4", 2000000}, {"QKCW16", 4000000}};
    add(gap);
    const QColor colours[] = {QColor(255, 0, 0), QColor(0, 0, 255)};
    for (int device = 0; device < 2; ++device) {
        QBarSeries* series = seriesOf(window_.writeChart, device);
        ASSERT_NE(series, nullptr);
        ASSERT_EQ(series->barSets().size(), 1);
        EXPECT_EQ(series->barSets()[0]->color(), colours[device]);
    }
    // The 16k bar stands at its own block size, after an empty 8k place.
    QBarSet* written = seriesOf(window_.writeChart, 1)->barSets()[0];
    ASSERT_EQ(written->count(), 4);
    EXPECT_DOUBLE_EQ(written->at(2), 0);
    EXPECT_DOUBLE_EQ(written->at(3), 4);
    EXPECT_EQ(seriesOf(window_.readChart, 0)->barSets()[0]->count(), 2);
    EXPECT_EQ(seriesOf(window_.readChart, 1)->barSets()[0]->count(), 0);

    // Headings bold in the device colour; other lines plain.
    const QTextDocument* text = window_.otherData->document();
    const QTextCharFormat heading = text->findBlockByNumber(0).begin().fragment().charFormat();
    EXPECT_EQ(heading.fontWeight(), QFont::Bold);
    EXPECT_EQ(heading.foreground().color(), colours[0]);
    const QTextCharFormat plain = text->findBlockByNumber(1).begin().fragment().charFormat();
    EXPECT_NE(plain.fontWeight(), QFont::Bold);
    EXPECT_EQ(text->findBlockByNumber(1).text(), "  Max read speed: 5.00 MB/s");
}

TEST_F(ChartWindowTest, SaveAndUploadFollowTheFlagsOfTheCaller) {
    for (const auto& [save, upload] : {std::pair{false, false}, {true, true}, {true, false}}) {
        window_.setSaveButtonEnabled(save);
        window_.setUploadButtonEnabled(upload);
        window_.setUploadAllowed(upload);
        window_.clearCharts(true);
        add(sampleResult("key", {1000000}, {}));
        EXPECT_EQ(window_.btSave->isEnabled(), save);
        EXPECT_EQ(window_.btUpload->isEnabled(), upload);
        EXPECT_EQ(window_.uploadAllowed(), upload);
    }
}

TEST_F(ChartWindowTest, HintShowsOverABarAndHidesWhenLeaving) {
    add(sampleResult("key", {3000000, 7250000}, {}));
    StoredResult gap = sampleResult("gap", {}, {});
    gap.tests = {{"QKCW2", 1000000}, {"QKCW16", 4000000}};
    add(gap);
    window_.show();
    QBarSeries* series = seriesOf(window_.readChart, 0);
    ASSERT_NE(series, nullptr);
    QBarSet* set = series->barSets()[0];

    const QPoint mouse = window_.readChart->mapToGlobal(QPoint(200, 150));
    QCursor::setPos(mouse);
    emit series->hovered(true, 1, set);
    ASSERT_TRUE(window_.StaticText1->isVisible());
    EXPECT_EQ(window_.StaticText1->text(), "7.25 MB/s");
    const QPoint inWindow = window_.mapFromGlobal(QCursor::pos());
    EXPECT_NEAR(window_.StaticText1->geometry().center().x(), inWindow.x() + 16, 1);
    EXPECT_EQ(window_.StaticText1->y(), inWindow.y() - 16);

    // The next bar may report its entry before the last one reports leaving.
    emit series->hovered(true, 0, set);
    emit series->hovered(false, 1, set);
    ASSERT_TRUE(window_.StaticText1->isVisible());
    EXPECT_EQ(window_.StaticText1->text(), "3.00 MB/s");
    emit series->hovered(false, 0, set);
    EXPECT_FALSE(window_.StaticText1->isVisible());

    // The empty place of a missing block size names no bar.
    QBarSeries* gapSeries = seriesOf(window_.writeChart, 1);
    emit gapSeries->hovered(true, 1, gapSeries->barSets()[0]);
    EXPECT_FALSE(window_.StaticText1->isVisible());
    emit gapSeries->hovered(true, 3, gapSeries->barSets()[0]);
    EXPECT_EQ(window_.StaticText1->text(), "4.00 MB/s");
    window_.clearCharts(false);
    EXPECT_FALSE(window_.StaticText1->isVisible());
}

TEST_F(ChartWindowTest, DoneAndACloseFromOutsideSetTheFlag) {
    window_.setDone(false);
    window_.btDone->click();
    EXPECT_TRUE(window_.isDone());
    window_.setDone(false);
    window_.show();
    window_.close();
    EXPECT_TRUE(window_.isDone());
    window_.hide();
}

TEST_F(ChartWindowTest, SummaryNeverKeepsTheFocusAndTheLinkTurnsBoldUnderTheMouse) {
    window_.show();
    QApplication::setActiveWindow(&window_);
    window_.otherData->setFocus();
    QCoreApplication::processEvents();
    EXPECT_EQ(QApplication::focusWidget(), window_.readChart);

    QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
    QCoreApplication::sendEvent(window_.lbVelto, &enter);
    EXPECT_TRUE(window_.lbVelto->font().bold());
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(window_.lbVelto, &leave);
    EXPECT_FALSE(window_.lbVelto->font().bold());
    window_.hide();
}

TEST_F(ChartWindowTest, ReleasingResults) {
    bool firstGone = false;
    bool secondGone = false;
    ASSERT_TRUE(window_.addResult(
        std::make_unique<TrackedResult>(open(sampleResult("a", {2000000}, {})), &firstGone)));
    ASSERT_TRUE(window_.addResult(
        std::make_unique<TrackedResult>(open(sampleResult("b", {9000000}, {})), &secondGone)));
    EXPECT_DOUBLE_EQ(axisMaxOf(window_.readChart), 10);

    window_.clearCharts(false);
    EXPECT_EQ(window_.resultCount(), 2);
    EXPECT_TRUE(window_.readChart->chart()->series().isEmpty());
    EXPECT_DOUBLE_EQ(axisMaxOf(window_.readChart), 0);

    window_.keepFirstResultOnly();
    EXPECT_TRUE(secondGone);
    EXPECT_FALSE(firstGone);
    EXPECT_EQ(window_.resultCount(), 1);
    EXPECT_EQ(window_.readChart->chart()->series().size(), 1);
    EXPECT_DOUBLE_EQ(axisMaxOf(window_.writeChart), 3);

    window_.clearCharts(true);
    EXPECT_TRUE(firstGone);
    EXPECT_EQ(window_.resultCount(), 0);
    EXPECT_EQ(window_.result(0), nullptr);
    EXPECT_TRUE(window_.writeChart->chart()->series().isEmpty());
    EXPECT_TRUE(window_.otherData->toPlainText().isEmpty());
}

}  // namespace
}  // namespace vorn::test
