#include "app/RunTestClick.h"

#include <cstring>
#include <exception>

#include "app/RunView.h"
#include "app/TestRun.h"
#include "app/WriteConsent.h"
#include "base/DiagLog.h"
#include "base/Dialogs.h"
#include "bench/MemoryEventLog.h"
#include "storage/DeviceListText.h"
#include "storage/LinuxDrive.h"

namespace vorn {
namespace {

constexpr uint32_t kEventLogEntries = 49152;
constexpr uint32_t kTransferBuffer = 524288;
constexpr uint32_t kEventSectorBytes = 512;
constexpr const char* kPlace = "RunTestClick";

constexpr const char* kDrivesChanged =
    "Drives may have been added/removed, please select a new device.";
constexpr const char* kRunFailed = "Error during test or test cancelled by user.";
constexpr const char* kProgramError = "Program error (exception) during test.";

// "vorntest.log" for the run itself. Closed at the end of the run; on an exception it
// stays open until the exception has been logged into it, then closes too.
class TestLog {
public:
    TestLog() = default;
    ~TestLog() { close(); }
    TestLog(const TestLog&) = delete;
    TestLog& operator=(const TestLog&) = delete;
    void open() {
        openLog("vorntest.log");
        open_ = true;
    }
    void close() {
        if (open_) {
            closeLog();
            open_ = false;
        }
    }

private:
    bool open_ = false;
};

std::string cutToBuffer(const std::string& text) {
    std::string cut(text.c_str());
    if (cut.size() > kListTextBuffer - 1) {
        cut.resize(kListTextBuffer - 1);
    }
    return cut;
}

std::unique_ptr<I_VornDevice> openDevice(const RunTestRequest& request, int number,
                                         I_VornEventLog* eventLog) {
    if (request.opener) {
        return request.opener(number, eventLog, kTransferBuffer);
    }
    const DriveCatalog& catalog = request.catalog ? *request.catalog : systemCatalog();
    return newLinuxDrive(number, eventLog, kTransferBuffer, catalog);
}

// Steps from opening the device to the results; the device is closed on return.
RunOutcome checkAndRun(const RunTestRequest& request, I_VornEventLog& eventLog, I_RunView& view,
                       I_Dialogs& dialogs, I_RunHost& host, TestLog& testLog, bool& eventsWritten,
                       bool& eventsSaved) {
    const DeviceEntry& entry = request.entries[static_cast<size_t>(request.selected)];
    auto device = openDevice(request, entry.driveNumber, &eventLog);
    if (!device || listEntryText(*device) != cutToBuffer(entry.text)) {
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
    testLog.open();
    const bool ok = runTestSequence(
        {*device, eventLog, view, dialogs, host, request.writeTest, request.capacityCheck});
    if (ok) {
        // Written before the results show, so the chart window's timeline has this run.
        eventsSaved = eventLog.dumpCsv("event.log", false, nullptr, kEventSectorBytes);
        eventsWritten = true;
        host.showTestResults(request.writeTest);
    } else {
        dialogs.warning(kRunFailed);
    }
    testLog.close();
    return ok ? RunOutcome::Succeeded : RunOutcome::Failed;
}

// Called inside a catch handler.
void reportException(I_Dialogs& dialogs) {
    try {
        throw;
    } catch (const std::exception& exception) {
        logException(kPlace, exception);
    } catch (...) {
        logUnknownException(kPlace, -1);
    }
    dialogs.error(kProgramError);
}

bool validSelection(const RunTestRequest& request) {
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

RunOutcome runTestClick(const RunTestRequest& request, I_RunView& view, I_Dialogs& dialogs,
                        I_RunHost& host, bool* eventLogSaved) {
    if (!validSelection(request)) {
        return RunOutcome::NoSelection;
    }
    RunOutcome outcome = RunOutcome::Exception;
    TestLog testLog;
    std::unique_ptr<I_VornEventLog> eventLog;
    bool eventsWritten = false;
    bool eventsSaved = false;
    try {
        eventLog = newEventLog(kEventLogEntries);
        if (eventLog) {
            outcome = checkAndRun(request, *eventLog, view, dialogs, host, testLog, eventsWritten,
                                  eventsSaved);
        } else {
            logMessage("** %s: the event log could not be created", kPlace);
            dialogs.error(kProgramError);
        }
    } catch (...) {
        reportException(dialogs);
        outcome = RunOutcome::Exception;
    }
    testLog.close();
    if (eventLog && !eventsWritten) {
        try {
            eventsSaved = eventLog->dumpCsv("event.log", false, nullptr, kEventSectorBytes);
        } catch (...) {
            reportException(dialogs);
            outcome = RunOutcome::Exception;
        }
    }
    if (eventLogSaved != nullptr) {
        *eventLogSaved = eventsSaved;
    }
    return outcome;
}

}  // namespace vorn
