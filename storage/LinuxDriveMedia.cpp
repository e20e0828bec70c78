// Media state of a live drive: geometry, write permission and where its file
// systems are mounted.

#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <fstream>

#include "base/DiagLog.h"
#include "storage/LinuxDrive.h"
#include "storage/MountTable.h"
#include "storage/PartitionProbe.h"
#include "storage/SystemUse.h"

namespace vorn {
namespace {

constexpr uint32_t kMediaRemovable = 11;  // RemovableMedia
constexpr uint32_t kMediaFixed = 12;      // FixedMedia
constexpr uint32_t kImageSectorSize = 512;

}  // namespace

// Sector size and count as a one-track-per-cylinder geometry, so cylinders times
// tracks times sectors gives the sector count exactly.
bool LinuxDrive::queryGeometry(Geometry& geometry) const {
    struct stat info {};
    uint64_t bytes = 0;
    uint32_t sectorSize = 0;
    if (fd_ < 0 && deferred_) {
        if (!sysfsGeometry(bytes, sectorSize)) {
            return false;
        }
    } else if (!isOpen() || fstat(fd_, &info) != 0) {
        return false;
    } else if (S_ISREG(info.st_mode)) {
        sectorSize = kImageSectorSize;
        bytes = static_cast<uint64_t>(info.st_size);
    } else {
        int logical = 0;
        if (ioctl(fd_, BLKSSZGET, &logical) != 0 || ioctl(fd_, BLKGETSIZE64, &bytes) != 0 ||
            logical <= 0) {
            return false;
        }
        sectorSize = static_cast<uint32_t>(logical);
    }
    geometry.cylinders = bytes / sectorSize;
    geometry.mediaType = identity_.removable ? kMediaRemovable : kMediaFixed;
    geometry.tracksPerCylinder = 1;
    geometry.sectorsPerTrack = 1;
    geometry.bytesPerSector = sectorSize;
    return true;
}

// The kernel's own figures: "size" counts 512-byte units whatever the sector size.
bool LinuxDrive::sysfsGeometry(uint64_t& bytes, uint32_t& sectorSize) const {
    const std::string dir = catalog_.sysfsRoot() + "/block/" + identity_.name;
    std::ifstream sizeFile(dir + "/size");
    std::ifstream sectorFile(dir + "/queue/logical_block_size");
    unsigned long long units = 0;
    unsigned long sector = 0;
    if (identity_.name.empty() || identity_.name.find('/') != std::string::npos ||
        !(sizeFile >> units) || !(sectorFile >> sector) || sector == 0 || sector > 65536) {
        return false;
    }
    bytes = units * 512;
    sectorSize = static_cast<uint32_t>(sector);
    return true;
}

uint32_t LinuxDrive::mediaBlockSize() {
    Geometry g;
    if (!queryGeometry(g)) {
        logMessage("mediaBlockSize %d: error IOCTL_DISK_GET_DRIVE_GEOMETRY", driveNumber);
        return 0;
    }
    logMessage("mediaBlockSize %d: cyl %llu, type %u, tpc %u, spt %u, bps %u", driveNumber,
               static_cast<unsigned long long>(g.cylinders), g.mediaType, g.tracksPerCylinder,
               g.sectorsPerTrack, g.bytesPerSector);
    return g.bytesPerSector;
}

uint64_t LinuxDrive::mediaSectors() {
    Geometry g;
    queryGeometry(g);
    return g.cylinders * g.tracksPerCylinder * g.sectorsPerTrack;
}

bool LinuxDrive::mediaWritable() {
    // A medium the kernel keeps read-only, or a node we could only open for reading,
    // can never take the write test.
    if (identity_.readOnly || readOnlyOpen_) {
        logMessage("mediaWritable %d: device is read-only", driveNumber);
        return false;
    }
    if (noMedium_ || mediaSectors() == 0) {
        logMessage("mediaWritable %d: no medium", driveNumber);
        return false;
    }
    if (const std::string use = writeRefusal(); !use.empty()) {
        logMessage("mediaWritable %d: device holds %s", driveNumber, use.c_str());
        return false;
    }
    if (deviceRemovable()) {
        logMessage("mediaWritable %d: device is removable", driveNumber);
        return true;
    }
    return logPartitionRule();
}

// A fixed disk may be written only when its layout holds no used entry.
bool LinuxDrive::logPartitionRule() {
    std::vector<PartitionEntry> entries;
    // Listing never asks for authorization: a user's fixed disk whose descriptor has
    // not been asked for yet counts as not writable until a run opens it.
    if (deferred_ && fd_ < 0) {
        logMessage("mediaWritable %d: layout not read before the drive is opened", driveNumber);
        return false;
    }
    // A drive opened through udisks2 is probed on its own descriptor: the node itself
    // does not open for this user.
    const bool probed = probeDriveLayout(catalog_, identity_.name, identity_.nodePath, mounts(),
                                         entries, deferred_ ? fd_ : -1);
    // A probe on the drive's own descriptor moved its file position.
    if (deferred_) {
        nextSector = UINT64_MAX;
    }
    if (!probed) {
        logMessage("mediaWritable %d: IOCTL_DISK_GET_DRIVE_LAYOUT error", driveNumber);
        return false;
    }
    logMessage("mediaWritable %d - PARTITION INFORMATION", driveNumber);
    bool used = false;
    for (size_t i = 0; i < entries.size(); ++i) {
        const PartitionEntry& e = entries[i];
        if (e.partitionType == 0) {
            continue;
        }
        used = true;
        logMessage(
            " Partition %d, start %llu, length %llu, hidden %u, type %u, boot %u, recognized "
            "%u, rewrite %u",
            static_cast<int>(i), static_cast<unsigned long long>(e.startingOffset),
            static_cast<unsigned long long>(e.partitionLength), e.hiddenSectors, e.partitionType,
            e.bootIndicator, e.recognizedPartition, e.rewritePartition);
    }
    if (used) {
        logMessage("mediaWriteable %d: returning false, valid partition found", driveNumber);
        return false;
    }
    logMessage("mediaWriteable %d: returning true", driveNumber);
    return true;
}

MountTable LinuxDrive::mounts() const {
    return MountTable::load(catalog_.procRoot() + "/self/mountinfo",
                            catalog_.procRoot() + "/swaps");
}

// An image file is nobody's system disk.
std::string LinuxDrive::writeRefusal() {
    return identity_.sysPath.empty() ? std::string()
                                     : systemUseOf(catalog_, identity_.name, mounts());
}

const char* LinuxDrive::mountPointsText() {
    std::memset(mountPoints, 0, sizeof mountPoints);
    const MountTable mounts = this->mounts();
    if (firstNamespaceDump()) {
        for (const std::string& line : namespaceDumpLines(catalog_, mounts)) {
            logMessage("%s", line.c_str());
        }
    }
    // An image file is nobody's mount.
    if (!identity_.sysPath.empty()) {
        const std::string text = driveMountPointsText(catalog_, identity_.name, mounts);
        std::snprintf(mountPoints, sizeof mountPoints, "%s", text.c_str());
    }
    logMessage("mountPointsText %d: %s", driveNumber, mountPoints);
    return mountPoints;
}

}  // namespace vorn
