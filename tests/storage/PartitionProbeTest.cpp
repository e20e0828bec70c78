#include "storage/PartitionProbe.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "results/VornFileCRC.h"
#include "storage/DriveCatalog.h"
#include "storage/MountTable.h"
#include "support/FakeSysfs.h"
#include "support/TempDir.h"

namespace vorn::test {
namespace {

constexpr uint64_t kSector = 512;
constexpr uint64_t kImageSectors = 16384;  // 8 MiB
constexpr uint64_t kMiB = 1u << 20;

using Image = std::vector<uint8_t>;

void put32(Image& image, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        image[at + i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

void put64(Image& image, size_t at, uint64_t value) {
    put32(image, at, static_cast<uint32_t>(value));
    put32(image, at + 4, static_cast<uint32_t>(value >> 32));
}

struct MbrSlot {
    uint8_t boot;
    uint8_t type;
    uint32_t start;
    uint32_t sectors;
};

void writeMbr(Image& image, const std::vector<MbrSlot>& slots) {
    for (size_t i = 0; i < slots.size(); ++i) {
        const size_t at = 446 + 16 * i;
        image[at] = slots[i].boot;
        image[at + 4] = slots[i].type;
        put32(image, at + 8, slots[i].start);
        put32(image, at + 12, slots[i].sectors);
    }
    image[510] = 0x55;
    image[511] = 0xAA;
}

// A GUID partition table with a protective MBR, written field by field.
void writeGpt(Image& image, const std::vector<std::pair<uint64_t, uint64_t>>& firstLast) {
    const uint64_t last = image.size() / kSector - 1;
    writeMbr(image, {{0, 0xEE, 1, static_cast<uint32_t>(last)}});
    const size_t entries = 2 * kSector;
    for (size_t i = 0; i < firstLast.size(); ++i) {
        const size_t at = entries + 128 * i;
        for (int b = 0; b < 16; ++b) {
            image[at + b] = static_cast<uint8_t>(0xA0 + b);               // type
            image[at + 16 + b] = static_cast<uint8_t>(0x10 * i + b + 1);  // unique id
        }
        put64(image, at + 32, firstLast[i].first);
        put64(image, at + 40, firstLast[i].second);
    }
    VornFileCRC crc;
    const size_t header = kSector;
    std::memcpy(&image[header], "EFI PART", 8);
    put32(image, header + 8, 0x00010000);
    put32(image, header + 12, 92);
    put64(image, header + 24, 1);
    put64(image, header + 32, last);
    put64(image, header + 40, 34);
    put64(image, header + 48, last - 33);
    for (int b = 0; b < 16; ++b) {
        image[header + 56 + b] = static_cast<uint8_t>(0x51 + b);
    }
    put64(image, header + 72, 2);
    put32(image, header + 80, 128);
    put32(image, header + 84, 128);
    put32(image, header + 88, crc.crcOfBuffer(&image[entries], 128 * 128));
    put32(image, header + 16, crc.crcOfBuffer(&image[header], 92));
}

void saveImage(const std::string& path, const Image& image) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()),
               static_cast<std::streamsize>(image.size()));
}

std::string findTool(const char* name) {
    for (const char* folder : {"/usr/sbin/", "/sbin/", "/usr/bin/", "/bin/"}) {
        const std::string path = std::string(folder) + name;
        if (::access(path.c_str(), X_OK) == 0) {
            return path;
        }
    }
    return {};
}

// What the write rule and the log read of an entry: number, type, start, length, boot.
using Summary = std::tuple<uint32_t, uint8_t, uint64_t, uint64_t, uint8_t>;

std::vector<Summary> summarize(const std::vector<PartitionEntry>& entries) {
    std::vector<Summary> out;
    for (const PartitionEntry& e : entries) {
        out.emplace_back(e.partitionNumber, e.partitionType, e.startingOffset, e.partitionLength,
                         e.bootIndicator);
    }
    return out;
}

TEST(PartitionProbeTest, ImageFilesGiveTheirTables) {
    struct Case {
        const char* name;
        std::function<void(Image&)> write;
        std::vector<Summary> expected;
    };
    const Case cases[] = {
        {"mbr",
         [](Image& image) {
             writeMbr(image, {{0x80, 0x0C, 2048, 2048}, {0x00, 0x83, 4096, 8192}});
         },
         {{1, 0x0C, 2048 * kSector, 2048 * kSector, 1},
          {2, 0x83, 4096 * kSector, 8192 * kSector, 0}}},
        {"empty", [](Image&) {}, {}},
        {"gpt",
         [](Image& image) {
             writeGpt(image, {{2048, 4095}, {4096, kImageSectors - 34}});
         },
         {{1, kPartitionTypeGpt, 2048 * kSector, 2048 * kSector, 0},
          {2, kPartitionTypeGpt, 4096 * kSector, (kImageSectors - 34 - 4096 + 1) * kSector, 0}}},
    };
    TempDir dir;
    const DriveCatalog catalog(dir.file("sys"), dir.file("dev"), dir.file("proc"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Image image(kImageSectors * kSector);
        c.write(image);
        saveImage(dir.file("disk.img"), image);
        std::vector<PartitionEntry> entries(3);  // stale content must go
        ASSERT_TRUE(
            probeDriveLayout(catalog, "disk.img", dir.file("disk.img"), MountTable(), entries));
        EXPECT_EQ(summarize(entries), c.expected);
        for (const PartitionEntry& e : entries) {
            EXPECT_EQ(e.recognizedPartition, 1);
            EXPECT_EQ(e.hiddenSectors, e.startingOffset / kSector);
        }
    }
}

TEST(PartitionProbeTest, FileSystemOnTheWholeDiskIsOneUsedEntry) {
    const std::string mkfs = findTool("mkfs.ext4");
    if (mkfs.empty()) {
        GTEST_SKIP() << "mkfs.ext4 (e2fsprogs) is not installed";
    }
    TempDir dir;
    const std::string path = dir.file("disk.img");
    saveImage(path, Image(kImageSectors * kSector));
    ASSERT_EQ(std::system((mkfs + " -q -F " + path + " >/dev/null 2>&1").c_str()), 0);
    const DriveCatalog catalog(dir.file("sys"), dir.file("dev"), dir.file("proc"));
    std::vector<PartitionEntry> entries;
    ASSERT_TRUE(probeDriveLayout(catalog, "disk.img", path, MountTable(), entries));
    const std::vector<Summary> expected = {{0, kPartitionTypeInUse, 0, kImageSectors * kSector, 0}};
    EXPECT_EQ(summarize(entries), expected);
    EXPECT_EQ(entries[0].recognizedPartition, 0);
}

TEST(PartitionProbeTest, NodesThatCannotBeProbedAnswerFalse) {
    TempDir dir;
    const DriveCatalog catalog(dir.file("sys"), dir.file("dev"), dir.file("proc"));
    saveImage(dir.file("empty.img"), Image());
    for (const std::string& node :
         {dir.file("missing.img"), dir.file("empty.img"), dir.path().string()}) {
        std::vector<PartitionEntry> entries(2);
        EXPECT_FALSE(probeDriveLayout(catalog, "x", node, MountTable(), entries)) << node;
        EXPECT_TRUE(entries.empty()) << node;
    }
}

// A disk whose partitions the kernel knows, mostly without a table in its image: what
// makes the system use it becomes a used entry, whole disk first, then partitions in
// order, after the table's own entries.
TEST(PartitionProbeTest, MountsSwapsAndHoldersGiveUsedEntries) {
    struct Case {
        const char* name;
        std::function<void(FakeSysfs&)> use;
        std::vector<uint32_t> usedNumbers;
        bool table = false;
    };
    const Case cases[] = {
        {"nothing", [](FakeSysfs&) {}, {}},
        {"whole disk mounted", [](FakeSysfs& t) { t.addMount("8:16", "/media/whole"); }, {0}},
        {"partition mounted twice",
         [](FakeSysfs& t) {
             t.addMount("8:18", "/media/a key");
             t.addMount("8:18", "/srv/again");
         },
         {2}},
        {"other disk mounted", [](FakeSysfs& t) { t.addMount("8:33", "/media/other"); }, {}},
        {"partition swap", [](FakeSysfs& t) { t.addSwap(t.nodePath("sdb1")); }, {1}},
        {"whole disk swap", [](FakeSysfs& t) { t.addSwap(t.nodePath("sdb")); }, {0}},
        {"disk held", [](FakeSysfs& t) { t.addHolder("sdb", "dm-0"); }, {0}},
        {"partition held", [](FakeSysfs& t) { t.addHolder("sdb2", "md0"); }, {2}},
        {"table and a mount: table entries first",
         [](FakeSysfs& t) { t.addMount("8:17", "/media/key"); },
         {1},
         true},
        {"all at once",
         [](FakeSysfs& t) {
             t.addHolder("sdb2", "md0");
             t.addSwap(t.nodePath("sdb1"));
             t.addMount("8:16", "/media/whole");
         },
         {0, 1, 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeSysfs tree;
        FakeDisk disk = FakeSysfs::usbKey480();
        disk.imageBytes = 8 * kMiB;
        disk.partitionBytes = {1 * kMiB, 2 * kMiB};
        disk.partitionType = 0x83;
        disk.writePartitionTable = c.table;
        const std::string node = tree.addDisk(disk);
        c.use(tree);
        const MountTable mounts = MountTable::load(tree.mountinfoPath(), tree.swapsPath());
        std::vector<PartitionEntry> entries;
        ASSERT_TRUE(probeDriveLayout(tree.catalog(), "sdb", node, mounts, entries));

        // Whole disk, sdb1 and sdb2 as the kernel places them.
        const Summary used[] = {{0, kPartitionTypeInUse, 0, 8 * kMiB, 0},
                                {1, kPartitionTypeInUse, 1 * kMiB, 1 * kMiB, 0},
                                {2, kPartitionTypeInUse, 2 * kMiB, 2 * kMiB, 0}};
        std::vector<Summary> expected;
        if (c.table) {
            expected = {{1, 0x83, 1 * kMiB, 1 * kMiB, 0}, {2, 0x83, 2 * kMiB, 2 * kMiB, 0}};
        }
        for (uint32_t number : c.usedNumbers) {
            expected.push_back(used[number]);
        }
        EXPECT_EQ(summarize(entries), expected);
    }
}

}  // namespace
}  // namespace vorn::test
