#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "storage/DriveFacts.h"
#include "storage/TransferQueue.h"

namespace vorn {

// The transfers of a block device: timed whole-sector reads and writes through a
// transfer buffer the device owns, its cache flush, and the arming of writes. Sector
// numbers are 64-bit so the whole of a large medium can be reached. Each transfer is
// reported to the device's transfer observer, when it has one.
class I_BlockDevice {
public:
    virtual ~I_BlockDevice() = default;

    // A null destination leaves the data in the transfer buffer; a null source writes
    // what the buffer holds. write(0, 0, nullptr) asks whether writing is armed.
    [[nodiscard]] virtual bool read(uint64_t sector, uint32_t count, void* destination) = 0;
    [[nodiscard]] virtual bool write(uint64_t sector, uint32_t count, const void* source) = 0;
    [[nodiscard]] virtual bool enableWrite(uint32_t confirmation, uint32_t blockSize,
                                           uint32_t reserved) = 0;
    virtual bool disableWrite() = 0;
    // Timed flush of the device's write cache.
    [[nodiscard]] virtual bool flush() = 0;
    // The errno of the last transfer that failed (0: none failed, or not known), so a
    // caller can tell a medium that has gone (ENODEV, ENOMEDIUM) from one bad request.
    virtual int lastError() const { return 0; }
    // Readies an armed device for the write test's first write: every file system of
    // the medium unmounted and the device taken for this process alone, so nothing
    // mounts or writes it during the run. False, with the reason in `why`, when that
    // fails; nothing has been written then.
    [[nodiscard]] virtual bool claimForWrite(std::string& why) {
        (void)why;
        return true;
    }
    // Readies the device for transfers: a device whose opening was put off (it needs
    // authorization) is opened now. False, with the reason in `why`, when it does not
    // open.
    [[nodiscard]] virtual bool openForTransfers(std::string& why) {
        (void)why;
        return true;
    }
    // A queue of up to `depth` transfers of `slotBytes` each through the transfer
    // buffer (which must hold depth * slotBytes). Made before any timing starts;
    // nullptr, with the reason in `why`, when the device cannot queue.
    virtual std::unique_ptr<I_TransferQueue> openQueue(uint32_t depth, uint32_t slotBytes,
                                                       std::string& why) {
        (void)depth;
        (void)slotBytes;
        why = "this device cannot queue transfers";
        return nullptr;
    }
};

// A drive the benchmarks can run on: its facts and its transfers.
class I_VornDevice : public I_DriveFacts, public I_BlockDevice {};

// What enableWrite takes as its confirmation: the user agreed to lose the medium's data.
inline constexpr uint32_t kWriteConsented = 1;

// Arms writing at the medium's own sector size, once the user agreed.
[[nodiscard]] inline bool armWrites(I_VornDevice& device) {
    return device.enableWrite(kWriteConsented, device.mediaBlockSize(), 0);
}

}  // namespace vorn
