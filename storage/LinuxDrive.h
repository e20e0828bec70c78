#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/LockedBuffer.h"
#include "storage/Descriptors.h"
#include "storage/DriveCatalog.h"
#include "storage/MountTable.h"
#include "storage/VornDevice.h"

namespace vorn {

class I_TransferObserver;

// A live drive: the n-th drive of the drive catalog (or a block device or image file
// given by path), opened for direct sector I/O through a locked, page-aligned buffer.
class LinuxDrive : public I_VornDevice {
public:
    LinuxDrive(const DriveCatalog& catalog, I_TransferObserver* observer);
    ~LinuxDrive() override;
    LinuxDrive(const LinuxDrive&) = delete;
    LinuxDrive& operator=(const LinuxDrive&) = delete;

    // The open sequence; false when the drive does not open.
    bool openDrive(int number, uint32_t size);
    bool openPath(const std::string& path, uint32_t size);

    int getDriveNumber() const { return driveNumber; }
    const DriveIdentity& identity() const { return identity_; }
    const char* getHardwareId() const { return hardwareId.c_str(); }
    const char* getDevicePath() const { return devicePath.c_str(); }

    bool deviceRemovable() override;
    const char* deviceId() override;
    const char* mountPointsText() override;
    uint32_t deviceBusType() override;
    bool mediaPresent() override { return mediaSectors() != 0; }
    bool mediaWritable() override;
    uint32_t mediaBlockSize() override;
    uint64_t mediaSectors() override;
    bool read(uint64_t sector, uint32_t count, void* destination) override;
    bool write(uint64_t sector, uint32_t count, const void* source) override;
    bool enableWrite(uint32_t confirmation, uint32_t blockSize, uint32_t reserved) override;
    bool disableWrite() override;
    bool flush() override;
    int lastError() const override { return lastError_; }
    bool saveDeviceInfo(I_VornCollection* collection, const char* prefix) override;
    DriveLink driveLink() override;
    std::string writeRefusal() override;
    bool claimForWrite(std::string& why) override;
    bool openForTransfers(std::string& why) override;
    std::unique_ptr<I_TransferQueue> openQueue(uint32_t depth, uint32_t slotBytes,
                                               std::string& why) override;

private:
    struct Geometry {
        uint64_t cylinders = 0;
        uint32_t mediaType = 0;
        uint32_t tracksPerCylinder = 0;
        uint32_t sectorsPerTrack = 0;
        uint32_t bytesPerSector = 0;
    };

    bool prepareBuffer(uint32_t size);
    bool openIdentity(int number, const DriveIdentity& identity);
    bool openNode();
    void reset();
    void queryDescriptors();
    void writeDiagnosticDump();
    void dumpAdapterDescriptor();
    void dumpDeviceDescriptor();
    void enumerationPass();
    bool queryGeometry(Geometry& geometry) const;
    bool writeInfoEntries(I_VornCollection* collection, const char* prefix);
    bool logPartitionRule();
    MountTable mounts() const;
    // Write-test claim (LinuxDriveClaim.cpp).
    bool unmountAll(std::string& why);
    bool reopenExclusive(std::string& why);
    bool unmountOne(const std::string& node, const std::string& point, std::string& why);
    // Open, or opened deferred: usable for questions, the descriptor still to come.
    bool isOpen() const { return fd_ >= 0 || deferred_; }
    // The descriptor for a transfer; a deferred drive asks udisks2 for it now.
    bool ensureDescriptor();
    // Size and sector size from sysfs, for a deferred drive.
    bool sysfsGeometry(uint64_t& bytes, uint32_t& sectorSize) const;
    // Once-per-process diagnostics: true for the first caller only.
    static bool firstEnumeration();
    static bool firstNamespaceDump();

    // Transfer path (LinuxDriveIo.cpp).
    bool transfer(bool isWrite, uint64_t sector, uint32_t count, void* destination,
                  const void* source);
    bool prepareTransfer(uint64_t sector, uint32_t count);

    const DriveCatalog& catalog_;
    DriveIdentity identity_;

    uint32_t writeEnabled = 0;
    int32_t driveNumber = 0;
    uint32_t bufferSize = 0;
    I_TransferObserver* observer_ = nullptr;
    char nameText[1024] = {};
    char mountPoints[1024] = {};
    std::string hardwareId;
    std::string devicePath;
    int fd_ = -1;
    int lastError_ = 0;
    bool readOnlyOpen_ = false;
    // Opened without O_DIRECT (a file system that cannot do direct I/O).
    bool buffered_ = false;
    // A reader without a card: the node exists but holds no medium.
    bool noMedium_ = false;
    // Not root: the node is opened through udisks2 at the first transfer, so that
    // listing drives never asks for authorization. accessError_ says why it failed.
    bool deferred_ = false;
    std::string accessError_;
    uint32_t cachedBlockSize = 0;
    uint64_t nextSector = 0;
    std::unique_ptr<platform::LockedBuffer> ioBuffer;
    std::optional<DeviceDescriptor> deviceDescriptor;
    std::optional<std::array<uint8_t, kAdapterDescriptorSize>> adapterDescriptor;
};

// Opens drive `driveNumber` of the catalog with a transfer buffer of `bufferSize`
// bytes; nullptr when the drive does not open.
std::unique_ptr<LinuxDrive> newLinuxDrive(int driveNumber, I_TransferObserver* observer,
                                          uint32_t bufferSize,
                                          const DriveCatalog& catalog = systemCatalog());

// Opens a block device or image file given by its path.
std::unique_ptr<LinuxDrive> newLinuxDriveForPath(const std::string& path,
                                                 I_TransferObserver* observer, uint32_t bufferSize,
                                                 const DriveCatalog& catalog = systemCatalog());

// The diagnostic enumeration pass and the namespace dump run once per process;
// tests that check their lines start them afresh.
void resetDriveDiagnostics();

}  // namespace vorn
