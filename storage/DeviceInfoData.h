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
// The reserved fields keep their places in the stored bytes; a live drive stores the
// fixed values below in them and nothing reads them back.
struct DeviceInfoData {
    uint32_t deviceRemovable = 0;
    uint32_t reservedFlagA = 0;
    uint32_t mediaPresent = 0;
    uint32_t reservedFlagC = 0;
    uint32_t mediaWritable = 0;
    uint32_t reservedFlagD = 0;
    uint32_t mediaBlockSize = 0;
    uint32_t padding = 0;  // readers ignore it
    uint64_t mediaSectors = 0;
    uint64_t reservedValue0 = 0;
    uint64_t reservedValue1 = 0;
};

// What a live drive stores in each reserved flag.
inline constexpr uint32_t kReservedFlagValue = 1;

// The record is copied to and from files as raw bytes, so its layout is fixed.
static_assert(sizeof(DeviceInfoData) == 56);
static_assert(offsetof(DeviceInfoData, mediaBlockSize) == 24);
static_assert(offsetof(DeviceInfoData, mediaSectors) == 32);
static_assert(offsetof(DeviceInfoData, reservedValue1) == 48);
static_assert(std::endian::native == std::endian::little,
              "DeviceInfoData is stored as raw little-endian bytes");

}  // namespace vorn
