#include "results/CollectionFile.h"

#include <sys/types.h>

#include <cstring>

#include "results/VornFileCRC.h"

namespace vorn {

uint32_t loadLe32(const unsigned char* bytes) {
    return uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 |
           uint32_t{bytes[3]} << 24;
}

void storeLe32(unsigned char* bytes, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[i] = static_cast<unsigned char>(value >> (8 * i));
    }
}

bool fileSizeOf(FILE* file, uint64_t* size) {
    if (fseeko(file, 0, SEEK_END) != 0) {
        return false;
    }
    const off_t end = ftello(file);
    if (end < 0) {
        return false;
    }
    *size = static_cast<uint64_t>(end);
    return true;
}

bool readAt(FILE* file, uint64_t offset, void* buffer, size_t count) {
    if (offset > static_cast<uint64_t>(INT64_MAX) ||
        fseeko(file, static_cast<off_t>(offset), SEEK_SET) != 0) {
        return false;
    }
    return std::fread(buffer, 1, count, file) == count;
}

bool checkResultHeader(FILE* file, uint64_t offset, uint64_t limit, uint64_t* end) {
    unsigned char header[kResultHeaderSize];
    if (limit < offset || limit - offset < kResultHeaderSize ||
        !readAt(file, offset, header, sizeof header)) {
        return false;
    }
    if (std::memcmp(header, kResultMagic, sizeof kResultMagic) != 0) {
        return false;
    }
    const uint32_t storedCrc = loadLe32(header + 8);
    const uint32_t length = loadLe32(header + 12);
    // A writer that is still alive leaves the length at 0; a length running past the
    // file (or the library) would have the CRC read bytes that are not there.
    if (length < kResultHeaderSize || length > limit - offset) {
        return false;
    }
    if (fseeko(file, static_cast<off_t>(offset + 12), SEEK_SET) != 0) {
        return false;
    }
    VornFileCRC crc;
    if (crc.crcOfFile(file, length - 12) != storedCrc) {
        return false;
    }
    *end = offset + length;
    return true;
}

}  // namespace vorn
