// The timed transfer path of a live drive. Counter readings bracket the system call
// (and, for a write, the copy of the caller's data into the transfer buffer); block
// size lookup and seeking happen before the bracket.

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/DiagLog.h"
#include "platform/Counter.h"
#include "storage/LinuxDrive.h"
#include "storage/TransferObserver.h"

namespace vorn {

bool LinuxDrive::read(uint64_t sector, uint32_t count, void* destination) {
    return transfer(false, sector, count, destination, nullptr);
}

bool LinuxDrive::write(uint64_t sector, uint32_t count, const void* source) {
    if (!isOpen() || writeEnabled == 0) {
        return false;
    }
    return transfer(true, sector, count, nullptr, source);
}

// Checks and seeks; nothing here is timed or logged.
bool LinuxDrive::prepareTransfer(uint64_t sector, uint32_t count) {
    if (!ensureDescriptor()) {
        return false;
    }
    if (cachedBlockSize == 0) {
        cachedBlockSize = mediaBlockSize();
        if (cachedBlockSize == 0) {
            return false;
        }
    }
    if (uint64_t{count} * cachedBlockSize > bufferSize) {
        return false;
    }
    if (sector != nextSector) {
        const auto offset = static_cast<off_t>(sector * cachedBlockSize);
        if (lseek(fd_, offset, SEEK_SET) != offset) {
            return false;
        }
    }
    return true;
}

bool LinuxDrive::transfer(bool isWrite, uint64_t sector, uint32_t count, void* destination,
                          const void* source) {
    if (!prepareTransfer(sector, count)) {
        return false;
    }
    // Asking whether writing is armed moves nothing.
    if (isWrite && count == 0) {
        return true;
    }
    const size_t bytes = size_t{count} * cachedBlockSize;
    void* buffer = ioBuffer->data();
    const uint64_t start = observer_ ? platform::counterNow() : 0;
    ssize_t moved;
    if (isWrite) {
        if (source != nullptr) {
            std::memcpy(buffer, source, bytes);
        }
        moved = ::write(fd_, buffer, bytes);
    } else {
        moved = ::read(fd_, buffer, bytes);
    }
    // A short transfer (past the end of the medium, or a medium pulled mid-way) is a
    // failure, not a success with fewer bytes.
    const bool ok = moved == static_cast<ssize_t>(bytes);
    if (!ok) {
        const int error = moved < 0 ? errno : EIO;
        logMessage("%s %u: error %u sector %llu count %u", isWrite ? "write" : "read",
                   static_cast<uint32_t>(driveNumber), static_cast<uint32_t>(error),
                   static_cast<unsigned long long>(sector), count);
        lastError_ = error;
        // The file position is unknown after a failure: seek next time.
        nextSector = UINT64_MAX;
    } else {
        nextSector = sector + count;
    }
    if (observer_) {
        const uint64_t end = platform::counterNow();
        observer_->addEvent(static_cast<uint8_t>(driveNumber), isWrite ? kEventWrite : kEventRead,
                            static_cast<uint16_t>(count), sector, start, end, ok ? 0 : 1);
    }
    if (ok && !isWrite && destination != nullptr) {
        std::memcpy(destination, buffer, bytes);
    }
    return ok;
}

bool LinuxDrive::enableWrite(uint32_t confirmation, uint32_t blockSize, uint32_t reserved) {
    if (!isOpen() || confirmation == 0 || blockSize != mediaBlockSize() || reserved != 0 ||
        !ioBuffer || !mediaWritable()) {
        return false;
    }
    writeEnabled = 1;
    return true;
}

bool LinuxDrive::disableWrite() {
    writeEnabled = 0;
    return true;
}

// fdatasync makes the kernel send the device's own cache flush.
bool LinuxDrive::flush() {
    if (!ensureDescriptor()) {
        return false;
    }
    const uint64_t start = observer_ ? platform::counterNow() : 0;
    const bool ok = fdatasync(fd_) == 0;
    if (!ok) {
        lastError_ = errno;
        logMessage("flush %d: failed error %u", driveNumber, static_cast<uint32_t>(errno));
    }
    if (observer_) {
        const uint64_t end = platform::counterNow();
        observer_->addEvent(static_cast<uint8_t>(driveNumber), kEventFlush, 0, 0, start, end,
                            ok ? 0 : 1);
    }
    return ok;
}

}  // namespace vorn
