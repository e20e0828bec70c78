#pragma once

#include <string>

namespace vorn {

// How a live drive reaches its device node. Root opens nodes itself; a normal user
// asks udisks2, which lets polkit decide. Image files never come this way.
struct BrokeredNode {
    int fd = -1;
    std::string error;  // in words for the user when fd < 0
};

// True when the process opens device nodes itself (it runs as root).
bool opensNodesDirectly();

// A direct-I/O descriptor of a block device node through udisks2: for reading, or for
// writing and exclusive (the write test's claim). The caller owns the descriptor.
BrokeredNode openNodeThroughUDisks(const std::string& node, bool forWriting);

// Unmounts the file system on a block device node through udisks2; empty on success.
std::string unmountThroughUDisks(const std::string& node);

// The open(2) flags of a descriptor, in words ("O_RDWR|O_DIRECT"), for the log.
std::string descriptorFlagsText(int flags);

}  // namespace vorn
