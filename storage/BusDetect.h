#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vorn {

// Reading sysfs attributes without trusting them: at most kSysfsAttributeCap bytes,
// never blocking, cut at the first zero byte. Nothing when the file does not read.
inline constexpr size_t kSysfsAttributeCap = 4096;
std::optional<std::string> readSysfsText(const std::string& path);
// The text without the one line end the kernel appends; padding stays.
std::string readSysfsLine(const std::string& path);
// A decimal number (surrounding blanks allowed); nothing when absent or malformed.
std::optional<uint64_t> readSysfsNumber(const std::string& path);

// "1-1", "2-1.4": a USB device's folder name (its interfaces carry a ":" and do not match).
bool isUsbDeviceName(std::string_view name);

// What the path of a disk in the device tree tells about its bus.
struct BusFacts {
    uint32_t busType = 0;  // BusType
    uint16_t majorVersion = 0;
    uint16_t minorVersion = 0;
    // USB, IEEE 1394 or PCMCIA/ExpressCard: a bus whose disks are unplugged in normal use.
    bool hotplug = false;
};

// Walks the resolved sysfs path of a disk ("<sysfs>/block/sdb" leads into
// "<sysfs>/devices/...") and classifies the bus the disk hangs on.
BusFacts detectBus(const std::string& sysfsRoot, const std::string& blockPath);

}  // namespace vorn
