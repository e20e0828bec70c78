// Queued transfers of a live drive: io_uring on the drive's own descriptor (the one
// udisks2 handed over for a normal user), through the drive's locked transfer buffer.
// Each completion is told to the drive's observer with the counter readings taken at
// its submission and at the wait that returned it.

#include <cerrno>
#include <vector>

#include "base/DiagLog.h"
#include "platform/Counter.h"
#include "platform/TransferRing.h"
#include "storage/LinuxDrive.h"
#include "storage/TransferObserver.h"

namespace vorn {
namespace {

struct SlotState {
    uint64_t sector = 0;
    uint64_t startTicks = 0;
    uint32_t count = 0;
    bool write = false;
};

class DriveQueue final : public I_TransferQueue {
public:
    struct Setup {
        I_TransferObserver* observer;
        uint8_t driveNumber;
        uint32_t sectorSize;
        uint32_t slotBytes;
        uint32_t depth;
        bool writable;
        int* lastError;
    };

    DriveQueue(std::unique_ptr<platform::TransferRing> ring, const Setup& setup)
        : ring_(std::move(ring)),
          setup_(setup),
          slots_(setup.depth),
          pending_(setup.depth),
          completions_(setup.depth) {}

    bool push(bool write, uint64_t sector, uint32_t count, uint32_t slot) override {
        const uint64_t bytes = uint64_t{count} * setup_.sectorSize;
        if (slot >= setup_.depth || bytes == 0 || bytes > setup_.slotBytes ||
            (write && !setup_.writable) || inFlight_ + pendingCount_ >= setup_.depth) {
            return false;
        }
        if (!ring_->prepare(write, sector * setup_.sectorSize, static_cast<uint32_t>(bytes),
                            size_t{slot} * setup_.slotBytes, slot)) {
            return false;
        }
        slots_[slot] = SlotState{sector, 0, count, write};
        pending_[pendingCount_++] = slot;
        return true;
    }

    bool submit() override {
        const uint64_t now = platform::counterNow();
        for (uint32_t i = 0; i < pendingCount_; ++i) {
            slots_[pending_[i]].startTicks = now;
        }
        const int taken = ring_->submit();
        if (taken < 0 || static_cast<uint32_t>(taken) != pendingCount_) {
            *setup_.lastError = taken < 0 ? -taken : EIO;
            // What the kernel took is in flight; the rest never will be.
            inFlight_ += taken > 0 ? static_cast<uint32_t>(taken) : 0;
            pendingCount_ = 0;
            return false;
        }
        inFlight_ += pendingCount_;
        pendingCount_ = 0;
        return true;
    }

    int reap(QueuedCompletion* out, int max, uint64_t waitNs) override {
        if (inFlight_ == 0 || max <= 0) {
            return 0;
        }
        const int limit =
            max < static_cast<int>(setup_.depth) ? max : static_cast<int>(setup_.depth);
        const int got = ring_->wait(completions_.data(), limit, waitNs);
        const uint64_t end = platform::counterNow();
        if (got < 0) {
            *setup_.lastError = -got;
            return -1;
        }
        for (int i = 0; i < got; ++i) {
            out[i] = finish(completions_[i], end);
        }
        inFlight_ -= static_cast<uint32_t>(got);
        return got;
    }

    uint32_t inFlight() const override { return inFlight_; }

private:
    QueuedCompletion finish(const platform::RingCompletion& done, uint64_t end) {
        const auto slot = static_cast<uint32_t>(done.tag);
        const SlotState& state = slots_[slot];
        const int64_t expected = int64_t{state.count} * setup_.sectorSize;
        // A short transfer (a medium pulled mid-way, the end of the medium) failed.
        const uint32_t failed = done.result == expected
                                    ? 0
                                    : static_cast<uint32_t>(done.result < 0 ? -done.result : EIO);
        if (failed != 0) {
            *setup_.lastError = static_cast<int>(failed);
        }
        if (setup_.observer != nullptr) {
            setup_.observer->addEvent(setup_.driveNumber, state.write ? kEventWrite : kEventRead,
                                      static_cast<uint16_t>(state.count), state.sector,
                                      state.startTicks, end, failed);
        }
        return QueuedCompletion{slot, failed, state.startTicks, end};
    }

    std::unique_ptr<platform::TransferRing> ring_;
    Setup setup_;
    std::vector<SlotState> slots_;
    std::vector<uint32_t> pending_;
    std::vector<platform::RingCompletion> completions_;
    uint32_t pendingCount_ = 0;
    uint32_t inFlight_ = 0;
};

}  // namespace

std::unique_ptr<I_TransferQueue> LinuxDrive::openQueue(uint32_t depth, uint32_t slotBytes,
                                                       std::string& why) {
    if (!ensureDescriptor()) {
        why = accessError_.empty() ? "the drive is not open" : accessError_;
        return nullptr;
    }
    const uint32_t sectorSize = mediaBlockSize();
    if (depth == 0 || sectorSize == 0 || slotBytes == 0 || slotBytes % sectorSize != 0) {
        why = "the transfer size does not suit the medium's sectors";
        return nullptr;
    }
    if (!ioBuffer || uint64_t{depth} * slotBytes > bufferSize) {
        why = "the transfer buffer is too small for the queue";
        return nullptr;
    }
    auto ring = platform::TransferRing::open(fd_, ioBuffer->data(), bufferSize, depth, why);
    if (!ring) {
        logMessage("** queue on drive %d: %s", driveNumber, why.c_str());
        return nullptr;
    }
    const DriveQueue::Setup setup{observer_,  static_cast<uint8_t>(driveNumber),
                                  sectorSize, slotBytes,
                                  depth,      writeEnabled != 0,
                                  &lastError_};
    return std::make_unique<DriveQueue>(std::move(ring), setup);
}

}  // namespace vorn
