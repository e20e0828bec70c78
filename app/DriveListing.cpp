#include "app/DriveListing.h"

#include "app/SystemInfoTrace.h"
#include "base/DiagLog.h"

namespace vorn {

bool DriveListing::writable(int index) const {
    return index >= 0 && index < static_cast<int>(drives.size()) &&
           drives[static_cast<size_t>(index)].writable;
}

DriveListing listIntoLog(const DriveCatalog& catalog, const char* logFile,
                         const ListingHeading* heading) {
    openLog(logFile);
    if (heading != nullptr) {
        logMessage("%s", heading->windowTitle.c_str());
        logSystemInformation(catalog.sysfsRoot(), catalog.procRoot());
    }
    DriveListing listing;
    listing.drives = listDrives(catalog);
    listing.entries = deviceEntries(listing.drives);
    listing.drives.resize(listing.entries.size());
    closeLog();
    return listing;
}

}  // namespace vorn
