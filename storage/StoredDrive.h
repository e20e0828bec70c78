#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "storage/DeviceInfoData.h"
#include "storage/DriveFacts.h"

namespace vorn {

class I_VornCollection;

// A device rebuilt from the device-information record of a result file, so that a
// finished result can be asked which device it came from, exactly as a live drive
// would be asked. It answers what was stored; it has no transfers.
class StoredDrive : public I_DriveFacts {
public:
    static constexpr uint32_t kTextSize = 1024;

    StoredDrive();

    // Reads the record entries with this prefix, "DRIVEID" and any RAID entries.
    // False when an entry of the record or "DRIVEID" is missing or unreadable.
    [[nodiscard]] bool load(I_VornCollection& collection, const char* prefix);

    bool deviceRemovable() override { return info_.deviceRemovable != 0; }
    const char* deviceId() override;
    const char* mountPointsText() override { return ""; }
    uint32_t deviceBusType() override;
    bool mediaPresent() override { return info_.mediaPresent != 0; }
    bool mediaWritable() override { return info_.mediaWritable != 0; }
    uint32_t mediaBlockSize() override { return info_.mediaBlockSize; }
    uint64_t mediaSectors() override { return info_.mediaSectors; }
    // A stored drive's record is already in its file; it gives no second one.
    bool saveDeviceInfo(I_VornCollection*, const char*) override { return false; }

    // The record as stored, reserved fields included.
    const DeviceInfoData& storedInfo() const { return info_; }
    // What was loaded besides the answers above.
    const std::optional<std::string>& storedHardwareId() const { return hardwareId_; }
    const std::optional<std::string>& storedDevicePath() const { return devicePath_; }
    bool hasDeviceDescriptor() const { return deviceDescriptor_.has_value(); }
    bool hasAdapterDescriptor() const { return adapterDescriptor_.has_value(); }
    bool raidPresent() const { return raidPresent_; }

private:
    bool loadRecord(I_VornCollection& collection, const std::string& prefix);
    void loadRaid(I_VornCollection& collection);
    void buildRaidDescription();

    std::array<char, kTextSize> driveId_{};  // "DRIVEID", or the RAID description
    std::optional<std::string> hardwareId_;
    std::optional<std::string> devicePath_;
    std::optional<std::vector<uint8_t>> deviceDescriptor_;
    std::optional<std::array<uint8_t, 32>> adapterDescriptor_;
    DeviceInfoData info_{};
    bool raidPresent_ = false;
    int32_t raidCount_ = 0;
    uint32_t raidLevel_ = 0;
    std::array<char, kTextSize> raidDrives_{};
    std::array<char, kTextSize> raidController_{};
    uint32_t raidDriveBus_ = 0;
};

// A stored device loaded from an open result collection, or nullptr when the result
// carries no complete device-information record. A null prefix means "2KDEVINFO".
std::unique_ptr<StoredDrive> newStoredDisk(I_VornCollection* collection,
                                           const char* prefix = nullptr);

}  // namespace vorn
