#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "storage/DeviceInfoData.h"
#include "storage/VornDevice.h"

namespace vorn {

class I_VornCollection;

// A device rebuilt from the device-information record of a result file, so that a
// finished result can be asked which device it came from, exactly as a live drive
// would be asked. It answers what was stored and never transfers data.
class StoredDrive : public I_VornDevice {
public:
    static constexpr uint32_t kTextSize = 1024;

    StoredDrive();

    // Reads the record entries with this prefix, "DRIVEID" and any RAID entries.
    // False when an entry of the record or "DRIVEID" is missing or unreadable.
    [[nodiscard]] bool load(I_VornCollection& collection, const char* prefix);

    uint32_t deviceRemovable() override { return info_.deviceRemovable; }
    uint32_t auxFlagA() override { return info_.auxFlagA; }
    const char* deviceId() override;
    const char* mountPointsText() override { return ""; }
    uint32_t deviceBusType() override;
    uint32_t auxFlagB() override { return 0; }
    uint32_t mediaPresent() override { return info_.mediaPresent; }
    uint32_t auxFlagC() override { return info_.auxFlagC; }
    uint32_t mediaWritable() override { return info_.mediaWritable; }
    uint32_t auxFlagD() override { return info_.auxFlagD; }
    uint32_t mediaBlockSize() override { return info_.mediaBlockSize; }
    uint64_t mediaSectors() override { return info_.mediaSectors; }
    uint64_t auxValue(uint32_t selector) override {
        return selector != 0 ? info_.auxValue1 : info_.auxValue0;
    }
    uint32_t auxFlagE() override { return 0; }
    uint32_t auxFlagF() override { return 0; }
    uint32_t auxFlagG() override { return 0; }
    uint32_t auxFlagH() override { return 0; }
    uint32_t auxFlagI() override { return 1; }
    bool read(uint64_t, uint32_t, void*) override { return false; }
    bool write(uint64_t, uint32_t, const void*) override { return false; }
    bool enableWrite(uint32_t, uint32_t, uint32_t) override { return false; }
    bool disableWrite() override { return false; }
    bool flush() override { return false; }
    bool saveDeviceInfo(I_VornCollection*, const char*) override { return false; }

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
