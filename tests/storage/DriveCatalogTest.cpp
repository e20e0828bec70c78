#include "storage/DriveCatalog.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
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

struct IdentityCase {
    const char* label;
    FakeDisk disk;
    uint32_t busType;
    uint16_t busMajor, busMinor;
    uint8_t removable;
    bool readOnly;
    uint8_t commandQueueing;
    const char* deviceId;
};

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

TEST(DriveCatalog, IdentifiesEachKindOfDrive) {
    const IdentityCase cases[] = {
        {"usb key 480", FakeSysfs::usbKey480(), kBusUsb20, 2, 0, 1, false, 0,
         "Generic Flash Disk 8.07"},
        {"usb 1.1 reader", FakeSysfs::usb11Reader(), kBusUsb11, 1, 10, 1, false, 0,
         "Generic USB SD Reader 1.00"},
        {"usb 5000", withBus(FakeSysfs::usbKey480(), FakeDisk::UsbSuper), kBusUsb20, 3, 0, 1, false,
         0, "Generic Flash Disk 8.07"},
        {"reader without media", FakeSysfs::readerWithoutMedia(), kBusUsb20, 2, 0, 1, false, 0,
         "Generic Card Reader 1.00"},
        {"read-only card", FakeSysfs::readOnlyCard(), kBusUsb20, 2, 0, 1, true, 0,
         "Generic SD/MMC 1.00"},
        {"sata", FakeSysfs::sataDisk(), kBusSata, 0, 0, 0, false, 1, "ATA Samsung SSD 860 4B6Q"},
        {"pata", FakeSysfs::pataDisk(), kBusAta, 0, 0, 0, false, 1, "ATA ST340014A 8.16"},
        {"scsi", FakeSysfs::scsiDisk(), kBusScsi, 0, 0, 0, false, 1, "QEMU QEMU HARDDISK 2.5+"},
        {"firewire", FakeSysfs::firewireDisk(), kBus1394, 0, 0, 1, false, 0,
         "LaCie d2 quadra 0001"},
        {"sd card", FakeSysfs::mmcCard(), kBusUnknown, 0, 0, 1, false, 0, "SD08G "},
        {"embedded mmc", embeddedMmc(), kBusUnknown, 0, 0, 0, false, 0, "8GTF4R "},
        {"nvme", FakeSysfs::nvmeDisk(), kBusUnknown, 0, 0, 0, false, 0,
         "Samsung SSD 970 EVO Plus 1TB 2B2QEXM7"},
        {"virtio", FakeSysfs::virtioDisk(), kBusUnknown, 0, 0, 0, false, 0, "vda "},
        {"loop", FakeSysfs::loopDevice(), kBusUnknown, 0, 0, 0, false, 0, "loop1 "},
    };
    for (const IdentityCase& c : cases) {
        SCOPED_TRACE(c.label);
        FakeSysfs fake;
        const std::string node = fake.addDisk(c.disk);
        const std::optional<DriveIdentity> id = fake.catalog().identify(c.disk.name);
        ASSERT_TRUE(id.has_value());
        EXPECT_EQ(id->name, c.disk.name);
        EXPECT_EQ(id->nodePath, node);
        EXPECT_EQ(id->sysPath, fake.sysRoot() + "/block/" + c.disk.name);
        EXPECT_EQ(id->devNumber, c.disk.devNumber);
        EXPECT_EQ(id->busType, c.busType);
        EXPECT_EQ(id->busMajorVersion, c.busMajor);
        EXPECT_EQ(id->busMinorVersion, c.busMinor);
        EXPECT_EQ(id->removable, c.removable);
        EXPECT_EQ(id->readOnly, c.readOnly);
        EXPECT_EQ(id->commandQueueing, c.commandQueueing);
        EXPECT_EQ(id->alignmentMask, c.disk.dmaAlignment);
        EXPECT_EQ(id->maxTransferLength, c.disk.maxHwSectorsKb * 1024);
        EXPECT_EQ(idOf(*id), c.deviceId);
    }
}

TEST(DriveCatalog, KeepsRawPaddedStringsAndNamesDrivesWithoutIdentity) {
    FakeSysfs fake;
    fake.addDisk(FakeSysfs::usbKey480());
    FakeDisk bare = FakeSysfs::usb11Reader();
    bare.hasIdentity = false;
    fake.addDisk(bare);

    const DriveIdentity key = *fake.catalog().identify("sdb");
    EXPECT_TRUE(key.hasIdentity);
    EXPECT_EQ(key.vendor, "Generic ");
    EXPECT_EQ(key.product, "Flash Disk      ");
    EXPECT_EQ(key.revision, "8.07");
    EXPECT_STREQ(busTypeName(key.busType), "USB 2.0");

    const DriveIdentity none = *fake.catalog().identify("sdc");
    EXPECT_FALSE(none.hasIdentity);
    EXPECT_EQ(none.vendor, "");
    EXPECT_EQ(none.product, "sdc");
    EXPECT_EQ(none.revision, "");
    EXPECT_STREQ(busTypeName(none.busType), "USB 1.1");
}

TEST(DriveCatalog, ListsDrivesInNaturalOrderWithoutRamZramOrUnboundLoops) {
    FakeSysfs fake;
    for (const char* name : {"sdz", "mmcblk10", "sdb", "sdaa", "mmcblk2", "sda", "mmcblk0"}) {
        FakeDisk disk = name[0] == 'm' ? FakeSysfs::mmcCard() : FakeSysfs::usbKey480();
        disk.name = name;
        disk.devNumber.clear();
        fake.addDisk(disk);
    }
    fake.addDisk(FakeSysfs::loopDevice());  // bound: listed; ram0, zram0, loop0 are not
    const std::vector<std::string> expected = {"sda",  "sdb",     "sdz",     "loop1",
                                               "sdaa", "mmcblk0", "mmcblk2", "mmcblk10"};
    EXPECT_EQ(fake.catalog().driveNames(), expected);
    EXPECT_EQ(fake.catalog().drive(0)->name, "sda");
    EXPECT_EQ(fake.catalog().drive(7)->name, "mmcblk10");
    EXPECT_FALSE(fake.catalog().drive(8).has_value());
    EXPECT_FALSE(fake.catalog().drive(-1).has_value());
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

    EXPECT_EQ(fake.catalog().devNumber("sdb"), "8:16");
    EXPECT_EQ(fake.catalog().devNumber("sdb10"), "8:26");
    EXPECT_EQ(fake.catalog().devNumber("mmcblk0p1"), "179:1");
    EXPECT_EQ(fake.catalog().devNumber("sdq"), "");
    EXPECT_EQ(fake.catalog().devNumber("../block/sdb"), "");
}

struct DamageCase {
    const char* label;
    const char* path;                    // below sys/
    std::optional<std::string> content;  // nothing: the file is removed
    std::function<void(const DriveIdentity&)> check;
};

TEST(DriveCatalog, DamagedOrMissingAttributesGiveNeutralValues) {
    const std::string big(10000, 'A');
    const DamageCase cases[] = {
        {"no removable", "block/sdb/removable", std::nullopt,
         [](const DriveIdentity& id) { EXPECT_EQ(id.removable, 0); }},
        {"removable 2", "block/sdb/removable", "2\n",
         [](const DriveIdentity& id) { EXPECT_EQ(id.removable, 0); }},
        {"ro garbage", "block/sdb/ro", "yes\n",
         [](const DriveIdentity& id) { EXPECT_FALSE(id.readOnly); }},
        {"transfer overflow", "block/sdb/queue/max_hw_sectors_kb", "99999999999999999999999\n",
         [](const DriveIdentity& id) { EXPECT_EQ(id.maxTransferLength, 0u); }},
        {"transfer saturates", "block/sdb/queue/max_hw_sectors_kb", "2147483647\n",
         [](const DriveIdentity& id) { EXPECT_EQ(id.maxTransferLength, UINT32_MAX); }},
        {"negative segments", "block/sdb/queue/max_segments", "-5\n",
         [](const DriveIdentity& id) { EXPECT_EQ(id.maxPhysicalPages, 0u); }},
        {"unterminated vendor", "block/sdb/device/vendor", "Generic",
         [](const DriveIdentity& id) { EXPECT_EQ(idOf(id), "Generic Flash Disk 8.07"); }},
        {"zero inside vendor", "block/sdb/device/vendor", std::string("Gen\0eric \n", 10),
         [](const DriveIdentity& id) { EXPECT_EQ(id.vendor, "Gen"); }},
        {"oversized model", "block/sdb/device/model", big,
         [](const DriveIdentity& id) {
             EXPECT_EQ(id.product.size(), 4096u);
             EXPECT_EQ(idOf(id), "Unknown");
         }},
        {"no model", "block/sdb/device/model", std::nullopt,
         [](const DriveIdentity& id) { EXPECT_EQ(idOf(id), "sdb "); }},
        {"no rev", "block/sdb/device/rev", std::nullopt,
         [](const DriveIdentity& id) { EXPECT_EQ(id.revision, ""); }},
        {"usb without speed", "block/sdb/device/../../../../speed", std::nullopt,
         [](const DriveIdentity& id) { EXPECT_EQ(id.busType, kBusUsb20); }},
        {"usb slow speed", "block/sdb/device/../../../../speed", "1.5\n",
         [](const DriveIdentity& id) { EXPECT_EQ(id.busType, kBusUsb11); }},
        {"usb version garbage", "block/sdb/device/../../../../version", "x.y\n",
         [](const DriveIdentity& id) { EXPECT_EQ(id.busMajorVersion, 0); }},
    };
    for (const DamageCase& c : cases) {
        SCOPED_TRACE(c.label);
        FakeSysfs fake;
        fake.addDisk(FakeSysfs::usbKey480());
        if (c.content) {
            fake.setAttribute(c.path, *c.content);
        } else {
            fake.removeAttribute(c.path);
        }
        const std::optional<DriveIdentity> id = fake.catalog().identify("sdb");
        ASSERT_TRUE(id.has_value());
        c.check(*id);
    }
}

TEST(DriveCatalog, ReadsFirmwareRevWhenRevIsMissing) {
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
        SCOPED_TRACE(name);
        EXPECT_FALSE(fake.catalog().identify(name).has_value());
    }
    std::filesystem::remove(fake.sysRoot() + "/block/sdb");
    EXPECT_FALSE(fake.catalog().identify("sdb").has_value());
    EXPECT_EQ(fake.catalog().driveNames(), std::vector<std::string>{"sda"});
    EXPECT_FALSE(fake.catalog().drive(1).has_value());
}

TEST(DriveCatalog, BusTypeNamesCoverElevenValues) {
    const char* const expected[] = {"UNKNOWN", "SCSI",    "ATAPI", "ATA",     "IEEE 1394", "SSA",
                                    "FIBRE",   "USB 1.1", "RAID",  "USB 2.0", "SATA"};
    for (uint32_t i = 0; i < kBusTypeNameCount; ++i) {
        EXPECT_STREQ(busTypeName(i), expected[i]);
        EXPECT_STREQ(BusTypeNames[i], expected[i]);
    }
    EXPECT_EQ(busTypeName(11), nullptr);
    EXPECT_EQ(busTypeName(UINT32_MAX), nullptr);
}

TEST(IdentifyPath, ImageFileIsRemovableMediaNamedByItsFile) {
    TempDir dir;
    const std::string image = dir.file("card.img");
    { std::ofstream(image) << "x"; }
    const std::optional<DriveIdentity> id = identifyPath(image);
    ASSERT_TRUE(id.has_value());
    EXPECT_EQ(id->name, "card.img");
    EXPECT_EQ(id->nodePath, image);
    EXPECT_EQ(id->sysPath, "");
    EXPECT_EQ(id->removable, 1);
    EXPECT_EQ(id->busType, kBusUnknown);
    EXPECT_EQ(idOf(*id), "card.img ");

    EXPECT_FALSE(identifyPath(dir.file("missing.img")).has_value());
    EXPECT_FALSE(identifyPath(dir.path().string()).has_value());
    EXPECT_FALSE(identifyPath("/dev/null").has_value());
    EXPECT_FALSE(identifyPath("").has_value());
}

// A real loop device over an image of our own; needs root and a free loop device.
TEST(IdentifyPath, LoopDeviceIsFoundInTheSystemCatalog) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to attach a loop device";
    }
    TempDir dir;
    const std::string image = dir.file("loop.img");
    { std::ofstream create(image); }
    std::filesystem::resize_file(image, 8 * 1024 * 1024);
    FILE* pipe = popen(("losetup -f --show " + image + " 2>/dev/null").c_str(), "r");
    char line[256] = {};
    const bool got = pipe != nullptr && fgets(line, sizeof line, pipe) != nullptr;
    if (pipe != nullptr) {
        pclose(pipe);
    }
    std::string loop = got ? std::string(line) : std::string();
    if (!loop.empty() && loop.back() == '\n') {
        loop.pop_back();
    }
    if (loop.rfind("/dev/loop", 0) != 0) {
        GTEST_SKIP() << "no free loop device";
    }
    const std::optional<DriveIdentity> id = identifyPath(loop, systemCatalog());
    const std::vector<std::string> names = systemCatalog().driveNames();
    EXPECT_EQ(std::system(("losetup -d " + loop).c_str()), 0);

    const std::string name = loop.substr(5);
    ASSERT_TRUE(id.has_value());
    EXPECT_EQ(id->name, name);
    EXPECT_EQ(id->nodePath, loop);
    EXPECT_EQ(id->busType, kBusUnknown);
    EXPECT_EQ(idOf(*id), name + " ");
    EXPECT_NE(std::find(names.begin(), names.end(), name), names.end());
}

}  // namespace
}  // namespace vorn::test
