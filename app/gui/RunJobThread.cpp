#include "app/gui/RunJobThread.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <utility>

namespace vorn {
namespace {

// The place of the log line when the run escapes with an exception.
constexpr const char* kPlace = "RunJobThread";
constexpr const char* kProgramError = "Program error (exception) during test.";
constexpr auto kSleepSlice = std::chrono::milliseconds(10);

}  // namespace

// WorkerRunView -----------------------------------------------------------------

bool WorkerRunView::cancelRequested() {
    return stop_.load(std::memory_order_acquire) || view_.cancelRequested();
}

void WorkerRunView::post(std::function<void(I_RunView&)> call) {
    I_RunView* view = &view_;
    InterfaceCalls::post(window_, [view, call = std::move(call)] { call(*view); });
}

void WorkerRunView::setRowState(RunRow row, RowState state) {
    post([row, state](I_RunView& view) { view.setRowState(row, state); });
}

void WorkerRunView::setRowLabel(RunRow row, const std::string& text) {
    post([row, text](I_RunView& view) { view.setRowLabel(row, text); });
}

void WorkerRunView::setRowActive(RunRow row, bool active) {
    post([row, active](I_RunView& view) { view.setRowActive(row, active); });
}

void WorkerRunView::setWriteRow(bool visible, bool enabled) {
    post([visible, enabled](I_RunView& view) { view.setWriteRow(visible, enabled); });
}

void WorkerRunView::setButtonCaption(const std::string& text) {
    post([text](I_RunView& view) { view.setButtonCaption(text); });
}

void WorkerRunView::setProgressVisible(bool visible) {
    post([visible](I_RunView& view) { view.setProgressVisible(visible); });
}

void WorkerRunView::setProgress(uint32_t percent) {
    post([percent](I_RunView& view) { view.setProgress(percent); });
}

void WorkerRunView::showView(bool visible) {
    post([visible](I_RunView& view) { view.showView(visible); });
}

void WorkerRunView::sleepMs(uint32_t milliseconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!cancelRequested()) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= end) {
            return;
        }
        std::this_thread::sleep_for(
            std::min<std::chrono::steady_clock::duration>(end - now, kSleepSlice));
    }
}

// RunJobThread ------------------------------------------------------------------

RunJobThread::RunJobThread(QObject& window, I_RunView& view, I_Dialogs& dialogs, QObject* parent)
    : QObject(parent), calls_(*this), view_(window, view, stop_), dialogs_(calls_, dialogs) {}

RunJobThread::~RunJobThread() {
    stop_.store(true, std::memory_order_release);
    calls_.abandon();
    // The worker, the last member, is joined first of all.
}

bool RunJobThread::start(RunJobRequest request) {
    if (running()) {
        return false;
    }
    result_ = RunResult{};
    taken_ = false;
    return worker_.start(
        kPlace,
        [this, request = std::move(request)] {
            result_ = runTestJob(request, view_, dialogs_);
            return true;
        },
        [this] { emit finished(); });
}

RunResult RunJobThread::takeResult() {
    if (running() || taken_) {
        return {};
    }
    taken_ = true;
    if (!worker_.succeeded()) {
        // The job escaped with an exception, logged on the worker.
        RunResult failed;
        failed.failure = kProgramError;
        return failed;
    }
    return std::move(result_);
}

}  // namespace vorn
