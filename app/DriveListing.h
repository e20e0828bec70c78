#pragma once

#include <string>
#include <vector>

#include "app/RunJob.h"
#include "storage/DriveCatalog.h"
#include "storage/DriveList.h"

namespace vorn {

// One listing as a front end shows it: the device list's entries and the drive behind
// each, in list order (both the same length).
struct DriveListing {
    std::vector<ListedDrive> drives;
    std::vector<DeviceEntry> entries;

    // Whether entry `index` may take the write test, as the listing found it; false
    // for an index outside the list.
    bool writable(int index) const;
};

// A window's listing starts its log with the window's title and the machine's
// devices; the terminal's lists only the drives.
struct ListingHeading {
    std::string windowTitle;
};

// Lists the drives of `catalog` with the diagnostic log `logFile` opened afresh for
// the listing's lines (each drive's dump) and closed after. With a heading, its lines
// come first.
DriveListing listIntoLog(const DriveCatalog& catalog, const char* logFile,
                         const ListingHeading* heading = nullptr);

}  // namespace vorn
