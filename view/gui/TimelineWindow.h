#pragma once

#include <QWidget>
#include <string>

#include "view/TimelineModel.h"

class QLabel;

namespace vorn {

// Every transfer of an "event.log" against time: wheel to zoom around the pointer,
// drag to move, double-click for the whole run, a hint on the transfer under the
// pointer; the access-time distribution below.
class TimelineWindow : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TimelineWindow)

public:
    explicit TimelineWindow(QWidget* parent = nullptr);

    // Reads the log; false (and an empty picture with the reason) when it holds no
    // transfer or cannot be read.
    bool openLog(const std::string& path);
    // The same for the log a run wrote, the window named after the run ("drive, time")
    // and saying when the run ended early.
    bool openRun(const std::string& path, const std::string& run);
    const TimelineModel& model() const { return model_; }
    double fromSec() const { return from_; }
    double toSec() const { return to_; }
    void zoom(double factor, double aroundSec);
    void showWholeRun();

protected:
    void paintEvent(QPaintEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    double secondsAt(double x) const;

    TimelineModel model_;
    std::string message_;
    double from_ = 0, to_ = 1;
    double dragStartX_ = -1, dragFrom_ = 0, dragTo_ = 0;
};

}  // namespace vorn
