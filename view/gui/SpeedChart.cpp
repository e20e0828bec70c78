#include "view/gui/SpeedChart.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QValueAxis>
#include <utility>

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

// A label with a blank ("SEQ1M Q1") is set on two lines: on one it would be cut short
// in a category as narrow as four drives' bars leave it.
QStringList categoryList(const std::vector<std::string>& labels) {
    QStringList list;
    for (const std::string& label : labels) {
        list.append(QString::fromStdString(label).replace(' ', "<br>"));
    }
    return list;
}

// One bar set at its categories (ascending); a category without a bar keeps its place.
QBarSeries* addPlacedBars(QChartView* view, const std::vector<std::pair<int, float>>& placed,
                          uint32_t rgb) {
    auto* set = new QBarSet(QString());
    const QColor colour = QColor::fromRgb(rgb);
    set->setColor(colour);
    set->setBorderColor(colour.darker(150));
    for (const auto& [category, mbps] : placed) {
        while (category >= 0 && set->count() < category) {
            set->append(0);  // an empty place before a later bar
        }
        if (category == set->count()) {
            set->append(mbps);
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

}  // namespace

std::vector<std::string> blockSizeCategories() {
    std::vector<std::string> labels;
    for (const RunStep& test : readTests) {
        labels.push_back(barLabel(test.blockSize));
    }
    return labels;
}

void setSpeedChartLabels(QChartView* view, const QString& title,
                         const std::vector<std::string>& categories) {
    view->chart()->setTitle(title);
    const auto axes = view->chart()->axes(Qt::Horizontal);
    if (auto* axis = axes.isEmpty() ? nullptr : qobject_cast<QBarCategoryAxis*>(axes.first())) {
        const QStringList wanted = categoryList(categories);
        if (axis->categories() != wanted) {
            axis->clear();
            axis->append(wanted);
        }
    }
}

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
    blocks->append(categoryList(blockSizeCategories()));
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
    std::vector<std::pair<int, float>> placed;
    for (const ChartBar& bar : bars) {
        placed.emplace_back(categoryOf(bar.blockSize), bar.mbps);
    }
    return addPlacedBars(view, placed, rgb);
}

QBarSeries* addExtendedBars(QChartView* view, const std::vector<ExtendedBar>& bars, uint32_t rgb) {
    std::vector<std::pair<int, float>> placed;
    for (const ExtendedBar& bar : bars) {
        placed.emplace_back(bar.test, bar.mbps);
    }
    return addPlacedBars(view, placed, rgb);
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
