#include "storage/BusDetect.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "storage/DriveCatalog.h"

namespace vorn {

namespace fs = std::filesystem;

std::optional<std::string> readSysfsText(const std::string& path) {
    // Non-blocking so a FIFO planted in a tree cannot hang the caller.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        return std::nullopt;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }
    std::string text(kSysfsAttributeCap, '\0');
    size_t filled = 0;
    while (filled < text.size()) {
        const ssize_t got = ::read(fd, text.data() + filled, text.size() - filled);
        if (got <= 0) {
            break;
        }
        filled += static_cast<size_t>(got);
    }
    ::close(fd);
    text.resize(filled);
    const size_t zero = text.find('\0');
    if (zero != std::string::npos) {
        text.resize(zero);
    }
    return text;
}

std::string readSysfsLine(const std::string& path) {
    std::string text = readSysfsText(path).value_or(std::string());
    if (!text.empty() && text.back() == '\n') {
        text.pop_back();
    }
    return text;
}

std::optional<uint64_t> readSysfsNumber(const std::string& path) {
    const std::optional<std::string> text = readSysfsText(path);
    if (!text) {
        return std::nullopt;
    }
    size_t begin = text->find_first_not_of(" \t\n");
    size_t end = text->find_last_not_of(" \t\n");
    if (begin == std::string::npos) {
        return std::nullopt;
    }
    uint64_t value = 0;
    for (size_t i = begin; i <= end; ++i) {
        const char c = (*text)[i];
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        const uint64_t digit = static_cast<uint64_t>(c - '0');
        if (value > (UINT64_MAX - digit) / 10) {
            return std::nullopt;
        }
        value = value * 10 + digit;
    }
    return value;
}

namespace {

bool allDigits(std::string_view text) {
    if (text.empty()) {
        return false;
    }
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) {
            return false;
        }
    }
    return true;
}

// "usb1": a USB host's root hub.
bool isUsbRoot(std::string_view name) {
    return name.size() > 3 && name.substr(0, 3) == "usb" && allDigits(name.substr(3));
}

}  // namespace

bool isUsbDeviceName(std::string_view name) {
    const size_t dash = name.find('-');
    if (dash == std::string_view::npos || !allDigits(name.substr(0, dash))) {
        return false;
    }
    const std::string_view ports = name.substr(dash + 1);
    if (ports.empty() || ports.front() == '.' || ports.back() == '.') {
        return false;
    }
    for (char c : ports) {
        if (c != '.' && !std::isdigit(static_cast<unsigned char>(c))) {
            return false;
        }
    }
    return true;
}

namespace {

bool isNumbered(std::string_view name, std::string_view prefix) {
    return name.size() > prefix.size() && name.substr(0, prefix.size()) == prefix &&
           allDigits(name.substr(prefix.size()));
}

// "fw1", "fw1.0": a FireWire node or unit, the road of sbp2 disks.
bool isFirewire(std::string_view name) {
    return name == "firewire" || (name.size() > 2 && name.substr(0, 2) == "fw" &&
                                  std::isdigit(static_cast<unsigned char>(name[2])));
}

// A PC Card or ExpressCard socket on the way: its devices sit on the pcmcia bus.
bool onPcmciaBus(const fs::path& dir, const std::string& name) {
    if (name.rfind("pcmcia", 0) == 0) {
        return true;
    }
    std::error_code ec;
    const fs::path subsystem = fs::read_symlink(dir / "subsystem", ec);
    return !ec && subsystem.filename() == "pcmcia";
}

// bcd " 2.00" -> 2, 0; " 1.10" -> 1, 10.
void parseUsbVersion(const std::string& text, BusFacts& facts) {
    const size_t begin = text.find_first_not_of(' ');
    if (begin == std::string::npos) {
        return;
    }
    const size_t dot = text.find('.', begin);
    const std::string major = text.substr(begin, dot == std::string::npos ? dot : dot - begin);
    std::string minor = dot == std::string::npos ? std::string() : text.substr(dot + 1);
    while (!minor.empty() && !std::isdigit(static_cast<unsigned char>(minor.back()))) {
        minor.pop_back();
    }
    if (allDigits(major) && major.size() <= 4) {
        facts.majorVersion = static_cast<uint16_t>(std::stoul(major));
        if (allDigits(minor) && minor.size() <= 4) {
            facts.minorVersion = static_cast<uint16_t>(std::stoul(minor));
        }
    }
}

void classifyUsb(const fs::path& device, BusFacts& facts) {
    parseUsbVersion(readSysfsLine((device / "version").string()), facts);
    const std::string speedText = readSysfsLine((device / "speed").string());
    char* end = nullptr;
    const double speed = std::strtod(speedText.c_str(), &end);
    if (end != speedText.c_str() && speed > 0) {
        facts.busType = speed <= 12 ? kBusUsb11 : kBusUsb20;
    } else if (facts.majorVersion == 1) {
        facts.busType = kBusUsb11;
    } else {
        // Nothing says "slow": every current device runs at 480 Mb/s or faster.
        facts.busType = kBusUsb20;
    }
}

bool spdIsSata(const fs::path& file) {
    const std::string speed = readSysfsLine(file.string());
    return !speed.empty() && std::isdigit(static_cast<unsigned char>(speed.front()));
}

// A port whose link reports a SATA speed ("6.0 Gbps"); parallel ports say "<unknown>"
// or have no link at all.
bool hasSataLink(const std::string& sysfsRoot, const fs::path& port) {
    std::error_code ec;
    for (fs::directory_iterator it(port, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string link = it->path().filename().string();
        if (link.rfind("link", 0) == 0 && spdIsSata(it->path() / "ata_link" / link / "sata_spd")) {
            return true;
        }
    }
    const std::string number = port.filename().string().substr(3);
    return spdIsSata(fs::path(sysfsRoot) / "class" / "ata_link" / ("link" + number) / "sata_spd");
}

}  // namespace

BusFacts detectBus(const std::string& sysfsRoot, const std::string& blockPath) {
    BusFacts facts;
    std::error_code ec;
    const fs::path resolved = fs::canonical(blockPath, ec);
    if (ec) {
        return facts;
    }
    // Walk below the sysfs root only, so the folders above it never look like a bus.
    fs::path walked = resolved;
    fs::path dir = resolved.root_path();
    const fs::path root = fs::canonical(sysfsRoot, ec);
    if (!ec) {
        const fs::path inside = resolved.lexically_relative(root);
        if (!inside.empty() && *inside.begin() != "..") {
            walked = inside;
            dir = root;
        }
    }
    fs::path usbRoot, usbDevice, ataPort;
    bool firewire = false, scsiHost = false, pcmcia = false;
    for (const fs::path& part : walked) {
        dir /= part;
        const std::string name = part.string();
        if (name == "block") {
            break;
        }
        if (isUsbRoot(name)) {
            usbRoot = dir;
        } else if (isUsbDeviceName(name)) {
            usbDevice = dir;
        } else if (isNumbered(name, "ata")) {
            ataPort = dir;
        } else if (isFirewire(name)) {
            firewire = true;
        } else if (isNumbered(name, "host")) {
            scsiHost = true;
        }
        pcmcia = pcmcia || onPcmciaBus(dir, name);
    }
    facts.hotplug = !usbRoot.empty() || !usbDevice.empty() || firewire || pcmcia;
    if (!usbRoot.empty() || !usbDevice.empty()) {
        classifyUsb(usbDevice.empty() ? usbRoot : usbDevice, facts);
    } else if (firewire) {
        facts.busType = kBus1394;
    } else if (!ataPort.empty()) {
        facts.busType = hasSataLink(sysfsRoot, ataPort) ? kBusSata : kBusAta;
    } else if (scsiHost) {
        facts.busType = kBusScsi;
    }
    return facts;
}

}  // namespace vorn
