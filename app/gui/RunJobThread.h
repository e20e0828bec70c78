#pragma once

#include <QObject>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "app/RunJob.h"
#include "app/RunView.h"
#include "base/Dialogs.h"
#include "base/gui/InterfaceJob.h"
#include "base/gui/WorkerCalls.h"

namespace vorn {

// A window's progress view seen from a worker: what it shows is queued to the window's
// thread in order; the cancel flag (atomic in the window) is read directly, and so is
// `stop`, the owner's own cancel. The poll's pause sleeps on the worker and ends early
// at a cancel.
class WorkerRunView final : public I_RunView {
public:
    WorkerRunView(QObject& window, I_RunView& view, const std::atomic<bool>& stop)
        : window_(window), view_(view), stop_(stop) {}
    void clearCancel() override { view_.clearCancel(); }
    bool cancelRequested() override;
    void setRowState(RunRow row, RowState state) override;
    void setRowLabel(RunRow row, const std::string& text) override;
    void setRowActive(RunRow row, bool active) override;
    void setWriteRow(bool visible, bool enabled) override;
    void setButtonCaption(const std::string& text) override;
    void setProgressVisible(bool visible) override;
    void setProgress(uint32_t percent) override;
    void showView(bool visible) override;
    void sleepMs(uint32_t milliseconds) override;

private:
    void post(std::function<void(I_RunView&)> call);

    QObject& window_;
    I_RunView& view_;
    const std::atomic<bool>& stop_;
};

// One test run on a worker thread for the windows. The interface thread stays in its
// own event loop; finished() is emitted there once the worker has ended, and the
// result can then be taken.
class RunJobThread : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RunJobThread)

public:
    // `window` is the QObject of `view` (the progress window); both and `dialogs`
    // outlive this.
    RunJobThread(QObject& window, I_RunView& view, I_Dialogs& dialogs, QObject* parent = nullptr);
    // A run still going is cancelled, its open question abandoned, and waited for.
    ~RunJobThread() override;

    // False while a run is going, and when no thread could be started (logged).
    bool start(RunJobRequest request);
    bool running() const { return worker_.running(); }
    // The result of the run that finished; valid once after finished().
    RunResult takeResult();

signals:
    void finished();

private:
    InterfaceCalls calls_;
    std::atomic<bool> stop_{false};
    WorkerRunView view_;
    WorkerDialogs dialogs_;
    // Written by the worker before the job counts as finished; read after.
    RunResult result_;
    bool taken_ = true;
    InterfaceJob worker_;  // last: joined before the rest goes
};

}  // namespace vorn
