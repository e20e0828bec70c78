#include "results/HardwareQuery.h"

#include <algorithm>
#include <cctype>
#include <csetjmp>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <optional>
#include <vector>

extern "C" {
#include <pci/pci.h>
}

#include "base/DiagLog.h"

namespace vorn {
namespace {

namespace fs = std::filesystem;

constexpr size_t kMaxFilters = 16;
constexpr size_t kMaxNames = 128;
constexpr size_t kNameSize = 1024;  // longest name kept is one less

std::string upperCase(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return upper;
}

// Entry names of a folder in name order; none when it cannot be listed.
std::vector<std::string> sortedEntries(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        names.push_back(it->path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// A sysfs number such as "0x010180".
std::optional<uint32_t> readHexFile(const fs::path& file) {
    std::ifstream in(file);
    std::string text;
    if (!(in >> text)) {
        return std::nullopt;
    }
    char* end = nullptr;
    const unsigned long value = std::strtoul(text.c_str(), &end, 16);
    if (end == text.c_str() || *end != '\0' || value > UINT32_MAX) {
        return std::nullopt;
    }
    return static_cast<uint32_t>(value);
}

// The first "model name" of cpuinfo, or empty.
std::string processorName(const fs::path& cpuinfo) {
    std::ifstream in(cpuinfo);
    std::string line;
    while (std::getline(in, line)) {
        const size_t colon = line.find(':');
        if (line.rfind("model name", 0) != 0 || colon == std::string::npos) {
            continue;
        }
        const size_t first = line.find_first_not_of(" \t", colon + 1);
        const size_t last = line.find_last_not_of(" \t\r");
        if (first == std::string::npos || last < first) {
            return std::string();
        }
        return line.substr(first, std::min(last + 1 - first, kNameSize - 1));
    }
    return std::string();
}

bool isAcpiProcessor(const std::string& name) {
    return name.rfind("LNXCPU", 0) == 0 || name.rfind("ACPI0007", 0) == 0;
}

// libpci reports through callbacks whose default for errors ends the process. Ours
// log instead; an error during initialisation jumps back out of the library, since
// older versions of it do not expect the error callback to return.
thread_local std::jmp_buf* pciErrorJump = nullptr;

void logPciMessage(const char* format, va_list args) {
    char text[kNameSize];
    std::vsnprintf(text, sizeof text, format, args);
    logMessage("** libpci: %s", text);
}

// libpci's error handler must not return (libpci declares it noreturn): every call
// into libpci that can fail runs under a jump target, so this never reaches abort.
__attribute__((noreturn)) void onPciError(char* format, ...) {
    va_list args;
    va_start(args, format);
    logPciMessage(format, args);
    va_end(args);
    if (pciErrorJump != nullptr) {
        std::longjmp(*pciErrorJump, 1);
    }
    std::abort();
}

void onPciWarning(char* format, ...) {
    va_list args;
    va_start(args, format);
    logPciMessage(format, args);
    va_end(args);
}

void onPciDebug(char*, ...) {}

bool initPci(pci_access* access) {
    std::jmp_buf jump;
    pciErrorJump = &jump;
    if (setjmp(jump) != 0) {
        pciErrorJump = nullptr;
        return false;
    }
    pci_init(access);
    pciErrorJump = nullptr;
    return true;
}

// Vendor, device and class names from the pci.ids database. No bus is scanned: the
// devices come from sysfs, so a failed access-method probe still leaves the names.
class PciNames {
public:
    PciNames() : access_(pci_alloc()) {
        access_->error = onPciError;
        access_->warning = onPciWarning;
        access_->debug = onPciDebug;
        // Only the local database: no user cache file, no network.
        access_->id_lookup_mode = 0;
        if (!initPci(access_)) {
            logMessage("** libpci could not be initialised; using its name list only");
        }
    }
    ~PciNames() { pci_cleanup(access_); }
    PciNames(const PciNames&) = delete;
    PciNames& operator=(const PciNames&) = delete;

    std::string deviceName(uint32_t vendor, uint32_t device) {
        return lookup(PCI_LOOKUP_VENDOR | PCI_LOOKUP_DEVICE, static_cast<int>(vendor),
                      static_cast<int>(device));
    }
    // The subclass name ("IDE interface"), given the class code 0xCCSSPP.
    std::string className(uint32_t classCode) {
        return lookup(PCI_LOOKUP_CLASS, static_cast<int>(classCode >> 8), 0);
    }

private:
    std::string lookup(int kind, int first, int second) {
        char buffer[kNameSize] = "";
        std::jmp_buf jump;
        pciErrorJump = &jump;
        if (setjmp(jump) != 0) {
            pciErrorJump = nullptr;
            return std::string();
        }
        const char* name =
            pci_lookup_name(access_, buffer, sizeof buffer,
                            kind | PCI_LOOKUP_NO_NUMBERS | PCI_LOOKUP_NO_HWDB, first, second);
        pciErrorJump = nullptr;
        return name != nullptr ? std::string(name).substr(0, kNameSize - 1) : std::string();
    }

    pci_access* access_;
};

class SysfsHardwareQuery final : public I_VornHardwareQuery {
public:
    SysfsHardwareQuery(std::string sysfsRoot, std::string procRoot)
        : sysfsRoot_(std::move(sysfsRoot)), procRoot_(std::move(procRoot)) {}

    void addClassFilter(std::string_view filter) override {
        if (filters_.size() < kMaxFilters) {
            filters_.push_back(upperCase(filter));
        }
    }

    const char* firstDevice(bool includeAcpi) override {
        names_.clear();
        next_ = 0;
        try {
            if (!filters_.empty()) {
                scanPci();
                if (includeAcpi) {
                    scanAcpi();
                }
            }
        } catch (const std::exception& exception) {
            logException("HardwareQuery", exception);
        }
        return nextDevice();
    }

    const char* nextDevice() override {
        return next_ < names_.size() ? names_[next_++].c_str() : nullptr;
    }

private:
    bool matches(const char* setupClass) const {
        const std::string upper = upperCase(setupClass);
        return std::any_of(filters_.begin(), filters_.end(), [&](const std::string& filter) {
            return upper.find(filter) != std::string::npos;
        });
    }

    void addName(const std::string& name) {
        if (name.empty() || names_.size() >= kMaxNames ||
            std::find(names_.begin(), names_.end(), name) != names_.end()) {
            return;
        }
        names_.push_back(name);
    }

    void scanPci() {
        const fs::path folder = fs::path(sysfsRoot_) / "bus/pci/devices";
        for (const std::string& entry : sortedEntries(folder)) {
            const fs::path device = folder / entry;
            const std::optional<uint32_t> classCode = readHexFile(device / "class");
            if (classCode && matches(pciSetupClass(*classCode))) {
                addName(pciName(device, *classCode));
            }
        }
    }

    // "FriendlyName": vendor and device; "DeviceDesc" without one: the class name.
    std::string pciName(const fs::path& device, uint32_t classCode) {
        if (!pci_) {
            pci_ = std::make_unique<PciNames>();
        }
        const std::optional<uint32_t> vendor = readHexFile(device / "vendor");
        const std::optional<uint32_t> id = readHexFile(device / "device");
        std::string name;
        if (vendor && id) {
            name = pci_->deviceName(*vendor, *id);
        }
        return name.empty() ? pci_->className(classCode) : name;
    }

    void scanAcpi() {
        if (!matches("Processor")) {
            return;
        }
        const fs::path folder = fs::path(sysfsRoot_) / "bus/acpi/devices";
        std::optional<std::string> model;
        for (const std::string& entry : sortedEntries(folder)) {
            if (!isAcpiProcessor(entry)) {
                continue;
            }
            if (!model) {
                model = processorName(fs::path(procRoot_) / "cpuinfo");
            }
            addName(*model);
        }
    }

    std::string sysfsRoot_;
    std::string procRoot_;
    std::vector<std::string> filters_;
    std::vector<std::string> names_;
    size_t next_ = 0;
    std::unique_ptr<PciNames> pci_;  // made when the first name is needed
};

}  // namespace

const char* pciSetupClass(uint32_t classCode) {
    const uint32_t base = (classCode >> 16) & 0xFF;
    const uint32_t sub = (classCode >> 8) & 0xFF;
    switch (base) {
        case 0x01:
            return sub == 0x01 || sub == 0x05 || sub == 0x06 ? "hdc" : "SCSIAdapter";
        case 0x02:
            return "Net";
        case 0x03:
            return "Display";
        case 0x04:
            return "MEDIA";
        case 0x05:
        case 0x06:
        case 0x08:
            return "System";
        case 0x0B:
            return "Processor";
        case 0x0C:
            if (sub == 0x03) {
                return "USB";
            }
            if (sub == 0x00) {
                return "1394";
            }
            return sub == 0x05 ? "System" : "Unknown";
        default:
            return "Unknown";
    }
}

std::unique_ptr<I_VornHardwareQuery> newHardwareQuery(const std::string& sysfsRoot,
                                                      const std::string& procRoot) {
    return std::make_unique<SysfsHardwareQuery>(sysfsRoot, procRoot);
}

MachineDescription describeMachine(const std::string& sysfsRoot, const std::string& procRoot) {
    MachineDescription machine;
    if (std::unique_ptr<I_VornHardwareQuery> query = newHardwareQuery(sysfsRoot, procRoot)) {
        query->addClassFilter("Processor");
        if (const char* name = query->firstDevice(true)) {
            machine.processor = name;
        }
    }
    if (std::unique_ptr<I_VornHardwareQuery> query = newHardwareQuery(sysfsRoot, procRoot)) {
        query->addClassFilter("System");
        for (const char* name = query->firstDevice(false); name != nullptr;
             name = query->nextDevice()) {
            machine.systemDevices.emplace_back(name);
        }
    }
    return machine;
}

}  // namespace vorn
