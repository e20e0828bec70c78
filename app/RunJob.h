#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "results/MemberSnapshot.h"
#include "results/RunRecord.h"
#include "storage/DriveCatalog.h"
#include "storage/DriveList.h"

namespace vorn {

class I_Dialogs;
class I_RunView;
class I_VornCollection;
class I_VornDevice;
class I_VornEventLog;

// One entry of the main window's device list: its text and the drive it stands for.
struct DeviceEntry {
    std::string text;
    int driveNumber = 0;
};

// The main window keeps a drive-number table of this many entries; the list never
// holds more.
inline constexpr size_t kMaxDeviceEntries = 255;
// A list text is kept in a zero-filled buffer of this size (so 254 characters at most).
inline constexpr size_t kListTextBuffer = 255;

// The list text of a device as the list holds it: deviceListText cut to fit
// kListTextBuffer. The main window fills its list with this, the press compares it.
std::string listEntryText(I_VornDevice& device);
// The list text of a listed drive, cut the same way.
std::string listEntryText(const ListedDrive& drive);
// The device list's entries for a listing, at most kMaxDeviceEntries.
std::vector<DeviceEntry> deviceEntries(const std::vector<ListedDrive>& drives);

// Opens drive `driveNumber` with the event log attached and a transfer buffer of
// `bufferSize` bytes; nullptr when it does not open.
using DeviceOpener = std::function<std::unique_ptr<I_VornDevice>(
    int driveNumber, I_VornEventLog* log, uint32_t bufferSize)>;

// What the Run Test button reads from the main window.
struct RunJobRequest {
    std::vector<DeviceEntry> entries;  // the device list, at most kMaxDeviceEntries
    int selected = -1;                 // index into entries; -1 = nothing selected
    bool writeTest = false;            // "&Enable Write Test"
    bool capacityCheck = false;        // "Check real c&apacity" (only with the write test)
    bool extended = false;             // "E&xtended tests"
    const DriveCatalog* catalog = &systemCatalog();
    DeviceOpener opener;  // empty: newLinuxDrive on `catalog`
};

enum class RunOutcome {
    NoSelection,  // nothing was selected: nothing happened
    Stopped,      // a check or a question stopped it before the run
    Failed,       // the run failed or was cancelled (the warning box was shown)
    Succeeded,    // the run succeeded; its result is in RunResult::stored
    Exception,    // an exception ended it (logged, error box shown)
};

// "vorntest.log", open from the first step of the run until this is destroyed; on an
// exception it stays open until the exception has been logged into it.
class RunTestLog {
public:
    RunTestLog() = default;
    ~RunTestLog() { close(); }
    RunTestLog(const RunTestLog&) = delete;
    RunTestLog& operator=(const RunTestLog&) = delete;
    void open();
    void close();

private:
    bool open_ = false;
};

// What a test run ends with.
struct RunResult {
    RunOutcome outcome = RunOutcome::Exception;
    // The text of the box that ended the run; empty after a success.
    std::string failure;
    // Whether "event.log" was written whole.
    bool eventLogSaved = false;
    // The run included the write test (only such results may be uploaded).
    bool writeTest = false;
    // What the wipe told of the write cache, or why it was not measured; empty without
    // the write test.
    std::string writeCurveLine;
    // After a success: the result exactly as "temp.qkt" holds it, read only, and its
    // measurements. Null otherwise.
    std::unique_ptr<MemberSnapshot> stored;
    RunRecord record;
    // After a success "vorntest.log" stays open while the result is looked at (saving
    // and uploading log into it); releasing this closes it.
    std::unique_ptr<RunTestLog> log;
};

// The Run Test button's work, from the checks with their boxes to the result: the test
// run with "vorntest.log" open, then "event.log". Steps, progress and cancel go through
// `view`, questions and boxes through `dialogs`; no window is touched otherwise, so it
// may run on a worker thread. Showing the result is the caller's. Never throws.
RunResult runTestJob(const RunJobRequest& request, I_RunView& view, I_Dialogs& dialogs);

// The stored result as a collection of its own, for a window that keeps it.
std::unique_ptr<I_VornCollection> copyOfStored(const RunResult& result);

}  // namespace vorn
