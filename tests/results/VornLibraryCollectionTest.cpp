#include "results/VornLibraryCollection.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "results/Collections.h"
#include "results/LibraryWriter.h"
#include "results/VornDiskCollection.h"
#include "tests/results/ResultBytes.h"

namespace vorn::test {
namespace {

std::vector<std::string> namesOf(I_VornCollection& collection) {
    std::vector<std::string> names;
    char name[kEntryNameBuffer];
    for (bool more = collection.firstEntry(name); more; more = collection.nextEntry(name)) {
        names.push_back(name);
    }
    return names;
}

std::string valueOf(I_VornCollection& collection, const char* key) {
    char value[64];
    uint32_t capacity = sizeof value;
    if (!collection.findEntry(key, &capacity, value, nullptr, nullptr)) {
        return "<none>";
    }
    return value;
}

const std::string kMemberA = resultBytes({{"DRIVEID", "Key A", ""}, {"QKCTIME", {}, "AAAA"}});
const std::string kMemberB = resultBytes({{"DRIVEID", "Key B", ""}, {"ONLYB", "b", ""}});
const std::string kMemberC = resultBytes({{"DRIVEID", "Key C", ""}});

TEST(VornLibraryCollection, EachMemberShowsOnlyItsOwnEntries) {
    TempFolder folder;
    auto library = openCollection(
        folder.write("lib.qkl", libraryBytes({kMemberA, kMemberB, kMemberC})).c_str());
    ASSERT_NE(library, nullptr);
    ASSERT_EQ(library->getMemberCount(), 3u);
    EXPECT_EQ(namesOf(*library), (std::vector<std::string>{"DRIVEID", "QKCTIME"}));
    EXPECT_EQ(valueOf(*library, "ONLYB"), "<none>");

    ASSERT_TRUE(library->selectMember(1));
    EXPECT_EQ(namesOf(*library), (std::vector<std::string>{"DRIVEID", "ONLYB"}));
    EXPECT_EQ(valueOf(*library, "DRIVEID"), "Key B");
    char name[kEntryNameBuffer];
    EXPECT_FALSE(library->nextEntry(name));

    ASSERT_TRUE(library->selectMember(2));
    EXPECT_EQ(valueOf(*library, "DRIVEID"), "Key C");
    EXPECT_FALSE(library->selectMember(3));
    EXPECT_FALSE(library->firstEntry(name));  // nothing is current after a failed select
    ASSERT_TRUE(library->selectMember(0));
    EXPECT_EQ(valueOf(*library, "DRIVEID"), "Key A");
}

TEST(VornLibraryCollection, AnEntryReachingIntoTheNextMemberEndsTheScan) {
    // The last entry of member 0 claims 64 data bytes that only the next member holds.
    EntrySpec reaching{"QKCR2", "1", "AAAA"};
    reaching.dataLength = 64;
    reaching.length = 16 + 6 + 2 + 64;
    const std::string member0 =
        resultBytes(entryBytes({"DRIVEID", "Key A", ""}) + entryBytes(reaching));
    TempFolder folder;
    auto library = openCollection(folder.write("l.qkl", libraryBytes({member0, kMemberB})).c_str());
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(namesOf(*library), std::vector<std::string>{"DRIVEID"});
    uint32_t dataCapacity = 0;
    EXPECT_FALSE(library->findEntry("QKCR2", nullptr, nullptr, &dataCapacity, nullptr));
    EXPECT_EQ(valueOf(*library, "ONLYB"), "<none>");
}

TEST(VornLibraryCollection, LibraryBytesInMemoryMatchTheWrittenLibrary) {
    TempDir folder;
    const std::string one = resultBytes({{"DRIVEID", "one"}});
    const std::string two = resultBytes({{"DRIVEID", "two"}, {"QKCTIME", {}, le32(7)}});
    std::vector<std::string> problems;
    ASSERT_TRUE(writeLibrary(folder.file("lib.qkl"),
                             {folder.write("a.qkc", one), folder.write("b.qkc", two)}, &problems));
    // Qualified: the test helpers have a libraryBytes of their own.
    EXPECT_EQ(vorn::libraryBytes({one, two}), folder.read("lib.qkl"));
    EXPECT_EQ(vorn::libraryBytes({}), "");
}

TEST(VornLibraryCollection, IsReadOnly) {
    TempFolder folder;
    VornLibraryCollection library;
    ASSERT_TRUE(library.open(folder.write("l.qkl", libraryBytes({kMemberA})).c_str()));
    EXPECT_FALSE(library.addEntry("X", "y", 0, nullptr));
    EXPECT_FALSE(library.create(folder.file("new.qkc").c_str()));
    EXPECT_FALSE(library.open(folder.file("l.qkl").c_str()));
}

TEST(VornLibraryCollection, PathsNamingALibraryAreTriedAsOneFirst) {
    TempFolder folder;
    const std::string library = libraryBytes({kMemberA, kMemberB});
    const std::string result = resultBytes({{"DRIVEID", "Plain", ""}});
    const struct {
        const char* file;
        const std::string& bytes;
        bool opens;
        bool isLibrary;
    } rows[] = {
        {"a.qkl", library, true, true},     {"b.QKL", library, true, true},
        {"c.wpl", library, true, true},     {"d.WpL", library, true, true},
        {"e.qkl.old", library, true, true}, {"f.wpl", result, true, false},
        {"g.QKL", result, true, false},     {"h.qkc", result, true, false},
        {"i.qkc", library, false, false},   {"j.qkl", std::string("junk"), false, false},
    };
    for (const auto& row : rows) {
        auto collection = openCollection(folder.write(row.file, row.bytes).c_str());
        ASSERT_EQ(collection != nullptr, row.opens) << row.file;
        if (collection) {
            EXPECT_EQ(dynamic_cast<VornLibraryCollection*>(collection.get()) != nullptr,
                      row.isLibrary)
                << row.file;
            EXPECT_EQ(collection->getMemberCount(), row.isLibrary ? 2u : 1u) << row.file;
        }
    }
    EXPECT_EQ(openCollection(folder.file("missing.qkl").c_str()), nullptr);
}

TEST(VornLibraryCollection, ABadMemberStaysIsolated) {
    std::string badCrc = kMemberB;
    badCrc[8] ^= 0x01;
    std::string badMagic = kMemberB;
    badMagic[0] = 'W';
    TempFolder folder;
    auto library = openCollection(
        folder.write("l.qkl", libraryBytes({kMemberA, badCrc, badMagic, kMemberC})).c_str());
    ASSERT_NE(library, nullptr);
    ASSERT_EQ(library->getMemberCount(), 4u);
    EXPECT_FALSE(library->selectMember(1));
    EXPECT_EQ(valueOf(*library, "DRIVEID"), "<none>");
    EXPECT_FALSE(library->selectMember(2));
    ASSERT_TRUE(library->selectMember(3));
    EXPECT_EQ(valueOf(*library, "DRIVEID"), "Key C");
    ASSERT_TRUE(library->selectMember(0));
    EXPECT_EQ(valueOf(*library, "DRIVEID"), "Key A");
}

// Damaged libraries: the count and the offsets come from the file, so each is
// checked against the file's real size before anything is read through it.
TEST(VornLibraryCollection, DamagedLibrariesAreRefusedOrReadOnlyWhereSound) {
    const std::string good = libraryBytes({kMemberA, kMemberB});
    std::string millions = good;
    millions.replace(8, 4, le32(5000000));
    std::string offsetPastEnd = good;
    offsetPastEnd.replace(16, 4, le32(0xFFFFFF00u));
    std::string offsetIntoTable = good;
    offsetIntoTable.replace(12, 4, le32(8));
    std::string firstMemberCut = libraryBytes({kMemberA});
    firstMemberCut.resize(firstMemberCut.size() - 3);
    std::string lastMemberCut = good;
    lastMemberCut.resize(lastMemberCut.size() - 1);
    std::string zeroCount = std::string("VORNLIB\x1A", 8) + le32(0);
    const struct {
        const char* what;
        std::string bytes;
        bool opens;
        uint32_t members;
        bool secondSelects;
    } rows[] = {
        {"sound", good, true, 2, true},
        {"header cut", good.substr(0, 10), false, 0, false},
        {"count of millions", millions, false, 0, false},
        {"no members", zeroCount, false, 0, false},
        {"member offset past end", offsetPastEnd, true, 2, false},
        // A damaged first member does not hide the sound one after it.
        {"first member offset inside the table", offsetIntoTable, true, 2, true},
        {"only member cut short", firstMemberCut, false, 0, false},
        {"last member cut short", lastMemberCut, true, 2, false},
    };
    TempFolder folder;
    for (const auto& row : rows) {
        VornLibraryCollection library;
        const bool opened = library.open(folder.write("l.qkl", row.bytes).c_str());
        ASSERT_EQ(opened, row.opens) << row.what;
        EXPECT_EQ(library.getMemberCount(), row.members) << row.what;
        EXPECT_EQ(library.selectMember(1), row.secondSelects) << row.what;
        char name[kEntryNameBuffer];
        EXPECT_EQ(library.firstEntry(name), row.secondSelects) << row.what;
    }
}

}  // namespace
}  // namespace vorn::test
