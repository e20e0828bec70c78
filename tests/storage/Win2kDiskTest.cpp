#include "storage/Win2kDisk.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

#include "app/DiagLog.h"
#include "bench/EventLog.h"
#include "results/VornCollection.h"
#include "storage/Win2kStoredDisk.h"
#include "support/FakeSysfs.h"
#include "support/TempDir.h"

namespace vorn {
namespace {

using test::FakeDisk;
using test::FakeSysfs;

// Records what the device hands to its event log.
class RecordingLog : public I_VornEventLog {
public:
    struct Event {
        uint8_t device, kind;
        uint16_t count;
        uint64_t sector;
        uint32_t failed;
    };
    bool addEvent(uint8_t device, uint8_t kind, uint16_t count, uint64_t sector, uint64_t start,
                  uint64_t end, uint32_t failed) override {
        EXPECT_LE(start, end);
        events.push_back({device, kind, count, sector, failed});
        return true;
    }
    bool addNote(const char*) override { return true; }
    bool dumpCsv(const char*, bool, const char*, uint32_t) override { return true; }
    std::vector<Event> events;
};

class Win2kDiskTest : public ::testing::Test {
protected:
    void SetUp() override {
        resetDriveDiagnostics();
        openLog(logPath().c_str());
    }
    void TearDown() override { closeLog(); }

    std::string logPath() const { return dir_.file("vornrefresh.log"); }
    std::string logText() {
        closeLog();
        return test::readText(logPath());
    }
    std::unique_ptr<Win2kDisk> open(int number, I_VornEventLog* log = nullptr,
                                    uint32_t buffer = 65536) {
        return newWin2kDisk(number, log, buffer, tree_.catalog());
    }

    test::TempDir dir_;
    FakeSysfs tree_;
};

TEST_F(Win2kDiskTest, OpensCatalogDriveWithIdentityAndDump) {
    tree_.addDisk(FakeSysfs::sataDisk());
    const std::string node = tree_.addDisk(FakeSysfs::usbKey480());
    EXPECT_EQ(open(2), nullptr);
    auto disk = open(1);
    ASSERT_NE(disk, nullptr);
    EXPECT_STREQ(disk->deviceId(), "Generic Flash Disk 8.07");
    EXPECT_STREQ(disk->getHardwareId(), "PhysicalDevice 1");
    EXPECT_EQ(disk->getDevicePath(), node);
    EXPECT_EQ(disk->deviceRemovable(), 1u);
    EXPECT_EQ(disk->deviceBusType(), static_cast<uint32_t>(kBusUsb20));
    EXPECT_EQ(disk->mediaBlockSize(), 512u);
    EXPECT_EQ(disk->mediaSectors(), 256u * 1024 * 1024 / 512);
    EXPECT_EQ(disk->mediaPresent(), 1u);

    const std::string log = logText();
    // The listing of every disk runs once, before the first open's own dump.
    EXPECT_EQ(log.find("SetupDixxxx info for device 0\nDEBUG INFO FOR DEVICE 0\n"), 0u);
    EXPECT_NE(log.find("SetupDixxxx info for device 2\n** Device 2 does not exist.\n"),
              std::string::npos);
    const std::string block =
        "DEBUG INFO FOR DEVICE 1\n"
        " HARDWARE ID: PhysicalDevice 1\n"
        " DEVICE PATH: " +
        node +
        "\n"
        " DEVICE ID: Generic Flash Disk 8.07\n"
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
    EXPECT_NE(log.find("deviceLetters 1: \n"), std::string::npos);

    // A second open in the same process lists nothing again but dumps itself.
    openLog(logPath().c_str());
    ASSERT_NE(open(0), nullptr);
    const std::string again = logText();
    EXPECT_EQ(again.find("SetupDixxxx"), std::string::npos);
    EXPECT_EQ(again.find("DEBUG INFO FOR DEVICE 0\n"), 0u);
}

TEST_F(Win2kDiskTest, WritePermissionFollowsMediumAndLayout) {
    tree_.addDisk(FakeSysfs::sataDisk());  // fixed, two partitions
    tree_.addDisk(FakeSysfs::usbKey480());
    FakeDisk blank = FakeSysfs::pataDisk();  // fixed, no partition table
    blank.partitionBytes.clear();
    blank.writePartitionTable = false;
    tree_.addDisk(blank);
    tree_.addDisk(FakeSysfs::readOnlyCard());
    struct {
        int drive;
        uint32_t writable;
        const char* line;
    } cases[] = {
        {0, 0, "mediaWriteable 0: returning false, valid partition found\n"},
        {1, 1, "mediaWritable 1: device is removable\n"},
        {2, 1, "mediaWriteable 2: returning true\n"},
        {3, 0, "mediaWritable 3: device is read-only\n"},
    };
    for (const auto& c : cases) {
        openLog(logPath().c_str());
        auto disk = open(c.drive);
        ASSERT_NE(disk, nullptr) << c.drive;
        EXPECT_EQ(disk->mediaWritable(), c.writable) << c.drive;
        const std::string log = logText();
        EXPECT_NE(log.find(c.line), std::string::npos) << log;
        EXPECT_EQ(disk->enableWrite(1, 512, 0), c.writable != 0) << c.drive;
    }
    openLog(logPath().c_str());
    open(0)->mediaWritable();
    EXPECT_NE(logText().find("mediaWritable 0 - PARTITION INFORMATION\n"
                             " Partition 0, start 1048576, length 268435456, hidden 2048, type 12, "
                             "boot 0, recognized 1, rewrite 0\n"),
              std::string::npos);
}

TEST_F(Win2kDiskTest, ReaderWithoutCardListsWithNoMedium) {
    tree_.addDisk(FakeSysfs::readerWithoutMedia());
    auto disk = open(0);
    ASSERT_NE(disk, nullptr);
    EXPECT_EQ(disk->mediaSectors(), 0u);
    EXPECT_EQ(disk->mediaPresent(), 0u);
    EXPECT_FALSE(disk->read(0, 1, nullptr));
}

TEST_F(Win2kDiskTest, LettersAreMountPointsInPartitionOrder) {
    tree_.addDisk(FakeSysfs::sataDisk());
    tree_.addMount("8:2", "/media/second");
    tree_.addMount("8:1", "/media/first key");
    auto disk = open(0);
    ASSERT_NE(disk, nullptr);
    EXPECT_STREQ(disk->deviceLetters(), "/media/first key,/media/second");
}

// Transfers on an image file opened by path: an image counts as removable media.
class ImageTransferTest : public Win2kDiskTest {
protected:
    void SetUp() override {
        Win2kDiskTest::SetUp();
        image_ = dir_.file("card.img");
        std::vector<char> bytes(1024 * 1024 + 100);  // not a whole number of sectors
        for (size_t i = 0; i < bytes.size(); ++i) {
            bytes[i] = static_cast<char>(i / 512);
        }
        std::ofstream(image_, std::ios::binary).write(bytes.data(), bytes.size());
        disk_ = newWin2kDiskForPath(image_, &events_, 8192, tree_.catalog());
        ASSERT_NE(disk_, nullptr);
    }
    std::string image_;
    RecordingLog events_;
    std::unique_ptr<Win2kDisk> disk_;
};

TEST_F(ImageTransferTest, IdentityOfAnImageFile) {
    EXPECT_STREQ(disk_->deviceId(), "card.img ");
    EXPECT_EQ(disk_->deviceRemovable(), 1u);
    EXPECT_EQ(disk_->deviceBusType(), 0u);
    EXPECT_EQ(disk_->mediaSectors(), 2048u);
}

TEST_F(ImageTransferTest, ReadsLandInCallerBufferAndEvents) {
    std::vector<uint8_t> data(2 * 512);
    ASSERT_TRUE(disk_->read(7, 2, data.data()));
    EXPECT_EQ(data[0], 7);
    EXPECT_EQ(data[512], 8);
    ASSERT_TRUE(disk_->read(9, 16, nullptr));     // exactly the buffer
    EXPECT_FALSE(disk_->read(0, 17, nullptr));    // one sector more: no transfer at all
    EXPECT_FALSE(disk_->read(2047, 2, nullptr));  // runs past the end: a short read
    ASSERT_TRUE(disk_->read(3, 1, data.data()));
    EXPECT_EQ(data[0], 3);
    ASSERT_EQ(events_.events.size(), 4u);
    EXPECT_EQ(events_.events[0].kind, kEventRead);
    EXPECT_EQ(events_.events[0].count, 2);
    EXPECT_EQ(events_.events[0].sector, 7u);
    EXPECT_EQ(events_.events[2].failed, 1u);
    EXPECT_NE(logText().find("read 0: error 5 sector 2047 count 2\n"), std::string::npos);
}

TEST_F(ImageTransferTest, WritesNeedArmingAndReadBack) {
    EXPECT_FALSE(disk_->write(0, 0, nullptr));
    EXPECT_FALSE(disk_->write(4, 1, nullptr));
    EXPECT_FALSE(disk_->enableWrite(0, 512, 0));
    EXPECT_FALSE(disk_->enableWrite(1, 4096, 0));
    EXPECT_FALSE(disk_->enableWrite(1, 512, 1));
    ASSERT_TRUE(disk_->enableWrite(1, 512, 0));
    EXPECT_TRUE(disk_->write(0, 0, nullptr));
    EXPECT_TRUE(events_.events.empty());

    std::vector<uint8_t> pattern(3 * 512, 0xC3);
    ASSERT_TRUE(disk_->write(100, 3, pattern.data()));
    ASSERT_TRUE(disk_->flush());
    std::vector<uint8_t> back(3 * 512);
    ASSERT_TRUE(disk_->read(100, 3, back.data()));
    EXPECT_EQ(back, pattern);
    ASSERT_TRUE(disk_->read(103, 1, back.data()));
    EXPECT_EQ(back[0], 103);  // the neighbour is untouched

    ASSERT_EQ(events_.events.size(), 4u);
    EXPECT_EQ(events_.events[0].kind, kEventWrite);
    EXPECT_EQ(events_.events[1].kind, kEventFlush);
    EXPECT_EQ(events_.events[1].sector, 0u);
    EXPECT_TRUE(disk_->disableWrite());
    EXPECT_FALSE(disk_->write(100, 1, nullptr));
}

TEST_F(Win2kDiskTest, DeviceInformationRecordRebuildsAStoredDisk) {
    tree_.addDisk(FakeSysfs::usbKey480());
    auto disk = open(0);
    ASSERT_NE(disk, nullptr);
    const std::string path = dir_.file("temp.qkt");
    {
        auto file = createCollection(path.c_str());
        ASSERT_NE(file, nullptr);
        ASSERT_TRUE(file->addEntry("DRIVEID", disk->deviceId(), 0, nullptr));
        ASSERT_TRUE(disk->saveDeviceInfo(file.get(), nullptr));
    }
    auto file = openCollection(path.c_str());
    ASSERT_NE(file, nullptr);
    uint32_t valueLength = 0;
    uint32_t dataLength = 0;
    ASSERT_TRUE(file->findEntry("2KDEVINFO-add", &valueLength, nullptr, &dataLength, nullptr));
    EXPECT_EQ(dataLength, 32u);
    dataLength = 0;
    ASSERT_TRUE(file->findEntry("2KDEVINFO-data", &valueLength, nullptr, &dataLength, nullptr));
    EXPECT_EQ(dataLength, 56u);
    auto stored = newStoredDisk(file.get(), nullptr);
    ASSERT_NE(stored, nullptr);
    EXPECT_STREQ(stored->deviceId(), "Generic Flash Disk 8.07");
    EXPECT_EQ(stored->deviceBusType(), static_cast<uint32_t>(kBusUsb20));
    EXPECT_EQ(stored->deviceRemovable(), 1u);
    EXPECT_EQ(stored->mediaSectors(), disk->mediaSectors());
    EXPECT_EQ(stored->mediaBlockSize(), 512u);
    EXPECT_EQ(stored->mediaWritable(), 1u);
}

// A real loop device over an image file the test made; skipped where the machine
// gives no loop devices.
TEST(Win2kDiskLoop, DataWrittenAtASectorReadsBackThroughTheLoopDevice) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "loop devices need root";
    }
    test::TempDir dir;
    const std::string image = dir.file("loop.img");
    std::ofstream(image, std::ios::binary).seekp(8 * 1024 * 1024 - 1).put('\0');
    const std::string command = "losetup -f --show " + image + " 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    char node[64] = {};
    const bool attached = pipe && std::fgets(node, sizeof node, pipe) != nullptr;
    if (pipe) {
        pclose(pipe);
    }
    if (!attached) {
        GTEST_SKIP() << "no loop device could be attached here";
    }
    node[std::strcspn(node, "\n")] = '\0';
    {
        auto disk = newWin2kDiskForPath(node, nullptr, 65536);
        ASSERT_NE(disk, nullptr);
        EXPECT_EQ(disk->mediaSectors(), 16384u);
        ASSERT_TRUE(disk->enableWrite(1, disk->mediaBlockSize(), 0));
        std::vector<uint8_t> pattern(4096, 0x5A);
        ASSERT_TRUE(disk->write(64, 8, pattern.data()));
        ASSERT_TRUE(disk->flush());
        std::vector<uint8_t> back(4096);
        ASSERT_TRUE(disk->read(64, 8, back.data()));
        EXPECT_EQ(back, pattern);
    }
    std::system(("losetup -d " + std::string(node)).c_str());
    std::ifstream in(image, std::ios::binary);
    in.seekg(64 * 512);
    EXPECT_EQ(in.get(), 0x5A);
}

}  // namespace
}  // namespace vorn
