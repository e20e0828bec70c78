#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

// Every step a test run can take, in the order a run takes them, with what it shows,
// stores and logs. The run, the result readers, the report, the chart, the timeline and
// the tests all read this table; a new block size or a new measurement is a row here
// plus the code that measures it.

namespace vorn {

// What a step does. Zoned reads and writes time blocks of one size over zones of the
// medium; access steps time single-sector reads.
enum class StepKind {
    FlashCheck,
    Capacity,
    Wipe,
    Read,
    Write,
    RandomAccess,
    SequentialAccess,
    // Time-boxed transfers kept queued at a fixed depth (io_uring), chosen with the
    // extended tests; stored only when they ran.
    ExtendedRead,
    ExtendedWrite,
    Other
};

struct RunStep {
    StepKind kind;
    const char* name;         // the step's name in "event.log" and the diagnostic log
    const char* rowLabel;     // what the progress window shows while it runs
    const char* resultKey;    // where its result is stored; nullptr when it stores none
    const char* reportTitle;  // its heading in the statistics report; nullptr when none
    uint32_t blockSize;       // bytes per timed transfer; 0 when the medium decides
    uint32_t span;            // zoned steps: bytes timed per zone; access steps: requests
    uint32_t zones;           // zoned steps: the most zones timed
    uint32_t queueDepth = 0;  // extended steps: transfers kept in flight
    bool random = false;      // extended steps: random offsets rather than one sweep
};

// The event log keeps this many wipe rows at most: the wipe sums its writes into rows.
inline constexpr uint32_t kWipeRows = 1000;

// Zoned steps time two zones of 4 MB (the flash check 1 MB) in blocks of the row's size.
inline constexpr uint32_t kStepZones = 2;
inline constexpr uint32_t kFlashSpan = 1048576;
inline constexpr uint32_t kTestSpan = 4194304;
inline constexpr uint32_t kAccessRequests = 512;

// Extended steps: 1 s of warm-up, then 5 s measured (a sequential step ends sooner
// once it has covered its region), inside one region of 1 GiB at the start of the
// medium. The event log keeps a step's first kExtendedRows transfers one by one and
// the rest as one row per kExtendedBatchMs.
inline constexpr uint32_t kExtendedWarmUpMs = 1000;
inline constexpr uint32_t kExtendedMeasureMs = 5000;
inline constexpr uint64_t kExtendedRegion = uint64_t{1} << 30;
inline constexpr uint32_t kExtendedRows = 8192;
inline constexpr uint32_t kExtendedBatchMs = 100;
inline constexpr uint32_t kSeqBlock = 1048576;
inline constexpr uint32_t kRndBlock = 4096;

inline constexpr RunStep kRunSteps[] = {
    {StepKind::Capacity, "CAPACITY CHECK", "Checking Real Capacity", "QKCCAPACITY", nullptr, 0, 0,
     0},
    {StepKind::FlashCheck, "Flash test:read", "Testing Flash Device", nullptr, nullptr, 65536,
     kFlashSpan, kStepZones},
    {StepKind::Wipe, "WIPE FLASH DEVICE", "Erasing Flash Device", nullptr, nullptr, 0, 0, 0},
    {StepKind::Read, "Read Test (2k block)", "Read Test (2k block)", "QKCR2",
     "Read Test (2k block)", 2048, kTestSpan, kStepZones},
    {StepKind::Read, "Read Test (4k block)", "Read Test (4k block)", "QKCR4",
     "Read Test (4k block)", 4096, kTestSpan, kStepZones},
    {StepKind::Read, "Read Test (8k block)", "Read Test (8k block)", "QKCR8",
     "Read Test (8k block)", 8192, kTestSpan, kStepZones},
    {StepKind::Read, "Read Test (16k block)", "Read Test (16k block)", "QKCR16",
     "Read Test (16k block)", 16384, kTestSpan, kStepZones},
    {StepKind::Read, "Read Test (32k block)", "Read Test (32k block)", "QKCR32",
     "Read Test (32k block)", 32768, kTestSpan, kStepZones},
    {StepKind::Read, "Read Test (64k block)", "Read Test (64k block)", "QKCR64",
     "Read Test (64k block)", 65536, kTestSpan, kStepZones},
    {StepKind::ExtendedRead, "Read SEQ 1MiB Q1", "Read SEQ 1MiB Q1", "QKXR1MQ1", nullptr, kSeqBlock,
     0, 0, 1, false},
    {StepKind::ExtendedRead, "Read SEQ 1MiB Q8", "Read SEQ 1MiB Q8", "QKXR1MQ8", nullptr, kSeqBlock,
     0, 0, 8, false},
    {StepKind::ExtendedRead, "Read RND 4KiB Q1", "Read RND 4KiB Q1", "QKXR4KQ1", nullptr, kRndBlock,
     0, 0, 1, true},
    {StepKind::ExtendedRead, "Read RND 4KiB Q32", "Read RND 4KiB Q32", "QKXR4KQ32", nullptr,
     kRndBlock, 0, 0, 32, true},
    {StepKind::Write, "Write Test (2k block)", "Write Test (2k block)", "QKCW2",
     "Write Test (2k block)", 2048, kTestSpan, kStepZones},
    {StepKind::Write, "Write Test (4k block)", "Write Test (4k block)", "QKCW4",
     "Write Test (4k block)", 4096, kTestSpan, kStepZones},
    {StepKind::Write, "Write Test (8k block)", "Write Test (8k block)", "QKCW8",
     "Write Test (8k block)", 8192, kTestSpan, kStepZones},
    {StepKind::Write, "Write Test (16k block)", "Write Test (16k block)", "QKCW16",
     "Write Test (16k block)", 16384, kTestSpan, kStepZones},
    {StepKind::Write, "Write Test (32k block)", "Write Test (32k block)", "QKCW32",
     "Write Test (32k block)", 32768, kTestSpan, kStepZones},
    {StepKind::Write, "Write Test (64k block)", "Write Test (64k block)", "QKCW64",
     "Write Test (64k block)", 65536, kTestSpan, kStepZones},
    {StepKind::ExtendedWrite, "Write SEQ 1MiB Q1", "Write SEQ 1MiB Q1", "QKXW1MQ1", nullptr,
     kSeqBlock, 0, 0, 1, false},
    {StepKind::ExtendedWrite, "Write SEQ 1MiB Q8", "Write SEQ 1MiB Q8", "QKXW1MQ8", nullptr,
     kSeqBlock, 0, 0, 8, false},
    {StepKind::ExtendedWrite, "Write RND 4KiB Q1", "Write RND 4KiB Q1", "QKXW4KQ1", nullptr,
     kRndBlock, 0, 0, 1, true},
    {StepKind::ExtendedWrite, "Write RND 4KiB Q32", "Write RND 4KiB Q32", "QKXW4KQ32", nullptr,
     kRndBlock, 0, 0, 32, true},
    {StepKind::RandomAccess, "Random Access", "Random Access Test", "QKCRACCESS",
     "RANDOM ACCESS TEST", 0, kAccessRequests, 0},
    {StepKind::SequentialAccess, "Sequential Access", "Sequential Access Test", "QKCSACCESS",
     "SEQUENTIAL ACCESS TEST", 0, kAccessRequests, 0},
};

constexpr size_t countSteps(StepKind kind) {
    size_t n = 0;
    for (const RunStep& step : kRunSteps) {
        n += step.kind == kind ? 1 : 0;
    }
    return n;
}

// The rows of one kind, in run order.
template <StepKind kind>
constexpr std::array<RunStep, countSteps(kind)> stepsOf() {
    std::array<RunStep, countSteps(kind)> out{};
    size_t n = 0;
    for (const RunStep& step : kRunSteps) {
        if (step.kind == kind) {
            out[n++] = step;
        }
    }
    return out;
}

inline constexpr auto readTests = stepsOf<StepKind::Read>();
inline constexpr auto extendedReads = stepsOf<StepKind::ExtendedRead>();
inline constexpr auto extendedWrites = stepsOf<StepKind::ExtendedWrite>();
inline constexpr int kExtendedPerKind = static_cast<int>(extendedReads.size());
static_assert(extendedWrites.size() == extendedReads.size(),
              "every extended test is read and written");
inline constexpr auto writeTests = stepsOf<StepKind::Write>();
// The chart sets read and write bars of one block size side by side.
inline constexpr int kTestsPerTable = static_cast<int>(readTests.size());
static_assert(writeTests.size() == readTests.size(), "every block size is read and written");

// The one row of a kind that has a single step (the flash check, the wipe, the
// capacity check, each access test).
constexpr const RunStep& stepOf(StepKind kind) {
    for (const RunStep& step : kRunSteps) {
        if (step.kind == kind) {
            return step;
        }
    }
    return kRunSteps[0];  // not reached for a kind in the table; checked below
}

// The row whose step name or result key this is; nullptr when none.
constexpr const RunStep* stepNamed(std::string_view name) {
    for (const RunStep& step : kRunSteps) {
        if (name == step.name) {
            return &step;
        }
    }
    return nullptr;
}
constexpr const RunStep* stepStoredAs(std::string_view key) {
    for (const RunStep& step : kRunSteps) {
        if (step.resultKey != nullptr && key == step.resultKey) {
            return &step;
        }
    }
    return nullptr;
}

constexpr bool isZoned(StepKind kind) {
    return kind == StepKind::Read || kind == StepKind::Write || kind == StepKind::FlashCheck;
}
constexpr bool isExtended(StepKind kind) {
    return kind == StepKind::ExtendedRead || kind == StepKind::ExtendedWrite;
}
constexpr bool isAccess(StepKind kind) {
    return kind == StepKind::RandomAccess || kind == StepKind::SequentialAccess;
}

// Event-log rows a step needs: its transfers (a write zone ends with a flush) and the
// four note rows that open and close it, one more for a failure note.
constexpr uint32_t eventRows(const RunStep& step) {
    constexpr uint32_t kNoteRows = 5;
    if (isZoned(step.kind)) {
        const uint32_t flush = step.kind == StepKind::Write ? 1 : 0;
        return step.zones * (step.span / step.blockSize + flush) + kNoteRows;
    }
    if (isAccess(step.kind)) {
        return step.span + kNoteRows;
    }
    if (isExtended(step.kind)) {
        // The batch rows of the whole time box, with room for the open row at each end.
        constexpr uint32_t kBatchRows = (kExtendedWarmUpMs + kExtendedMeasureMs) / kExtendedBatchMs;
        return kExtendedRows + kBatchRows + 2 + kNoteRows;
    }
    // A wipe row ends wherever the writes stop following on, so a few rows more.
    return step.kind == StepKind::Wipe ? kWipeRows + 16 + kNoteRows : kNoteRows;
}

// A whole run with the write test: every step once, and the wipe twice (the zeroing
// after the write tests). The capacity check is left out: it logs what still fits,
// and the log says when it was cut.
constexpr uint32_t eventRowsOfRun() {
    uint32_t rows = eventRows(stepOf(StepKind::Wipe));
    for (const RunStep& step : kRunSteps) {
        const bool counted = step.kind != StepKind::Capacity && !isExtended(step.kind);
        rows += counted ? eventRows(step) : 0;
    }
    return rows;
}

// What the extended tests add to a run, read and write.
constexpr uint32_t eventRowsOfExtended() {
    uint32_t rows = 0;
    for (const RunStep& step : kRunSteps) {
        rows += isExtended(step.kind) ? eventRows(step) : 0;
    }
    return rows;
}

// The event log of a run has this much room: the whole run, with room to spare for
// the capacity check before it.
inline constexpr uint32_t kEventLogRoom = 49152;
static_assert(eventRowsOfRun() <= kEventLogRoom, "a run's steps must fit the event log");
// A run with the extended tests has room for them on top.
inline constexpr uint32_t kExtendedLogRoom = kEventLogRoom + eventRowsOfExtended();
static_assert(stepOf(StepKind::Wipe).kind == StepKind::Wipe &&
                  stepOf(StepKind::FlashCheck).kind == StepKind::FlashCheck &&
                  stepOf(StepKind::RandomAccess).kind == StepKind::RandomAccess &&
                  stepOf(StepKind::SequentialAccess).kind == StepKind::SequentialAccess,
              "the single steps are in the table");

}  // namespace vorn
