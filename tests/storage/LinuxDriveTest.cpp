#include "storage/LinuxDrive.h"

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "base/DiagLog.h"
#include "storage/EventLog.h"
#include "storage/MountTable.h"
#include "storage/PartitionProbe.h"
#include "storage/StoredDrive.h"
#include "support/FakeSysfs.h"
#include "support/LoopDevice.h"
#include "support/TempDir.h"

namespace vorn::test {
namespace {

// Records what the device hands to its event log.
class RecordingLog : public I_VornEventLog {
public:
    struct Event {
        uint8_t kind;
        uint16_t count;
        uint64_t sector;
        uint32_t failed;
    };
    bool addEvent(uint8_t, uint8_t kind, uint16_t count, uint64_t sector, uint64_t start,
                  uint64_t end, uint32_t failed) override {
        EXPECT_LE(start, end);
        events.push_back({kind, count, sector, failed});
        return true;
    }
    bool addNote(const char*) override { return true; }
    bool dumpCsv(const char*, bool, const char*, uint32_t) override { return true; }
    std::vector<Event> events;
};

class LinuxDriveTest : public ::testing::Test {
protected:
    void SetUp() override {
        resetDriveDiagnostics();
        openLog(logPath().c_str());
    }
    void TearDown() override { closeLog(); }

    std::string logPath() const { return dir_.file("vornrefresh.log"); }
    std::string logText() {
        closeLog();
        return readText(logPath());
    }
    std::unique_ptr<LinuxDrive> open(int number) {
        return newLinuxDrive(number, nullptr, 65536, tree_.catalog());
    }

    TempDir dir_;
    FakeSysfs tree_;
};

TEST_F(LinuxDriveTest, OpensCatalogDriveWithIdentityAndDump) {
    tree_.addDisk(FakeSysfs::sataDisk());
    const std::string node = tree_.addDisk(FakeSysfs::usbKey480());
    EXPECT_EQ(open(2), nullptr);
    auto disk = open(1);
    ASSERT_NE(disk, nullptr);
    EXPECT_STREQ(disk->deviceId(), "Generic Flash Disk 8.07");
    EXPECT_STREQ(disk->getHardwareId(), "PhysicalDevice 1");
    EXPECT_EQ(disk->getDevicePath(), node);
    EXPECT_EQ(disk->deviceRemovable(), true);
    EXPECT_EQ(disk->deviceBusType(), static_cast<uint32_t>(kBusUsb20));
    EXPECT_EQ(disk->mediaBlockSize(), 512u);
    EXPECT_EQ(disk->mediaSectors(), 256u * 1024 * 1024 / 512);
    EXPECT_EQ(disk->mediaPresent(), true);

    const std::string log = logText();
    // The listing of every disk runs once, before the first open's own dump.
    EXPECT_EQ(log.find("SetupDixxxx info for device 0\nDEBUG INFO FOR DEVICE 0\n"), 0u);
    EXPECT_NE(log.find("SetupDixxxx info for device 2\n** Device 2 does not exist.\n"),
              std::string::npos);
    const std::string block =
        "DEBUG INFO FOR DEVICE 1\n HARDWARE ID: PhysicalDevice 1\n DEVICE PATH: " + node +
        "\n DEVICE ID: Generic Flash Disk 8.07\n"
        " STORAGE_ADAPTER_DESCRIPTOR -\n"
        "  MaximumTransferLength: 122880\n"
        "  MaximumPhysicalPages: 2048\n"
        "  AlignmentMask: 511\n"
        "  AdapterUsesPio: 0\n"
        "  AdapterScansDown: 0\n"
        "  CommandQueueing: 0\n"
        "  AcceleratedTransfer: 0\n"
        "  BusType: USB 2.0\n"
        "  Bus version: 2 0\n"
        " STORAGE_DEVICE_DESCRIPTOR\n"
        "  DeviceType: 0,0\n"
        "  RemovableMedia: 1\n"
        "  CommandQueueing: 0\n"
        "  BusType: USB 2.0\n"
        "mediaBlockSize 1: cyl 524288, type 11, tpc 1, spt 1, bps 512\n"
        "-\n";
    EXPECT_NE(log.find(block), std::string::npos) << log;
    EXPECT_NE(log.find("mountPointsText 1: \n"), std::string::npos);

    // A second open in the same process lists nothing again but dumps itself.
    openLog(logPath().c_str());
    ASSERT_NE(open(0), nullptr);
    const std::string again = logText();
    EXPECT_EQ(again.find("SetupDixxxx"), std::string::npos);
    EXPECT_EQ(again.find("DEBUG INFO FOR DEVICE 0\n"), 0u);
}

TEST_F(LinuxDriveTest, WritePermissionFollowsMediumAndLayout) {
    tree_.addDisk(FakeSysfs::sataDisk());  // fixed, two partitions
    tree_.addDisk(FakeSysfs::usbKey480());
    FakeDisk blank = FakeSysfs::pataDisk();  // fixed, no partition table
    blank.partitionBytes.clear();
    blank.writePartitionTable = false;
    tree_.addDisk(blank);
    tree_.addDisk(FakeSysfs::readOnlyCard());
    // USB keys that carry the running system: never writable, whatever their bus.
    for (const char* name : {"sdi", "sdj", "sdk"}) {
        FakeDisk key = FakeSysfs::usbKey480();
        key.name = name;
        key.devNumber.clear();
        tree_.addDisk(key);
    }
    tree_.addMount(tree_.catalog().devNumber("sdi1"), "/");
    tree_.addSwap(tree_.nodePath("sdj1"));
    tree_.addHolder("sdk1", "dm-0");
    FakeDisk emptyReader = FakeSysfs::readerWithoutMedia();
    emptyReader.name = "sdz";  // listed last
    tree_.addDisk(emptyReader);
    const struct {
        int drive;
        bool writable;
        const char* line;
        const char* refusal = "";
    } cases[] = {
        {0, false,
         " Partition 1, start 269484032, length 267386880, hidden 526336, type 12, boot 0, "
         "recognized 1, rewrite 0\n"
         "mediaWriteable 0: returning false, valid partition found\n"},
        {1, true, "mediaWritable 1: device is removable\n"},
        {2, true, "mediaWriteable 2: returning true\n"},
        {3, false, "mediaWritable 3: device is read-only\n"},
        {4, false, "mediaWritable 4: device holds the root file system\n", "the root file system"},
        {5, false, "mediaWritable 5: device holds active swap\n", "active swap"},
        {6, false, "mediaWritable 6: device holds a partition in use by dm-0\n",
         "a partition in use by dm-0"},
        // A reader without a card has nothing to write.
        {7, false, "mediaWritable 7: no medium\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.drive);
        openLog(logPath().c_str());
        auto disk = open(c.drive);
        ASSERT_NE(disk, nullptr);
        EXPECT_EQ(disk->mediaWritable(), c.writable);
        EXPECT_NE(logText().find(c.line), std::string::npos);
        EXPECT_EQ(disk->writeRefusal(), c.refusal);
        if (c.drive != 7) {
            EXPECT_EQ(disk->enableWrite(1, 512, 0), c.writable);
        }
    }
    // A reader without a card lists with no medium and reads nothing.
    auto reader = open(7);
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(reader->mediaSectors(), 0u);
    EXPECT_EQ(reader->mediaPresent(), false);
    EXPECT_FALSE(reader->read(0, 1, nullptr));
}

TEST_F(LinuxDriveTest, LettersAreMountPointsInPartitionOrder) {
    tree_.addDisk(FakeSysfs::sataDisk());
    tree_.addMount("8:2", "/media/second");
    tree_.addMount("8:1", "/media/first key");
    auto disk = open(0);
    ASSERT_NE(disk, nullptr);
    EXPECT_STREQ(disk->mountPointsText(), "/media/first key,/media/second");
}

// Transfers on an image file opened by path (an image counts as removable media):
// what is read lands in the caller's buffer, oversize requests move nothing, writes
// need arming and read back, every transfer is an event.
TEST_F(LinuxDriveTest, TransfersOnAnImageFile) {
    const std::string image = dir_.file("card.img");
    std::string bytes(1024 * 1024 + 100, '\0');  // not a whole number of sectors
    for (size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<char>(i / 512);
    }
    dir_.write("card.img", bytes);
    RecordingLog events;
    auto disk = newLinuxDriveForPath(image, &events, 8192, tree_.catalog());
    ASSERT_NE(disk, nullptr);
    EXPECT_STREQ(disk->deviceId(), "card.img ");
    EXPECT_EQ(disk->deviceRemovable(), true);
    EXPECT_EQ(disk->deviceBusType(), 0u);
    EXPECT_EQ(disk->mediaSectors(), 2048u);

    std::vector<uint8_t> data(3 * 512);
    ASSERT_TRUE(disk->read(7, 2, data.data()));
    EXPECT_EQ(data[0], 7);
    EXPECT_EQ(data[512], 8);
    ASSERT_TRUE(disk->read(9, 16, nullptr));     // exactly the buffer
    EXPECT_FALSE(disk->read(0, 17, nullptr));    // one sector more: no transfer at all
    EXPECT_FALSE(disk->read(2047, 2, nullptr));  // runs past the end: a short read
    ASSERT_EQ(events.events.size(), 3u);
    EXPECT_EQ(events.events[0].kind, kEventRead);
    EXPECT_EQ(events.events[0].count, 2);
    EXPECT_EQ(events.events[0].sector, 7u);
    EXPECT_EQ(events.events[2].failed, 1u);

    events.events.clear();
    EXPECT_FALSE(disk->write(0, 0, nullptr));
    EXPECT_FALSE(disk->write(4, 1, nullptr));
    EXPECT_FALSE(disk->enableWrite(0, 512, 0));
    EXPECT_FALSE(disk->enableWrite(1, 4096, 0));
    EXPECT_FALSE(disk->enableWrite(1, 512, 1));
    ASSERT_TRUE(disk->enableWrite(1, 512, 0));
    EXPECT_TRUE(disk->write(0, 0, nullptr));
    EXPECT_TRUE(events.events.empty());
    const std::vector<uint8_t> pattern(3 * 512, 0xC3);
    ASSERT_TRUE(disk->write(100, 3, pattern.data()));
    ASSERT_TRUE(disk->flush());
    ASSERT_TRUE(disk->read(100, 3, data.data()));
    EXPECT_EQ(data, pattern);
    ASSERT_TRUE(disk->read(103, 1, data.data()));
    EXPECT_EQ(data[0], 103);  // the neighbour is untouched
    ASSERT_EQ(events.events.size(), 4u);
    EXPECT_EQ(events.events[0].kind, kEventWrite);
    EXPECT_EQ(events.events[1].kind, kEventFlush);
    EXPECT_EQ(events.events[1].sector, 0u);
    EXPECT_TRUE(disk->disableWrite());
    EXPECT_FALSE(disk->write(100, 1, nullptr));
    EXPECT_NE(logText().find("read 0: error 5 sector 2047 count 2\n"), std::string::npos);
}

// A real loop device on the real machine: left out of the drive list (it is virtual)
// but opened by its path, data written at a sector reads back through it and lands in
// the image, and a file system mounted on it is its mount-points text and a used entry.
// Skipped where the machine allows none.
TEST(LinuxDriveLoop, LoopDeviceOpensByPathOnly) {
    LoopDevice loop(16u << 20);
    if (!loop.ready()) {
        GTEST_SKIP() << loop.skipReason();
    }
    const std::string name = loop.name();
    const std::optional<DriveIdentity> id = identifyPath(loop.node(), systemCatalog());
    ASSERT_TRUE(id.has_value());
    EXPECT_EQ(id->name, name);
    EXPECT_EQ(id->nodePath, loop.node());
    EXPECT_EQ(id->busType, kBusUnknown);
    const std::vector<std::string> names = systemCatalog().driveNames();
    EXPECT_EQ(std::find(names.begin(), names.end(), name), names.end());
    {
        auto disk = newLinuxDriveForPath(loop.node(), nullptr, 65536);
        ASSERT_NE(disk, nullptr);
        EXPECT_EQ(disk->mediaSectors(), 32768u);
        ASSERT_TRUE(disk->enableWrite(1, disk->mediaBlockSize(), 0));
        const std::vector<uint8_t> pattern(4096, 0x5A);
        ASSERT_TRUE(disk->write(64, 8, pattern.data()));
        ASSERT_TRUE(disk->flush());
        std::vector<uint8_t> back(4096);
        ASSERT_TRUE(disk->read(64, 8, back.data()));
        EXPECT_EQ(back, pattern);
    }
    std::ifstream in(loop.imagePath(), std::ios::binary);
    in.seekg(64 * 512);
    EXPECT_EQ(in.get(), 0x5A);

    ASSERT_TRUE(loop.makeExt4());
    const std::string target = (std::filesystem::canonical(loop.folder()) / "mount point").string();
    std::filesystem::create_directory(target);
    if (!loop.mount(target)) {
        GTEST_SKIP() << "cannot mount " << loop.node();
    }
    const DriveCatalog& catalog = systemCatalog();
    const MountTable mounts = MountTable::load();
    EXPECT_EQ(driveMountPointsText(catalog, name, mounts), target);
    const std::string number = catalog.devNumber(name);
    const std::vector<std::string> lines = namespaceDumpLines(catalog, mounts);
    EXPECT_NE(std::find(lines.begin(), lines.end(), number + ": " + target), lines.end());
    std::vector<PartitionEntry> entries;
    ASSERT_TRUE(probeDriveLayout(catalog, name, loop.node(), mounts, entries));
    ASSERT_EQ(entries.size(), 1u);  // the mounted file system is one used entry
    EXPECT_EQ(entries[0].partitionType, kPartitionTypeInUse);
    EXPECT_EQ(entries[0].partitionLength, 16u << 20);
}

// Taking a drive for the write test on a real mounted ext4 file system: a busy mount
// refuses and stays as it was; an idle one comes off, and the exclusive open then
// keeps the kernel from mounting it again until the drive is closed.
TEST(LinuxDriveLoop, WriteTestUnmountsAndTakesTheDriveExclusively) {
    LoopDevice loop(16u << 20);
    if (!loop.ready()) {
        GTEST_SKIP() << loop.skipReason();
    }
    ASSERT_TRUE(loop.makeExt4());
    const std::string target = (std::filesystem::canonical(loop.folder()) / "key").string();
    std::filesystem::create_directory(target);
    if (!loop.mount(target)) {
        GTEST_SKIP() << "cannot mount " << loop.node();
    }
    const std::string number = systemCatalog().devNumber(loop.name());
    auto mountedAt = [&] { return MountTable::load().mountPointsOf(number); };

    auto disk = newLinuxDriveForPath(loop.node(), nullptr, 65536);
    ASSERT_NE(disk, nullptr);
    std::string why;
    {
        std::ofstream held(target + "/hello.txt");  // an open file keeps the mount busy
        held << "hello";
        held.flush();
        EXPECT_FALSE(disk->claimForWrite(why));
        EXPECT_EQ(why, "'" + target + "' is busy and cannot be unmounted");
        EXPECT_EQ(mountedAt(), std::vector<std::string>{target});
    }
    why.clear();
    ASSERT_TRUE(disk->claimForWrite(why)) << why;
    EXPECT_TRUE(mountedAt().empty());
    loop.unmounted();
    EXPECT_NE(mount(loop.node().c_str(), target.c_str(), "ext4", 0, nullptr), 0);
    EXPECT_EQ(errno, EBUSY);
    EXPECT_TRUE(disk->read(0, 8, nullptr));  // the exclusive descriptor still transfers
    disk.reset();
    ASSERT_TRUE(loop.mount(target));
}

}  // namespace
}  // namespace vorn::test
