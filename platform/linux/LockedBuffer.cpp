#include "platform/LockedBuffer.h"

#include <sys/mman.h>
#include <sys/resource.h>

#include <algorithm>
#include <cerrno>
#include <new>

namespace vorn::platform {
namespace {
thread_local int t_allocateError = 0;
}

std::unique_ptr<LockedBuffer> LockedBuffer::allocate(size_t size) {
    // mmap of 0 bytes fails; a zero-sized buffer still gets one page so callers
    // always hold a valid address.
    const size_t mapped = size == 0 ? 1 : size;
    void* data = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (data == MAP_FAILED) {
        t_allocateError = errno;
        return nullptr;
    }
    const int lockError = mlock(data, mapped) == 0 ? 0 : errno;
    auto* buffer = new (std::nothrow) LockedBuffer(data, size, lockError);
    if (buffer == nullptr) {
        // Unlocks too: munmap drops the lock with the mapping.
        munmap(data, mapped);
        t_allocateError = ENOMEM;
    }
    return std::unique_ptr<LockedBuffer>(buffer);
}

LockedBuffer::~LockedBuffer() {
    const size_t mapped = size_ == 0 ? 1 : size_;
    if (lockError_ == 0) {
        munlock(data_, mapped);
    }
    munmap(data_, mapped);
}

int LockedBuffer::lastAllocateError() {
    return t_allocateError;
}

bool raiseLockLimit(size_t extraBytes) {
    rlimit limit{};
    if (getrlimit(RLIMIT_MEMLOCK, &limit) != 0) {
        return false;
    }
    auto add = [extraBytes](rlim_t value) {
        return value == RLIM_INFINITY ? value : value + extraBytes;
    };
    rlimit wanted{add(limit.rlim_cur), add(limit.rlim_max)};
    if (setrlimit(RLIMIT_MEMLOCK, &wanted) == 0) {
        return true;
    }
    // Without the right to raise the hard limit, raise the soft one up to it.
    wanted = {std::min(add(limit.rlim_cur), limit.rlim_max), limit.rlim_max};
    return wanted.rlim_cur > limit.rlim_cur && setrlimit(RLIMIT_MEMLOCK, &wanted) == 0;
}

}  // namespace vorn::platform
