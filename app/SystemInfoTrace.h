#pragma once

#include <string>
#include <vector>

namespace vorn {

// One category of the system-information trace and the device names it found.
struct SystemCategory {
    std::string name;
    std::vector<std::string> devices;
};

// The eight categories a device-list refresh traces, in their order: one query per
// category, processors (ACPI) included for all but "System".
std::vector<SystemCategory> systemInformation(const std::string& sysfsRoot = "/sys",
                                              const std::string& procRoot = "/proc");

// Writes the trace to the diagnostic log: the category name, then one line per name.
void logSystemInformation(const std::string& sysfsRoot = "/sys",
                          const std::string& procRoot = "/proc");

}  // namespace vorn
