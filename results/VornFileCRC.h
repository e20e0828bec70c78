#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>

namespace vorn {

// CRC-32 of IEEE 802.3 and ZIP (reflected polynomial 0xEDB88320, initial value all
// ones, final value complemented), as kept in result-file headers.
class I_VornFileCRC {
public:
    virtual ~I_VornFileCRC() = default;
    // Reads byteCount bytes from the file's current position in pieces of at most
    // 4096 bytes; a short read ends the sum early with the CRC of what was read.
    virtual uint32_t crcOfFile(FILE* file, uint32_t byteCount) = 0;
    virtual uint32_t crcOfBuffer(const void* bytes, uint32_t length) = 0;
};

class VornFileCRC final : public I_VornFileCRC {
public:
    VornFileCRC();
    uint32_t crcOfFile(FILE* file, uint32_t byteCount) override;
    uint32_t crcOfBuffer(const void* bytes, uint32_t length) override;

    uint32_t tableEntry(uint8_t index) const { return table_[index]; }

private:
    void buildTable();
    void ensureTable();
    uint32_t update(uint32_t crc, const unsigned char* bytes, uint32_t length) const;

    uint32_t table_[256] = {};
};

std::unique_ptr<I_VornFileCRC> newFileCRC();

}  // namespace vorn
