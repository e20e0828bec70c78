#pragma once

#include <cstdint>

#include "results/CollectionFile.h"
#include "results/Collections.h"
#include "results/EntryCursor.h"

namespace vorn {

// A library file: magic, member count, member offsets, then complete result files.
// Only the current member's entries can be reached, and only after its own header
// and CRC were checked. The library is read only.
class VornLibraryCollection final : public I_VornCollection {
public:
    VornLibraryCollection() = default;
    VornLibraryCollection(const VornLibraryCollection&) = delete;
    VornLibraryCollection& operator=(const VornLibraryCollection&) = delete;

    uint32_t getMemberCount() override { return memberCount_; }
    bool selectMember(uint32_t index) override;
    bool addEntry(const char*, const char*, uint32_t, const void*) override { return false; }
    bool findEntry(const char* name, uint32_t* valueCapacity, char* valueBuffer,
                   uint32_t* dataCapacity, void* dataBuffer) override;
    bool firstEntry(char* name) override { return entries_.first(name); }
    bool nextEntry(char* name) override { return entries_.next(name); }
    bool create(const char*) override { return false; }
    bool open(const char* path) override;
    bool readCurrentEntry(uint32_t* valueCapacity, char* valueBuffer, uint32_t* dataCapacity,
                          void* dataBuffer) override;

private:
    FileHandle file_;
    uint64_t fileSize_ = 0;
    uint32_t memberCount_ = 0;
    EntryCursor entries_;  // the current member's entries; empty when none is current
};

}  // namespace vorn
