#include "storage/MountTable.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/TempDir.h"

namespace vorn::test {
namespace {

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

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
    writeFile(dir.file("mountinfo"),
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

TEST(MountTableTest, MissingFilesGiveAnEmptyTable) {
    TempDir dir;
    MountTable table = MountTable::load(dir.file("no-mountinfo"), dir.file("no-swaps"));
    EXPECT_TRUE(table.mounts().empty());
    EXPECT_FALSE(table.isSwap("/dev/sda2"));
}

TEST(MountTableTest, SwapsListsFirstColumnAfterTheHeader) {
    TempDir dir;
    writeFile(dir.file("swapfile"), "");
    std::filesystem::create_symlink(dir.file("swapfile"), dir.file("swaplink"));
    writeFile(dir.file("swaps"),
              "Filename\t\t\t\tType\t\tSize\t\tUsed\t\tPriority\n"
              "/dev/sdc2                               partition\t8388604\t\t0\t\t-2\n"
              "/var/my\\040swap file\t1024\t0\t-3\n"
              "/var/gone (deleted) file\t1024\t0\t-4\n" +
                  dir.file("swapfile") + " file\t1024\t0\t-5\n");
    MountTable table = MountTable::load(dir.file("none"), dir.file("swaps"));

    struct Case {
        std::string node;
        bool swap;
    } cases[] = {
        {"/dev/sdc2", true},         {"/var/my swap", true},
        {"/var/gone", true},         {dir.file("swaplink"), true},  // the same file by another name
        {"Filename", false},                                        // the header is no swap
        {"/dev/sdc", false},         {"/dev/sdc22", false},
        {"/var/my\\040swap", false}, {"", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(table.isSwap(c.node), c.swap) << c.node;
    }
}

}  // namespace
}  // namespace vorn::test
