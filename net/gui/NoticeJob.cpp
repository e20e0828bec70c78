#include "net/gui/NoticeJob.h"

#include <memory>
#include <utility>

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
    // The worker, the last member, is joined first of all.
}

bool NoticeJob::start(const char* place, I_Dialogs& dialogs, Work work,
                      std::function<void()> then) {
    if (running()) {
        return false;
    }
    dialogs_ = std::make_unique<WorkerDialogs>(calls_, dialogs);
    return worker_.start(
        place,
        [this, work = std::move(work)] {
            work(*dialogs_, notice_, cancel_);
            return true;
        },
        std::move(then));
}

}  // namespace vorn
