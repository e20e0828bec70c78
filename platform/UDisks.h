#pragma once

#include <string>

// Drive access for a user without root: udisks2 on the system bus opens the device
// node and hands the descriptor over, with polkit deciding through udisks2's own
// actions (a desktop's polkit agent may ask the user). DBUS_SYSTEM_BUS_ADDRESS, when
// set, names the bus.
namespace vorn::platform::udisks {

// A descriptor from udisks2, or the reason there is none.
struct Opened {
    int fd = -1;
    std::string error;
};

// True when the system bus answers and udisks2 is on it.
bool reachable();

// Opens a block device node (for example "/dev/sdb") for reading or for writing;
// `flags` are open(2) flags udisks2 adds (O_DIRECT, O_EXCL). The caller owns the fd.
Opened openDevice(const std::string& node, bool forWriting, int flags);

// Unmounts the file system on `node` through udisks2; empty on success, else why not.
std::string unmount(const std::string& node);

// The words for a failed call that tried `action` ("open /dev/sdb for writing"):
// udisks2's refusal of authorization (any "org.freedesktop.UDisks2.Error.NotAuthorized*")
// becomes "not authorized to <action> (polkit refused)"; any other error keeps the
// service's own message.
std::string errorText(const std::string& errorName, const std::string& errorMessage,
                      const std::string& action);

// "open <node> for writing" or "open <node> for reading".
std::string openAction(const std::string& node, bool forWriting);

// The open mode udisks2 expects: "rw" for writing, else "r".
const char* openMode(bool forWriting);

}  // namespace vorn::platform::udisks
