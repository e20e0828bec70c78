#pragma once

#include <cstdint>
#include <string>

namespace vorn::test {

// The four bytes of a value as the files and descriptors store it, least significant first.
inline std::string le32(uint32_t value) {
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i) {
        bytes[i] = static_cast<char>(value >> (8 * i));
    }
    return bytes;
}

}  // namespace vorn::test
