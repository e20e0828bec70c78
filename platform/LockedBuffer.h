#pragma once

#include <cstddef>
#include <memory>

namespace vorn::platform {

// A block of page-aligned memory (as O_DIRECT transfers need), committed up front
// and locked in physical memory so timed loops never take a page fault on it.
class LockedBuffer {
public:
    // Answers nothing when the memory cannot be mapped. A failed lock is not fatal:
    // the buffer is then used unlocked and lockError() tells why.
    static std::unique_ptr<LockedBuffer> allocate(size_t size);
    ~LockedBuffer();

    LockedBuffer(const LockedBuffer&) = delete;
    LockedBuffer& operator=(const LockedBuffer&) = delete;

    void* data() const { return data_; }
    size_t size() const { return size_; }
    bool locked() const { return lockError_ == 0; }
    // errno of the failed lock, 0 when locked.
    int lockError() const { return lockError_; }

    // errno of the last failed allocate() on this thread.
    static int lastAllocateError();

private:
    LockedBuffer(void* data, size_t size, int lockError)
        : data_(data), size_(size), lockError_(lockError) {}

    void* data_;
    size_t size_;
    int lockError_;
};

// Raises the soft (and where permitted the hard) locked-memory limit by the given
// number of bytes. Answers false when the limit could not be changed.
bool raiseLockLimit(size_t extraBytes);

}  // namespace vorn::platform
