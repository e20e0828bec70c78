#include "view/gui/SpeedChart.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QValueAxis>

#include "results/RunSteps.h"

namespace vorn {

namespace {

int categoryOf(uint32_t blockSize) {
    for (int i = 0; i < kTestsPerTable; ++i) {
        if (readTests[i].blockSize == blockSize) {
            return i;
        }
    }
    return -1;
}

// Whole MB/s per tick, grown in 1-2-5 steps until at most ten intervals remain, so
// the labels never run into each other.
qreal tickStep(uint32_t maximum) {
    qreal step = 1;
    for (int i = 0; maximum / step > 10; ++i) {
        step *= (i % 3 == 1) ? 2.5 : 2;
    }
    return step;
}

}  // namespace

QChartView* newSpeedChart(const QString& title, QWidget* parent) {
    auto* chart = new QChart();
    chart->setTitle(title);
    QFont titleFont = chart->titleFont();
    titleFont.setBold(true);
    chart->setTitleFont(titleFont);
    chart->legend()->hide();
    chart->setBackgroundRoundness(0);
    chart->setMargins(QMargins(4, 2, 8, 4));
    chart->setPlotAreaBackgroundBrush(Qt::white);
    chart->setPlotAreaBackgroundVisible(true);
    // No animation: an animated axis shows half-moved labels in the window's first
    // frames; every frame is the final one.
    chart->setAnimationOptions(QChart::NoAnimation);

    auto* blocks = new QBarCategoryAxis(chart);
    for (const RunStep& test : readTests) {
        blocks->append(QString::fromStdString(barLabel(test.blockSize)));
    }
    chart->addAxis(blocks, Qt::AlignBottom);

    auto* speed = new QValueAxis(chart);
    speed->setLabelFormat("%.4g MB/s");
    speed->setTickType(QValueAxis::TicksDynamic);
    speed->setTickAnchor(0);
    speed->setTickInterval(1);
    speed->setMinorTickCount(0);
    speed->setRange(0, 0);
    chart->addAxis(speed, Qt::AlignLeft);

    auto* view = new QChartView(chart, parent);
    view->setRenderHint(QPainter::Antialiasing);
    view->setRubberBand(QChartView::RectangleRubberBand);
    view->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    view->setFocusPolicy(Qt::StrongFocus);
    return view;
}

void clearSpeedChart(QChartView* view) {
    view->chart()->removeAllSeries();
    view->chart()->zoomReset();
    setSpeedAxisMaximum(view, 0);
}

QValueAxis* speedAxis(QChartView* view) {
    const auto axes = view->chart()->axes(Qt::Vertical);
    return axes.isEmpty() ? nullptr : qobject_cast<QValueAxis*>(axes.first());
}

void setSpeedAxisMaximum(QChartView* view, uint32_t maximum) {
    QValueAxis* axis = speedAxis(view);
    axis->setTickInterval(tickStep(maximum));
    axis->setRange(0, maximum);
}

QBarSeries* addDeviceBars(QChartView* view, const std::vector<ChartBar>& bars, uint32_t rgb) {
    auto* set = new QBarSet(QString());
    const QColor colour = QColor::fromRgb(rgb);
    set->setColor(colour);
    set->setBorderColor(colour.darker(150));
    for (const ChartBar& bar : bars) {
        const int category = categoryOf(bar.blockSize);
        while (category >= 0 && set->count() < category) {
            set->append(0);  // an empty place before a later bar
        }
        if (category == set->count()) {
            set->append(bar.mbps);
        }
    }
    auto* series = new QBarSeries();
    series->append(set);
    series->setBarWidth(0.8);
    QChart* chart = view->chart();
    chart->addSeries(series);
    for (QAbstractAxis* axis : chart->axes()) {
        series->attachAxis(axis);
    }
    chart->zoomReset();
    return series;
}

const ChartBar* barAtCategory(const std::vector<ChartBar>& bars, int index) {
    for (const ChartBar& bar : bars) {
        if (categoryOf(bar.blockSize) == index) {
            return &bar;
        }
    }
    return nullptr;
}

}  // namespace vorn
