// What a live drive tells about itself: the diagnostic dump, the once-per-process
// enumeration pass and the device-information record.

#include <cstdio>

#include "base/DiagLog.h"
#include "base/VornCollection.h"
#include "storage/DeviceInfoData.h"
#include "storage/DriveLinkRead.h"
#include "storage/LinuxDrive.h"

namespace vorn {

void LinuxDrive::writeDiagnosticDump() {
    logMessage("DEBUG INFO FOR DEVICE %d", driveNumber);
    if (!hardwareId.empty()) {
        logMessage(" HARDWARE ID: %s", hardwareId.c_str());
    }
    if (!devicePath.empty()) {
        logMessage(" DEVICE PATH: %s", devicePath.c_str());
    }
    logMessage(" DEVICE ID: %s", deviceId());
    if (adapterDescriptor) {
        dumpAdapterDescriptor();
    }
    if (deviceDescriptor) {
        dumpDeviceDescriptor();
    }
    mediaBlockSize();
    logMessage("-");
}

void LinuxDrive::dumpAdapterDescriptor() {
    const uint8_t* a = adapterDescriptor->data();
    const uint32_t n = kAdapterDescriptorSize;
    logMessage(" STORAGE_ADAPTER_DESCRIPTOR -");
    logMessage("  MaximumTransferLength: %u", descriptorU32(a, n, 8));
    logMessage("  MaximumPhysicalPages: %u", descriptorU32(a, n, 12));
    logMessage("  AlignmentMask: %u", descriptorU32(a, n, 16));
    logMessage("  AdapterUsesPio: %u", descriptorU8(a, n, 20));
    logMessage("  AdapterScansDown: %u", descriptorU8(a, n, 21));
    logMessage("  CommandQueueing: %u", descriptorU8(a, n, 22));
    logMessage("  AcceleratedTransfer: %u", descriptorU8(a, n, 23));
    const uint32_t bus = descriptorU8(a, n, 24);
    if (const char* name = busTypeName(bus)) {
        logMessage("  BusType: %s", name);
    } else {
        logMessage("  ** Invalid BusType %u", bus);
    }
    logMessage("  Bus version: %u %u", descriptorU32(a, n, 26) & 0xFFFF,
               descriptorU32(a, n, 28) & 0xFFFF);
}

void LinuxDrive::dumpDeviceDescriptor() {
    const uint8_t* d = deviceDescriptor->bytes.data();
    const uint32_t n = deviceDescriptor->length;
    logMessage(" STORAGE_DEVICE_DESCRIPTOR");
    logMessage("  DeviceType: %u,%u", descriptorU8(d, n, 8), descriptorU8(d, n, 9));
    logMessage("  RemovableMedia: %u", descriptorU8(d, n, kDescRemovableMedia));
    logMessage("  CommandQueueing: %u", descriptorU8(d, n, 11));
    const uint32_t bus = descriptorU32(d, n, kDescBusType);
    if (const char* name = busTypeName(bus)) {
        logMessage("  BusType: %s", name);
    } else {
        logMessage(" ** Invalid BusType %u", bus);
    }
}

// Lists every whole disk of the machine in the diagnostic log, once per process.
// It borrows this object and leaves it reset; callers see nothing of it.
void LinuxDrive::enumerationPass() {
    const std::vector<std::string> names = catalog_.driveNames();
    for (int i = 0;; ++i) {
        logMessage("SetupDixxxx info for device %d", i);
        driveNumber = i;
        std::optional<DriveIdentity> identity;
        if (static_cast<size_t>(i) < names.size()) {
            identity = catalog_.identify(names[i]);
        }
        bool opened = false;
        if (identity) {
            identity_ = *identity;
            devicePath = identity->nodePath;
            hardwareId = identity->name;
            opened = openNode();
            if (opened) {
                queryDescriptors();
                writeDiagnosticDump();
            }
        }
        reset();
        identity_ = DriveIdentity{};
        if (!opened) {
            logMessage("** Device %d does not exist.", i);
            return;
        }
    }
}

DriveLink LinuxDrive::driveLink() {
    if (identity_.sysPath.empty()) {
        return {};
    }
    return readDriveLink(catalog_.sysfsRoot(), identity_.sysPath).value_or(DriveLink{});
}

bool LinuxDrive::saveDeviceInfo(I_VornCollection* collection, const char* prefix) {
    if (collection == nullptr) {
        return false;
    }
    return writeInfoEntries(collection, prefix != nullptr ? prefix : kDefaultDevicePrefix);
}

bool LinuxDrive::writeInfoEntries(I_VornCollection* collection, const char* prefix) {
    char key[kEntryNameBuffer];
    bool ok = true;
    std::snprintf(key, sizeof key, "%s-sdd", prefix);
    ok &= deviceDescriptor ? collection->addEntry(key, nullptr, deviceDescriptor->length,
                                                  deviceDescriptor->bytes.data())
                           : collection->addEntry(key, nullptr, 0, nullptr);
    std::snprintf(key, sizeof key, "%s-add", prefix);
    const std::array<uint8_t, kAdapterDescriptorSize> noAdapter{};
    ok &= collection->addEntry(key, nullptr, kAdapterDescriptorSize,
                               adapterDescriptor ? adapterDescriptor->data() : noAdapter.data());
    std::snprintf(key, sizeof key, "%s-hid", prefix);
    ok &= collection->addEntry(key, hardwareId.c_str(), 0, nullptr);
    std::snprintf(key, sizeof key, "%s-dpath", prefix);
    ok &= collection->addEntry(key, devicePath.c_str(), 0, nullptr);

    DeviceInfoData data;
    data.deviceRemovable = deviceRemovable() ? 1 : 0;
    data.reservedFlagA = kReservedFlagValue;
    data.mediaPresent = mediaPresent() ? 1 : 0;
    data.mediaWritable = mediaWritable() ? 1 : 0;
    data.reservedFlagC = kReservedFlagValue;
    data.reservedFlagD = kReservedFlagValue;
    data.mediaBlockSize = mediaBlockSize();
    data.mediaSectors = mediaSectors();
    std::snprintf(key, sizeof key, "%s-data", prefix);
    ok &= collection->addEntry(key, nullptr, sizeof data, &data);
    return ok;
}

}  // namespace vorn
