#include "support/MemoryDevice.h"

#include <cstring>

#include "platform/Counter.h"
#include "storage/TransferObserver.h"
#include "support/ManualCounter.h"
#include "support/MemoryQueue.h"

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

std::unique_ptr<I_TransferQueue> MemoryDevice::openQueue(uint32_t depth, uint32_t slotBytes,
                                                         std::string& why) {
    if (!options_.canQueue) {
        why = "queued transfers are not supported here";
        return nullptr;
    }
    if (depth == 0 || slotBytes == 0 || uint64_t{depth} * slotBytes > buffer_.size()) {
        why = "the transfer buffer is too small for the queue";
        return nullptr;
    }
    return std::make_unique<MemoryQueue>(*this, depth, slotBytes, options_.queueServers);
}

uint64_t MemoryDevice::serviceTicks(const Transfer& transfer) const {
    return clock_ != nullptr && ticksFor ? ticksFor(index_, transfer) : 0;
}

uint32_t MemoryDevice::moveQueued(const Transfer& t, size_t offset) {
    const uint64_t bytes = uint64_t{t.count} * options_.sectorSize;
    const bool inside = t.sector <= options_.sectors && t.count <= options_.sectors - t.sector;
    const bool failed = !inside || (failWhen && failWhen(index_, t));
    if (!failed && options_.keepData) {
        uint8_t* place = medium_.data() + t.sector * options_.sectorSize;
        uint8_t* slot = buffer_.data() + offset;
        if (t.kind == kEventWrite) {
            std::memcpy(place, slot, bytes);
        } else {
            std::memcpy(slot, place, bytes);
        }
    }
    writes_ += t.kind == kEventWrite ? 1 : 0;
    if (record_) {
        transfers_.push_back(t);
    }
    ++index_;
    lastError_ = failed ? failError : lastError_;
    return failed ? static_cast<uint32_t>(failError) : 0;
}

void MemoryDevice::reportQueued(const Transfer& t, uint64_t start, uint64_t end, uint32_t failed) {
    if (observer_ != nullptr) {
        observer_->addEvent(options_.driveNumber, t.kind, static_cast<uint16_t>(t.count), t.sector,
                            start, end, failed);
    }
    if (afterTransfer) {
        afterTransfer(index_ - 1);
    }
}

}  // namespace vorn::test
