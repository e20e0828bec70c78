#include "storage/PartitionProbe.h"

#include <blkid/blkid.h>
#include <fcntl.h>

#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <type_traits>

#include "base/DiagLog.h"
#include "storage/DriveCatalog.h"
#include "storage/MountTable.h"

namespace vorn {

namespace {

// libblkid counts partition starts and sizes in 512-byte sectors, whatever the
// device's own sector size; sysfs "start" and "size" do the same.
constexpr uint64_t kUnitBytes = 512;
constexpr unsigned long long kDosBootFlag = 0x80;

struct ProbeFree {
    void operator()(blkid_probe probe) const { blkid_free_probe(probe); }
};
using Probe = std::unique_ptr<std::remove_pointer_t<blkid_probe>, ProbeFree>;

enum class Found { kNothing, kSomething, kError };

uint64_t unitsToBytes(uint64_t units) {
    return units > std::numeric_limits<uint64_t>::max() / kUnitBytes
               ? std::numeric_limits<uint64_t>::max()
               : units * kUnitBytes;
}

uint64_t nonNegative(blkid_loff_t value) {
    return value > 0 ? static_cast<uint64_t>(value) : 0;
}

uint32_t saturate32(uint64_t value) {
    return value > std::numeric_limits<uint32_t>::max() ? std::numeric_limits<uint32_t>::max()
                                                        : static_cast<uint32_t>(value);
}

bool tableIs(blkid_partition part, const char* kind) {
    blkid_parttable table = blkid_partition_get_table(part);
    const char* type = table != nullptr ? blkid_parttable_get_type(table) : nullptr;
    return type != nullptr && std::strcmp(type, kind) == 0;
}

// An MBR entry keeps its own type byte and GPT entries count as the protective type.
// Any other table (nested BSD labels, Apple, Sun, ...) has no MBR byte to offer, yet
// its partitions are just as used.
PartitionEntry entryOf(blkid_partition part) {
    PartitionEntry entry;
    const uint64_t start = nonNegative(blkid_partition_get_start(part));
    entry.startingOffset = unitsToBytes(start);
    entry.partitionLength = unitsToBytes(nonNegative(blkid_partition_get_size(part)));
    entry.hiddenSectors = saturate32(start);
    entry.partitionNumber = saturate32(nonNegative(blkid_partition_get_partno(part)));
    entry.partitionType = kPartitionTypeInUse;
    if (tableIs(part, "dos")) {
        const int type = blkid_partition_get_type(part) & 0xFF;
        if (type != 0) {
            entry.partitionType = static_cast<uint8_t>(type);
        }
        entry.bootIndicator = (blkid_partition_get_flags(part) & kDosBootFlag) != 0 ? 1 : 0;
    } else if (tableIs(part, "gpt")) {
        entry.partitionType = kPartitionTypeGpt;
    }
    entry.recognizedPartition = 1;
    return entry;
}

// The partition table of the disk, one entry per partition (logical ones included).
Found readPartitionTable(blkid_probe probe, std::vector<PartitionEntry>& entries) {
    blkid_probe_enable_superblocks(probe, 0);
    blkid_probe_enable_partitions(probe, 1);
    blkid_probe_set_partitions_flags(probe, BLKID_PARTS_ENTRY_DETAILS);
    if (blkid_do_safeprobe(probe) == -1) {
        return Found::kError;
    }
    blkid_partlist list = blkid_probe_get_partitions(probe);
    if (list == nullptr || blkid_partlist_get_table(list) == nullptr) {
        return Found::kNothing;
    }
    const int count = blkid_partlist_numof_partitions(list);
    for (int i = 0; i < count; ++i) {
        blkid_partition part = blkid_partlist_get_partition(list, i);
        if (part != nullptr) {
            entries.push_back(entryOf(part));
        }
    }
    return Found::kSomething;
}

// A file system, swap, RAID member or any other signature on the whole disk.
// Several signatures at once (libblkid's ambivalent answer) are something too.
Found readWholeDiskSignature(blkid_probe probe) {
    blkid_probe_enable_partitions(probe, 0);
    blkid_probe_enable_superblocks(probe, 1);
    blkid_probe_set_superblocks_flags(probe, BLKID_SUBLKS_TYPE | BLKID_SUBLKS_USAGE);
    switch (blkid_do_safeprobe(probe)) {
        case 1:
            return Found::kNothing;
        case -1:
            return Found::kError;
        default:
            return Found::kSomething;
    }
}

// The sysfs folder of a disk; none for a name that is not one plain path component.
std::filesystem::path blockDir(const DriveCatalog& catalog, const std::string& name) {
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) {
        return {};
    }
    return std::filesystem::path(catalog.sysfsRoot()) / "block" / name;
}

bool hasHolders(const std::filesystem::path& sysDir) {
    if (sysDir.empty()) {
        return false;
    }
    std::error_code error;
    std::filesystem::directory_iterator it(sysDir / "holders", error);
    return !error && it != std::filesystem::directory_iterator();
}

uint64_t readSysNumber(const std::filesystem::path& file) {
    std::ifstream in(file);
    unsigned long long value = 0;
    if (!(in >> value)) {
        return 0;
    }
    return value;
}

bool isInUse(const DriveCatalog& catalog, const std::string& name, const std::string& node,
             const std::filesystem::path& sysDir, const MountTable& mounts) {
    return !mounts.mountPointsOf(catalog.devNumber(name)).empty() || mounts.isSwap(node) ||
           hasHolders(sysDir);
}

PartitionEntry usedEntry(uint64_t start, uint64_t length, uint32_t number) {
    PartitionEntry entry;
    entry.startingOffset = start;
    entry.partitionLength = length;
    entry.partitionNumber = number;
    entry.partitionType = kPartitionTypeInUse;
    return entry;
}

// Used entries for the partitions the system is using: the kernel's partition list,
// which may know partitions that no table read here shows.
void addUsedPartitions(const DriveCatalog& catalog, const std::string& driveName,
                       const std::filesystem::path& diskDir, const MountTable& mounts,
                       std::vector<PartitionEntry>& entries) {
    if (diskDir.empty()) {
        return;
    }
    for (const std::string& part : catalog.partitions(driveName)) {
        const std::filesystem::path partDir = diskDir / part;
        if (!isInUse(catalog, part, catalog.devRoot() + "/" + part, partDir, mounts)) {
            continue;
        }
        const uint64_t start = readSysNumber(partDir / "start");
        const uint64_t size = readSysNumber(partDir / "size");
        entries.push_back(usedEntry(unitsToBytes(start), unitsToBytes(size),
                                    saturate32(readSysNumber(partDir / "partition"))));
    }
}

// libblkid reads small, unaligned pieces, which a direct-I/O descriptor refuses: a
// given descriptor is buffered for the probe and gets its flags back afterwards.
class BufferedWhileProbing {
public:
    explicit BufferedWhileProbing(int fd) : fd_(fd), flags_(fd >= 0 ? fcntl(fd, F_GETFL) : -1) {
        if (flags_ >= 0 && (flags_ & O_DIRECT) != 0) {
            cleared_ = fcntl(fd_, F_SETFL, flags_ & ~O_DIRECT) == 0;
        }
    }
    ~BufferedWhileProbing() {
        if (cleared_ && fcntl(fd_, F_SETFL, flags_) != 0) {
            logMessage("** O_DIRECT not restored after the layout probe");
        }
    }
    BufferedWhileProbing(const BufferedWhileProbing&) = delete;
    BufferedWhileProbing& operator=(const BufferedWhileProbing&) = delete;

private:
    int fd_;
    int flags_;
    bool cleared_ = false;
};

Probe newProbe(const std::string& nodePath, int openFd) {
    if (openFd < 0) {
        return Probe(blkid_new_probe_from_filename(nodePath.c_str()));
    }
    Probe probe(blkid_new_probe());
    if (probe && blkid_probe_set_device(probe.get(), openFd, 0, 0) != 0) {
        probe.reset();
    }
    return probe;
}

bool probeLayout(const DriveCatalog& catalog, const std::string& driveName,
                 const std::string& nodePath, const MountTable& mounts,
                 std::vector<PartitionEntry>& entries, int openFd) {
    const BufferedWhileProbing buffered(openFd);
    // A node that does not open, or holds no medium at all, has no layout to read.
    Probe probe = newProbe(nodePath, openFd);
    if (!probe || blkid_probe_get_size(probe.get()) <= 0) {
        return false;
    }
    const Found table = readPartitionTable(probe.get(), entries);
    if (table == Found::kError) {
        return false;
    }
    bool wholeDiskUsed = false;
    if (table == Found::kNothing) {
        const Found signature = readWholeDiskSignature(probe.get());
        if (signature == Found::kError) {
            return false;
        }
        wholeDiskUsed = signature == Found::kSomething;
    }
    const std::filesystem::path diskDir = blockDir(catalog, driveName);
    if (wholeDiskUsed || isInUse(catalog, driveName, nodePath, diskDir, mounts)) {
        entries.push_back(
            usedEntry(0, static_cast<uint64_t>(blkid_probe_get_size(probe.get())), 0));
    }
    addUsedPartitions(catalog, driveName, diskDir, mounts, entries);
    return true;
}

}  // namespace

bool probeDriveLayout(const DriveCatalog& catalog, const std::string& driveName,
                      const std::string& nodePath, const MountTable& mounts,
                      std::vector<PartitionEntry>& entries, int openFd) {
    entries.clear();
    try {
        if (probeLayout(catalog, driveName, nodePath, mounts, entries, openFd)) {
            return true;
        }
    } catch (const std::exception& e) {
        logException("probeDriveLayout", e);
    } catch (...) {
        logUnknownException("probeDriveLayout", -1);
    }
    entries.clear();
    return false;
}

}  // namespace vorn
