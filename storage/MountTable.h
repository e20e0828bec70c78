#pragma once

#include <string>
#include <vector>

namespace vorn {

class DriveCatalog;

// Where the file systems of a drive are reachable: the Linux answer to drive letters.
// Built from a mountinfo file (default /proc/self/mountinfo) and a swaps file
// (default /proc/swaps) so tests can give their own.
class MountTable {
public:
    static MountTable load(const std::string& mountinfoPath = "/proc/self/mountinfo",
                           const std::string& swapsPath = "/proc/swaps");

    // Mount points of the block device with this "major:minor", in mountinfo order.
    std::vector<std::string> mountPointsOf(const std::string& devNumber) const;
    // True when the device (its node path, e.g. "/dev/sdb1") is used as swap.
    bool isSwap(const std::string& nodePath) const;

    // Every mount as "major:minor" and mount point, in mountinfo order.
    struct Mount {
        std::string devNumber;
        std::string mountPoint;  // octal escapes (\040 for a space) decoded
    };
    const std::vector<Mount>& mounts() const { return mounts_; }

private:
    std::vector<Mount> mounts_;
    std::vector<std::string> swaps_;
};

// The mount-points text of a drive: mount points of the whole disk, then of each partition
// in number order, joined by ","; stops growing once it holds 1016 characters.
std::string driveMountPointsText(const DriveCatalog& catalog, const std::string& driveName,
                                 const MountTable& mounts);

// The one-time namespace dump: one line per block device, partition and mount, as
// "name: target" (for example "/dev/sdb1: 8:17" and "8:17: /media/key").
std::vector<std::string> namespaceDumpLines(const DriveCatalog& catalog, const MountTable& mounts);

}  // namespace vorn
