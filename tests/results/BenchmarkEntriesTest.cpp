#include "results/BenchmarkEntries.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "bench/DiskRwBenchmark.h"
#include "results/ResultBytes.h"
#include "results/RunSteps.h"
#include "storage/DeviceInfoData.h"

namespace vorn::test {
namespace {

std::string raw(const void* bytes, size_t size) {
    return std::string(static_cast<const char*>(bytes), size);
}

// A rate test with a faster second zone: only the first may count.
EntrySpec rateEntry(const char* key, uint32_t rate) {
    const ZoneResult zones[2] = {{0, rate, 0, 0, rate, 0, 0}, {1 << 20, 0, 0, 0, rate * 2, 0, 0}};
    return {key, "0,1,64,65536,2097152,8388608,1", raw(zones, sizeof zones)};
}

// A result with a device record of `sectors` 512-byte sectors, the read rates (2k
// first, 0 leaves a key out), one write rate (0: none) and the given extra entries.
std::string resultOf(const char* id, uint64_t sectors, std::vector<uint32_t> read, uint32_t write,
                     std::vector<EntrySpec> extra) {
    DeviceInfoData info{};
    info.mediaBlockSize = 512;
    info.mediaSectors = sectors;
    std::vector<EntrySpec> entries = {
        {"2KDEVINFO-sdd", {}, std::string(40, '\0') + "Vendor" + '\0'},
        {"2KDEVINFO-add", {}, std::string(32, '\0')},
        {"2KDEVINFO-hid", "PhysicalDevice 1"},
        {"2KDEVINFO-dpath", "/dev/sdb"},
        {"2KDEVINFO-data", {}, raw(&info, sizeof info)},
        {"DRIVEID", id}};
    for (size_t i = 0; i < read.size(); ++i) {
        if (read[i] != 0) {
            entries.push_back(rateEntry(readTests[i].resultKey, read[i]));
        }
    }
    if (write != 0) {
        entries.push_back(rateEntry("QKCW64", write));
    }
    entries.insert(entries.end(), extra.begin(), extra.end());
    return resultBytes(entries);
}

const std::string kKey = resultOf(
    "Kingston DataTraveler", 7823360, {5000000, 0, 21000000}, 3000000,
    {{"QKCREADER", "Hama 9in1"}, {"QKCINT", {}, le32(1)}, {"QKCTIME", {}, le32(1205531250)}});
const std::string kCard =
    resultOf("SanDisk SD", 1000000, {9000000}, 0, {{"QKCREADER", std::string(1500, 'r')}});
const std::string kBare = resultBytes({{"VERSION", "1.0.0.1"}});

TEST(PatternTest, MatchesLikeAWindowsSearch) {
    const struct {
        const char* name;
        const char* pattern;
        bool matches;
    } cases[] = {
        {"LIB1.QKL", "*.qkl", true},     {".qkl", "*.qkl", true},
        {"lib.qkl.bak", "*.qkl", false}, {"libqkl", "*.qkl", false},
        {"temp.qkt", "*.qk?", true},     {"a.b.qkc", "*.QKC", true},
        {"x.qkll", "*.qkl", false},      {"\xC3\x84.qkl", "*.qkl", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(matchesPattern(c.name, c.pattern), c.matches) << c.name << " " << c.pattern;
    }
}

TEST(BenchmarkEntriesTest, ListsEveryMemberAndEveryResultFile) {
    TempDir folder;
    folder.write("LIB1.QKL", libraryBytes({kKey, kCard, kBare}));
    folder.write("plain.qkl", kCard);  // a result file under a library's name
    folder.write("junk.qkl", "no collection at all");
    folder.write("other.qkc", kKey);
    std::filesystem::create_directory(folder.path() / "folder.qkl");

    const std::vector<BenchmarkEntry> entries = loadEntries(folder.path(), "*.qkl");
    ASSERT_EQ(entries.size(), 4u);
    for (uint32_t row = 0; row < 4; ++row) {
        EXPECT_EQ(entries[row].fileName, row < 3 ? "LIB1.QKL" : "plain.qkl");
        EXPECT_EQ(entries[row].indexInFile, row < 3 ? row : 0);
    }
    const BenchmarkEntry& key = entries[0];
    EXPECT_EQ(key.name, "Kingston DataTraveler");
    EXPECT_EQ(key.reader, "Hama 9in1");
    EXPECT_EQ(key.interfaceCode, 1u);
    EXPECT_EQ(key.capacity, 7823360ull * 512);
    EXPECT_EQ(key.maxRead, 21000000u);  // past a missing key, first zones only
    EXPECT_EQ(key.maxWrite, 3000000u);
    EXPECT_EQ(key.testTime, 1205531250);
    // Defaults of what a result does not hold; a long text is cut, never overflowed.
    EXPECT_EQ(entries[1].reader, std::string(1023, 'r'));
    EXPECT_EQ(entries[1].interfaceCode, 5u);
    EXPECT_EQ(entries[1].maxWrite, 0u);
    const RowCells bare = rowCells(entries[2]);
    EXPECT_EQ(bare[0], "");
    EXPECT_EQ(bare[3], "no media");
    EXPECT_EQ(entries[2].testTime, 0);
}

TEST(BenchmarkEntriesTest, DamagedMemberOrEmptySource) {
    TempDir folder;
    std::string damaged = kCard;
    damaged.back() ^= 0x55;
    folder.write("lib.qkl", libraryBytes({kKey, damaged, kBare}));
    const std::vector<BenchmarkEntry> entries = loadEntries(folder.path(), "*.qkl");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].indexInFile, 0u);
    EXPECT_EQ(entries[1].indexInFile, 2u);
    EXPECT_TRUE(loadEntries(folder.path(), "*.qkc").empty());
    EXPECT_TRUE(loadEntries(folder.file("nowhere"), "*.qkl").empty());
}

TEST(CellTest, FormatsEachColumn) {
    const std::pair<std::string, std::string> cases[] = {
        {capacityText(1000000000), "1000.0MB"},
        {capacityText(1000000001), "1.0GB"},
        {capacityText(0), "no media"},
        {capacityText(1), "no media"},
        {capacityText(2000000), "2.0MB"},
        {interfaceText(0), "USB 1.1"},
        {interfaceText(5), "Other"},
        {interfaceText(7), ""},
        {rateText(0), ""},
        {rateText(12345678), "12.3 MB/s"},
        {testTimeText(0), "unknown"},
    };
    for (const auto& [cell, expected] : cases) {
        EXPECT_EQ(cell, expected);
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
}

TEST(BenchmarkEntriesTest, InfoTextHasItsExactLines) {
    TempDir folder;
    const std::string longSystem(250000, 's');
    const struct {
        std::vector<EntrySpec> entries;
        std::string expected;
    } cases[] = {
        {{}, "SYSTEM DATA-\n\n\nTEST NOTES-\n\n\n"},
        {{{"WPCUSRPROC", "Pentium 4"},
          {"WPCUSRCONTROL", ""},
          {"WPCUSRSYSTEM", "Board\r\nChipset"},
          {"WPCUSRNOTES", {}, "data only"}},
         "PROCESSOR: Pentium 4\nSYSTEM DATA-\nBoard\nChipset\n\nTEST NOTES-\n\n"},
        {{{"WPCUSRCONTROL", "USB hub"}, {"WPCUSRSYSTEM", longSystem}, {"WPCUSRNOTES", "n"}},
         "CONTROLLER: USB hub\nSYSTEM DATA-\n" + longSystem.substr(0, 199999) +
             "\n\nTEST NOTES-\nn\n\n"},
    };
    for (const auto& c : cases) {
        folder.write("info.qkl", libraryBytes({kBare, resultBytes(c.entries)}));
        BenchmarkEntry e;
        e.fileName = "info.qkl";
        e.indexInFile = 1;
        EXPECT_EQ(entryInfoText(folder.path(), e), c.expected);
        e.indexInFile = 2;
        EXPECT_EQ(entryInfoText(folder.path(), e), "");
    }
}

}  // namespace
}  // namespace vorn::test
