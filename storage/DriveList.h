#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "storage/DriveCatalog.h"
#include "storage/DriveLink.h"

namespace vorn {

// The drive numbers every listing tries: 0 to 30.
inline constexpr int kLastListedDrive = 30;

// The transfer buffer of a drive opened only to read its facts: enough to open it; no
// transfer happens.
inline constexpr uint32_t kListingBufferBytes = 65536;

// One drive as the main window, `list`, `watch` and `run` show it.
struct ListedDrive {
    int number = 0;
    std::string text;         // deviceListText: "(mount points) identity (size)"
    std::string name;         // kernel name, "sdb"
    std::string nodePath;     // "/dev/sdb"
    std::string identity;     // the drive's identification as deviceId answers it
    std::string mountPoints;  // the drive's mount points as the text shows them
    bool removable = false;
    bool writable = false;
    uint32_t blockSize = 0;
    uint64_t sectors = 0;  // 0: no medium
    DriveLink link;        // empty when sysfs tells nothing of it

    bool operator==(const ListedDrive&) const = default;
};

// The drives of `catalog` that open, in drive-number order. Each is opened as a live
// drive, so an open diagnostic log receives their dumps as at every listing.
std::vector<ListedDrive> listDrives(const DriveCatalog& catalog = systemCatalog());

// The same drive in two listings: the same node and identification. Its medium, size
// and mount points may differ (a card swapped in a reader is still that reader).
bool sameDrive(const ListedDrive& a, const ListedDrive& b);

// The entry of `drives` that is the same drive as `wanted`; -1 when it is gone.
int findDrive(const std::vector<ListedDrive>& drives, const ListedDrive& wanted);

}  // namespace vorn
