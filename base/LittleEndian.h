#pragma once

#include <cstdint>

// Every stored number of the result files, the device record and the probe sectors is
// little-endian whatever the machine; these are the only places that spell it out.

namespace vorn {

// The low `bytes` bytes of value, least significant first.
inline void storeLe(uint8_t* out, uint64_t value, uint32_t bytes) {
    for (uint32_t i = 0; i < bytes; ++i) {
        out[i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

inline uint64_t loadLe(const uint8_t* in, uint32_t bytes) {
    uint64_t value = 0;
    for (uint32_t i = 0; i < bytes; ++i) {
        value |= uint64_t{in[i]} << (8 * i);
    }
    return value;
}

inline void storeLe16(uint8_t* out, uint16_t value) {
    storeLe(out, value, 2);
}
inline void storeLe32(uint8_t* out, uint32_t value) {
    storeLe(out, value, 4);
}
inline void storeLe64(uint8_t* out, uint64_t value) {
    storeLe(out, value, 8);
}
inline uint16_t loadLe16(const uint8_t* in) {
    return static_cast<uint16_t>(loadLe(in, 2));
}
inline uint32_t loadLe32(const uint8_t* in) {
    return static_cast<uint32_t>(loadLe(in, 4));
}
inline uint64_t loadLe64(const uint8_t* in) {
    return loadLe(in, 8);
}

}  // namespace vorn
