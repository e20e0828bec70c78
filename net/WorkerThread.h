#pragma once

#include <atomic>
#include <exception>
#include <functional>
#include <thread>
#include <utility>

#include "base/DiagLog.h"

namespace vorn {

// One job on a thread of its own while the interface thread polls: the pattern of the
// download and the mail upload. The job's answer is stored before the finished flag
// (release) and read after it (acquire), so whoever sees the job finished sees its
// final answer. A job that escapes with an exception is logged under the worker's
// name and counts as failed. The destructor joins a thread still running, so the
// thread never outlives what it works on; an owner whose job reads its own members
// keeps its WorkerThread as its last member, so the join comes first.
class WorkerThread {
public:
    // `place` names the worker in log lines; it must outlive the object.
    explicit WorkerThread(const char* place) : place_(place) {}
    virtual ~WorkerThread() { join(); }
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // Runs `job` on a new thread. False when no thread could be started: the job then
    // counts as finished and failed, so nobody waits for a thread that never runs.
    // Also false, changing nothing, while an earlier job still runs.
    bool start(std::function<bool()> job) {
        if (thread_.joinable() && !isDone()) {
            return false;
        }
        join();
        success_.store(false, std::memory_order_relaxed);
        finished_.store(false, std::memory_order_release);
        try {
            thread_ = launch([this, job = std::move(job)] { run(job); });
            return true;
        } catch (const std::exception& exception) {
            logException(place_, exception);
        } catch (...) {
            logUnknownException(place_, -1);
        }
        finished_.store(true, std::memory_order_release);
        return false;
    }

    bool isDone() const { return finished_.load(std::memory_order_acquire); }
    bool succeeded() const { return isDone() && success_.load(std::memory_order_relaxed); }

    // Waits for the thread, if one was started.
    void join() {
        if (thread_.joinable()) {
            thread_.join();
        }
    }

protected:
    // Starts the thread; a test replaces it to see a start fail.
    virtual std::thread launch(std::function<void()> body) { return std::thread(std::move(body)); }

private:
    void run(const std::function<bool()>& job) {
        bool ok = false;
        try {
            ok = job();
        } catch (const std::exception& exception) {
            logException(place_, exception);
        } catch (...) {
            logUnknownException(place_, -1);
        }
        success_.store(ok, std::memory_order_relaxed);
        // The last touch of this object by the thread.
        finished_.store(true, std::memory_order_release);
    }

    const char* place_;
    std::atomic<bool> finished_{true};
    std::atomic<bool> success_{false};
    std::thread thread_;
};

}  // namespace vorn
