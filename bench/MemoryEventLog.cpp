#include "bench/MemoryEventLog.h"

#include <cinttypes>
#include <cstring>
#include <new>

#include "app/DiagLog.h"
#include "platform/Counter.h"

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

bool MemoryEventLog::addEvent(uint8_t device, uint8_t kind, uint16_t sectorCount, uint64_t sector,
                              uint64_t startTicks, uint64_t endTicks, uint32_t failed) {
    if (used_ >= capacity_) {
        return false;
    }
    EventLogEntry& entry = entries_[used_];
    entry.sectorCount = sectorCount;
    entry.kind = kind;
    entry.device = failed != 0 ? static_cast<uint8_t>(device | kEventFailedBit) : device;
    entry.reserved = 0;
    entry.sector = sector;
    entry.startTicks = startTicks;
    entry.endTicks = endTicks;
    ++used_;
    return true;
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
    if (fileName != nullptr) {
        if (FILE* file = std::fopen(fileName, append ? "a" : "w")) {
            writeCsv(file, header, bytesPerSector);
            std::fclose(file);
        }
    }
    // Cleared whether or not a file was written.
    notes_.clear();
    used_ = 0;
    baseTicks_ = platform::counterNow();
    return true;
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
