#include "storage/MountTable.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "storage/DriveCatalog.h"
#include "support/FakeSysfs.h"
#include "support/TempDir.h"

namespace vorn::test {
namespace {

std::vector<std::pair<std::string, std::string>> pairsOf(const MountTable& table) {
    std::vector<std::pair<std::string, std::string>> pairs;
    for (const MountTable::Mount& mount : table.mounts()) {
        pairs.emplace_back(mount.devNumber, mount.mountPoint);
    }
    return pairs;
}

TEST(MountTableTest, ParsesMountinfoDecodingEscapesAndSkippingMalformedLines) {
    TempDir dir;
    const std::string longLine = "50 1 8:99 / /" + std::string(70000, 'x') + " rw - ext4 x rw";
    dir.write("mountinfo",
              "22 1 0:21 / /proc rw,nosuid shared:12 - proc proc rw\n"
              "36 25 8:17 / /media/key rw,relatime shared:1 - vfat /dev/sdb1 rw\n"
              "garbage\n"
              "\n"
              "37 25 8-18 / /bad/number rw - vfat /dev/sdb2 rw\n"
              "38 25 :18 / /bad/major rw - vfat /dev/sdb2 rw\n"
              "39 25 8: / /bad/minor rw - vfat /dev/sdb2 rw\n"
              "40 25 8:18 /\n" +
                  longLine +
                  "\n"
                  "41 25 8:18 / /media/my\\040key\\011tab\\134back\\012nl rw - vfat x rw\n"
                  "42 25 8:17 /sub /srv/a\\b\\000\\04 rw - vfat /dev/sdb1 rw\n"
                  "43 25 259:1 / /last/without/newline rw - ext4 /dev/nvme0n1p1 rw");
    MountTable table = MountTable::load(dir.file("mountinfo"), dir.file("none"));

    std::vector<std::pair<std::string, std::string>> expected = {
        {"0:21", "/proc"},
        {"8:17", "/media/key"},
        {"8:18", "/media/my key\ttab\\back\nnl"},
        {"8:17", "/srv/a\\b\\000\\04"},
        {"259:1", "/last/without/newline"},
    };
    EXPECT_EQ(pairsOf(table), expected);

    // Several mounts of one device, in mountinfo order; unknown and empty numbers match none.
    EXPECT_EQ(table.mountPointsOf("8:17"),
              (std::vector<std::string>{"/media/key", "/srv/a\\b\\000\\04"}));
    EXPECT_TRUE(table.mountPointsOf("8:1").empty());
    EXPECT_TRUE(table.mountPointsOf("").empty());
    EXPECT_TRUE(table.mountPointsOf("8:99").empty());  // its line was too long to trust
}

TEST(MountTableTest, SwapsListsFirstColumnAfterTheHeader) {
    TempDir dir;
    dir.write("swapfile", "");
    std::filesystem::create_symlink(dir.file("swapfile"), dir.file("swaplink"));
    dir.write("swaps",
              "Filename\t\t\t\tType\t\tSize\t\tUsed\t\tPriority\n"
              "/dev/sdc2                               partition\t8388604\t\t0\t\t-2\n"
              "/var/my\\040swap file\t1024\t0\t-3\n"
              "/var/gone (deleted) file\t1024\t0\t-4\n" +
                  dir.file("swapfile") + " file\t1024\t0\t-5\n");
    MountTable table = MountTable::load(dir.file("none"), dir.file("swaps"));

    const struct {
        std::string node;
        bool swap;
    } cases[] = {
        {"/dev/sdc2", true},         {"/var/my swap", true},
        {"/var/gone", true},         {dir.file("swaplink"), true},  // the same file by another name
        {"Filename", false},                                        // the header is no swap
        {"/dev/sdc", false},         {"/dev/sdc22", false},
        {"/var/my\\040swap", false}, {"", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(table.isSwap(c.node), c.swap) << c.node;
    }

    MountTable missing = MountTable::load(dir.file("no-mountinfo"), dir.file("no-swaps"));
    EXPECT_TRUE(missing.mounts().empty());
    EXPECT_FALSE(missing.isSwap("/dev/sdc2"));
}

MountTable mountsOf(const FakeSysfs& tree) {
    return MountTable::load(tree.mountinfoPath(), tree.swapsPath());
}

std::string joined(const std::vector<std::string>& parts, size_t count) {
    std::string text;
    for (size_t i = 0; i < count; ++i) {
        text += (i == 0 ? "" : ",") + parts[i];
    }
    return text;
}

// sdb with eleven partitions (sdb1 8:17 ... sdb11 8:27) and no table in its image.
FakeSysfs& withElevenPartitions(FakeSysfs& tree) {
    FakeDisk disk = FakeSysfs::usbKey480();
    disk.imageBytes = 16u << 20;
    disk.partitionBytes.assign(11, 1u << 20);
    disk.writePartitionTable = false;
    tree.addDisk(disk);
    return tree;
}

TEST(DriveMountPointsTextTest, WholeDiskFirstThenPartitionsInNumberOrder) {
    FakeSysfs tree;
    withElevenPartitions(tree);
    tree.addMount("8:33", "/other/disk");
    tree.addSwap(tree.nodePath("sdb1"));
    EXPECT_EQ(driveMountPointsText(tree.catalog(), "sdb", mountsOf(tree)), "");

    tree.addMount("8:27", "/p11");
    tree.addMount("8:18", "/p2 two");
    tree.addMount("8:16", "/whole");
    tree.addMount("8:17", "/p1a");
    tree.addMount("8:26", "/p10");
    tree.addMount("8:17", "/p1b");
    EXPECT_EQ(driveMountPointsText(tree.catalog(), "sdb", mountsOf(tree)),
              "/whole,/p1a,/p1b,/p2 two,/p10,/p11");
    EXPECT_EQ(driveMountPointsText(tree.catalog(), "sdc", mountsOf(tree)), "");  // no such drive
}

// An entry is appended while the text holds fewer than 1016 characters; long mount
// points could carry it far beyond, so it is cut to fit the 1024-character mount-points text.
TEST(DriveMountPointsTextTest, StopsGrowingAt1016AndNeverExceeds1023) {
    const struct {
        size_t entryLength;
        size_t mounts;
        size_t expectedEntries;
        size_t expectedLength;
    } cases[] = {
        {50, 30, 20, 1019},  // 19 entries hold 968 characters, the 20th goes beyond 1016
        {100, 15, 11, 1023},
        {4000, 3, 1, 1023},
        {10, 5, 5, 54},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.entryLength);
        FakeSysfs tree;
        withElevenPartitions(tree);
        // Alternately on the whole disk and on sdb1: the whole disk's come first.
        std::vector<std::string> whole, partition;
        for (size_t i = 0; i < c.mounts; ++i) {
            std::string point = "/" + std::to_string(100 + i);
            point.resize(c.entryLength, 'm');
            tree.addMount(i % 2 == 0 ? "8:16" : "8:17", point);
            (i % 2 == 0 ? whole : partition).push_back(point);
        }
        std::vector<std::string> points = whole;
        points.insert(points.end(), partition.begin(), partition.end());
        const std::string text = driveMountPointsText(tree.catalog(), "sdb", mountsOf(tree));
        EXPECT_EQ(text.size(), c.expectedLength);
        EXPECT_EQ(text, joined(points, c.expectedEntries).substr(0, c.expectedLength));
    }
}

// Drives in the catalog's order, each followed by its partitions, then every mount.
TEST(NamespaceDumpTest, OneLinePerDevicePartitionAndMount) {
    FakeSysfs tree;
    FakeDisk key = FakeSysfs::usbKey480();
    key.imageBytes = 8u << 20;
    key.partitionBytes = {1u << 20, 2u << 20};
    tree.addDisk(key);
    FakeDisk card = FakeSysfs::mmcCard();
    card.imageBytes = 4u << 20;
    card.partitionBytes = {1u << 20};
    tree.addDisk(card);
    tree.addMount("8:17", "/media/key");
    tree.addMount("179:1", "/media/my card");
    const std::string dev = tree.devRoot();
    const std::vector<std::string> expected = {
        dev + "/sdb: 8:16",      dev + "/sdb1: 8:17",       dev + "/sdb2: 8:18",
        dev + "/mmcblk0: 179:0", dev + "/mmcblk0p1: 179:1", "8:17: /media/key",
        "179:1: /media/my card",
    };
    EXPECT_EQ(namespaceDumpLines(tree.catalog(), mountsOf(tree)), expected);
}

}  // namespace
}  // namespace vorn::test
