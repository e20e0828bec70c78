// The drive-event source on libudev's netlink monitor.

#include "platform/DriveEvents.h"

#include <libudev.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace vorn::platform {
namespace {

constexpr const char* kUdevControl = "/run/udev/control";

// udevd's control socket takes a connection while udevd runs; the file that a killed
// udevd leaves behind refuses it, and then only the kernel's events come. A plain user
// may not connect: the socket being there is then the best sign.
bool udevdRuns() {
    const int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        return access(kUdevControl, F_OK) == 0;
    }
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", kUdevControl);
    const int connected = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    const int error = errno;
    close(fd);
    return connected == 0 || (error != ECONNREFUSED && error != ENOENT);
}

std::string valueOr(const char* value) {
    return value != nullptr ? std::string(value) : std::string();
}

bool propertyIsOne(udev_device* device, const char* key) {
    const char* value = udev_device_get_property_value(device, key);
    return value != nullptr && std::strcmp(value, "1") == 0;
}

BlockEvent eventOf(udev_device* device) {
    BlockEvent event;
    event.action = valueOr(udev_device_get_action(device));
    event.subsystem = valueOr(udev_device_get_subsystem(device));
    event.devType = valueOr(udev_device_get_devtype(device));
    event.devPath = valueOr(udev_device_get_devpath(device));
    event.mediaChange = propertyIsOne(device, "DISK_MEDIA_CHANGE");
    event.resize = propertyIsOne(device, "RESIZE");
    return event;
}

class UdevDriveEvents : public I_DriveEvents {
public:
    UdevDriveEvents(udev* context, udev_monitor* monitor) : udev_(context), monitor_(monitor) {}
    ~UdevDriveEvents() override {
        udev_monitor_unref(monitor_);
        udev_unref(udev_);
    }
    UdevDriveEvents(const UdevDriveEvents&) = delete;
    UdevDriveEvents& operator=(const UdevDriveEvents&) = delete;

    int fd() const override { return udev_monitor_get_fd(monitor_); }

    bool drain() override {
        bool changed = false;
        // The monitor's socket does not block: nothing more waiting ends the loop.
        while (udev_device* device = udev_monitor_receive_device(monitor_)) {
            changed = changesDrives(eventOf(device)) || changed;
            udev_device_unref(device);
        }
        return changed;
    }

private:
    udev* udev_;
    udev_monitor* monitor_;
};

std::unique_ptr<I_DriveEvents> fail(std::string* why, const std::string& what) {
    if (why != nullptr) {
        *why = what;
    }
    return nullptr;
}

}  // namespace

bool changesDrives(const BlockEvent& event) {
    if (event.subsystem != "block" || event.devType != "disk" ||
        event.devPath.rfind("/devices/virtual/", 0) == 0) {
        return false;
    }
    if (event.action == "add" || event.action == "remove" || event.action == "move") {
        return true;
    }
    return event.action == "change" && (event.mediaChange || event.resize);
}

std::unique_ptr<I_DriveEvents> openDriveEvents(std::string* why) {
    udev* context = udev_new();
    if (context == nullptr) {
        return fail(why, "udev_new failed");
    }
    const char* source = udevdRuns() ? "udev" : "kernel";
    udev_monitor* monitor = udev_monitor_new_from_netlink(context, source);
    if (monitor == nullptr) {
        const int error = errno;
        udev_unref(context);
        return fail(why, std::string("no ") + source + " event monitor: " + std::strerror(error));
    }
    auto events = std::make_unique<UdevDriveEvents>(context, monitor);
    const int filtered = udev_monitor_filter_add_match_subsystem_devtype(monitor, "block", "disk");
    const int enabled = filtered < 0 ? filtered : udev_monitor_enable_receiving(monitor);
    if (enabled < 0) {
        return fail(why, std::string("the ") + source +
                             " event monitor does not receive: " + std::strerror(-enabled));
    }
    return events;
}

}  // namespace vorn::platform
