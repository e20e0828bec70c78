#include "storage/DriveCatalog.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>

#include "storage/Descriptors.h"
#include "support/FakeSysfs.h"
#include "support/TempDir.h"

namespace vorn::test {
namespace {

std::string idOf(const DriveIdentity& identity) {
    const DeviceDescriptor descriptor = buildDeviceDescriptor(identity);
    std::array<char, 1024> text{};
    deviceIdFromDescriptor(descriptor.bytes.data(), descriptor.length, text.data());
    return text.data();
}

// The identity's fields as "|name=value|" tokens, so a row can name the ones it means.
std::string fieldsOf(const DriveIdentity& id) {
    std::ostringstream out;
    out << "|removable=" << int{id.removable} << "|ro=" << id.readOnly << "|bus=" << id.busType
        << "|v=" << id.busMajorVersion << "." << id.busMinorVersion
        << "|cq=" << int{id.commandQueueing} << "|xfer=" << id.maxTransferLength
        << "|pages=" << id.maxPhysicalPages << "|vendor=" << id.vendor << "|rev=" << id.revision
        << "|product=" << (id.product.size() > 100 ? std::to_string(id.product.size()) : id.product)
        << "|id=" << idOf(id) << "|";
    return out.str();
}

// Every space-separated token of `expected` stands in the fields.
void expectFields(const DriveIdentity& id, const std::string& expected) {
    std::istringstream tokens(expected);
    for (std::string token; tokens >> token;) {
        EXPECT_NE(fieldsOf(id).find("|" + token + "|"), std::string::npos)
            << token << " in " << fieldsOf(id);
    }
}

FakeDisk withBus(FakeDisk disk, FakeDisk::Bus bus) {
    disk.bus = bus;
    return disk;
}

FakeDisk embeddedMmc() {
    FakeDisk disk = FakeSysfs::mmcCard();
    disk.mmcType = "MMC";
    disk.model = "8GTF4R";
    return disk;
}

// A disk that reports a fixed medium, as UAS enclosures and many USB 3 sticks do.
FakeDisk fixedMedia(FakeDisk disk) {
    disk.removable = 0;
    return disk;
}

FakeDisk withoutIdentity(FakeDisk disk) {
    disk.hasIdentity = false;
    return disk;
}

TEST(DriveCatalog, IdentifiesEachKindOfDrive) {
    const struct {
        const char* label;
        FakeDisk disk;
        const char* fields;
        const char* deviceId;
    } cases[] = {
        {"usb key 480", FakeSysfs::usbKey480(), "removable=1 ro=0 bus=9 v=2.0 cq=0",
         "Generic Flash Disk 8.07"},
        {"usb 1.1 reader", FakeSysfs::usb11Reader(), "removable=1 bus=7 v=1.10 cq=0",
         "Generic USB SD Reader 1.00"},
        {"usb 5000", withBus(FakeSysfs::usbKey480(), FakeDisk::UsbSuper), "bus=9 v=3.0",
         "Generic Flash Disk 8.07"},
        // Removable as a user means it: a disk on a bus that is unplugged in normal use.
        {"uas disk with fixed media",
         fixedMedia(withBus(FakeSysfs::usbKey480(), FakeDisk::UsbSuper)), "removable=1 bus=9",
         "Generic Flash Disk 8.07"},
        {"firewire with fixed media", fixedMedia(FakeSysfs::firewireDisk()), "removable=1 bus=4",
         "LaCie d2 quadra 0001"},
        {"reader without media", FakeSysfs::readerWithoutMedia(), "removable=1 bus=9",
         "Generic Card Reader 1.00"},
        {"read-only card", FakeSysfs::readOnlyCard(), "removable=1 ro=1 bus=9",
         "Generic SD/MMC 1.00"},
        {"sata", FakeSysfs::sataDisk(), "removable=0 bus=10 v=0.0 cq=1",
         "ATA Samsung SSD 860 4B6Q"},
        {"pata", FakeSysfs::pataDisk(), "removable=0 bus=3 cq=1", "ATA ST340014A 8.16"},
        {"scsi", FakeSysfs::scsiDisk(), "removable=0 bus=1 cq=1", "QEMU QEMU HARDDISK 2.5+"},
        {"firewire", FakeSysfs::firewireDisk(), "removable=1 bus=4 cq=0", "LaCie d2 quadra 0001"},
        {"sd card", FakeSysfs::mmcCard(), "removable=1 bus=0", "SD08G "},
        {"embedded mmc", embeddedMmc(), "removable=0 bus=0", "8GTF4R "},
        {"nvme", FakeSysfs::nvmeDisk(), "removable=0 bus=0 cq=0",
         "Samsung SSD 970 EVO Plus 1TB 2B2QEXM7"},
        {"virtio", FakeSysfs::virtioDisk(), "removable=0 bus=0", "vda "},
        {"loop", FakeSysfs::loopDevice(), "removable=0 bus=0", "loop1 "},
        // Without any identity strings the kernel name is the product.
        {"no identity", withoutIdentity(FakeSysfs::usb11Reader()), "vendor= rev= product=sdc",
         "sdc "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        FakeSysfs fake;
        const std::string node = fake.addDisk(c.disk);
        const std::optional<DriveIdentity> id = fake.catalog().identify(c.disk.name);
        ASSERT_TRUE(id.has_value());
        EXPECT_EQ(id->name, c.disk.name);
        EXPECT_EQ(id->nodePath, node);
        EXPECT_EQ(id->sysPath, fake.sysRoot() + "/block/" + c.disk.name);
        EXPECT_EQ(id->devNumber, c.disk.devNumber);
        EXPECT_EQ(id->hasIdentity, c.disk.hasIdentity);
        EXPECT_EQ(id->alignmentMask, c.disk.dmaAlignment);
        EXPECT_EQ(id->maxTransferLength, c.disk.maxHwSectorsKb * 1024);
        expectFields(*id, c.fields);
        EXPECT_EQ(idOf(*id), c.deviceId);
    }
    // The strings stay raw, padding included.
    FakeSysfs fake;
    fake.addDisk(FakeSysfs::usbKey480());
    const DriveIdentity key = *fake.catalog().identify("sdb");
    EXPECT_EQ(key.vendor + "|" + key.product + "|" + key.revision,
              "Generic |Flash Disk      |8.07");
}

TEST(DriveCatalog, ListsHardwareDrivesInNaturalOrderWithoutVirtualDevices) {
    FakeSysfs fake;
    for (const char* name : {"sdz", "mmcblk10", "sdb", "sdaa", "mmcblk2", "sda", "mmcblk0"}) {
        FakeDisk disk = name[0] == 'm' ? FakeSysfs::mmcCard() : FakeSysfs::usbKey480();
        disk.name = name;
        disk.devNumber.clear();
        fake.addDisk(disk);
    }
    // Bound loop devices (26 on a desktop with snaps), device-mapper, md and nbd all
    // live under devices/virtual/block, like ram0, zram0 and loop0 of every tree.
    for (int i = 1; i <= 26; ++i) {
        FakeDisk loop = FakeSysfs::loopDevice();
        loop.name = "loop" + std::to_string(i);
        loop.devNumber = "7:" + std::to_string(i);
        fake.addDisk(loop);
    }
    for (const char* name : {"dm-0", "md0", "nbd0"}) {
        FakeDisk disk = FakeSysfs::loopDevice();
        disk.name = name;
        disk.devNumber.clear();
        fake.addDisk(disk);
    }
    const std::vector<std::string> expected = {"sda",     "sdb",     "sdz",     "sdaa",
                                               "mmcblk0", "mmcblk2", "mmcblk10"};
    EXPECT_EQ(fake.catalog().driveNames(), expected);
    EXPECT_EQ(fake.catalog().drive(6)->name, "mmcblk10");
    EXPECT_FALSE(fake.catalog().drive(7).has_value());
    EXPECT_FALSE(fake.catalog().drive(-1).has_value());
    // Named by the user (--device /dev/loop3 comes here by its device number), a loop
    // device is still a drive.
    const std::optional<DriveIdentity> loop = fake.catalog().identify("loop3");
    ASSERT_TRUE(loop.has_value());
    EXPECT_EQ(loop->nodePath, fake.nodePath("loop3"));
}

TEST(DriveCatalog, PartitionsInNumberOrderAndDeviceNumbers) {
    FakeSysfs fake;
    FakeDisk disk = FakeSysfs::usbKey480();
    disk.partitionBytes.assign(11, 1024 * 1024);
    fake.addDisk(disk);
    fake.addDisk(FakeSysfs::mmcCard());

    const std::vector<std::string> parts = fake.catalog().partitions("sdb");
    ASSERT_EQ(parts.size(), 11u);
    EXPECT_EQ(parts[1], "sdb2");
    EXPECT_EQ(parts[9], "sdb10");
    EXPECT_EQ(fake.catalog().partitions("mmcblk0"), std::vector<std::string>{"mmcblk0p1"});
    EXPECT_TRUE(fake.catalog().partitions("nothing").empty());
    const std::pair<const char*, const char*> numbers[] = {{"sdb", "8:16"},
                                                           {"sdb10", "8:26"},
                                                           {"mmcblk0p1", "179:1"},
                                                           {"sdq", ""},
                                                           {"../block/sdb", ""}};
    for (const auto& [name, number] : numbers) {
        EXPECT_EQ(fake.catalog().devNumber(name), number) << name;
    }
}

TEST(DriveCatalog, DamagedOrMissingAttributesGiveNeutralValues) {
    const char* const kUsb = "block/sdb/device/../../../..";
    const struct {
        const char* label;
        std::string path;                    // below sys/
        std::optional<std::string> content;  // nothing: the file is removed
        const char* fields;
        const char* drive = "sdb";
    } cases[] = {
        // On the SATA disk: a USB key is removable by its bus whatever the attribute says.
        {"no removable", "block/sda/removable", std::nullopt, "removable=0", "sda"},
        {"removable 2", "block/sda/removable", "2\n", "removable=0", "sda"},
        {"ro garbage", "block/sdb/ro", "yes\n", "ro=0"},
        {"transfer overflow", "block/sdb/queue/max_hw_sectors_kb", "99999999999999999999999\n",
         "xfer=0"},
        {"transfer saturates", "block/sdb/queue/max_hw_sectors_kb", "2147483647\n",
         "xfer=4294967295"},
        {"negative segments", "block/sdb/queue/max_segments", "-5\n", "pages=0"},
        {"unterminated vendor", "block/sdb/device/vendor", "Generic", "vendor=Generic"},
        {"zero inside vendor", "block/sdb/device/vendor", std::string("Gen\0eric \n", 10),
         "vendor=Gen"},
        {"oversized model", "block/sdb/device/model", std::string(10000, 'A'),
         "product=4096 id=Unknown"},
        {"no model", "block/sdb/device/model", std::nullopt, "product=sdb"},
        {"no rev", "block/sdb/device/rev", std::nullopt, "rev="},
        {"usb without speed", std::string(kUsb) + "/speed", std::nullopt, "bus=9"},
        {"usb slow speed", std::string(kUsb) + "/speed", "1.5\n", "bus=7"},
        {"usb version garbage", std::string(kUsb) + "/version", "x.y\n", "v=0.0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        FakeSysfs fake;
        fake.addDisk(FakeSysfs::usbKey480());
        fake.addDisk(FakeSysfs::sataDisk());
        if (c.content) {
            fake.setAttribute(c.path, *c.content);
        } else {
            fake.removeAttribute(c.path);
        }
        const std::optional<DriveIdentity> id = fake.catalog().identify(c.drive);
        ASSERT_TRUE(id.has_value());
        expectFields(*id, c.fields);
    }
    // Without rev, firmware_rev is read.
    FakeSysfs fake;
    fake.addDisk(FakeSysfs::usbKey480());
    fake.removeAttribute("block/sdb/device/rev");
    fake.setAttribute("block/sdb/device/firmware_rev", "1100\n");
    EXPECT_EQ(fake.catalog().identify("sdb")->revision, "1100");
}

TEST(DriveCatalog, VanishedOrForeignNamesAnswerNothing) {
    FakeSysfs fake;
    fake.addDisk(FakeSysfs::usbKey480());
    fake.addDisk(FakeSysfs::sataDisk());
    for (const char* name : {"", "sdq", "..", "../block/sdb", "sdb/sdb1", "sdb1"}) {
        EXPECT_FALSE(fake.catalog().identify(name).has_value()) << name;
    }
    std::filesystem::remove(fake.sysRoot() + "/block/sdb");
    EXPECT_FALSE(fake.catalog().identify("sdb").has_value());
    EXPECT_EQ(fake.catalog().driveNames(), std::vector<std::string>{"sda"});
    EXPECT_FALSE(fake.catalog().drive(1).has_value());
}

TEST(DriveCatalog, BusTypeNamesCoverElevenValues) {
    std::string names;
    for (uint32_t i = 0; i < kBusTypeNameCount; ++i) {
        names += std::string(busTypeName(i)) + ",";
    }
    EXPECT_EQ(names, "UNKNOWN,SCSI,ATAPI,ATA,IEEE 1394,SSA,FIBRE,USB 1.1,RAID,USB 2.0,SATA,");
    EXPECT_EQ(busTypeName(11), nullptr);
    EXPECT_EQ(busTypeName(UINT32_MAX), nullptr);
}

TEST(IdentifyPath, ImageFileIsRemovableMediaNamedByItsFile) {
    TempDir dir;
    const std::string image = dir.write("card.img", "x");
    const std::optional<DriveIdentity> id = identifyPath(image);
    ASSERT_TRUE(id.has_value());
    EXPECT_EQ(id->name, "card.img");
    EXPECT_EQ(id->nodePath, image);
    EXPECT_EQ(id->sysPath, "");
    expectFields(*id, "removable=1 bus=0");
    EXPECT_EQ(idOf(*id), "card.img ");
    for (const std::string& bad :
         {dir.file("missing.img"), dir.path().string(), std::string("/dev/null"), std::string()}) {
        EXPECT_FALSE(identifyPath(bad).has_value()) << bad;
    }
}

}  // namespace
}  // namespace vorn::test
