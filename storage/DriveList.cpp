#include "storage/DriveList.h"

#include "storage/DeviceListText.h"
#include "storage/LinuxDrive.h"
#include "storage/MountTable.h"

namespace vorn {
namespace {

ListedDrive listed(int number, LinuxDrive& disk) {
    ListedDrive drive;
    drive.number = number;
    drive.text = deviceListText(disk);
    drive.name = disk.identity().name;
    drive.nodePath = disk.identity().nodePath;
    drive.identity = disk.deviceId() != nullptr ? disk.deviceId() : "";
    drive.removable = disk.deviceRemovable();
    drive.writable = disk.mediaWritable();
    drive.blockSize = disk.mediaBlockSize();
    drive.sectors = disk.mediaSectors();
    drive.link = disk.driveLink();
    return drive;
}

}  // namespace

std::vector<ListedDrive> listDrives(const DriveCatalog& catalog) {
    std::vector<ListedDrive> drives;
    for (int number = 0; number <= kLastListedDrive; ++number) {
        if (auto disk = newLinuxDrive(number, nullptr, kListingBufferBytes, catalog)) {
            drives.push_back(listed(number, *disk));
        }
    }
    // Read once for the whole list: asking each drive again would log its mount points twice.
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
