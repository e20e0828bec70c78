#include "storage/LinuxDriveBroker.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>

#include "base/DiagLog.h"
#include "platform/UDisks.h"

namespace vorn {
namespace {

// What a descriptor from udisks2 really carries matters for timing (O_SYNC would
// slow every write): logged once per process for reading and once for writing.
std::atomic<bool> g_flagsLogged[2] = {false, false};

void logDescriptorFlags(int fd, const std::string& node, bool forWriting) {
    if (g_flagsLogged[forWriting ? 1 : 0].exchange(true)) {
        return;
    }
    const int flags = fcntl(fd, F_GETFL);
    logMessage("udisks2 descriptor of %s: flags 0x%x %s", node.c_str(),
               static_cast<unsigned>(flags), descriptorFlagsText(flags).c_str());
}

}  // namespace

bool opensNodesDirectly() {
    return geteuid() == 0;
}

BrokeredNode openNodeThroughUDisks(const std::string& node, bool forWriting) {
    const int flags = O_DIRECT | (forWriting ? O_EXCL : 0);
    platform::udisks::Opened opened = platform::udisks::openDevice(node, forWriting, flags);
    if (opened.fd < 0) {
        logMessage("** udisks2 open of %s failed: %s", node.c_str(), opened.error.c_str());
        return {-1, opened.error};
    }
    logDescriptorFlags(opened.fd, node, forWriting);
    return {opened.fd, {}};
}

std::string unmountThroughUDisks(const std::string& node) {
    return platform::udisks::unmount(node);
}

std::string descriptorFlagsText(int flags) {
    if (flags < 0) {
        return "unknown";
    }
    std::string text;
    switch (flags & O_ACCMODE) {
        case O_RDONLY:
            text = "O_RDONLY";
            break;
        case O_WRONLY:
            text = "O_WRONLY";
            break;
        default:
            text = "O_RDWR";
            break;
    }
    const struct {
        int bit;
        const char* name;
    } named[] = {{O_DIRECT, "O_DIRECT"}, {O_SYNC, "O_SYNC"},         {O_DSYNC, "O_DSYNC"},
                 {O_EXCL, "O_EXCL"},     {O_NONBLOCK, "O_NONBLOCK"}, {O_APPEND, "O_APPEND"}};
    for (const auto& n : named) {
        // O_SYNC includes the O_DSYNC bit: name each only when all its bits are set.
        if ((flags & n.bit) == n.bit && !(n.bit == O_DSYNC && (flags & O_SYNC) == O_SYNC)) {
            text += "|";
            text += n.name;
        }
    }
    return text;
}

}  // namespace vorn
