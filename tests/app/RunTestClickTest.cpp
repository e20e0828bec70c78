// The Run Test button: its checks and questions on fake machines, whole runs on a
// fake USB key, cancel, failures and exceptions.

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <stdexcept>

#include "RunFixture.h"
#include "app/DiagLog.h"
#include "app/RunTestClick.h"
#include "app/TestTables.h"
#include "app/Wipe.h"
#include "bench/EventLog.h"
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
    DialogBox::Question,
    "You have chosen to do a write test on a removable drive.  The QK Vorn write test "
    "overwrites data and all data on this removable drive WILL be lost.  Continue test?"};
const DialogBox kFiles{DialogBox::Question,
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

// The index of the named drive in the list, or -1.
int entryOf(const std::vector<DeviceEntry>& entries, const DriveCatalog& catalog,
            const std::string& name) {
    const std::vector<std::string> names = catalog.driveNames();
    for (size_t i = 0; i < entries.size(); ++i) {
        if (names.at(static_cast<size_t>(entries[i].driveNumber)) == name) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

struct Press {
    explicit Press(ScriptedDialogs scripted = ScriptedDialogs()) : dialogs(std::move(scripted)) {}

    RecordingRunView view;
    ScriptedDialogs dialogs;
    RecordingHost host;
    RunOutcome outcome = RunOutcome::NoSelection;

    void run(const RunTestRequest& request) {
        outcome = runTestClick(request, view, dialogs, host);
    }
};

TEST(RunTestClick, ChecksStopWithTheirBoxAndStillWriteTheEventLog) {
    struct Case {
        const char* name;
        const char* drive;  // kernel name of the selected drive
        bool write;
        std::deque<bool> answers;
        void (*spoil)(RunTestRequest&);  // makes the list stale
        std::vector<DialogBox> boxes;
    };
    const Case cases[] = {
        {"stale text",
         "sdb",
         false,
         {},
         [](RunTestRequest& r) { r.entries[r.selected].text += " "; },
         {kDrivesChanged}},
        {"drive gone",
         "sdb",
         false,
         {},
         [](RunTestRequest& r) { r.entries[r.selected].driveNumber = 9; },
         {kDrivesChanged}},
        {"no media", "sdd", true, {}, nullptr, {kNoMedia}},
        {"fixed disk", "sda", true, {}, nullptr, {kRemovableOnly}},
        {"write refused", "sdf", true, {true, true}, nullptr, {kCannotWrite}},
        {"no to overwrite", "sdb", true, {false, true}, nullptr, {kOverwrite}},
    };
    for (const Case& c : cases) {
        InTempFolder here;
        FakeSysfs tree;
        for (const FakeDisk& disk : {FakeSysfs::sataDisk(), smallKey(),
                                     FakeSysfs::readerWithoutMedia(), FakeSysfs::readOnlyCard()}) {
            tree.addDisk(disk);
        }
        RunTestRequest request;
        request.entries = listedDrives(tree.catalog());
        request.selected = entryOf(request.entries, tree.catalog(), c.drive);
        ASSERT_GE(request.selected, 0) << c.name;
        request.writeTest = c.write;
        request.catalog = &tree.catalog();
        if (c.spoil != nullptr) {
            c.spoil(request);
        }
        Press press(ScriptedDialogs(c.answers, true));
        press.run(request);
        EXPECT_EQ(press.outcome, RunOutcome::Stopped) << c.name;
        EXPECT_EQ(press.dialogs.boxes, c.boxes) << c.name;
        EXPECT_TRUE(press.view.shown.empty()) << c.name;
        EXPECT_EQ(press.host.hidden, 0) << c.name;
        EXPECT_TRUE(here.has("event.log")) << c.name;
        EXPECT_FALSE(here.has("vorntest.log")) << c.name;
    }
}

TEST(RunTestClick, NothingSelectedDoesNothing) {
    InTempFolder here;
    for (int selected : {-1, 1, 255}) {
        RunTestRequest request;
        request.entries = {{"(x) y (1.0GB)", 0}};
        request.entries.resize(300, request.entries[0]);
        if (selected == 1) {
            request.entries.resize(1);
        }
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

// Only a directory, or a file that is not a dot-file, on the mounted medium asks
// about files. The run itself is cancelled at once (the wipe stops at its first write).
TEST(RunTestClick, FilesOnTheMediumAskOnceMore) {
    struct Case {
        const char* name;
        const char* file;
        const char* folder;
        std::deque<bool> answers;
        std::vector<DialogBox> boxes;
        RunOutcome outcome;
    };
    const Case cases[] = {
        {"a file, No",
         "DSC0001.JPG",
         nullptr,
         {true, false},
         {kOverwrite, kFiles},
         RunOutcome::Stopped},
        {"a file, Yes",
         "DSC0001.JPG",
         nullptr,
         {true, true},
         {kOverwrite, kFiles, kRunFailed},
         RunOutcome::Failed},
        {"only a hidden file",
         ".hidden",
         nullptr,
         {true},
         {kOverwrite, kRunFailed},
         RunOutcome::Failed},
        {"an empty directory",
         nullptr,
         "empty",
         {true, false},
         {kOverwrite, kFiles},
         RunOutcome::Stopped},
        {"nothing", nullptr, nullptr, {true}, {kOverwrite, kRunFailed}, RunOutcome::Failed},
    };
    for (const Case& c : cases) {
        InTempFolder here;
        TempDir mount;
        if (c.file != nullptr) {
            mount.write(c.file, "x");
        }
        if (c.folder != nullptr) {
            std::filesystem::create_directory(mount.path() / c.folder);
        }
        FakeSysfs tree;
        tree.addDisk(smallKey());
        tree.addMount("8:16", mount.path().string());
        RunTestRequest request;
        request.entries = listedDrives(tree.catalog());
        ASSERT_EQ(request.entries.size(), 1u);
        request.selected = 0;
        request.writeTest = true;
        request.catalog = &tree.catalog();
        Press press(ScriptedDialogs(c.answers, true));
        press.view.cancelWhen = [](const RecordingRunView&) { return true; };
        press.run(request);
        EXPECT_EQ(press.outcome, c.outcome) << c.name;
        EXPECT_EQ(press.dialogs.boxes, c.boxes) << c.name;
        EXPECT_EQ(press.host.resultsShown, 0) << c.name;
        EXPECT_TRUE(here.has("event.log")) << c.name;
    }
}

// A memory device handed out by the opener; what it saw is kept when the run
// closes it.
class KeptDevice : public MemoryDevice {
public:
    KeptDevice(Options options, std::function<void(KeptDevice&)> onClose)
        : MemoryDevice(std::move(options)), onClose_(std::move(onClose)) {}
    ~KeptDevice() override { onClose_(*this); }

private:
    std::function<void(KeptDevice&)> onClose_;
};

struct MemoryRun {
    MemoryDevice::Options options;
    std::function<void(KeptDevice&)> prepare;  // scripting before the press
    std::vector<Transfer> transfers;
    std::vector<uint8_t> medium;
    bool closed = false;

    MemoryRun() { options.sectors = 32768; }  // 16 MB

    RunTestRequest request(bool writeTest) {
        MemoryDevice sample(options);
        RunTestRequest r;
        r.entries = {{listEntryText(sample), 4}};
        r.selected = 0;
        r.writeTest = writeTest;
        r.opener = [this](int number, I_VornEventLog* log,
                          uint32_t bufferSize) -> std::unique_ptr<I_VornDevice> {
            EXPECT_EQ(number, 4);
            EXPECT_EQ(bufferSize, 524288u);
            auto device = std::make_unique<KeptDevice>(options, [this](KeptDevice& d) {
                transfers = d.transfers();
                medium = d.medium();
                closed = true;
            });
            device->attachEventLog(log);
            if (prepare) {
                prepare(*device);
            }
            return device;
        };
        return r;
    }
};

size_t countWrites(const std::vector<Transfer>& transfers, uint64_t sector, uint32_t count) {
    return static_cast<size_t>(
        std::count_if(transfers.begin(), transfers.end(), [&](const Transfer& t) {
            return t.kind == kEventWrite && t.sector == sector && t.count == count;
        }));
}

TEST(RunTestClick, CancelDuringTheWriteTestsStillLeavesMarkersAndStopsTheZeroing) {
    for (bool marked : {false, true}) {
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
        // Ten markers, then one write of the 1024-sector zeroing, and nothing after.
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
        EXPECT_EQ(countWrites(t, 0, 128), marked ? 1u : 3u) << marked;
        bool erased = false;
        for (const auto& label : press.view.labels) {
            erased |= label.text == "Erasing Flash Device";
        }
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

TEST(RunTestClick, FlashCheckAsksWhenTheZonesDiffer) {
    struct Case {
        const char* name;
        uint64_t lastZoneTicks;  // per 64 KB block; the first zone takes 6,553,600 (10 MB/s)
        std::vector<DialogBox> boxes;
    };
    const Case cases[] = {
        // 8.4 MB/s at the end: asked, and No ends the run.
        {"slower end", 7801905, {kNotFlash, kRunFailed}},
        // 8.6 MB/s: no question; the run goes on until the 2k read test fails.
        {"close enough", 7620466, {kRunFailed}},
    };
    for (const Case& c : cases) {
        InTempFolder here;
        ManualCounter clock;
        MemoryRun memory;
        memory.options.keepData = false;
        memory.prepare = [&](KeptDevice& device) {
            device.useClock(&clock);
            device.ticksFor = [&](uint64_t, const Transfer& t) {
                return t.sector < 16384 ? 6553600 : c.lastZoneTicks;
            };
            device.failWhen = [](uint64_t, const Transfer& t) { return t.count == 4; };
        };
        Press press(ScriptedDialogs({false}));
        press.run(memory.request(false));
        EXPECT_EQ(press.outcome, RunOutcome::Failed) << c.name;
        EXPECT_EQ(press.dialogs.boxes, c.boxes) << c.name;
    }
}

TEST(RunTestClick, DeviceFailingMidRunEndsWithTheWarning) {
    InTempFolder here;
    MemoryRun memory;
    memory.options.keepData = false;
    memory.prepare = [](KeptDevice& device) {
        device.failWhen = [](uint64_t, const Transfer& t) {
            return t.kind == kEventRead && t.count == 32;  // the 16k read test
        };
    };
    Press press;
    press.run(memory.request(false));
    EXPECT_EQ(press.outcome, RunOutcome::Failed);
    EXPECT_EQ(press.dialogs.boxes, std::vector<DialogBox>{kRunFailed});
    EXPECT_EQ(press.view.lastLabel(RunRow::Read), "Read Test (16k block)");
    EXPECT_EQ(press.view.statesOf(RunRow::Read).back(), RowState::Failed);
    EXPECT_EQ(press.view.statesOf(RunRow::Access), std::vector<RowState>{RowState::Hidden});
    const std::string events = here.read("event.log");
    EXPECT_NE(events.find(",,,,,,,TEST ERROR 3\n\n,,,,,,,END -\n,,,,,,,Read Test (16k block)\n"),
              std::string::npos);
    const std::string log = here.read("vorntest.log");
    EXPECT_NE(log.find("TEST ERROR 3\nEND -\nRead Test (16k block)\n"), std::string::npos);
    EXPECT_EQ(press.host.resultsShown, 0);
}

TEST(RunTestClick, ExceptionIsLoggedShownAndCleanedUp) {
    struct ThrowingHost : RecordingHost {
        std::function<void()> thrower;
        void hideMainWindow() override { thrower(); }
    };
    struct Case {
        std::function<void()> thrower;
        const char* line;
    };
    const Case cases[] = {
        {[] { throw std::runtime_error("boom"); },
         "EXCEPTION: RunTestClick std::runtime_error boom\n"},
        {[] { throw 42; }, "SEH EXCEPTION: RunTestClick -1\n"},
    };
    for (const Case& c : cases) {
        InTempFolder here;
        MemoryRun memory;
        RecordingRunView view;
        ScriptedDialogs dialogs;
        ThrowingHost host;
        host.thrower = c.thrower;
        EXPECT_EQ(runTestClick(memory.request(false), view, dialogs, host), RunOutcome::Exception);
        EXPECT_EQ(dialogs.boxes, std::vector<DialogBox>{kProgramError});
        EXPECT_EQ(view.shown, (std::vector<bool>{true, false}));
        EXPECT_TRUE(memory.closed);
        EXPECT_TRUE(here.has("event.log"));
        EXPECT_NE(here.read("vorntest.log").find(c.line), std::string::npos) << c.line;
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

TEST(RunTestClick, WholeRunOnAFakeUsbKey) {
    for (bool write : {false, true}) {
        InTempFolder here;
        FakeSysfs tree;
        const std::string image = tree.addDisk(smallKey());
        RunTestRequest request;
        request.entries = listedDrives(tree.catalog());
        request.selected = 0;
        request.writeTest = write;
        request.catalog = &tree.catalog();
        Press press(ScriptedDialogs({}, true));
        const auto before = static_cast<uint32_t>(std::time(nullptr));
        press.run(request);

        ASSERT_EQ(press.outcome, RunOutcome::Succeeded) << write;
        EXPECT_EQ(press.dialogs.boxes,
                  write ? std::vector<DialogBox>{kOverwrite} : std::vector<DialogBox>{});
        EXPECT_EQ(press.host.hidden, 1);
        EXPECT_EQ(press.host.resultsShown, 1);
        EXPECT_EQ(press.host.uploadAllowed, write);
        EXPECT_EQ(press.view.shown, (std::vector<bool>{true, false}));
        EXPECT_EQ(press.view.writeRowEnabled, write);
        EXPECT_EQ(press.view.caption, "&Cancel");

        // The result file, entry by entry.
        std::vector<std::string> expected = {"VERSION", "DRIVEID"};
        for (const TestTableEntry& e : readTests) {
            expected.push_back(e.resultKey);
        }
        for (const TestTableEntry& e : writeTests) {
            if (write) {
                expected.push_back(e.resultKey);
            }
        }
        for (const char* key : {"QKCRACCESS", "QKCSACCESS", "QKCTIME"}) {
            expected.push_back(key);
        }
        const std::vector<std::string> names = entryNames(here.folder.file("temp.qkt"));
        ASSERT_GT(names.size(), expected.size());
        EXPECT_EQ(std::vector<std::string>(names.begin(), names.begin() + expected.size()),
                  expected);
        for (size_t i = expected.size(); i < names.size(); ++i) {
            EXPECT_EQ(names[i].rfind("2KDEVINFO-", 0), 0u) << names[i];
        }
        auto file = openCollection(here.folder.file("temp.qkt").c_str());
        uint8_t time[4] = {};
        uint32_t valueSize = 0, dataSize = sizeof time;
        ASSERT_TRUE(file->findEntry("QKCTIME", &valueSize, nullptr, &dataSize, time));
        const uint32_t stamp = time[0] | time[1] << 8 | time[2] << 16 | uint32_t{time[3]} << 24;
        EXPECT_EQ(dataSize, 4u);
        EXPECT_TRUE(stamp >= before && stamp <= static_cast<uint32_t>(std::time(nullptr)));

        // The transfer list: every step marked, writes only with the write test.
        const std::string events = here.read("event.log");
        for (const char* step : {"Flash test:read", "Read Test (2k block)", "Read Test (64k block)",
                                 "Random Access", "Sequential Access"}) {
            EXPECT_NE(events.find(std::string(",,,,,,,START -\n,,,,,,,") + step + "\n"),
                      std::string::npos)
                << step;
            EXPECT_NE(events.find(std::string(",,,,,,,END -\n,,,,,,,") + step + "\n"),
                      std::string::npos)
                << step;
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
