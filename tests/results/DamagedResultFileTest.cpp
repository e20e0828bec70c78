#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "results/Collections.h"
#include "tests/results/ResultBytes.h"

// Result files come from other machines and the network, so every damaged form
// must be refused or read only up to the damage.
namespace vorn::test {
namespace {

const std::string kGood = entryBytes({"DRIVEID", "Key", ""}) + entryBytes({"QKCTIME", {}, "TTTT"});

std::string withEntry(const EntrySpec& damaged) {
    return resultBytes(kGood + entryBytes(damaged) + entryBytes({"AFTER", "x", ""}));
}

EntrySpec spec(uint32_t length, uint32_t nameLength, uint32_t valueLength, uint32_t dataLength,
               const std::string& tail = std::string(32, 'z')) {
    EntrySpec e{"BAD", {}, tail};
    e.length = length;
    e.nameLength = nameLength;
    e.valueLength = valueLength;
    e.dataLength = dataLength;
    return e;
}

struct Case {
    const char* what;
    std::string bytes;
    bool opens;
    std::vector<std::string> names;  // what iteration reaches
};

std::vector<Case> cases() {
    const std::string sound = resultBytes(kGood);
    std::string wrongCrc = sound;
    wrongCrc[9] ^= 0x40;
    std::string wrongMagic = sound;
    wrongMagic[4] = 0x1B;
    std::string lengthPastEnd = sound;
    lengthPastEnd.replace(12, 4, le32(static_cast<uint32_t>(sound.size() + 1)));
    std::string lengthZero = sound;
    lengthZero.replace(8, 8, std::string(8, '\0'));
    const std::string cutEntry = kGood + entryBytes({"CUT", "value", "data"});
    std::string unterminated = entryBytes({"NOEND", "abcd", ""});
    unterminated[unterminated.size() - 1] = 'd';
    const std::string name127(127, 'L');
    const std::vector<std::string> good = {"DRIVEID", "QKCTIME"};
    return {
        {"sound", sound, true, good},
        {"empty file", "", false, {}},
        {"header cut", sound.substr(0, 12), false, {}},
        {"wrong magic", wrongMagic, false, {}},
        {"wrong CRC", wrongCrc, false, {}},
        {"length past end", lengthPastEnd, false, {}},
        {"length 0 (writer alive)", lengthZero, false, {}},
        {"file cut short", sound.substr(0, sound.size() - 2), false, {}},
        {"entry cut short", resultBytes(cutEntry.substr(0, cutEntry.size() - 3)), true, good},
        {"entry header cut short", resultBytes(kGood + std::string(9, '\x10')), true, good},
        {"entry length past end", withEntry(spec(1000, 4, 0, 32)), true, good},
        {"entry length not its parts", withEntry(spec(16 + 4 + 31, 4, 0, 32)), true, good},
        {"name length 0", withEntry(spec(16 + 36, 0, 0, 36)), true, good},
        {"name length 1", withEntry(spec(16 + 36, 1, 0, 35)), true, good},
        {"name length 129", withEntry(spec(16 + 129, 129, 0, 0, std::string(129, 'n'))), true,
         good},
        {"name length 128, 127 characters",
         withEntry({name127, "v", ""}),
         true,
         {"DRIVEID", "QKCTIME", name127, "AFTER"}},
        {"name length 128, no zero byte at its end",
         withEntry(spec(16 + 128, 128, 0, 0, std::string(128, 'n'))), true, good},
        {"name with a zero byte inside", withEntry({std::string("AB\0CD", 5), {}, ""}), true, good},
        {"value without its zero byte",
         resultBytes(kGood + unterminated + entryBytes({"AFTER", "x", ""})), true, good},
        {"data length wrapping 32 bits", withEntry(spec(16 + 4 + 0xFFFFFFF0u, 4, 0, 0xFFFFFFF0u)),
         true, good},
        {"bytes past the length field", sound + entryBytes({"HIDDEN", "h", ""}), true, good},
        {"sound entries around",
         withEntry({"BAD", "v", "d"}),
         true,
         {"DRIVEID", "QKCTIME", "BAD", "AFTER"}},
    };
}

TEST(DamagedResultFile, IsRefusedOrReadUpToTheDamage) {
    TempFolder folder;
    for (const Case& c : cases()) {
        auto collection = openCollection(folder.write("d.qkc", c.bytes).c_str());
        ASSERT_EQ(collection != nullptr, c.opens) << c.what;
        if (!collection) {
            continue;
        }
        std::vector<std::string> names;
        char name[kEntryNameBuffer];
        for (bool more = collection->firstEntry(name); more; more = collection->nextEntry(name)) {
            names.push_back(name);
        }
        EXPECT_EQ(names, c.names) << c.what;
        EXPECT_STREQ(name, "") << c.what;
        // Lookups stop at the same place as iteration does.
        uint32_t valueCapacity = 0, dataCapacity = 0;
        const bool afterReached = c.names.size() > 2 && c.names.back() == "AFTER";
        EXPECT_EQ(collection->findEntry("AFTER", &valueCapacity, nullptr, &dataCapacity, nullptr),
                  afterReached)
            << c.what;
        EXPECT_FALSE(
            collection->findEntry("HIDDEN", &valueCapacity, nullptr, &dataCapacity, nullptr))
            << c.what;
    }
}

// Random damage inside members whose headers are then made sound again (so the
// entry scanner meets the damage), and now and then to the library's own table:
// whatever opens must keep every answer inside the file. Run under the sanitizers
// this also shows that nothing is read outside its buffer.
std::string damaged(std::string bytes, std::mt19937& random) {
    const int flips = 1 + static_cast<int>(random() % 4);
    for (int i = 0; i < flips && !bytes.empty(); ++i) {
        bytes[random() % bytes.size()] = static_cast<char>(random() % 3 == 0 ? 0 : random());
    }
    if (random() % 5 == 0 && !bytes.empty()) {
        bytes.resize(random() % bytes.size());
    }
    return bytes;
}

void readEverything(I_VornCollection& collection, size_t fileSize, size_t* entriesSeen) {
    ASSERT_LE(collection.getMemberCount(), fileSize / 4);
    for (uint32_t member = 0; member < collection.getMemberCount(); ++member) {
        if (!collection.selectMember(member)) {
            continue;
        }
        char name[kEntryNameBuffer];
        size_t entries = 0;
        for (bool more = collection.firstEntry(name); more; more = collection.nextEntry(name)) {
            ASSERT_LT(++entries, fileSize / 16);
            uint32_t valueLength = 0, dataLength = 0;
            ASSERT_TRUE(collection.readCurrentEntry(&valueLength, nullptr, &dataLength, nullptr));
            ASSERT_LE(uint64_t{valueLength} + dataLength, fileSize);
            std::string value(valueLength + 1, '\0'), data(dataLength, '\0');
            ASSERT_TRUE(
                collection.readCurrentEntry(&valueLength, value.data(), &dataLength, data.data()));
            uint32_t found = 0;
            EXPECT_TRUE(collection.findEntry(name, &found, nullptr, nullptr, nullptr));
        }
        *entriesSeen += entries;
    }
}

TEST(DamagedResultFile, RandomDamageNeverReachesOutsideTheFile) {
    const std::string entries0 = kGood + entryBytes({"QKCR2", "1,2,3", "zzzzzzzz"});
    const std::string entries1 =
        entryBytes({"DRIVEID", "Other", ""}) + entryBytes({"X", {}, "1234"});
    std::mt19937 random(20240611);
    TempFolder folder;
    int opened = 0;
    size_t entriesSeen = 0;
    for (int round = 0; round < 400; ++round) {
        std::string bytes =
            libraryBytes({resultBytes(damaged(entries0, random)),
                          resultBytes(damaged(entries1, random)), resultBytes(entries0)});
        if (round % 4 == 0) {
            bytes = damaged(bytes, random);
        }
        auto collection = openCollection(folder.write("fuzz.qkl", bytes).c_str());
        if (collection) {
            ++opened;
            readEverything(*collection, bytes.size(), &entriesSeen);
        }
    }
    // Most rounds must get past the headers, or the scan was never exercised.
    EXPECT_GT(opened, 250);
    EXPECT_GT(entriesSeen, 1000u);
}

}  // namespace
}  // namespace vorn::test
