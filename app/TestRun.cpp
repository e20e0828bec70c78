#include "app/TestRun.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/CapacityStage.h"
#include "app/Wipe.h"
#include "base/DiagLog.h"
#include "base/Dialogs.h"
#include "bench/DiskRwBenchmark.h"
#include "bench/QueuedBenchmark.h"
#include "bench/RAccessBenchmark.h"
#include "platform/Counter.h"
#include "platform/ProgramInfo.h"
#include "results/Collections.h"
#include "results/ExtendedEntries.h"
#include "results/LinkEntry.h"
#include "results/MemberSnapshot.h"
#include "results/ReplacementFile.h"
#include "results/RunRecord.h"
#include "results/RunSteps.h"
#include "results/VornDiskCollection.h"
#include "results/WriteCurve.h"
#include "storage/EventLog.h"
#include "storage/VornDevice.h"

namespace vorn {
namespace {

constexpr uint32_t kPollMs = 500;
constexpr double kFlashTolerance = 0.15;

// Zoned benchmarks: quick layout, no warm-up, 64 KB alignment; the rest from the step.
constexpr uint32_t kQuick = 1;
constexpr uint32_t kNoWarmUp = 0;
constexpr uint32_t kAlign = 65536;
constexpr uint64_t kZeroedAfterWrite = 1024;

constexpr const RunStep& kFlashStep = stepOf(StepKind::FlashCheck);
constexpr const RunStep& kRandomStep = stepOf(StepKind::RandomAccess);
constexpr const RunStep& kSequentialStep = stepOf(StepKind::SequentialAccess);

using TableBenchmarks = std::array<std::unique_ptr<DiskRwBenchmark>, kTestsPerTable>;
using ExtendedBenchmarks = std::array<std::unique_ptr<QueuedBenchmark>, kExtendedPerKind>;

// Everything a run creates; destroyed before the view is hidden, on every path.
struct RunBenchmarks {
    TableBenchmarks reads;
    TableBenchmarks writes;
    ExtendedBenchmarks extendedReads;
    ExtendedBenchmarks extendedWrites;
    std::optional<WriteCurve> writeCurve;
    std::unique_ptr<RAccessBenchmark> random;
    std::unique_ptr<RAccessBenchmark> sequential;
};

// Hides the progress view when the run ends, however it ends.
class ViewShown {
public:
    explicit ViewShown(I_RunView& view) : view_(view) { view_.showView(true); }
    ~ViewShown() { view_.showView(false); }
    ViewShown(const ViewShown&) = delete;
    ViewShown& operator=(const ViewShown&) = delete;

private:
    I_RunView& view_;
};

void note(I_VornEventLog& eventLog, const char* first, const char* second) {
    eventLog.addNote(first);
    eventLog.addNote(second);
    logMessage("%s", first);
    logMessage("%s", second);
}

void prepareView(const TestRunContext& run) {
    I_RunView& view = run.view;
    view.clearCancel();
    for (RunRow row : {RunRow::Test, RunRow::Read, RunRow::Access, RunRow::Write}) {
        view.setRowState(row, RowState::Hidden);
    }
    view.setButtonCaption("&Cancel");
}

void labelRows(const TestRunContext& run) {
    I_RunView& view = run.view;
    view.setRowLabel(RunRow::Read, "Read Test");
    view.setRowLabel(RunRow::Write, "Write Test");
    // Without the write test the write row stays in view, greyed out.
    view.setWriteRow(true, run.writeTest);
    view.setRowLabel(RunRow::Test, kFlashStep.rowLabel);
    view.setRowLabel(RunRow::Access, "Access Speed Test");
}

uint64_t medianRate(I_Benchmark& benchmark, uint32_t zone) {
    uint64_t rate = 0;
    return benchmark.getValue(kValueMedian, zone, &rate) ? rate : 0;
}

std::unique_ptr<DiskRwBenchmark> newZonedBenchmark(const RunStep& step) {
    return newDiskRwBenchmark(step.kind == StepKind::Write ? 1 : 0, kQuick, step.blockSize,
                              step.zones, kNoWarmUp, step.span, kAlign);
}

// The user's words for why one planned benchmark cannot run on this geometry.
std::string fitRefusal(const DiskRwBenchmark& benchmark, const char* caption, uint32_t sectorSize,
                       uint64_t sectors) {
    char text[256] = {};
    switch (benchmark.fitsMedium(sectorSize, sectors)) {
        case DiskRwBenchmark::Fit::BadBlockSize:
            std::snprintf(text, sizeof text,
                          "This medium has %u-byte sectors, larger than the %u-byte blocks of "
                          "the %s, so QK Vorn cannot test it. Nothing was written.",
                          sectorSize, benchmark.blockSize(), caption);
            break;
        case DiskRwBenchmark::Fit::MediumTooSmall:
            std::snprintf(text, sizeof text,
                          "This medium (%llu KB) is too small for the zones of the %s, so QK "
                          "Vorn cannot test it. Nothing was written.",
                          static_cast<unsigned long long>(sectors * sectorSize / 1024), caption);
            break;
        case DiskRwBenchmark::Fit::Fits:
        case DiskRwBenchmark::Fit::NoMedium:
            break;
    }
    return text;
}

// Asked before every step: a cancel that came after a step had finished (or before
// the run began) stops the run there, and nothing after it starts.
bool goOn(const TestRunContext& run) {
    if (!run.view.cancelRequested()) {
        return true;
    }
    logMessage("** Test run cancelled");
    return false;
}

bool flashCheck(const TestRunContext& run) {
    if (!goOn(run)) {
        return false;
    }
    auto check = newZonedBenchmark(kFlashStep);
    if (!check) {
        return false;
    }
    if (!runBenchmarkStep(*check, run.device, run.eventLog, run.view, kFlashStep.name,
                          RunRow::Test)) {
        return false;
    }
    if (!goOn(run)) {
        return false;
    }
    if (flashCheckDiffers(medianRate(*check, 0), medianRate(*check, 1))) {
        return run.dialogs.question(
            "This device does not seem to be a flash device, continue anyway?");
    }
    return true;
}

void tellWriteCurve(const TestRunContext& run, const std::string& line) {
    logMessage("%s", line.c_str());
    if (run.writeCurveLine != nullptr) {
        *run.writeCurveLine = line;
    }
}

// The wipe's rows from `firstRow` on, as stretches of the write pass.
std::vector<WriteSpan> wipeSpans(const TestRunContext& run, uint32_t firstRow) {
    std::vector<WriteSpan> spans;
    const uint64_t frequency = platform::counterFrequency();
    const uint64_t sectorSize = run.device.mediaBlockSize();
    LoggedRow row;
    for (uint32_t i = firstRow; frequency != 0 && run.eventLog.rowAt(i, &row); ++i) {
        if (row.kind == kEventWipe && !row.failed) {
            spans.push_back({row.sector * sectorSize, row.sectors * sectorSize,
                             static_cast<double>(row.endTicks - row.startTicks) /
                                 static_cast<double>(frequency)});
        }
    }
    return spans;
}

bool wipeUnlessMarked(const TestRunContext& run, std::optional<WriteCurve>& curve) {
    if (wipeMarkers(run.device, MarkerMode::Check)) {
        tellWriteCurve(run,
                       "Sustained write not measured: the medium still carried the markers of "
                       "an earlier test, so it was not erased this time");
        return true;
    }
    run.view.setRowLabel(RunRow::Test, stepOf(StepKind::Wipe).rowLabel);
    const uint32_t firstRow = run.eventLog.rowCount();
    if (!wipeDevice(run.device, 0, run.view, &run.eventLog)) {
        return false;
    }
    curve = analyseWriteCurve(wipeSpans(run, firstRow));
    tellWriteCurve(run, curve ? writeCurveText(*curve)
                              : std::string("Sustained write not measured: the erase was too "
                                            "short to time"));
    return true;
}

bool runTable(const TestRunContext& run, const std::array<RunStep, kTestsPerTable>& table,
              RunRow row, TableBenchmarks& held) {
    bool ok = true;
    for (int i = 0; i < kTestsPerTable && ok; ++i) {
        if (!goOn(run)) {
            return false;
        }
        run.view.setRowLabel(row, table[i].rowLabel);
        held[i] = newZonedBenchmark(table[i]);
        if (!held[i]) {
            return false;
        }
        ok = runBenchmarkStep(*held[i], run.device, run.eventLog, run.view, table[i].name, row);
    }
    return ok;
}

// The queued tests of one direction, each in its share of the event log.
bool runExtended(const TestRunContext& run, const std::array<RunStep, kExtendedPerKind>& table,
                 RunRow row, ExtendedBenchmarks& held) {
    bool ok = true;
    for (int i = 0; i < kExtendedPerKind && ok; ++i) {
        if (!goOn(run)) {
            return false;
        }
        const RunStep& step = table[static_cast<size_t>(i)];
        run.view.setRowLabel(row, step.rowLabel);
        held[static_cast<size_t>(i)] = std::make_unique<QueuedBenchmark>(
            QueuedSetup{.write = step.kind == StepKind::ExtendedWrite,
                        .random = step.random,
                        .blockSize = step.blockSize,
                        .queueDepth = step.queueDepth,
                        .warmUpMs = kExtendedWarmUpMs,
                        .measureMs = kExtendedMeasureMs,
                        .regionBytes = kExtendedRegion});
        ok = runBenchmarkStep(*held[static_cast<size_t>(i)], run.device, run.eventLog, run.view,
                              step.name, row, kExtendedRows);
    }
    return ok;
}

bool runAccess(const TestRunContext& run, bool sequential,
               std::unique_ptr<RAccessBenchmark>& held) {
    if (!goOn(run)) {
        return false;
    }
    const RunStep& step = sequential ? kSequentialStep : kRandomStep;
    run.view.setRowLabel(RunRow::Access, step.rowLabel);
    held = newRAccessBenchmark(step.span, sequential ? 1 : 0, 0);
    if (!held) {
        return false;
    }
    return runBenchmarkStep(*held, run.device, run.eventLog, run.view, step.name, RunRow::Access);
}

// A text entry kept in a 256-byte buffer, as the result file has always held it.
bool addText(I_VornCollection& file, const char* name, const char* text) {
    char buffer[256] = {};
    std::snprintf(buffer, sizeof buffer, "%s", text != nullptr ? text : "");
    return file.addEntry(name, buffer, 0, nullptr);
}

bool addZonedTest(I_VornCollection& file, const char* key, const DiskRwBenchmark* bench) {
    DiskRwRecord record;
    return bench != nullptr && bench->record(&record) && addRwTest(file, key, record);
}

bool addAccess(I_VornCollection& file, const char* key, const RAccessBenchmark* bench) {
    AccessRecord record;
    return bench != nullptr && bench->record(&record) && addAccessTest(file, key, record);
}

// A result being written that keeps in memory every entry the file took.
class KeptCollection final : public I_VornCollection {
public:
    KeptCollection(I_VornCollection& file, MemberSnapshot& kept) : file_(file), kept_(kept) {}
    uint32_t getMemberCount() override { return file_.getMemberCount(); }
    bool selectMember(uint32_t index) override { return file_.selectMember(index); }
    bool addEntry(const char* name, const char* value, uint32_t dataLength,
                  const void* data) override {
        if (!file_.addEntry(name, value, dataLength, data)) {
            return false;
        }
        kept_.append(name, value, dataLength, data);
        return true;
    }
    bool findEntry(const char* name, uint32_t* valueCapacity, char* valueBuffer,
                   uint32_t* dataCapacity, void* dataBuffer) override {
        return file_.findEntry(name, valueCapacity, valueBuffer, dataCapacity, dataBuffer);
    }
    bool firstEntry(char* name) override { return file_.firstEntry(name); }
    bool nextEntry(char* name) override { return file_.nextEntry(name); }
    bool create(const char*) override { return false; }
    bool open(const char*) override { return false; }

private:
    I_VornCollection& file_;
    MemberSnapshot& kept_;
};

// Only what was measured: a run without the extended tests keeps exactly its old entries.
bool storeExtended(I_VornCollection& file, const RunBenchmarks& held) {
    bool ok = true;
    bool any = false;
    for (const ExtendedBenchmarks* set : {&held.extendedReads, &held.extendedWrites}) {
        const auto& table = set == &held.extendedReads ? extendedReads : extendedWrites;
        for (size_t i = 0; i < set->size(); ++i) {
            QueuedRecord record;
            if ((*set)[i] && (*set)[i]->record(&record)) {
                ok = addQueuedTest(file, table[i].resultKey, record) && ok;
                any = true;
            }
        }
    }
    if (any && held.writeCurve) {
        ok = addWriteCurve(file, *held.writeCurve) && ok;
    }
    return ok;
}

// Every store is tried; any failure fails the run.
bool writeResults(const TestRunContext& run, RunBenchmarks& held, const CapacityStage& capacity,
                  const char* path, MemberSnapshot& kept) {
    auto created = createCollection(path);
    if (!created) {
        return false;
    }
    KeptCollection keeping(*created, kept);
    I_VornCollection* const file = &keeping;
    bool ok = addText(*file, "VERSION", platform::programVersion());
    ok = addText(*file, kDriveIdKey, run.device.deviceId()) && ok;
    for (int i = 0; i < kTestsPerTable; ++i) {
        ok = addZonedTest(*file, readTests[i].resultKey, held.reads[i].get()) && ok;
    }
    for (int i = 0; i < kTestsPerTable; ++i) {
        if (held.writes[i]) {
            ok = addZonedTest(*file, writeTests[i].resultKey, held.writes[i].get()) && ok;
        }
    }
    ok = addAccess(*file, kRandomStep.resultKey, held.random.get()) && ok;
    ok = addAccess(*file, kSequentialStep.resultKey, held.sequential.get()) && ok;
    ok = addTestTime(*file, static_cast<uint32_t>(std::time(nullptr))) && ok;
    ok = run.device.saveDeviceInfo(file, nullptr) && ok;
    ok = capacity.store(*file) && ok;
    ok = storeExtended(*file, held) && ok;
    // Last of all, in every run: a drive with nothing known still stores "reader=0".
    ok = addLinkEntry(*file, run.device.driveLink()) && ok;
    // A result file that did not reach the disk whole fails the run.
    auto* disk = dynamic_cast<VornDiskCollection*>(created.get());
    return (disk == nullptr || disk->finish()) && ok;
}

// Written under a name of its own and renamed over the last result only when whole:
// a run that fails while storing leaves the older result as it was.
bool storeResults(const TestRunContext& run, RunBenchmarks& held, const CapacityStage& capacity,
                  MemberSnapshot& kept) {
    if (const std::string why = nonRegularTarget(kRunResultFile); !why.empty()) {
        logMessage("** %s: %s; no result file written", kRunResultFile, why.c_str());
        return false;
    }
    const std::string part = std::string(kRunResultFile) + ".part";
    if (writeResults(run, held, capacity, part.c_str(), kept) &&
        std::rename(part.c_str(), kRunResultFile) == 0) {
        return true;
    }
    std::remove(part.c_str());
    return false;
}

}  // namespace

bool flashCheckDiffers(uint64_t firstZoneRate, uint64_t lastZoneRate) {
    const uint64_t difference =
        firstZoneRate > lastZoneRate ? firstZoneRate - lastZoneRate : lastZoneRate - firstZoneRate;
    return static_cast<double>(difference) > static_cast<double>(firstZoneRate) * kFlashTolerance;
}

std::string runRefusal(I_VornDevice& device, bool writeTest) {
    const uint32_t sectorSize = device.mediaBlockSize();
    const uint64_t sectors = device.mediaSectors();
    auto refusal = [&](const std::unique_ptr<DiskRwBenchmark>& benchmark, const char* caption) {
        // A factory that gives nothing fails its phase in the run, as it always has.
        return benchmark ? fitRefusal(*benchmark, caption, sectorSize, sectors) : std::string();
    };
    if (std::string why = refusal(newZonedBenchmark(kFlashStep), "flash check"); !why.empty()) {
        return why;
    }
    for (const RunStep& step : kRunSteps) {
        const bool planned =
            step.kind == StepKind::Read || (writeTest && step.kind == StepKind::Write);
        if (std::string why = planned ? refusal(newZonedBenchmark(step), step.name) : std::string();
            !why.empty()) {
            return why;
        }
    }
    return {};
}

bool runBenchmarkStep(I_Benchmark& benchmark, I_VornDevice& device, I_VornEventLog& eventLog,
                      I_RunView& view, const char* stepName, RunRow row, uint32_t rowLimit) {
    view.setRowState(row, RowState::Running);
    view.setProgress(0);
    view.setProgressVisible(true);
    view.setRowActive(row, true);
    note(eventLog, "START -", stepName);
    if (rowLimit != 0) {
        const uint64_t frequency = platform::counterFrequency();
        eventLog.limitRows(rowLimit, frequency * kExtendedBatchMs / 1000);
    }

    benchmark.start(&device);
    uint32_t status;
    while ((status = benchmark.getStatus()) == kStatusRunning) {
        view.sleepMs(kPollMs);
        view.setProgress(benchmark.getProgress());
        if (view.cancelRequested()) {
            benchmark.cancel();
        }
    }
    if (status != kStatusDone) {
        char text[32];
        std::snprintf(text, sizeof text, "TEST ERROR %u\n", status);
        eventLog.addNote(text);
        logMessage("TEST ERROR %u", status);
    }
    view.setRowState(row, status == kStatusDone ? RowState::Passed : RowState::Failed);
    if (rowLimit != 0) {
        eventLog.limitRows(0, 0);  // the last batch row ends with the step
    }

    view.setProgressVisible(false);
    view.setRowActive(row, false);
    note(eventLog, "END -", stepName);
    return status == kStatusDone;
}

bool runTestSequence(const TestRunContext& given, MemberSnapshot* stored) {
    // After a check that found less than claimed, `run` sees the verified part only.
    CapacityStage capacity(given);
    const TestRunContext& run = capacity.context();
    prepareView(run);
    ViewShown shown(run.view);
    labelRows(run);
    RunBenchmarks held;

    bool ok = goOn(run) && capacity.run();
    ok = ok && flashCheck(run);
    if (ok && run.writeTest) {
        ok = goOn(run) && wipeUnlessMarked(run, held.writeCurve);
    }
    ok = ok && runTable(run, readTests, RunRow::Read, held.reads);
    if (ok && run.extended) {
        ok = runExtended(run, extendedReads, RunRow::Read, held.extendedReads);
    }
    // A cancel before the first write test leaves the medium as a failed read test does.
    if (ok && run.writeTest && (ok = goOn(run))) {
        ok = runTable(run, writeTests, RunRow::Write, held.writes);
        if (ok && run.extended) {
            ok = runExtended(run, extendedWrites, RunRow::Write, held.extendedWrites);
        }
        // Whatever happened, the medium gets its markers and a clean start.
        wipeMarkers(run.device, MarkerMode::Write);
        (void)wipeDevice(run.device, kZeroedAfterWrite, run.view, &run.eventLog);
    }
    ok = ok && runAccess(run, false, held.random);
    ok = ok && runAccess(run, true, held.sequential);
    MemberSnapshot kept;
    ok = ok && goOn(run) && storeResults(run, held, capacity, kept);
    if (stored != nullptr) {
        *stored = std::move(kept);
    }
    // A cancel during the last store still counts: the run never reports success then.
    return ok && goOn(run);
}

}  // namespace vorn
