#include "results/LinkEntry.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <initializer_list>
#include <map>
#include <vector>

namespace vorn {
namespace {

// Strings from sysfs are at most a page each; a longer value is no link entry.
constexpr uint32_t kValueRoom = 65536;

using Fields = std::map<std::string, std::string>;

std::string escaped(const std::string& text) {
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '%' || c == ';' || c == '=' || byte < 0x20 || byte == 0x7f) {
            char code[4];
            std::snprintf(code, sizeof code, "%%%02X", byte);
            out += code;
        } else {
            out += c;
        }
    }
    return out;
}

int hexDigit(char c) {
    return c >= '0' && c <= '9'   ? c - '0'
           : c >= 'A' && c <= 'F' ? c - 'A' + 10
           : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                  : -1;
}

std::optional<std::string> unescaped(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        const int high = i + 2 < text.size() ? hexDigit(text[i + 1]) : -1;
        const int low = i + 2 < text.size() ? hexDigit(text[i + 2]) : -1;
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return out;
}

std::optional<Fields> splitFields(const std::string& text) {
    Fields fields;
    size_t begin = 0;
    while (begin <= text.size()) {
        const size_t end = std::min(text.find(';', begin), text.size());
        const std::string field = text.substr(begin, end - begin);
        const size_t equals = field.find('=');
        if (equals == std::string::npos || equals == 0) {
            return std::nullopt;
        }
        const std::optional<std::string> value = unescaped(field.substr(equals + 1));
        if (!value || !fields.emplace(field.substr(0, equals), *value).second) {
            return std::nullopt;
        }
        begin = end + 1;
    }
    return fields;
}

template <typename Number>
std::optional<Number> numberOf(const std::string& text, int base) {
    Number value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::string hexText(uint32_t value, int width) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*x", width, value);
    return text;
}

void put(std::string& out, const char* name, const std::string& value) {
    out += std::string(";") + name + "=" + escaped(value);
}

void putUsb(std::string& out, const UsbLink& usb) {
    put(out, "usb.speed", std::to_string(usb.speedKbps));
    put(out, "usb.version", usb.version);
    put(out, "usb.driver", usb.driver);
    put(out, "usb.vendor", hexText(usb.vendorId, 4));
    put(out, "usb.product", hexText(usb.productId, 4));
    put(out, "usb.manufacturer", usb.manufacturer);
    put(out, "usb.name", usb.product);
    put(out, "usb.serial", usb.serial);
}

void putCard(std::string& out, const CardIdentity& card) {
    put(out, "card.type", card.type);
    put(out, "card.manfid", hexText(card.manfid, 6));
    put(out, "card.oemid", hexText(card.oemid, 4));
    put(out, "card.name", card.name);
    put(out, "card.date", card.date);
    put(out, "card.serial", card.serial);
    put(out, "card.hwrev", card.hwrev);
    put(out, "card.fwrev", card.fwrev);
    put(out, "card.erase", std::to_string(card.preferredEraseSize));
    put(out, "card.timing", card.busTiming);
    if (card.claims) {
        const SdClaims& c = *card.claims;
        put(out, "card.claims",
            std::to_string(c.speedClass) + "," + std::to_string(c.uhsGrade) + "," +
                std::to_string(c.videoClass) + "," + std::to_string(c.appClass));
    }
}

constexpr const char* kUsbNames[] = {"usb.speed",   "usb.version",      "usb.driver", "usb.vendor",
                                     "usb.product", "usb.manufacturer", "usb.name",   "usb.serial"};
constexpr const char* kCardNames[] = {"card.type",  "card.manfid", "card.oemid", "card.name",
                                      "card.date",  "card.serial", "card.hwrev", "card.fwrev",
                                      "card.erase", "card.timing"};

// How many of the names the fields hold.
template <size_t N>
size_t countOf(const Fields& fields, const char* const (&names)[N]) {
    size_t count = 0;
    for (const char* name : names) {
        count += fields.count(name);
    }
    return count;
}

template <typename Number>
std::optional<Number> hexOf(const std::string& text, size_t digits) {
    return text.size() == digits ? numberOf<Number>(text, 16) : std::nullopt;
}

std::optional<UsbLink> usbOf(const Fields& f) {
    const auto speed = numberOf<uint32_t>(f.at("usb.speed"), 10);
    const auto vendor = hexOf<uint16_t>(f.at("usb.vendor"), 4);
    const auto product = hexOf<uint16_t>(f.at("usb.product"), 4);
    if (!speed || !vendor || !product) {
        return std::nullopt;
    }
    return UsbLink{*speed,   f.at("usb.version"),      f.at("usb.driver"), *vendor,
                   *product, f.at("usb.manufacturer"), f.at("usb.name"),   f.at("usb.serial")};
}

bool oneOf(unsigned value, std::initializer_list<unsigned> allowed) {
    return std::find(allowed.begin(), allowed.end(), value) != allowed.end();
}

// "10,3,30,2": only the classes a card can claim.
std::optional<SdClaims> claimsOf(const std::string& text) {
    unsigned v[4] = {};
    const char* at = text.data();
    const char* const end = text.data() + text.size();
    for (int i = 0; i < 4; ++i) {
        const auto [next, error] = std::from_chars(at, end, v[i]);
        if (error != std::errc{} || next == at ||
            (i < 3 ? next == end || *next != ',' : next != end)) {
            return std::nullopt;
        }
        at = next + 1;
    }
    if (!oneOf(v[0], {0, 2, 4, 6, 10}) || !oneOf(v[1], {0, 1, 3}) ||
        !oneOf(v[2], {0, 6, 10, 30, 60, 90}) || !oneOf(v[3], {0, 1, 2})) {
        return std::nullopt;
    }
    return SdClaims{static_cast<uint8_t>(v[0]), static_cast<uint8_t>(v[1]),
                    static_cast<uint8_t>(v[2]), static_cast<uint8_t>(v[3])};
}

std::optional<CardIdentity> cardOf(const Fields& f) {
    CardIdentity card;
    const auto manfid = hexOf<uint32_t>(f.at("card.manfid"), 6);
    const auto oemid = hexOf<uint32_t>(f.at("card.oemid"), 4);
    const auto erase = numberOf<uint64_t>(f.at("card.erase"), 10);
    if (!manfid || !oemid || !erase) {
        return std::nullopt;
    }
    if (const auto claims = f.find("card.claims"); claims != f.end()) {
        card.claims = claimsOf(claims->second);
        if (!card.claims) {
            return std::nullopt;
        }
    }
    card.type = f.at("card.type");
    card.manfid = *manfid;
    card.oemid = *oemid;
    card.name = f.at("card.name");
    card.date = f.at("card.date");
    card.serial = f.at("card.serial");
    card.hwrev = f.at("card.hwrev");
    card.fwrev = f.at("card.fwrev");
    card.preferredEraseSize = *erase;
    card.busTiming = f.at("card.timing");
    return card;
}

}  // namespace

std::optional<DriveLink> parseLinkEntry(const std::string& text) {
    const std::optional<Fields> fields = splitFields(text);
    const auto reader = fields ? fields->find("reader") : Fields::const_iterator();
    if (!fields || reader == fields->end() || (reader->second != "0" && reader->second != "1")) {
        return std::nullopt;
    }
    const size_t usb = countOf(*fields, kUsbNames);
    const size_t card = countOf(*fields, kCardNames);
    const bool claimsAlone = card == 0 && fields->count("card.claims") != 0;
    if ((usb != 0 && usb != std::size(kUsbNames)) || (card != 0 && card != std::size(kCardNames)) ||
        claimsAlone) {
        return std::nullopt;
    }
    DriveLink link;
    link.behindReader = reader->second == "1";
    if (usb != 0 && !(link.usb = usbOf(*fields))) {
        return std::nullopt;
    }
    if (card != 0 && !(link.card = cardOf(*fields))) {
        return std::nullopt;
    }
    // Behind a reader there is a USB link, and the card's own registers are not seen.
    if (link.behindReader && (!link.usb || link.card)) {
        return std::nullopt;
    }
    return link;
}

std::string linkEntryText(const DriveLink& link) {
    std::string text = link.behindReader ? "reader=1" : "reader=0";
    if (link.usb) {
        putUsb(text, *link.usb);
    }
    if (link.card) {
        putCard(text, *link.card);
    }
    return text;
}

bool addLinkEntry(I_VornCollection& file, const DriveLink& link) {
    const std::string text = linkEntryText(link);
    return text.size() < kValueRoom && file.addEntry(kLinkKey, text.c_str(), 0, nullptr);
}

std::optional<DriveLink> readLinkEntry(I_VornCollection& result) {
    std::vector<char> value(kValueRoom + 1, '\0');
    uint32_t valueCapacity = kValueRoom;
    uint32_t dataCapacity = 0;
    if (!result.findEntry(kLinkKey, &valueCapacity, value.data(), &dataCapacity, nullptr) ||
        valueCapacity > kValueRoom) {
        return std::nullopt;
    }
    return parseLinkEntry(value.data());
}

}  // namespace vorn
