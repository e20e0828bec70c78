// Taking a live drive for the write test: its file systems unmounted, then the node
// opened exclusively, so that the kernel refuses to mount it or hand it to another
// exclusive user while the run overwrites it.

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/DiagLog.h"
#include "storage/LinuxDrive.h"

namespace vorn {
namespace {

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

}  // namespace

bool LinuxDrive::claimForWrite(std::string& why) {
    if (!isOpen() || noMedium_) {
        why = "it holds no medium";
        return false;
    }
    // An image file is mounted by nobody and has no exclusive open.
    if (identity_.sysPath.empty()) {
        return true;
    }
    return unmountAll(why) && reopenExclusive(why);
}

// Later mounts first, so a file system mounted inside another comes off before it.
bool LinuxDrive::unmountAll(std::string& why) {
    std::vector<std::string> points = mountPointsOfDrive(catalog_, identity_.name, mounts());
    for (auto point = points.rbegin(); point != points.rend(); ++point) {
        if (umount2(point->c_str(), 0) != 0) {
            const int error = errno;
            logMessage("** unmount %s failed: error %d", point->c_str(), error);
            why = error == EBUSY
                      ? "'" + *point + "' is busy and cannot be unmounted"
                      : "'" + *point + "' cannot be unmounted (" + std::strerror(error) + ")";
            return false;
        }
        logMessage("unmounted %s", point->c_str());
    }
    // The same file system may be mounted again somewhere meanwhile: look once more.
    points = mountPointsOfDrive(catalog_, identity_.name, mounts());
    if (!points.empty()) {
        why = "'" + points.front() + "' is still mounted";
        return false;
    }
    return true;
}

bool LinuxDrive::reopenExclusive(std::string& why) {
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
