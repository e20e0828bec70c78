// The chart window's switch between the block sizes and the extended tests.

#include <gtest/gtest.h>

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QCursor>
#include <QLabel>
#include <QPushButton>
#include <QTextEdit>
#include <QValueAxis>
#include <memory>
#include <string>
#include <vector>

#include "gui/ChartWindowFixture.h"
#include "results/Collections.h"
#include "support/TempDir.h"
#include "view/ChartResults.h"
#include "view/gui/SpeedChart.h"
#include "view/gui/TQkVornChart.h"

namespace vorn::test {
namespace {

std::vector<std::string> categoriesOf(QChartView* chart) {
    std::vector<std::string> labels;
    const auto axes = chart->chart()->axes(Qt::Horizontal);
    if (auto* axis = axes.isEmpty() ? nullptr : qobject_cast<QBarCategoryAxis*>(axes.first())) {
        for (const QString& label : axis->categories()) {
            labels.push_back(label.toStdString());
        }
    }
    return labels;
}

// The bar heights of a device's series, empty places as 0.
std::vector<double> barsOf(QChartView* chart, int device) {
    const auto all = chart->chart()->series();
    auto* series = device < all.size() ? qobject_cast<QBarSeries*>(all[device]) : nullptr;
    std::vector<double> values;
    if (series != nullptr && !series->barSets().isEmpty()) {
        const QBarSet* set = series->barSets()[0];
        for (int i = 0; i < set->count(); ++i) {
            values.push_back(set->at(i));
        }
    }
    return values;
}

const std::vector<std::string> kBlockSizes = {"2k", "4k", "8k", "16k", "32k", "64k"};
// Each on two lines, so that a narrow category still shows it whole.
const std::vector<std::string> kExtended = {"SEQ1M<br>Q1", "SEQ1M<br>Q8", "RND4K<br>Q1",
                                            "RND4K<br>Q32"};

class ExtendedChartWindowTest : public ChartWindowFixture {
protected:
    // A charted drive with both kinds of bars, and one without extended tests.
    void addBoth() {
        add(extendedSample("extended", {45'200'000, 0, 5'320'000}, {20'000'000}));
        add(sampleResult("plain", {3000000, 5000000}, {1000000}));
    }
};

TEST_F(ExtendedChartWindowTest, TheSwitchIsOfferedOnlyWhileAResultHasTheFigures) {
    ASSERT_NE(window_.btExtended, nullptr);
    EXPECT_TRUE(window_.btExtended->isCheckable());
    EXPECT_FALSE(window_.btExtended->isEnabled());
    add(sampleResult("plain", {3000000}, {1000000}));
    EXPECT_FALSE(window_.btExtended->isEnabled());
    // The sustained write is a summary line, not a chart.
    StoredResult curveOnly = sampleResult("curve", {3000000}, {1000000});
    curveOnly.sustained = "8000000000,0,0,22000000,9800000,0";
    add(curveOnly);
    EXPECT_FALSE(window_.btExtended->isEnabled());
    EXPECT_TRUE(window_.otherData->toPlainText().contains("No write cache found"));
    window_.btExtended->click();
    EXPECT_FALSE(window_.showsExtended());
    EXPECT_EQ(categoriesOf(window_.readChart), kBlockSizes);

    add(extendedSample("extended", {45'200'000}, {}));
    EXPECT_TRUE(window_.btExtended->isEnabled());
    EXPECT_FALSE(window_.showsExtended());
    window_.btExtended->click();
    EXPECT_TRUE(window_.showsExtended());
    EXPECT_EQ(categoriesOf(window_.writeChart), kExtended);

    // Back to the first result alone: nothing extended is left to show.
    ASSERT_EQ(window_.resultCount(), 3);
    window_.keepFirstResultOnly();
    EXPECT_FALSE(window_.btExtended->isEnabled());
    EXPECT_FALSE(window_.showsExtended());
    EXPECT_EQ(categoriesOf(window_.readChart), kBlockSizes);
    EXPECT_EQ(window_.readChart->chart()->title(), "Read Speed (higher is better)");
    EXPECT_EQ(barsOf(window_.readChart, 0), std::vector<double>{3});
}

TEST_F(ExtendedChartWindowTest, TogglingSwapsBarsAxisAndTitlesAndBack) {
    addBoth();
    const std::vector<double> classicRead = barsOf(window_.readChart, 0);
    ASSERT_EQ(classicRead, (std::vector<double>{3, 5}));
    const QString summary = window_.otherData->toPlainText();

    window_.btExtended->click();
    EXPECT_EQ(window_.readChart->chart()->title(), "Extended Read (higher is better)");
    EXPECT_EQ(window_.writeChart->chart()->title(), "Extended Write (higher is better)");
    EXPECT_EQ(categoriesOf(window_.readChart), kExtended);
    ASSERT_EQ(window_.readChart->chart()->series().size(), 2);
    const std::vector<double> read = barsOf(window_.readChart, 0);
    ASSERT_EQ(read.size(), 3u);
    EXPECT_NEAR(read[0], 45.2, 1e-5);
    EXPECT_EQ(read[1], 0);  // the empty place of a test not stored
    EXPECT_NEAR(read[2], 5.32, 1e-5);
    EXPECT_EQ(barsOf(window_.readChart, 1), std::vector<double>{});
    EXPECT_EQ(barsOf(window_.writeChart, 0), std::vector<double>{20});
    EXPECT_DOUBLE_EQ(speedAxis(window_.readChart)->max(), 46);
    EXPECT_DOUBLE_EQ(speedAxis(window_.writeChart)->max(), 46);
    // The summary tells the figures whichever charts show.
    EXPECT_EQ(window_.otherData->toPlainText(), summary);
    EXPECT_TRUE(summary.contains("  Read RND 4KiB Q1: 5.32 MB/s, 1299 IOPS"))
        << summary.toStdString();

    window_.btExtended->click();
    EXPECT_EQ(window_.readChart->chart()->title(), "Read Speed (higher is better)");
    EXPECT_EQ(window_.writeChart->chart()->title(), "Write Speed (higher is better)");
    EXPECT_EQ(categoriesOf(window_.readChart), kBlockSizes);
    EXPECT_EQ(barsOf(window_.readChart, 0), classicRead);
    EXPECT_EQ(barsOf(window_.writeChart, 1), std::vector<double>{1});
    EXPECT_DOUBLE_EQ(speedAxis(window_.readChart)->max(), 6);
}

TEST_F(ExtendedChartWindowTest, HintOverAnExtendedBarTellsItsIops) {
    addBoth();
    window_.show();
    window_.btExtended->click();
    const auto all = window_.readChart->chart()->series();
    ASSERT_FALSE(all.isEmpty());
    auto* series = qobject_cast<QBarSeries*>(all[0]);
    ASSERT_NE(series, nullptr);
    QBarSet* set = series->barSets()[0];
    QCursor::setPos(window_.readChart->mapToGlobal(QPoint(200, 150)));

    emit series->hovered(true, 2, set);
    ASSERT_TRUE(window_.StaticText1->isVisible());
    EXPECT_EQ(window_.StaticText1->text(), "5.32 MB/s, 1299 IOPS");
    emit series->hovered(true, 0, set);
    EXPECT_EQ(window_.StaticText1->text(), "45.20 MB/s");
    emit series->hovered(false, 0, set);
    EXPECT_FALSE(window_.StaticText1->isVisible());
    emit series->hovered(true, 1, set);  // no test stored there
    EXPECT_FALSE(window_.StaticText1->isVisible());

    // Switching back hides a hint and brings the block sizes' hints back.
    emit series->hovered(true, 2, set);
    window_.btExtended->click();
    EXPECT_FALSE(window_.StaticText1->isVisible());
    auto* classic = qobject_cast<QBarSeries*>(window_.readChart->chart()->series()[0]);
    emit classic->hovered(true, 1, classic->barSets()[0]);
    EXPECT_EQ(window_.StaticText1->text(), "5.00 MB/s");
    window_.hide();
}

TEST_F(ExtendedChartWindowTest, OpeningOnAResultStartsOnTheBlockSizes) {
    ASSERT_TRUE(window_.openOn(open(extendedSample("a", {45'200'000}, {})),
                               TQkVornChart::Origin::Stored, false));
    EXPECT_TRUE(window_.btExtended->isEnabled());
    window_.btExtended->click();
    ASSERT_TRUE(window_.showsExtended());
    ASSERT_TRUE(window_.openOn(open(extendedSample("b", {9'000'000}, {})),
                               TQkVornChart::Origin::Stored, false));
    EXPECT_FALSE(window_.showsExtended());
    EXPECT_TRUE(window_.btExtended->isEnabled());
    EXPECT_EQ(categoriesOf(window_.readChart), kBlockSizes);
    window_.hide();
}

}  // namespace
}  // namespace vorn::test
