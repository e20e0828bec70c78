#pragma once

#include <cstdint>

#include "storage/TransferObserver.h"

namespace vorn {

// In-memory log of every timed transfer of a test run, written out as CSV at the
// end: the devices' transfer observer. addEvent (false when the log is full, nothing
// stored) runs inside timed loops: it never allocates.
class I_VornEventLog : public I_TransferObserver {
public:
    // From now on, successful writes are kept as one kEventWipe row per `sectorsPerRow`
    // sectors (a failed write still gets its own row); 0 closes the open row and goes
    // back to one row per transfer. A whole-medium wipe so stays a few hundred rows on
    // any capacity and never takes the benchmarks' room. Never allocates.
    virtual void summarizeWrites(uint64_t sectorsPerRow) { (void)sectorsPerRow; }
    // Appends a copy of a text note; false when the log is full.
    virtual bool addNote(const char* text) = 0;
    // Writes the CSV file (when a name is given), then empties the log and restarts
    // its time origin.
    [[nodiscard]] virtual bool dumpCsv(const char* fileName, bool append, const char* header,
                                       uint32_t bytesPerSector) = 0;
};

}  // namespace vorn
