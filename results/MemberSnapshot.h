#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "results/Collections.h"

namespace vorn {

// The current member of an open collection, copied into memory in one walk over its
// entries, answering the reading operations as the collection would. A reader that
// looks up dozens of names per result (as the selection list does for thousands of
// library members) then reads each entry from the file once instead of once per
// lookup. Read only.
class MemberSnapshot final : public I_VornCollection {
public:
    // Copies the source's current member. False (and empty) when an entry cannot be
    // read or the member holds more than kMaxBytes; the caller then reads the source
    // itself. Entries after one the source cannot walk past are not reached, exactly
    // as a lookup in the source does not reach them.
    [[nodiscard]] bool take(I_VornCollection& source);

    static constexpr uint64_t kMaxBytes = 4u << 20;

    // Appends an entry as a file-backed collection stores it (a null value stays
    // without a value text), so a writer can keep in memory what it wrote.
    void append(const char* name, const char* value, uint32_t dataLength, const void* data);

    uint32_t getMemberCount() override { return 1; }
    bool selectMember(uint32_t index) override { return index == 0; }
    bool addEntry(const char*, const char*, uint32_t, const void*) override { return false; }
    bool findEntry(const char* name, uint32_t* valueCapacity, char* valueBuffer,
                   uint32_t* dataCapacity, void* dataBuffer) override;
    bool firstEntry(char* name) override;
    bool nextEntry(char* name) override;
    bool create(const char*) override { return false; }
    bool open(const char*) override { return false; }
    bool readCurrentEntry(uint32_t* valueCapacity, char* valueBuffer, uint32_t* dataCapacity,
                          void* dataBuffer) override;

private:
    struct Entry {
        std::string name;
        std::vector<char> value;  // with its zero byte; empty without a value text
        std::vector<char> data;
    };

    static bool readParts(const Entry& entry, uint32_t* valueCapacity, char* valueBuffer,
                          uint32_t* dataCapacity, void* dataBuffer);
    bool give(size_t index, char* name);

    std::vector<Entry> entries_;
    size_t next_ = 0;     // entry the next nextEntry answers
    size_t current_ = 0;  // entry the last first / next answered, plus one; 0: none
};

}  // namespace vorn
