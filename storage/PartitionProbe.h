#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vorn {

class DriveCatalog;
class MountTable;

// One entry of a drive layout as the write-permission rule reads it.
struct PartitionEntry {
    uint64_t startingOffset = 0;   // bytes
    uint64_t partitionLength = 0;  // bytes
    uint32_t hiddenSectors = 0;
    uint32_t partitionNumber = 0;
    uint8_t partitionType = 0;  // MBR type byte; a GPT entry counts as 0xEE
    uint8_t bootIndicator = 0;
    uint8_t recognizedPartition = 0;
    uint8_t rewritePartition = 0;
};

// The type of a used entry that stands for something other than a partition: a
// signature on the whole disk, or a disk or partition mounted, swapped on or held.
// 0xFF is no type that an MBR entry of a mounted system carries, so it reads as "in use".
inline constexpr uint8_t kPartitionTypeInUse = 0xFF;
// The type every GPT partition counts as: the protective MBR's type byte.
inline constexpr uint8_t kPartitionTypeGpt = 0xEE;

// The layout of a drive: libblkid's partition list (one entry per partition), plus a
// used entry for whatever else makes the disk carry something: a file system or other
// signature on the whole disk, or a whole disk or partition that is mounted, used as
// swap or held by another device. Answers false when the node cannot be probed.
// `openFd`, when not -1, is a descriptor of the node to probe instead of opening it
// (a user's descriptor from udisks2); it stays open and keeps its flags.
bool probeDriveLayout(const DriveCatalog& catalog, const std::string& driveName,
                      const std::string& nodePath, const MountTable& mounts,
                      std::vector<PartitionEntry>& entries, int openFd = -1);

}  // namespace vorn
