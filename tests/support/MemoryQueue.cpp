#include "support/MemoryQueue.h"

#include <algorithm>

#include "platform/Counter.h"
#include "support/ManualCounter.h"
#include "support/MemoryDevice.h"

namespace vorn::test {

MemoryQueue::MemoryQueue(MemoryDevice& device, uint32_t depth, uint32_t slotBytes, uint32_t servers)
    : device_(device), depth_(depth), slotBytes_(slotBytes), serverFree_(servers, 0) {}

bool MemoryQueue::push(bool write, uint64_t sector, uint32_t count, uint32_t slot) {
    const uint64_t bytes = uint64_t{count} * device_.mediaBlockSize();
    if (slot >= depth_ || bytes == 0 || bytes > slotBytes_ ||
        flying_.size() + pending_.size() >= depth_ || (write && !device_.writeArmed())) {
        return false;
    }
    pending_.push_back(Request{write, sector, count, slot});
    return true;
}

bool MemoryQueue::submit() {
    const uint64_t now = platform::counterNow();
    for (Request& request : pending_) {
        request.start = now;
        const Transfer transfer{static_cast<uint8_t>(request.write ? 1 : 0), request.sector,
                                request.count};
        const uint64_t service = device_.serviceTicks(transfer);
        auto server = std::min_element(serverFree_.begin(), serverFree_.end());
        request.finish = std::max(now, *server) + service;
        *server = request.finish;
        request.failed = device_.moveQueued(transfer, size_t{request.slot} * slotBytes_);
        flying_.push_back(request);
    }
    pending_.clear();
    deepest_ = std::max(deepest_, static_cast<uint32_t>(flying_.size()));
    return true;
}

int MemoryQueue::reap(QueuedCompletion* out, int max, uint64_t waitNs) {
    if (flying_.empty() || max <= 0) {
        return 0;
    }
    ManualCounter* clock = device_.clock();
    std::stable_sort(flying_.begin(), flying_.end(),
                     [](const Request& a, const Request& b) { return a.finish < b.finish; });
    if (clock != nullptr) {
        const uint64_t now = clock->now();
        const uint64_t wait = waitNs * clock->frequency() / 1000000000u;
        if (flying_.front().finish > now + wait) {
            clock->set(now + wait);
            return 0;
        }
        clock->set(std::max(now, flying_.front().finish));
    }
    const uint64_t end = platform::counterNow();
    int stored = 0;
    while (stored < max && !flying_.empty() &&
           (clock == nullptr || flying_.front().finish <= end)) {
        const Request& done = flying_.front();
        out[stored++] = QueuedCompletion{done.slot, done.failed, done.start, end};
        device_.reportQueued(
            Transfer{static_cast<uint8_t>(done.write ? 1 : 0), done.sector, done.count}, done.start,
            end, done.failed);
        flying_.erase(flying_.begin());
    }
    return stored;
}

}  // namespace vorn::test
