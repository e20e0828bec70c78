#pragma once

#include <cstdint>

namespace vorn {

// Kinds of the transfers (and notes) an observer is told of.
enum EventKind : uint8_t {
    kEventRead = 0,
    kEventWrite = 1,
    kEventFlush = 2,
    kEventNote = 3,
    // Many writes of a wipe kept as one row: their first sector, sector count and the
    // time from the first start to the last end.
    kEventWipe = 4,
    // Many reads (or writes) of an extended test kept as one row once the test has used
    // its share of the log: first sector, sector count summed, first start to last end.
    kEventReadBatch = 5,
    kEventWriteBatch = 6,
};

// Told of every timed transfer a block device makes. Called inside timed loops, so an
// implementation never allocates, logs or blocks.
class I_TransferObserver {
public:
    virtual ~I_TransferObserver() = default;

    // A transfer of `sectorCount` sectors at `sector` (or a flush), timed in counter
    // ticks; `failed` is non-zero when it failed. False when the observer could not keep
    // it (a full log, for example); the transfer itself is unaffected.
    virtual bool addEvent(uint8_t device, uint8_t kind, uint16_t sectorCount, uint64_t sector,
                          uint64_t startTicks, uint64_t endTicks, uint32_t failed) = 0;
};

}  // namespace vorn
