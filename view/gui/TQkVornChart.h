#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

#include "view/ChartModel.h"

class QBarSeries;
class QChartView;
class QLabel;
class QPushButton;
class QTextEdit;

namespace vorn {

class I_VornCollection;
class TimelineWindow;

// What the chart's Compare Another Drive, Save Results and Upload Results buttons do.
// Each flow needs a window above this one (the selection, details and notice windows),
// so the program supplies them when it creates its windows (MainRoutine):
//   compare: compareAnotherDrive (view/gui/TQkVornSelect)
//   save:    btSaveClick (results/gui/TupdateDetails)
//   upload:  btUploadClick (net/gui/TformUpload)
// Each works on the first result on view; a button without a handler does nothing.
struct ChartHandlers {
    std::function<void()> compare;
    std::function<void()> save;
    std::function<void()> upload;
};

// The chart window: read and write speed per block size for up to four results, one
// colour per result, and a summary text below. Extended Tests switches both charts to
// the extended tests' rates; it is offered only while a result on view has them.
// Created once and reused; a caller opens it on one result (openOn), or sets the flags,
// clearCharts(true), addResult, setDone(false) and shows it; Done (or a close from
// outside) emits doneRequested and the caller hides it.
class TQkVornChart : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TQkVornChart)

public:
    explicit TQkVornChart(QWidget* parent = nullptr);
    ~TQkVornChart() override;

    // What the three buttons call; replaces the handlers given before.
    void setHandlers(ChartHandlers handlers) { handlers_ = std::move(handlers); }

    // Upload Results works only on results measured with the write test.
    void setUploadAllowed(bool allowed) { uploadAllowed_ = allowed; }
    bool uploadAllowed() const { return uploadAllowed_; }
    // Copied to btUpload and btSave each time a result is added.
    void setUploadButtonEnabled(bool enabled) { uploadButtonEnabled_ = enabled; }
    void setSaveButtonEnabled(bool enabled) { saveButtonEnabled_ = enabled; }

    // Empties both charts and hides the value hint; with releaseResults the held
    // results are destroyed too. The summary stays until the next addResult.
    void clearCharts(bool releaseResults);

    // Takes an open result (positioned on one result) as the next device and redraws
    // everything. Refused, answering false and leaving the collection with the
    // caller, when it is null or four results are held already.
    bool addResult(std::unique_ptr<I_VornCollection>&& collection);

    // Destroys every held result but the first (Compare Another Drive), redrawing
    // when any was released so no released result stays on view.
    void keepFirstResultOnly();

    // The held results in device order (the button handlers work on the first).
    int resultCount() const { return static_cast<int>(results_.size()); }
    I_VornCollection* result(int index) const;

    // Where a result shown alone comes from: the run just made (save offered, upload
    // too when it includes the write test) or a stored one (only looked at).
    enum class Origin { Run, Stored };
    // Drops every held result, shows `result` alone and the window, cleared of Done.
    // False (the window stays hidden) when `result` is null.
    bool openOn(std::unique_ptr<I_VornCollection> result, Origin origin, bool writeTest);

    // Set by Done; cleared when the window is opened.
    bool isDone() const { return done_; }
    void setDone(bool done) { done_ = done; }

    // What the charts and the summary show.
    const ChartModel& model() const { return model_; }

    // The value hint ("%1.2f MB/s", an extended random test's with its IOPS) centred
    // 16 px right of `atChart` (a point in the chart view), or hidden.
    void showValueHint(QChartView* chart, QPoint atChart, const QString& text);
    void hideValueHint();

    // Whether the charts show the extended tests rather than the block sizes.
    bool showsExtended() const;

    // Controls, named as the window's design names them.
    QLabel* lbVelto = nullptr;
    QChartView* readChart = nullptr;
    QPushButton* btDone = nullptr;
    QPushButton* btCompare = nullptr;
    QPushButton* btSave = nullptr;
    QPushButton* btUpload = nullptr;
    QPushButton* btTimeline = nullptr;
    QPushButton* btExtended = nullptr;  // checkable: down while the extended tests show
    QTextEdit* otherData = nullptr;
    QChartView* writeChart = nullptr;
    QLabel* StaticText1 = nullptr;

signals:
    // Done was pressed or the window was closed from outside.
    void doneRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // The transfers of the last run ("event.log" of the working folder) over time.
    void showTimeline();
    void setTimelineFor(Origin origin);
    TimelineWindow* timeline_ = nullptr;
    void createControls();
    void connectControls();
    void redraw();
    void offerExtended();
    void drawCharts();
    void drawSeries(QChartView* chart, bool write);
    void writeSummary();
    void barHovered(QChartView* chart, int device, bool write, bool entered, int index);
    QString hintText(const ChartDevice& shown, bool write, int index) const;
    void placeHint(QChartView* chart, QPoint atChart);

    ChartHandlers handlers_;
    std::vector<std::unique_ptr<I_VornCollection>> results_;
    ChartModel model_;
    bool uploadAllowed_ = false;
    bool uploadButtonEnabled_ = false;
    bool saveButtonEnabled_ = false;
    bool done_ = false;

    // The bar under the mouse, while the hint shows.
    QChartView* hintChart_ = nullptr;
    int hintDevice_ = -1;
    int hintIndex_ = -1;
};

}  // namespace vorn
