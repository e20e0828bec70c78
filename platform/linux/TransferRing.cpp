// Queued transfers through io_uring (liburing). The buffer is registered with the
// ring so the kernel pins it once instead of per transfer; where registering is
// refused (an old kernel, a locked-memory limit) plain reads and writes of the same
// buffer are queued instead, which is slower per transfer but measures the same thing.

#include "platform/TransferRing.h"

#include <liburing.h>
#include <sys/uio.h>

#include <cerrno>
#include <cstring>

namespace vorn::platform {
namespace {

class UringRing final : public TransferRing {
public:
    ~UringRing() override {
        if (ready_) {
            io_uring_queue_exit(&ring_);
        }
    }

    bool init(int fd, void* buffer, size_t bufferBytes, uint32_t depth, std::string& why) {
        fd_ = fd;
        buffer_ = static_cast<char*>(buffer);
        bufferBytes_ = bufferBytes;
        const int error = io_uring_queue_init(depth, &ring_, 0);
        if (error < 0) {
            why = std::string("the kernel refused a transfer ring: ") + std::strerror(-error);
            return false;
        }
        ready_ = true;
        iovec whole{buffer, bufferBytes};
        registered_ = io_uring_register_buffers(&ring_, &whole, 1) == 0;
        return true;
    }

    bool prepare(bool write, uint64_t offset, uint32_t bytes, size_t bufferOffset,
                 uint64_t tag) override {
        if (bufferOffset > bufferBytes_ || bytes > bufferBytes_ - bufferOffset) {
            return false;
        }
        io_uring_sqe* entry = io_uring_get_sqe(&ring_);
        if (entry == nullptr) {
            return false;
        }
        char* data = buffer_ + bufferOffset;
        if (registered_ && write) {
            io_uring_prep_write_fixed(entry, fd_, data, bytes, offset, 0);
        } else if (registered_) {
            io_uring_prep_read_fixed(entry, fd_, data, bytes, offset, 0);
        } else if (write) {
            io_uring_prep_write(entry, fd_, data, bytes, offset);
        } else {
            io_uring_prep_read(entry, fd_, data, bytes, offset);
        }
        io_uring_sqe_set_data64(entry, tag);
        return true;
    }

    int submit() override { return io_uring_submit(&ring_); }

    int wait(RingCompletion* out, int max, uint64_t waitNs) override {
        io_uring_cqe* first = nullptr;
        __kernel_timespec timeout{static_cast<int64_t>(waitNs / 1000000000u),
                                  static_cast<long long>(waitNs % 1000000000u)};
        int error;
        do {
            error = io_uring_wait_cqe_timeout(&ring_, &first, &timeout);
        } while (error == -EINTR);
        if (error == -ETIME) {
            return 0;
        }
        if (error < 0) {
            return error;
        }
        int stored = 0;
        unsigned head;
        io_uring_cqe* entry;
        io_uring_for_each_cqe(&ring_, head, entry) {
            if (stored == max) {
                break;
            }
            out[stored++] = RingCompletion{io_uring_cqe_get_data64(entry), entry->res};
        }
        io_uring_cq_advance(&ring_, static_cast<unsigned>(stored));
        return stored;
    }

private:
    io_uring ring_{};
    bool ready_ = false;
    bool registered_ = false;
    int fd_ = -1;
    char* buffer_ = nullptr;
    size_t bufferBytes_ = 0;
};

}  // namespace

std::unique_ptr<TransferRing> TransferRing::open(int fd, void* buffer, size_t bufferBytes,
                                                 uint32_t depth, std::string& why) {
    auto ring = std::make_unique<UringRing>();
    if (!ring->init(fd, buffer, bufferBytes, depth, why)) {
        return nullptr;
    }
    return ring;
}

}  // namespace vorn::platform
