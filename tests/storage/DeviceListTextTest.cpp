#include <gtest/gtest.h>

#include <string>

#include "storage/DeviceListText.h"
#include "support/MemoryDevice.h"

namespace vorn::test {
namespace {

// Answers chosen sizes and texts.
class ListedDevice : public MemoryDevice {
public:
    ListedDevice(uint64_t sectors, uint32_t blockSize, std::string mountPoints, std::string id)
        : MemoryDevice(Options{.sectors = sectors, .keepData = false}),
          blockSize_(blockSize),
          mountPoints_(std::move(mountPoints)),
          id_(std::move(id)) {}

    uint32_t mediaBlockSize() override { return blockSize_; }
    const char* deviceId() override { return id_.c_str(); }
    const char* mountPointsText() override { return mountPoints_.c_str(); }

private:
    uint32_t blockSize_;
    std::string mountPoints_;
    std::string id_;
};

TEST(DeviceListText, ChoosesUnitByStrictlyGreaterDecimalThresholds) {
    const std::string longId(3000, 'i');
    const std::string longLetters(1500, 'l');
    const struct {
        uint64_t sectors;
        uint32_t blockSize;
        std::string mountPoints, id, expected;
    } cases[] = {
        {3906250, 512, "E:", "X", "(E:) X (2.0GB)"},
        {1953125, 512, "E:", "X", "(E:) X (1000.0MB)"},  // exactly 10^9 bytes
        {1000000001, 1, "E:", "X", "(E:) X (1.0GB)"},
        {2, 1, "E:", "X", "(E:) X (0.0MB)"},
        {1, 1, "E:", "X", "(E:) X (no media)"},
        {0, 512, "E:", "X", "(E:) X (no media)"},
        {4096, 0, "E:", "X", "(E:) X (no media)"},
        {3906250, 512, "", "X", "() X (2.0GB)"},
        {15633408, 512, "/media/a,/media/b", "X", "(/media/a,/media/b) X (8.0GB)"},
        // 2^63 sectors of 512 bytes wrap to 0 in 64 bits; still a (huge) capacity.
        {uint64_t{1} << 63, 512, "", "X", "() X (4722366482869.6GB)"},
        // Long texts stay whole.
        {3906250, 512, longLetters, longId, "(" + longLetters + ") " + longId + " (2.0GB)"},
    };
    for (const auto& c : cases) {
        ListedDevice device(c.sectors, c.blockSize, c.mountPoints, c.id);
        EXPECT_EQ(deviceListText(device), c.expected) << c.sectors << " x " << c.blockSize;
    }
}

}  // namespace
}  // namespace vorn::test
