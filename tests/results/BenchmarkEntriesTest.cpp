#include "results/BenchmarkEntries.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/TestTables.h"
#include "bench/DiskRwBenchmark.h"
#include "results/ResultBytes.h"
#include "storage/DeviceInfoData.h"

namespace vorn::test {
namespace {

// What one stored result holds; absent parts are left out of the file.
struct Sample {
    std::optional<std::string> device;  // DRIVEID with a whole device record
    uint64_t sectors = 0;
    std::optional<std::string> reader;
    std::optional<uint32_t> interfaceCode;
    std::optional<int32_t> time;
    std::vector<uint32_t> read;  // first-zone rate per read key, 2k first; 0: key absent
    std::vector<uint32_t> write;
};

std::string raw(const void* bytes, size_t size) {
    return std::string(static_cast<const char*>(bytes), size);
}

// A rate test with a second zone that is faster still: only the first may count.
EntrySpec rateEntry(const char* key, uint32_t rate) {
    const ZoneResult zones[2] = {{0, rate, 0, 0, rate, 0, 0}, {1 << 20, 0, 0, 0, rate * 2, 0, 0}};
    return {key, "0,1,64,65536,2097152,8388608,1", raw(zones, sizeof zones)};
}

std::string resultOf(const Sample& s) {
    std::vector<EntrySpec> entries = {{"VERSION", "1.0.0.1"}};
    if (s.device) {
        std::string descriptor(40, '\0');
        descriptor += "Vendor";
        descriptor += '\0';
        DeviceInfoData info{};
        info.mediaBlockSize = 512;
        info.mediaSectors = s.sectors;
        entries.push_back({"2KDEVINFO-sdd", std::nullopt, descriptor});
        entries.push_back({"2KDEVINFO-add", std::nullopt, std::string(32, '\0')});
        entries.push_back({"2KDEVINFO-hid", "PhysicalDevice 1"});
        entries.push_back({"2KDEVINFO-dpath", "/dev/sdb"});
        entries.push_back({"2KDEVINFO-data", std::nullopt, raw(&info, sizeof info)});
        entries.push_back({"DRIVEID", *s.device});
    }
    for (size_t i = 0; i < s.read.size(); ++i) {
        if (s.read[i] != 0) {
            entries.push_back(rateEntry(readTests[i].resultKey, s.read[i]));
        }
    }
    for (size_t i = 0; i < s.write.size(); ++i) {
        if (s.write[i] != 0) {
            entries.push_back(rateEntry(writeTests[i].resultKey, s.write[i]));
        }
    }
    if (s.reader) {
        entries.push_back({"QKCREADER", *s.reader});
    }
    if (s.interfaceCode) {
        entries.push_back({"QKCINT", std::nullopt, le32(*s.interfaceCode)});
    }
    if (s.time) {
        entries.push_back({"QKCTIME", std::nullopt, le32(static_cast<uint32_t>(*s.time))});
    }
    return resultBytes(entries);
}

const Sample kKey{"Kingston DataTraveler",          7823360,  "Hama 9in1", 1, 1205531250,
                  {5000000, 0, 21000000, 19000000}, {3000000}};
const Sample kCard{"SanDisk SD", 1000000, std::string(1500, 'r'), std::nullopt, 1100000000,
                   {9000000},    {}};
const Sample kBare{};

class BenchmarkEntriesTest : public testing::Test {
protected:
    std::string folderPath() const { return folder.path().string(); }
    TempDir folder;
};

TEST(PatternTest, MatchesLikeAWindowsSearch) {
    const struct {
        const char* name;
        const char* pattern;
        bool matches;
    } cases[] = {
        {"LIB1.QKL", "*.qkl", true},     {"lib1.qkl", "*.QKL", true},
        {".qkl", "*.qkl", true},         {"lib.qkl.bak", "*.qkl", false},
        {"libqkl", "*.qkl", false},      {"temp.qkt", "*.qk?", true},
        {"a.b.qkc", "*.qkc", true},      {"temp.qkt", "temp.qkt", true},
        {"temp.qkt", "*.qkc", false},    {"x.qkll", "*.qkl", false},
        {"\xC3\x84.qkl", "*.qkl", true}, {"", "*", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(matchesPattern(c.name, c.pattern), c.matches) << c.name << " " << c.pattern;
    }
}

TEST_F(BenchmarkEntriesTest, ListsEveryMemberAndEveryResultFile) {
    folder.write("LIB1.QKL", libraryBytes({resultOf(kKey), resultOf(kCard), resultOf(kBare)}));
    folder.write("plain.qkl", resultOf(kCard));  // a result file under a library's name
    folder.write("junk.qkl", "no collection at all");
    folder.write("other.qkc", resultOf(kKey));
    std::filesystem::create_directory(folder.path() / "folder.qkl");

    const std::vector<BenchmarkEntry> entries = loadEntries(folderPath(), "*.qkl");
    ASSERT_EQ(entries.size(), 4u);
    for (uint32_t member = 0; member < 3; ++member) {
        EXPECT_EQ(entries[member].fileName, "LIB1.QKL");
        EXPECT_EQ(entries[member].indexInFile, member);
    }
    EXPECT_EQ(entries[3].fileName, "plain.qkl");
    EXPECT_EQ(entries[3].indexInFile, 0u);

    const BenchmarkEntry& key = entries[0];
    EXPECT_EQ(key.name, "Kingston DataTraveler");
    EXPECT_EQ(key.reader, "Hama 9in1");
    EXPECT_EQ(key.interfaceCode, 1u);
    EXPECT_EQ(key.capacity, 7823360ull * 512);
    EXPECT_EQ(key.maxRead, 21000000u);  // past a missing key, first zones only
    EXPECT_EQ(key.maxWrite, 3000000u);
    EXPECT_EQ(key.testTime, 1205531250);

    // Defaults of what a result does not hold.
    const BenchmarkEntry& card = entries[1];
    EXPECT_EQ(card.reader, std::string(1023, 'r'));  // cut, never overflowed
    EXPECT_EQ(card.interfaceCode, 5u);
    EXPECT_EQ(card.maxWrite, 0u);
    const BenchmarkEntry& bare = entries[2];
    EXPECT_EQ(bare.name, "");
    EXPECT_EQ(bare.capacity, 0u);
    EXPECT_EQ(bare.maxRead, 0u);
    EXPECT_EQ(bare.testTime, 0);
    EXPECT_EQ(rowCells(bare)[3], "no media");
}

TEST_F(BenchmarkEntriesTest, DamagedMemberIsLeftOutTheOthersListed) {
    std::string damaged = resultOf(kCard);
    damaged[damaged.size() - 1] ^= 0x55;
    folder.write("lib.qkl", libraryBytes({resultOf(kKey), damaged, resultOf(kBare)}));
    const std::vector<BenchmarkEntry> entries = loadEntries(folderPath(), "*.qkl");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].indexInFile, 0u);
    EXPECT_EQ(entries[1].indexInFile, 2u);
}

TEST_F(BenchmarkEntriesTest, EmptyOrMissingSourceListsNothing) {
    folder.write("temp.qkt", resultOf(kKey));
    EXPECT_TRUE(loadEntries(folderPath(), "*.qkl").empty());
    EXPECT_TRUE(loadEntries(folderPath() + "/nowhere", "*.qkt").empty());
    EXPECT_EQ(loadEntries(folderPath(), "*.qkt").size(), 1u);
}

TEST(CellTest, FormatsEachColumn) {
    const struct {
        std::string cell;
        std::string expected;
    } cases[] = {
        {capacityText(1000000000), "1000.0MB"},
        {capacityText(1000000001), "1.0GB"},
        {capacityText(0), "no media"},
        {capacityText(1), "no media"},
        {capacityText(2000000), "2.0MB"},
        {capacityText(4005560320ull), "4.0GB"},
        {interfaceText(0), "USB 1.1"},
        {interfaceText(4), "ATA/IDE"},
        {interfaceText(5), "Other"},
        {interfaceText(7), ""},
        {rateText(0), ""},
        {rateText(12345678), "12.3 MB/s"},
        {testTimeText(0), "unknown"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.cell, c.expected);
    }
}

TEST(CellTest, TestTimeInLocalTime) {
    const char* saved = std::getenv("TZ");
    const std::string previous = saved != nullptr ? saved : "";
    for (const auto& [zone, expected] :
         {std::pair{"UTC0", "2008-03-14 21:47"}, std::pair{"XXX-2", "2008-03-14 23:47"}}) {
        setenv("TZ", zone, 1);
        tzset();
        EXPECT_EQ(testTimeText(1205531250), expected) << zone;
    }
    saved != nullptr ? setenv("TZ", previous.c_str(), 1) : unsetenv("TZ");
    tzset();
}

BenchmarkEntry entry(const char* name, const char* reader, uint32_t interfaceCode,
                     uint64_t capacity, uint32_t maxRead, int32_t time) {
    BenchmarkEntry e;
    e.name = name;
    e.reader = reader;
    e.interfaceCode = interfaceCode;
    e.capacity = capacity;
    e.maxRead = maxRead;
    e.testTime = time;
    return e;
}

TEST(SortTest, OrdersByTheChosenLevels) {
    const std::vector<BenchmarkEntry> entries = {
        entry("Zeta", "B", 1, 4000000000ull, 9000000, 300),
        entry("\xC3\x84pfel", "A", 4, 64000000, 21000000, 100),
        entry("Alpha", "B", 0, 128000000, 500000, 200),
        entry("Beta", "A", 1, 0, 0, -5),
    };
    using K = SortKey;
    const struct {
        SortKey first;
        SortKey second;
        std::vector<uint32_t> order;
    } cases[] = {
        {K::Name, K::None, {2, 3, 0, 1}},  // bytes compare unsigned: 0xC3 after 'Z'
        {K::MaxRead, K::None, {3, 2, 0, 1}},     {K::TestTime, K::None, {3, 1, 2, 0}},
        {K::Capacity, K::None, {3, 1, 2, 0}},    {K::Reader, K::Interface, {3, 1, 2, 0}},
        {K::Interface, K::Reader, {2, 3, 0, 1}},
    };
    for (const auto& c : cases) {
        SortLevels levels{};
        levels.fill(K::None);
        levels[0] = c.first;
        levels[1] = c.second;
        EXPECT_EQ(sortEntries(entries, levels), c.order)
            << static_cast<int>(c.first) << "," << static_cast<int>(c.second);
    }
    SortLevels none{};
    none.fill(K::None);
    EXPECT_EQ(compareEntries(entries[0], entries[1], none), 0);
    EXPECT_EQ(sortEntries({}, none).size(), 0u);
}

TEST_F(BenchmarkEntriesTest, InfoTextHasItsExactLines) {
    const std::string longSystem(250000, 's');
    const struct {
        std::vector<EntrySpec> entries;
        std::string expected;
    } cases[] = {
        {{}, "SYSTEM DATA-\n\n\nTEST NOTES-\n\n\n"},
        {{{"WPCUSRPROC", "Pentium 4"},
          {"WPCUSRCONTROL", ""},
          {"WPCUSRSYSTEM", "Board\r\nChipset"},
          {"WPCUSRNOTES", std::nullopt, "data only"}},
         "PROCESSOR: Pentium 4\nSYSTEM DATA-\nBoard\nChipset\n\nTEST NOTES-\n\n"},
        {{{"WPCUSRCONTROL", "USB hub"}, {"WPCUSRSYSTEM", longSystem}, {"WPCUSRNOTES", "n"}},
         "CONTROLLER: USB hub\nSYSTEM DATA-\n" + longSystem.substr(0, 199999) +
             "\n\nTEST NOTES-\nn\n\n"},
    };
    for (const auto& c : cases) {
        folder.write("info.qkl", libraryBytes({resultOf(kBare), resultBytes(c.entries)}));
        BenchmarkEntry e;
        e.fileName = "info.qkl";
        e.indexInFile = 1;
        EXPECT_EQ(entryInfoText(folderPath(), e), c.expected);
        e.indexInFile = 2;
        EXPECT_EQ(entryInfoText(folderPath(), e), "");
    }
}

}  // namespace
}  // namespace vorn::test
