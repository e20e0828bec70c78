#pragma once

#include <QObject>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "base/Dialogs.h"
#include "base/gui/InterfaceJob.h"
#include "base/gui/WorkerCalls.h"
#include "net/NoticeView.h"

namespace vorn {

// The notice window seen from a worker: every call is queued to the window's thread,
// in order, and dropped once the window is gone.
class WorkerNotice final : public I_NoticeView {
public:
    WorkerNotice(QObject& window, I_NoticeView& notice) : window_(window), notice_(notice) {}
    void setNoticeText(const std::string& text) override;
    void showNotice() override;
    void hideNotice() override;
    void setProgress(uint64_t received, uint64_t expected) override;

private:
    void post(std::function<void(I_NoticeView&)> call);

    QObject& window_;
    I_NoticeView& notice_;
};

// A download or an upload on a worker thread for the windows. The interface thread
// stays in its event loop: the notice is shown through WorkerNotice, the boxes are
// asked through WorkerDialogs and answered there. Once the worker has ended it is
// joined on the interface thread, and then `then` runs there. One job at a time.
class NoticeJob : public QObject {
public:
    // The work gets the boxes and the notice to use and a cancel flag (non-zero once
    // the job is being torn down) for its transfers.
    using Work = std::function<void(I_Dialogs&, I_NoticeView&, const std::atomic<int>& cancel)>;

    // `window` is the QObject of `notice`; both outlive this.
    NoticeJob(QObject& window, I_NoticeView& notice);
    // A job still going is cancelled, its open box abandoned (a question answers No),
    // and joined; its `then` does not run.
    ~NoticeJob() override;
    NoticeJob(const NoticeJob&) = delete;
    NoticeJob& operator=(const NoticeJob&) = delete;

    // Starts `work` with the boxes of `dialogs` (which must outlive the job); `place`
    // (a literal) names it in log lines. False, starting nothing, while a job runs or
    // when no thread could be started.
    bool start(const char* place, I_Dialogs& dialogs, Work work, std::function<void()> then);
    bool running() const { return worker_.running(); }

private:
    InterfaceCalls calls_;
    WorkerNotice notice_;
    std::unique_ptr<WorkerDialogs> dialogs_;
    std::atomic<int> cancel_{0};
    InterfaceJob worker_;  // last: joined before the rest goes
};

}  // namespace vorn
