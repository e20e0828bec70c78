#pragma once

#include <cstdint>
#include <cstdio>

namespace vorn {

// Scans the entries of one result file (alone or as a library member) between its
// first entry and its end. Every entry is checked before it is used: its parts must
// add up to its length, it must end within the member, its name must hold 1 to 127
// characters and end in its zero byte, and a value must end in its zero byte. The
// first entry that fails ends the scan, so nothing is ever read past the member.
class EntryCursor {
public:
    // Entries start at first; end bounds every read.
    void reset(FILE* file, uint64_t first, uint64_t end);
    // No entries: every operation fails until the next reset.
    void clear();

    bool find(const char* name, uint32_t* valueCapacity, char* valueBuffer, uint32_t* dataCapacity,
              void* dataBuffer);
    bool first(char* name);
    bool next(char* name);
    // Value and data of the entry the last first / next returned.
    bool readCurrent(uint32_t* valueCapacity, char* valueBuffer, uint32_t* dataCapacity,
                     void* dataBuffer);

private:
    struct Entry {
        uint64_t offset = 0;
        uint32_t length = 0;
        uint32_t nameLength = 0;
        uint32_t valueLength = 0;
        uint32_t dataLength = 0;
    };

    bool readEntry(uint64_t offset, Entry* entry, char* name) const;
    bool readParts(const Entry& entry, uint32_t* valueCapacity, char* valueBuffer,
                   uint32_t* dataCapacity, void* dataBuffer) const;

    FILE* file_ = nullptr;
    uint64_t first_ = 0;
    uint64_t end_ = 0;
    uint64_t cursor_ = 0;
    bool hasCurrent_ = false;
    Entry current_;
};

}  // namespace vorn
