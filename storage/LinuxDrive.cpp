#include "storage/LinuxDrive.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/DiagLog.h"
#include "storage/LinuxDriveBroker.h"

namespace vorn {
namespace {

std::atomic<bool> g_enumerationDone{false};
std::atomic<bool> g_namespaceDumped{false};

}  // namespace

void resetDriveDiagnostics() {
    g_enumerationDone = false;
    g_namespaceDumped = false;
}

bool LinuxDrive::firstEnumeration() {
    return !g_enumerationDone.exchange(true);
}
bool LinuxDrive::firstNamespaceDump() {
    return !g_namespaceDumped.exchange(true);
}

LinuxDrive::LinuxDrive(const DriveCatalog& catalog, I_TransferObserver* observer)
    : catalog_(catalog), observer_(observer) {}

LinuxDrive::~LinuxDrive() {
    reset();
}

std::unique_ptr<LinuxDrive> newLinuxDrive(int number, I_TransferObserver* observer, uint32_t size,
                                          const DriveCatalog& catalog) {
    auto disk = std::make_unique<LinuxDrive>(catalog, observer);
    if (!disk->openDrive(number, size)) {
        return nullptr;
    }
    return disk;
}

std::unique_ptr<LinuxDrive> newLinuxDriveForPath(const std::string& path,
                                                 I_TransferObserver* observer, uint32_t size,
                                                 const DriveCatalog& catalog) {
    auto disk = std::make_unique<LinuxDrive>(catalog, observer);
    if (!disk->openPath(path, size)) {
        return nullptr;
    }
    return disk;
}

bool LinuxDrive::prepareBuffer(uint32_t size) {
    if (ioBuffer && size <= bufferSize) {
        return true;
    }
    ioBuffer.reset();
    bufferSize = size;
    ioBuffer = platform::LockedBuffer::allocate(size);
    if (!ioBuffer) {
        logMessage("** Error allocating i/o buffer %u",
                   platform::LockedBuffer::lastAllocateError());
        return false;
    }
    if (!ioBuffer->locked()) {
        logMessage("** Error locking i/o buffer %u", ioBuffer->lockError());
    }
    return true;
}

bool LinuxDrive::openDrive(int number, uint32_t size) {
    if (!prepareBuffer(size)) {
        return false;
    }
    if (firstEnumeration()) {
        enumerationPass();
    }
    const std::optional<DriveIdentity> identity =
        number >= 0 ? catalog_.drive(number) : std::nullopt;
    return identity && openIdentity(number, *identity);
}

bool LinuxDrive::openPath(const std::string& path, uint32_t size) {
    if (!prepareBuffer(size)) {
        return false;
    }
    if (firstEnumeration()) {
        enumerationPass();
    }
    const std::optional<DriveIdentity> identity = identifyPath(path, catalog_);
    if (!identity) {
        return false;
    }
    // A block device keeps its catalog number, so its events and log lines match the list.
    int number = 0;
    const std::vector<std::string> names = catalog_.driveNames();
    for (size_t i = 0; i < names.size(); ++i) {
        if (names[i] == identity->name && !identity->sysPath.empty()) {
            number = static_cast<int>(i);
        }
    }
    return openIdentity(number, *identity);
}

bool LinuxDrive::openIdentity(int number, const DriveIdentity& identity) {
    reset();
    driveNumber = number;
    identity_ = identity;
    devicePath = identity.nodePath;
    if (!openNode()) {
        identity_ = DriveIdentity{};
        devicePath.clear();
        return false;
    }
    char text[64];
    std::snprintf(text, sizeof text, "PhysicalDevice %d", number);
    hardwareId = text;
    queryDescriptors();
    writeDiagnosticDump();
    mountPointsText();
    return true;
}

// Read-write and direct where possible. A medium the kernel keeps read-only opens
// for reading; a file system that cannot do direct I/O (an image file on tmpfs) opens
// buffered; a reader without a card stays listed with no medium.
bool LinuxDrive::openNode() {
    const char* path = identity_.nodePath.c_str();
    // A block device as a normal user: questions are answered from sysfs now, the
    // descriptor comes from udisks2 at the first transfer.
    if (!identity_.sysPath.empty() && !opensNodesDirectly()) {
        uint64_t bytes = 0;
        uint32_t sectorSize = 0;
        if (access(path, F_OK) != 0 || !sysfsGeometry(bytes, sectorSize)) {
            return false;
        }
        deferred_ = true;
        noMedium_ = bytes == 0;
        return true;
    }
    fd_ = ::open(path, O_RDWR | O_DIRECT | O_CLOEXEC);
    if (fd_ < 0 && (errno == EROFS || errno == EACCES || errno == EPERM)) {
        fd_ = ::open(path, O_RDONLY | O_DIRECT | O_CLOEXEC);
        readOnlyOpen_ = fd_ >= 0;
    }
    if (fd_ < 0 && errno == EINVAL) {
        fd_ = ::open(path, O_RDWR | O_CLOEXEC);
        buffered_ = fd_ >= 0;
    }
    if (fd_ < 0 && errno == ENOMEDIUM) {
        noMedium_ = true;
        return true;
    }
    return fd_ >= 0;
}

void LinuxDrive::reset() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
    fd_ = -1;
    readOnlyOpen_ = false;
    buffered_ = false;
    noMedium_ = false;
    deferred_ = false;
    accessError_.clear();
    hardwareId.clear();
    devicePath.clear();
    deviceDescriptor.reset();
    adapterDescriptor.reset();
    writeEnabled = 0;
    std::memset(nameText, 0, sizeof nameText);
    nextSector = 0;
    cachedBlockSize = 0;
}

bool LinuxDrive::ensureDescriptor() {
    if (fd_ >= 0) {
        return true;
    }
    if (!deferred_ || noMedium_) {
        return false;
    }
    if (!accessError_.empty()) {
        return false;  // asked once and refused: no second prompt per transfer
    }
    const BrokeredNode node = openNodeThroughUDisks(identity_.nodePath, false);
    if (node.fd < 0) {
        accessError_ = node.error;
        return false;
    }
    fd_ = node.fd;
    readOnlyOpen_ = false;
    nextSector = UINT64_MAX;
    return true;
}

bool LinuxDrive::openForTransfers(std::string& why) {
    if (noMedium_) {
        why = "it holds no medium";
        return false;
    }
    if (!ensureDescriptor()) {
        why = accessError_.empty() ? "it does not open" : accessError_;
        return false;
    }
    return true;
}

void LinuxDrive::queryDescriptors() {
    adapterDescriptor = buildAdapterDescriptor(identity_);
    deviceDescriptor = buildDeviceDescriptor(identity_);
}

const char* LinuxDrive::deviceId() {
    if (!deviceDescriptor) {
        std::snprintf(nameText, sizeof nameText, "Unknown");
        return nameText;
    }
    deviceIdFromDescriptor(deviceDescriptor->bytes.data(), deviceDescriptor->length, nameText);
    return nameText;
}

bool LinuxDrive::deviceRemovable() {
    if (!deviceDescriptor) {
        return false;
    }
    return descriptorU8(deviceDescriptor->bytes.data(), deviceDescriptor->length,
                        kDescRemovableMedia) != 0;
}

uint32_t LinuxDrive::deviceBusType() {
    if (!deviceDescriptor) {
        return 0;
    }
    return descriptorU32(deviceDescriptor->bytes.data(), deviceDescriptor->length, kDescBusType);
}

}  // namespace vorn
