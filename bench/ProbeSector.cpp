#include "bench/ProbeSector.h"

#include <cstring>

namespace vorn {
namespace {

constexpr uint8_t kMagic[8] = {'Q', 'K', 'V', 'C', 'A', 'P', 'I', 'D'};
constexpr uint32_t kNonceAt = 8;
constexpr uint32_t kSectorAt = 16;
constexpr uint32_t kChecksumAt = 24;
constexpr uint32_t kFillAt = 32;

uint64_t splitMix(uint64_t& state) {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

void store64(uint8_t* at, uint64_t value) {
    for (int i = 0; i < 8; ++i) {
        at[i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

uint64_t load64(const uint8_t* at) {
    uint64_t value = 0;
    for (int i = 7; i >= 0; --i) {
        value = (value << 8) | at[i];
    }
    return value;
}

// FNV-style over 64-bit words; the checksum word itself counts as zero.
uint64_t checksum(const uint8_t* bytes, uint32_t size) {
    uint64_t hash = 0xCBF29CE484222325ull;
    for (uint32_t at = 0; at < size; at += 8) {
        const uint64_t word = at == kChecksumAt ? 0 : load64(bytes + at);
        hash = (hash ^ word) * 0x100000001B3ull;
        hash ^= hash >> 29;
    }
    return hash;
}

bool allZero(const uint8_t* bytes, uint32_t size) {
    for (uint32_t i = 0; i < size; ++i) {
        if (bytes[i] != 0) {
            return false;
        }
    }
    return true;
}

}  // namespace

void fillProbeSector(uint8_t* bytes, uint32_t size, uint64_t nonce, uint64_t sector) {
    std::memcpy(bytes, kMagic, sizeof kMagic);
    store64(bytes + kNonceAt, nonce);
    store64(bytes + kSectorAt, sector);
    store64(bytes + kChecksumAt, 0);
    uint64_t state = nonce ^ (sector * 0xD6E8FEB86659FD93ull);
    for (uint32_t at = kFillAt; at < size; at += 8) {
        store64(bytes + at, splitMix(state));
    }
    store64(bytes + kChecksumAt, checksum(bytes, size));
}

SectorFault checkProbeSector(const uint8_t* bytes, uint32_t size, uint64_t nonce, uint64_t sector,
                             uint64_t& other) {
    const bool identity = std::memcmp(bytes, kMagic, sizeof kMagic) == 0 &&
                          load64(bytes + kNonceAt) == nonce &&
                          load64(bytes + kChecksumAt) == checksum(bytes, size);
    if (identity) {
        other = load64(bytes + kSectorAt);
        return other == sector ? SectorFault::None : SectorFault::Wraps;
    }
    return allZero(bytes, size) ? SectorFault::Zeros : SectorFault::OtherData;
}

uint64_t probeRoundNonce(uint64_t nonce, uint32_t round) {
    uint64_t state = nonce + round;
    return splitMix(state);
}

}  // namespace vorn
