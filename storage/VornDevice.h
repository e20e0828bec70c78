#pragma once

#include <cstdint>
#include <string>

namespace vorn {

class I_VornCollection;

// A storage device as every benchmark sees it: questions about the device and its
// medium, and timed whole-sector transfers through a transfer buffer the device
// owns. Sector numbers are 64-bit so the whole of a large medium can be reached.
// The operations keep their fixed order; the aux operations have no callers and
// hold their places only.
class I_VornDevice {
public:
    virtual ~I_VornDevice() = default;

    // 1 when the medium is removable.
    virtual uint32_t deviceRemovable() = 0;
    virtual uint32_t auxFlagA() = 0;
    // Identification text; valid until the next call or the device's destruction.
    virtual const char* deviceId() = 0;
    // Where the device's file systems are reachable, joined by ","; may be empty.
    virtual const char* mountPointsText() = 0;
    virtual uint32_t deviceBusType() = 0;
    virtual uint32_t auxFlagB() = 0;
    virtual uint32_t mediaPresent() = 0;
    virtual uint32_t auxFlagC() = 0;
    // 1 when the write test may write this device.
    virtual uint32_t mediaWritable() = 0;
    virtual uint32_t auxFlagD() = 0;
    // Bytes per sector; 0 when unknown or no medium.
    virtual uint32_t mediaBlockSize() = 0;
    // Capacity in sectors; 0 when unknown or no medium.
    virtual uint64_t mediaSectors() = 0;
    virtual uint64_t auxValue(uint32_t selector) = 0;
    virtual uint32_t auxFlagE() = 0;
    virtual uint32_t auxFlagF() = 0;
    virtual uint32_t auxFlagG() = 0;
    virtual uint32_t auxFlagH() = 0;
    virtual uint32_t auxFlagI() = 0;
    // Timed transfers of whole sectors. A null destination leaves the data in the
    // transfer buffer; a null source writes what the buffer holds. write(0, 0,
    // nullptr) asks whether writing is armed.
    virtual bool read(uint64_t sector, uint32_t count, void* destination) = 0;
    virtual bool write(uint64_t sector, uint32_t count, const void* source) = 0;
    virtual bool enableWrite(uint32_t confirmation, uint32_t blockSize, uint32_t reserved) = 0;
    virtual bool disableWrite() = 0;
    // Timed flush of the device's write cache.
    virtual bool flush() = 0;
    virtual void auxHook() {}
    // Why the write test may never write this device (it holds the running system, for
    // example), in words for the user; empty when nothing forbids it.
    virtual std::string writeRefusal() { return {}; }
    // Readies an armed device for the write test's first write: every file system of
    // the medium unmounted and the device taken for this process alone, so nothing
    // mounts or writes it during the run. False, with the reason in `why`, when that
    // fails; nothing has been written then.
    virtual bool claimForWrite(std::string& why) {
        (void)why;
        return true;
    }
    // Readies the device for transfers: a device whose opening was put off (it needs
    // authorization) is opened now. False, with the reason in `why`, when it does not
    // open.
    virtual bool openForTransfers(std::string& why) {
        (void)why;
        return true;
    }
    // Stores the device-information record; a null prefix means the default one.
    virtual bool saveDeviceInfo(I_VornCollection* collection, const char* prefix) = 0;
};

}  // namespace vorn
