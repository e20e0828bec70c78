#include "platform/UDisks.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace vorn::platform::udisks {
namespace {

// Every refusal udisks2 names NotAuthorized* reads the same; other errors keep the
// service's words, and an error without words keeps at least its name.
TEST(UDisksErrors, RefusalsOfPolkitReadAsOneSentence) {
    const std::string node = "/dev/loop7";
    for (const char* name : {"org.freedesktop.UDisks2.Error.NotAuthorized",
                             "org.freedesktop.UDisks2.Error.NotAuthorizedCanObtain",
                             "org.freedesktop.UDisks2.Error.NotAuthorizedDismissed"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(errorText(name, "Not authorized to perform operation", openAction(node, true)),
                  "not authorized to open /dev/loop7 for writing (polkit refused)");
        EXPECT_EQ(errorText(name, "", openAction(node, false)),
                  "not authorized to open /dev/loop7 for reading (polkit refused)");
    }
    EXPECT_EQ(errorText("org.freedesktop.UDisks2.Error.Failed", "Error opening /dev/loop7: Busy",
                        openAction(node, true)),
              "Error opening /dev/loop7: Busy");
    EXPECT_EQ(errorText("org.freedesktop.DBus.Error.ServiceUnknown", "", "unmount " + node),
              "org.freedesktop.DBus.Error.ServiceUnknown");
    // Words about authorization in another error do not make it a refusal.
    EXPECT_EQ(errorText("org.freedesktop.UDisks2.Error.Failed", "NotAuthorized elsewhere", "x"),
              "NotAuthorized elsewhere");
    EXPECT_EQ(errorText("org.freedesktop.UDisks2.Error.NotSupported", "not supported", "x"),
              "not supported");
    EXPECT_STREQ(openMode(false), "r");
    EXPECT_STREQ(openMode(true), "rw");
}

// Sets DBUS_SYSTEM_BUS_ADDRESS for the life of the object.
class BusAddress {
public:
    explicit BusAddress(const std::string& address) {
        if (const char* old = std::getenv("DBUS_SYSTEM_BUS_ADDRESS")) {
            saved_ = old;
        }
        setenv("DBUS_SYSTEM_BUS_ADDRESS", address.c_str(), 1);
    }
    ~BusAddress() {
        if (saved_) {
            setenv("DBUS_SYSTEM_BUS_ADDRESS", saved_->c_str(), 1);
        } else {
            unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
        }
    }
    BusAddress(const BusAddress&) = delete;
    BusAddress& operator=(const BusAddress&) = delete;

private:
    std::optional<std::string> saved_;
};

// The bus named in the environment is the one asked: a bus that is not there is
// "unreachable", and every call answers why instead of a descriptor.
TEST(UDisksBus, ABusThatIsNotThereAnswersWithReasons) {
    const BusAddress nowhere("unix:path=/nonexistent/vorn-test-bus");
    EXPECT_FALSE(reachable());
    const Opened opened = openDevice("/dev/loop0", false, O_DIRECT);
    EXPECT_EQ(opened.fd, -1);
    EXPECT_FALSE(opened.error.empty());
    EXPECT_FALSE(unmount("/dev/loop0").empty());
}

// Against the machine's own udisks2, when it runs: a node it does not know is an
// error in words, never a descriptor.
TEST(UDisksBus, AnUnknownNodeIsRefusedInWords) {
    if (!reachable()) {
        GTEST_SKIP() << "udisks2 is not reachable on the system bus";
    }
    const Opened opened = openDevice("/dev/vorn-no-such-node", false, O_DIRECT);
    EXPECT_EQ(opened.fd, -1);
    EXPECT_FALSE(opened.error.empty());
}

}  // namespace
}  // namespace vorn::platform::udisks
