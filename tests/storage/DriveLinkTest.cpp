#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "storage/DriveLinkRead.h"
#include "storage/DriveLinkText.h"
#include "support/FakeSysfs.h"

namespace vorn::test {
namespace {

// An SD Status with bus width 4, SPEED_CLASS 4 (Class 10), PERFORMANCE_MOVE 0x28, AU_SIZE
// 9 (4 MiB), UHS_SPEED_GRADE 3, UHS_AU_SIZE 9, VIDEO_SPEED_CLASS 0x1e (V30) and
// APP_PERF_CLASS 2: written out by hand, 32 hex digits (128 bits) a row, bit 511 first.
const std::string kSsrClass10U3V30A2 =
    "8000000000000000042890000000391e"
    "00000000000200000000000000000000"
    "00000000000000000000000000000000"
    "00000000000000000000000000000000";

std::optional<DriveLink> linkOf(const FakeSysfs& sys, const std::string& name) {
    return readDriveLink(sys.sysRoot(), sys.sysRoot() + "/block/" + name);
}

FakeDisk stick(FakeDisk::Bus bus, const std::string& version, const std::string& speed,
               const std::string& driver) {
    FakeDisk disk = FakeSysfs::usbKey480();
    disk.bus = bus;
    disk.usbVersion = version;
    disk.usbSpeed = speed;
    disk.usbDriver = driver;
    disk.usbProduct = "Ultra Fit";
    return disk;
}

TEST(DriveLinkUsb, ReadsTheDeviceItsLinkAndItsDriver) {
    struct Row {
        FakeDisk disk;
        uint32_t kbps;
        std::string version, driver, text;
    };
    const Row rows[] = {
        {stick(FakeDisk::UsbSuper, "", "", "uas"), 5000000, "3.00", "uas",
         "USB 3.0 device at 5 Gbit/s (UAS)"},
        {stick(FakeDisk::UsbSuper, "3.20", "10000", "usb-storage"), 10000000, "3.20", "usb-storage",
         "USB 3.2 device at 10 Gbit/s (bulk-only)"},
        {stick(FakeDisk::UsbHigh, "3.20", "", "usb-storage"), 480000, "3.20", "usb-storage",
         "USB 3 device on a USB 2 link (480 Mbit/s): plug it into a USB 3 port"},
        {stick(FakeDisk::UsbHigh, "", "", "usb-storage"), 480000, "2.00", "usb-storage",
         "USB 2.0 device at 480 Mbit/s (bulk-only)"},
        {stick(FakeDisk::UsbFull, "", "", "usb-storage"), 12000, "1.10", "usb-storage",
         "USB 1.1 device at 12 Mbit/s (bulk-only)"},
        {stick(FakeDisk::UsbFull, "", "1.5", ""), 1500, "1.10", "", "USB 1.1 device at 1.5 Mbit/s"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        FakeSysfs sys;
        sys.addDisk(row.disk);
        const std::optional<DriveLink> link = linkOf(sys, "sdb");
        ASSERT_TRUE(link && link->usb);
        EXPECT_EQ(link->usb->speedKbps, row.kbps);
        EXPECT_EQ(link->usb->version, row.version);
        EXPECT_EQ(link->usb->driver, row.driver);
        EXPECT_EQ(link->usb->vendorId, 0x058f);
        EXPECT_EQ(link->usb->productId, 0x6387);
        EXPECT_EQ(link->usb->product, "Ultra Fit");
        EXPECT_FALSE(link->card);
        EXPECT_FALSE(link->behindReader);
        EXPECT_EQ(driveLinkText(*link), row.text);
    }
}

TEST(DriveLinkUsb, StringsAreReadAndMalformedNumbersLeftEmpty) {
    FakeSysfs sys;
    sys.addDisk(stick(FakeDisk::UsbSuper, "", "", "uas"));
    const std::string usb = sys.usbDeviceFolder("sdb");
    sys.setAttribute(usb + "/manufacturer", "SanDisk\n");
    sys.setAttribute(usb + "/serial", "4C530001230911116143\n");
    sys.setAttribute(usb + "/speed", "fast\n");
    sys.setAttribute(usb + "/idVendor", "07g1\n");
    const std::optional<DriveLink> link = linkOf(sys, "sdb");
    ASSERT_TRUE(link && link->usb);
    EXPECT_EQ(link->usb->manufacturer, "SanDisk");
    EXPECT_EQ(link->usb->serial, "4C530001230911116143");
    EXPECT_EQ(link->usb->speedKbps, 0u);
    EXPECT_EQ(link->usb->vendorId, 0);
    EXPECT_EQ(driveLinkText(*link), "USB 3.0 device (UAS)");
}

TEST(DriveLinkReader, ShowsTheReadersLinkAndNoCard) {
    struct Row {
        FakeDisk disk;
        std::string text;
    };
    const Row rows[] = {
        {FakeSysfs::usb11Reader(),
         "USB 1.1 device at 12 Mbit/s (bulk-only); card reader: the card's own registers are "
         "not visible through it"},
        {FakeSysfs::readerWithoutMedia(),
         "USB 2.0 device at 480 Mbit/s (bulk-only); card reader: the card's own registers are "
         "not visible through it"},
        {FakeSysfs::readOnlyCard(),
         "USB 2.0 device at 480 Mbit/s (bulk-only); card reader: the card's own registers are "
         "not visible through it"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.disk.model);
        FakeSysfs sys;
        sys.addDisk(row.disk);
        const std::optional<DriveLink> link = linkOf(sys, row.disk.name);
        ASSERT_TRUE(link && link->usb);
        EXPECT_TRUE(link->behindReader);
        EXPECT_FALSE(link->card);
        EXPECT_EQ(driveLinkText(*link), row.text);
    }
}

TEST(DriveLinkReader, ToldFromAStickByNamesAndMedium) {
    EXPECT_TRUE(looksLikeCardReader("USB SD Reader   ", "", true));
    EXPECT_TRUE(looksLikeCardReader("Flash Disk", "USB3.0 CRW-SD", true));
    EXPECT_TRUE(looksLikeCardReader("SD/MMC", "", true));
    EXPECT_TRUE(looksLikeCardReader("STORAGE DEVICE", "USB3.0 Cardreader", true));
    EXPECT_TRUE(looksLikeCardReader("Multi-Card", "", true));
    EXPECT_TRUE(looksLikeCardReader("Flash Disk", "Mass Storage", false));
    EXPECT_FALSE(looksLikeCardReader("Flash Disk", "Mass Storage", true));
    EXPECT_FALSE(looksLikeCardReader("Extreme SSD", "SanDisk 3.2Gen1", true));
    EXPECT_FALSE(looksLikeCardReader("Ultra", "Cruzer Blade", true));
}

FakeSysfs& withCard(FakeSysfs& sys, const std::string& ssr) {
    sys.addDisk(FakeSysfs::mmcCard());
    for (const auto& [file, value] : {std::pair{"manfid", "0x000003"},
                                      {"oemid", "0x5344"},
                                      {"name", "SN64G"},
                                      {"date", "05/2023"},
                                      {"serial", "0x8f1c2a3b"},
                                      {"hwrev", "0x8"},
                                      {"preferred_erase_size", "4194304"}}) {
        sys.setAttribute(std::string("block/mmcblk0/device/") + file, std::string(value) + "\n");
    }
    if (!ssr.empty()) {
        sys.setAttribute("block/mmcblk0/device/ssr", ssr + "\n");
    }
    return sys;
}

TEST(DriveLinkCard, ReadsTheCidFieldsAndTheClaims) {
    FakeSysfs sys;
    withCard(sys, kSsrClass10U3V30A2);
    const std::optional<DriveLink> link = linkOf(sys, "mmcblk0");
    ASSERT_TRUE(link && link->card);
    const CardIdentity& card = *link->card;
    EXPECT_EQ(card.type, "SD");
    EXPECT_EQ(card.manfid, 0x03u);
    EXPECT_EQ(card.oemid, 0x5344u);
    EXPECT_EQ(card.name, "SN64G");
    EXPECT_EQ(card.date, "05/2023");
    EXPECT_EQ(card.serial, "0x8f1c2a3b");
    EXPECT_EQ(card.hwrev, "0x8");
    EXPECT_EQ(card.fwrev, "0x0");
    EXPECT_EQ(card.preferredEraseSize, 4194304u);
    ASSERT_TRUE(card.claims);
    EXPECT_EQ(*card.claims, (SdClaims{10, 3, 30, 2}));
    EXPECT_TRUE(card.busTiming.empty());
    EXPECT_FALSE(link->usb);
    EXPECT_FALSE(link->behindReader);
    EXPECT_EQ(driveLinkText(*link),
              "SD card SanDisk SN64G (manufactured 2023-05), allocation unit 4 MiB; claims: "
              "Class 10, U3, V30, A2");
}

TEST(DriveLinkCard, WithoutTheStatusOrAKnownMaker) {
    FakeSysfs sys;
    withCard(sys, "");
    sys.setAttribute("block/mmcblk0/device/manfid", "0x00009f\n");
    sys.setAttribute("block/mmcblk0/device/preferred_erase_size", "524288\n");
    const std::optional<DriveLink> link = linkOf(sys, "mmcblk0");
    ASSERT_TRUE(link && link->card);
    EXPECT_FALSE(link->card->claims);
    EXPECT_EQ(driveLinkText(*link),
              "SD card maker 0x9f SN64G (manufactured 2023-05), allocation unit 512 KiB");
}

TEST(DriveLinkCard, BusTimingOnlyWhereTheHostsDebugFilesRead) {
    FakeSysfs sys;
    withCard(sys, std::string(128, '0'));
    const std::string host = std::filesystem::canonical(sys.sysRoot() + "/block/mmcblk0/device")
                                 .parent_path()
                                 .filename()
                                 .string();
    sys.setAttribute("kernel/debug/" + host + "/ios",
                     "clock:\t\t208000000 Hz\ntiming spec:\t6 (sd uhs SDR104)\nsignal voltage:\t1 "
                     "(1.80 V)\n");
    const std::optional<DriveLink> link = linkOf(sys, "mmcblk0");
    ASSERT_TRUE(link && link->card);
    EXPECT_EQ(link->card->busTiming, "sd uhs SDR104");
    EXPECT_EQ(*link->card->claims, SdClaims{});
    EXPECT_EQ(driveLinkText(*link),
              "SD card SanDisk SN64G (manufactured 2023-05), allocation unit 4 MiB, bus timing sd "
              "uhs SDR104; claims: none");
}

TEST(DriveLinkNone, OtherBusesAndPathsOutsideSysfs) {
    FakeSysfs sys;
    sys.addDisk(FakeSysfs::sataDisk());
    sys.addDisk(FakeSysfs::nvmeDisk());
    EXPECT_FALSE(linkOf(sys, "sda"));
    EXPECT_FALSE(linkOf(sys, "nvme0n1"));
    EXPECT_FALSE(linkOf(sys, "sdz"));
    EXPECT_FALSE(readDriveLink(sys.sysRoot(), ""));
    EXPECT_EQ(driveLinkText(DriveLink{}), "");
}

TEST(SdStatus, DecodesEachClaimAndLeavesReservedCodesOut) {
    EXPECT_EQ(decodeSdStatus(kSsrClass10U3V30A2), (SdClaims{10, 3, 30, 2}));
    // SPEED_CLASS 1, UHS_SPEED_GRADE 1, VIDEO_SPEED_CLASS 6, APP_PERF_CLASS 1.
    std::string low = std::string(128, '0');
    low.replace(16, 2, "01");
    low.replace(28, 1, "1");
    low.replace(30, 2, "06");
    low.replace(43, 1, "1");
    EXPECT_EQ(decodeSdStatus(low), (SdClaims{2, 1, 6, 1}));
    // Codes no card may use: SPEED_CLASS 5, UHS grade 2, video class 7, app class 3.
    std::string reserved = std::string(128, 'f');
    reserved.replace(16, 2, "05");
    reserved.replace(28, 1, "2");
    reserved.replace(30, 2, "07");
    reserved.replace(43, 1, "3");
    EXPECT_EQ(decodeSdStatus(reserved), SdClaims{});
}

TEST(SdStatus, RefusesTextThatIsNotTheWholeRegister) {
    EXPECT_FALSE(decodeSdStatus(""));
    EXPECT_FALSE(decodeSdStatus(kSsrClass10U3V30A2.substr(0, 127)));
    EXPECT_FALSE(decodeSdStatus(kSsrClass10U3V30A2 + "0"));
    std::string bad = kSsrClass10U3V30A2;
    bad[100] = 'g';
    EXPECT_FALSE(decodeSdStatus(bad));
}

TEST(LinkSpeedText, MegabitsAndGigabits) {
    EXPECT_EQ(linkSpeedText(0), "");
    EXPECT_EQ(linkSpeedText(1500), "1.5 Mbit/s");
    EXPECT_EQ(linkSpeedText(12000), "12 Mbit/s");
    EXPECT_EQ(linkSpeedText(480000), "480 Mbit/s");
    EXPECT_EQ(linkSpeedText(5000000), "5 Gbit/s");
    EXPECT_EQ(linkSpeedText(20000000), "20 Gbit/s");
}

}  // namespace
}  // namespace vorn::test
