#pragma once

#include <QObject>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "app/RunTestClick.h"
#include "app/RunView.h"
#include "base/Dialogs.h"

namespace vorn {

// Runs calls on the interface thread (the thread of `context`) for a worker and waits
// until each is done. Once abandoned, a waiting worker goes on at once.
class InterfaceCalls {
public:
    explicit InterfaceCalls(QObject& context) : context_(context) {}
    // Runs `call` there and waits; false when it was abandoned instead. Called on the
    // interface thread itself it just runs.
    bool wait(const std::function<void()>& call);
    // Queues `call` there without waiting (it is dropped when `receiver` goes first).
    static void post(QObject& receiver, std::function<void()> call);
    void abandon();

private:
    QObject& context_;
    std::mutex mutex_;
    std::condition_variable answered_;
    bool abandoned_ = false;
};

// The interface thread's boxes, asked from a worker. An abandoned question answers No.
class WorkerDialogs final : public I_Dialogs {
public:
    WorkerDialogs(InterfaceCalls& calls, I_Dialogs& dialogs) : calls_(calls), dialogs_(dialogs) {}
    void error(const std::string& text) override;
    void warning(const std::string& text) override;
    void information(const std::string& text) override;
    bool question(const std::string& text) override;
    void plain(const std::string& caption, const std::string& text) override;
    std::string saveFileName(const std::string& proposed) override;

private:
    InterfaceCalls& calls_;
    I_Dialogs& dialogs_;
};

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

    // False while a run is going.
    bool start(RunTestRequest request);
    bool running() const { return worker_.joinable(); }
    // The result of the run that finished; valid once after finished().
    RunResult takeResult();

signals:
    void finished();

private:
    void work(const RunTestRequest& request);
    void collect();

    InterfaceCalls calls_;
    std::atomic<bool> stop_{false};
    WorkerRunView view_;
    WorkerDialogs dialogs_;
    std::thread worker_;
    // Written by the worker before it sets done_ (release); read after done_ (acquire).
    RunResult result_;
    std::atomic<bool> done_{false};
};

}  // namespace vorn
