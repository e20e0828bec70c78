#include "storage/Descriptors.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "storage/DriveCatalog.h"
#include "support/LittleEndianBytes.h"

namespace vorn::test {
namespace {

std::string textOf(const uint8_t* bytes, size_t length) {
    return std::string(reinterpret_cast<const char*>(bytes), length);
}

DriveIdentity usbKey() {
    DriveIdentity id;
    id.name = "sdb";
    id.hasIdentity = true;
    id.vendor = "Generic ";
    id.product = "Flash Disk      ";
    id.revision = "8.07";
    id.removable = 1;
    id.busType = kBusUsb20;
    id.maxTransferLength = 122880;
    id.maxPhysicalPages = 2048;
    id.alignmentMask = 511;
    id.busMajorVersion = 2;
    id.busMinorVersion = 0;
    id.commandQueueing = 1;
    return id;
}

TEST(Descriptors, DeviceDescriptorLayoutByteForByte) {
    const DeviceDescriptor d = buildDeviceDescriptor(usbKey());
    // Version and Size, direct-access device type, removable, command queueing, the
    // three string offsets, no serial number, bus type, no raw properties.
    const std::string expected = le32(71) + le32(71) + std::string("\0\0\1\1", 4) + le32(40) +
                                 le32(49) + le32(66) + le32(0) + le32(kBusUsb20) + le32(0) +
                                 le32(0) + std::string("Generic \0Flash Disk      \08.07\0", 31);
    ASSERT_EQ(d.length, 71u);
    ASSERT_EQ(d.bytes.size(), 72u);
    EXPECT_EQ(textOf(d.bytes.data(), 71), expected);
    EXPECT_EQ(d.bytes[71], 0);
    EXPECT_EQ(descriptorU8(d.bytes.data(), d.length, kDescRemovableMedia), 1);
    EXPECT_EQ(descriptorU32(d.bytes.data(), d.length, kDescBusType), uint32_t{kBusUsb20});

    // Without identity only the kernel name is there, as the product.
    DriveIdentity loop;
    loop.name = loop.product = "loop1";
    loop.vendor = "ignored";
    const DeviceDescriptor bare = buildDeviceDescriptor(loop);
    ASSERT_EQ(bare.length, 46u);
    EXPECT_EQ(textOf(bare.bytes.data() + 12, 12), le32(0) + le32(40) + le32(0));
    EXPECT_EQ(textOf(bare.bytes.data() + 40, 6), std::string("loop1\0", 6));
    std::array<char, 1024> text{};
    deviceIdFromDescriptor(bare.bytes.data(), bare.length, text.data());
    EXPECT_STREQ(text.data(), "loop1 ");
}

TEST(Descriptors, AdapterDescriptorLayoutByteForByte) {
    const std::array<uint8_t, 32> a = buildAdapterDescriptor(usbKey());
    // Version, Size, transfer length, pages, alignment; PIO, scans down, command
    // queueing, accelerated; bus type and its pad byte, bus version 2.0, zero to 32.
    const std::string expected = le32(32) + le32(32) + le32(122880) + le32(2048) + le32(511) +
                                 std::string("\0\0\1\0", 4) +
                                 std::string("\x09\0\x02\0\0\0\0\0", 8);
    EXPECT_EQ(textOf(a.data(), a.size()), expected);
}

// A raw descriptor: header with the three offsets, then the given bytes from 40.
struct Raw {
    uint32_t vendor, product, revision;
    std::string tail;
    uint32_t length;  // 0: header and tail
};

std::string idFrom(const Raw& raw) {
    std::string bytes = std::string(12, '\0') + le32(raw.vendor) + le32(raw.product) +
                        le32(raw.revision) + std::string(16, '\0') + raw.tail;
    const uint32_t length = raw.length != 0 ? raw.length : static_cast<uint32_t>(bytes.size());
    bytes.resize(std::max<size_t>(bytes.size(), length));
    std::array<char, 1024> text{};
    text.fill('#');
    deviceIdFromDescriptor(reinterpret_cast<const uint8_t*>(bytes.data()), length, text.data());
    return std::string(text.data(), strnlen(text.data(), text.size()));
}

std::string z(const std::string& text) {
    return text + std::string(1, '\0');
}

TEST(Descriptors, DeviceIdKnownAnswers) {
    const std::string big(950, 'a');
    const struct {
        const char* label;
        Raw raw;
        std::string expected;
    } cases[] = {
        {"all offsets 0", {0, 0, 0, "junk", 0}, ""},
        {"padded scsi strings",
         {40, 49, 66, z("Generic ") + z("Flash Disk      ") + z("8.07"), 0},
         "Generic Flash Disk 8.07"},
        {"underscores", {40, 42, 0, z("A") + z("B_C_D"), 0}, "A B C D "},
        {"runs of spaces",
         {40, 52, 0, z("  Lexar    ") + z("Jump   Drive"), 0},
         " Lexar Jump Drive "},
        {"underscore beside a space", {40, 44, 0, z("A_ ") + z("B"), 0}, "A  B "},
        {"absent revision",
         {40, 49, 0, z("Kingston") + z("DataTraveler"), 0},
         "Kingston DataTraveler "},
        {"absent vendor", {0, 40, 46, z("Model") + z("1.0"), 0}, "Model 1.0"},
        {"offset past the end", {40, 5000, 42, z("V") + z("R"), 0}, "V R"},
        {"offset exactly at the end", {40, 42, 0, z("V"), 42}, "V "},
        {"no terminator at the end", {40, 42, 48, z("V") + z("Model") + "1.0", 51}, "V Model 1.0"},
        {"header cut short", {40, 42, 44, z("V"), 10}, ""},
        {"copy stops after 896",
         {40, 991, 993, z(big) + z("P") + z("R"), 0},
         std::string(897, 'a') + " "},
        {"1023 bytes", {40, 0, 0, z("X"), 1023}, "X "},
        {"1024 bytes", {40, 0, 0, z("X"), 1024}, "Unknown"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(idFrom(c.raw), c.expected);
    }
    std::array<char, 1024> text{};
    deviceIdFromDescriptor(nullptr, 0, text.data());
    EXPECT_STREQ(text.data(), "Unknown");
}

TEST(Descriptors, FieldReadersStayInsideTheDescriptor) {
    const std::vector<uint8_t> bytes = {1, 2, 3, 4, 5, 6};
    EXPECT_EQ(descriptorU32(bytes.data(), 6, 0), 0x04030201u);
    EXPECT_EQ(descriptorU32(bytes.data(), 6, 2), 0x06050403u);
    EXPECT_EQ(descriptorU32(bytes.data(), 6, 3), 0u);
    EXPECT_EQ(descriptorU32(bytes.data(), 6, UINT32_MAX - 1), 0u);
    EXPECT_EQ(descriptorU32(nullptr, 6, 0), 0u);
    EXPECT_EQ(descriptorU8(bytes.data(), 6, 5), 6);
    EXPECT_EQ(descriptorU8(bytes.data(), 6, 6), 0);
    EXPECT_EQ(descriptorU8(nullptr, 6, 0), 0);
}

}  // namespace
}  // namespace vorn::test
