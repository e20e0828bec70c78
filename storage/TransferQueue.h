#pragma once

#include <cstdint>

namespace vorn {

// One finished queued transfer: the buffer slot it used, whether it moved every byte,
// and the counter readings at its submission and at its completion.
struct QueuedCompletion {
    uint32_t slot = 0;
    uint32_t failed = 0;  // the errno (EIO for a short transfer); 0 when it succeeded
    uint64_t startTicks = 0;
    uint64_t endTicks = 0;
};

// Transfers kept in flight at once on a device (io_uring on a live drive). Slot i of
// the queue is bytes [i * slotBytes, (i + 1) * slotBytes) of the device's transfer
// buffer, so nothing is copied or allocated per transfer. Every completion is told to
// the device's transfer observer, like a single transfer. Used by one thread at a time.
class I_TransferQueue {
public:
    virtual ~I_TransferQueue() = default;
    // Queues a transfer of `count` sectors at `sector` through `slot`; it reaches the
    // device at the next submit(). False when the queue is full or the slot is out of
    // range.
    [[nodiscard]] virtual bool push(bool write, uint64_t sector, uint32_t count, uint32_t slot) = 0;
    // Hands every queued transfer to the device; their start times are taken here.
    [[nodiscard]] virtual bool submit() = 0;
    // Waits up to `waitNs` nanoseconds for a completion and stores up to `max` of them;
    // the number stored (0 when none came in time), or -1 when waiting failed.
    virtual int reap(QueuedCompletion* out, int max, uint64_t waitNs) = 0;
    // Transfers submitted and not yet reaped.
    virtual uint32_t inFlight() const = 0;
};

}  // namespace vorn
