#include "support/MemoryDevice.h"

#include <cstring>

#include "platform/Counter.h"
#include "storage/TransferObserver.h"
#include "support/ManualCounter.h"

namespace vorn::test {

MemoryDevice::MemoryDevice(Options options)
    : options_(std::move(options)), buffer_(options_.bufferSize) {
    if (options_.keepData) {
        medium_.resize(options_.sectors * options_.sectorSize);
    }
}

bool MemoryDevice::read(uint64_t sector, uint32_t count, void* destination) {
    return transfer(kEventRead, sector, count, destination, nullptr);
}

bool MemoryDevice::write(uint64_t sector, uint32_t count, const void* source) {
    if (!writeEnabled_) {
        return false;
    }
    if (count == 0) {
        return options_.sectorSize != 0;
    }
    ++writes_;
    return transfer(kEventWrite, sector, count, nullptr, source);
}

bool MemoryDevice::claimForWrite(std::string& why) {
    if (!options_.claimFailure.empty()) {
        why = options_.claimFailure;
        return false;
    }
    claimed_ = writeEnabled_;
    return claimed_;
}

bool MemoryDevice::transfer(uint8_t kind, uint64_t sector, uint32_t count, void* destination,
                            const void* source) {
    const uint64_t bytes = uint64_t{count} * options_.sectorSize;
    if (options_.sectorSize == 0 || bytes > buffer_.size()) {
        return false;
    }
    const Transfer t{kind, sector, count};
    const uint64_t start = platform::counterNow();
    if (kind == kEventWrite && source != nullptr) {
        std::memcpy(buffer_.data(), source, bytes);
    }
    const bool inside = sector <= options_.sectors && count <= options_.sectors - sector;
    const bool failed = !inside || (failWhen && failWhen(index_, t));
    if (failed) {
        lastError_ = failError;
    }
    if (!failed && options_.keepData) {
        uint8_t* place = medium_.data() + sector * options_.sectorSize;
        if (kind == kEventWrite) {
            std::memcpy(place, buffer_.data(), bytes);
        } else {
            std::memcpy(buffer_.data(), place, bytes);
        }
    }
    const bool ok = finishTransfer(t, start, failed);
    if (ok && kind == kEventRead && destination != nullptr) {
        std::memcpy(destination, buffer_.data(), bytes);
    }
    return ok;
}

// Ends the timed bracket: advances a scripted clock, logs the event, counts.
bool MemoryDevice::finishTransfer(const Transfer& t, uint64_t start, bool failed) {
    if (clock_ != nullptr && ticksFor) {
        clock_->advance(ticksFor(index_, t));
    }
    const uint64_t end = platform::counterNow();
    if (observer_ != nullptr) {
        observer_->addEvent(options_.driveNumber, t.kind, static_cast<uint16_t>(t.count), t.sector,
                            start, end, failed ? 1 : 0);
    }
    if (record_) {
        transfers_.push_back(t);
    }
    const uint64_t index = index_++;
    if (afterTransfer) {
        afterTransfer(index);
    }
    return !failed;
}

bool MemoryDevice::enableWrite(uint32_t confirmation, uint32_t blockSize, uint32_t reserved) {
    if (confirmation == 0 || blockSize != options_.sectorSize || reserved != 0 ||
        !options_.writable) {
        return false;
    }
    writeEnabled_ = true;
    return true;
}

bool MemoryDevice::disableWrite() {
    writeEnabled_ = false;
    return true;
}

bool MemoryDevice::flush() {
    const uint64_t start = platform::counterNow();
    const Transfer t{kEventFlush, 0, 0};
    return finishTransfer(t, start, failWhen && failWhen(index_, t));
}

}  // namespace vorn::test
