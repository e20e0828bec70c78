#include "net/gui/NoticeJob.h"

#include <exception>
#include <system_error>
#include <utility>

#include "base/DiagLog.h"

namespace vorn {

// WorkerNotice ------------------------------------------------------------------

void WorkerNotice::post(std::function<void(I_NoticeView&)> call) {
    I_NoticeView* notice = &notice_;
    InterfaceCalls::post(window_, [notice, call = std::move(call)] { call(*notice); });
}

void WorkerNotice::setNoticeText(const std::string& text) {
    post([text](I_NoticeView& notice) { notice.setNoticeText(text); });
}

void WorkerNotice::showNotice() {
    post([](I_NoticeView& notice) { notice.showNotice(); });
}

void WorkerNotice::hideNotice() {
    post([](I_NoticeView& notice) { notice.hideNotice(); });
}

void WorkerNotice::setProgress(uint64_t received, uint64_t expected) {
    post([received, expected](I_NoticeView& notice) { notice.setProgress(received, expected); });
}

// NoticeJob ---------------------------------------------------------------------

NoticeJob::NoticeJob(QObject& window, I_NoticeView& notice)
    : calls_(*this), notice_(window, notice) {}

NoticeJob::~NoticeJob() {
    cancel_.store(1, std::memory_order_release);
    calls_.abandon();
    if (worker_.joinable()) {
        worker_.join();
    }
}

bool NoticeJob::start(const char* place, I_Dialogs& dialogs, Work work,
                      std::function<void()> then) {
    if (running()) {
        return false;
    }
    place_ = place;
    dialogs_ = std::make_unique<WorkerDialogs>(calls_, dialogs);
    then_ = std::move(then);
    done_.store(false, std::memory_order_relaxed);
    try {
        worker_ = std::thread([this, work = std::move(work)] { run(work); });
        return true;
    } catch (const std::system_error& error) {
        logException(place_, error);
    }
    then_ = nullptr;
    return false;
}

void NoticeJob::run(const Work& work) {
    try {
        work(*dialogs_, notice_, cancel_);
    } catch (const std::exception& exception) {
        logException(place_, exception);
    } catch (...) {
        logUnknownException(place_, -1);
    }
    done_.store(true, std::memory_order_release);
    InterfaceCalls::post(*this, [this] { collect(); });
}

void NoticeJob::collect() {
    if (!done_.load(std::memory_order_acquire) || !worker_.joinable()) {
        return;
    }
    worker_.join();
    // Taken first: `then` may start the next job.
    std::function<void()> then = std::move(then_);
    then_ = nullptr;
    if (then) {
        then();
    }
}

}  // namespace vorn
