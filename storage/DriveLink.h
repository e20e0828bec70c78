#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vorn {

// The card's own claims from its SD Status register, as the kernel exposes it ("ssr").
// 0 where the card claims no class of that kind.
struct SdClaims {
    uint8_t speedClass = 0;  // 2, 4, 6 or 10
    uint8_t uhsGrade = 0;    // 1 or 3 (U1, U3)
    uint8_t videoClass = 0;  // 6, 10, 30, 60 or 90
    uint8_t appClass = 0;    // 1 or 2 (A1, A2)

    bool operator==(const SdClaims&) const = default;
};

// A USB device as sysfs describes it.
struct UsbLink {
    uint32_t speedKbps = 0;  // negotiated link: 1500, 12000, 480000, 5000000, 10000000, 20000000
    std::string version;     // the device's own bcdUSB, e.g. "3.20"
    std::string driver;      // "uas" or "usb-storage"
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    std::string manufacturer;
    std::string product;
    std::string serial;

    bool operator==(const UsbLink&) const = default;
};

// An SD or MMC card on a native host (mmcblk): its CID fields and what it claims.
struct CardIdentity {
    std::string type;  // the kernel's card type: "SD", "MMC", "SDIO"
    uint32_t manfid = 0;
    uint32_t oemid = 0;
    std::string name;
    std::string date;
    std::string serial;
    std::string hwrev;
    std::string fwrev;
    uint64_t preferredEraseSize = 0;  // bytes: the allocation unit
    std::optional<SdClaims> claims;   // only where the kernel exposes the SD Status
    std::string busTiming;            // from the host where readable without privilege

    bool operator==(const CardIdentity&) const = default;
};

// What the link a drive runs on, and the medium's own identity, tell. Read from sysfs
// only; a field that cannot be read is left empty, never guessed.
struct DriveLink {
    std::optional<UsbLink> usb;
    std::optional<CardIdentity> card;
    // A card behind a USB reader: the card's registers are not visible.
    bool behindReader = false;

    bool operator==(const DriveLink&) const = default;
};

}  // namespace vorn
