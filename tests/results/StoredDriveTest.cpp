#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "results/Collections.h"
#include "results/ResultBytes.h"
#include "storage/DeviceInfoData.h"
#include "storage/DeviceListText.h"
#include "storage/LinuxDrive.h"
#include "storage/StoredDrive.h"
#include "support/FakeSysfs.h"
#include "support/TempDir.h"

namespace vorn::test {
namespace {

// A device descriptor with its bus type at offset 28, then the strings.
std::string deviceDescriptor(uint32_t busType) {
    std::string bytes(40, '\0');
    bytes[10] = 1;  // RemovableMedia
    bytes.replace(28, 4, le32(busType));
    return bytes + "Vendor" + '\0';
}

// Distinct values, the sector count beyond 32 bits; the padding is not read.
const DeviceInfoData kInfo{1, 2, 3, 4, 5, 6, 512, 0xDEADBEEF, 0x100000001ull, 7, 8};

std::string bytesOf(const DeviceInfoData& info) {
    return std::string(reinterpret_cast<const char*>(&info), sizeof info);
}

// One entry of a result file: a text value (or none) and data.
struct Entry {
    std::optional<std::string> value;
    std::string data;
};

// The entries the test run writes, with the default prefix.
std::map<std::string, Entry> fullRecord() {
    return {
        {"2KDEVINFO-sdd", {std::nullopt, deviceDescriptor(9)}},
        {"2KDEVINFO-add", {std::nullopt, std::string(32, '\x01')}},
        {"2KDEVINFO-hid", {"PhysicalDevice 1", ""}},
        {"2KDEVINFO-dpath", {"/dev/sdb", ""}},
        {"2KDEVINFO-data", {std::nullopt, bytesOf(kInfo)}},
        {"DRIVEID", {"SanDisk Cruzer 1.0", ""}},
    };
}

std::map<std::string, Entry> raidRecord(uint32_t level, uint32_t bus) {
    std::map<std::string, Entry> entries = fullRecord();
    entries["RAIDLEVEL"] = {std::nullopt, le32(level)};
    entries["RAIDCOUNT"] = {std::nullopt, le32(2)};
    entries["RAIDDRBUS"] = {std::nullopt, le32(bus)};
    entries["RAIDDRIVES"] = {"drives", ""};
    entries["RAIDCONTROLLER"] = {"ctrl", ""};
    return entries;
}

class StoredDiskTest : public ::testing::Test {
protected:
    std::unique_ptr<I_VornCollection> resultWith(const std::map<std::string, Entry>& entries) {
        const std::string path = folder_.file("r" + std::to_string(files_++) + ".qkc");
        {
            auto writer = createCollection(path.c_str());
            EXPECT_NE(writer, nullptr);
            for (const auto& [name, entry] : entries) {
                EXPECT_TRUE(
                    writer->addEntry(name.c_str(), entry.value ? entry.value->c_str() : nullptr,
                                     static_cast<uint32_t>(entry.data.size()), entry.data.data()));
            }
        }
        return openCollection(path.c_str());
    }

    std::unique_ptr<StoredDrive> load(const std::map<std::string, Entry>& entries) {
        auto collection = resultWith(entries);
        return collection ? newStoredDisk(collection.get()) : nullptr;
    }

private:
    TempDir folder_;
    int files_ = 0;
};

std::string summaryOf(StoredDrive& d) {
    return "bus=" + std::to_string(d.deviceBusType()) +
           " sectors=" + std::to_string(d.mediaSectors()) +
           " bps=" + std::to_string(d.mediaBlockSize()) +
           " adapter=" + std::to_string(d.hasAdapterDescriptor()) +
           " hid=" + d.storedHardwareId().value_or("<none>");
}

TEST_F(StoredDiskTest, AnswersWhatTheRecordHolds) {
    auto d = load(fullRecord());
    ASSERT_NE(d, nullptr);
    const DeviceInfoData& stored = d->storedInfo();
    const std::vector<uint64_t> answers = {
        stored.deviceRemovable, stored.reservedFlagA, stored.mediaPresent,   stored.reservedFlagC,
        stored.mediaWritable,   stored.reservedFlagD, stored.reservedValue0, stored.reservedValue1};
    EXPECT_EQ(answers, (std::vector<uint64_t>{1, 2, 3, 4, 5, 6, 7, 8}));
    // Any non-zero flag counts as set.
    EXPECT_TRUE(d->deviceRemovable());
    EXPECT_TRUE(d->mediaPresent());
    EXPECT_TRUE(d->mediaWritable());
    EXPECT_STREQ(d->deviceId(), "SanDisk Cruzer 1.0");
    EXPECT_EQ(summaryOf(*d), "bus=9 sectors=4294967297 bps=512 adapter=1 hid=PhysicalDevice 1");
    EXPECT_EQ(d->storedDevicePath(), "/dev/sdb");
    EXPECT_FALSE(d->raidPresent());
    EXPECT_EQ(deviceListText(*d), "() SanDisk Cruzer 1.0 (2199.0GB)");
    EXPECT_EQ(newStoredDisk(nullptr), nullptr);
}

// Short entries give neutral answers; a missing entry of the record or DRIVEID
// refuses the result.
TEST_F(StoredDiskTest, LoadsOnlyWithEveryRecordEntryAndTheDriveId) {
    const struct {
        const char* entry;
        int size;  // -1: removed; -2: text value removed
        std::string summary;
    } cases[] = {
        {"2KDEVINFO-add", 28, "bus=9 sectors=4294967297 bps=512 adapter=0 hid=PhysicalDevice 1"},
        {"2KDEVINFO-sdd", 31, "bus=0 sectors=4294967297 bps=512 adapter=1 hid=PhysicalDevice 1"},
        {"2KDEVINFO-sdd", 0, "bus=0 sectors=4294967297 bps=512 adapter=1 hid=PhysicalDevice 1"},
        {"2KDEVINFO-data", 55, "bus=9 sectors=0 bps=0 adapter=1 hid=PhysicalDevice 1"},
        {"2KDEVINFO-hid", -2, "bus=9 sectors=4294967297 bps=512 adapter=1 hid="},
        {"DRIVEID", -1, ""},
        {"2KDEVINFO-sdd", -1, ""},
        {"2KDEVINFO-add", -1, ""},
        {"2KDEVINFO-hid", -1, ""},
        {"2KDEVINFO-dpath", -1, ""},
        {"2KDEVINFO-data", -1, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.entry) + " " + std::to_string(c.size));
        std::map<std::string, Entry> entries = fullRecord();
        if (c.size == -1) {
            entries.erase(c.entry);
        } else if (c.size == -2) {
            entries[c.entry].value.reset();
        } else {
            entries[c.entry].data.resize(static_cast<size_t>(c.size));
        }
        auto disk = load(entries);
        ASSERT_EQ(disk != nullptr, !c.summary.empty());
        if (disk) {
            EXPECT_EQ(summaryOf(*disk), c.summary);
        }
    }
}

TEST_F(StoredDiskTest, RaidEntriesDescribeTheSet) {
    const struct {
        uint32_t level;
        uint32_t bus;
        const char* id;
    } cases[] = {
        {11, 3, "RAID(0+1): ATA, ctrl, 2x drives"},    {12, 3, "ATA, ctrl, 2x drives"},
        {0, 9, "RAID(0): USB 2.0, ctrl, 2x drives"},   {10, 11, "RAID(10): , ctrl, 2x drives"},
        {0xFFFFFFFF, 0xFFFFFFFF, ", ctrl, 2x drives"},
    };
    for (const auto& c : cases) {
        auto disk = load(raidRecord(c.level, c.bus));
        ASSERT_NE(disk, nullptr);
        EXPECT_TRUE(disk->raidPresent());
        EXPECT_STREQ(disk->deviceId(), c.id);
        EXPECT_STREQ(disk->deviceId(), c.id) << "rebuilt, not appended";
    }
}

TEST_F(StoredDiskTest, OverlongTextsAreCutAt1023Characters) {
    std::map<std::string, Entry> entries = fullRecord();
    entries["DRIVEID"].value = std::string(1500, 'd');
    auto disk = load(entries);
    ASSERT_NE(disk, nullptr);
    EXPECT_EQ(std::string(disk->deviceId()), std::string(1023, 'd'));

    entries = raidRecord(12, 3);
    entries["RAIDCONTROLLER"].value = std::string(1500, 'c');
    entries["RAIDDRIVES"].value = std::string(1500, 'r');
    disk = load(entries);
    ASSERT_NE(disk, nullptr);
    EXPECT_EQ(std::string(disk->deviceId()), "ATA, " + std::string(1018, 'c'));
}

// A live drive's device-information record, stored in a result file, rebuilds a
// stored drive with the same facts.
TEST(LinuxDriveTest, DeviceInformationRecordRebuildsAStoredDisk) {
    FakeSysfs tree;
    TempDir dir;
    tree.addDisk(FakeSysfs::usbKey480());
    auto disk = newLinuxDrive(0, nullptr, 65536, tree.catalog());
    ASSERT_NE(disk, nullptr);
    const std::string path = dir.file("temp.qkt");
    {
        auto file = createCollection(path.c_str());
        ASSERT_NE(file, nullptr);
        ASSERT_TRUE(file->addEntry("DRIVEID", disk->deviceId(), 0, nullptr));
        ASSERT_TRUE(disk->saveDeviceInfo(file.get(), nullptr));
    }
    auto file = openCollection(path.c_str());
    ASSERT_NE(file, nullptr);
    for (const auto& [name, length] : {std::pair{"2KDEVINFO-add", 32u}, {"2KDEVINFO-data", 56u}}) {
        uint32_t valueLength = 0, dataLength = 0;
        ASSERT_TRUE(file->findEntry(name, &valueLength, nullptr, &dataLength, nullptr));
        EXPECT_EQ(dataLength, length) << name;
    }
    auto stored = newStoredDisk(file.get(), nullptr);
    ASSERT_NE(stored, nullptr);
    EXPECT_STREQ(stored->deviceId(), "Generic Flash Disk 8.07");
    EXPECT_EQ(stored->deviceBusType(), static_cast<uint32_t>(kBusUsb20));
    EXPECT_EQ(stored->deviceRemovable(), true);
    EXPECT_EQ(stored->mediaSectors(), disk->mediaSectors());
    EXPECT_EQ(stored->mediaBlockSize(), 512u);
    EXPECT_EQ(stored->mediaWritable(), true);
}

}  // namespace
}  // namespace vorn::test
