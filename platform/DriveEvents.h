#pragma once

#include <memory>
#include <string>

namespace vorn::platform {

// What one block-device event says, as the kernel (or udevd after it) sends it.
struct BlockEvent {
    std::string action;        // "add", "remove", "change", "move", ...
    std::string subsystem;     // "block"
    std::string devType;       // "disk" or "partition"
    std::string devPath;       // "/devices/pci0000:00/.../block/sdb"
    bool mediaChange = false;  // DISK_MEDIA_CHANGE=1: a medium went in or out
    bool resize = false;       // RESIZE=1: the disk's capacity changed
};

// True when the event can change the list of drives: a hardware whole disk came, went
// or was renamed, or its medium or size changed. Partitions and virtual disks (loop,
// dm, zram...: never listed) do not count, nor do the change events udevd makes up
// after a program that wrote a disk closes it (the write test would refresh the list
// it runs from).
bool changesDrives(const BlockEvent& event);

// Block-device events without polling: the descriptor turns readable when events wait.
class I_DriveEvents {
public:
    virtual ~I_DriveEvents() = default;
    // For poll() or a socket notifier; valid for the object's life.
    virtual int fd() const = 0;
    // Reads every waiting event without blocking; true when one of them changesDrives.
    virtual bool drain() = 0;
};

// The machine's block-device events: from udevd when it runs (its nodes, links and
// permissions are then in place), else straight from the kernel (no udevd, as in a
// bare initramfs, or only the control socket a killed udevd left). Nothing, with `why` when given,
// when no monitor opens.
std::unique_ptr<I_DriveEvents> openDriveEvents(std::string* why = nullptr);

}  // namespace vorn::platform
