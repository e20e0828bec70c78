#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "medium/Counterfeit.h"
#include "storage/VornDevice.h"

namespace vorn::test {

// The test medium's lies without FUSE: a device of 512-byte sectors over memory of
// its real size, claiming more and answering past the real end as a
// counterfeit does, behind a write cache of either kind. Fast enough for the whole
// table of counterfeit kinds, caches and sizes; the FUSE medium proves the same
// through the kernel.
class CounterfeitDevice : public I_VornDevice {
public:
    struct Options {
        uint64_t realBytes = 0;
        uint64_t claimedBytes = 0;
        medium::Beyond beyond = medium::Beyond::Drop;
        uint64_t cacheBytes = 0;
        bool cacheBeyondOnly = false;
        uint64_t failWritesAfter = UINT64_MAX;  // requests (reads and writes) before it
        uint64_t failReadsAfter = UINT64_MAX;   // reads before every read fails
        uint64_t vanishAfter = UINT64_MAX;      // then every request fails with ENODEV
    };

    explicit CounterfeitDevice(const Options& options);
    ~CounterfeitDevice() override;
    CounterfeitDevice(const CounterfeitDevice&) = delete;
    CounterfeitDevice& operator=(const CounterfeitDevice&) = delete;

    bool ready() const { return storage_.size() == options_.realBytes; }
    uint64_t requests() const { return requests_; }
    uint64_t requestsAfterVanishing() const { return deadRequests_; }

    bool deviceRemovable() override { return true; }
    const char* deviceId() override { return "Counterfeit Test Device"; }
    const char* mountPointsText() override { return ""; }
    uint32_t deviceBusType() override { return 0; }
    bool mediaPresent() override { return true; }
    bool mediaWritable() override { return true; }
    uint32_t mediaBlockSize() override { return 512; }
    uint64_t mediaSectors() override { return options_.claimedBytes / 512; }
    bool read(uint64_t sector, uint32_t count, void* destination) override;
    bool write(uint64_t sector, uint32_t count, const void* source) override;
    bool enableWrite(uint32_t, uint32_t, uint32_t) override { return armed_ = true; }
    bool disableWrite() override { return !(armed_ = false); }
    bool flush() override;
    int lastError() const override { return lastError_; }
    bool saveDeviceInfo(I_VornCollection*, const char*) override { return false; }

private:
    bool request(bool write, uint64_t sector, uint32_t count);

    Options options_;
    medium::CounterfeitStore store_;
    std::vector<char> storage_;
    bool armed_ = false;
    uint64_t requests_ = 0;
    uint64_t reads_ = 0;
    uint64_t deadRequests_ = 0;
    int lastError_ = 0;
    std::vector<char> buffer_;
};

}  // namespace vorn::test
