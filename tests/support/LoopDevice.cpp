#include "support/LoopDevice.h"

#include <sys/mount.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace vorn::test {
namespace {

// The first line a command prints, without its line end.
std::string output(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
            out += buffer;
        }
        pclose(pipe);
    }
    out.erase(out.find_last_not_of(" \n") + 1);
    return out;
}

}  // namespace

LoopDevice::LoopDevice(uint64_t bytes) {
    if (geteuid() != 0) {
        skipReason_ = "loop devices need root";
        return;
    }
    if (std::system("command -v losetup >/dev/null && command -v mkfs.ext4 >/dev/null") != 0) {
        skipReason_ = "losetup or mkfs.ext4 is not installed";
        return;
    }
    std::ofstream(imagePath()).close();
    std::filesystem::resize_file(imagePath(), bytes);
    node_ = output("losetup -f --show " + imagePath() + " 2>/dev/null");
    if (node_.rfind("/dev/loop", 0) != 0) {
        node_.clear();
        skipReason_ = "no loop device could be attached here";
    }
}

LoopDevice::~LoopDevice() {
    if (!mountPoint_.empty() && umount2(mountPoint_.c_str(), 0) != 0) {
        umount2(mountPoint_.c_str(), MNT_DETACH);
    }
    if (!node_.empty()) {
        (void)std::system(("losetup -d " + node_ + " >/dev/null 2>&1").c_str());
    }
}

bool LoopDevice::makeExt4() const {
    return std::system(("mkfs.ext4 -q -F " + node_ + " >/dev/null 2>&1").c_str()) == 0;
}

bool LoopDevice::mount(const std::string& target) {
    if (::mount(node_.c_str(), target.c_str(), "ext4", 0, nullptr) != 0) {
        return false;
    }
    mountPoint_ = target;
    return true;
}

}  // namespace vorn::test
