#include "app/SystemInfoTrace.h"

#include <cstring>

#include "base/DiagLog.h"
#include "results/HardwareQuery.h"

namespace vorn {

std::vector<SystemCategory> systemInformation(const std::string& sysfsRoot,
                                              const std::string& procRoot) {
    static const char* const kCategories[] = {"Processor", "ide",  "hdc", "usb",
                                              "1394",      "SCSI", "ATA", "System"};
    std::vector<SystemCategory> categories;
    for (const char* category : kCategories) {
        SystemCategory entry{category, {}};
        auto query = newHardwareQuery(sysfsRoot, procRoot);
        if (query) {
            query->addClassFilter(category);
            const bool includeAcpi = std::strcmp(category, "System") != 0;
            for (const char* name = query->firstDevice(includeAcpi); name != nullptr;
                 name = query->nextDevice()) {
                entry.devices.emplace_back(name);
            }
        }
        categories.push_back(std::move(entry));
    }
    return categories;
}

void logSystemInformation(const std::string& sysfsRoot, const std::string& procRoot) {
    for (const SystemCategory& category : systemInformation(sysfsRoot, procRoot)) {
        logMessage("%s", category.name.c_str());
        for (const std::string& device : category.devices) {
            logMessage("%s", device.c_str());
        }
    }
}

}  // namespace vorn
