#pragma once

#include <cstdint>
#include <string>

#include "support/TempDir.h"

namespace vorn::test {

// A real loop device over a fresh image file in a folder of its own: attached by the
// constructor, unmounted (if the test mounted it) and detached with the object, on
// every path. Where the machine allows none (no root, no losetup or mkfs.ext4, no free
// loop device) ready() is false and skipReason() says why.
class LoopDevice {
public:
    explicit LoopDevice(uint64_t bytes);
    ~LoopDevice();
    LoopDevice(const LoopDevice&) = delete;
    LoopDevice& operator=(const LoopDevice&) = delete;

    bool ready() const { return !node_.empty(); }
    const std::string& skipReason() const { return skipReason_; }

    const std::string& node() const { return node_; }     // "/dev/loopN"
    std::string name() const { return node_.substr(5); }  // "loopN"
    std::string imagePath() const { return dir_.file("loop.img"); }
    // The device's folder, for mount points beside the image.
    const std::filesystem::path& folder() const { return dir_.path(); }

    // A fresh ext4 file system over the whole device.
    [[nodiscard]] bool makeExt4() const;
    // Mounts that file system on `target`, to be unmounted at the end; false when
    // the kernel refuses.
    [[nodiscard]] bool mount(const std::string& target);
    // The mount came off by other means: nothing left to unmount.
    void unmounted() { mountPoint_.clear(); }

private:
    TempDir dir_;
    std::string node_;
    std::string mountPoint_;
    std::string skipReason_;
};

}  // namespace vorn::test
