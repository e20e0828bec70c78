#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "storage/EventLog.h"
#include "storage/VornDevice.h"

namespace vorn {}

namespace vorn::test {

class ManualCounter;

// One transfer as the test device saw it.
struct Transfer {
    uint8_t kind;  // EventKind
    uint64_t sector;
    uint32_t count;
};

// A memory-backed stand-in for a drive. It follows the live drive's transfer path
// (size check, counter readings around the transfer, one event per transfer and
// flush) and lets a test script each transfer's duration, failures and a hook
// that runs after a chosen transfer (to cancel a benchmark there, for example).
class MemoryDevice : public I_VornDevice {
public:
    struct Options {
        uint64_t sectors = 131072;  // 64 MB of 512-byte sectors
        uint32_t sectorSize = 512;
        uint32_t bufferSize = 524288;
        bool keepData = true;  // false: reads answer zeros and writes are dropped
        bool writable = true;
        bool removable = true;
        std::string id = "Test MemoryDevice 1.0";
        std::string systemUse = {};     // writeRefusal's answer
        std::string claimFailure = {};  // non-empty: claimForWrite fails with it
        std::string openFailure = {};   // non-empty: openForTransfers fails with it
        uint8_t driveNumber = 1;
        uint32_t queueServers = 1;  // transfers of a queue served at once
        bool canQueue = true;       // false: openQueue refuses, as a device without io_uring
    };

    explicit MemoryDevice(Options options);
    MemoryDevice() : MemoryDevice(Options{}) {}

    // --- scripting -------------------------------------------------------------
    // Clock advanced inside each transfer by ticksFor(index, transfer); without a
    // clock the real counter runs.
    void useClock(ManualCounter* clock) { clock_ = clock; }
    std::function<uint64_t(uint64_t index, const Transfer&)> ticksFor;
    // Answers true when the transfer with this index (counting reads, writes and
    // flushes from 0) must fail.
    std::function<bool(uint64_t index, const Transfer&)> failWhen;
    // The errno a failed transfer reports.
    int failError = 5;  // EIO
    // Runs after every transfer, with its index.
    std::function<void(uint64_t index)> afterTransfer;
    void attachObserver(I_TransferObserver* observer) { observer_ = observer; }
    void recordTransfers(bool on) { record_ = on; }

    const std::vector<Transfer>& transfers() const { return transfers_; }
    uint64_t transferCount() const { return index_; }
    const uint8_t* transferBuffer() const { return buffer_.data(); }
    uint8_t* transferBuffer() { return buffer_.data(); }
    // The stored medium (only with keepData).
    std::vector<uint8_t>& medium() { return medium_; }
    bool writeArmed() const { return writeEnabled_; }
    bool claimed() const { return claimed_; }
    // Writes that reached the medium (armed, in range), failed or not.
    uint64_t writeCount() const { return writes_; }

    // --- I_VornDevice ----------------------------------------------------------
    bool deviceRemovable() override { return options_.removable; }
    const char* deviceId() override { return options_.id.c_str(); }
    const char* mountPointsText() override { return ""; }
    uint32_t deviceBusType() override { return 0; }
    bool mediaPresent() override { return options_.sectors != 0; }
    bool mediaWritable() override { return options_.writable; }
    uint32_t mediaBlockSize() override { return options_.sectorSize; }
    uint64_t mediaSectors() override { return options_.sectors; }
    bool read(uint64_t sector, uint32_t count, void* destination) override;
    bool write(uint64_t sector, uint32_t count, const void* source) override;
    bool enableWrite(uint32_t confirmation, uint32_t blockSize, uint32_t reserved) override;
    bool disableWrite() override;
    bool flush() override;
    int lastError() const override { return lastError_; }
    bool saveDeviceInfo(I_VornCollection*, const char*) override { return false; }
    std::string writeRefusal() override { return options_.systemUse; }
    bool claimForWrite(std::string& why) override;
    bool openForTransfers(std::string& why) override {
        why = options_.openFailure;
        return why.empty();
    }
    std::unique_ptr<I_TransferQueue> openQueue(uint32_t depth, uint32_t slotBytes,
                                               std::string& why) override;

    // --- for the queue ----------------------------------------------------------
    ManualCounter* clock() const { return clock_; }
    // The scripted service time of a transfer about to be queued (0 without a script).
    uint64_t serviceTicks(const Transfer& transfer) const;
    // Moves a queued transfer's data through the buffer at `offset`, counts and records
    // it as a transfer; the errno it fails with, 0 when it succeeds.
    uint32_t moveQueued(const Transfer& transfer, size_t offset);
    // Tells the observer of a finished queued transfer and runs afterTransfer.
    void reportQueued(const Transfer& transfer, uint64_t start, uint64_t end, uint32_t failed);

private:
    bool transfer(uint8_t kind, uint64_t sector, uint32_t count, void* destination,
                  const void* source);
    bool finishTransfer(const Transfer& transfer, uint64_t start, bool failed);

    Options options_;
    std::vector<uint8_t> buffer_;
    std::vector<uint8_t> medium_;
    ManualCounter* clock_ = nullptr;
    I_TransferObserver* observer_ = nullptr;
    bool writeEnabled_ = false;
    bool claimed_ = false;
    uint64_t writes_ = 0;
    int lastError_ = 0;
    bool record_ = true;
    uint64_t index_ = 0;
    std::vector<Transfer> transfers_;
};

}  // namespace vorn::test
