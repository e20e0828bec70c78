// The main window's drive list following drives as they come and go, driven through
// an event source of the test's own on a pipe and the fake machine's tree.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPushButton>
#include <QTimer>

#include "app/gui/TQkVornMain.h"
#include "gui/PipeDriveEvents.h"
#include "gui/WindowTestSupport.h"
#include "net/LoopbackServers.h"
#include "net/gui/TformUpload.h"
#include "platform/DriveEvents.h"
#include "support/FakeSysfs.h"
#include "support/ScriptedDialogs.h"
#include "view/gui/TQkVornSelect.h"

namespace vorn::test {
namespace {

// Runs the event loop for `milliseconds`.
void spin(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

// Runs the event loop until `done` holds or five seconds passed; answers `done`.
bool spinUntil(const std::function<bool()>& done) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < 5000) {
        spin(10);
    }
    return done();
}

FakeDisk otherKey() {
    FakeDisk key = FakeSysfs::usbKey480();
    key.name = "sde";
    key.devNumber = "8:64";
    key.model = FakeSysfs::padded("Other Key", 16);
    return key;
}

class MainWindowFollowTest : public testing::Test {
protected:
    MainWindowFollowTest() {
        TQkVornMain::restartFirstFill();
        fake.addDisk(FakeSysfs::usbKey480());    // sdb
        fake.addDisk(FakeSysfs::usb11Reader());  // sdc
        fake.addDisk(otherKey());                // sde
        window = std::make_unique<TQkVornMain>(dialogs, fake.catalog());
        auto source = std::make_unique<PipeDriveEvents>();
        events = source.get();
        window->watchDrives(std::move(source));
    }
    std::string selectedName() const {
        const int index = window->cbDevice->currentIndex();
        return index < 0 ? "" : window->listedDrives()[static_cast<size_t>(index)].name;
    }
    std::vector<std::string> listedNames() const {
        std::vector<std::string> names;
        for (const ListedDrive& drive : window->listedDrives()) {
            names.push_back(drive.name);
        }
        return names;
    }
    // Selects a drive by name and ticks its write box.
    void selectAndTick(const std::string& name) {
        for (size_t i = 0; i < window->listedDrives().size(); ++i) {
            if (window->listedDrives()[i].name == name) {
                window->cbDevice->setCurrentIndex(static_cast<int>(i));
            }
        }
        ASSERT_EQ(selectedName(), name);
        ASSERT_TRUE(window->cbWrite->isEnabled());
        window->cbWrite->setChecked(true);
    }
    // Every fill after the window's first writes "vornrefresh.log" afresh: whether one
    // came since the last look (the file goes, so the next look sees only later ones).
    bool refreshed() const {
        const bool seen = folder.has("vornrefresh.log");
        std::remove("vornrefresh.log");
        return seen;
    }
    bool refreshComes() const {
        return spinUntil([this] { return folder.has("vornrefresh.log"); }) && refreshed();
    }
    // Longer than the settle time: a refresh that was due has happened by then.
    static void waitPastSettle() { spin(TQkVornMain::kSettleMs * 3); }

    WorkingFolder folder;
    FakeSysfs fake;
    ScriptedDialogs dialogs;
    std::unique_ptr<TQkVornMain> window;
    PipeDriveEvents* events = nullptr;
};

// A drive added and others removed: the list shows the machine as it is now, the
// selected drive stays selected at its new place, and its write box is unticked.
TEST_F(MainWindowFollowTest, FollowsDrivesAndKeepsTheSelectedOne) {
    selectAndTick("sde");
    ASSERT_EQ(window->cbDevice->currentIndex(), 2);
    fake.removeDisk("sdb");
    fake.removeDisk("sdc");
    fake.addDisk(FakeSysfs::sataDisk());
    events->fire(true);
    ASSERT_TRUE(refreshComes());
    EXPECT_EQ(listedNames(), (std::vector<std::string>{"sda", "sde"}));
    EXPECT_EQ(window->cbDevice->count(), 2);
    EXPECT_EQ(window->cbDevice->currentIndex(), 1);
    EXPECT_EQ(selectedName(), "sde");
    EXPECT_EQ(window->cbDevice->currentText().toStdString(), window->devices()[1].text);
    EXPECT_EQ(window->devices()[1].driveNumber, 1);
    EXPECT_TRUE(window->cbWrite->isEnabled());
    EXPECT_FALSE(window->cbWrite->isChecked());
    EXPECT_FALSE(window->cbCapacity->isEnabled());
}

// The selected drive unplugged: the first drive is selected, as after any fill, and
// the write box follows that drive.
TEST_F(MainWindowFollowTest, AnUnpluggedSelectionFallsBackToTheFirstDrive) {
    selectAndTick("sdc");
    fake.removeDisk("sdc");
    events->fire(true);
    ASSERT_TRUE(refreshComes());
    EXPECT_EQ(listedNames(), (std::vector<std::string>{"sdb", "sde"}));
    EXPECT_EQ(window->cbDevice->currentIndex(), 0);
    EXPECT_TRUE(window->cbWrite->isEnabled());
    EXPECT_FALSE(window->cbWrite->isChecked());
    // Every drive gone: an empty list and no write box.
    fake.removeDisk("sdb");
    fake.removeDisk("sde");
    events->fire(true);
    ASSERT_TRUE(refreshComes());
    EXPECT_EQ(window->cbDevice->count(), 0);
    EXPECT_EQ(window->cbDevice->currentIndex(), -1);
    EXPECT_FALSE(window->cbWrite->isEnabled());
}

// A burst of events refreshes once; events that change no drive do not refresh, and
// the user's ticked box stays ticked through them.
TEST_F(MainWindowFollowTest, BurstsRefreshOnceAndOtherEventsNotAtAll) {
    selectAndTick("sdb");
    events->fire(false);
    waitPastSettle();
    EXPECT_GE(events->drains, 1);
    EXPECT_FALSE(refreshed());
    EXPECT_TRUE(window->cbWrite->isChecked());
    fake.addDisk(FakeSysfs::readOnlyCard());
    for (int i = 0; i < 5; ++i) {
        events->fire(true);
        spin(TQkVornMain::kSettleMs / 5);
        EXPECT_FALSE(refreshed()) << "refreshed within the burst, after event " << i;
    }
    ASSERT_TRUE(refreshComes());
    waitPastSettle();
    EXPECT_FALSE(refreshed()) << "a second refresh for one burst";
    EXPECT_EQ(listedNames(), (std::vector<std::string>{"sdb", "sdc", "sde", "sdf"}));
    EXPECT_EQ(selectedName(), "sdb");
    EXPECT_FALSE(window->cbWrite->isChecked());
}

// While Graph Data shows its window the list waits (the selection window is modal,
// events still arrive); it catches up once the function is done.
TEST_F(MainWindowFollowTest, NoRefreshWhileAFunctionRunsThenItCatchesUp) {
    TQkVornSelect select;
    window->setSelectWindow(&select);
    bool refreshedWhileShown = true;
    QTimer::singleShot(0, &select, [&] {
        fake.removeDisk("sdc");
        events->fire(true);
        QTimer::singleShot(TQkVornMain::kSettleMs * 3, &select, [&] {
            refreshedWhileShown = refreshed();
            select.reject();
        });
    });
    window->btGraph->click();
    EXPECT_FALSE(refreshedWhileShown);
    EXPECT_GE(events->drains, 1);
    ASSERT_TRUE(refreshComes());
    EXPECT_EQ(listedNames(), (std::vector<std::string>{"sdb", "sde"}));
}

// Check Updates runs on a worker while this window's thread is free: drive events
// meanwhile only mark the list, and it refreshes once the window is back.
TEST_F(MainWindowFollowTest, NoRefreshWhileTheUpdateCheckRunsThenItCatchesUp) {
    TformUpload notice;
    window->setNoticeWindow(&notice);
    UpdateCheckSettings settings;
    settings.server = "http://127.0.0.1:" + std::to_string(LoopbackListener().port);
    settings.minimumNotice = std::chrono::milliseconds(TQkVornMain::kSettleMs * 4);
    window->setUpdateSettings(settings);
    bool ended = false;
    QObject::connect(window.get(), &TQkVornMain::updatesEnded, [&ended] { ended = true; });
    window->btUpdates->click();
    ASSERT_TRUE(window->updateGoing());
    fake.removeDisk("sdc");
    events->fire(true);
    waitPastSettle();
    EXPECT_FALSE(ended);
    EXPECT_FALSE(refreshed());
    EXPECT_EQ(listedNames(), (std::vector<std::string>{"sdb", "sdc", "sde"}));
    ASSERT_TRUE(spinUntil([&ended] { return ended; }));
    ASSERT_TRUE(refreshComes());
    EXPECT_EQ(listedNames(), (std::vector<std::string>{"sdb", "sde"}));
}

// Without a source the list stays as it was filled; the Refresh button still works.
TEST_F(MainWindowFollowTest, WithoutASourceOnlyRefreshFollows) {
    window->watchDrives(nullptr);
    events = nullptr;
    fake.removeDisk("sdb");
    waitPastSettle();
    EXPECT_FALSE(refreshed());
    EXPECT_EQ(listedNames(), (std::vector<std::string>{"sdb", "sdc", "sde"}));
    window->BtnRefresh->click();
    EXPECT_EQ(listedNames(), (std::vector<std::string>{"sdc", "sde"}));
}

}  // namespace
}  // namespace vorn::test
