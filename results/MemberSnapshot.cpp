#include "results/MemberSnapshot.h"

#include <algorithm>
#include <cstring>

namespace vorn {

bool MemberSnapshot::take(I_VornCollection& source) {
    entries_.clear();
    next_ = 0;
    current_ = 0;
    uint64_t total = 0;
    char name[kEntryNameBuffer] = {};
    for (bool more = source.firstEntry(name); more; more = source.nextEntry(name)) {
        uint32_t valueLength = 0;
        uint32_t dataLength = 0;
        if (!source.readCurrentEntry(&valueLength, nullptr, &dataLength, nullptr)) {
            entries_.clear();
            return false;
        }
        total += uint64_t{valueLength} + dataLength;
        if (total > kMaxBytes) {
            entries_.clear();
            return false;
        }
        Entry entry{name, std::vector<char>(valueLength), std::vector<char>(dataLength)};
        if (!source.readCurrentEntry(&valueLength, entry.value.data(), &dataLength,
                                     entry.data.data())) {
            entries_.clear();
            return false;
        }
        entries_.push_back(std::move(entry));
    }
    return true;
}

void MemberSnapshot::append(const char* name, const char* value, uint32_t dataLength,
                            const void* data) {
    Entry entry{name, {}, {}};
    if (value != nullptr) {
        entry.value.assign(value, value + std::strlen(value) + 1);
    }
    if (dataLength > 0 && data != nullptr) {
        const auto* bytes = static_cast<const char*>(data);
        entry.data.assign(bytes, bytes + dataLength);
    }
    entries_.push_back(std::move(entry));
}

// As the file-backed collections answer: at most the capacities are filled, a value
// cut short still ends in a zero byte, and both capacities become the stored lengths.
bool MemberSnapshot::readParts(const Entry& entry, uint32_t* valueCapacity, char* valueBuffer,
                               uint32_t* dataCapacity, void* dataBuffer) {
    const uint32_t valueWanted = valueCapacity != nullptr ? *valueCapacity : 0;
    const uint32_t dataWanted = dataCapacity != nullptr ? *dataCapacity : 0;
    if ((valueWanted > 0 && valueBuffer == nullptr) || (dataWanted > 0 && dataBuffer == nullptr)) {
        return false;
    }
    const auto valueLength = static_cast<uint32_t>(entry.value.size());
    const auto dataLength = static_cast<uint32_t>(entry.data.size());
    if (valueWanted > 0) {
        const uint32_t count = std::min(valueWanted, valueLength);
        if (count > 0) {
            std::memcpy(valueBuffer, entry.value.data(), count);
        }
        valueBuffer[count < valueWanted ? count : count - 1] = '\0';
    }
    if (dataWanted > 0 && dataLength > 0) {
        std::memcpy(dataBuffer, entry.data.data(), std::min(dataWanted, dataLength));
    }
    if (valueCapacity != nullptr) {
        *valueCapacity = valueLength;
    }
    if (dataCapacity != nullptr) {
        *dataCapacity = dataLength;
    }
    return true;
}

bool MemberSnapshot::findEntry(const char* name, uint32_t* valueCapacity, char* valueBuffer,
                               uint32_t* dataCapacity, void* dataBuffer) {
    for (const Entry& entry : entries_) {
        if (entry.name == name) {
            return readParts(entry, valueCapacity, valueBuffer, dataCapacity, dataBuffer);
        }
    }
    return false;
}

bool MemberSnapshot::give(size_t index, char* name) {
    if (index >= entries_.size()) {
        name[0] = '\0';
        current_ = 0;
        return false;
    }
    std::memcpy(name, entries_[index].name.c_str(), entries_[index].name.size() + 1);
    current_ = index + 1;
    next_ = index + 1;
    return true;
}

bool MemberSnapshot::firstEntry(char* name) {
    return give(0, name);
}

bool MemberSnapshot::nextEntry(char* name) {
    return give(next_, name);
}

bool MemberSnapshot::readCurrentEntry(uint32_t* valueCapacity, char* valueBuffer,
                                      uint32_t* dataCapacity, void* dataBuffer) {
    return current_ != 0 &&
           readParts(entries_[current_ - 1], valueCapacity, valueBuffer, dataCapacity, dataBuffer);
}

}  // namespace vorn
