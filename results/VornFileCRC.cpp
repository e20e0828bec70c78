#include "results/VornFileCRC.h"

namespace vorn {

namespace {
constexpr uint32_t kPolynomial = 0xEDB88320u;
constexpr uint32_t kPiece = 4096;
}  // namespace

VornFileCRC::VornFileCRC() {
    buildTable();
}

// Each power-of-two index gets its own remainder; every other index is the XOR of
// the entries of its set bits, filled in from the highest bit down.
void VornFileCRC::buildTable() {
    table_[0] = 0;
    uint32_t running = 1;
    for (uint32_t b = 128; b >= 1; b /= 2) {
        running = (running >> 1) ^ ((running & 1) != 0 ? kPolynomial : 0);
        for (uint32_t i = 0; i < 256; i += 2 * b) {
            table_[b + i] = running ^ table_[i];
        }
    }
}

void VornFileCRC::ensureTable() {
    if (table_[255] == 0) {
        buildTable();
    }
}

uint32_t VornFileCRC::update(uint32_t crc, const unsigned char* bytes, uint32_t length) const {
    for (uint32_t i = 0; i < length; ++i) {
        crc = table_[(crc ^ bytes[i]) & 0xFF] ^ (crc >> 8);
    }
    return crc;
}

uint32_t VornFileCRC::crcOfBuffer(const void* bytes, uint32_t length) {
    ensureTable();
    if (bytes == nullptr) {
        return 0;
    }
    return ~update(~0u, static_cast<const unsigned char*>(bytes), length);
}

uint32_t VornFileCRC::crcOfFile(FILE* file, uint32_t byteCount) {
    ensureTable();
    uint32_t crc = ~0u;
    unsigned char piece[kPiece];
    while (file != nullptr && byteCount > 0) {
        const uint32_t want = byteCount < kPiece ? byteCount : kPiece;
        const size_t got = std::fread(piece, 1, want, file);
        crc = update(crc, piece, static_cast<uint32_t>(got));
        if (got < want) {
            break;
        }
        byteCount -= want;
    }
    return ~crc;
}

std::unique_ptr<I_VornFileCRC> newFileCRC() {
    return std::make_unique<VornFileCRC>();
}

}  // namespace vorn
