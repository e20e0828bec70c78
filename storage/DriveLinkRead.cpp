#include "storage/DriveLinkRead.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <vector>

#include "storage/BusDetect.h"

namespace vorn {

namespace fs = std::filesystem;

namespace {

constexpr size_t kSdStatusDigits = 128;

// The folders of interest on the way from the bus down to the disk.
struct LinkPath {
    fs::path usbDevice;     // "1-2"
    fs::path usbInterface;  // "1-2:1.0"
    fs::path card;          // "mmc0:0001"
};

std::string trimmed(std::string_view text) {
    const size_t begin = text.find_first_not_of(" \t\n");
    if (begin == std::string_view::npos) {
        return {};
    }
    return std::string(text.substr(begin, text.find_last_not_of(" \t\n") - begin + 1));
}

std::string attribute(const fs::path& dir, const char* name) {
    return trimmed(readSysfsLine((dir / name).string()));
}

// "0781", "0x000003": hex with or without its prefix; 0 when malformed or too long.
uint32_t hexNumber(std::string_view text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
    }
    if (text.empty() || text.size() > 8) {
        return 0;
    }
    uint32_t value = 0;
    for (char c : text) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) {
            return 0;
        }
        const int digit = std::isdigit(static_cast<unsigned char>(c))
                              ? c - '0'
                              : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
        value = value << 4 | static_cast<uint32_t>(digit);
    }
    return value;
}

// Mbit/s as the kernel writes them ("1.5", "480", "5000") in kbit/s; 0 when malformed.
uint32_t speedKbps(std::string_view text) {
    const size_t dot = text.find('.');
    const std::string_view whole = text.substr(0, dot);
    std::string_view part =
        dot == std::string_view::npos ? std::string_view() : text.substr(dot + 1);
    if (whole.empty() || whole.size() > 6 || part.size() > 3 ||
        (dot != text.npos && part.empty())) {
        return 0;
    }
    uint32_t kbps = 0;
    for (char c : whole) {
        if (!std::isdigit(static_cast<unsigned char>(c))) {
            return 0;
        }
        kbps = kbps * 10 + static_cast<uint32_t>(c - '0');
    }
    uint32_t scale = 100;
    kbps *= 1000;
    for (char c : part) {
        if (!std::isdigit(static_cast<unsigned char>(c))) {
            return 0;
        }
        kbps += static_cast<uint32_t>(c - '0') * scale;
        scale /= 10;
    }
    return kbps;
}

// "mmc0:0001": a card on host mmc0.
bool isCardName(std::string_view name) {
    const size_t colon = name.find(':');
    if (name.rfind("mmc", 0) != 0 || colon == std::string_view::npos || colon == 3 ||
        colon + 1 == name.size()) {
        return false;
    }
    const auto digits = name.substr(3, colon - 3);
    const auto rca = name.substr(colon + 1);
    return std::all_of(digits.begin(), digits.end(),
                       [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }) &&
           std::all_of(rca.begin(), rca.end(),
                       [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; });
}

// Walks below the sysfs root only, so folders above it never count.
std::optional<LinkPath> walkDisk(const std::string& sysfsRoot, const std::string& blockPath) {
    std::error_code ec;
    const fs::path resolved = fs::canonical(blockPath, ec);
    if (ec) {
        return std::nullopt;
    }
    fs::path walked = resolved;
    fs::path dir = resolved.root_path();
    const fs::path root = fs::canonical(sysfsRoot, ec);
    const fs::path inside = ec ? fs::path() : resolved.lexically_relative(root);
    if (!inside.empty() && *inside.begin() != "..") {
        walked = inside;
        dir = root;
    }
    LinkPath at;
    for (const fs::path& part : walked) {
        dir /= part;
        const std::string name = part.string();
        if (name == "block") {
            break;
        }
        if (isUsbDeviceName(name)) {
            at.usbDevice = dir;
            at.usbInterface.clear();
        } else if (!at.usbDevice.empty() && at.usbInterface.empty() &&
                   name.rfind(at.usbDevice.filename().string() + ":", 0) == 0) {
            at.usbInterface = dir;
        } else if (isCardName(name)) {
            at.card = dir;
        }
    }
    return at;
}

UsbLink readUsb(const LinkPath& at) {
    UsbLink usb;
    usb.speedKbps = speedKbps(attribute(at.usbDevice, "speed"));
    usb.version = attribute(at.usbDevice, "version");
    usb.vendorId = static_cast<uint16_t>(hexNumber(attribute(at.usbDevice, "idVendor")));
    usb.productId = static_cast<uint16_t>(hexNumber(attribute(at.usbDevice, "idProduct")));
    usb.manufacturer = attribute(at.usbDevice, "manufacturer");
    usb.product = attribute(at.usbDevice, "product");
    usb.serial = attribute(at.usbDevice, "serial");
    std::error_code ec;
    const fs::path driver = fs::read_symlink(at.usbInterface / "driver", ec);
    if (!ec && !at.usbInterface.empty()) {
        usb.driver = driver.filename().string();
    }
    return usb;
}

// The host's timing as its debugfs "ios" file tells it ("... 6 (sd uhs SDR104)"), where this
// user may read it; usually only root may, and then it stays empty.
std::string readBusTiming(const std::string& sysfsRoot, const fs::path& card) {
    const fs::path ios =
        fs::path(sysfsRoot) / "kernel/debug" / card.parent_path().filename() / "ios";
    const std::string text = readSysfsText(ios.string()).value_or(std::string());
    // The one line of the file that starts with "timing".
    const size_t after = text.find("\ntiming");
    const size_t line = text.rfind("timing", 0) == 0 ? 0
                        : after == std::string::npos ? after
                                                     : after + 1;
    const size_t open = text.find('(', line);
    const size_t close = text.find(')', open);
    const size_t end = text.find('\n', line);
    if (line == std::string::npos || open == std::string::npos || close == std::string::npos ||
        close > end) {
        return {};
    }
    return trimmed(std::string_view(text).substr(open + 1, close - open - 1));
}

CardIdentity readCard(const std::string& sysfsRoot, const fs::path& card) {
    CardIdentity id;
    id.type = attribute(card, "type");
    id.manfid = hexNumber(attribute(card, "manfid"));
    id.oemid = hexNumber(attribute(card, "oemid"));
    id.name = attribute(card, "name");
    id.date = attribute(card, "date");
    id.serial = attribute(card, "serial");
    id.hwrev = attribute(card, "hwrev");
    id.fwrev = attribute(card, "fwrev");
    id.preferredEraseSize = readSysfsNumber((card / "preferred_erase_size").string()).value_or(0);
    if (const auto ssr = readSysfsText((card / "ssr").string())) {
        id.claims = decodeSdStatus(trimmed(*ssr));
    }
    id.busTiming = readBusTiming(sysfsRoot, card);
    return id;
}

// Bits [high:low] of the SD Status, at most 8 of them; the text starts at bit 511.
uint32_t statusBits(std::string_view hex, int high, int low) {
    uint32_t value = 0;
    for (int bit = high; bit >= low; --bit) {
        const uint32_t digit = hexNumber(hex.substr(static_cast<size_t>(511 - bit) / 4, 1));
        value = value << 1 | ((digit >> (bit % 4)) & 1u);
    }
    return value;
}

}  // namespace

std::optional<SdClaims> decodeSdStatus(std::string_view hex) {
    if (hex.size() != kSdStatusDigits || !std::all_of(hex.begin(), hex.end(), [](char c) {
            return std::isxdigit(static_cast<unsigned char>(c)) != 0;
        })) {
        return std::nullopt;
    }
    static constexpr uint8_t kSpeedClass[] = {0, 2, 4, 6, 10};
    SdClaims claims;
    const uint32_t speed = statusBits(hex, 447, 440);
    claims.speedClass = speed < std::size(kSpeedClass) ? kSpeedClass[speed] : 0;
    const uint32_t uhs = statusBits(hex, 399, 396);
    claims.uhsGrade = uhs == 1 || uhs == 3 ? static_cast<uint8_t>(uhs) : 0;
    const uint32_t video = statusBits(hex, 391, 384);
    const bool knownVideo = video == 6 || video == 10 || video == 30 || video == 60 || video == 90;
    claims.videoClass = knownVideo ? static_cast<uint8_t>(video) : 0;
    const uint32_t app = statusBits(hex, 339, 336);
    claims.appClass = app == 1 || app == 2 ? static_cast<uint8_t>(app) : 0;
    return claims;
}

bool looksLikeCardReader(std::string_view scsiModel, std::string_view usbProduct, bool hasMedium) {
    if (!hasMedium) {
        return true;
    }
    static const std::vector<std::string> kWords = {"reader", "cardreader", "card",    "sd",
                                                    "sdhc",   "sdxc",       "microsd", "mmc"};
    for (const std::string_view text : {scsiModel, usbProduct}) {
        std::string word;
        for (size_t i = 0; i <= text.size(); ++i) {
            const unsigned char c = i < text.size() ? static_cast<unsigned char>(text[i]) : ' ';
            if (std::isalnum(c)) {
                word += static_cast<char>(std::tolower(c));
                continue;
            }
            if (word.find("reader") != std::string::npos ||
                std::find(kWords.begin(), kWords.end(), word) != kWords.end()) {
                return true;
            }
            word.clear();
        }
    }
    return false;
}

std::optional<DriveLink> readDriveLink(const std::string& sysfsRoot, const std::string& blockPath) {
    const std::optional<LinkPath> at = walkDisk(sysfsRoot, blockPath);
    if (!at || (at->usbDevice.empty() && at->card.empty())) {
        return std::nullopt;
    }
    DriveLink link;
    if (!at->usbDevice.empty()) {
        link.usb = readUsb(*at);
    }
    // A card host of its own on USB shows the card as a native host does.
    if (!at->card.empty()) {
        link.card = readCard(sysfsRoot, at->card);
        return link;
    }
    const fs::path block(blockPath);
    const bool hasMedium = readSysfsNumber((block / "size").string()).value_or(0) > 0;
    link.behindReader =
        looksLikeCardReader(attribute(block / "device", "model"), link.usb->product, hasMedium);
    return link;
}

}  // namespace vorn
