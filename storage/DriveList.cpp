#include "storage/DriveList.h"

#include "storage/DeviceListText.h"
#include "storage/LinuxDrive.h"
#include "storage/MountTable.h"

namespace vorn {
namespace {

// Enough to open a drive and read its facts; no transfer happens.
constexpr uint32_t kListBuffer = 65536;

ListedDrive listed(int number, LinuxDrive& disk) {
    ListedDrive drive;
    drive.number = number;
    drive.text = deviceListText(disk);
    drive.name = disk.identity().name;
    drive.nodePath = disk.identity().nodePath;
    drive.identity = disk.deviceId() != nullptr ? disk.deviceId() : "";
    drive.removable = disk.deviceRemovable() != 0;
    drive.writable = disk.mediaWritable() != 0;
    drive.blockSize = disk.mediaBlockSize();
    drive.sectors = disk.mediaSectors();
    return drive;
}

}  // namespace

std::vector<ListedDrive> listDrives(const DriveCatalog& catalog) {
    std::vector<ListedDrive> drives;
    for (int number = 0; number <= kLastListedDrive; ++number) {
        if (auto disk = newLinuxDrive(number, nullptr, kListBuffer, catalog)) {
            drives.push_back(listed(number, *disk));
        }
    }
    // Read once for the whole list: asking each drive again would log its letters twice.
    const MountTable mounts =
        MountTable::load(catalog.procRoot() + "/self/mountinfo", catalog.procRoot() + "/swaps");
    for (ListedDrive& drive : drives) {
        drive.mountPoints = driveMountPointsText(catalog, drive.name, mounts);
    }
    return drives;
}

bool sameDrive(const ListedDrive& a, const ListedDrive& b) {
    return a.nodePath == b.nodePath && a.identity == b.identity;
}

int findDrive(const std::vector<ListedDrive>& drives, const ListedDrive& wanted) {
    for (size_t i = 0; i < drives.size(); ++i) {
        if (sameDrive(drives[i], wanted)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

}  // namespace vorn
