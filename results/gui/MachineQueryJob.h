#pragma once

#include <atomic>
#include <functional>
#include <thread>

#include "results/HardwareQuery.h"

class QObject;

namespace vorn {

// The machine's description queried on a thread of its own, so the window that asks
// stays responsive; the answer is handed to the window's thread through its event loop.
class MachineQueryJob {
public:
    using Query = std::function<MachineDescription()>;
    using Arrival = std::function<void(const MachineDescription&)>;

    // `context` is the object whose thread receives the answers; it must outlive the job.
    explicit MachineQueryJob(QObject* context) : context_(context) {}
    ~MachineQueryJob();  // waits for a running query
    MachineQueryJob(const MachineQueryJob&) = delete;
    MachineQueryJob& operator=(const MachineQueryJob&) = delete;

    // Starts `query` (after waiting out one still running, whose answer is dropped);
    // `arrived` is called once on the context's thread with its answer. A query that
    // throws answers an empty description.
    void start(Query query, Arrival arrived);
    // Waits for the query and hands its answer over now unless it was already.
    void finish();
    // Whether the answer has been handed over.
    bool delivered() const { return delivered_; }

private:
    void run();
    void deliver();

    QObject* context_;
    std::thread worker_;
    Query query_;
    Arrival arrived_;
    MachineDescription answer_;
    std::atomic<bool> answered_ = false;  // answer_ is stored before this is set
    bool delivered_ = true;
};

}  // namespace vorn
