#include "storage/DriveCatalog.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "storage/BusDetect.h"

namespace vorn {

namespace fs = std::filesystem;

const char* const BusTypeNames[kBusTypeNameCount] = {
    "UNKNOWN", "SCSI",    "ATAPI", "ATA",     "IEEE 1394", "SSA",
    "FIBRE",   "USB 1.1", "RAID",  "USB 2.0", "SATA",
};

const char* busTypeName(uint32_t busType) {
    return busType < kBusTypeNameCount ? BusTypeNames[busType] : nullptr;
}

namespace {

bool isDigit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

// Compares names run by run: digit runs by value, letter runs by length and then
// text, so sdz < sdaa and mmcblk2 < mmcblk10. Digits sort before letters.
int compareRuns(const std::string& a, const std::string& b) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const bool digitA = isDigit(a[i]), digitB = isDigit(b[j]);
        if (digitA != digitB) {
            return digitA ? -1 : 1;
        }
        size_t endA = i, endB = j;
        while (endA < a.size() && isDigit(a[endA]) == digitA) {
            ++endA;
        }
        while (endB < b.size() && isDigit(b[endB]) == digitB) {
            ++endB;
        }
        std::string_view runA(a.data() + i, endA - i), runB(b.data() + j, endB - j);
        if (digitA) {
            runA.remove_prefix(std::min(runA.find_first_not_of('0'), runA.size()));
            runB.remove_prefix(std::min(runB.find_first_not_of('0'), runB.size()));
        }
        if (runA.size() != runB.size()) {
            return runA.size() < runB.size() ? -1 : 1;
        }
        if (const int order = runA.compare(runB); order != 0) {
            return order < 0 ? -1 : 1;
        }
        i = endA;
        j = endB;
    }
    if ((i < a.size()) != (j < b.size())) {
        return i < a.size() ? 1 : -1;
    }
    return a.compare(b) < 0 ? -1 : (a == b ? 0 : 1);
}

bool naturalLess(const std::string& a, const std::string& b) {
    return compareRuns(a, b) < 0;
}

// A kernel name used as a path part: one plain component, nothing that climbs.
bool plainName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

bool present(const fs::path& path) {
    std::error_code ec;
    return fs::exists(path, ec);
}

// Hardware drives only: everything the kernel keeps under devices/virtual/block
// (loop, ram, zram, device-mapper, md, nbd, ...) is left out, so that a machine with
// many loop devices still gets its real drives among the numbers the list tries.
bool listedDrive(const fs::path& sysfsRoot, const std::string& name) {
    std::error_code ec;
    const fs::path resolved = fs::canonical(sysfsRoot / "block" / name, ec);
    if (ec) {
        return false;
    }
    const fs::path root = fs::canonical(sysfsRoot, ec);
    const fs::path inside = ec ? resolved : resolved.lexically_relative(root);
    auto part = inside.begin();
    if (part == inside.end() || *part != "devices" || ++part == inside.end()) {
        return true;
    }
    return *part != "virtual";
}

std::vector<std::string> entryNames(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        names.push_back(it->path().filename().string());
    }
    return names;
}

std::string firstOf(const fs::path& folder, std::initializer_list<const char*> names) {
    for (const char* name : names) {
        if (std::optional<std::string> text = readSysfsText((folder / name).string())) {
            if (!text->empty() && text->back() == '\n') {
                text->pop_back();
            }
            return *text;
        }
    }
    return {};
}

uint32_t saturated32(std::optional<uint64_t> value, uint64_t scale = 1) {
    if (!value) {
        return 0;
    }
    return *value > UINT32_MAX / scale ? UINT32_MAX : static_cast<uint32_t>(*value * scale);
}

// Vendor, product and revision as the device reports them, padding included.
void readIdentity(const fs::path& disk, DriveIdentity& identity) {
    const fs::path device = disk / "device";
    identity.product = firstOf(device, {"model"});
    if (!identity.product.empty()) {
        identity.vendor = firstOf(device, {"vendor"});
        identity.revision = firstOf(device, {"rev", "firmware_rev"});
    } else {
        // MMC and SD cards name themselves and have no vendor string.
        identity.product = firstOf(device, {"name"});
    }
    identity.hasIdentity = !identity.product.empty();
    if (!identity.hasIdentity) {
        // A bus id alone (virtio's "0x1af4") names nothing: the kernel name does.
        identity.vendor.clear();
        identity.revision.clear();
        identity.product = identity.name;
    }
}

void readAdapterFacts(const fs::path& disk, DriveIdentity& identity) {
    const fs::path queue = disk / "queue";
    identity.maxTransferLength =
        saturated32(readSysfsNumber((queue / "max_hw_sectors_kb").string()), 1024);
    identity.maxPhysicalPages = saturated32(readSysfsNumber((queue / "max_segments").string()));
    identity.alignmentMask = saturated32(readSysfsNumber((queue / "dma_alignment").string()));
    const std::optional<uint64_t> depth =
        readSysfsNumber((disk / "device" / "queue_depth").string());
    identity.commandQueueing = depth && *depth > 1 ? 1 : 0;
}

}  // namespace

DriveCatalog::DriveCatalog(std::string sysfsRoot, std::string devRoot, std::string procRoot)
    : sysfsRoot_(std::move(sysfsRoot)),
      devRoot_(std::move(devRoot)),
      procRoot_(std::move(procRoot)) {}

std::vector<std::string> DriveCatalog::driveNames() const {
    const fs::path sys(sysfsRoot_);
    std::vector<std::string> names = entryNames(sys / "block");
    std::erase_if(names, [&](const std::string& name) { return !listedDrive(sys, name); });
    std::sort(names.begin(), names.end(), naturalLess);
    return names;
}

std::optional<DriveIdentity> DriveCatalog::drive(int number) const {
    const std::vector<std::string> names = driveNames();
    if (number < 0 || static_cast<size_t>(number) >= names.size()) {
        return std::nullopt;
    }
    return identify(names[static_cast<size_t>(number)]);
}

std::optional<DriveIdentity> DriveCatalog::identify(const std::string& name) const {
    const fs::path disk = fs::path(sysfsRoot_) / "block" / name;
    if (!plainName(name) || !present(disk)) {
        return std::nullopt;
    }
    DriveIdentity identity;
    identity.name = name;
    identity.nodePath = (fs::path(devRoot_) / name).string();
    identity.sysPath = disk.string();
    identity.devNumber = readSysfsLine((disk / "dev").string());
    readIdentity(disk, identity);
    identity.removable = readSysfsNumber((disk / "removable").string()).value_or(0) == 1 ? 1 : 0;
    if (readSysfsLine((disk / "device" / "type").string()) == "SD") {
        // The kernel marks MMC block devices fixed because the reader stays when the
        // card goes; an SD card itself is removable media all the same.
        identity.removable = 1;
    }
    identity.readOnly = readSysfsNumber((disk / "ro").string()).value_or(0) != 0;
    const BusFacts bus = detectBus(sysfsRoot_, disk.string());
    if (bus.hotplug) {
        // Many USB 3 sticks and every UAS enclosure report a fixed medium, yet the user
        // pulls them out like any key.
        identity.removable = 1;
    }
    identity.busType = bus.busType;
    identity.busMajorVersion = bus.majorVersion;
    identity.busMinorVersion = bus.minorVersion;
    readAdapterFacts(disk, identity);
    return identity;
}

std::vector<std::string> DriveCatalog::partitions(const std::string& name) const {
    std::vector<std::pair<uint64_t, std::string>> found;
    if (!plainName(name)) {
        return {};
    }
    const fs::path disk = fs::path(sysfsRoot_) / "block" / name;
    for (const std::string& entry : entryNames(disk)) {
        if (std::optional<uint64_t> number =
                readSysfsNumber((disk / entry / "partition").string())) {
            found.emplace_back(*number, entry);
        }
    }
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first < b.first : naturalLess(a.second, b.second);
    });
    std::vector<std::string> names;
    for (auto& [number, entry] : found) {
        names.push_back(std::move(entry));
    }
    return names;
}

std::string DriveCatalog::devNumber(const std::string& name) const {
    if (!plainName(name)) {
        return {};
    }
    const fs::path sys(sysfsRoot_);
    for (const fs::path& candidate : {sys / "class" / "block" / name, sys / "block" / name}) {
        if (std::string number = readSysfsLine((candidate / "dev").string()); !number.empty()) {
            return number;
        }
    }
    // Without a class view, a partition sits inside its disk's folder.
    for (const std::string& disk : entryNames(sys / "block")) {
        if (std::string number = readSysfsLine((sys / "block" / disk / name / "dev").string());
            !number.empty()) {
            return number;
        }
    }
    return {};
}

namespace {

std::optional<DriveIdentity> imageIdentity(const std::string& path) {
    DriveIdentity identity;
    identity.name = fs::path(path).filename().string();
    identity.nodePath = path;
    identity.product = identity.name;
    identity.hasIdentity = false;
    identity.removable = 1;  // an image file can never be the system disk
    identity.readOnly = ::access(path.c_str(), W_OK) != 0;
    return identity;
}

// The kernel name of a block device number: the /sys/dev/block link, or else the disk
// whose "dev" attribute matches.
std::string nameOfDevice(const DriveCatalog& catalog, dev_t device) {
    const std::string number = std::to_string(major(device)) + ":" + std::to_string(minor(device));
    std::error_code ec;
    const fs::path link = fs::path(catalog.sysfsRoot()) / "dev" / "block" / number;
    const fs::path target = fs::canonical(link, ec);
    if (!ec) {
        return target.filename().string();
    }
    for (const std::string& name : entryNames(fs::path(catalog.sysfsRoot()) / "block")) {
        if (catalog.devNumber(name) == number) {
            return name;
        }
    }
    return {};
}

}  // namespace

std::optional<DriveIdentity> identifyPath(const std::string& path, const DriveCatalog& catalog) {
    struct stat info {};
    if (path.empty() || ::stat(path.c_str(), &info) != 0) {
        return std::nullopt;
    }
    if (S_ISREG(info.st_mode)) {
        return imageIdentity(path);
    }
    if (!S_ISBLK(info.st_mode)) {
        return std::nullopt;
    }
    // Only whole disks are drives: a partition's name has no folder of its own
    // under <sysfs>/block, so identify() answers nothing for it.
    std::optional<DriveIdentity> identity = catalog.identify(nameOfDevice(catalog, info.st_rdev));
    if (identity) {
        identity->nodePath = path;
    }
    return identity;
}

const DriveCatalog& systemCatalog() {
    static const DriveCatalog catalog;
    return catalog;
}

}  // namespace vorn
