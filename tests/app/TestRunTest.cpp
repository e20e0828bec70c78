// Flash-check threshold, wipe markers, the wipe's sector arithmetic and the files
// check of a test run.

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "app/TestRun.h"
#include "app/Wipe.h"
#include "bench/MemoryEventLog.h"
#include "support/MemoryDevice.h"
#include "support/RecordingRunView.h"
#include "support/TempDir.h"

namespace vorn::test {
namespace {

TEST(FlashCheck, DifferenceIsAbsoluteAndMeasuredAgainstTheFirstZone) {
    const struct {
        uint64_t first, last;
        bool asks;
    } cases[] = {
        {10000000, 8400000, true},    // 1,600,000 slower
        {10000000, 8600000, false},   // 1,400,000 slower
        {10000000, 11600000, true},   // faster counts too
        {10000000, 8500000, false},   // exactly 15 % is still flash
        {10000000, 11500000, false},  //
        {8600000, 10000000, true},    // 1,400,000 is more than 15 % of 8,600,000
        {0, 0, false},                // no rates at all
        {0, 1, true},
        {10000000, 0, true},  // an unfinished last zone answers 0
    };
    for (const auto& c : cases) {
        EXPECT_EQ(flashCheckDiffers(c.first, c.last), c.asks) << c.first << " vs " << c.last;
    }
}

TEST(WipeMarkers, SectorsAreTenthsClampedToTheLastSector) {
    const struct {
        uint64_t sectors;
        std::vector<uint64_t> expected;
    } cases[] = {
        {1001, {100, 200, 300, 400, 500, 600, 700, 800, 900, 1000}},
        {1000, {100, 200, 300, 400, 500, 600, 700, 800, 900, 999}},
        {10, {1, 2, 3, 4, 5, 6, 7, 8, 9, 9}},
        {1, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {7, {0, 1, 2, 2, 3, 4, 4, 5, 6, 6}},
    };
    for (const auto& c : cases) {
        std::vector<uint64_t> got;
        for (int i = 1; i <= kMarkerCount; ++i) {
            got.push_back(markerSector(c.sectors, i));
        }
        EXPECT_EQ(got, c.expected) << c.sectors << " sectors";
    }
}

MemoryDevice::Options smallMedium(uint64_t sectors, uint32_t sectorSize = 512) {
    return {.sectors = sectors, .sectorSize = sectorSize};
}

std::vector<std::pair<uint64_t, uint32_t>> writesOf(const MemoryDevice& device) {
    std::vector<std::pair<uint64_t, uint32_t>> writes;
    for (const Transfer& t : device.transfers()) {
        if (t.kind == kEventWrite) {
            writes.emplace_back(t.sector, t.count);
        }
    }
    return writes;
}

// Sectors larger than the 8192-byte marker buffer work too.
TEST(WipeMarkers, WrittenMarkersAreFoundAgainAndLeaveTheRestZero) {
    for (uint32_t size : {512u, 16384u}) {
        MemoryDevice device(smallMedium(1001, size));
        ASSERT_TRUE(device.enableWrite(1, size, 0));
        EXPECT_FALSE(wipeMarkers(device, MarkerMode::Check));
        EXPECT_EQ(device.transfers().size(), 10u);  // a blank medium is searched in full

        EXPECT_FALSE(wipeMarkers(device, MarkerMode::Write));
        std::vector<std::pair<uint64_t, uint32_t>> expected;
        for (uint64_t s : {100, 200, 300, 400, 500, 600, 700, 800, 900, 1000}) {
            expected.emplace_back(s, 1);
            const uint8_t* sector = device.medium().data() + s * size;
            EXPECT_EQ(std::memcmp(sector, "QKVOR\0", 6), 0) << s;
        }
        EXPECT_EQ(writesOf(device), expected);
        EXPECT_TRUE(wipeMarkers(device, MarkerMode::Check));
        // Only the last marker left, and then a damaged one.
        std::fill(device.medium().begin(), device.medium().begin() + 1000 * size, 0);
        EXPECT_TRUE(wipeMarkers(device, MarkerMode::Check)) << size;
        device.medium()[1000ull * size + 4] = 'x';
        EXPECT_FALSE(wipeMarkers(device, MarkerMode::Check)) << size;
    }
}

TEST(WipeDevice, WritesOneAndAFifteenthOfTheMediumWrappingAtTheEnd) {
    using Writes = std::vector<std::pair<uint64_t, uint32_t>>;
    Writes head;
    for (uint64_t s = 0; s < 896; s += 128) {
        head.emplace_back(s, 128);
    }
    head.emplace_back(896, 105);
    const struct {
        uint64_t limit;
        Writes tail;
    } cases[] = {
        {0, {{0, 128}, {128, 22}}},  // total trunc(1001 x 1.15) = 1151
        {1024, {{0, 23}}},           // the zeroing after a write test
        {5000, {{0, 128}, {128, 22}}},
    };
    for (const auto& c : cases) {
        MemoryDevice device(smallMedium(1001));
        ASSERT_TRUE(device.enableWrite(1, 512, 0));
        std::memset(device.medium().data(), 0xAA, device.medium().size());
        RecordingRunView view;
        EXPECT_TRUE(wipeDevice(device, c.limit, view)) << c.limit;
        Writes expected = head;
        expected.insert(expected.end(), c.tail.begin(), c.tail.end());
        EXPECT_EQ(writesOf(device), expected) << c.limit;
        EXPECT_EQ(std::count(device.medium().begin(), device.medium().end(), 0),
                  static_cast<long>(device.medium().size()));
        EXPECT_EQ(view.statesOf(RunRow::Test),
                  (std::vector<RowState>{RowState::Running, RowState::Passed}));
        EXPECT_FALSE(view.progressVisible);
    }
}

TEST(WipeDevice, ProgressSkipsMultiplesOf2048) {
    MemoryDevice device(smallMedium(8192));
    ASSERT_TRUE(device.enableWrite(1, 512, 0));
    // 9420 sectors in 74 writes; the writes ending at 2048, 4096, 6144 and the end of
    // the medium (back at 0) draw nothing.
    RecordingRunView whole;
    EXPECT_TRUE(wipeDevice(device, 0, whole));
    ASSERT_EQ(whole.progress.size(), 1u + 74u - 4u);
    EXPECT_EQ(whole.progress.front(), 0u);
    EXPECT_EQ(whole.progress[1], 1u);  // 128 of 9420 written: 1.36 %
    EXPECT_EQ(whole.progress.back(), 100u);
}

TEST(WipeDevice, CancelOrAFailedWriteStopsAfterThatWrite) {
    const struct {
        const char* name;
        bool cancel;
        uint64_t failingWrite;  // index of the transfer that fails; ~0 = none
    } cases[] = {{"cancel", true, ~0ull}, {"failed write", false, 2}};
    for (const auto& c : cases) {
        MemoryDevice device(smallMedium(1001));
        ASSERT_TRUE(device.enableWrite(1, 512, 0));
        device.failWhen = [&](uint64_t index, const Transfer&) { return index == c.failingWrite; };
        RecordingRunView view;
        view.cancelWhen = [&](const RecordingRunView&) { return c.cancel; };
        EXPECT_FALSE(wipeDevice(device, 0, view)) << c.name;
        EXPECT_EQ(device.transferCount(), c.cancel ? 1u : 3u) << c.name;
        EXPECT_EQ(view.statesOf(RunRow::Test).back(), RowState::Failed) << c.name;
    }
}

// A medium pulled before the wipe answers no size: the wipe fails, writing nothing,
// rather than passing with nothing written.
TEST(WipeDevice, PulledMediumFailsTheWipe) {
    MemoryDevice device(smallMedium(0));
    ASSERT_TRUE(device.enableWrite(1, 512, 0));
    RecordingRunView view;
    EXPECT_FALSE(wipeDevice(device, 0, view));
    EXPECT_EQ(device.transferCount(), 0u);
    EXPECT_EQ(view.statesOf(RunRow::Test).back(), RowState::Failed);
}

// A 4 GB wipe (75,400 writes, more than the whole event log holds) is 295 rows of
// 16 MB between its notes; the row size grows so that even 2 TB stays near 1000 rows.
TEST(WipeDevice, EventLogKeepsTheWipeAsFewRowsBetweenItsNotes) {
    EXPECT_EQ(wipeRowSectors(9646899, 512), 32768u);
    EXPECT_EQ(wipeRowSectors(4947802324ull, 512), 4947803u);  // 2 TB x 1.15
    EXPECT_EQ(wipeRowSectors(100, 131072), 128u);
    MemoryDevice device({.sectors = 8388608, .keepData = false});
    ASSERT_TRUE(device.enableWrite(1, 512, 0));
    device.recordTransfers(false);
    auto log = newEventLog(kEventLogRoom);
    ASSERT_NE(log, nullptr);
    device.attachObserver(log.get());
    RecordingRunView view;
    EXPECT_TRUE(wipeDevice(device, 0, view, log.get()));
    TempDir dir;
    ASSERT_TRUE(log->dumpCsv(dir.file("event.log").c_str(), false, nullptr, 512));
    const std::string text = dir.read("event.log");
    EXPECT_EQ(text.find("truncated"), std::string::npos);
    EXPECT_EQ(text.find("\nWRITE,"), std::string::npos);
    uint64_t rows = 0, sectors = 0;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("WIPE,", 0) == 0) {
            std::vector<std::string> fields;
            std::istringstream row(line);
            for (std::string field; std::getline(row, field, ',');) {
                fields.push_back(field);
            }
            ++rows;
            sectors += std::stoull(fields.at(6));  // Count
        }
    }
    EXPECT_EQ(rows, 295u);
    EXPECT_EQ(sectors, 9646899u);  // trunc(8388608 x 1.15)
    EXPECT_NE(text.find(",,,,,,,START -\n,,,,,,,WIPE FLASH DEVICE\nWIPE,"), std::string::npos);
    EXPECT_NE(text.find("\n,,,,,,,END -\n,,,,,,,WIPE FLASH DEVICE\n"), std::string::npos);
}

TEST(WipeDevice, HugeSectorsAreWrittenOneAtATime) {
    MemoryDevice device(smallMedium(10, 131072));
    ASSERT_TRUE(device.enableWrite(1, 131072, 0));
    RecordingRunView view;
    EXPECT_TRUE(wipeDevice(device, 0, view));
    EXPECT_EQ(device.transferCount(), 11u);  // trunc(10 x 1.15)
}

// A device whose file systems are mounted at the given folders.
class MountedDevice : public MemoryDevice {
public:
    explicit MountedDevice(std::string mountPoints)
        : MemoryDevice(smallMedium(8)), mountPoints_(mountPoints) {}
    const char* mountPointsText() override { return mountPoints_.c_str(); }

private:
    std::string mountPoints_;
};

TEST(DeviceHasFiles, DirectoriesAlwaysCountFilesOnlyWithoutALeadingDot) {
    const struct {
        const char* name;
        std::vector<std::string> files;
        std::vector<std::string> folders;
        bool has;
    } cases[] = {
        {"empty", {}, {}, false},
        {"hidden file only", {".hidden"}, {}, false},
        {"a file", {"photo.jpg"}, {}, true},
        {"hidden file and a file", {".hidden", "notes.txt"}, {}, true},
        {"empty directory", {}, {"DCIM"}, true},
        {"hidden empty directory", {}, {".Trash-1000"}, true},
    };
    for (const auto& c : cases) {
        TempDir mount;
        for (const std::string& f : c.files) {
            mount.write(f, "x");
        }
        for (const std::string& d : c.folders) {
            std::filesystem::create_directory(mount.path() / d);
        }
        MountedDevice device(mount.path().string());
        EXPECT_EQ(deviceHasFiles(device), c.has) << c.name;
    }
}

TEST(DeviceHasFiles, EveryMountPointIsLookedAtAndBadOnesHoldNothing) {
    TempDir empty, full;
    full.write("file", "x");
    const std::string missing = empty.file("not-there");
    const std::pair<std::string, bool> cases[] = {
        {"", false},
        {",", false},
        {empty.path().string() + "," + missing, false},
        {missing + "," + full.path().string(), true},
        {full.file("file"), false},  // a file is no mount point to list
    };
    for (const auto& [mountPoints, has] : cases) {
        MountedDevice device(mountPoints);
        EXPECT_EQ(deviceHasFiles(device), has) << mountPoints;
    }
}

}  // namespace
}  // namespace vorn::test
