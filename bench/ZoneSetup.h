#pragma once

#include <cstdint>
#include <vector>

namespace vorn {

// Where the zones of a zoned benchmark lie on the medium.
struct ZoneParameters {
    uint32_t write = 0;
    uint32_t maxZones = 64;
    uint32_t warmUpBytes = 2097152;
    uint32_t timedBytes = 6291456;
    uint32_t alignBytes = 0;
};

struct ZoneLayout {
    uint32_t reserved = 0;         // bytes at the start a write test never touches
    uint64_t usable = 0;           // bytes of the medium after the reserve
    std::vector<uint64_t> starts;  // byte offsets; empty when no zone fits
};

// A write test never touches the first 128 sectors.
inline constexpr uint32_t kWriteReserveSectors = 128;
// One zone per 128 MB in the quick set-up.
inline constexpr uint64_t kQuickZoneStride = 134217728;

// Zones spread over the medium: the first at the start of the usable area, the last
// ending one sector before the end, the others evenly between.
ZoneLayout quickZoneSetup(const ZoneParameters& p, uint32_t sectorSize, uint64_t sectors);

// Zones back to back over the whole medium.
ZoneLayout fullZoneSetup(const ZoneParameters& p, uint32_t sectorSize, uint64_t sectors);

}  // namespace vorn
