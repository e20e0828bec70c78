#include "view/gui/TQkVornChart.h"

#include <QBarSeries>
#include <QBarSet>
#include <QChartView>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>
#include <algorithm>
#include <chrono>
#include <thread>

#include "base/DiagLog.h"
#include "base/FileNames.h"
#include "base/MakerServers.h"
#include "base/gui/LinkOpener.h"
#include "base/gui/WindowLayout.h"
#include "base/gui/WindowPlacement.h"
#include "platform/ProgramInfo.h"
#include "results/Collections.h"
#include "view/gui/SpeedChart.h"
#include "view/gui/TimelineWindow.h"

namespace vorn {

namespace {

// The hint sits this far right of (and above) the mouse, off the pointer.
constexpr int kHintOffset = 16;

constexpr const char* kReadTitle = "Read Speed (higher is better)";
constexpr const char* kWriteTitle = "Write Speed (higher is better)";
constexpr const char* kExtendedReadTitle = "Extended Read (higher is better)";
constexpr const char* kExtendedWriteTitle = "Extended Write (higher is better)";

QPushButton* newButton(const char* name, const QString& text, const QRect& place, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setGeometry(place);
    return button;
}

}  // namespace

TQkVornChart::TQkVornChart(QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName("TQkVornChart");
    const char* version = platform::programVersion();
    setWindowTitle(QString("QK Vorn Beta") + " version " + (version != nullptr ? version : "") +
                   " ");
    fixClientSize(this, layout::kChart);
    createControls();
    connectControls();
    centreOnScreen(this);
}

TQkVornChart::~TQkVornChart() {
    clearCharts(true);
}

void TQkVornChart::createControls() {
    lbVelto = new QLabel(QString("Velto \u2013 ") + kMakerWebSite, this);
    lbVelto->setObjectName("lbVelto");
    lbVelto->setGeometry(196, 532, 400, 20);
    lbVelto->setAlignment(Qt::AlignCenter);
    lbVelto->setCursor(Qt::PointingHandCursor);
    QPalette linkPalette = lbVelto->palette();
    linkPalette.setColor(QPalette::WindowText,
                         palette().color(QPalette::Active, QPalette::Highlight));
    lbVelto->setPalette(linkPalette);

    readChart = newSpeedChart(kReadTitle, this);
    readChart->setObjectName("readChart");
    readChart->setGeometry(4, 4, 390, 352);

    btDone = newButton("btDone", "&Done", QRect(8, 366, 180, 30), this);
    btCompare = newButton("btCompare", "&Compare Another Drive", QRect(8, 404, 180, 30), this);
    btSave = newButton("btSave", "&Save Results", QRect(604, 366, 180, 30), this);
    btUpload = newButton("btUpload", "&Upload Results", QRect(604, 404, 180, 30), this);
    btUpload->setEnabled(false);
    btTimeline = newButton("btTimeline", "&Timeline", QRect(8, 442, 180, 30), this);
    btExtended = newButton("btExtended", "&Extended Tests", QRect(604, 442, 180, 30), this);
    btExtended->setCheckable(true);
    btExtended->setEnabled(false);

    otherData = new QTextEdit(this);
    otherData->setObjectName("otherData");
    otherData->setGeometry(196, 362, 400, 166);
    otherData->setReadOnly(true);
    otherData->setFrameShape(QFrame::NoFrame);
    otherData->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QPalette summaryPalette = otherData->palette();
    summaryPalette.setColor(QPalette::Base, palette().color(QPalette::Button));
    otherData->setPalette(summaryPalette);

    writeChart = newSpeedChart(kWriteTitle, this);
    writeChart->setObjectName("writeChart");
    writeChart->setGeometry(398, 4, 390, 352);

    StaticText1 = new QLabel(this);
    StaticText1->setObjectName("StaticText1");
    StaticText1->setStyleSheet(
        "QLabel { background-color: navy; color: white; padding: 1px 3px; }");
    StaticText1->setAttribute(Qt::WA_TransparentForMouseEvents);
    StaticText1->hide();
}

void TQkVornChart::connectControls() {
    connect(btDone, &QPushButton::clicked, this, [this] {
        done_ = true;
        emit doneRequested();
    });
    // Looked up at each click: the handlers may be set after the controls.
    const auto callHandler = [this](std::function<void()> ChartHandlers::*handler) {
        return [this, handler] {
            if (const std::function<void()>& call = handlers_.*handler) {
                call();
            }
        };
    };
    connect(btCompare, &QPushButton::clicked, this, callHandler(&ChartHandlers::compare));
    connect(btSave, &QPushButton::clicked, this, callHandler(&ChartHandlers::save));
    connect(btUpload, &QPushButton::clicked, this, callHandler(&ChartHandlers::upload));
    connect(btTimeline, &QPushButton::clicked, this, &TQkVornChart::showTimeline);
    connect(btExtended, &QPushButton::toggled, this, &TQkVornChart::drawCharts);
    setTimelineFor(Origin::Stored);
    lbVelto->installEventFilter(this);
    otherData->installEventFilter(this);
    readChart->viewport()->installEventFilter(this);
    writeChart->viewport()->installEventFilter(this);
}

// The transfers of the run just made: its own "event.log". A stored result keeps no
// transfers, so its timeline would be another run's.
void TQkVornChart::showTimeline() {
    if (!btTimeline->isEnabled()) {
        return;
    }
    if (timeline_ == nullptr) {
        timeline_ = new TimelineWindow(this);
    }
    std::string run = model_.devices.empty() ? std::string() : model_.devices.front().driveId;
    if (!model_.devices.empty() && model_.devices.front().hasTestTime) {
        run += ", " + testTimeText(model_.devices.front().testTime);
    }
    timeline_->openRun(kEventLogFile, run);
    // Over the chart it belongs to, not at the screen's corner.
    timeline_->move(geometry().center() - timeline_->rect().center());
    timeline_->show();
    timeline_->raise();
}

void TQkVornChart::setTimelineFor(Origin origin) {
    const bool ours = origin == Origin::Run;
    btTimeline->setEnabled(ours);
    btTimeline->setToolTip(ours ? QString()
                                : QString("Only the run just made has its transfers at hand; a "
                                          "stored result keeps none."));
}

I_VornCollection* TQkVornChart::result(int index) const {
    return index >= 0 && index < resultCount() ? results_[index].get() : nullptr;
}

void TQkVornChart::clearCharts(bool releaseResults) {
    if (releaseResults) {
        results_.clear();
        // Nothing of a released result may stay on view.
        model_ = ChartModel{};
        otherData->clear();
    }
    hideValueHint();
    clearSpeedChart(readChart);
    clearSpeedChart(writeChart);
}

bool TQkVornChart::addResult(std::unique_ptr<I_VornCollection>&& collection) {
    if (!collection || resultCount() >= kMaxChartResults) {
        return false;
    }
    results_.push_back(std::move(collection));
    redraw();
    return true;
}

bool TQkVornChart::openOn(std::unique_ptr<I_VornCollection> result, Origin origin, bool writeTest) {
    if (!result) {
        return false;
    }
    const bool fresh = origin == Origin::Run;
    setTimelineFor(origin);
    setUploadAllowed(fresh && writeTest);
    setUploadButtonEnabled(fresh);
    setSaveButtonEnabled(fresh);
    clearCharts(true);
    // A window opened on a result starts on the block sizes.
    const QSignalBlocker quiet(btExtended);
    btExtended->setChecked(false);
    addResult(std::move(result));
    setDone(false);
    show();
    return true;
}

void TQkVornChart::keepFirstResultOnly() {
    if (resultCount() <= 1) {
        return;
    }
    results_.resize(1);
    redraw();
}

void TQkVornChart::redraw() {
    btUpload->setEnabled(uploadButtonEnabled_);
    btSave->setEnabled(saveButtonEnabled_);
    std::vector<I_VornCollection*> held;
    for (const auto& result : results_) {
        held.push_back(result.get());
    }
    model_ = buildChartModel(held);
    offerExtended();
    drawCharts();
    writeSummary();
}

bool TQkVornChart::showsExtended() const {
    return btExtended->isChecked();
}

// Without a result that has them the switch is off and cannot be pressed; the charts
// are drawn right after, so the switch's own redraw is not wanted here.
void TQkVornChart::offerExtended() {
    const bool offered = hasExtendedBars(model_);
    const QSignalBlocker quiet(btExtended);
    if (!offered) {
        btExtended->setChecked(false);
    }
    btExtended->setEnabled(offered);
    btExtended->setToolTip(offered ? QString()
                                   : QString("None of the results on view has extended tests."));
}

void TQkVornChart::drawCharts() {
    clearCharts(false);
    const bool extended = showsExtended();
    setSpeedChartLabels(readChart, extended ? kExtendedReadTitle : kReadTitle,
                        extended ? extendedCategories() : blockSizeCategories());
    setSpeedChartLabels(writeChart, extended ? kExtendedWriteTitle : kWriteTitle,
                        extended ? extendedCategories() : blockSizeCategories());
    drawSeries(readChart, false);
    drawSeries(writeChart, true);
}

void TQkVornChart::drawSeries(QChartView* chart, bool write) {
    const bool extended = showsExtended();
    for (int device = 0; device < static_cast<int>(model_.devices.size()); ++device) {
        const ChartDevice& shown = model_.devices[device];
        QBarSeries* series =
            extended
                ? addExtendedBars(chart, write ? shown.extendedWriteBars : shown.extendedReadBars,
                                  shown.rgb)
                : addDeviceBars(chart, write ? shown.writeBars : shown.readBars, shown.rgb);
        connect(series, &QBarSeries::hovered, this,
                [this, chart, device, write](bool entered, int index, QBarSet*) {
                    barHovered(chart, device, write, entered, index);
                });
    }
    // Both charts share one scale, so their bars compare at a glance.
    setSpeedAxisMaximum(chart, extended ? model_.extendedAxisMax : model_.axisMax);
}

// Headings bold in their device's colour; every other line plain.
void TQkVornChart::writeSummary() {
    otherData->clear();
    QTextCursor cursor(otherData->document());
    const std::vector<SummaryLine> lines = summaryLines(model_);
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) {
            cursor.insertBlock();
        }
        QTextCharFormat format;
        if (lines[i].heading) {
            format.setFontWeight(QFont::Bold);
            format.setForeground(QColor::fromRgb(bgrToRgb(lines[i].colour)));
        }
        cursor.insertText(QString::fromStdString(lines[i].text), format);
    }
    otherData->moveCursor(QTextCursor::Start);
}

void TQkVornChart::barHovered(QChartView* chart, int device, bool write, bool entered, int index) {
    if (!entered) {
        // Moving from one bar to the next may report the new bar first.
        if (chart == hintChart_ && device == hintDevice_ && index == hintIndex_) {
            hideValueHint();
        }
        return;
    }
    if (device < 0 || device >= static_cast<int>(model_.devices.size())) {
        return;
    }
    const QString text = hintText(model_.devices[device], write, index);
    if (text.isEmpty()) {
        return;
    }
    showValueHint(chart, chart->mapFromGlobal(QCursor::pos()), text);
    hintDevice_ = device;
    hintIndex_ = index;
}

// Empty for the empty place of a missing bar.
QString TQkVornChart::hintText(const ChartDevice& shown, bool write, int index) const {
    if (showsExtended()) {
        const ExtendedBar* bar =
            extendedBarAt(write ? shown.extendedWriteBars : shown.extendedReadBars, index);
        return bar != nullptr ? QString::fromStdString(extendedHintText(*bar)) : QString();
    }
    const ChartBar* bar = barAtCategory(write ? shown.writeBars : shown.readBars, index);
    return bar != nullptr ? QString::asprintf("%1.2f MB/s", double{bar->mbps}) : QString();
}

void TQkVornChart::showValueHint(QChartView* chart, QPoint atChart, const QString& text) {
    StaticText1->setText(text);
    StaticText1->adjustSize();
    hintChart_ = chart;
    placeHint(chart, atChart);
    StaticText1->raise();
    StaticText1->show();
}

// Centred on 16 px right of the mouse and 16 px above it, kept inside the window.
void TQkVornChart::placeHint(QChartView* chart, QPoint atChart) {
    const QPoint at = chart->geometry().topLeft() + atChart;
    const int left = at.x() + kHintOffset - StaticText1->width() / 2;
    const int top = at.y() - kHintOffset;
    StaticText1->move(std::clamp(left, 0, width() - StaticText1->width()),
                      std::clamp(top, 0, height() - StaticText1->height()));
}

void TQkVornChart::hideValueHint() {
    StaticText1->hide();
    hintChart_ = nullptr;
    hintDevice_ = -1;
    hintIndex_ = -1;
}

bool TQkVornChart::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lbVelto) {
        if (event->type() == QEvent::Enter || event->type() == QEvent::Leave) {
            QFont font = lbVelto->font();
            font.setBold(event->type() == QEvent::Enter);
            lbVelto->setFont(font);
        } else if (event->type() == QEvent::MouseButtonRelease) {
            openOrShowAddress(this, kMakerWebSite);
        }
    } else if (watched == otherData && event->type() == QEvent::FocusIn) {
        // The summary never keeps the focus.
        readChart->setFocus();
    } else if (event->type() == QEvent::MouseMove && StaticText1->isVisible() &&
               hintChart_ != nullptr && watched == hintChart_->viewport()) {
        const QPointF global = static_cast<QMouseEvent*>(event)->globalPosition();
        placeHint(hintChart_, hintChart_->mapFromGlobal(global).toPoint());
    }
    return QWidget::eventFilter(watched, event);
}

// A close from outside (the window manager) counts as Done: the caller hides the
// window, and waiting on a window nobody can see would never end.
void TQkVornChart::closeEvent(QCloseEvent* event) {
    done_ = true;
    event->ignore();
    emit doneRequested();
}

void TQkVornChart::showEvent(QShowEvent* event) {
    centreOnScreen(this);
    QWidget::showEvent(event);
}

}  // namespace vorn
