#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <type_traits>
#include <vector>

#include "platform/LockedBuffer.h"
#include "storage/EventLog.h"

namespace vorn {

// One recorded transfer or note. Laid out by hand so there is no hidden padding and
// the 64-bit sector fits: 32 bytes, every field at its natural alignment.
struct EventLogEntry {
    uint16_t sectorCount;  // sectors moved (cut to 16 bits); 0 for a flush or a note
    uint8_t kind;          // EventKind
    uint8_t device;        // bits 0-6 device number, bit 7 set when the transfer failed
    uint32_t reserved;     // a kEventWipe row's sector count; otherwise 0
    uint64_t sector;       // first sector; for a note, the index of its text in the note table
    uint64_t startTicks;   // counter just before the transfer (0 for a note)
    uint64_t endTicks;     // counter just after the transfer (0 for a note)
};
static_assert(sizeof(EventLogEntry) == 32, "EventLogEntry must stay 32 bytes");
static_assert(std::is_standard_layout_v<EventLogEntry> &&
                  std::is_trivially_copyable_v<EventLogEntry>,
              "EventLogEntry is stored in raw locked memory");

constexpr uint8_t kEventFailedBit = 0x80;

// The event log of a test run: a fixed array of entries in locked memory, filled by
// the device on the benchmark worker and written out as CSV by the interface thread
// (never both at once, so there is no lock).
class MemoryEventLog final : public I_VornEventLog {
public:
    explicit MemoryEventLog(uint32_t capacity);
    ~MemoryEventLog() override;
    MemoryEventLog(const MemoryEventLog&) = delete;
    MemoryEventLog& operator=(const MemoryEventLog&) = delete;

    bool addEvent(uint8_t device, uint8_t kind, uint16_t sectorCount, uint64_t sector,
                  uint64_t startTicks, uint64_t endTicks, uint32_t failed) override;
    void summarizeWrites(uint64_t sectorsPerRow) override;
    void limitRows(uint32_t rows, uint64_t batchTicks) override;
    uint32_t rowCount() const override { return used_; }
    bool rowAt(uint32_t index, LoggedRow* out) const override;
    bool addNote(const char* text) override;
    bool dumpCsv(const char* fileName, bool append, const char* header,
                 uint32_t bytesPerSector) override;

    uint32_t capacity() const { return capacity_; }
    uint32_t used() const { return used_; }

private:
    bool writeFile(const char* fileName, bool append, const char* header,
                   uint32_t bytesPerSector) const;
    void writeCsv(FILE* file, const char* header, uint32_t bytesPerSector) const;
    void writeEntry(FILE* file, const EventLogEntry& entry, long double frequency,
                    uint32_t bytesPerSector) const;
    bool append(const EventLogEntry& entry);
    void closeRow(EventLogEntry& row, uint64_t& sectors);
    void closeSummaryRow();
    bool widenBatch(uint16_t sectorCount, uint64_t endTicks);
    bool addBatched(uint8_t flags, uint8_t kind, uint16_t sectorCount, uint64_t sector,
                    uint64_t startTicks, uint64_t endTicks);
    void closeBatchRow();

    std::unique_ptr<platform::LockedBuffer> memory_;
    EventLogEntry* entries_ = nullptr;
    uint32_t capacity_ = 0;  // 0 when the entry memory could not be had
    uint32_t used_ = 0;
    uint64_t baseTicks_ = 0;
    // The wipe row being filled while writes are summarized.
    uint64_t sectorsPerRow_ = 0;
    EventLogEntry summary_{};
    uint64_t summarySectors_ = 0;
    // A limited step: single rows left before batching, the batch period and the
    // batch row being filled.
    bool limited_ = false;
    uint32_t singleRowsLeft_ = 0;
    uint64_t batchTicks_ = 0;
    EventLogEntry batch_{};
    uint64_t batchSectors_ = 0;
    // Heap copies of the note texts; entries refer to them by index.
    std::vector<std::unique_ptr<char[]>> notes_;
};

// A memory-backed log with room for `capacity` entries, committed and locked once.
std::unique_ptr<I_VornEventLog> newEventLog(uint32_t capacity);

}  // namespace vorn
