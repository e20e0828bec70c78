#pragma once

#include <cstdint>
#include <vector>

#include "storage/TransferQueue.h"

namespace vorn::test {

class MemoryDevice;

// The memory device's transfer queue. Each transfer is served by one of `servers`
// servers, taking ticksFor(index, transfer) of the device's scripted clock; with the
// clock, reap() moves time on to the next completion, so rates at any queue depth are
// exact (min(depth, servers) / service time). Without a clock every transfer finishes
// at once, on the real counter.
class MemoryQueue final : public I_TransferQueue {
public:
    MemoryQueue(MemoryDevice& device, uint32_t depth, uint32_t slotBytes, uint32_t servers);

    bool push(bool write, uint64_t sector, uint32_t count, uint32_t slot) override;
    bool submit() override;
    int reap(QueuedCompletion* out, int max, uint64_t waitNs) override;
    uint32_t inFlight() const override { return static_cast<uint32_t>(flying_.size()); }

    // The most transfers that were ever in flight at once.
    uint32_t deepest() const { return deepest_; }

private:
    struct Request {
        bool write;
        uint64_t sector;
        uint32_t count;
        uint32_t slot;
        uint64_t start = 0;
        uint64_t finish = 0;
        uint32_t failed = 0;
    };

    MemoryDevice& device_;
    uint32_t depth_;
    uint32_t slotBytes_;
    std::vector<uint64_t> serverFree_;
    std::vector<Request> pending_;
    std::vector<Request> flying_;
    uint32_t deepest_ = 0;
};

}  // namespace vorn::test
