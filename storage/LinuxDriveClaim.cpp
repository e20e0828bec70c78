// Taking a live drive for the write test: its file systems unmounted, then the node
// opened exclusively, so that the kernel refuses to mount it or hand it to another
// exclusive user while the run overwrites it.

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/DiagLog.h"
#include "storage/LinuxDrive.h"
#include "storage/LinuxDriveBroker.h"

namespace vorn {
namespace {

// The node whose file system is mounted at each mount point of the drive.
struct Mounted {
    std::string name;
    std::string node;
    std::string point;
};

std::vector<Mounted> mountsOfDrive(const DriveCatalog& catalog, const std::string& name,
                                   const MountTable& mounts) {
    std::vector<Mounted> found;
    std::vector<std::string> nodes{name};
    for (const std::string& part : catalog.partitions(name)) {
        nodes.push_back(part);
    }
    for (const std::string& node : nodes) {
        for (std::string& point : mounts.mountPointsOf(catalog.devNumber(node))) {
            found.push_back({node, catalog.devRoot() + "/" + node, std::move(point)});
        }
    }
    return found;
}

// Mount points of the whole disk and of each partition, in mountinfo order.
std::vector<std::string> mountPointsOfDrive(const DriveCatalog& catalog, const std::string& name,
                                            const MountTable& mounts) {
    std::vector<std::string> points = mounts.mountPointsOf(catalog.devNumber(name));
    for (const std::string& part : catalog.partitions(name)) {
        for (std::string& point : mounts.mountPointsOf(catalog.devNumber(part))) {
            points.push_back(std::move(point));
        }
    }
    return points;
}

// O_EXCL keeps a second writer off a block device only: an image file gets an
// advisory lock, held while the descriptor is open, so a second check or run of the
// same file is refused rather than overwriting the first one's data.
bool lockImage(int fd, std::string& why) {
    struct stat st {};
    if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        flock(fd, LOCK_EX | LOCK_NB) == 0) {
        return true;
    }
    const int error = errno;
    why = error == EWOULDBLOCK
              ? "another QK Vorn check or test is using this image file"
              : std::string("the image file cannot be locked (") + std::strerror(error) + ")";
    return false;
}

}  // namespace

bool LinuxDrive::claimForWrite(std::string& why) {
    if (!isOpen() || noMedium_) {
        why = "it holds no medium";
        return false;
    }
    // An image file is mounted by nobody and has no exclusive open: it is locked.
    if (identity_.sysPath.empty()) {
        return lockImage(fd_, why);
    }
    return unmountAll(why) && reopenExclusive(why);
}

// As root with umount2; as a user through udisks2, which unmounts the file system
// of a node (polkit deciding) rather than a path.
bool LinuxDrive::unmountOne(const std::string& node, const std::string& point, std::string& why) {
    if (!opensNodesDirectly()) {
        const std::string error = unmountThroughUDisks(node);
        if (!error.empty()) {
            logMessage("** unmount %s failed: %s", point.c_str(), error.c_str());
            why = "'" + point + "' cannot be unmounted (" + error + ")";
            return false;
        }
        logMessage("unmounted %s", point.c_str());
        return true;
    }
    if (umount2(point.c_str(), 0) != 0) {
        const int error = errno;
        logMessage("** unmount %s failed: error %d", point.c_str(), error);
        why = error == EBUSY ? "'" + point + "' is busy and cannot be unmounted"
                             : "'" + point + "' cannot be unmounted (" + std::strerror(error) + ")";
        return false;
    }
    logMessage("unmounted %s", point.c_str());
    return true;
}

// Later mounts first, so a file system mounted inside another comes off before it.
bool LinuxDrive::unmountAll(std::string& why) {
    const std::vector<Mounted> found = mountsOfDrive(catalog_, identity_.name, mounts());
    for (auto it = found.rbegin(); it != found.rend(); ++it) {
        // udisks2 took a node's every mount point at once when it unmounted another.
        if (!opensNodesDirectly() && mounts().mountPointsOf(catalog_.devNumber(it->name)).empty()) {
            continue;
        }
        if (!unmountOne(it->node, it->point, why)) {
            return false;
        }
    }
    // The same file system may be mounted again somewhere meanwhile: look once more.
    const std::vector<std::string> points = mountPointsOfDrive(catalog_, identity_.name, mounts());
    if (!points.empty()) {
        why = "'" + points.front() + "' is still mounted";
        return false;
    }
    return true;
}

bool LinuxDrive::reopenExclusive(std::string& why) {
    if (deferred_) {
        const BrokeredNode node = openNodeThroughUDisks(identity_.nodePath, true);
        if (node.fd < 0) {
            why = node.error;
            return false;
        }
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = node.fd;
        nextSector = UINT64_MAX;
        return true;
    }
    const int flags = O_RDWR | O_EXCL | O_CLOEXEC | (buffered_ ? 0 : O_DIRECT);
    const int fd = ::open(identity_.nodePath.c_str(), flags);
    if (fd < 0) {
        const int error = errno;
        logMessage("** exclusive open of %s failed: error %d", identity_.nodePath.c_str(), error);
        why = error == EBUSY ? "the drive is in use by the system or another program"
                             : std::string("the drive does not open for writing (") +
                                   std::strerror(error) + ")";
        return false;
    }
    ::close(fd_);
    fd_ = fd;
    nextSector = 0;
    return true;
}

}  // namespace vorn
