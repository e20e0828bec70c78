#include "results/gui/MachineQueryJob.h"

#include <QMetaObject>
#include <QObject>
#include <exception>

#include "base/DiagLog.h"

namespace vorn {

MachineQueryJob::~MachineQueryJob() {
    if (worker_.joinable()) {
        worker_.join();
    }
}

void MachineQueryJob::start(Query query, Arrival arrived) {
    if (worker_.joinable()) {
        worker_.join();
    }
    query_ = std::move(query);
    arrived_ = std::move(arrived);
    answer_ = MachineDescription{};
    answered_.store(false, std::memory_order_relaxed);
    delivered_ = false;
    worker_ = std::thread([this] { run(); });
}

void MachineQueryJob::run() {
    try {
        answer_ = query_();
    } catch (const std::exception& exception) {
        answer_ = MachineDescription{};
        logException("describeMachine", exception);
    } catch (...) {
        answer_ = MachineDescription{};
        logUnknownException("describeMachine", -1);
    }
    answered_.store(true, std::memory_order_release);
    // Queued: runs on the context's thread once its event loop gets to it; dropped
    // with the context's other posted events if the context goes first.
    QMetaObject::invokeMethod(
        context_, [this] { deliver(); }, Qt::QueuedConnection);
}

void MachineQueryJob::deliver() {
    if (delivered_ || !answered_.load(std::memory_order_acquire)) {
        return;
    }
    if (worker_.joinable()) {
        worker_.join();
    }
    delivered_ = true;
    if (arrived_) {
        arrived_(answer_);
    }
}

void MachineQueryJob::finish() {
    if (worker_.joinable()) {
        worker_.join();
    }
    deliver();
}

}  // namespace vorn
