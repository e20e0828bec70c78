#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "results/LinkEntry.h"
#include "storage/Descriptors.h"
#include "storage/DeviceInfoData.h"
#include "view/ChartResults.h"

// Checked results as the maker's results folder holds them: written entry by entry as a
// run stores them, with the device record (bus, capacity) and the stored link.
namespace vorn::test {

// 2008-03-14 and 2025-06-01, both at noon UTC: years a library is grouped by.
inline constexpr int32_t kTime2008 = 1205496000;
inline constexpr int32_t kTime2025 = 1748779200;

// A device record whose descriptor names `bus` and whose medium holds `sectors` of 512.
inline bool addDeviceRecord(I_VornCollection& file, uint32_t bus, uint64_t sectors) {
    std::vector<uint8_t> descriptor(48, 0);
    descriptor[0] = static_cast<uint8_t>(descriptor.size());
    descriptor[4] = static_cast<uint8_t>(descriptor.size());
    descriptor[kDescBusType] = static_cast<uint8_t>(bus);
    const uint8_t adapter[32] = {32, 0, 0, 0, 32};
    DeviceInfoData info{};
    info.mediaPresent = 1;
    info.mediaBlockSize = 512;
    info.mediaSectors = sectors;
    return file.addEntry("2KDEVINFO-sdd", nullptr, static_cast<uint32_t>(descriptor.size()),
                         descriptor.data()) &&
           file.addEntry("2KDEVINFO-add", nullptr, sizeof adapter, adapter) &&
           file.addEntry("2KDEVINFO-hid", "PhysicalDevice 0", 0, nullptr) &&
           file.addEntry("2KDEVINFO-dpath", "/dev/sdx", 0, nullptr) &&
           file.addEntry("2KDEVINFO-data", nullptr, sizeof info, &info);
}

inline DriveLink usbLink(const std::string& product) {
    DriveLink link;
    link.usb = UsbLink{480000, "2.00", "usb-storage", 0x0781, 0x5567, "Maker", product, "123"};
    return link;
}

inline DriveLink cardLink(const std::string& name = "SN64G") {
    DriveLink link;
    link.card = CardIdentity{};
    link.card->type = "SD";
    link.card->manfid = 3;
    link.card->name = name;
    return link;
}

// A whole result: read and write bars, access times, a test time, a device record and
// (when given) the link.
inline StoredResult makerResult(const std::string& id, int32_t testTime, uint32_t readRate,
                                std::optional<DriveLink> link = std::nullopt, uint32_t bus = 9) {
    StoredResult result = sampleResult(id, {readRate / 2, readRate}, {readRate / 4, readRate / 3});
    result.testTime = testTime;
    result.more = [bus, link](I_VornCollection& file) {
        return addDeviceRecord(file, bus, 131072) && (!link || addLinkEntry(file, *link));
    };
    return result;
}

}  // namespace vorn::test
