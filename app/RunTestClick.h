#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "storage/DriveCatalog.h"
#include "storage/DriveList.h"

namespace vorn {

class I_Dialogs;
class I_RunView;
class I_VornDevice;
class I_VornEventLog;

// The windows a test run hides and opens, seen from the core. The main window and
// the chart window implement it; the terminal front end prints instead.
class I_RunHost {
public:
    virtual ~I_RunHost() = default;
    // Called once the progress view is up (after pending events were processed).
    virtual void hideMainWindow() = 0;
    // Opens the chart window on "temp.qkt"; returns when the user is done with it.
    // Upload is allowed only for results that include the write test.
    virtual void showTestResults(bool writeTest) = 0;
};

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
struct RunTestRequest {
    std::vector<DeviceEntry> entries;  // the device list, at most kMaxDeviceEntries
    int selected = -1;                 // index into entries; -1 = nothing selected
    bool writeTest = false;            // "&Enable Write Test"
    bool capacityCheck = false;        // "Check real &capacity" (only with the write test)
    const DriveCatalog* catalog = &systemCatalog();
    DeviceOpener opener;  // empty: newLinuxDrive on `catalog`
};

enum class RunOutcome {
    NoSelection,  // nothing was selected: nothing happened
    Stopped,      // a check or a question stopped it before the run
    Failed,       // the run failed or was cancelled (the warning box was shown)
    Succeeded,    // the run succeeded and the results were shown
    Exception,    // an exception ended it (logged, error box shown)
};

// The Run Test button, up to the point where the main window comes back: the checks
// with their boxes, the test run with "vorntest.log" open, the results, and
// "event.log". Showing the main window again and refreshing its list stay with the
// caller. Never throws. `eventLogSaved` (when given) tells whether "event.log" was
// written whole.
RunOutcome runTestClick(const RunTestRequest& request, I_RunView& view, I_Dialogs& dialogs,
                        I_RunHost& host, bool* eventLogSaved = nullptr);

}  // namespace vorn
