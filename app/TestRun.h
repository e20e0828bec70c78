#pragma once

#include <cstdint>
#include <string>

#include "app/RunView.h"
#include "base/FileNames.h"

namespace vorn {

class I_Benchmark;
class I_Dialogs;
class I_VornDevice;
class I_VornEventLog;
class MemberSnapshot;

// The result file a run leaves behind (the last run's result, for saving and listing).

// True when the first and last zone of the flash check differ by more than 15 % of
// the first (the difference is absolute): such a device does not behave like flash.
bool flashCheckDiffers(uint64_t firstZoneRate, uint64_t lastZoneRate);

// Why a run of this device cannot succeed, asked before anything is written: a test
// whose blocks are smaller than the medium's sectors, or a medium without room for a
// test's zones. Empty when every planned benchmark fits.
std::string runRefusal(I_VornDevice& device, bool writeTest);

// Starts the benchmark on the device and polls it every 500 ms on the given row
// until it ends, passing a cancel request on at each poll. The step is marked in the
// event log and the diagnostic log. True when it finished with status 1.
// `rowLimit` (when not 0) is the step's share of single event-log rows; after it the
// step's transfers are kept as one row per batch period.
bool runBenchmarkStep(I_Benchmark& benchmark, I_VornDevice& device, I_VornEventLog& eventLog,
                      I_RunView& view, const char* stepName, RunRow row, uint32_t rowLimit = 0);

// What one test run works with. The device is open (and armed for writing when the
// write test was chosen), with the event log attached.
struct TestRunContext {
    I_VornDevice& device;
    I_VornEventLog& eventLog;
    I_RunView& view;
    I_Dialogs& dialogs;
    bool writeTest = false;
    // Before everything else, the medium's real capacity is checked; the tests then
    // stay inside what it verified. Only with the write test.
    bool capacityCheck = false;
    // The queued tests at depth (read, and with the write test write), stored with the
    // sustained-write figures under keys of their own.
    bool extended = false;
    // Receives what the wipe told of the medium's write cache, or why it was not measured;
    // may be null.
    std::string* writeCurveLine = nullptr;
};

// The whole run: flash check, wipe, read tests, write tests, access tests and the
// result file "temp.qkt". Stops at the first phase that fails, except that after
// the write tests the markers and the zeroing of the first sectors always follow.
// The progress view is shown for the run and hidden again, also when an exception
// passes through. True when every phase succeeded and the result file was written.
// `stored` (when given) receives the result's entries exactly as they were written to
// the file, so whoever shows the result needs no second read of it.
bool runTestSequence(const TestRunContext& run, MemberSnapshot* stored = nullptr);

}  // namespace vorn
