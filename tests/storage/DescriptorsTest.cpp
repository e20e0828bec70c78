#include "storage/Descriptors.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "storage/DriveCatalog.h"

namespace vorn::test {
namespace {

uint32_t u32At(const std::vector<uint8_t>& bytes, size_t at) {
    return descriptorU32(bytes.data(), static_cast<uint32_t>(bytes.size()),
                         static_cast<uint32_t>(at));
}

std::string textAt(const std::vector<uint8_t>& bytes, size_t at) {
    return std::string(reinterpret_cast<const char*>(bytes.data() + at));
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

TEST(Descriptors, DeviceDescriptorLayoutFieldByField) {
    const DeviceDescriptor d = buildDeviceDescriptor(usbKey());
    const uint32_t length = 40 + 9 + 17 + 5;
    ASSERT_EQ(d.length, length);
    ASSERT_EQ(d.bytes.size(), length + 1);
    EXPECT_EQ(u32At(d.bytes, 0), length);  // Version
    EXPECT_EQ(u32At(d.bytes, 4), length);  // Size
    EXPECT_EQ(d.bytes[8], 0);              // DeviceType: direct access
    EXPECT_EQ(d.bytes[9], 0);
    EXPECT_EQ(d.bytes[10], 1);  // RemovableMedia
    EXPECT_EQ(d.bytes[11], 1);  // CommandQueueing
    EXPECT_EQ(u32At(d.bytes, 12), 40u);
    EXPECT_EQ(u32At(d.bytes, 16), 49u);
    EXPECT_EQ(u32At(d.bytes, 20), 66u);
    EXPECT_EQ(u32At(d.bytes, 24), 0u);  // SerialNumberOffset
    EXPECT_EQ(u32At(d.bytes, 28), uint32_t{kBusUsb20});
    EXPECT_EQ(u32At(d.bytes, 32), 0u);  // RawPropertiesLength
    EXPECT_EQ(u32At(d.bytes, 36), 0u);
    EXPECT_EQ(textAt(d.bytes, 40), "Generic ");
    EXPECT_EQ(textAt(d.bytes, 49), "Flash Disk      ");
    EXPECT_EQ(textAt(d.bytes, 66), "8.07");
    EXPECT_EQ(d.bytes[length - 1], 0);
    EXPECT_EQ(d.bytes[length], 0);
    EXPECT_EQ(descriptorU8(d.bytes.data(), d.length, kDescRemovableMedia), 1);
    EXPECT_EQ(descriptorU32(d.bytes.data(), d.length, kDescBusType), uint32_t{kBusUsb20});
}

TEST(Descriptors, WithoutIdentityOnlyTheKernelNameIsPresent) {
    DriveIdentity id;
    id.name = "loop1";
    id.product = "loop1";
    id.vendor = "ignored";  // not identity: left out
    const DeviceDescriptor d = buildDeviceDescriptor(id);
    ASSERT_EQ(d.length, 46u);
    EXPECT_EQ(u32At(d.bytes, 12), 0u);
    EXPECT_EQ(u32At(d.bytes, 16), 40u);
    EXPECT_EQ(u32At(d.bytes, 20), 0u);
    EXPECT_EQ(textAt(d.bytes, 40), "loop1");
    std::array<char, 1024> text{};
    deviceIdFromDescriptor(d.bytes.data(), d.length, text.data());
    EXPECT_STREQ(text.data(), "loop1 ");
}

TEST(Descriptors, AdapterDescriptorLayoutFieldByField) {
    const std::array<uint8_t, 32> a = buildAdapterDescriptor(usbKey());
    const std::vector<uint8_t> bytes(a.begin(), a.end());
    EXPECT_EQ(u32At(bytes, 0), 32u);
    EXPECT_EQ(u32At(bytes, 4), 32u);
    EXPECT_EQ(u32At(bytes, 8), 122880u);
    EXPECT_EQ(u32At(bytes, 12), 2048u);
    EXPECT_EQ(u32At(bytes, 16), 511u);
    EXPECT_EQ(bytes[20], 0);  // AdapterUsesPio
    EXPECT_EQ(bytes[21], 0);  // AdapterScansDown
    EXPECT_EQ(bytes[22], 1);  // CommandQueueing
    EXPECT_EQ(bytes[24], kBusUsb20);
    EXPECT_EQ(bytes[25], 0);
    EXPECT_EQ(bytes[26] | bytes[27] << 8, 2);
    EXPECT_EQ(bytes[28] | bytes[29] << 8, 0);
    EXPECT_EQ(bytes[30] | bytes[31], 0);
}

// A raw descriptor: header with the three offsets, then the given bytes from 40.
struct Raw {
    uint32_t vendor, product, revision;
    std::string tail;
    uint32_t length;  // 0: header and tail
};

std::string idFrom(const Raw& raw) {
    const size_t whole = kDeviceDescriptorHeader + raw.tail.size();
    const uint32_t length = raw.length != 0 ? raw.length : static_cast<uint32_t>(whole);
    std::vector<uint8_t> bytes(std::max<size_t>(whole, length), 0);
    std::memcpy(bytes.data() + kDeviceDescriptorHeader, raw.tail.data(), raw.tail.size());
    const auto put = [&](size_t at, uint32_t value) {
        for (int i = 0; i < 4; ++i) {
            bytes[at + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
        }
    };
    put(12, raw.vendor);
    put(16, raw.product);
    put(20, raw.revision);
    std::array<char, 1024> text{};
    text.fill('#');
    deviceIdFromDescriptor(bytes.data(), length, text.data());
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
