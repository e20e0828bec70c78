#include "results/EntryCursor.h"

#include <cstring>

#include "results/CollectionFile.h"
#include "results/Collections.h"

namespace vorn {

namespace {
constexpr uint32_t kEntryHeaderSize = 16;
// Header, the longest name, and room for a short value.
constexpr uint64_t kEntryWindow = 256;
}  // namespace

void EntryCursor::reset(FILE* file, uint64_t first, uint64_t end) {
    file_ = file;
    first_ = first;
    end_ = end;
    cursor_ = first;
    hasCurrent_ = false;
}

void EntryCursor::clear() {
    reset(nullptr, 0, 0);
}

// One read takes the header, the name and (for short values) the value's last byte,
// so a scan costs one positioned read per entry.
bool EntryCursor::readEntry(uint64_t offset, Entry* entry, char* name) const {
    unsigned char window[kEntryWindow];
    if (file_ == nullptr || offset > end_ || end_ - offset < kEntryHeaderSize) {
        return false;
    }
    const size_t windowSize = end_ - offset < kEntryWindow ? end_ - offset : kEntryWindow;
    if (!readAt(file_, offset, window, windowSize)) {
        return false;
    }
    entry->offset = offset;
    entry->length = loadLe32(window);
    entry->nameLength = loadLe32(window + 4);
    entry->valueLength = loadLe32(window + 8);
    entry->dataLength = loadLe32(window + 12);
    if (entry->nameLength < 2 || entry->nameLength > kEntryNameBuffer) {
        return false;
    }
    const uint64_t parts =
        uint64_t{kEntryHeaderSize} + entry->nameLength + entry->valueLength + entry->dataLength;
    if (parts != entry->length || entry->length > end_ - offset) {
        return false;
    }
    // The entry lies within the member, so its header and name lie within the window.
    std::memcpy(name, window + kEntryHeaderSize, entry->nameLength);
    if (strnlen(name, entry->nameLength) != entry->nameLength - 1) {
        return false;
    }
    if (entry->valueLength > 0) {
        const uint64_t lastAt =
            uint64_t{kEntryHeaderSize} + entry->nameLength + entry->valueLength - 1;
        char last = 1;
        if (lastAt < windowSize) {
            last = static_cast<char>(window[lastAt]);
        } else if (!readAt(file_, offset + lastAt, &last, 1)) {
            return false;
        }
        if (last != 0) {
            return false;
        }
    }
    return true;
}

// Fills at most the capacities given and reports the stored lengths. A value cut
// short by its capacity still ends in a zero byte, so callers always get a text.
bool EntryCursor::readParts(const Entry& entry, uint32_t* valueCapacity, char* valueBuffer,
                            uint32_t* dataCapacity, void* dataBuffer) const {
    const uint32_t valueWanted = valueCapacity != nullptr ? *valueCapacity : 0;
    const uint32_t dataWanted = dataCapacity != nullptr ? *dataCapacity : 0;
    if ((valueWanted > 0 && valueBuffer == nullptr) || (dataWanted > 0 && dataBuffer == nullptr)) {
        return false;
    }
    const uint64_t valueAt = entry.offset + kEntryHeaderSize + entry.nameLength;
    if (valueWanted > 0) {
        const uint32_t count = valueWanted < entry.valueLength ? valueWanted : entry.valueLength;
        if (count > 0 && !readAt(file_, valueAt, valueBuffer, count)) {
            return false;
        }
        valueBuffer[count < valueWanted ? count : count - 1] = '\0';
    }
    if (dataWanted > 0) {
        const uint32_t count = dataWanted < entry.dataLength ? dataWanted : entry.dataLength;
        if (count > 0 && !readAt(file_, valueAt + entry.valueLength, dataBuffer, count)) {
            return false;
        }
    }
    if (valueCapacity != nullptr) {
        *valueCapacity = entry.valueLength;
    }
    if (dataCapacity != nullptr) {
        *dataCapacity = entry.dataLength;
    }
    return true;
}

bool EntryCursor::find(const char* name, uint32_t* valueCapacity, char* valueBuffer,
                       uint32_t* dataCapacity, void* dataBuffer) {
    if (name == nullptr) {
        return false;
    }
    Entry entry;
    char entryName[kEntryNameBuffer];
    for (uint64_t at = first_; readEntry(at, &entry, entryName); at += entry.length) {
        if (std::strcmp(entryName, name) == 0) {
            return readParts(entry, valueCapacity, valueBuffer, dataCapacity, dataBuffer);
        }
    }
    return false;
}

bool EntryCursor::first(char* name) {
    cursor_ = first_;
    return next(name);
}

bool EntryCursor::next(char* name) {
    char entryName[kEntryNameBuffer];
    hasCurrent_ = readEntry(cursor_, &current_, entryName);
    if (name != nullptr) {
        std::memcpy(name, hasCurrent_ ? entryName : "", hasCurrent_ ? current_.nameLength : 1);
    }
    if (!hasCurrent_) {
        // Stay at the end (or at the damage) so that later calls keep failing.
        return false;
    }
    cursor_ += current_.length;
    return true;
}

bool EntryCursor::readCurrent(uint32_t* valueCapacity, char* valueBuffer, uint32_t* dataCapacity,
                              void* dataBuffer) {
    return hasCurrent_ && readParts(current_, valueCapacity, valueBuffer, dataCapacity, dataBuffer);
}

}  // namespace vorn
