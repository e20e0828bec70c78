#include "storage/PartitionProbe.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "storage/DriveCatalog.h"
#include "storage/MountTable.h"
#include "support/FakeSysfs.h"
#include "support/LittleEndianBytes.h"
#include "support/TempDir.h"

namespace vorn::test {
namespace {

constexpr uint64_t kSector = 512;
constexpr uint64_t kImageSectors = 16384;  // 8 MiB
constexpr uint64_t kMiB = 1u << 20;

std::string le64(uint64_t value) {
    return le32(static_cast<uint32_t>(value)) + le32(static_cast<uint32_t>(value >> 32));
}

// An MBR of (boot, type, first sector, sectors) slots.
void writeMbr(std::string& image,
              const std::vector<std::tuple<char, char, uint32_t, uint32_t>>& slots) {
    for (size_t i = 0; i < slots.size(); ++i) {
        const auto& [boot, type, start, sectors] = slots[i];
        image.replace(446 + 16 * i, 16,
                      std::string{boot, 0, 0, 0, type, 0, 0, 0} + le32(start) + le32(sectors));
    }
    image.replace(510, 2, "\x55\xAA");
}

// The CRC-32 a GUID partition table carries (reflected, polynomial 0xEDB88320),
// computed here so the storage tests need nothing of the result files.
uint32_t gptCrc(const std::string& bytes) {
    uint32_t crc = 0xFFFFFFFFu;
    for (const char byte : bytes) {
        crc ^= static_cast<uint8_t>(byte);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
    }
    return ~crc;
}

// A GUID partition table with a protective MBR, one entry per (first, last) sector.
void writeGpt(std::string& image, const std::vector<std::pair<uint64_t, uint64_t>>& firstLast) {
    const uint64_t last = image.size() / kSector - 1;
    writeMbr(image, {{0, '\xEE', 1, static_cast<uint32_t>(last)}});
    std::string entries(128 * 128, '\0');
    for (size_t i = 0; i < firstLast.size(); ++i) {
        std::string ids(32, '\0');
        for (int b = 0; b < 16; ++b) {
            ids[b] = static_cast<char>(0xA0 + b);               // type
            ids[16 + b] = static_cast<char>(0x10 * i + b + 1);  // unique id
        }
        entries.replace(128 * i, 48, ids + le64(firstLast[i].first) + le64(firstLast[i].second));
    }
    std::string header = "EFI PART" + le32(0x00010000) + le32(92) + le32(0) + le32(0) + le64(1) +
                         le64(last) + le64(34) + le64(last - 33) + std::string(16, '\x51') +
                         le64(2) + le32(128) + le32(128) + le32(gptCrc(entries));
    header.replace(16, 4, le32(gptCrc(header)));
    image.replace(kSector, header.size(), header);
    image.replace(2 * kSector, entries.size(), entries);
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

// Image files: an MBR, nothing, a GPT, and a file system on the whole disk (one used
// entry, not a recognized partition). Stale entries of the caller go.
TEST(PartitionProbeTest, ImageFilesGiveTheirTables) {
    const struct {
        const char* name;
        std::function<void(std::string&)> write;
        bool ext4;
        std::vector<Summary> expected;
    } cases[] = {
        {"mbr",
         [](std::string& image) {
             writeMbr(image, {{'\x80', 0x0C, 2048, 2048}, {0, '\x83', 4096, 8192}});
         },
         false,
         {{1, 0x0C, 2048 * kSector, 2048 * kSector, 1},
          {2, 0x83, 4096 * kSector, 8192 * kSector, 0}}},
        {"empty", [](std::string&) {}, false, {}},
        {"gpt",
         [](std::string& image) {
             writeGpt(image, {{2048, 4095}, {4096, kImageSectors - 34}});
         },
         false,
         {{1, kPartitionTypeGpt, 2048 * kSector, 2048 * kSector, 0},
          {2, kPartitionTypeGpt, 4096 * kSector, (kImageSectors - 34 - 4096 + 1) * kSector, 0}}},
        {"ext4",
         [](std::string&) {},
         true,
         {{0, kPartitionTypeInUse, 0, kImageSectors * kSector, 0}}},
    };
    TempDir dir;
    const DriveCatalog catalog(dir.file("sys"), dir.file("dev"), dir.file("proc"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string image(kImageSectors * kSector, '\0');
        c.write(image);
        const std::string path = dir.write("disk.img", image);
        if (c.ext4 && std::system(("mkfs.ext4 -q -F " + path + " >/dev/null 2>&1").c_str()) != 0) {
            GTEST_SKIP() << "mkfs.ext4 (e2fsprogs) is not installed";
        }
        std::vector<PartitionEntry> entries(3);
        ASSERT_TRUE(probeDriveLayout(catalog, "disk.img", path, MountTable(), entries));
        EXPECT_EQ(summarize(entries), c.expected);
        for (const PartitionEntry& e : entries) {
            EXPECT_EQ(e.recognizedPartition, c.ext4 ? 0 : 1);
            EXPECT_EQ(e.hiddenSectors, e.startingOffset / kSector);
        }
        // The same through a direct-I/O descriptor, as udisks2 hands one to a user:
        // the same answer, and the descriptor keeps O_DIRECT.
        const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECT | O_CLOEXEC);
        if (fd < 0) {
            continue;  // a temporary folder without direct I/O (tmpfs)
        }
        entries.assign(2, PartitionEntry{});
        EXPECT_TRUE(probeDriveLayout(catalog, "disk.img", dir.file("not-this-one"), MountTable(),
                                     entries, fd));
        EXPECT_EQ(summarize(entries), c.expected);
        EXPECT_NE(fcntl(fd, F_GETFL) & O_DIRECT, 0);
        ::close(fd);
    }
}

TEST(PartitionProbeTest, NodesThatCannotBeProbedAnswerFalse) {
    TempDir dir;
    const DriveCatalog catalog(dir.file("sys"), dir.file("dev"), dir.file("proc"));
    for (const std::string& node :
         {dir.file("missing.img"), dir.write("empty.img", ""), dir.path().string()}) {
        std::vector<PartitionEntry> entries(2);
        EXPECT_FALSE(probeDriveLayout(catalog, "x", node, MountTable(), entries)) << node;
        EXPECT_TRUE(entries.empty()) << node;
    }
}

// A disk whose partitions the kernel knows, mostly without a table in its image: what
// makes the system use it becomes a used entry, whole disk first, then partitions in
// order, after the table's own entries.
TEST(PartitionProbeTest, MountsSwapsAndHoldersGiveUsedEntries) {
    const struct {
        const char* name;
        std::function<void(FakeSysfs&)> use;
        std::vector<uint32_t> usedNumbers;
        bool table = false;
    } cases[] = {
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
    // Whole disk, sdb1 and sdb2 as the kernel places them.
    const Summary used[] = {{0, kPartitionTypeInUse, 0, 8 * kMiB, 0},
                            {1, kPartitionTypeInUse, 1 * kMiB, 1 * kMiB, 0},
                            {2, kPartitionTypeInUse, 2 * kMiB, 2 * kMiB, 0}};
    for (const auto& c : cases) {
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
