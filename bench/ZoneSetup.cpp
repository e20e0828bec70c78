#include "bench/ZoneSetup.h"

#include <algorithm>

namespace vorn {
namespace {

uint64_t roundUp(uint64_t value, uint64_t multiple) {
    return (value + multiple - 1) / multiple * multiple;
}

// Rounds a zone start down to the alignment, but never into the area a write test
// reserves: an alignment larger than the reserve would otherwise pull the first zone
// back onto sector 0.
uint64_t align(uint64_t offset, uint32_t alignBytes, uint32_t reserved) {
    if (alignBytes == 0) {
        return offset;
    }
    uint64_t aligned = offset / alignBytes * alignBytes;
    if (aligned < reserved) {
        aligned += alignBytes;
    }
    return aligned;
}

// Reserve and usable size; false when the medium is no larger than the reserve.
bool measureMedium(const ZoneParameters& p, uint32_t sectorSize, uint64_t sectors,
                   ZoneLayout& layout) {
    layout.reserved = p.write ? kWriteReserveSectors * sectorSize : 0;
    const uint64_t total = sectors * sectorSize;
    if (total <= layout.reserved) {
        return false;
    }
    layout.usable = total - layout.reserved;
    return true;
}

}  // namespace

ZoneLayout quickZoneSetup(const ZoneParameters& p, uint32_t sectorSize, uint64_t sectors) {
    ZoneLayout layout;
    const uint64_t span = uint64_t{p.warmUpBytes} + p.timedBytes;
    // The last zone ends one sector before the end: without room for one span and
    // one sector there is no place for it.
    if (!measureMedium(p, sectorSize, sectors, layout) || layout.usable < span + sectorSize) {
        return layout;
    }
    uint64_t n = layout.usable / kQuickZoneStride;
    if (n < 2) {
        n = 2;
    }
    if (n > p.maxZones) {
        n = p.maxZones;
    }
    const uint64_t step = n >= 2 ? layout.usable / (n - 1) : span;
    layout.starts.resize(n);
    for (uint64_t i = 0; i < n; ++i) {
        uint64_t offset = i == n - 1 ? layout.usable - span - sectorSize : i * step;
        offset = roundUp(offset + layout.reserved, sectorSize);
        layout.starts[i] = align(offset, p.alignBytes, layout.reserved);
    }
    return layout;
}

ZoneLayout fullZoneSetup(const ZoneParameters& p, uint32_t sectorSize, uint64_t sectors) {
    ZoneLayout layout;
    const uint64_t span = uint64_t{p.warmUpBytes} + p.timedBytes;
    if (span == 0 || !measureMedium(p, sectorSize, sectors, layout)) {
        return layout;
    }
    const uint64_t first = align(layout.reserved, p.alignBytes, layout.reserved);
    // Whole spans from the reserve on, each ending strictly before the usable size
    // (so a write test also stays clear of the last reserved stretch).
    const uint64_t position = std::max<uint64_t>(first, layout.reserved);
    const uint64_t count =
        position + span < layout.usable ? (layout.usable - position - span - 1) / span + 1 : 0;
    layout.starts.resize(count);
    for (uint64_t j = 0; j < count; ++j) {
        layout.starts[j] = first + j * span;
    }
    return layout;
}

}  // namespace vorn
