#pragma once

#include <cstdint>
#include <string>

#include "storage/DriveLink.h"

namespace vorn {

class I_VornCollection;

// What is known about a drive and its medium: a live drive answers from the system,
// a stored drive from the device-information record of a result file.
class I_DriveFacts {
public:
    virtual ~I_DriveFacts() = default;

    virtual bool deviceRemovable() = 0;
    // Identification text; valid until the next call or the drive's destruction.
    virtual const char* deviceId() = 0;
    // Where the drive's file systems are reachable, joined by ","; may be empty.
    virtual const char* mountPointsText() = 0;
    virtual uint32_t deviceBusType() = 0;
    virtual bool mediaPresent() = 0;
    // Whether the write test may write this drive.
    virtual bool mediaWritable() = 0;
    // Bytes per sector; 0 when unknown or no medium.
    virtual uint32_t mediaBlockSize() = 0;
    // Capacity in sectors; 0 when unknown or no medium.
    virtual uint64_t mediaSectors() = 0;
    // Why the write test may never write this drive (it holds the running system, for
    // example), in words for the user; empty when nothing forbids it.
    virtual std::string writeRefusal() { return {}; }
    // The link the drive runs on and its medium's identity, as far as sysfs tells them;
    // empty for a drive without a sysfs entry (an image file, a drive in memory).
    virtual DriveLink driveLink() { return {}; }
    // Stores the device-information record; a null prefix means the default one.
    // False when the drive has no record to give or an entry could not be added.
    [[nodiscard]] virtual bool saveDeviceInfo(I_VornCollection* collection, const char* prefix) = 0;
};

}  // namespace vorn
