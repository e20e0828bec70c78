#pragma once

#include <QObject>
#include <functional>

#include "base/WorkerJob.h"

namespace vorn {

// A WorkerJob for the windows: the interface thread stays in its own event loop, and
// once the worker has ended it is joined on that thread (this object's) and `then`
// runs there. One job at a time: running until then.
class InterfaceJob : public QObject {
public:
    explicit InterfaceJob(QObject* parent = nullptr) : QObject(parent) {}
    // Joins a job still going; its `then` does not run. The owner first ends whatever
    // the job may be waiting for (a cancel flag, an open question).
    ~InterfaceJob() override;
    InterfaceJob(const InterfaceJob&) = delete;
    InterfaceJob& operator=(const InterfaceJob&) = delete;

    // Starts `job` (see WorkerJob::start). False, starting nothing and never running
    // `then`, while a job runs or when no thread could be started.
    bool start(const char* place, WorkerJob::Job job, std::function<void()> then);
    bool running() const { return worker_.joinable(); }
    // The job's answer; false while it runs and when it escaped with an exception.
    bool succeeded() const { return !running() && worker_.succeeded(); }

private:
    void collect();

    std::function<void()> then_;
    WorkerJob worker_;
};

}  // namespace vorn
