#include "support/CounterfeitDevice.h"

#include <cerrno>
#include <cstring>

namespace vorn::test {

CounterfeitDevice::CounterfeitDevice(const Options& options) : options_(options) {
    store_.claimed = options.claimedBytes;
    store_.beyond = options.beyond;
    store_.setCacheBytes(options.cacheBytes, options.cacheBeyondOnly);
    storage_.assign(options.realBytes, 0);
    store_.memory = storage_.data();
}

CounterfeitDevice::~CounterfeitDevice() = default;

// Counts the request and answers whether the medium still takes it.
bool CounterfeitDevice::request(bool write, uint64_t sector, uint32_t count) {
    const uint64_t index = requests_++;
    if (index >= options_.vanishAfter) {
        ++deadRequests_;
        lastError_ = ENODEV;
        return false;
    }
    if ((write && index >= options_.failWritesAfter) ||
        (!write && reads_++ >= options_.failReadsAfter) || sector + count < sector ||
        sector + count > mediaSectors()) {
        lastError_ = EIO;
        return false;
    }
    return true;
}

bool CounterfeitDevice::read(uint64_t sector, uint32_t count, void* destination) {
    if (!request(false, sector, count)) {
        return false;
    }
    const size_t bytes = size_t{count} * 512;
    buffer_.resize(bytes);
    const int moved = store_.read(-1, options_.realBytes, buffer_.data(), bytes, sector * 512);
    if (moved != static_cast<int>(bytes)) {
        lastError_ = moved < 0 ? -moved : EIO;
        return false;
    }
    std::memcpy(destination, buffer_.data(), bytes);
    return true;
}

bool CounterfeitDevice::write(uint64_t sector, uint32_t count, const void* source) {
    if (count == 0) {
        return armed_;
    }
    if (!armed_ || !request(true, sector, count)) {
        return false;
    }
    const size_t bytes = size_t{count} * 512;
    const int moved =
        store_.write(-1, options_.realBytes, static_cast<const char*>(source), bytes, sector * 512);
    if (moved != static_cast<int>(bytes)) {
        lastError_ = moved < 0 ? -moved : EIO;
        return false;
    }
    return true;
}

bool CounterfeitDevice::flush() {
    if (requests_ >= options_.vanishAfter) {
        lastError_ = ENODEV;
        return false;
    }
    return true;
}

}  // namespace vorn::test
