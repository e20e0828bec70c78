#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vorn {

// Display names of the machine's devices whose setup class matches any of a set of
// filters. Used once: add filters, take the first name, take names until there are
// none, destroy. Names are handed out in the order found, PCI devices before
// processors, each distinct name once.
class I_VornHardwareQuery {
public:
    virtual ~I_VornHardwareQuery() = default;
    // Up to 16 filters, matched case-insensitively as parts of a device's setup
    // class; further ones are ignored.
    virtual void addClassFilter(std::string_view filter) = 0;
    // Scans the devices afresh and answers the first name, or nullptr. A name stays
    // valid until the next firstDevice or the query's destruction.
    virtual const char* firstDevice(bool includeAcpi) = 0;
    virtual const char* nextDevice() = 0;
};

// A query over <sysfsRoot>/bus/pci/devices and the processors of
// <sysfsRoot>/bus/acpi/devices, the latter named by <procRoot>/cpuinfo.
std::unique_ptr<I_VornHardwareQuery> newHardwareQuery(const std::string& sysfsRoot = "/sys",
                                                      const std::string& procRoot = "/proc");

// What the test details window proposes about the machine: the first processor's
// name ("" when none is found) and the names of its "System" devices in query order.
struct MachineDescription {
    std::string processor;
    std::vector<std::string> systemDevices;

    bool operator==(const MachineDescription&) const = default;
};

// Two queries over the machine's sysfs and proc trees; slow on a machine with many
// devices, so windows run it off their thread.
MachineDescription describeMachine(const std::string& sysfsRoot = "/sys",
                                   const std::string& procRoot = "/proc");

// The setup class of a PCI class code (0xCCSSPP: class, subclass, programming
// interface): "hdc", "SCSIAdapter", "USB", "1394", "System", "Processor", "Net",
// "Display", "MEDIA" or "Unknown".
const char* pciSetupClass(uint32_t classCode);

}  // namespace vorn
