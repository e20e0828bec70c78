#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "results/VornCollection.h"
#include "storage/DeviceInfoData.h"
#include "storage/DeviceListText.h"
#include "storage/Win2kStoredDisk.h"
#include "support/TempDir.h"

namespace vorn::test {
namespace {

std::string le32(uint32_t value) {
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i) {
        bytes[i] = static_cast<char>(value >> (8 * i));
    }
    return bytes;
}

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

    std::unique_ptr<Win2kStoredDisk> load(const std::map<std::string, Entry>& entries) {
        auto collection = resultWith(entries);
        return collection ? newStoredDisk(collection.get()) : nullptr;
    }

private:
    TempDir folder_;
    int files_ = 0;
};

TEST_F(StoredDiskTest, AnswersWhatTheRecordHolds) {
    auto disk = load(fullRecord());
    ASSERT_NE(disk, nullptr);
    EXPECT_EQ(disk->deviceRemovable(), 1u);
    EXPECT_EQ(disk->auxFlagA(), 2u);
    EXPECT_STREQ(disk->deviceId(), "SanDisk Cruzer 1.0");
    EXPECT_STREQ(disk->deviceLetters(), "");
    EXPECT_EQ(disk->deviceBusType(), 9u);
    EXPECT_EQ(disk->mediaPresent(), 3u);
    EXPECT_EQ(disk->auxFlagC(), 4u);
    EXPECT_EQ(disk->mediaWritable(), 5u);
    EXPECT_EQ(disk->auxFlagD(), 6u);
    EXPECT_EQ(disk->mediaBlockSize(), 512u);
    EXPECT_EQ(disk->mediaSectors(), 0x100000001ull);
    EXPECT_EQ(disk->auxValue(0), 7u);
    EXPECT_EQ(disk->auxValue(1), 8u);
    EXPECT_EQ(disk->auxValue(5), 8u);
    EXPECT_EQ(disk->auxFlagB() + disk->auxFlagE() + disk->auxFlagF() + disk->auxFlagG() +
                  disk->auxFlagH(),
              0u);
    EXPECT_EQ(disk->auxFlagI(), 1u);
    char buffer[512] = {};
    EXPECT_FALSE(disk->read(0, 1, buffer) || disk->write(0, 1, buffer) ||
                 disk->enableWrite(1, 512, 0) || disk->disableWrite() || disk->flush() ||
                 disk->saveDeviceInfo(nullptr, nullptr));
    EXPECT_EQ(disk->storedHardwareId(), "PhysicalDevice 1");
    EXPECT_EQ(disk->storedDevicePath(), "/dev/sdb");
    EXPECT_TRUE(disk->hasAdapterDescriptor());
    EXPECT_FALSE(disk->raidPresent());
    EXPECT_EQ(deviceListText(*disk), "() SanDisk Cruzer 1.0 (2199.0GB)");
    EXPECT_EQ(newStoredDisk(nullptr), nullptr);
}

struct RecordCase {
    const char* what;
    std::function<void(std::map<std::string, Entry>&)> change;
    bool loads;
    std::function<void(Win2kStoredDisk&)> check;
};

TEST_F(StoredDiskTest, LoadsOnlyWithEveryRecordEntryAndTheDriveId) {
    const RecordCase cases[] = {
        {"complete", [](auto&) {}, true, nullptr},
        {"28-byte adapter descriptor", [](auto& e) { e["2KDEVINFO-add"].data.resize(28); }, true,
         [](Win2kStoredDisk& d) { EXPECT_FALSE(d.hasAdapterDescriptor()); }},
        {"short device descriptor", [](auto& e) { e["2KDEVINFO-sdd"].data.resize(31); }, true,
         [](Win2kStoredDisk& d) { EXPECT_EQ(d.deviceBusType(), 0u); }},
        {"empty device descriptor", [](auto& e) { e["2KDEVINFO-sdd"].data.clear(); }, true,
         [](Win2kStoredDisk& d) { EXPECT_EQ(d.deviceBusType(), 0u); }},
        {"55-byte information", [](auto& e) { e["2KDEVINFO-data"].data.resize(55); }, true,
         [](Win2kStoredDisk& d) {
             EXPECT_EQ(d.mediaSectors(), 0u);
             EXPECT_EQ(d.mediaBlockSize(), 0u);
         }},
        {"hardware id without text", [](auto& e) { e["2KDEVINFO-hid"].value.reset(); }, true,
         [](Win2kStoredDisk& d) { EXPECT_EQ(d.storedHardwareId(), ""); }},
        {"no DRIVEID", [](auto& e) { e.erase("DRIVEID"); }, false, nullptr},
        {"no -sdd", [](auto& e) { e.erase("2KDEVINFO-sdd"); }, false, nullptr},
        {"no -add", [](auto& e) { e.erase("2KDEVINFO-add"); }, false, nullptr},
        {"no -hid", [](auto& e) { e.erase("2KDEVINFO-hid"); }, false, nullptr},
        {"no -dpath", [](auto& e) { e.erase("2KDEVINFO-dpath"); }, false, nullptr},
        {"no -data", [](auto& e) { e.erase("2KDEVINFO-data"); }, false, nullptr},
    };
    for (const RecordCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::map<std::string, Entry> entries = fullRecord();
        c.change(entries);
        auto disk = load(entries);
        ASSERT_EQ(disk != nullptr, c.loads);
        if (disk && c.check) {
            c.check(*disk);
        }
    }
}

struct RaidCase {
    uint32_t level;
    uint32_t bus;
    const char* id;
};

TEST_F(StoredDiskTest, RaidEntriesDescribeTheSet) {
    const RaidCase cases[] = {
        {11, 3, "RAID(0+1): ATA, ctrl, 2x drives"},    {12, 3, "ATA, ctrl, 2x drives"},
        {0, 9, "RAID(0): USB 2.0, ctrl, 2x drives"},   {10, 11, "RAID(10): , ctrl, 2x drives"},
        {0xFFFFFFFF, 0xFFFFFFFF, ", ctrl, 2x drives"},
    };
    for (const RaidCase& c : cases) {
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

// Forwards to a real collection and records every read's key and capacities.
class SpyCollection : public I_VornCollection {
public:
    explicit SpyCollection(I_VornCollection& inner) : inner_(inner) {}
    struct Read {
        std::string key;
        uint32_t valueCapacity;
        uint32_t dataCapacity;
    };
    std::vector<Read> reads;

    uint32_t getMemberCount() override { return inner_.getMemberCount(); }
    bool selectMember(uint32_t index) override { return inner_.selectMember(index); }
    bool addEntry(const char*, const char*, uint32_t, const void*) override { return false; }
    bool findEntry(const char* name, uint32_t* valueCapacity, char* valueBuffer,
                   uint32_t* dataCapacity, void* dataBuffer) override {
        reads.push_back({name, *valueCapacity, *dataCapacity});
        return inner_.findEntry(name, valueCapacity, valueBuffer, dataCapacity, dataBuffer);
    }
    bool firstEntry(char* name) override { return inner_.firstEntry(name); }
    bool nextEntry(char* name) override { return inner_.nextEntry(name); }
    bool create(const char*) override { return false; }
    bool open(const char*) override { return false; }

private:
    I_VornCollection& inner_;
};

TEST_F(StoredDiskTest, AfterAFailureOnlyLengthsAreAskedButTheDriveIdIsRead) {
    std::map<std::string, Entry> entries = fullRecord();
    entries.erase("2KDEVINFO-sdd");
    auto collection = resultWith(entries);
    ASSERT_NE(collection, nullptr);
    SpyCollection spy(*collection);
    EXPECT_EQ(newStoredDisk(&spy), nullptr);
    std::vector<std::string> keys;
    for (const SpyCollection::Read& read : spy.reads) {
        keys.push_back(read.key);
        if (read.key.rfind("2KDEVINFO", 0) == 0) {
            EXPECT_EQ(read.valueCapacity + read.dataCapacity, 0u) << read.key;
        }
    }
    const std::vector<std::string> expected = {"2KDEVINFO-sdd",   "2KDEVINFO-add",  "2KDEVINFO-hid",
                                               "2KDEVINFO-dpath", "2KDEVINFO-data", "DRIVEID",
                                               "RAIDLEVEL"};
    EXPECT_EQ(keys, expected);
    EXPECT_EQ(spy.reads[5].valueCapacity, 1024u);
}

}  // namespace
}  // namespace vorn::test
