// The Run Test button: its checks and questions on fake machines, whole runs on a
// fake USB key, cancel, failures and exceptions.

#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <stdexcept>

#include "RunFixture.h"
#include "app/RunJob.h"
#include "app/Wipe.h"
#include "base/DiagLog.h"
#include "results/LinkEntry.h"
#include "results/RunSteps.h"
#include "storage/EventLog.h"
#include "support/FakeSysfs.h"
#include "support/ManualCounter.h"
#include "support/MemoryDevice.h"
#include "support/RecordingRunView.h"
#include "support/ScriptedDialogs.h"

namespace vorn::test {
namespace {

const DialogBox kDrivesChanged{DialogBox::Error,
                               "Drives may have been added/removed, please select a new device."};
const DialogBox kNoMedia{
    DialogBox::Error, "No media in device, insert media and press refresh or select a new device."};
const DialogBox kRemovableOnly{DialogBox::Error, "QK Vorn supports only removable media devices."};
const DialogBox kCannotWrite{DialogBox::Error,
                             "Write has been enabled, but QK Vorn can not write to this device."};
const DialogBox kOverwrite{
    DialogBox::Destructive,
    "You have chosen to do a write test on a removable drive.  The QK Vorn write test "
    "overwrites data and all data on this removable drive WILL be lost.  Continue test?"};
const DialogBox kFiles{DialogBox::Destructive,
                       "QK Vorn has found files on this device, perform write test anyway?"};
const DialogBox kNotFlash{DialogBox::Question,
                          "This device does not seem to be a flash device, continue anyway?"};
const DialogBox kRunFailed{DialogBox::Warning, "Error during test or test cancelled by user."};
const DialogBox kProgramError{DialogBox::Error, "Program error (exception) during test."};

constexpr uint64_t kMiB = 1024 * 1024;

FakeDisk smallKey() {
    FakeDisk key = FakeSysfs::usbKey480();
    key.imageBytes = 64 * kMiB;
    return key;
}

// The main window's list of the tree with the named drive selected.
RunJobRequest requestFor(const FakeSysfs& tree, const std::string& drive, bool writeTest) {
    RunJobRequest request;
    request.entries = listedDrives(tree.catalog());
    const std::vector<std::string> names = tree.catalog().driveNames();
    for (size_t i = 0; i < request.entries.size(); ++i) {
        if (names.at(static_cast<size_t>(request.entries[i].driveNumber)) == drive) {
            request.selected = static_cast<int>(i);
        }
    }
    request.writeTest = writeTest;
    request.catalog = &tree.catalog();
    return request;
}

struct Press {
    explicit Press(ScriptedDialogs scripted = ScriptedDialogs()) : dialogs(std::move(scripted)) {}

    RecordingRunView view;
    ScriptedDialogs dialogs;
    RunOutcome outcome = RunOutcome::NoSelection;
    RunResult result;

    void run(const RunJobRequest& request) {
        result = runTestJob(request, view, dialogs);
        outcome = result.outcome;
        // As the window does once the user is done with the result.
        result.log.reset();
    }
};

TEST(RunJob, ChecksStopWithTheirBoxAndStillWriteTheEventLog) {
    const struct {
        const char* name;
        const char* drive;  // kernel name of the selected drive
        bool write;
        std::deque<bool> answers;
        int stale;  // the list is stale: 1 its text, 2 its drive number
        std::vector<DialogBox> boxes;
    } cases[] = {
        {"stale text", "sdb", false, {}, 1, {kDrivesChanged}},
        {"drive gone", "sdb", false, {}, 2, {kDrivesChanged}},
        {"no media", "sdd", true, {}, 0, {kNoMedia}},
        {"fixed disk", "sda", true, {}, 0, {kRemovableOnly}},
        {"write refused", "sdf", true, {true, true}, 0, {kCannotWrite}},
        {"no to overwrite", "sdb", true, {false, true}, 0, {kOverwrite}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        InTempFolder here;
        FakeSysfs tree;
        for (const FakeDisk& disk : {FakeSysfs::sataDisk(), smallKey(),
                                     FakeSysfs::readerWithoutMedia(), FakeSysfs::readOnlyCard()}) {
            tree.addDisk(disk);
        }
        RunJobRequest request = requestFor(tree, c.drive, c.write);
        ASSERT_GE(request.selected, 0);
        DeviceEntry& entry = request.entries[static_cast<size_t>(request.selected)];
        entry.text += c.stale == 1 ? " " : "";
        entry.driveNumber = c.stale == 2 ? 9 : entry.driveNumber;
        Press press(ScriptedDialogs(c.answers, true));
        press.run(request);
        EXPECT_EQ(press.outcome, RunOutcome::Stopped);
        EXPECT_EQ(press.dialogs.boxes, c.boxes);
        EXPECT_TRUE(press.view.shown.empty());
        EXPECT_EQ(press.result.stored, nullptr);
        EXPECT_TRUE(here.has("event.log"));
        EXPECT_FALSE(here.has("vorntest.log"));
    }
}

TEST(RunJob, NothingSelectedDoesNothing) {
    InTempFolder here;
    for (int selected : {-1, 1, 255}) {
        RunJobRequest request;
        request.entries.assign(selected == 1 ? 1 : 300, {"(x) y (1.0GB)", 0});
        request.selected = selected;
        request.opener = [](int, I_VornEventLog*, uint32_t) -> std::unique_ptr<I_VornDevice> {
            throw std::logic_error("must not open");
        };
        Press press;
        press.run(request);
        EXPECT_EQ(press.outcome, RunOutcome::NoSelection) << selected;
        EXPECT_TRUE(press.dialogs.boxes.empty()) << selected;
    }
    EXPECT_FALSE(here.has("event.log"));
}

// Files on the mounted medium ask once more (which files count is tested with
// deviceHasFiles). The run itself is cancelled at once.
TEST(RunJob, FilesOnTheMediumAskOnceMore) {
    const struct {
        bool file;
        bool answer;
        std::vector<DialogBox> boxes;
        RunOutcome outcome;
        bool refusedTake = false;  // then the box of the refused unmount follows
    } cases[] = {
        {true, false, {kOverwrite, kFiles}, RunOutcome::Stopped},
        // A yes goes on to unmount the medium, which this fake mount (a plain folder)
        // refuses: the run stops before its first write.
        {true, true, {kOverwrite, kFiles}, RunOutcome::Stopped, true},
        {false, true, {kOverwrite}, RunOutcome::Stopped, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.boxes.size()) + (c.file ? " file" : " none"));
        InTempFolder here;
        TempDir mount;
        if (c.file) {
            mount.write("DSC0001.JPG", "x");
        }
        FakeSysfs tree;
        tree.addDisk(smallKey());
        tree.addMount("8:16", mount.path().string());
        // umount2 on a plain folder: EINVAL for root, EPERM for anyone else.
        const std::string notAMount = std::strerror(geteuid() == 0 ? EINVAL : EPERM);
        std::vector<DialogBox> boxes = c.boxes;
        if (c.refusedTake) {
            boxes.push_back({DialogBox::Error,
                             "QK Vorn cannot take this drive for the write test: '" +
                                 mount.path().string() + "' cannot be unmounted (" + notAMount +
                                 "). Nothing was written.",
                             {}});
        }
        Press press(ScriptedDialogs({true, c.answer}));
        press.view.cancelWhen = [](const RecordingRunView&) { return true; };
        press.run(requestFor(tree, "sdb", true));
        EXPECT_EQ(press.outcome, c.outcome);
        EXPECT_EQ(press.dialogs.boxes, boxes);
        EXPECT_EQ(press.result.stored, nullptr);
    }
}

// Cancelled in the 8k write test: the markers and the 1024-sector zeroing still
// follow, and nothing after that; a medium already marked skips the full wipe.
TEST(RunJob, CancelDuringTheWriteTestsStillLeavesMarkersAndStopsTheZeroing) {
    for (bool marked : {false, true}) {
        SCOPED_TRACE(marked);
        InTempFolder here;
        MemoryRun memory;
        std::atomic<bool> cancelled{false};
        memory.prepare = [&](KeptDevice& device) {
            if (marked) {
                (void)device.enableWrite(1, 512, 0);
                (void)wipeMarkers(device, MarkerMode::Write);
            }
            // The 8k write test waits at its first block until the cancel is seen.
            device.afterTransfer = [&device, &cancelled](uint64_t) {
                const Transfer& t = device.transfers().back();
                while (t.kind == kEventWrite && t.count == 16 && !cancelled) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                }
            };
        };
        Press press(ScriptedDialogs({}, true));
        press.view.cancelWhen = [&](const RecordingRunView& view) {
            if (view.lastLabel(RunRow::Write) == "Write Test (8k block)") {
                cancelled = true;
            }
            return cancelled.load();
        };
        press.run(memory.request(true));

        EXPECT_EQ(press.outcome, RunOutcome::Failed);
        EXPECT_EQ(press.dialogs.boxes, (std::vector<DialogBox>{kOverwrite, kRunFailed}));
        ASSERT_TRUE(memory.closed);
        const std::vector<Transfer>& t = memory.transfers;
        ASSERT_GE(t.size(), 11u);
        for (int i = 1; i <= kMarkerCount; ++i) {
            const Transfer& m = t[t.size() - 12 + i];
            EXPECT_EQ(m.kind, kEventWrite);
            EXPECT_EQ(m.sector, markerSector(32768, i));
            EXPECT_EQ(m.count, 1u);
            EXPECT_EQ(std::memcmp(memory.medium.data() + m.sector * 512, "QKVOR", 5), 0);
        }
        EXPECT_EQ(t.back().kind, kEventWrite);
        EXPECT_EQ(t.back().sector, 0u);
        EXPECT_EQ(t.back().count, 128u);
        // The full wipe writes sector 0 twice (it wraps); a marked medium skips it.
        const auto zeroWrites = std::count_if(t.begin(), t.end(), [](const Transfer& w) {
            return w.kind == kEventWrite && w.sector == 0 && w.count == 128;
        });
        EXPECT_EQ(zeroWrites, marked ? 1 : 3);
        const bool erased =
            std::any_of(press.view.labels.begin(), press.view.labels.end(),
                        [](const auto& l) { return l.text == "Erasing Flash Device"; });
        EXPECT_EQ(erased, !marked);
        EXPECT_EQ(press.view.statesOf(RunRow::Write),
                  (std::vector<RowState>{RowState::Hidden, RowState::Running, RowState::Passed,
                                         RowState::Running, RowState::Passed, RowState::Running,
                                         RowState::Failed}));
        EXPECT_EQ(press.view.statesOf(RunRow::Access), std::vector<RowState>{RowState::Hidden});
        EXPECT_EQ(press.view.shown, (std::vector<bool>{true, false}));
        EXPECT_NE(here.read("event.log").find(",,,,,,,TEST ERROR 2\n"), std::string::npos);
        EXPECT_FALSE(here.has("temp.qkt"));
    }
}

// A flash check whose zones differ asks; otherwise the run goes on until the 16k
// read test fails, which ends it with the warning and leaves the step's traces.
TEST(RunJob, FlashCheckAsksWhenTheZonesDifferAndAFailedStepEndsTheRun) {
    const struct {
        uint64_t lastZoneTicks;  // per 64 KB block; the first zone takes 6,553,600 (10 MB/s)
        std::vector<DialogBox> boxes;
    } cases[] = {
        {7801905, {kNotFlash, kRunFailed}},  // 8.4 MB/s at the end: asked, and No ends the run
        {7620466, {kRunFailed}},             // 8.6 MB/s: no question
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lastZoneTicks);
        InTempFolder here;
        ManualCounter clock;
        MemoryRun memory;
        memory.options.keepData = false;
        memory.prepare = [&](KeptDevice& device) {
            device.useClock(&clock);
            device.ticksFor = [&](uint64_t, const Transfer& t) {
                return t.sector < 16384 ? 6553600 : c.lastZoneTicks;
            };
            device.failWhen = [](uint64_t, const Transfer& t) { return t.count == 32; };
        };
        Press press(ScriptedDialogs({false}));
        press.run(memory.request(false));
        EXPECT_EQ(press.outcome, RunOutcome::Failed);
        EXPECT_EQ(press.dialogs.boxes, c.boxes);
        EXPECT_EQ(press.result.stored, nullptr);
        EXPECT_EQ(press.view.statesOf(RunRow::Access), std::vector<RowState>{RowState::Hidden});
        if (c.boxes.size() == 1) {
            EXPECT_EQ(press.view.lastLabel(RunRow::Read), "Read Test (16k block)");
            EXPECT_EQ(press.view.statesOf(RunRow::Read).back(), RowState::Failed);
            EXPECT_NE(
                here.read("event.log")
                    .find(",,,,,,,TEST ERROR 3\n\n,,,,,,,END -\n,,,,,,,Read Test (16k block)\n"),
                std::string::npos);
            EXPECT_NE(
                here.read("vorntest.log").find("TEST ERROR 3\nEND -\nRead Test (16k block)\n"),
                std::string::npos);
        }
    }
}

TEST(RunJob, ExceptionIsLoggedShownAndCleanedUp) {
    const struct {
        std::function<void()> thrower;
        const char* line;
    } cases[] = {
        {[] { throw std::runtime_error("boom"); },
         "EXCEPTION: RunTestClick std::runtime_error boom\n"},
        {[] { throw 42; }, "SEH EXCEPTION: RunTestClick -1\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        InTempFolder here;
        MemoryRun memory;
        RecordingRunView view;
        ScriptedDialogs dialogs;
        // Thrown as the run labels its first row, with the progress view up.
        view.onLabel = [&c](RunRow, const std::string&) { c.thrower(); };
        const RunResult result = runTestJob(memory.request(false), view, dialogs);
        EXPECT_EQ(result.outcome, RunOutcome::Exception);
        EXPECT_EQ(result.failure, kProgramError.text);
        EXPECT_EQ(result.stored, nullptr);
        EXPECT_EQ(dialogs.boxes, std::vector<DialogBox>{kProgramError});
        EXPECT_EQ(view.shown, (std::vector<bool>{true, false}));
        EXPECT_TRUE(memory.closed);
        EXPECT_TRUE(here.has("event.log"));
        EXPECT_NE(here.read("vorntest.log").find(c.line), std::string::npos);
        // The run's log is closed: the next one opens.
        openLog("next.log");
        logMessage("next");
        closeLog();
        EXPECT_EQ(here.read("next.log"), "next\n");
    }
}

std::string sectorBytes(const std::string& image, uint64_t sector, size_t count) {
    std::ifstream in(image, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(sector * 512));
    std::string bytes(count, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(count));
    return bytes;
}

TEST(RunJob, WholeRunOnAFakeUsbKey) {
    for (bool write : {false, true}) {
        SCOPED_TRACE(write);
        InTempFolder here;
        FakeSysfs tree;
        const std::string image = tree.addDisk(smallKey());
        Press press(ScriptedDialogs({}, true));
        const auto before = static_cast<uint32_t>(std::time(nullptr));
        press.run(requestFor(tree, "sdb", write));

        ASSERT_EQ(press.outcome, RunOutcome::Succeeded);
        EXPECT_EQ(press.dialogs.boxes,
                  write ? std::vector<DialogBox>{kOverwrite} : std::vector<DialogBox>{});
        ASSERT_NE(press.result.stored, nullptr);
        EXPECT_TRUE(press.result.failure.empty());
        EXPECT_TRUE(press.result.eventLogSaved);
        EXPECT_GT(here.read("event.log").size(), 100000u);
        EXPECT_EQ(press.result.writeTest, write);
        // The value handed back is the stored result, entry for entry and byte for byte.
        auto stored = openCollection(here.folder.file("temp.qkt").c_str());
        ASSERT_NE(stored, nullptr);
        const std::vector<StoredEntry> onDisk = entriesOf(*stored);
        EXPECT_EQ(entriesOf(*press.result.stored), onDisk);
        EXPECT_EQ(entriesOf(*copyOfStored(press.result)), onDisk);
        const RunRecord record = readRunRecord(*stored);
        EXPECT_EQ(press.result.record.testTime, record.testTime);
        ASSERT_TRUE(press.result.record.reads[0].has_value());
        EXPECT_EQ(press.result.record.reads[0]->size(), record.reads[0]->size());
        EXPECT_EQ(press.result.record.writes[0].has_value(), write);
        EXPECT_EQ(press.result.record.sequential.has_value(), true);
        EXPECT_EQ(press.view.shown, (std::vector<bool>{true, false}));
        EXPECT_EQ(press.view.writeRowEnabled, write);
        EXPECT_EQ(press.view.caption, "&Cancel");

        // The result file, entry by entry: write keys only with the write test, the device
        // record, and the link last of all.
        const std::vector<std::string> expected = runEntryNames(write);
        const std::vector<std::string> names = entryNames(here.folder.file("temp.qkt"));
        ASSERT_GT(names.size(), expected.size() + 1);
        EXPECT_EQ(std::vector<std::string>(names.begin(), names.begin() + expected.size()),
                  expected);
        for (size_t i = expected.size(); i + 1 < names.size(); ++i) {
            EXPECT_EQ(names[i].rfind("2KDEVINFO-", 0), 0u) << names[i];
        }
        EXPECT_EQ(names.back(), kLinkKey);
        auto file = openCollection(here.folder.file("temp.qkt").c_str());
        // The fake key hangs on a USB 2 port through usb-storage.
        const std::optional<DriveLink> link = readLinkEntry(*file);
        ASSERT_TRUE(link && link->usb);
        EXPECT_EQ(link->usb->speedKbps, 480000u);
        EXPECT_EQ(link->usb->version, "2.00");
        EXPECT_EQ(link->usb->driver, "usb-storage");
        EXPECT_FALSE(link->card || link->behindReader);
        uint8_t time[4] = {};
        uint32_t valueSize = 0, dataSize = sizeof time;
        ASSERT_TRUE(file->findEntry("QKCTIME", &valueSize, nullptr, &dataSize, time));
        EXPECT_EQ(dataSize, 4u);
        const uint32_t stamp = time[0] | time[1] << 8 | time[2] << 16 | uint32_t{time[3]} << 24;
        EXPECT_TRUE(stamp >= before && stamp <= static_cast<uint32_t>(std::time(nullptr)));

        // The transfer list: every step marked, writes only with the write test.
        const std::string events = here.read("event.log");
        for (const char* step : {"Flash test:read", "Read Test (2k block)", "Read Test (64k block)",
                                 "Random Access", "Sequential Access"}) {
            for (const char* edge : {",,,,,,,START -\n,,,,,,,", ",,,,,,,END -\n,,,,,,,"}) {
                EXPECT_NE(events.find(edge + std::string(step) + "\n"), std::string::npos) << step;
            }
        }
        EXPECT_NE(events.find("\nREAD,"), std::string::npos);
        EXPECT_EQ(events.find("\nWRITE,") != std::string::npos, write);
        EXPECT_EQ(events.find("Write Test (64k block)") != std::string::npos, write);
        EXPECT_EQ(events.find("TEST ERROR"), std::string::npos);
        const std::string log = here.read("vorntest.log");
        EXPECT_NE(log.find("START -\nSequential Access\n"), std::string::npos);
        EXPECT_EQ(log.find("WIPE FLASH DEVICE") != std::string::npos, write);

        // The write test leaves the markers and a zeroed start.
        const uint64_t sectors = 64 * kMiB / 512;
        EXPECT_EQ(sectorBytes(image, markerSector(sectors, 10), 5) == "QKVOR", write);
        EXPECT_EQ(sectorBytes(image, markerSector(sectors, 3), 5) == "QKVOR", write);
        if (write) {
            EXPECT_EQ(sectorBytes(image, 0, 1024 * 512), std::string(1024 * 512, '\0'));
        }
    }
}

}  // namespace
}  // namespace vorn::test
