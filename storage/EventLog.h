#pragma once

#include <cstdint>

namespace vorn {

// Event kinds of the transfer log.
enum EventKind : uint8_t {
    kEventRead = 0,
    kEventWrite = 1,
    kEventFlush = 2,
    kEventNote = 3,
    // Many writes of a wipe kept as one row: their first sector, sector count and the
    // time from the first start to the last end.
    kEventWipe = 4,
};

// In-memory log of every timed transfer of a test run, written out as CSV at the
// end. addEvent runs inside timed loops: it never allocates.
class I_VornEventLog {
public:
    // Appends a transfer; false (nothing stored) when the log is full.
    virtual bool addEvent(uint8_t device, uint8_t kind, uint16_t sectorCount, uint64_t sector,
                          uint64_t startTicks, uint64_t endTicks, uint32_t failed) = 0;
    // From now on, successful writes are kept as one kEventWipe row per `sectorsPerRow`
    // sectors (a failed write still gets its own row); 0 closes the open row and goes
    // back to one row per transfer. A whole-medium wipe so stays a few hundred rows on
    // any capacity and never takes the benchmarks' room. Never allocates.
    virtual void summarizeWrites(uint64_t sectorsPerRow) { (void)sectorsPerRow; }
    // Appends a copy of a text note; false when the log is full.
    virtual bool addNote(const char* text) = 0;
    // Writes the CSV file (when a name is given), then empties the log and restarts
    // its time origin.
    virtual bool dumpCsv(const char* fileName, bool append, const char* header,
                         uint32_t bytesPerSector) = 0;
    virtual ~I_VornEventLog() = default;
};

}  // namespace vorn
