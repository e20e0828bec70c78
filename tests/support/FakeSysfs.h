#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "storage/DriveCatalog.h"

namespace vorn::test {

class TempDir;

// One disk of a fake machine. Strings are written as given (SCSI-like buses pad
// vendor to 8, model to 16 and revision to 4 characters: use padded()).
struct FakeDisk {
    enum Bus { UsbHigh, UsbFull, UsbSuper, Sata, Pata, Scsi, Firewire, Mmc, Nvme, Virtio, Loop };

    std::string name = {};  // kernel name: "sdb", "mmcblk0", "nvme0n1", "loop1"
    Bus bus = UsbHigh;
    // SCSI-like buses: device/vendor, device/model, device/rev. NVMe: model and
    // firmware_rev (vendor unused). MMC: model is the card's device/name.
    std::string vendor = {}, model = {}, rev = {};
    bool hasIdentity = true;     // false: none of those files exist
    uint8_t removable = 1;       // sysfs "removable"
    bool readOnly = false;       // sysfs "ro"
    std::string mmcType = "SD";  // MMC card device/type ("SD", "MMC")
    uint64_t imageBytes = 0;     // size of the node image; 0 = a reader without a card
    std::vector<uint64_t> partitionBytes = {};  // laid out from 1 MiB on, one after another
    bool writePartitionTable = true;            // an MBR in the image describing partitionBytes
    uint8_t partitionType = 0x0c;               // MBR type byte of every partition
    std::string devNumber = {};                 // "8:16"; empty = a free number of the tree
    uint32_t queueDepth = 1;                    // device/queue_depth (SCSI-like buses); 0 = no file
    uint32_t maxHwSectorsKb = 120;
    uint32_t maxSegments = 2048;
    uint32_t dmaAlignment = 511;
    std::string backingFile = {};  // loop devices: loop/backing_file; empty = unbound
    // USB buses: the device's own bcdUSB and its link in Mbit/s ("3.20", "5000"); empty =
    // what the bus gives. The interface's driver ("uas"; empty = none bound) and the
    // device's product string (empty = no file).
    std::string usbVersion = {}, usbSpeed = {};
    std::string usbDriver = "usb-storage";
    std::string usbProduct = {};
};

// A fake machine in a temporary folder: sys/ shaped like sysfs (block links into
// devices/ whose path shows the bus), dev/ with image files as device nodes and
// proc/ with self/mountinfo and swaps. Removed with the object. Every tree also has
// ram0, zram0 and an unbound loop0, which the catalog must leave out.
class FakeSysfs {
public:
    FakeSysfs();
    ~FakeSysfs();
    FakeSysfs(const FakeSysfs&) = delete;
    FakeSysfs& operator=(const FakeSysfs&) = delete;

    // The catalog over this tree (sys/, dev/ and proc/).
    const DriveCatalog& catalog() const { return *catalog_; }

    // Builds the disk with its partitions; answers the node path (the image file).
    std::string addDisk(const FakeDisk& disk);
    // The disk is unplugged: its block links and its node go (the device folder stays,
    // as nothing reads it without a link).
    void removeDisk(const std::string& name);
    // A mountinfo line for the device number, with the mount point escaped as the
    // kernel does (a space as \040).
    void addMount(const std::string& devNumber, const std::string& mountPoint);
    // A swaps line for a node path.
    void addSwap(const std::string& nodePath);
    // Marks a disk or partition as held by another device (holders/<holder>).
    void addHolder(const std::string& name, const std::string& holder);
    // Writes or removes a file under sys/ ("block/sdb/device/vendor"), following links.
    void setAttribute(const std::string& sysRelativePath, const std::string& content);
    void removeAttribute(const std::string& sysRelativePath);

    // The sys/-relative folder of a USB disk's device ("devices/.../usb1/1-1").
    std::string usbDeviceFolder(const std::string& name) const;

    std::string root() const;
    std::string sysRoot() const { return root() + "/sys"; }
    std::string devRoot() const { return root() + "/dev"; }
    std::string procRoot() const { return root() + "/proc"; }
    std::string mountinfoPath() const { return procRoot() + "/self/mountinfo"; }
    std::string swapsPath() const { return procRoot() + "/swaps"; }
    std::string nodePath(const std::string& name) const { return devRoot() + "/" + name; }

    // Text padded with spaces to a width (longer text stays whole).
    static std::string padded(const std::string& text, size_t width);

    // Presets, each with its own kernel name and device number so they combine.
    static FakeDisk sataDisk();            // sda, 8:0, fixed, two partitions
    static FakeDisk usbKey480();           // sdb, 8:16, "Generic " "Flash Disk      " "8.07"
    static FakeDisk usb11Reader();         // sdc, 8:32, USB 1.1 reader with a card
    static FakeDisk readerWithoutMedia();  // sdd, 8:48, size 0
    static FakeDisk pataDisk();            // sde, 8:64, fixed
    static FakeDisk readOnlyCard();        // sdf, 8:80, ro = 1
    static FakeDisk scsiDisk();            // sdg, 8:96, fixed
    static FakeDisk firewireDisk();        // sdh, 8:112
    static FakeDisk mmcCard();             // mmcblk0, 179:0, SD card "SD08G"
    static FakeDisk nvmeDisk();            // nvme0n1, 259:0, fixed
    static FakeDisk virtioDisk();          // vda, 253:0, no identity
    static FakeDisk loopDevice();          // loop1, 7:1, bound to a backing file

private:
    struct Placement;
    Placement place(const FakeDisk& disk);
    std::string assignNumber(const FakeDisk& disk);
    void writeBlockFolder(const std::string& folder, const FakeDisk& disk,
                          const std::string& number);
    void writePartitions(const std::string& folder, const FakeDisk& disk,
                         const std::string& number);
    void linkBlock(const std::string& name, const std::string& folder, const std::string& number,
                   bool wholeDisk);
    void addVirtual(const std::string& name, const std::string& number);
    void appendProc(const std::string& relative, const std::string& line);

    std::unique_ptr<TempDir> dir_;
    std::unique_ptr<DriveCatalog> catalog_;
    std::map<std::string, std::string> nodesByNumber_;  // "8:17" -> node path
    int nextHost_ = 0;
    int nextPort_ = 1;
    int nextAutoMinor_ = 0;
    int nextMount_ = 30;
};

}  // namespace vorn::test
