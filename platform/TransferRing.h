#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace vorn::platform {

// A finished transfer of a ring: what was given at its preparation, and the bytes it
// moved (or a negative errno).
struct RingCompletion {
    uint64_t tag = 0;
    int32_t result = 0;
};

// Queued transfers on one file descriptor through the kernel's submission ring
// (io_uring), from one buffer registered with the ring once, so a transfer copies and
// maps nothing. Everything that can fail or allocate happens in open(); the calls of a
// timed loop only fill ring entries and enter the kernel. Used by one thread at a time.
class TransferRing {
public:
    // A ring for up to `depth` transfers in flight on `fd`, with `buffer` (bufferBytes
    // long, page-aligned and locked) registered; nullptr with the reason in `why`.
    static std::unique_ptr<TransferRing> open(int fd, void* buffer, size_t bufferBytes,
                                              uint32_t depth, std::string& why);
    virtual ~TransferRing() = default;

    // Fills the next ring entry: `bytes` at file offset `offset`, to or from the
    // buffer at `bufferOffset`. False when the ring is full or the range is outside
    // the buffer.
    virtual bool prepare(bool write, uint64_t offset, uint32_t bytes, size_t bufferOffset,
                         uint64_t tag) = 0;
    // Hands the prepared entries to the kernel; the number taken, or a negative errno.
    virtual int submit() = 0;
    // Waits up to `waitNs` nanoseconds for a completion and stores up to `max`; the
    // number stored (0 when none came in time), or a negative errno (an interrupted wait
    // is retried).
    virtual int wait(RingCompletion* out, int max, uint64_t waitNs) = 0;
};

}  // namespace vorn::platform
