#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

namespace vorn {

// Prefix of the device-information entries when the caller gives none.
inline constexpr const char* kDefaultDevicePrefix = "2KDEVINFO";

// The "-data" entry of the device-information record: the device's answers at the
// time of the test, stored byte for byte (little-endian) so that a stored device can
// answer them again later.
struct DeviceInfoData {
    uint32_t deviceRemovable = 0;
    uint32_t auxFlagA = 0;
    uint32_t mediaPresent = 0;
    uint32_t auxFlagC = 0;
    uint32_t mediaWritable = 0;
    uint32_t auxFlagD = 0;
    uint32_t mediaBlockSize = 0;
    uint32_t padding = 0;  // readers ignore it
    uint64_t mediaSectors = 0;
    uint64_t auxValue0 = 0;
    uint64_t auxValue1 = 0;
};

// The record is copied to and from files as raw bytes, so its layout is fixed.
static_assert(sizeof(DeviceInfoData) == 56);
static_assert(offsetof(DeviceInfoData, mediaBlockSize) == 24);
static_assert(offsetof(DeviceInfoData, mediaSectors) == 32);
static_assert(offsetof(DeviceInfoData, auxValue1) == 48);
static_assert(std::endian::native == std::endian::little,
              "DeviceInfoData is stored as raw little-endian bytes");

}  // namespace vorn
