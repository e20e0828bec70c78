#pragma once

#include <atomic>
#include <functional>
#include <thread>

namespace vorn {

// One job on a thread of its own: the test run and the windows' downloads and uploads.
// Whatever escapes the job is logged under the place named at the start and counts as
// a failure. The job's answer, and whatever the job wrote before it returned, is stored
// before the finished flag (release) and read after it (acquire), so whoever sees the
// job finished sees its final answer. A thread that cannot start is a job finished and
// failed at once, so nobody waits for it. The destructor joins a thread still running,
// so the thread never outlives what it works on; an owner whose job reads its own
// members keeps its WorkerJob as its last member, so the join comes first.
class WorkerJob {
public:
    using Job = std::function<bool()>;

    WorkerJob() = default;
    virtual ~WorkerJob() { join(); }
    WorkerJob(const WorkerJob&) = delete;
    WorkerJob& operator=(const WorkerJob&) = delete;

    // Runs `job` on a new thread; `place` (a literal) names it in log lines. `ended`,
    // when given, runs on the worker once the job is finished and is its last act
    // there: the place to tell another thread. False when no thread could be started
    // (logged under `place`; `ended` does not run) and, changing nothing, while an
    // earlier job still runs.
    bool start(const char* place, Job job, std::function<void()> ended = {});

    // True while a job started and has not finished.
    bool busy() const { return thread_.joinable() && !isDone(); }
    bool isDone() const { return finished_.load(std::memory_order_acquire); }
    bool succeeded() const { return isDone() && success_.load(std::memory_order_relaxed); }
    // True from a start until the thread was joined, also once the job finished.
    bool joinable() const { return thread_.joinable(); }

    // Waits for the thread, if one was started.
    void join();

protected:
    // Starts the thread; a test replaces it to see a start fail.
    virtual std::thread launch(std::function<void()> body) { return std::thread(std::move(body)); }

private:
    void run(const char* place, const Job& job);

    std::atomic<bool> finished_{true};
    std::atomic<bool> success_{false};
    std::thread thread_;
};

}  // namespace vorn
