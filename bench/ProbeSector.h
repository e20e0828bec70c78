#pragma once

#include <cstdint>

namespace vorn {

// A sector of the capacity probe carries its own identity, so a read-back tells not
// only that data is wrong but whose data came back:
//   0  8 bytes  "QKVCAPID"
//   8  8 bytes  nonce of this probe round
//  16  8 bytes  sector number
//  24  8 bytes  checksum over the whole sector with these 8 bytes as zero
//  32  ...      filler drawn from the nonce and the sector number
// All numbers little-endian. Sectors must be a multiple of 8 and at least 64 bytes.
inline constexpr uint32_t kProbeSectorMinimum = 64;

// Fills `bytes` (one sector of `size` bytes) with the identity of `sector`.
void fillProbeSector(uint8_t* bytes, uint32_t size, uint64_t nonce, uint64_t sector);

enum class SectorFault : uint32_t {
    None = 0,
    Wraps = 1,       // holds another sector's identity of this round: addresses wrap
    Zeros = 2,       // reads back as zeros: the write went nowhere
    ReadError = 3,   // the medium refused the read
    OtherData = 4,   // anything else: stale data of an earlier round, or garbage
    WriteError = 5,  // the medium refused the write (only the probe finds this)
};

// What a read-back of `sector` holds; with Wraps, `other` is the sector it belongs to.
SectorFault checkProbeSector(const uint8_t* bytes, uint32_t size, uint64_t nonce, uint64_t sector,
                             uint64_t& other);

// A nonce for each probe round, from the probe's own and the round number.
uint64_t probeRoundNonce(uint64_t nonce, uint32_t round);

}  // namespace vorn
