#include "app/RunJob.h"

#include <cstring>
#include <exception>

#include "app/RunView.h"
#include "app/TestRun.h"
#include "app/WriteConsent.h"
#include "base/DiagLog.h"
#include "base/Dialogs.h"
#include "base/FileNames.h"
#include "bench/MemoryEventLog.h"
#include "results/RunSteps.h"
#include "storage/DeviceListText.h"
#include "storage/LinuxDrive.h"

namespace vorn {
namespace {

constexpr uint32_t kTransferBuffer = 524288;
// The extended tests keep eight 1 MiB transfers in flight.
constexpr uint32_t kExtendedBuffer = 8 * kSeqBlock;
constexpr uint32_t kEventSectorBytes = 512;
constexpr const char* kPlace = "RunTestClick";

constexpr const char* kDrivesChanged =
    "Drives may have been added/removed, please select a new device.";
constexpr const char* kRunFailed = "Error during test or test cancelled by user.";
constexpr const char* kProgramError = "Program error (exception) during test.";

std::string cutToBuffer(const std::string& text) {
    std::string cut(text.c_str());
    if (cut.size() > kListTextBuffer - 1) {
        cut.resize(kListTextBuffer - 1);
    }
    return cut;
}

std::unique_ptr<I_VornDevice> openDevice(const RunJobRequest& request, int number,
                                         I_VornEventLog* eventLog) {
    const uint32_t bufferSize = request.extended ? kExtendedBuffer : kTransferBuffer;
    if (request.opener) {
        return request.opener(number, eventLog, bufferSize);
    }
    const DriveCatalog& catalog = request.catalog ? *request.catalog : systemCatalog();
    return newLinuxDrive(number, eventLog, bufferSize, catalog);
}

// Steps from opening the device to the results; the device is closed on return.
RunOutcome checkAndRun(const RunJobRequest& request, I_VornEventLog& eventLog, I_RunView& view,
                       I_Dialogs& dialogs, RunResult& result) {
    const DeviceEntry& entry = request.entries[static_cast<size_t>(request.selected)];
    auto device = openDevice(request, entry.driveNumber, &eventLog);
    if (!device || listEntryText(*device) != cutToBuffer(entry.text)) {
        result.failure = kDrivesChanged;
        dialogs.error(kDrivesChanged);
        return RunOutcome::Stopped;
    }
    if (!mediumAccepted(*device, dialogs)) {
        return RunOutcome::Stopped;
    }
    // A normal user's drive opens through udisks2 here, where polkit may say no.
    if (std::string why; !device->openForTransfers(why)) {
        dialogs.error("QK Vorn cannot open this drive: " + why + ".");
        return RunOutcome::Stopped;
    }
    if (const std::string why = runRefusal(*device, request.writeTest); !why.empty()) {
        result.failure = why;
        dialogs.error(why);
        return RunOutcome::Stopped;
    }
    if (request.writeTest && !confirmWriteTest(*device, dialogs)) {
        return RunOutcome::Stopped;
    }
    // The user has agreed to lose the medium's data: its file systems come off now,
    // before the first write, and nothing else may take the drive during the run.
    if (request.writeTest && !claimDeviceForWrite(*device, dialogs)) {
        return RunOutcome::Stopped;
    }
    result.log->open();
    auto stored = std::make_unique<MemberSnapshot>();
    const TestRunContext context{*device,
                                 eventLog,
                                 view,
                                 dialogs,
                                 request.writeTest,
                                 request.capacityCheck,
                                 request.extended,
                                 &result.writeCurveLine};
    if (!runTestSequence(context, stored.get())) {
        result.failure = kRunFailed;
        dialogs.warning(kRunFailed);
        result.log->close();
        return RunOutcome::Failed;
    }
    // Written before the result is handed out, so the chart window's timeline has this run.
    result.eventLogSaved = eventLog.dumpCsv(kEventLogFile, false, nullptr, kEventSectorBytes);
    result.record = readRunRecord(*stored);
    result.stored = std::move(stored);
    return RunOutcome::Succeeded;
}

// Called inside a catch handler.
void reportException(I_Dialogs& dialogs, RunResult& result) {
    try {
        throw;
    } catch (const std::exception& exception) {
        logException(kPlace, exception);
    } catch (...) {
        logUnknownException(kPlace, -1);
    }
    result.outcome = RunOutcome::Exception;
    result.failure = kProgramError;
    result.log.reset();
    result.stored.reset();
    dialogs.error(kProgramError);
}

bool validSelection(const RunJobRequest& request) {
    return request.selected >= 0 &&
           static_cast<size_t>(request.selected) < request.entries.size() &&
           static_cast<size_t>(request.selected) < kMaxDeviceEntries;
}

}  // namespace

std::string listEntryText(I_VornDevice& device) {
    return cutToBuffer(deviceListText(device));
}

std::string listEntryText(const ListedDrive& drive) {
    return cutToBuffer(drive.text);
}

std::vector<DeviceEntry> deviceEntries(const std::vector<ListedDrive>& drives) {
    std::vector<DeviceEntry> entries;
    for (const ListedDrive& drive : drives) {
        if (entries.size() == kMaxDeviceEntries) {
            break;
        }
        entries.push_back({listEntryText(drive), drive.number});
    }
    return entries;
}

void RunTestLog::open() {
    openLog(kTestLog);
    open_ = true;
}

void RunTestLog::close() {
    if (open_) {
        closeLog();
        open_ = false;
    }
}

std::unique_ptr<I_VornCollection> copyOfStored(const RunResult& result) {
    if (!result.stored) {
        return nullptr;
    }
    return std::make_unique<MemberSnapshot>(*result.stored);
}

RunResult runTestJob(const RunJobRequest& request, I_RunView& view, I_Dialogs& dialogs) {
    RunResult result;
    result.writeTest = request.writeTest;
    if (!validSelection(request)) {
        result.outcome = RunOutcome::NoSelection;
        return result;
    }
    result.log = std::make_unique<RunTestLog>();
    std::unique_ptr<I_VornEventLog> eventLog;
    bool eventsWritten = false;
    try {
        eventLog = newEventLog(request.extended ? kExtendedLogRoom : kEventLogRoom);
        if (eventLog) {
            result.outcome = checkAndRun(request, *eventLog, view, dialogs, result);
            eventsWritten = result.outcome == RunOutcome::Succeeded;
        } else {
            logMessage("** %s: the event log could not be created", kPlace);
            result.failure = kProgramError;
            dialogs.error(kProgramError);
        }
    } catch (...) {
        reportException(dialogs, result);
    }
    if (result.outcome != RunOutcome::Succeeded) {
        result.log.reset();
        result.stored.reset();
    }
    if (eventLog && !eventsWritten) {
        try {
            result.eventLogSaved =
                eventLog->dumpCsv(kEventLogFile, false, nullptr, kEventSectorBytes);
        } catch (...) {
            reportException(dialogs, result);
        }
    }
    return result;
}

}  // namespace vorn
