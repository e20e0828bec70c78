#include "storage/DriveList.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "storage/DeviceListText.h"
#include "storage/LinuxDrive.h"
#include "support/FakeSysfs.h"

namespace vorn::test {
namespace {

class DriveListTest : public testing::Test {
protected:
    std::string textOf(int number) {
        auto disk = newLinuxDrive(number, nullptr, 65536, fake.catalog());
        return disk ? deviceListText(*disk) : std::string("(does not open)");
    }
    std::vector<std::string> namesOf(const std::vector<ListedDrive>& drives) {
        std::vector<std::string> names;
        for (const ListedDrive& drive : drives) {
            names.push_back(std::to_string(drive.number) + ":" + drive.name);
        }
        return names;
    }

    FakeSysfs fake;
};

// Every hardware disk in drive-number order with the facts each front end shows; the
// virtual ones of the tree (ram, zram, loop) stay out.
TEST_F(DriveListTest, ListsTheHardwareDisksWithTheirFacts) {
    fake.addDisk(FakeSysfs::sataDisk());
    fake.addDisk(FakeSysfs::usbKey480());
    fake.addDisk(FakeSysfs::readerWithoutMedia());
    fake.addDisk(FakeSysfs::readOnlyCard());
    fake.addDisk(FakeSysfs::loopDevice());
    const std::vector<ListedDrive> drives = listDrives(fake.catalog());
    ASSERT_EQ(namesOf(drives), (std::vector<std::string>{"0:sda", "1:sdb", "2:sdd", "3:sdf"}));
    for (const ListedDrive& drive : drives) {
        EXPECT_EQ(drive.text, textOf(drive.number)) << drive.name;
        EXPECT_EQ(drive.nodePath, fake.nodePath(drive.name));
    }
    const ListedDrive& sata = drives[0];
    EXPECT_FALSE(sata.removable);
    EXPECT_EQ(sata.sectors, 512u * 2048);
    EXPECT_EQ(sata.blockSize, 512u);
    const ListedDrive& key = drives[1];
    EXPECT_TRUE(key.removable);
    EXPECT_TRUE(key.writable);
    EXPECT_NE(key.identity.find("Flash Disk"), std::string::npos) << key.identity;
    const ListedDrive& reader = drives[2];
    EXPECT_EQ(reader.sectors, 0u);
    EXPECT_FALSE(reader.writable);
    EXPECT_NE(reader.text.find("(no media)"), std::string::npos) << reader.text;
    EXPECT_FALSE(drives[3].writable);
}

// The mount points are the drive's own, partitions included, as its text shows them.
TEST_F(DriveListTest, MountPointsAreTheDrivesOwn) {
    fake.addDisk(FakeSysfs::sataDisk());
    fake.addDisk(FakeSysfs::usbKey480());
    fake.addMount("8:1", "/");
    fake.addMount("8:17", "/media/my key");
    const std::vector<ListedDrive> drives = listDrives(fake.catalog());
    ASSERT_EQ(drives.size(), 2u);
    EXPECT_EQ(drives[0].mountPoints, "/");
    EXPECT_EQ(drives[1].mountPoints, "/media/my key");
    EXPECT_EQ(drives[1].text.rfind("(/media/my key) ", 0), 0u) << drives[1].text;
}

// Read afresh each time: an unplugged drive is gone and the later ones move up; a
// plugged one takes its place in name order.
TEST_F(DriveListTest, EachListingReadsTheMachineAfresh) {
    fake.addDisk(FakeSysfs::usbKey480());
    fake.addDisk(FakeSysfs::usb11Reader());
    const std::vector<ListedDrive> before = listDrives(fake.catalog());
    ASSERT_EQ(namesOf(before), (std::vector<std::string>{"0:sdb", "1:sdc"}));
    fake.removeDisk("sdb");
    const std::vector<ListedDrive> after = listDrives(fake.catalog());
    ASSERT_EQ(namesOf(after), (std::vector<std::string>{"0:sdc"}));
    EXPECT_EQ(findDrive(after, before[0]), -1);
    EXPECT_EQ(findDrive(after, before[1]), 0);
    EXPECT_FALSE(after[0] == before[1]) << "the drive number is part of the listing";
    fake.addDisk(FakeSysfs::sataDisk());
    EXPECT_EQ(namesOf(listDrives(fake.catalog())), (std::vector<std::string>{"0:sda", "1:sdc"}));
}

// A drive is the same one while its node and identification are: a new medium, size
// or mount does not make it another drive, another stick at the same node does.
TEST(SameDrive, NodeAndIdentificationTellDrivesApart) {
    ListedDrive reader;
    reader.number = 2;
    reader.text = "() Generic Card Reader 1.00 (no media)";
    reader.name = "sdd";
    reader.nodePath = "/dev/sdd";
    reader.identity = "Generic Card Reader 1.00";
    ListedDrive withCard = reader;
    withCard.number = 1;
    withCard.text = "(/media/card) Generic Card Reader 1.00 (31.9MB)";
    withCard.mountPoints = "/media/card";
    withCard.sectors = 62333;
    withCard.writable = true;
    EXPECT_TRUE(sameDrive(reader, withCard));
    ListedDrive otherStick = reader;
    otherStick.identity = "Kingston DataTraveler 1.00";
    EXPECT_FALSE(sameDrive(reader, otherStick));
    ListedDrive otherNode = reader;
    otherNode.nodePath = "/dev/sde";
    EXPECT_FALSE(sameDrive(reader, otherNode));
    EXPECT_EQ(findDrive({otherStick, otherNode, withCard}, reader), 2);
    EXPECT_EQ(findDrive({otherStick, otherNode}, reader), -1);
    EXPECT_EQ(findDrive({}, reader), -1);
}

}  // namespace
}  // namespace vorn::test
