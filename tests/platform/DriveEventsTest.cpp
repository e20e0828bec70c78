#include "platform/DriveEvents.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace vorn::platform {
namespace {

constexpr const char* kStick =
    "/devices/pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/"
    "target6:0:0/6:0:0:0/block/sdb";

BlockEvent diskEvent(const std::string& action) {
    return {.action = action, .subsystem = "block", .devType = "disk", .devPath = kStick};
}

// A stick or card reader coming and going, and the medium of a reader: the list changes.
TEST(DriveEvents, HardwareDisksComingGoingAndTheirMediaCount) {
    EXPECT_TRUE(changesDrives(diskEvent("add")));
    EXPECT_TRUE(changesDrives(diskEvent("remove")));
    EXPECT_TRUE(changesDrives(diskEvent("move")));
    BlockEvent medium = diskEvent("change");
    medium.mediaChange = true;
    EXPECT_TRUE(changesDrives(medium));
    BlockEvent resized = diskEvent("change");
    resized.resize = true;
    EXPECT_TRUE(changesDrives(resized));
}

// udevd's made-up change after a writer closes the disk, partitions (their disk has
// its own event), virtual disks and other subsystems leave the list as it is.
TEST(DriveEvents, WhatCannotChangeTheListIsLeftOut) {
    EXPECT_FALSE(changesDrives(diskEvent("change")));
    EXPECT_FALSE(changesDrives(diskEvent("bind")));
    BlockEvent partition = diskEvent("add");
    partition.devType = "partition";
    partition.devPath += "/sdb1";
    EXPECT_FALSE(changesDrives(partition));
    BlockEvent loop = diskEvent("add");
    loop.devPath = "/devices/virtual/block/loop3";
    EXPECT_FALSE(changesDrives(loop));
    loop.action = "change";
    loop.resize = true;
    EXPECT_FALSE(changesDrives(loop));
    BlockEvent usb = diskEvent("add");
    usb.subsystem = "usb";
    usb.devType = "usb_device";
    EXPECT_FALSE(changesDrives(usb));
    BlockEvent unnamed = diskEvent("add");
    unnamed.devType.clear();
    EXPECT_FALSE(changesDrives(unnamed));
}

bool readableWithin(int fd, int milliseconds) {
    pollfd wanted = {fd, POLLIN, 0};
    return poll(&wanted, 1, milliseconds) == 1;
}

// A real monitor: an event the kernel sends for a loop device (asked for through its
// uevent file; through udevd when one runs) reaches the descriptor, and the drain reads it without
// blocking and leaves it out (loop devices are never listed). Waiting events are drained whole.
TEST(DriveEvents, TheMonitorReceivesKernelEventsAndDrainsThemWhole) {
    const std::string uevent = "/sys/block/loop0/uevent";
    if (geteuid() != 0 || !std::filesystem::exists(uevent)) {
        GTEST_SKIP() << "needs root and /sys/block/loop0 to make a kernel event";
    }
    std::string why;
    auto events = openDriveEvents(&why);
    if (!events) {
        GTEST_SKIP() << "no event monitor here: " << why;
    }
    ASSERT_GE(events->fd(), 0);
    for (int i = 0; i < 3; ++i) {
        std::ofstream(uevent) << "change";
    }
    ASSERT_TRUE(readableWithin(events->fd(), 5000)) << "no event came";
    // udevd passes the events on one by one, after its rules: let the rest come.
    std::this_thread::sleep_for(std::chrono::seconds(1));
    EXPECT_FALSE(events->drain());
    EXPECT_FALSE(readableWithin(events->fd(), 0)) << "events were left waiting";
    EXPECT_FALSE(events->drain());
}

}  // namespace
}  // namespace vorn::platform
