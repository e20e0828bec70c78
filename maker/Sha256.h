#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace vorn {

// SHA-256 (FIPS 180-4). The maker names a filed result by its content, so the same
// upload sent twice lands on the same file.
std::array<uint8_t, 32> sha256(std::string_view bytes);

// The digest in lower-case hex, 64 digits.
std::string sha256Hex(std::string_view bytes);

}  // namespace vorn
