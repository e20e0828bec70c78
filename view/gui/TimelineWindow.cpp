#include "view/gui/TimelineWindow.h"

#include <QKeyEvent>
#include <QKeySequence>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <QWheelEvent>
#include <algorithm>
#include <fstream>

#include "view/TimelineScene.h"
#include "view/render/TimelinePainter.h"

namespace vorn {
namespace {

constexpr double kZoomStep = 1.25;
constexpr double kShortestSpan = 1e-4;  // seconds across the plot at the deepest zoom

}  // namespace

TimelineWindow::TimelineWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("TimelineWindow");
    setWindowTitle("QK Vorn Timeline");
    resize(1000, 620);
    setMinimumSize(400, 300);
    setMouseTracking(true);
}

bool TimelineWindow::openLog(const std::string& path) {
    std::ifstream log(path, std::ios::binary);
    const bool readable = log.is_open();
    model_ = readable ? buildTimeline(log) : TimelineModel{};
    message_ = !readable               ? "cannot read " + path
               : model_.points.empty() ? path + " holds no transfers"
                                       : std::string();
    setWindowTitle(QString::fromStdString("QK Vorn Timeline - " + path));
    showWholeRun();
    return message_.empty();
}

bool TimelineWindow::openRun(const std::string& path, const std::string& run) {
    const bool read = openLog(path);
    setWindowTitle(QString::fromStdString("QK Vorn Timeline - " + run +
                                          (model_.endedEarly ? " (ended early)" : "")));
    return read;
}

void TimelineWindow::showWholeRun() {
    from_ = 0;
    to_ = std::max(model_.endSec, kShortestSpan);
    update();
}

void TimelineWindow::zoom(double factor, double aroundSec) {
    const double span =
        std::clamp((to_ - from_) / factor, kShortestSpan, std::max(model_.endSec, kShortestSpan));
    const double share = (aroundSec - from_) / (to_ - from_);
    from_ = std::max(0.0, aroundSec - share * span);
    to_ = from_ + span;
    update();
}

double TimelineWindow::secondsAt(double x) const {
    const PlotArea area = ratePlotArea(width(), height());
    return from_ + (x - area.left) / area.width * (to_ - from_);
}

void TimelineWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    if (!message_.empty()) {
        painter.drawText(rect(), Qt::AlignCenter, QString::fromStdString(message_));
        return;
    }
    paintScene(painter, timelineScene(model_, width(), height(), from_, to_));
}

void TimelineWindow::wheelEvent(QWheelEvent* event) {
    const double steps = event->angleDelta().y() / 120.0;
    zoom(std::pow(kZoomStep, steps), secondsAt(event->position().x()));
}

void TimelineWindow::mousePressEvent(QMouseEvent* event) {
    dragStartX_ = event->position().x();
    dragFrom_ = from_;
    dragTo_ = to_;
}

void TimelineWindow::mouseMoveEvent(QMouseEvent* event) {
    const QPointF at = event->position();
    if (event->buttons() & Qt::LeftButton && dragStartX_ >= 0) {
        const PlotArea area = ratePlotArea(width(), height());
        const double shift = (dragStartX_ - at.x()) / area.width * (dragTo_ - dragFrom_);
        const double span = dragTo_ - dragFrom_;
        from_ = std::max(0.0, dragFrom_ + shift);
        to_ = from_ + span;
        update();
        return;
    }
    const long index = pointNear(model_, width(), height(), from_, to_, at.x(), at.y());
    if (index >= 0) {
        QToolTip::showText(event->globalPosition().toPoint(),
                           QString::fromStdString(pointHint(model_, static_cast<size_t>(index))),
                           this);
    } else {
        QToolTip::hideText();
    }
}

void TimelineWindow::mouseDoubleClickEvent(QMouseEvent*) {
    showWholeRun();
}

// Esc and Ctrl+W close it, as they close a viewer window anywhere on the desktop.
void TimelineWindow::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Cancel) || event->matches(QKeySequence::Close) ||
        event->key() == Qt::Key_Escape ||
        (event->key() == Qt::Key_W && event->modifiers() == Qt::ControlModifier)) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

}  // namespace vorn
