#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace vorn {

struct DriveIdentity;

// The two descriptor byte layouts kept in result files ("2KDEVINFO-sdd" and
// "2KDEVINFO-add"), built from a drive's identity. Little-endian.
//
// Device descriptor: Version u32 @0, Size u32 @4, DeviceType u8 @8, DeviceTypeModifier
// u8 @9, RemovableMedia u8 @10, CommandQueueing u8 @11, VendorIdOffset u32 @12,
// ProductIdOffset u32 @16, ProductRevisionOffset u32 @20, SerialNumberOffset u32 @24,
// BusType u32 @28, RawPropertiesLength u32 @32, zero-terminated strings from @40; an
// absent string has offset 0.
inline constexpr uint32_t kDeviceDescriptorHeader = 40;
inline constexpr uint32_t kAdapterDescriptorSize = 32;

// The device descriptor as the query answers it: `length` bytes of content; the
// vector holds one more zero byte that ends the last string.
struct DeviceDescriptor {
    std::vector<uint8_t> bytes;  // length + 1 bytes
    uint32_t length = 0;
};

DeviceDescriptor buildDeviceDescriptor(const DriveIdentity& identity);
std::array<uint8_t, kAdapterDescriptorSize> buildAdapterDescriptor(const DriveIdentity& identity);

// Field readers that never read outside the descriptor (0 when out of range).
uint32_t descriptorU32(const uint8_t* bytes, uint32_t length, uint32_t offset);
uint8_t descriptorU8(const uint8_t* bytes, uint32_t length, uint32_t offset);
inline constexpr uint32_t kDescRemovableMedia = 10;
inline constexpr uint32_t kDescBusType = 28;

// The identification text: vendor, product and revision joined by spaces, doubled
// spaces collapsed, then "_" turned into spaces; "Unknown" for a missing descriptor or
// one of 1024 bytes or more. Written into `out` (1024 characters).
void deviceIdFromDescriptor(const uint8_t* bytes, uint32_t length, char* out);

}  // namespace vorn
