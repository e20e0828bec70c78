#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "results/Collections.h"
#include "results/RunDetails.h"
#include "results/RunRecord.h"
#include "storage/DeviceInfoData.h"
#include "support/TempDir.h"

namespace vorn::test {
namespace {

// A result file written by `fill`, opened again for reading.
std::unique_ptr<I_VornCollection> stored(const std::function<void(I_VornCollection&)>& fill) {
    static int files = 0;
    static TempDir folder;
    const std::string path = folder.file("d" + std::to_string(files++) + ".qkc");
    {
        auto writer = createCollection(path.c_str());
        EXPECT_NE(writer, nullptr);
        if (writer) {
            fill(*writer);
        }
    }
    return openCollection(path.c_str());
}

// What the user typed comes back as typed, in the stored order; empty texts and an
// unchosen bus are left out rather than stored empty.
TEST(RunDetails, WhatIsAddedReadsBackAndEmptyFieldsStayAbsent) {
    ResultDetails typed;
    typed.device = "Stick";
    typed.busIndex = 2;
    typed.processor = "Ryzen";
    typed.system = "line one\r\nline two";
    auto file = stored([&](I_VornCollection& out) { EXPECT_TRUE(addDetails(out, typed)); });
    ASSERT_NE(file, nullptr);
    const StoredDetails details = readDetails(*file);
    EXPECT_EQ(details.busIndex, 2u);
    EXPECT_EQ(textOf(details.processor), "Ryzen");
    EXPECT_EQ(textOf(details.system), "line one\r\nline two");
    EXPECT_FALSE(details.reader.has_value());
    EXPECT_FALSE(details.notes.has_value());
    EXPECT_FALSE(details.control.has_value());

    auto unchosen =
        stored([](I_VornCollection& out) { EXPECT_TRUE(addDetails(out, ResultDetails{})); });
    ASSERT_NE(unchosen, nullptr);
    EXPECT_FALSE(readDetails(*unchosen).busIndex.has_value());
    uint32_t valueLength = 0;
    uint32_t dataLength = 0;
    EXPECT_TRUE(unchosen->findEntry("DRIVEID", &valueLength, nullptr, &dataLength, nullptr))
        << "the identification is stored even when empty";
}

// Files from elsewhere: an entry without value text differs from an empty text, and a
// short bus entry counts as none.
TEST(RunDetails, OddStoredEntriesReadAsTheListingAlwaysSawThem) {
    auto file = stored([](I_VornCollection& out) {
        const unsigned char shortWord[2] = {1, 0};
        EXPECT_TRUE(out.addEntry("WPCUSRNOTES", nullptr, 0, nullptr));
        EXPECT_TRUE(out.addEntry("WPCUSRSYSTEM", "", 0, nullptr));
        EXPECT_TRUE(out.addEntry("QKCREADER", "abc", 0, nullptr));
        EXPECT_TRUE(out.addEntry("QKCINT", nullptr, sizeof shortWord, shortWord));
    });
    ASSERT_NE(file, nullptr);
    const StoredDetails stored = readDetails(*file);
    ASSERT_TRUE(stored.notes.has_value());
    EXPECT_FALSE(stored.notes->hasValue);
    ASSERT_TRUE(stored.system.has_value());
    EXPECT_TRUE(stored.system->hasValue);
    EXPECT_EQ(stored.system->text, "");
    EXPECT_EQ(textOf(stored.reader), "abc");
    EXPECT_FALSE(stored.busIndex.has_value());
    EXPECT_EQ(cutText("abcdef", 4), "abc");
    EXPECT_EQ(cutText("ab", 4), "ab");
    EXPECT_EQ(cutText("ab", 0), "");
}

// The run's value carries the drive only with a whole device record.
TEST(RunDetails, TheRunCarriesItsDriveOnlyWithAWholeRecord) {
    auto partial = stored(
        [](I_VornCollection& out) { EXPECT_TRUE(out.addEntry("DRIVEID", "Stick", 0, nullptr)); });
    ASSERT_NE(partial, nullptr);
    EXPECT_EQ(readRunRecord(*partial).device, nullptr);
    auto file = stored([](I_VornCollection& out) {
        DeviceInfoData info{};
        info.mediaBlockSize = 512;
        info.mediaSectors = 2048;
        const std::string descriptor(40, '\0');
        const std::string adapter(32, '\0');
        EXPECT_TRUE(out.addEntry("DRIVEID", "Stick", 0, nullptr));
        EXPECT_TRUE(out.addEntry("2KDEVINFO-sdd", nullptr, 40, descriptor.data()));
        EXPECT_TRUE(out.addEntry("2KDEVINFO-add", nullptr, 32, adapter.data()));
        EXPECT_TRUE(out.addEntry("2KDEVINFO-hid", "PhysicalDevice 0", 0, nullptr));
        EXPECT_TRUE(out.addEntry("2KDEVINFO-dpath", "/dev/sdb", 0, nullptr));
        EXPECT_TRUE(out.addEntry("2KDEVINFO-data", nullptr, sizeof info, &info));
    });
    ASSERT_NE(file, nullptr);
    const RunRecord run = readRunRecord(*file);
    ASSERT_NE(run.device, nullptr);
    EXPECT_EQ(run.device->mediaSectors(), 2048u);
    EXPECT_STREQ(run.device->deviceId(), "Stick");
}

}  // namespace
}  // namespace vorn::test
