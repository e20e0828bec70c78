#include "results/VornDiskCollection.h"

#include <unistd.h>

#include <cstring>

#include "base/DiagLog.h"
#include "platform/FileKind.h"
#include "results/VornFileCRC.h"

namespace vorn {

namespace {

bool writeHeader(FILE* file, uint32_t crc, uint32_t length) {
    unsigned char header[kResultHeaderSize];
    std::memcpy(header, kResultMagic, sizeof kResultMagic);
    storeLe32(header + 8, crc);
    storeLe32(header + 12, length);
    return std::fseek(file, 0, SEEK_SET) == 0 &&
           std::fwrite(header, 1, sizeof header, file) == sizeof header && std::fflush(file) == 0;
}

}  // namespace

VornDiskCollection::~VornDiskCollection() {
    if (mode_ == Mode::writing && !completeHeader()) {
        logMessage("** result file header could not be completed");
    }
}

bool VornDiskCollection::finish() {
    if (mode_ != Mode::writing) {
        return false;
    }
    bool ok = completeHeader();
    FILE* file = file_.release();
    ok = std::fflush(file) == 0 && ::fsync(fileno(file)) == 0 && ok;
    ok = std::fclose(file) == 0 && ok;
    mode_ = Mode::closed;
    return ok;
}

// The length goes in first, because the CRC covers it.
bool VornDiskCollection::completeHeader() {
    FILE* file = file_.get();
    uint64_t size = 0;
    if (!fileSizeOf(file, &size) || size < kResultHeaderSize || size > UINT32_MAX) {
        return false;
    }
    const uint32_t length = static_cast<uint32_t>(size);
    if (!writeHeader(file, 0, length) || std::fseek(file, 12, SEEK_SET) != 0) {
        return false;
    }
    VornFileCRC crc;
    const uint32_t sum = crc.crcOfFile(file, length - 12);
    return writeHeader(file, sum, length);
}

bool VornDiskCollection::create(const char* path) {
    if (mode_ != Mode::closed || path == nullptr) {
        return false;
    }
    // A FIFO would block here, and a device or link must not become a result file.
    if (!platform::nonRegularKind(path).empty()) {
        logMessage("** %s is not a regular file; no result file written", path);
        return false;
    }
    FileHandle file(std::fopen(path, "wb+"));
    if (!file) {
        return false;
    }
    if (!writeHeader(file.get(), 0, 0)) {
        return false;
    }
    file_ = std::move(file);
    mode_ = Mode::writing;
    length_ = kResultHeaderSize;
    return true;
}

bool VornDiskCollection::open(const char* path) {
    if (mode_ != Mode::closed || path == nullptr) {
        return false;
    }
    FileHandle file = openForReading(path);
    uint64_t size = 0;
    uint64_t end = 0;
    // Bytes past the length field are outside the CRC and are never read.
    if (!file || !fileSizeOf(file.get(), &size) || !checkResultHeader(file.get(), 0, size, &end)) {
        return false;
    }
    file_ = std::move(file);
    mode_ = Mode::reading;
    entries_.reset(file_.get(), kResultHeaderSize, end);
    return true;
}

bool VornDiskCollection::addEntry(const char* name, const char* value, uint32_t dataLength,
                                  const void* data) {
    if (mode_ != Mode::writing || name == nullptr || (dataLength > 0 && data == nullptr)) {
        return false;
    }
    const size_t nameChars = std::strlen(name);
    if (nameChars == 0 || nameChars > kMaxEntryName) {
        return false;
    }
    const uint64_t nameLength = nameChars + 1;
    const uint64_t valueLength = value != nullptr ? std::strlen(value) + 1 : 0;
    const uint64_t entryLength = 16 + nameLength + valueLength + dataLength;
    // Every length in the file is 32 bits, the file's own length included.
    if (entryLength > UINT32_MAX || length_ + entryLength > UINT32_MAX) {
        return false;
    }
    unsigned char header[16];
    storeLe32(header, static_cast<uint32_t>(entryLength));
    storeLe32(header + 4, static_cast<uint32_t>(nameLength));
    storeLe32(header + 8, static_cast<uint32_t>(valueLength));
    storeLe32(header + 12, dataLength);
    FILE* file = file_.get();
    bool written = std::fseek(file, 0, SEEK_END) == 0 &&
                   std::fwrite(header, 1, sizeof header, file) == sizeof header &&
                   std::fwrite(name, 1, nameLength, file) == nameLength;
    if (written && valueLength > 0) {
        written = std::fwrite(value, 1, valueLength, file) == valueLength;
    }
    if (written && dataLength > 0) {
        written = std::fwrite(data, 1, dataLength, file) == dataLength;
    }
    if (!written) {
        // Cut the half-written entry off, so later entries stay reachable.
        std::fflush(file);
        if (ftruncate(fileno(file), static_cast<off_t>(length_)) != 0) {
            logMessage("** result file could not be cut back after a failed write");
        }
        return false;
    }
    length_ += entryLength;
    return true;
}

bool VornDiskCollection::findEntry(const char* name, uint32_t* valueCapacity, char* valueBuffer,
                                   uint32_t* dataCapacity, void* dataBuffer) {
    return mode_ == Mode::reading &&
           entries_.find(name, valueCapacity, valueBuffer, dataCapacity, dataBuffer);
}

// Outside read mode the cursor holds no entries, so these fail with an empty name.
bool VornDiskCollection::firstEntry(char* name) {
    return entries_.first(name);
}

// Outside read mode the cursor holds no entries, so these fail with an empty name.
bool VornDiskCollection::nextEntry(char* name) {
    return entries_.next(name);
}

bool VornDiskCollection::readCurrentEntry(uint32_t* valueCapacity, char* valueBuffer,
                                          uint32_t* dataCapacity, void* dataBuffer) {
    return mode_ == Mode::reading &&
           entries_.readCurrent(valueCapacity, valueBuffer, dataCapacity, dataBuffer);
}

}  // namespace vorn
