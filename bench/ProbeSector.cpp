#include "bench/ProbeSector.h"
#include "base/LittleEndian.h"

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

uint64_t mixWord(uint64_t hash, uint64_t word) {
    hash = (hash ^ word) * 0x100000001B3ull;
    return hash ^ (hash >> 29);
}

// FNV-style over 64-bit words in four interleaved lanes (a fast medium must not wait
// for one long chain of multiplies); the checksum word itself counts as zero.
uint64_t checksum(const uint8_t* bytes, uint32_t size) {
    uint64_t lane[4] = {0xCBF29CE484222325ull, 0x84222325CBF29CE4ull, 0x9E3779B97F4A7C15ull,
                        0xD6E8FEB86659FD93ull};
    for (uint32_t at = 0; at < size; at += 32) {
        for (uint32_t j = 0; j < 4 && at + 8 * j < size; ++j) {
            const uint32_t word = at + 8 * j;
            lane[j] = mixWord(lane[j], word == kChecksumAt ? 0 : loadLe64(bytes + word));
        }
    }
    return mixWord(mixWord(mixWord(lane[0], lane[1]), lane[2]), lane[3]);
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
    storeLe64(bytes + kNonceAt, nonce);
    storeLe64(bytes + kSectorAt, sector);
    storeLe64(bytes + kChecksumAt, 0);
    uint64_t state = nonce ^ (sector * 0xD6E8FEB86659FD93ull);
    for (uint32_t at = kFillAt; at < size; at += 8) {
        storeLe64(bytes + at, splitMix(state));
    }
    storeLe64(bytes + kChecksumAt, checksum(bytes, size));
}

SectorFault checkProbeSector(const uint8_t* bytes, uint32_t size, uint64_t nonce, uint64_t sector,
                             uint64_t& other) {
    const bool identity = std::memcmp(bytes, kMagic, sizeof kMagic) == 0 &&
                          loadLe64(bytes + kNonceAt) == nonce &&
                          loadLe64(bytes + kChecksumAt) == checksum(bytes, size);
    if (identity) {
        other = loadLe64(bytes + kSectorAt);
        return other == sector ? SectorFault::None : SectorFault::Wraps;
    }
    return allZero(bytes, size) ? SectorFault::Zeros : SectorFault::OtherData;
}

uint64_t probeRoundNonce(uint64_t nonce, uint32_t round) {
    uint64_t state = nonce + round;
    return splitMix(state);
}

}  // namespace vorn
