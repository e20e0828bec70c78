#include "storage/LimitedDevice.h"

#include <algorithm>

namespace vorn {

uint64_t LimitedDevice::mediaSectors() {
    return std::min(device_.mediaSectors(), limit_);
}

bool LimitedDevice::inside(uint64_t sector, uint32_t count) {
    const uint64_t sectors = mediaSectors();
    return sector <= sectors && count <= sectors - sector;
}

bool LimitedDevice::read(uint64_t sector, uint32_t count, void* destination) {
    return inside(sector, count) && device_.read(sector, count, destination);
}

// write(0, 0, nullptr) still asks the device whether writing is armed.
bool LimitedDevice::write(uint64_t sector, uint32_t count, const void* source) {
    return inside(sector, count) && device_.write(sector, count, source);
}

}  // namespace vorn
