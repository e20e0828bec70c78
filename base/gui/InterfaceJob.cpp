#include "base/gui/InterfaceJob.h"

#include <utility>

#include "base/gui/WorkerCalls.h"

namespace vorn {

InterfaceJob::~InterfaceJob() {
    // Before QObject's destructor, which drops the collect still queued.
    worker_.join();
}

bool InterfaceJob::start(const char* place, WorkerJob::Job job, std::function<void()> then) {
    if (running()) {
        return false;
    }
    then_ = std::move(then);
    if (worker_.start(place, std::move(job),
                      [this] { InterfaceCalls::post(*this, [this] { collect(); }); })) {
        return true;
    }
    then_ = nullptr;
    return false;
}

void InterfaceJob::collect() {
    if (!worker_.isDone() || !running()) {
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
