#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "results/VornFileCRC.h"

// Builds result and library files byte by byte, so tests can write both sound and
// damaged files without going through the writer.
#include "support/LittleEndianBytes.h"
#include "support/TempDir.h"

namespace vorn::test {

// One entry; the length fields are computed unless a test overrides them.
struct EntrySpec {
    std::string name = {};
    std::optional<std::string> value = {};
    std::string data = {};
    std::optional<uint32_t> length = {};
    std::optional<uint32_t> nameLength = {};
    std::optional<uint32_t> valueLength = {};
    std::optional<uint32_t> dataLength = {};
};

inline std::string entryBytes(const EntrySpec& e) {
    const std::string name = e.name + '\0';
    const std::string value = e.value ? *e.value + '\0' : std::string();
    const uint32_t total = static_cast<uint32_t>(16 + name.size() + value.size() + e.data.size());
    return le32(e.length.value_or(total)) +
           le32(e.nameLength.value_or(static_cast<uint32_t>(name.size()))) +
           le32(e.valueLength.value_or(static_cast<uint32_t>(value.size()))) +
           le32(e.dataLength.value_or(static_cast<uint32_t>(e.data.size()))) + name + value +
           e.data;
}

inline uint32_t crcOf(const std::string& bytes) {
    VornFileCRC crc;
    return crc.crcOfBuffer(bytes.data(), static_cast<uint32_t>(bytes.size()));
}

// A complete result file around the given entry bytes, with a correct CRC.
inline std::string resultBytes(const std::string& entries) {
    const std::string covered = le32(static_cast<uint32_t>(16 + entries.size())) + entries;
    return std::string("VORN\x1A\0\0\0", 8) + le32(crcOf(covered)) + covered;
}

inline std::string resultBytes(const std::vector<EntrySpec>& entries) {
    std::string bytes;
    for (const EntrySpec& e : entries) {
        bytes += entryBytes(e);
    }
    return resultBytes(bytes);
}

// A library with the members back to back after the offset table.
inline std::string libraryBytes(const std::vector<std::string>& members) {
    std::string bytes = std::string("VORNLIB\x1A", 8) + le32(static_cast<uint32_t>(members.size()));
    uint32_t offset = static_cast<uint32_t>(12 + 4 * members.size());
    for (const std::string& member : members) {
        bytes += le32(offset);
        offset += static_cast<uint32_t>(member.size());
    }
    for (const std::string& member : members) {
        bytes += member;
    }
    return bytes;
}

// A fresh folder under the system temp folder, removed with its files afterwards.
// Result-file tests share the common temporary folder.
using TempFolder = TempDir;

}  // namespace vorn::test
