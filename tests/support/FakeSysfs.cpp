#include "support/FakeSysfs.h"

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "support/TempDir.h"

namespace vorn::test {

namespace fs = std::filesystem;

namespace {

constexpr uint64_t kMiB = 1024 * 1024;
constexpr uint64_t kFirstPartitionSector = 2048;

void writeFile(const fs::path& path, const std::string& content,
               std::ios::openmode mode = std::ios::trunc) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | mode) << content;
}

// A relative link, as sysfs makes them, so the tree can be read from anywhere.
void linkTo(const fs::path& link, const fs::path& target) {
    fs::create_directories(link.parent_path());
    std::error_code ignored;
    fs::remove(link, ignored);
    fs::create_directory_symlink(target.lexically_relative(link.parent_path()), link);
}

void writeImage(const fs::path& path, uint64_t bytes) {
    writeFile(path, "");
    fs::resize_file(path, bytes);
}

std::string le32(uint64_t value) {
    return {static_cast<char>(value), static_cast<char>(value >> 8), static_cast<char>(value >> 16),
            static_cast<char>(value >> 24)};
}

// An MBR whose entries match the sysfs partitions, so libblkid sees the same layout.
void writeMbr(const fs::path& image, const FakeDisk& disk) {
    std::string sector(512, '\0');
    uint64_t start = kFirstPartitionSector;
    for (size_t i = 0; i < disk.partitionBytes.size() && i < 4; ++i) {
        const uint64_t sectors = disk.partitionBytes[i] / 512;
        sector.replace(446 + 16 * i, 16,
                       std::string(4, '\0') + static_cast<char>(disk.partitionType) +
                           std::string(3, '\0') + le32(start) + le32(sectors));
        start += sectors;
    }
    sector.replace(510, 2, "\x55\xaa");
    std::fstream(image, std::ios::binary | std::ios::in | std::ios::out) << sector;
}

// A space, tab, newline or backslash as the kernel writes it: "\040".
std::string escapeMount(const std::string& text) {
    std::string escaped;
    for (char c : text) {
        char octal[5];
        std::snprintf(octal, sizeof octal, "\\%03o", static_cast<unsigned char>(c));
        escaped += c == ' ' || c == '\t' || c == '\n' || c == '\\' ? octal : std::string(1, c);
    }
    return escaped;
}

bool scsiLike(FakeDisk::Bus bus) {
    return bus != FakeDisk::Mmc && bus != FakeDisk::Nvme && bus != FakeDisk::Virtio &&
           bus != FakeDisk::Loop;
}

}  // namespace

struct FakeSysfs::Placement {
    fs::path block;   // the disk's own folder
    fs::path device;  // where its "device" link points; empty for none
};

FakeSysfs::FakeSysfs() : dir_(std::make_unique<TempDir>()) {
    for (const char* folder : {"sys/block", "sys/class/block", "sys/dev/block", "dev"}) {
        fs::create_directories(dir_->path() / folder);
    }
    writeFile(mountinfoPath(), "");
    writeFile(swapsPath(), "Filename\t\t\t\tType\t\tSize\t\tUsed\t\tPriority\n");
    for (const auto& [name, number] :
         {std::pair{"ram0", "1:0"}, {"zram0", "252:0"}, {"loop0", "7:0"}}) {
        addVirtual(name, number);
    }
    catalog_ = std::make_unique<DriveCatalog>(sysRoot(), devRoot(), procRoot());
}

FakeSysfs::~FakeSysfs() = default;

std::string FakeSysfs::root() const {
    return dir_->path().string();
}

std::string FakeSysfs::padded(const std::string& text, size_t width) {
    return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

void FakeSysfs::addVirtual(const std::string& name, const std::string& number) {
    const fs::path folder = fs::path(sysRoot()) / "devices/virtual/block" / name;
    for (const auto& [file, content] :
         {std::pair{"size", "0"}, {"removable", "0"}, {"ro", "0"}, {"dev", number.c_str()}}) {
        writeFile(folder / file, std::string(content) + "\n");
    }
    fs::create_directories(folder / "holders");
    linkBlock(name, folder.string(), number, true);
    writeImage(nodePath(name), 0);
}

void FakeSysfs::linkBlock(const std::string& name, const std::string& folder,
                          const std::string& number, bool wholeDisk) {
    const fs::path sys(sysRoot());
    if (wholeDisk) {
        linkTo(sys / "block" / name, folder);
    }
    linkTo(sys / "class/block" / name, folder);
    linkTo(sys / "dev/block" / number, folder);
}

FakeSysfs::Placement FakeSysfs::place(const FakeDisk& disk) {
    const fs::path pci = fs::path(sysRoot()) / "devices/pci0000:00";
    const int host = nextHost_++;
    const std::string h = std::to_string(host);
    const fs::path scsiTail = fs::path("host" + h) / ("target" + h + ":0:0") / (h + ":0:0:0");
    Placement at;
    switch (disk.bus) {
        case FakeDisk::UsbHigh:
        case FakeDisk::UsbFull:
        case FakeDisk::UsbSuper: {
            const bool super = disk.bus == FakeDisk::UsbSuper;
            const bool full = disk.bus == FakeDisk::UsbFull;
            const fs::path rootHub = pci / "0000:00:14.0" / (super ? "usb2" : "usb1");
            writeFile(rootHub / "speed", super ? "5000\n" : "480\n");
            writeFile(rootHub / "version", super ? " 3.00\n" : " 2.00\n");
            const std::string port = (super ? "2-" : "1-") + std::to_string(nextPort_++);
            const fs::path usb = rootHub / port;
            const std::string speed = super ? "5000" : full ? "12" : "480";
            const std::string version = super ? "3.00" : full ? "1.10" : "2.00";
            writeFile(usb / "speed", (disk.usbSpeed.empty() ? speed : disk.usbSpeed) + "\n");
            writeFile(usb / "version",
                      " " + (disk.usbVersion.empty() ? version : disk.usbVersion) + "\n");
            writeFile(usb / "idVendor", "058f\n");
            writeFile(usb / "idProduct", "6387\n");
            if (!disk.usbProduct.empty()) {
                writeFile(usb / "product", disk.usbProduct + "\n");
            }
            const fs::path interface = usb / (port + ":1.0");
            if (!disk.usbDriver.empty()) {
                linkTo(interface / "driver",
                       fs::path(sysRoot()) / "bus/usb/drivers" / disk.usbDriver);
            }
            at.device = interface / scsiTail;
            break;
        }
        case FakeDisk::Sata:
        case FakeDisk::Pata: {
            const bool sata = disk.bus == FakeDisk::Sata;
            const std::string a = std::to_string(host + 1);
            const fs::path port = pci / (sata ? "0000:00:17.0" : "0000:00:1f.1") / ("ata" + a);
            writeFile(port / ("link" + a) / "ata_link" / ("link" + a) / "sata_spd",
                      sata ? "6.0 Gbps\n" : "<unknown>\n");
            at.device = port / scsiTail;
            break;
        }
        case FakeDisk::Scsi:
            at.device = pci / "0000:00:10.0" / scsiTail;
            break;
        case FakeDisk::Firewire:
            at.device = pci / "0000:00:1e.0/0000:05:00.0/fw1/fw1.0" / scsiTail;
            break;
        case FakeDisk::Mmc:
            at.device = pci / "0000:00:1a.0/mmc_host" / ("mmc" + h) / ("mmc" + h + ":0001");
            break;
        case FakeDisk::Nvme:
            at.device = pci / "0000:00:1d.0/0000:3d:00.0/nvme" / ("nvme" + h);
            at.block = at.device / disk.name;
            return at;
        case FakeDisk::Virtio:
            at.device = pci / "0000:00:05.0" / ("virtio" + h);
            break;
        case FakeDisk::Loop:
            at.block = fs::path(sysRoot()) / "devices/virtual/block" / disk.name;
            return at;
    }
    at.block = at.device / "block" / disk.name;
    return at;
}

std::string FakeSysfs::assignNumber(const FakeDisk& disk) {
    if (!disk.devNumber.empty()) {
        return disk.devNumber;
    }
    const int major = disk.bus == FakeDisk::Mmc      ? 179
                      : disk.bus == FakeDisk::Nvme   ? 259
                      : disk.bus == FakeDisk::Virtio ? 253
                      : disk.bus == FakeDisk::Loop   ? 7
                                                     : 8;
    return std::to_string(major) + ":" + std::to_string(1024 + 16 * nextAutoMinor_++);
}

void FakeSysfs::writeBlockFolder(const std::string& folder, const FakeDisk& disk,
                                 const std::string& number) {
    const fs::path block(folder);
    const auto line = [](uint64_t value) { return std::to_string(value) + "\n"; };
    writeFile(block / "size", line(disk.imageBytes / 512));
    writeFile(block / "removable", line(disk.removable));
    writeFile(block / "ro", line(disk.readOnly));
    writeFile(block / "dev", number + "\n");
    writeFile(block / "queue/max_hw_sectors_kb", line(disk.maxHwSectorsKb));
    writeFile(block / "queue/max_segments", line(disk.maxSegments));
    writeFile(block / "queue/dma_alignment", line(disk.dmaAlignment));
    writeFile(block / "queue/logical_block_size", "512\n");
    writeFile(block / "queue/hw_sector_size", "512\n");
    fs::create_directories(block / "holders");
    fs::create_directories(block / "slaves");
    if (disk.bus == FakeDisk::Loop && !disk.backingFile.empty()) {
        writeFile(block / "loop/backing_file", disk.backingFile + "\n");
    }
}

void FakeSysfs::writePartitions(const std::string& folder, const FakeDisk& disk,
                                const std::string& number) {
    const size_t colon = number.find(':');
    const std::string major = number.substr(0, colon);
    const int minor = std::stoi(number.substr(colon + 1));
    const bool digitEnd = std::isdigit(static_cast<unsigned char>(disk.name.back())) != 0;
    uint64_t start = kFirstPartitionSector;
    for (size_t i = 0; i < disk.partitionBytes.size(); ++i) {
        const std::string name = disk.name + (digitEnd ? "p" : "") + std::to_string(i + 1);
        const std::string partNumber =
            major + ":" + std::to_string(minor + static_cast<int>(i) + 1);
        const fs::path part = fs::path(folder) / name;
        const uint64_t sectors = disk.partitionBytes[i] / 512;
        writeFile(part / "partition", std::to_string(i + 1) + "\n");
        writeFile(part / "start", std::to_string(start) + "\n");
        writeFile(part / "size", std::to_string(sectors) + "\n");
        writeFile(part / "dev", partNumber + "\n");
        writeFile(part / "ro", disk.readOnly ? "1\n" : "0\n");
        fs::create_directories(part / "holders");
        linkBlock(name, part.string(), partNumber, false);
        writeImage(nodePath(name), disk.partitionBytes[i]);
        nodesByNumber_[partNumber] = nodePath(name);
        start += sectors;
    }
}

std::string FakeSysfs::addDisk(const FakeDisk& disk) {
    const Placement at = place(disk);
    const std::string number = assignNumber(disk);
    const fs::path device = at.device;
    if (!device.empty() && disk.hasIdentity) {
        if (disk.bus == FakeDisk::Nvme) {
            writeFile(device / "model", disk.model + "\n");
            writeFile(device / "firmware_rev", disk.rev + "\n");
            writeFile(device / "serial", "S4EWNX0R123456\n");
        } else if (disk.bus == FakeDisk::Mmc) {
            writeFile(device / "name", disk.model + "\n");
        } else if (scsiLike(disk.bus)) {
            writeFile(device / "vendor", disk.vendor + "\n");
            writeFile(device / "model", disk.model + "\n");
            writeFile(device / "rev", disk.rev + "\n");
        }
    }
    if (disk.bus == FakeDisk::Mmc) {
        writeFile(device / "type", disk.mmcType + "\n");
        writeFile(device / "fwrev", "0x0\n");
    } else if (disk.bus == FakeDisk::Virtio) {
        writeFile(device / "vendor", "0x1af4\n");
        writeFile(device / "device", "0x0002\n");
    } else if (scsiLike(disk.bus)) {
        writeFile(device / "type", "0\n");
        if (disk.queueDepth > 0) {
            writeFile(device / "queue_depth", std::to_string(disk.queueDepth) + "\n");
        }
    }
    writeBlockFolder(at.block.string(), disk, number);
    if (!device.empty()) {
        linkTo(at.block / "device", device);
    }
    linkBlock(disk.name, at.block.string(), number, true);

    const std::string node = nodePath(disk.name);
    writeImage(node, disk.imageBytes);
    nodesByNumber_[number] = node;
    if (disk.imageBytes > 0) {
        writePartitions(at.block.string(), disk, number);
        if (disk.writePartitionTable && !disk.partitionBytes.empty() && disk.imageBytes >= 512) {
            writeMbr(node, disk);
        }
    }
    return node;
}

void FakeSysfs::removeDisk(const std::string& name) {
    const fs::path sys(sysRoot());
    std::string number;
    std::ifstream(sys / "block" / name / "dev") >> number;
    std::error_code ignored;
    for (const fs::path& link : {sys / "block" / name, sys / "class/block" / name,
                                 sys / "dev/block" / number, fs::path(nodePath(name))}) {
        fs::remove(link, ignored);
    }
    nodesByNumber_.erase(number);
}

void FakeSysfs::appendProc(const std::string& relative, const std::string& line) {
    writeFile(fs::path(procRoot()) / relative, line + "\n", std::ios::app);
}

void FakeSysfs::addMount(const std::string& devNumber, const std::string& mountPoint) {
    const auto found = nodesByNumber_.find(devNumber);
    const std::string source = found == nodesByNumber_.end() ? "none" : found->second;
    const std::string id = std::to_string(nextMount_++);
    appendProc("self/mountinfo", id + " 1 " + devNumber + " / " + escapeMount(mountPoint) +
                                     " rw,relatime shared:" + id + " - vfat " +
                                     escapeMount(source) + " rw");
}

void FakeSysfs::addSwap(const std::string& nodePath) {
    appendProc("swaps", escapeMount(nodePath) + "\tpartition\t1048572\t0\t-2");
}

void FakeSysfs::addHolder(const std::string& name, const std::string& holder) {
    const fs::path folder = fs::canonical(fs::path(sysRoot()) / "class/block" / name);
    linkTo(folder / "holders" / holder, fs::path(sysRoot()) / "devices/virtual/block" / holder);
}

std::string FakeSysfs::usbDeviceFolder(const std::string& name) const {
    const fs::path device = fs::canonical(fs::path(sysRoot()) / "block" / name / "device");
    // device: <usb>/<interface>/hostN/targetN:0:0/N:0:0:0
    const fs::path usb = device.parent_path().parent_path().parent_path().parent_path();
    return usb.lexically_relative(fs::canonical(sysRoot())).string();
}

void FakeSysfs::setAttribute(const std::string& sysRelativePath, const std::string& content) {
    writeFile(fs::path(sysRoot()) / sysRelativePath, content);
}

void FakeSysfs::removeAttribute(const std::string& sysRelativePath) {
    std::error_code ignored;
    fs::remove(fs::path(sysRoot()) / sysRelativePath, ignored);
}

// Presets.

namespace {

FakeDisk scsiPreset(const char* name, FakeDisk::Bus bus, const char* vendor, const char* model,
                    const char* rev, const char* number, uint64_t bytes) {
    return {.name = name,
            .bus = bus,
            .vendor = FakeSysfs::padded(vendor, 8),
            .model = FakeSysfs::padded(model, 16),
            .rev = FakeSysfs::padded(rev, 4),
            .imageBytes = bytes,
            .partitionBytes =
                bytes > 2 * kMiB ? std::vector<uint64_t>{bytes - kMiB} : std::vector<uint64_t>{},
            .devNumber = number};
}

FakeDisk fixed(FakeDisk disk) {
    disk.removable = 0;
    disk.queueDepth = 32;
    disk.maxHwSectorsKb = 32767;
    disk.maxSegments = 168;
    return disk;
}

}  // namespace

FakeDisk FakeSysfs::sataDisk() {
    FakeDisk disk = fixed(
        scsiPreset("sda", FakeDisk::Sata, "ATA", "Samsung SSD 860", "4B6Q", "8:0", 512 * kMiB));
    disk.partitionBytes = {256 * kMiB, 255 * kMiB};
    return disk;
}

FakeDisk FakeSysfs::usbKey480() {
    return scsiPreset("sdb", FakeDisk::UsbHigh, "Generic", "Flash Disk", "8.07", "8:16",
                      256 * kMiB);
}

FakeDisk FakeSysfs::usb11Reader() {
    FakeDisk disk =
        scsiPreset("sdc", FakeDisk::UsbFull, "Generic", "USB SD Reader", "1.00", "8:32", 32 * kMiB);
    disk.maxHwSectorsKb = 64;
    return disk;
}

FakeDisk FakeSysfs::readerWithoutMedia() {
    return scsiPreset("sdd", FakeDisk::UsbHigh, "Generic", "Card Reader", "1.00", "8:48", 0);
}

FakeDisk FakeSysfs::pataDisk() {
    return fixed(scsiPreset("sde", FakeDisk::Pata, "ATA", "ST340014A", "8.16", "8:64", 64 * kMiB));
}

FakeDisk FakeSysfs::readOnlyCard() {
    FakeDisk disk =
        scsiPreset("sdf", FakeDisk::UsbHigh, "Generic", "SD/MMC", "1.00", "8:80", 64 * kMiB);
    disk.readOnly = true;
    return disk;
}

FakeDisk FakeSysfs::scsiDisk() {
    return fixed(
        scsiPreset("sdg", FakeDisk::Scsi, "QEMU", "QEMU HARDDISK", "2.5+", "8:96", 64 * kMiB));
}

FakeDisk FakeSysfs::firewireDisk() {
    return scsiPreset("sdh", FakeDisk::Firewire, "LaCie", "d2 quadra", "0001", "8:112", 64 * kMiB);
}

// Every MMC block device reports removable 0.
FakeDisk FakeSysfs::mmcCard() {
    return {.name = "mmcblk0",
            .bus = FakeDisk::Mmc,
            .model = "SD08G",
            .removable = 0,
            .imageBytes = 64 * kMiB,
            .partitionBytes = {63 * kMiB},
            .devNumber = "179:0"};
}

FakeDisk FakeSysfs::nvmeDisk() {
    return {.name = "nvme0n1",
            .bus = FakeDisk::Nvme,
            .model = padded("Samsung SSD 970 EVO Plus 1TB", 40),
            .rev = "2B2QEXM7",
            .removable = 0,
            .imageBytes = 512 * kMiB,
            .partitionBytes = {511 * kMiB},
            .devNumber = "259:0"};
}

FakeDisk FakeSysfs::virtioDisk() {
    return {.name = "vda",
            .bus = FakeDisk::Virtio,
            .hasIdentity = false,
            .removable = 0,
            .imageBytes = 64 * kMiB,
            .devNumber = "253:0"};
}

FakeDisk FakeSysfs::loopDevice() {
    return {.name = "loop1",
            .bus = FakeDisk::Loop,
            .hasIdentity = false,
            .removable = 0,
            .imageBytes = 64 * kMiB,
            .devNumber = "7:1",
            .backingFile = "/var/tmp/disk.img"};
}

}  // namespace vorn::test
