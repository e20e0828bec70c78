// A run never destroys data for nothing: every check that can refuse it answers before
// the first write (block sizes against the sector size, room for the zones and the
// write reserve, a drive that carries the system, taking the drive), and a medium
// pulled in any phase ends the run at once with its traces.

#include <gtest/gtest.h>

#include <atomic>

#include "RunFixture.h"
#include "support/RecordingRunView.h"
#include "support/ScriptedDialogs.h"

namespace vorn::test {
namespace {

const DialogBox kOverwrite{
    DialogBox::Destructive,
    "You have chosen to do a write test on a removable drive.  The QK Vorn write test "
    "overwrites data and all data on this removable drive WILL be lost.  Continue test?"};
const DialogBox kRunFailed{DialogBox::Warning, "Error during test or test cancelled by user."};

DialogBox error(const std::string& text) {
    return {DialogBox::Error, text, {}};
}

TEST(PreWriteChecks, RefusalsComeBeforeAnyTransfer) {
    const std::string sectors4k =
        "This medium has 4096-byte sectors, larger than the 2048-byte blocks of the Read Test "
        "(2k block), so QK Vorn cannot test it. Nothing was written.";
    const struct {
        const char* label;
        MemoryDevice::Options options;
        bool write;
        std::vector<DialogBox> boxes;
    } cases[] = {
        {"4096-byte sectors, read only",
         {.sectors = 8192, .sectorSize = 4096},
         false,
         {error(sectors4k)}},
        {"4096-byte sectors, write test",
         {.sectors = 8192, .sectorSize = 4096},
         true,
         {error(sectors4k)}},
        // 4 MB: room for the flash check's 1 MB, not for a 4 MB test zone and a sector.
        {"too small for the read zones",
         {.sectors = 8192},
         false,
         {error("This medium (4096 KB) is too small for the zones of the Read Test (2k block), "
                "so QK Vorn cannot test it. Nothing was written.")}},
        // The read zones fit; the write tests' 128-sector reserve does not.
        {"too small for the write reserve",
         {.sectors = 8194},
         true,
         {error("This medium (4097 KB) is too small for the zones of the Write Test (2k "
                "block), so QK Vorn cannot test it. Nothing was written.")}},
        {"holds the system",
         {.systemUse = "the root file system"},
         true,
         {error("QK Vorn will not write to this drive: it holds the root file system.")}},
        // A refused authorization stops either kind of run at the drive, before any
        // question or transfer.
        {"not authorized, read test",
         {.openFailure = "not authorized to open /dev/sdb for reading (polkit refused)"},
         false,
         {error("QK Vorn cannot open this drive: not authorized to open /dev/sdb for reading "
                "(polkit refused).")}},
        {"not authorized, write test",
         {.openFailure = "not authorized to open /dev/sdb for reading (polkit refused)"},
         true,
         {error("QK Vorn cannot open this drive: not authorized to open /dev/sdb for reading "
                "(polkit refused).")}},
        {"cannot be unmounted",
         {.claimFailure = "'/media/key' is busy and cannot be unmounted"},
         true,
         {kOverwrite, error("QK Vorn cannot take this drive for the write test: '/media/key' is "
                            "busy and cannot be unmounted. Nothing was written.")}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        InTempFolder here;
        MemoryRun memory;
        memory.options = c.options;
        RecordingRunView view;
        ScriptedDialogs dialogs({}, true);
        EXPECT_EQ(runTestJob(memory.request(c.write), view, dialogs).outcome, RunOutcome::Stopped);
        EXPECT_EQ(dialogs.boxes, c.boxes);
        ASSERT_TRUE(memory.closed);
        EXPECT_TRUE(memory.transfers.empty());
        EXPECT_EQ(memory.writes, 0u);
        EXPECT_FALSE(memory.claimed);
        EXPECT_TRUE(view.shown.empty());
        EXPECT_TRUE(here.has("event.log"));
    }
}

// A write test takes the drive after the questions and before its first transfer; a
// read-only run never does.
TEST(PreWriteChecks, WriteTestTakesTheDriveBeforeTheRun) {
    for (bool write : {false, true}) {
        SCOPED_TRACE(write);
        InTempFolder here;
        MemoryRun memory;
        bool claimedAtFirstTransfer = false;
        memory.prepare = [&](KeptDevice& device) {
            device.afterTransfer = [&device, &claimedAtFirstTransfer](uint64_t index) {
                if (index == 0) {
                    claimedAtFirstTransfer = device.claimed();
                }
            };
        };
        RecordingRunView view;
        // Cancelled once the flash check runs, so it makes at least its first transfer.
        view.cancelWhen = [](const RecordingRunView& v) {
            return v.statesOf(RunRow::Test).back() == RowState::Running;
        };
        ScriptedDialogs dialogs({}, true);
        EXPECT_EQ(runTestJob(memory.request(write), view, dialogs).outcome, RunOutcome::Failed);
        EXPECT_EQ(dialogs.boxes.back(), kRunFailed);
        EXPECT_EQ(memory.claimed, write);
        EXPECT_EQ(claimedAtFirstTransfer, write);
        EXPECT_FALSE(memory.transfers.empty());
    }
}

// From the pull on, every transfer fails as on a vanished node (ENODEV, EIO): the
// phase fails at its next transfer and nothing after it retries the medium, except the
// markers and the one zeroing write that follow the write tests.
TEST(PulledMedium, EveryPhaseEndsAtOnceWithItsTraces) {
    const struct {
        RunRow row;
        const char* label;             // the row label the medium is pulled under
        bool benchmark;                // the phase is a benchmark step (it notes TEST ERROR)
        uint64_t maxAfter;             // transfers tried after the pull
        uint64_t pullAt = UINT64_MAX;  // or the transfer index it is pulled at
    } cases[] = {
        // The flash check's 32 reads are over before the first poll of the view.
        {RunRow::Test, "", true, 1, 5},
        {RunRow::Test, "Erasing Flash Device", false, 1},
        {RunRow::Read, "Read Test (8k block)", true, 1},
        // The zone's first flush, its first write, the ten markers, one zeroing write.
        {RunRow::Write, "Write Test (4k block)", true, 1 + 1 + 10 + 1},
        {RunRow::Access, "Random Access Test", true, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        InTempFolder here;
        MemoryRun memory;
        std::atomic<bool> pulled{false};
        std::atomic<uint64_t> firstFailed{UINT64_MAX};
        memory.prepare = [&](KeptDevice& device) {
            device.failWhen = [&, pullAt = c.pullAt](uint64_t index, const Transfer&) {
                pulled = pulled || index >= pullAt;
                if (pulled && firstFailed == UINT64_MAX) {
                    firstFailed = index;
                }
                return pulled.load();
            };
        };
        RecordingRunView view;
        // Pulled as the phase's label shows, before its first transfer: a poll of the
        // view could come only after a short phase has ended.
        view.onLabel = [&](RunRow row, const std::string& text) {
            pulled = pulled || (row == c.row && *c.label != '\0' && text == c.label);
        };
        ScriptedDialogs dialogs({}, true);
        const RunResult result = runTestJob(memory.request(true), view, dialogs);
        EXPECT_EQ(result.outcome, RunOutcome::Failed);
        EXPECT_EQ(dialogs.boxes.back(), kRunFailed);
        EXPECT_EQ(result.stored, nullptr);
        ASSERT_NE(firstFailed.load(), UINT64_MAX);
        EXPECT_LE(memory.transfers.size() - firstFailed, c.maxAfter);
        const std::string events = here.read("event.log");
        EXPECT_NE(events.find(",NO,"), std::string::npos);
        EXPECT_EQ(events.find("TEST ERROR") != std::string::npos, c.benchmark);
        EXPECT_FALSE(here.has("temp.qkt"));
    }
}

}  // namespace
}  // namespace vorn::test
