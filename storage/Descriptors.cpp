#include "storage/Descriptors.h"

#include <cstring>
#include <string_view>

#include "base/LittleEndian.h"
#include "storage/DriveCatalog.h"

namespace vorn {

namespace {

constexpr uint32_t kVendorIdOffset = 12;
constexpr uint32_t kProductIdOffset = 16;
constexpr uint32_t kProductRevisionOffset = 20;
constexpr uint32_t kIdTextSize = 1024;
constexpr uint32_t kIdCopyLimit = 896;

// A descriptor string ends at its first zero byte; empty means absent.
std::string_view descriptorText(const std::string& text) {
    return std::string_view(text.c_str());
}

}  // namespace

DeviceDescriptor buildDeviceDescriptor(const DriveIdentity& identity) {
    // Without identity only the kernel name (or an image's file name) is known.
    const std::string_view vendor = identity.hasIdentity ? descriptorText(identity.vendor) : "";
    std::string_view product = descriptorText(identity.product);
    if (!identity.hasIdentity && product.empty()) {
        product = descriptorText(identity.name);
    }
    const std::string_view revision = identity.hasIdentity ? descriptorText(identity.revision) : "";

    DeviceDescriptor descriptor;
    descriptor.bytes.assign(kDeviceDescriptorHeader, 0);
    const auto append = [&](std::string_view text, uint32_t offsetField) {
        if (text.empty()) {
            return;
        }
        storeLe32(descriptor.bytes.data() + offsetField,
                  static_cast<uint32_t>(descriptor.bytes.size()));
        descriptor.bytes.insert(descriptor.bytes.end(), text.begin(), text.end());
        descriptor.bytes.push_back(0);
    };
    append(vendor, kVendorIdOffset);
    append(product, kProductIdOffset);
    append(revision, kProductRevisionOffset);

    descriptor.length = static_cast<uint32_t>(descriptor.bytes.size());
    uint8_t* header = descriptor.bytes.data();
    storeLe32(header + 0, descriptor.length);  // Version
    storeLe32(header + 4, descriptor.length);  // Size
    header[8] = 0;                             // DeviceType: direct access
    header[9] = 0;                             // DeviceTypeModifier
    header[kDescRemovableMedia] = identity.removable;
    header[11] = identity.commandQueueing;
    storeLe32(header + kDescBusType, identity.busType);
    // The zero byte that follows the answer in the query's zeroed buffer.
    descriptor.bytes.push_back(0);
    return descriptor;
}

std::array<uint8_t, kAdapterDescriptorSize> buildAdapterDescriptor(const DriveIdentity& identity) {
    std::array<uint8_t, kAdapterDescriptorSize> bytes{};
    storeLe32(&bytes[0], kAdapterDescriptorSize);  // Version
    storeLe32(&bytes[4], kAdapterDescriptorSize);  // Size
    storeLe32(&bytes[8], identity.maxTransferLength);
    storeLe32(&bytes[12], identity.maxPhysicalPages);
    storeLe32(&bytes[16], identity.alignmentMask);
    bytes[20] = 0;  // AdapterUsesPio
    bytes[21] = 0;  // AdapterScansDown
    bytes[22] = identity.commandQueueing;
    bytes[23] = 0;  // AcceleratedTransfer: nothing in sysfs tells
    bytes[24] = static_cast<uint8_t>(identity.busType > 0xff ? 0xff : identity.busType);
    storeLe16(&bytes[26], identity.busMajorVersion);
    storeLe16(&bytes[28], identity.busMinorVersion);
    return bytes;
}

uint32_t descriptorU32(const uint8_t* bytes, uint32_t length, uint32_t offset) {
    if (bytes == nullptr || offset > length || length - offset < 4) {
        return 0;
    }
    return loadLe32(bytes + offset);
}

uint8_t descriptorU8(const uint8_t* bytes, uint32_t length, uint32_t offset) {
    return bytes == nullptr || offset >= length ? 0 : bytes[offset];
}

void deviceIdFromDescriptor(const uint8_t* bytes, uint32_t length, char* out) {
    if (bytes == nullptr || length >= kIdTextSize) {
        std::strcpy(out, "Unknown");
        return;
    }
    std::memset(out, 0, kIdTextSize);
    uint32_t pos = 0;
    for (const uint32_t field : {kVendorIdOffset, kProductIdOffset, kProductRevisionOffset}) {
        const uint32_t offset = descriptorU32(bytes, length, field);
        if (offset == 0) {
            continue;
        }
        // An offset at or past the end simply yields nothing: the read stops there.
        for (uint32_t at = offset; at < length && bytes[at] != 0 && pos <= kIdCopyLimit; ++at) {
            out[pos++] = static_cast<char>(bytes[at]);
        }
        if (field != kProductRevisionOffset) {
            out[pos++] = ' ';
        }
    }
    // Collapse runs of spaces first; underscores turn into spaces only afterwards.
    uint32_t kept = 0;
    for (uint32_t i = 0; i < pos; ++i) {
        if (!(out[i] == ' ' && out[i + 1] == ' ')) {
            out[kept++] = out[i];
        }
    }
    std::memset(out + kept, 0, pos - kept);
    for (uint32_t i = 0; i < kept; ++i) {
        if (out[i] == '_') {
            out[i] = ' ';
        }
    }
}

}  // namespace vorn
