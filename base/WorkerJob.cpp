#include "base/WorkerJob.h"

#include <exception>
#include <utility>

#include "base/DiagLog.h"

namespace vorn {

bool WorkerJob::start(const char* place, Job job, std::function<void()> ended) {
    if (busy()) {
        return false;
    }
    join();
    success_.store(false, std::memory_order_relaxed);
    finished_.store(false, std::memory_order_release);
    try {
        thread_ = launch([this, place, job = std::move(job), ended = std::move(ended)] {
            run(place, job);
            // After the flag, so whoever is told finds the job finished.
            if (ended) {
                ended();
            }
        });
        return true;
    } catch (const std::exception& exception) {
        logException(place, exception);
    } catch (...) {
        logUnknownException(place, -1);
    }
    finished_.store(true, std::memory_order_release);
    return false;
}

void WorkerJob::join() {
    if (thread_.joinable()) {
        thread_.join();
    }
}

void WorkerJob::run(const char* place, const Job& job) {
    bool ok = false;
    try {
        ok = job();
    } catch (const std::exception& exception) {
        logException(place, exception);
    } catch (...) {
        logUnknownException(place, -1);
    }
    success_.store(ok, std::memory_order_relaxed);
    // The last touch of this object by the thread.
    finished_.store(true, std::memory_order_release);
}

}  // namespace vorn
