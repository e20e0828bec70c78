#include "results/VornDiskCollection.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "results/Collections.h"
#include "tests/results/ResultBytes.h"

namespace vorn::test {
namespace {

TEST(VornDiskCollection, EmptyFileIsHeaderWithLengthAndItsCrc) {
    TempFolder folder;
    ASSERT_NE(createCollection(folder.file("empty.qkc").c_str()), nullptr);
    const std::string bytes = folder.read("empty.qkc");
    ASSERT_EQ(bytes.size(), 16u);
    EXPECT_EQ(bytes.substr(0, 8), std::string("VORN\x1A\0\0\0", 8));
    EXPECT_EQ(bytes.substr(12), le32(16));
    EXPECT_EQ(bytes.substr(8, 4), le32(crcOf(le32(16))));
    auto reader = openCollection(folder.file("empty.qkc").c_str());
    ASSERT_NE(reader, nullptr);
    char name[kEntryNameBuffer] = "x";
    EXPECT_FALSE(reader->firstEntry(name));
    EXPECT_STREQ(name, "");
}

TEST(VornDiskCollection, WritesEntriesByteForByte) {
    TempFolder folder;
    const uint32_t time = 0x5F3A1260;
    {
        auto writer = createCollection(folder.file("t.qkt").c_str());
        ASSERT_NE(writer, nullptr);
        ASSERT_TRUE(writer->addEntry("QKCTIME", nullptr, 4, &time));
        ASSERT_TRUE(writer->addEntry("VERSION", "1.0", 0, nullptr));
    }
    const std::string bytes = folder.read("t.qkt");
    const std::string timeEntry = entryBytes({"QKCTIME", std::nullopt, le32(time)});
    EXPECT_EQ(timeEntry.size(), 28u);
    EXPECT_EQ(bytes, resultBytes(timeEntry + entryBytes({"VERSION", "1.0", ""})));
}

TEST(VornDiskCollection, FindEntryReportsLengthsAndFillsWithinCapacities) {
    TempFolder folder;
    folder.write("r.qkc", resultBytes({{"QKCR2", "1,2,3", "abcdefgh"},
                                       {"QKCTIME", {}, "WXYZ"},
                                       {"DRIVEID", "Key", ""}}));
    auto reader = openCollection(folder.file("r.qkc").c_str());
    ASSERT_NE(reader, nullptr);

    uint32_t valueCapacity = 0, dataCapacity = 0;
    ASSERT_TRUE(reader->findEntry("QKCR2", &valueCapacity, nullptr, &dataCapacity, nullptr));
    EXPECT_EQ(valueCapacity, 6u);
    EXPECT_EQ(dataCapacity, 8u);

    char value[16];
    char data[32];
    std::memset(data, '#', sizeof data);
    valueCapacity = sizeof value;
    dataCapacity = 3;
    ASSERT_TRUE(reader->findEntry("QKCR2", &valueCapacity, value, &dataCapacity, data));
    EXPECT_STREQ(value, "1,2,3");
    EXPECT_EQ(std::string(data, 4), "abc#");
    EXPECT_EQ(dataCapacity, 8u);

    // A value cut short by its capacity still ends in a zero byte.
    valueCapacity = 3;
    ASSERT_TRUE(reader->findEntry("QKCR2", &valueCapacity, value, nullptr, nullptr));
    EXPECT_STREQ(value, "1,");

    valueCapacity = sizeof value;
    dataCapacity = 32;
    ASSERT_TRUE(reader->findEntry("QKCTIME", &valueCapacity, value, &dataCapacity, data));
    EXPECT_EQ(valueCapacity, 0u);
    EXPECT_EQ(dataCapacity, 4u);
    EXPECT_EQ(std::string(data, 4), "WXYZ");

    valueCapacity = 0;
    dataCapacity = 32;
    ASSERT_TRUE(reader->findEntry("QKCR2", &valueCapacity, nullptr, &dataCapacity, data));
    valueCapacity = 0;
    ASSERT_TRUE(reader->findEntry("QKCTIME", &valueCapacity, nullptr, &dataCapacity, data));
    EXPECT_EQ(dataCapacity, 4u);
    // A value capacity without a buffer to fill is refused.
    valueCapacity = 4;
    EXPECT_FALSE(reader->findEntry("QKCTIME", &valueCapacity, nullptr, nullptr, nullptr));
    EXPECT_FALSE(reader->findEntry("qkctime", &valueCapacity, nullptr, &dataCapacity, nullptr));
    // An entry without data answers length 0; the value capacity may be left out.
    dataCapacity = 32;
    ASSERT_TRUE(reader->findEntry("DRIVEID", nullptr, nullptr, &dataCapacity, data));
    EXPECT_EQ(dataCapacity, 0u);
    EXPECT_FALSE(reader->findEntry("QKCTIM", &valueCapacity, nullptr, &dataCapacity, nullptr));
}

TEST(VornDiskCollection, RepeatedNamesFindTheFirstAndIterateBoth) {
    TempFolder folder;
    {
        auto writer = createCollection(folder.file("d.qkc").c_str());
        ASSERT_NE(writer, nullptr);
        ASSERT_TRUE(writer->addEntry("NOTE", "first", 0, nullptr));
        ASSERT_TRUE(writer->addEntry("OTHER", nullptr, 2, "zz"));
        ASSERT_TRUE(writer->addEntry("NOTE", "second", 0, nullptr));
    }
    auto reader = openCollection(folder.file("d.qkc").c_str());
    ASSERT_NE(reader, nullptr);
    char value[16];
    uint32_t capacity = sizeof value;
    ASSERT_TRUE(reader->findEntry("NOTE", &capacity, value, nullptr, nullptr));
    EXPECT_STREQ(value, "first");

    const char* expected[][2] = {{"NOTE", "first"}, {"OTHER", ""}, {"NOTE", "second"}};
    char name[kEntryNameBuffer];
    bool more = reader->firstEntry(name);
    for (const auto& row : expected) {
        ASSERT_TRUE(more);
        EXPECT_STREQ(name, row[0]);
        capacity = sizeof value;
        ASSERT_TRUE(reader->readCurrentEntry(&capacity, value, nullptr, nullptr));
        EXPECT_STREQ(value, row[1]);
        more = reader->nextEntry(name);
    }
    EXPECT_FALSE(more);
    EXPECT_STREQ(name, "");
    EXPECT_FALSE(reader->nextEntry(name));
    EXPECT_FALSE(reader->readCurrentEntry(&capacity, value, nullptr, nullptr));
    // firstEntry starts over.
    ASSERT_TRUE(reader->firstEntry(name));
    EXPECT_STREQ(name, "NOTE");
}

TEST(VornDiskCollection, FileDoesNotOpenWhileItsWriterIsAlive) {
    TempFolder folder;
    const std::string path = folder.file("live.qkt");
    auto writer = createCollection(path.c_str());
    ASSERT_NE(writer, nullptr);
    ASSERT_TRUE(writer->addEntry("VERSION", "1", 0, nullptr));
    EXPECT_EQ(openCollection(path.c_str()), nullptr);
    writer.reset();
    EXPECT_NE(openCollection(path.c_str()), nullptr);
}

TEST(VornDiskCollection, ModesGuardReadingAndWriting) {
    TempFolder folder;
    const std::string path = folder.file("m.qkc");
    VornDiskCollection writer;
    char name[kEntryNameBuffer];
    uint32_t capacity = 0;
    EXPECT_FALSE(writer.addEntry("A", nullptr, 0, nullptr));  // closed
    ASSERT_TRUE(writer.create(path.c_str()));
    EXPECT_FALSE(writer.create(path.c_str()));
    EXPECT_FALSE(writer.open(path.c_str()));
    ASSERT_TRUE(writer.addEntry("A", "v", 0, nullptr));
    EXPECT_FALSE(writer.findEntry("A", &capacity, nullptr, nullptr, nullptr));
    EXPECT_FALSE(writer.firstEntry(name));
    EXPECT_EQ(writer.getMemberCount(), 1u);
    EXPECT_TRUE(writer.selectMember(0));

    {
        VornDiskCollection other;
        ASSERT_TRUE(other.create(folder.file("n.qkc").c_str()));
        ASSERT_TRUE(other.addEntry("B", nullptr, 0, nullptr));
    }
    VornDiskCollection keep;
    ASSERT_TRUE(keep.open(folder.file("n.qkc").c_str()));
    EXPECT_FALSE(keep.addEntry("C", nullptr, 0, nullptr));
    EXPECT_FALSE(keep.create(folder.file("o.qkc").c_str()));
    EXPECT_TRUE(keep.findEntry("B", &capacity, nullptr, nullptr, nullptr));
}

TEST(VornDiskCollection, AddEntryRefusesBadNamesAndMissingData) {
    TempFolder folder;
    {
        auto writer = createCollection(folder.file("n.qkc").c_str());
        ASSERT_NE(writer, nullptr);
        const std::string longest(kMaxEntryName, 'N');
        EXPECT_FALSE(writer->addEntry(nullptr, "v", 0, nullptr));
        EXPECT_FALSE(writer->addEntry("", "v", 0, nullptr));
        EXPECT_FALSE(writer->addEntry((longest + "N").c_str(), "v", 0, nullptr));
        EXPECT_FALSE(writer->addEntry("DATA", nullptr, 4, nullptr));
        EXPECT_TRUE(writer->addEntry(longest.c_str(), "kept", 0, nullptr));
    }
    auto reader = openCollection(folder.file("n.qkc").c_str());
    ASSERT_NE(reader, nullptr);
    char name[kEntryNameBuffer];
    ASSERT_TRUE(reader->firstEntry(name));
    EXPECT_EQ(std::string(name), std::string(kMaxEntryName, 'N'));
    EXPECT_FALSE(reader->nextEntry(name));
}

}  // namespace
}  // namespace vorn::test
