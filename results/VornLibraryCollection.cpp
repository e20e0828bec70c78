#include "results/VornLibraryCollection.h"

#include <cstring>

namespace vorn {

namespace {
constexpr uint64_t kOffsetTable = 12;
}  // namespace

bool VornLibraryCollection::open(const char* path) {
    if (file_ || path == nullptr) {
        return false;
    }
    FileHandle file = openForReading(path);
    unsigned char head[kOffsetTable];
    uint64_t size = 0;
    if (!file || !fileSizeOf(file.get(), &size) || !readAt(file.get(), 0, head, sizeof head) ||
        std::memcmp(head, kLibraryMagic, sizeof kLibraryMagic) != 0) {
        return false;
    }
    const uint32_t count = loadLe32(head + 8);
    // Each member needs at least its offset in the table; a larger count is damage.
    if (count > (size - kOffsetTable) / 4) {
        return false;
    }
    file_ = std::move(file);
    fileSize_ = size;
    memberCount_ = count;
    // The first sound member becomes current, so one damaged member (even the first)
    // does not hide the others; only a library without any sound member fails.
    for (uint32_t index = 0; index < count; ++index) {
        if (selectMember(index)) {
            return true;
        }
    }
    file_.reset();
    memberCount_ = 0;
    return false;
}

// A member that fails its checks leaves no member current, so a caller that ignores
// the failure reads nothing rather than the previous member's entries.
bool VornLibraryCollection::selectMember(uint32_t index) {
    entries_.clear();
    unsigned char offsetBytes[4];
    if (!file_ || index >= memberCount_ ||
        !readAt(file_.get(), kOffsetTable + uint64_t{index} * 4, offsetBytes, 4)) {
        return false;
    }
    const uint64_t offset = loadLe32(offsetBytes);
    uint64_t end = 0;
    if (offset < kOffsetTable + uint64_t{memberCount_} * 4 ||
        !checkResultHeader(file_.get(), offset, fileSize_, &end)) {
        return false;
    }
    entries_.reset(file_.get(), offset + kResultHeaderSize, end);
    return true;
}

bool VornLibraryCollection::findEntry(const char* name, uint32_t* valueCapacity, char* valueBuffer,
                                      uint32_t* dataCapacity, void* dataBuffer) {
    return entries_.find(name, valueCapacity, valueBuffer, dataCapacity, dataBuffer);
}

bool VornLibraryCollection::readCurrentEntry(uint32_t* valueCapacity, char* valueBuffer,
                                             uint32_t* dataCapacity, void* dataBuffer) {
    return entries_.readCurrent(valueCapacity, valueBuffer, dataCapacity, dataBuffer);
}

}  // namespace vorn
