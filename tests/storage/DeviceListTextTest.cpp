#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "storage/DeviceListText.h"
#include "support/MemoryDevice.h"

namespace vorn::test {
namespace {

// Answers chosen sizes and texts and records the order it was asked in.
class ListedDevice : public MemoryDevice {
public:
    ListedDevice(uint64_t sectors, uint32_t blockSize, std::string letters, std::string id)
        : MemoryDevice(Options{.sectors = sectors, .keepData = false}),
          sectors_(sectors),
          blockSize_(blockSize),
          letters_(std::move(letters)),
          id_(std::move(id)) {}

    uint64_t mediaSectors() override { return ask("mediaSectors", sectors_); }
    uint32_t mediaBlockSize() override { return ask("mediaBlockSize", blockSize_); }
    const char* deviceId() override { return ask("deviceId", id_.c_str()); }
    const char* deviceLetters() override { return ask("deviceLetters", letters_.c_str()); }

    std::vector<std::string> asked;

private:
    template <typename T>
    T ask(const char* what, T answer) {
        asked.emplace_back(what);
        return answer;
    }

    uint64_t sectors_;
    uint32_t blockSize_;
    std::string letters_;
    std::string id_;
};

struct ListCase {
    uint64_t sectors;
    uint32_t blockSize;
    const char* letters;
    const char* expected;
};

TEST(DeviceListText, ChoosesUnitByStrictlyGreaterDecimalThresholds) {
    const ListCase cases[] = {
        {3906250, 512, "E:", "(E:) X (2.0GB)"},
        {1953125, 512, "E:", "(E:) X (1000.0MB)"},  // exactly 10^9 bytes
        {1000000001, 1, "E:", "(E:) X (1.0GB)"},
        {2, 1, "E:", "(E:) X (0.0MB)"},
        {1, 1, "E:", "(E:) X (no media)"},
        {0, 512, "E:", "(E:) X (no media)"},
        {4096, 0, "E:", "(E:) X (no media)"},
        {3906250, 512, "", "() X (2.0GB)"},
        {15633408, 512, "/media/a,/media/b", "(/media/a,/media/b) X (8.0GB)"},
        // 2^63 sectors of 512 bytes wrap to 0 in 64 bits; still a (huge) capacity.
        {uint64_t{1} << 63, 512, "", "() X (4722366482869.6GB)"},
    };
    for (const ListCase& c : cases) {
        ListedDevice device(c.sectors, c.blockSize, c.letters, "X");
        EXPECT_EQ(deviceListText(device), c.expected) << c.sectors << " x " << c.blockSize;
    }
}

TEST(DeviceListText, AsksSizesThenIdThenLettersAndKeepsLongTextsWhole) {
    const std::string id(3000, 'i');
    const std::string letters(1500, 'l');
    ListedDevice device(3906250, 512, letters, id);
    EXPECT_EQ(deviceListText(device), "(" + letters + ") " + id + " (2.0GB)");
    const std::vector<std::string> order = {"mediaSectors", "mediaBlockSize", "deviceId",
                                            "deviceLetters"};
    EXPECT_EQ(device.asked, order);
}

}  // namespace
}  // namespace vorn::test
