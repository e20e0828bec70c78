#include "storage/DeviceListText.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

#include "storage/DriveFacts.h"

namespace vorn {
namespace {

std::string formatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

std::string formatText(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text;
    if (length > 0) {
        std::vector<char> buffer(static_cast<size_t>(length) + 1);
        std::vsnprintf(buffer.data(), buffer.size(), format, again);
        text.assign(buffer.data(), static_cast<size_t>(length));
    }
    va_end(again);
    return text;
}

// Sectors times block size. A stored record can carry any sector count, so a product
// beyond 64 bits is taken in floating point instead of wrapping to a small size.
double capacityBytes(uint64_t sectors, uint32_t blockSize) {
    uint64_t bytes = 0;
    if (__builtin_mul_overflow(sectors, static_cast<uint64_t>(blockSize), &bytes)) {
        return static_cast<double>(sectors) * static_cast<double>(blockSize);
    }
    return static_cast<double>(bytes);
}

std::string textOf(const char* text) {
    return text != nullptr ? std::string(text) : std::string();
}

}  // namespace

std::string deviceListText(I_DriveFacts& device) {
    const uint64_t sectors = device.mediaSectors();
    const uint32_t blockSize = device.mediaBlockSize();
    const double bytes = capacityBytes(sectors, blockSize);
    // The identification is copied before the mount points are asked: a device may reuse
    // its text buffers between calls.
    const std::string id = textOf(device.deviceId());
    const std::string mountPoints = textOf(device.mountPointsText());
    if (bytes > 1000000000.0) {
        return formatText("(%s) %s (%1.1fGB)", mountPoints.c_str(), id.c_str(),
                          bytes * 0.000000001);
    }
    if (bytes > 1.0) {
        return formatText("(%s) %s (%1.1fMB)", mountPoints.c_str(), id.c_str(), bytes * 0.000001);
    }
    return formatText("(%s) %s (no media)", mountPoints.c_str(), id.c_str());
}

}  // namespace vorn
