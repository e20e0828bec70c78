#include "storage/DriveLinkText.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace vorn {
namespace {

constexpr uint32_t kHighSpeedKbps = 480000;
constexpr uint32_t kFullSpeedKbps = 12000;

// bcdUSB " 3.20" -> "3.2", "2.00" -> "2.0"; as given when it is not "major.minor".
std::string versionText(const std::string& bcd) {
    const size_t dot = bcd.find('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 >= bcd.size()) {
        return bcd;
    }
    std::string minor = bcd.substr(dot + 1);
    while (minor.size() > 1 && minor.back() == '0') {
        minor.pop_back();
    }
    return bcd.substr(0, dot) + "." + minor;
}

int majorVersion(const std::string& bcd) {
    return bcd.empty() || bcd[0] < '0' || bcd[0] > '9' ? 0 : std::atoi(bcd.c_str());
}

std::string driverText(const std::string& driver) {
    if (driver == "uas") {
        return " (UAS)";
    }
    if (driver == "usb-storage") {
        return " (bulk-only)";
    }
    return driver.empty() ? std::string() : " (" + driver + ")";
}

std::string usbText(const UsbLink& usb) {
    const std::string speed = linkSpeedText(usb.speedKbps);
    if (majorVersion(usb.version) >= 3 && usb.speedKbps != 0 && usb.speedKbps <= kHighSpeedKbps) {
        const char* slow = usb.speedKbps <= kFullSpeedKbps ? "USB 1.1" : "USB 2";
        return std::string("USB 3 device on a ") + slow + " link (" + speed +
               "): plug it into a USB 3 port";
    }
    const std::string version = usb.version.empty() ? "" : " " + versionText(usb.version);
    return "USB" + version + " device" + (speed.empty() ? "" : " at " + speed) +
           driverText(usb.driver);
}

std::string byteSizeText(uint64_t bytes) {
    constexpr uint64_t kKiB = 1024;
    const bool mib = bytes >= kKiB * kKiB && bytes % (kKiB * kKiB) == 0;
    const bool kib = bytes % kKiB == 0;
    return mib   ? std::to_string(bytes / (kKiB * kKiB)) + " MiB"
           : kib ? std::to_string(bytes / kKiB) + " KiB"
                 : std::to_string(bytes) + " bytes";
}

// The kernel writes the date as "MM/YYYY".
std::string dateText(const std::string& date) {
    const size_t slash = date.find('/');
    if (slash == std::string::npos || slash == 0 || slash + 1 >= date.size()) {
        return date;
    }
    const std::string month = date.substr(0, slash);
    return date.substr(slash + 1) + "-" + (month.size() == 1 ? "0" + month : month);
}

std::string claimsText(const SdClaims& claims) {
    std::vector<std::string> parts;
    if (claims.speedClass != 0) {
        parts.push_back("Class " + std::to_string(claims.speedClass));
    }
    if (claims.uhsGrade != 0) {
        parts.push_back("U" + std::to_string(claims.uhsGrade));
    }
    if (claims.videoClass != 0) {
        parts.push_back("V" + std::to_string(claims.videoClass));
    }
    if (claims.appClass != 0) {
        parts.push_back("A" + std::to_string(claims.appClass));
    }
    std::string text;
    for (const std::string& part : parts) {
        text += (text.empty() ? "" : ", ") + part;
    }
    return "; claims: " + (text.empty() ? std::string("none") : text);
}

std::string makerText(uint32_t manfid) {
    const std::string name = cardMakerName(manfid);
    if (!name.empty()) {
        return name;
    }
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%02x", manfid);
    return std::string("maker ") + hex;
}

std::string cardText(const CardIdentity& card) {
    std::string text =
        (card.type.empty() ? std::string("memory") : card.type) + " card " + makerText(card.manfid);
    if (!card.name.empty()) {
        text += " " + card.name;
    }
    if (!card.date.empty()) {
        text += " (manufactured " + dateText(card.date) + ")";
    }
    if (card.preferredEraseSize != 0) {
        text += ", allocation unit " + byteSizeText(card.preferredEraseSize);
    }
    if (!card.busTiming.empty()) {
        text += ", bus timing " + card.busTiming;
    }
    return card.claims ? text + claimsText(*card.claims) : text;
}

}  // namespace

std::string linkSpeedText(uint32_t kbps) {
    if (kbps == 0) {
        return {};
    }
    const bool giga = kbps >= 1000000;
    const uint32_t unit = giga ? 1000000 : 1000;
    std::string text = std::to_string(kbps / unit);
    // One decimal where the link has one: 1.5 Mbit/s.
    const uint32_t tenth = kbps % unit / (unit / 10);
    if (tenth != 0) {
        text += "." + std::to_string(tenth);
    }
    return text + (giga ? " Gbit/s" : " Mbit/s");
}

std::string cardMakerName(uint32_t manfid) {
    struct Maker {
        uint32_t id;
        const char* name;
    };
    static constexpr Maker kMakers[] = {{0x02, "Toshiba"}, {0x03, "SanDisk"},  {0x1b, "Samsung"},
                                        {0x28, "Lexar"},   {0x41, "Kingston"}, {0x74, "Transcend"}};
    for (const Maker& maker : kMakers) {
        if (maker.id == manfid) {
            return maker.name;
        }
    }
    return {};
}

std::string driveLinkText(const DriveLink& link) {
    if (link.card) {
        const std::string card = cardText(*link.card);
        return link.usb ? card + ", on a " + usbText(*link.usb) : card;
    }
    if (!link.usb) {
        return {};
    }
    const std::string usb = usbText(*link.usb);
    return link.behindReader
               ? usb + "; card reader: the card's own registers are not visible through it"
               : usb;
}

}  // namespace vorn
