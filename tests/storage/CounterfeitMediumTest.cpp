// The test medium's counterfeit lies, seen through a live drive opened on it: the
// claimed size, what the part past the real size does, and the write cache.

#include <gtest/gtest.h>

#include <vector>

#include "storage/LinuxDrive.h"
#include "support/TestMedium.h"

namespace vorn::test {
namespace {

constexpr uint64_t kRealSectors = 2048;  // 1 MiB of image
constexpr uint64_t kClaimedSectors = 8192;
constexpr uint32_t kBuffer = 65536;

std::vector<uint8_t> sectorOf(uint8_t fill) {
    return std::vector<uint8_t>(512, fill);
}

struct Opened {
    std::unique_ptr<TestMedium> medium;
    std::unique_ptr<LinuxDrive> disk;
};

// A medium of kRealSectors claiming kClaimedSectors with the given extra control lines.
Opened openLying(const std::string& lines) {
    Opened o;
    o.medium = std::make_unique<TestMedium>(kRealSectors * 512);
    if (!o.medium->ready()) {
        return o;
    }
    EXPECT_TRUE(o.medium->control("claim=" + std::to_string(kClaimedSectors * 512) + "\n" + lines));
    o.disk = newLinuxDriveForPath(o.medium->mediumPath(), nullptr, kBuffer);
    if (o.disk) {
        EXPECT_TRUE(o.disk->enableWrite(1, 512, 0));
    }
    return o;
}

TEST(CounterfeitMedium, EachModeLiesPastTheRealSizeAndKeepsTheRealPart) {
    struct Case {
        const char* mode;
        bool beyondWrites;        // a write past the real size reports success
        bool beyondReads;         // a read there succeeds
        uint8_t beyondReadsBack;  // what it answers
        uint8_t aliasAfterWrite;  // sector 10 after writing sector real + 10
    };
    const Case cases[] = {
        {"wrap", true, true, 0xBB, 0xBB},
        {"drop", true, true, 0x00, 0xAA},
        {"error", false, false, 0x00, 0xAA},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        Opened o = openLying(std::string("beyond=") + c.mode + "\n");
        if (!o.medium->ready()) {
            GTEST_SKIP() << o.medium->skipReason();
        }
        ASSERT_NE(o.disk, nullptr);
        EXPECT_EQ(o.disk->mediaSectors(), kClaimedSectors);
        ASSERT_TRUE(o.disk->write(10, 1, sectorOf(0xAA).data()));
        EXPECT_EQ(o.disk->write(kRealSectors + 10, 1, sectorOf(0xBB).data()), c.beyondWrites);
        std::vector<uint8_t> back(512, 0x55);
        EXPECT_EQ(o.disk->read(kRealSectors + 10, 1, back.data()), c.beyondReads);
        if (c.beyondReads) {
            EXPECT_EQ(back, sectorOf(c.beyondReadsBack));
        }
        ASSERT_TRUE(o.disk->read(10, 1, back.data()));
        EXPECT_EQ(back, sectorOf(c.aliasAfterWrite));
        // A request that straddles the real end: an error medium fails all of it.
        EXPECT_EQ(o.disk->read(kRealSectors - 1, 2, nullptr), c.beyondReads);
        EXPECT_TRUE(o.disk->read(kRealSectors - 1, 1, nullptr));
    }
}

TEST(CounterfeitMedium, WriteCacheAnswersRecentSectorsUntilNewerWritesPushThemOut) {
    Opened o = openLying("beyond=drop\ncache=4096\n");  // eight sectors
    if (!o.medium->ready()) {
        GTEST_SKIP() << o.medium->skipReason();
    }
    ASSERT_NE(o.disk, nullptr);
    const uint64_t lost = kRealSectors + 100;
    ASSERT_TRUE(o.disk->write(lost, 1, sectorOf(0xCC).data()));
    ASSERT_TRUE(o.disk->flush());  // a flush leaves the cache answering
    std::vector<uint8_t> back(512);
    ASSERT_TRUE(o.disk->read(lost, 1, back.data()));
    EXPECT_EQ(back, sectorOf(0xCC));
    // Seven newer sectors keep it cached, the eighth pushes it out.
    ASSERT_TRUE(o.disk->write(0, 7, nullptr));
    ASSERT_TRUE(o.disk->read(lost, 1, back.data()));
    EXPECT_EQ(back, sectorOf(0xCC));
    ASSERT_TRUE(o.disk->write(lost, 1, sectorOf(0xCD).data()));  // rewritten: newest again
    ASSERT_TRUE(o.disk->write(20, 7, nullptr));
    ASSERT_TRUE(o.disk->read(lost, 1, back.data()));
    EXPECT_EQ(back, sectorOf(0xCD));
    ASSERT_TRUE(o.disk->write(40, 1, nullptr));
    ASSERT_TRUE(o.disk->read(lost, 1, back.data()));
    EXPECT_EQ(back, sectorOf(0x00));

    // Reset takes every lie back: the real size shows again.
    ASSERT_TRUE(o.medium->control("reset=1\n"));
    auto again = newLinuxDriveForPath(o.medium->mediumPath(), nullptr, kBuffer);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->mediaSectors(), kRealSectors);
    EXPECT_FALSE(o.medium->control("beyond=sideways\n"));
}

}  // namespace
}  // namespace vorn::test
