#include "results/VornFileCRC.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/results/ResultBytes.h"

namespace vorn::test {
namespace {

TEST(VornFileCRC, TableMatchesTheReflectedPolynomial) {
    VornFileCRC crc;
    const struct {
        uint8_t index;
        uint32_t entry;
    } rows[] = {{0, 0},
                {1, 0x77073096u},
                {2, 0xEE0E612Cu},
                {128, 0xEDB88320u},
                {255, 0x2D02EF8Du},
                {37, 0x4B04D447u}};
    for (const auto& row : rows) {
        EXPECT_EQ(crc.tableEntry(row.index), row.entry) << int{row.index};
    }
}

TEST(VornFileCRC, KnownAnswersForBuffers) {
    const struct {
        std::string bytes;
        uint32_t crc;
    } rows[] = {{"", 0},
                {"123456789", 0xCBF43926u},
                {"a", 0xE8B7BE43u},
                {"The quick brown fox jumps over the lazy dog", 0x414FA339u},
                {std::string(4, '\0'), 0x2144DF1Cu}};
    auto crc = newFileCRC();
    for (const auto& row : rows) {
        EXPECT_EQ(crc->crcOfBuffer(row.bytes.data(), static_cast<uint32_t>(row.bytes.size())),
                  row.crc)
            << row.bytes;
    }
}

TEST(VornFileCRC, FileSumStartsAtThePositionAndCrossesPieces) {
    TempFolder folder;
    std::string bytes(10000, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<char>(i * 7 + 3);
    }
    const std::string path = folder.write("crc.bin", "xyz" + bytes);
    FILE* file = std::fopen(path.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    VornFileCRC crc;
    ASSERT_EQ(std::fseek(file, 3, SEEK_SET), 0);
    EXPECT_EQ(crc.crcOfFile(file, 10000), crcOf(bytes));
    // Asking for more than the file holds sums what was there.
    ASSERT_EQ(std::fseek(file, 3, SEEK_SET), 0);
    EXPECT_EQ(crc.crcOfFile(file, 20000), crcOf(bytes));
    std::fclose(file);
}

}  // namespace
}  // namespace vorn::test
