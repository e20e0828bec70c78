#include "bench/MemoryEventLog.h"

#include <unistd.h>

#include <cinttypes>
#include <cstring>
#include <new>
#include <string>

#include "base/DiagLog.h"
#include "platform/Counter.h"
#include "platform/FileKind.h"

namespace vorn {
namespace {

// Counts per second assumed when the counter reports no frequency (the old PC
// timer's rate), so a dump still has usable numbers.
constexpr uint64_t kFallbackFrequency = 1193181;

// Stands in for a zero duration so the rate stays finite.
constexpr float kMinDurationMs = 1e-6f;

const char* eventName(uint8_t kind) {
    switch (kind) {
        case kEventRead:
            return "READ";
        case kEventWrite:
            return "WRITE";
        case kEventFlush:
            return "FLUSH";
        case kEventWipe:
            return "WIPE";
        case kEventReadBatch:
            return "READS";
        case kEventWriteBatch:
            return "WRITES";
        default:
            return "Unknown";
    }
}

}  // namespace

MemoryEventLog::MemoryEventLog(uint32_t capacity) {
    // Committed and locked once, so appending inside timed loops never faults.
    memory_ = platform::LockedBuffer::allocate(size_t{capacity} * sizeof(EventLogEntry));
    if (!memory_) {
        logMessage("** Error allocating eventLog %u",
                   static_cast<unsigned>(platform::LockedBuffer::lastAllocateError()));
    } else {
        if (!memory_->locked()) {
            logMessage("** Error locking eventLog %u", static_cast<unsigned>(memory_->lockError()));
        }
        entries_ = static_cast<EventLogEntry*>(memory_->data());
        capacity_ = capacity;
    }
    baseTicks_ = platform::counterNow();
}

MemoryEventLog::~MemoryEventLog() = default;

bool MemoryEventLog::append(const EventLogEntry& entry) {
    if (used_ >= capacity_) {
        return false;
    }
    entries_[used_++] = entry;
    return true;
}

bool MemoryEventLog::addEvent(uint8_t device, uint8_t kind, uint16_t sectorCount, uint64_t sector,
                              uint64_t startTicks, uint64_t endTicks, uint32_t failed) {
    const uint8_t flags = failed != 0 ? static_cast<uint8_t>(device | kEventFailedBit) : device;
    if (limited_ && (kind == kEventRead || kind == kEventWrite)) {
        // Most completions of a fast medium fall into the open batch row: they only
        // widen it.
        const uint8_t batchKind = kind == kEventWrite ? kEventWriteBatch : kEventReadBatch;
        if (singleRowsLeft_ == 0 && failed == 0 && batchSectors_ != 0 && batch_.kind == batchKind &&
            startTicks - batch_.startTicks < batchTicks_) {
            return widenBatch(sectorCount, endTicks);
        }
        return addBatched(flags, kind, sectorCount, sector, startTicks, endTicks);
    }
    if (sectorsPerRow_ == 0 || kind != kEventWrite || failed != 0) {
        if (sectorsPerRow_ != 0 && kind == kEventWrite) {
            closeSummaryRow();  // the failed write follows the writes before it
        }
        return append(EventLogEntry{sectorCount, kind, flags, 0, sector, startTicks, endTicks});
    }
    // A row holds one contiguous stretch: a wipe that wraps back to sector 0 starts a
    // new row there, so no row names sectors it never wrote.
    if (summarySectors_ != 0 && sector != summary_.sector + summarySectors_) {
        closeSummaryRow();
    }
    if (summarySectors_ == 0) {
        summary_ = EventLogEntry{0, kEventWipe, device, 0, sector, startTicks, endTicks};
    }
    summary_.endTicks = endTicks;
    summarySectors_ += sectorCount;
    if (summarySectors_ >= sectorsPerRow_) {
        closeSummaryRow();
    }
    return used_ < capacity_;
}

// A summed row (wipe or batch) goes into the log with its sector total, and the next
// transfer opens a new one.
void MemoryEventLog::closeRow(EventLogEntry& row, uint64_t& sectors) {
    if (sectors == 0) {
        return;
    }
    row.reserved = sectors > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(sectors);
    sectors = 0;
    (void)append(row);
}

void MemoryEventLog::closeSummaryRow() {
    closeRow(summary_, summarySectors_);
}

bool MemoryEventLog::widenBatch(uint16_t sectorCount, uint64_t endTicks) {
    batch_.endTicks = endTicks > batch_.endTicks ? endTicks : batch_.endTicks;
    batchSectors_ += sectorCount;
    return used_ < capacity_;
}

// A limited step's transfers: one row each while its share lasts, then one batch row
// per period. A failed transfer always keeps a row of its own.
bool MemoryEventLog::addBatched(uint8_t flags, uint8_t kind, uint16_t sectorCount, uint64_t sector,
                                uint64_t startTicks, uint64_t endTicks) {
    if (singleRowsLeft_ > 0 || (flags & kEventFailedBit) != 0) {
        singleRowsLeft_ -= singleRowsLeft_ > 0 ? 1 : 0;
        return append(EventLogEntry{sectorCount, kind, flags, 0, sector, startTicks, endTicks});
    }
    const uint8_t batchKind = kind == kEventWrite ? kEventWriteBatch : kEventReadBatch;
    if (batchSectors_ != 0 &&
        (batch_.kind != batchKind || startTicks - batch_.startTicks >= batchTicks_)) {
        closeBatchRow();
    }
    if (batchSectors_ == 0) {
        batch_ = EventLogEntry{0, batchKind, flags, 0, sector, startTicks, endTicks};
    }
    return widenBatch(sectorCount, endTicks);
}

void MemoryEventLog::closeBatchRow() {
    closeRow(batch_, batchSectors_);
}

void MemoryEventLog::limitRows(uint32_t rows, uint64_t batchTicks) {
    closeBatchRow();
    limited_ = rows != 0;
    singleRowsLeft_ = rows;
    batchTicks_ = batchTicks;
}

bool MemoryEventLog::rowAt(uint32_t index, LoggedRow* out) const {
    if (index >= used_ || out == nullptr) {
        return false;
    }
    const EventLogEntry& entry = entries_[index];
    const bool summed =
        entry.kind == kEventWipe || entry.kind == kEventReadBatch || entry.kind == kEventWriteBatch;
    *out = LoggedRow{entry.kind,       (entry.device & kEventFailedBit) != 0,
                     entry.sector,     summed ? entry.reserved : entry.sectorCount,
                     entry.startTicks, entry.endTicks};
    return true;
}

void MemoryEventLog::summarizeWrites(uint64_t sectorsPerRow) {
    closeSummaryRow();
    sectorsPerRow_ = sectorsPerRow;
}

bool MemoryEventLog::addNote(const char* text) {
    if (text == nullptr || used_ >= capacity_) {
        return false;
    }
    try {
        const size_t length = std::strlen(text);
        std::unique_ptr<char[]> copy(new char[length + 1]);
        std::memcpy(copy.get(), text, length + 1);
        notes_.push_back(std::move(copy));
    } catch (const std::bad_alloc&) {
        return false;
    }
    entries_[used_] = EventLogEntry{0, kEventNote, 0, 0, notes_.size() - 1, 0, 0};
    ++used_;
    return true;
}

bool MemoryEventLog::dumpCsv(const char* fileName, bool append, const char* header,
                             uint32_t bytesPerSector) {
    closeSummaryRow();
    closeBatchRow();
    const bool written = fileName == nullptr || writeFile(fileName, append, header, bytesPerSector);
    // Cleared whether or not a file was written.
    notes_.clear();
    used_ = 0;
    sectorsPerRow_ = 0;
    limited_ = false;
    baseTicks_ = platform::counterNow();
    return written;
}

// A new file is written beside the old one and renamed over it once complete, so a
// full disk never leaves half a log in place of the last one. A target that is not
// a regular file (a FIFO would block) is left alone.
bool MemoryEventLog::writeFile(const char* fileName, bool append, const char* header,
                               uint32_t bytesPerSector) const {
    if (!platform::nonRegularKind(fileName).empty()) {
        return false;
    }
    const std::string path =
        append ? std::string(fileName)
               : std::string(fileName) + "." + std::to_string(::getpid()) + ".tmp";
    FILE* file = std::fopen(path.c_str(), append ? "a" : "w");
    if (file == nullptr) {
        return false;
    }
    writeCsv(file, header, bytesPerSector);
    bool ok = std::fflush(file) == 0 && std::ferror(file) == 0 && ::fsync(fileno(file)) == 0;
    ok = std::fclose(file) == 0 && ok;
    if (!append && (!ok || std::rename(path.c_str(), fileName) != 0)) {
        std::remove(path.c_str());
        return false;
    }
    return ok;
}

void MemoryEventLog::writeCsv(FILE* file, const char* header, uint32_t bytesPerSector) const {
    if (header != nullptr) {
        std::fprintf(file, "%s\n", header);
    }
    if (used_ == capacity_) {
        std::fputs("** Log has been truncated!\n", file);
    }
    uint64_t frequency = platform::counterFrequency();
    if (frequency == 0) {
        std::fputs("** Error in QueryPerformanceFrequency\n", file);
        frequency = kFallbackFrequency;
    }
    std::fprintf(file, "Performance frequency for this machine is %" PRIu64 "\n", frequency);
    std::fputs("Event,Device,Success,Start(sec),Duration(ms),Sector,Count,Bps\n", file);
    for (uint32_t i = 0; i < used_; ++i) {
        writeEntry(file, entries_[i], static_cast<long double>(frequency), bytesPerSector);
    }
}

void MemoryEventLog::writeEntry(FILE* file, const EventLogEntry& entry, long double frequency,
                                uint32_t bytesPerSector) const {
    if (entry.kind == kEventNote) {
        const char* text = entry.sector < notes_.size() ? notes_[entry.sector].get() : "";
        std::fprintf(file, ",,,,,,,%s\n", text);
        return;
    }
    // Computed in extended precision, then kept (and printed) in single precision.
    const float startSec =
        static_cast<float>(static_cast<long double>(entry.startTicks - baseTicks_) / frequency);
    float durationMs = static_cast<float>(
        static_cast<long double>(entry.endTicks - entry.startTicks) * 1000 / frequency);
    if (durationMs == 0.0f) {
        durationMs = kMinDurationMs;
    }
    const char* name = eventName(entry.kind);
    const unsigned device = entry.device;
    if (entry.kind == kEventWipe || entry.kind == kEventReadBatch ||
        entry.kind == kEventWriteBatch) {
        // A summed row's bytes may pass 32 bits: its count and rate are worked out wide.
        const double bytes = static_cast<double>(entry.reserved) * bytesPerSector;
        std::fprintf(file, "%s,%u,YES,%.3f,%.3f,%" PRIu64 ",%u,%.0f\n", name, device,
                     static_cast<double>(startSec), static_cast<double>(durationMs), entry.sector,
                     entry.reserved, bytes * 1000.0 / static_cast<double>(durationMs));
        return;
    }
    const unsigned count = entry.sectorCount;
    if ((entry.device & kEventFailedBit) != 0) {
        std::fprintf(file, "%s,%u,NO,%.3f,%.3f,%" PRIu64 ",%u,0\n", name, device,
                     static_cast<double>(startSec), static_cast<double>(durationMs), entry.sector,
                     count);
        return;
    }
    // The byte count is a 32-bit product; the rate itself is worked out in float so
    // large transfers cannot overflow an integer on the way.
    const uint32_t bytes = uint32_t{entry.sectorCount} * bytesPerSector;
    const float rate = static_cast<float>(bytes) * 1000.0f / durationMs;
    std::fprintf(file, "%s,%u,YES,%.3f,%.3f,%" PRIu64 ",%u,%.0f\n", name, device,
                 static_cast<double>(startSec), static_cast<double>(durationMs), entry.sector,
                 count, static_cast<double>(rate));
}

std::unique_ptr<I_VornEventLog> newEventLog(uint32_t capacity) {
    try {
        return std::make_unique<MemoryEventLog>(capacity);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

}  // namespace vorn
