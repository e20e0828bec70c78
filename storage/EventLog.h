#pragma once

#include <cstdint>

#include "storage/TransferObserver.h"

namespace vorn {

// One kept row, for whoever studies a finished step (the run reads the wipe's rows).
struct LoggedRow {
    uint8_t kind = 0;  // EventKind
    bool failed = false;
    uint64_t sector = 0;
    uint64_t sectors = 0;  // a summary row's summed count
    uint64_t startTicks = 0;
    uint64_t endTicks = 0;
};

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
    // From now on the next `rows` reads and writes get a row each; after them they are
    // kept as one batch row (kEventReadBatch, kEventWriteBatch) per `batchTicks` of
    // counter time. 0 rows lifts the limit and closes an open batch row. A step so
    // takes a share of the log fixed up front however fast the medium is.
    virtual void limitRows(uint32_t rows, uint64_t batchTicks) {
        (void)rows;
        (void)batchTicks;
    }
    // The rows kept so far (notes included) and one of them; false past the end.
    virtual uint32_t rowCount() const { return 0; }
    virtual bool rowAt(uint32_t index, LoggedRow* out) const {
        (void)index;
        (void)out;
        return false;
    }
    // Appends a copy of a text note; false when the log is full.
    virtual bool addNote(const char* text) = 0;
    // Writes the CSV file (when a name is given), then empties the log and restarts
    // its time origin.
    [[nodiscard]] virtual bool dumpCsv(const char* fileName, bool append, const char* header,
                                       uint32_t bytesPerSector) = 0;
};

}  // namespace vorn
