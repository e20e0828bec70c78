#pragma once

#include <cstdint>

namespace vorn {

// Longest entry name, without its terminating zero byte.
inline constexpr uint32_t kMaxEntryName = 127;
// Size of the name buffer that firstEntry / nextEntry fill.
inline constexpr uint32_t kEntryNameBuffer = 128;

// The entry every result holds: the identification of the drive it measured.
inline constexpr const char* kDriveIdKey = "DRIVEID";

// A result file, or a library bundling many result files. Entries are a name, an
// optional text value and optional binary data. A collection is in write mode
// after create() and in read mode after open(); reads fail in write mode and
// addEntry fails in read mode.
class I_VornCollection {
public:
    // A writer completes the file header (length, then CRC) on destruction.
    virtual ~I_VornCollection() = default;

    virtual uint32_t getMemberCount() = 0;
    [[nodiscard]] virtual bool selectMember(uint32_t index) = 0;
    [[nodiscard]] virtual bool addEntry(const char* name, const char* value, uint32_t dataLength,
                                        const void* data) = 0;
    // Looks a name up in the current member. Reads up to *valueCapacity bytes of the
    // value and up to *dataCapacity bytes of the data (nothing for a capacity of 0),
    // then sets both capacities to the entry's stored lengths.
    [[nodiscard]] virtual bool findEntry(const char* name, uint32_t* valueCapacity,
                                         char* valueBuffer, uint32_t* dataCapacity,
                                         void* dataBuffer) = 0;
    // Entry names in file order, into a buffer of kEntryNameBuffer bytes.
    [[nodiscard]] virtual bool firstEntry(char* name) = 0;
    [[nodiscard]] virtual bool nextEntry(char* name) = 0;
    [[nodiscard]] virtual bool create(const char* path) = 0;
    [[nodiscard]] virtual bool open(const char* path) = 0;
    // Value and data of the entry last returned by firstEntry / nextEntry, with the
    // capacities of findEntry. Tells repeated names apart; fails when no entry is
    // current.
    [[nodiscard]] virtual bool readCurrentEntry(uint32_t* /*valueCapacity*/, char* /*valueBuffer*/,
                                                uint32_t* /*dataCapacity*/, void* /*dataBuffer*/) {
        return false;
    }
};

}  // namespace vorn
