#include "storage/LimitedDevice.h"

#include <algorithm>

namespace vorn {

uint64_t LimitedDevice::mediaSectors() {
    return std::min(device_.mediaSectors(), limit_);
}

bool LimitedDevice::inside(uint64_t sector, uint32_t count) {
    const uint64_t sectors = mediaSectors();
    return sector <= sectors && count <= sectors - sector;
}

bool LimitedDevice::read(uint64_t sector, uint32_t count, void* destination) {
    return inside(sector, count) && device_.read(sector, count, destination);
}

// write(0, 0, nullptr) still asks the device whether writing is armed.
bool LimitedDevice::write(uint64_t sector, uint32_t count, const void* source) {
    return inside(sector, count) && device_.write(sector, count, source);
}

namespace {

class LimitedQueue final : public I_TransferQueue {
public:
    LimitedQueue(std::unique_ptr<I_TransferQueue> queue, uint64_t limit)
        : queue_(std::move(queue)), limit_(limit) {}
    bool push(bool write, uint64_t sector, uint32_t count, uint32_t slot) override {
        return sector <= limit_ && count <= limit_ - sector &&
               queue_->push(write, sector, count, slot);
    }
    bool submit() override { return queue_->submit(); }
    int reap(QueuedCompletion* out, int max, uint64_t waitNs) override {
        return queue_->reap(out, max, waitNs);
    }
    uint32_t inFlight() const override { return queue_->inFlight(); }

private:
    std::unique_ptr<I_TransferQueue> queue_;
    uint64_t limit_;
};

}  // namespace

std::unique_ptr<I_TransferQueue> LimitedDevice::openQueue(uint32_t depth, uint32_t slotBytes,
                                                          std::string& why) {
    auto queue = device_.openQueue(depth, slotBytes, why);
    if (!queue) {
        return nullptr;
    }
    return std::make_unique<LimitedQueue>(std::move(queue), mediaSectors());
}

}  // namespace vorn
