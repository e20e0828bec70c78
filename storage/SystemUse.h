#pragma once

#include <string>

namespace vorn {

class DriveCatalog;
class MountTable;

// What makes a drive part of the running system, in words for the user ("the root
// file system", "active swap", "a partition in use by dm-0"); empty when nothing does.
// Such a drive is never written, whatever its bus: the root file system, /boot, /usr
// and active swap on the disk or one of its partitions, or a disk or partition held by
// another device (LVM, RAID, dm-crypt).
std::string systemUseOf(const DriveCatalog& catalog, const std::string& driveName,
                        const MountTable& mounts);

}  // namespace vorn
