#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vorn {

// Bus type numbers as the device descriptors carry them.
enum BusType : uint32_t {
    kBusUnknown = 0,
    kBusScsi = 1,
    kBusAtapi = 2,
    kBusAta = 3,
    kBus1394 = 4,
    kBusSsa = 5,
    kBusFibre = 6,
    kBusUsb11 = 7,
    kBusRaid = 8,
    kBusUsb20 = 9,
    kBusSata = 10,
};

// Display names of bus types 0 to 10; nullptr for 11 and above.
const char* busTypeName(uint32_t busType);
inline constexpr uint32_t kBusTypeNameCount = 11;
extern const char* const BusTypeNames[kBusTypeNameCount];

// What the kernel tells about one whole disk (or what an image file stands for).
struct DriveIdentity {
    std::string name;          // kernel name, e.g. "sdb"; an image file's own file name
    std::string nodePath;      // the node to open, e.g. "/dev/sdb", or the image file
    std::string sysPath;       // "<sysfs>/block/sdb"; empty for an image file
    std::string devNumber;     // "major:minor" from sysfs "dev"; empty for an image file
    bool hasIdentity = false;  // false: no vendor/model at all (product = kernel name)
    std::string vendor;        // raw, padding included
    std::string product;
    std::string revision;
    // Removable as a user means it: sysfs "removable", an SD card, or a disk on a bus
    // that is unplugged in normal use (USB, IEEE 1394, PCMCIA/ExpressCard).
    uint8_t removable = 0;
    bool readOnly = false;  // sysfs "ro" = 1: the medium may not be written
    uint32_t busType = kBusUnknown;
    // Adapter facts.
    uint32_t maxTransferLength = 0;  // max_hw_sectors_kb x 1024
    uint32_t maxPhysicalPages = 0;   // max_segments
    uint32_t alignmentMask = 0;      // dma_alignment
    uint16_t busMajorVersion = 0;    // a USB device's bcd version, e.g. 2 and 0 for " 2.00"
    uint16_t busMinorVersion = 0;
    uint8_t commandQueueing = 0;  // 1 when the queue depth is above 1
};

// The drives of the machine: the whole-disk hardware block devices of <sysfs>/block in
// natural name order (sda ... sdz, sdaa; mmcblk0, mmcblk1), leaving out the virtual
// ones (loop, ram, zram, dm, md, nbd, ...: everything under devices/virtual/block). The roots are
// arguments so tests can build a fake tree whose device nodes are image files (and give their own
// mount table).
class DriveCatalog {
public:
    explicit DriveCatalog(std::string sysfsRoot = "/sys", std::string devRoot = "/dev",
                          std::string procRoot = "/proc");

    const std::string& sysfsRoot() const { return sysfsRoot_; }
    const std::string& devRoot() const { return devRoot_; }
    // Where "self/mountinfo" and "swaps" are read from.
    const std::string& procRoot() const { return procRoot_; }

    // Kernel names of the drives, in drive-number order. Read afresh on every call.
    std::vector<std::string> driveNames() const;
    // The identity of drive number n, or nothing when there is no such drive.
    std::optional<DriveIdentity> drive(int number) const;
    // The identity of a named whole disk ("sdb"), or nothing when sysfs has none.
    std::optional<DriveIdentity> identify(const std::string& name) const;
    // Partition kernel names of a disk in number order ("sdb1", "sdb2", ...).
    std::vector<std::string> partitions(const std::string& name) const;
    // "major:minor" of a block device or partition, empty when unknown.
    std::string devNumber(const std::string& name) const;

private:
    std::string sysfsRoot_;
    std::string devRoot_;
    std::string procRoot_;
};

// An image file (or a block device given by path) as a drive: image files count as
// removable media with vendor none, product the file's name and bus UNKNOWN; a block
// device path is looked up in the catalog by its kernel name.
std::optional<DriveIdentity> identifyPath(const std::string& path,
                                          const DriveCatalog& catalog = DriveCatalog());

// The process's own catalog of the real machine.
const DriveCatalog& systemCatalog();

}  // namespace vorn
