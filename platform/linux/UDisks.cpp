#include "platform/UDisks.h"

#include <fcntl.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cstring>

namespace vorn::platform::udisks {
namespace {

constexpr const char* kService = "org.freedesktop.UDisks2";
constexpr const char* kManagerPath = "/org/freedesktop/UDisks2/Manager";
constexpr const char* kManager = "org.freedesktop.UDisks2.Manager";
constexpr const char* kBlock = "org.freedesktop.UDisks2.Block";
constexpr const char* kFilesystem = "org.freedesktop.UDisks2.Filesystem";
constexpr const char* kNotAuthorized = "org.freedesktop.UDisks2.Error.NotAuthorized";
// A polkit agent may wait for the user to type a password.
constexpr uint64_t kInteractiveTimeoutUsec = 300ull * 1000 * 1000;
constexpr uint64_t kProbeTimeoutUsec = 10ull * 1000 * 1000;

struct Bus {
    sd_bus* bus = nullptr;
    Bus() {
        if (sd_bus_open_system(&bus) < 0) {
            bus = nullptr;
        } else {
            sd_bus_set_allow_interactive_authorization(bus, 1);
        }
    }
    ~Bus() { sd_bus_flush_close_unref(bus); }
    Bus(const Bus&) = delete;
    Bus& operator=(const Bus&) = delete;
};

struct Message {
    sd_bus_message* m = nullptr;
    ~Message() { sd_bus_message_unref(m); }
};

struct Error {
    sd_bus_error e = SD_BUS_ERROR_NULL;
    ~Error() { sd_bus_error_free(&e); }
    std::string name() const { return e.name != nullptr ? e.name : ""; }
    std::string message() const { return e.message != nullptr ? e.message : ""; }
};

std::string systemError(const char* what, int r) {
    return std::string(what) + " (" + std::strerror(-r) + ")";
}

// Options common to every call: let a desktop's polkit agent ask the user.
int appendAuthOptions(sd_bus_message* m) {
    return sd_bus_message_append(m, "{sv}", "auth.no_user_interaction", "b", 0);
}

// Sends `m` and keeps the reply; empty on success, else the error's words.
std::string call(Bus& bus, sd_bus_message* m, Message& reply, const std::string& action) {
    Error error;
    const int r = sd_bus_call(bus.bus, m, kInteractiveTimeoutUsec, &error.e, &reply.m);
    if (r >= 0) {
        return {};
    }
    if (sd_bus_error_is_set(&error.e)) {
        return errorText(error.name(), error.message(), action);
    }
    return systemError("udisks2 does not answer", r);
}

// The udisks2 object of a block device node, or the reason there is none.
std::string resolveDevice(Bus& bus, const std::string& node, std::string& objectPath) {
    Message m;
    int r = sd_bus_message_new_method_call(bus.bus, &m.m, kService, kManagerPath, kManager,
                                           "ResolveDevice");
    if (r >= 0) {
        r = sd_bus_message_append(m.m, "a{sv}", 1, "path", "s", node.c_str());
    }
    if (r >= 0) {
        r = sd_bus_message_append(m.m, "a{sv}", 0);
    }
    if (r < 0) {
        return systemError("cannot build a udisks2 request", r);
    }
    Message reply;
    if (std::string why = call(bus, m.m, reply, "look up " + node); !why.empty()) {
        return why;
    }
    r = sd_bus_message_enter_container(reply.m, 'a', "o");
    const char* path = nullptr;
    if (r >= 0 && sd_bus_message_read(reply.m, "o", &path) > 0 && path != nullptr) {
        objectPath = path;
        return {};
    }
    return "udisks2 does not know " + node;
}

std::string startCall(Bus& bus, const std::string& node, const char* interface, const char* method,
                      Message& m, std::string& objectPath) {
    if (bus.bus == nullptr) {
        return "the system bus does not answer";
    }
    if (std::string why = resolveDevice(bus, node, objectPath); !why.empty()) {
        return why;
    }
    const int r = sd_bus_message_new_method_call(bus.bus, &m.m, kService, objectPath.c_str(),
                                                 interface, method);
    if (r < 0) {
        return systemError("cannot build a udisks2 request", r);
    }
    sd_bus_message_set_allow_interactive_authorization(m.m, 1);
    return {};
}

}  // namespace

const char* openMode(bool forWriting) {
    return forWriting ? "rw" : "r";
}

std::string openAction(const std::string& node, bool forWriting) {
    return "open " + node + (forWriting ? " for writing" : " for reading");
}

std::string errorText(const std::string& errorName, const std::string& errorMessage,
                      const std::string& action) {
    if (errorName.rfind(kNotAuthorized, 0) == 0) {
        return "not authorized to " + action + " (polkit refused)";
    }
    if (!errorMessage.empty()) {
        return errorMessage;
    }
    return errorName.empty() ? "udisks2 refused" : errorName;
}

bool reachable() {
    Bus bus;
    if (bus.bus == nullptr) {
        return false;
    }
    // A start-up question: a hung bus must not hold the program for long.
    sd_bus_set_method_call_timeout(bus.bus, kProbeTimeoutUsec);
    Error error;
    Message reply;
    const int r = sd_bus_call_method(bus.bus, kService, "/org/freedesktop/UDisks2",
                                     "org.freedesktop.DBus.Peer", "Ping", &error.e, &reply.m, "");
    return r >= 0;
}

Opened openDevice(const std::string& node, bool forWriting, int flags) {
    Opened opened;
    Bus bus;
    Message m;
    std::string objectPath;
    opened.error = startCall(bus, node, kBlock, "OpenDevice", m, objectPath);
    if (!opened.error.empty()) {
        return opened;
    }
    int r = sd_bus_message_append(m.m, "s", openMode(forWriting));
    if (r >= 0) {
        r = sd_bus_message_open_container(m.m, 'a', "{sv}");
    }
    if (r >= 0) {
        r = sd_bus_message_append(m.m, "{sv}", "flags", "i", flags);
    }
    if (r >= 0) {
        r = appendAuthOptions(m.m);
    }
    if (r >= 0) {
        r = sd_bus_message_close_container(m.m);
    }
    if (r < 0) {
        opened.error = systemError("cannot build a udisks2 request", r);
        return opened;
    }
    Message reply;
    opened.error = call(bus, m.m, reply, openAction(node, forWriting));
    if (!opened.error.empty()) {
        return opened;
    }
    int fd = -1;
    r = sd_bus_message_read(reply.m, "h", &fd);
    // The reply owns its descriptor and closes it with the message.
    opened.fd = r > 0 ? fcntl(fd, F_DUPFD_CLOEXEC, 3) : -1;
    if (opened.fd < 0) {
        opened.error = "udisks2 answered no usable descriptor for " + node;
    }
    return opened;
}

std::string unmount(const std::string& node) {
    Bus bus;
    Message m;
    std::string objectPath;
    if (std::string why = startCall(bus, node, kFilesystem, "Unmount", m, objectPath);
        !why.empty()) {
        return why;
    }
    int r = sd_bus_message_open_container(m.m, 'a', "{sv}");
    if (r >= 0) {
        r = appendAuthOptions(m.m);
    }
    if (r >= 0) {
        r = sd_bus_message_close_container(m.m);
    }
    if (r < 0) {
        return systemError("cannot build a udisks2 request", r);
    }
    Message reply;
    return call(bus, m.m, reply, "unmount " + node);
}

}  // namespace vorn::platform::udisks
