#pragma once

#include <cstdint>
#include <string>

#include "storage/VornDevice.h"

namespace vorn {

// A device seen only up to a sector limit: what a medium found to hold less than it
// claims is tested as, so no benchmark zone lies in storage that is not there.
// Every other question and the transfers go to the device itself; a transfer that
// reaches past the limit fails without reaching the device.
class LimitedDevice : public I_VornDevice {
public:
    explicit LimitedDevice(I_VornDevice& device) : device_(device) {}
    void setLimit(uint64_t sectors) { limit_ = sectors; }

    bool deviceRemovable() override { return device_.deviceRemovable(); }
    const char* deviceId() override { return device_.deviceId(); }
    const char* mountPointsText() override { return device_.mountPointsText(); }
    uint32_t deviceBusType() override { return device_.deviceBusType(); }
    bool mediaPresent() override { return device_.mediaPresent(); }
    bool mediaWritable() override { return device_.mediaWritable(); }
    uint32_t mediaBlockSize() override { return device_.mediaBlockSize(); }
    uint64_t mediaSectors() override;
    bool read(uint64_t sector, uint32_t count, void* destination) override;
    bool write(uint64_t sector, uint32_t count, const void* source) override;
    bool enableWrite(uint32_t confirmation, uint32_t blockSize, uint32_t reserved) override {
        return device_.enableWrite(confirmation, blockSize, reserved);
    }
    bool disableWrite() override { return device_.disableWrite(); }
    bool flush() override { return device_.flush(); }
    int lastError() const override { return device_.lastError(); }
    std::string writeRefusal() override { return device_.writeRefusal(); }
    bool claimForWrite(std::string& why) override { return device_.claimForWrite(why); }
    bool openForTransfers(std::string& why) override { return device_.openForTransfers(why); }
    // The device's queue, refusing transfers past the limit like read and write do.
    std::unique_ptr<I_TransferQueue> openQueue(uint32_t depth, uint32_t slotBytes,
                                               std::string& why) override;
    // The record describes the device as it reports itself.
    DriveLink driveLink() override { return device_.driveLink(); }
    bool saveDeviceInfo(I_VornCollection* collection, const char* prefix) override {
        return device_.saveDeviceInfo(collection, prefix);
    }

private:
    bool inside(uint64_t sector, uint32_t count);

    I_VornDevice& device_;
    uint64_t limit_ = UINT64_MAX;
};

}  // namespace vorn
