// The main window's drive list behind its controls: the shared listing with its log,
// the follower keeping the selection, and the write box answered from the listing.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QCheckBox>
#include <QComboBox>
#include <memory>
#include <string>
#include <vector>

#include "app/DriveListing.h"
#include "app/gui/DriveListFollower.h"
#include "app/gui/TQkVornMain.h"
#include "base/FileNames.h"
#include "gui/PipeDriveEvents.h"
#include "gui/WindowTestSupport.h"
#include "support/FakeSysfs.h"
#include "support/ScriptedDialogs.h"

namespace vorn::test {
namespace {

std::vector<std::string> namesOf(const DriveListing& listing) {
    std::vector<std::string> names;
    for (const ListedDrive& drive : listing.drives) {
        names.push_back(drive.name);
    }
    return names;
}

class DriveListFollowerTest : public testing::Test {
protected:
    DriveListFollowerTest() {
        DriveListFollower::restartFirstFill();
        fake.addDisk(FakeSysfs::usbKey480());     // sdb
        fake.addDisk(FakeSysfs::usb11Reader());   // sdc
        fake.addDisk(FakeSysfs::readOnlyCard());  // sdf
        QObject::connect(&follower, &DriveListFollower::listed,
                         [this](int selected) { told.push_back(selected); });
    }
    // Fires one event and runs the loop until the follower lists again.
    bool followEvent() {
        const size_t before = told.size();
        events->fire(true);
        return waitUntil([&] { return told.size() > before; }, 5000);
    }
    void watch() {
        auto source = std::make_unique<PipeDriveEvents>();
        events = source.get();
        follower.watch(std::move(source));
    }

    WorkingFolder folder;
    FakeSysfs fake;
    bool windowFree = true;
    DriveListFollower follower{fake.catalog(), "Title line", [this] { return windowFree; }};
    PipeDriveEvents* events = nullptr;
    std::vector<int> told;
};

// The window and the terminal list through one function: the same drives, entries
// and writability, and the log holds the heading only when one is given.
TEST_F(DriveListFollowerTest, ListingWritesItsLogAndAnswersWritability) {
    const DriveListing plain = listIntoLog(fake.catalog(), kRefreshLog);
    const std::string plainLog = folder.read(kRefreshLog);
    EXPECT_EQ(namesOf(plain), (std::vector<std::string>{"sdb", "sdc", "sdf"}));
    ASSERT_EQ(plain.entries.size(), plain.drives.size());
    for (size_t i = 0; i < plain.drives.size(); ++i) {
        EXPECT_EQ(plain.entries[i].driveNumber, plain.drives[i].number);
    }
    EXPECT_NE(firstLine(plainLog), "Title line");
    EXPECT_EQ(plainLog.find("Processor\n"), std::string::npos);

    const ListingHeading heading{"Title line"};
    const DriveListing headed = listIntoLog(fake.catalog(), kRefreshLog, &heading);
    const std::string headedLog = folder.read(kRefreshLog);
    EXPECT_EQ(firstLine(headedLog), "Title line");
    EXPECT_NE(headedLog.find("Processor\n"), std::string::npos);
    // Both hold the drives' own lines.
    for (const std::string* log : {&plainLog, &headedLog}) {
        EXPECT_NE(log->find(": device is read-only\n"), std::string::npos) << *log;
    }
    EXPECT_EQ(headed.drives, plain.drives);

    EXPECT_TRUE(plain.writable(0));
    EXPECT_TRUE(plain.writable(1));
    EXPECT_FALSE(plain.writable(2));  // the read-only card
    EXPECT_FALSE(plain.writable(-1));
    EXPECT_FALSE(plain.writable(3));
}

// A refresh lists with the first drive selected; one that events bring keeps the
// selected drive at its new place, or falls back to the first when it is gone.
TEST_F(DriveListFollowerTest, KeepsTheSelectedDriveAcrossRefreshes) {
    follower.refresh();
    EXPECT_EQ(told, std::vector<int>{0});
    EXPECT_TRUE(folder.has(kStartLog));
    watch();
    follower.select(1);  // sdc
    fake.removeDisk("sdb");
    ASSERT_TRUE(followEvent());
    EXPECT_EQ(namesOf(follower.listing()), (std::vector<std::string>{"sdc", "sdf"}));
    EXPECT_EQ(told.back(), 0);
    EXPECT_EQ(follower.selected(), 0);
    EXPECT_TRUE(folder.has(kRefreshLog));

    follower.select(1);  // sdf
    fake.addDisk(FakeSysfs::usbKey480());
    ASSERT_TRUE(followEvent());
    EXPECT_EQ(namesOf(follower.listing()), (std::vector<std::string>{"sdb", "sdc", "sdf"}));
    EXPECT_EQ(told.back(), 2);

    fake.removeDisk("sdf");
    ASSERT_TRUE(followEvent());
    EXPECT_EQ(told.back(), 0);
    for (const char* name : {"sdb", "sdc"}) {
        fake.removeDisk(name);
    }
    ASSERT_TRUE(followEvent());
    EXPECT_EQ(told.back(), -1);
    EXPECT_TRUE(follower.listing().entries.empty());
}

// While the window is busy events only mark the list; resume() catches up once.
TEST_F(DriveListFollowerTest, WaitsWhileTheWindowIsBusy) {
    follower.refresh();
    watch();
    windowFree = false;
    fake.removeDisk("sdc");
    events->fire(true);
    waitUntil([] { return false; }, DriveListFollower::kSettleMs * 3);
    EXPECT_EQ(told.size(), 1u);
    follower.resume();
    waitUntil([] { return false; }, DriveListFollower::kSettleMs * 3);
    EXPECT_EQ(told.size(), 1u) << "resumed while still busy";
    windowFree = true;
    follower.resume();
    ASSERT_TRUE(waitUntil([this] { return told.size() == 2; }, 5000));
    EXPECT_EQ(namesOf(follower.listing()), (std::vector<std::string>{"sdb", "sdf"}));
    // Nothing is pending any more.
    follower.resume();
    waitUntil([] { return false; }, DriveListFollower::kSettleMs * 3);
    EXPECT_EQ(told.size(), 2u);
}

// The write box answers what the listing found: a drive that changed or vanished
// since is not opened again to ask (that would block the window on a slow drive);
// the next listing tells.
TEST_F(DriveListFollowerTest, TheWindowsWriteBoxFollowsTheListingNotTheDrive) {
    ScriptedDialogs dialogs;
    TQkVornMain window(dialogs, fake.catalog());
    EXPECT_TRUE(window.cbWrite->isEnabled());
    fake.setAttribute("block/sdc/ro", "1\n");
    fake.removeDisk("sdb");
    window.cbDevice->setCurrentIndex(1);
    EXPECT_TRUE(window.cbWrite->isEnabled());
    window.cbDevice->setCurrentIndex(0);
    EXPECT_TRUE(window.cbWrite->isEnabled());
    window.cbDevice->setCurrentIndex(2);
    EXPECT_FALSE(window.cbWrite->isEnabled());
    window.fillDeviceList();
    ASSERT_EQ(window.listedDrives().size(), 2u);
    EXPECT_EQ(window.listedDrives()[0].name, "sdc");
    EXPECT_FALSE(window.cbWrite->isEnabled());
}

}  // namespace
}  // namespace vorn::test
