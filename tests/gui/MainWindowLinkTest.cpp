// The line under the drive list: the selected drive's link, two lines at most, whole in
// its tip.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <memory>
#include <string>

#include "app/gui/TQkVornMain.h"
#include "gui/WindowTestSupport.h"
#include "support/FakeSysfs.h"
#include "support/ScriptedDialogs.h"

namespace vorn::test {
namespace {

constexpr const char* kSlowPort =
    "USB 3 device on a USB 2 link (480 Mbit/s): plug it into a USB 3 port";
constexpr const char* kEmptyReader =
    "USB 2.0 device at 480 Mbit/s (bulk-only); card reader: the card's own registers are not "
    "visible through it";
constexpr const char* kCard =
    "SD card SanDisk SN64G (manufactured 2023-05), allocation unit 4 MiB; claims: Class 10";

class MainWindowLinkTest : public testing::Test {
protected:
    MainWindowLinkTest() {
        TQkVornMain::restartFirstFill();
        FakeDisk stick = FakeSysfs::usbKey480();
        stick.usbVersion = "3.20";
        fake.addDisk(FakeSysfs::sataDisk());  // sda: nothing to tell
        fake.addDisk(stick);                  // sdb
        fake.addDisk(FakeSysfs::readerWithoutMedia());
        fake.addDisk(FakeSysfs::mmcCard());
        const std::string card = "block/mmcblk0/device/";
        fake.setAttribute(card + "manfid", "0x000003\n");
        fake.setAttribute(card + "name", "SN64G\n");
        fake.setAttribute(card + "date", "05/2023\n");
        fake.setAttribute(card + "preferred_erase_size", "4194304\n");
        // SPEED_CLASS 4 (bits 447:440) and nothing else.
        fake.setAttribute(card + "ssr", std::string(16, '0') + "04" + std::string(110, '0') + "\n");
    }

    // Selects list entry `index` and answers what the line shows and its tip.
    std::pair<std::string, std::string> lineFor(TQkVornMain& window, int index) {
        window.cbDevice->setCurrentIndex(index);
        return {window.lbLink->text().toStdString(), window.lbLink->toolTip().toStdString()};
    }

    WorkingFolder folder;
    FakeSysfs fake;
    ScriptedDialogs dialogs;
};

TEST_F(MainWindowLinkTest, FollowsTheSelectionAndHidesWhenNothingIsKnown) {
    TQkVornMain window(dialogs, fake.catalog());
    ASSERT_EQ(window.cbDevice->count(), 4);
    EXPECT_EQ(window.cbDevice->currentIndex(), 0);
    EXPECT_TRUE(window.lbLink->isHidden());
    EXPECT_EQ(lineFor(window, 1), std::make_pair(std::string(kSlowPort), std::string(kSlowPort)));
    EXPECT_FALSE(window.lbLink->isHidden());
    EXPECT_EQ(lineFor(window, 2).second, kEmptyReader);
    EXPECT_EQ(lineFor(window, 3).second, kCard);
    lineFor(window, 0);
    EXPECT_TRUE(window.lbLink->isHidden());
    EXPECT_EQ(window.lbLink->toolTip(), "");
}

// Each text wraps once at most and fits between the list and the write box; a text too
// long even for that is cut with an ellipsis, and shown whole in the tip.
TEST_F(MainWindowLinkTest, TwoLinesAtMostBetweenTheListAndTheWriteBox) {
    fake.setAttribute("block/mmcblk0/device/name", "SN64G" + std::string(300, 'x') + "\n");
    TQkVornMain window(dialogs, fake.catalog());
    window.show();
    ASSERT_EQ(window.cbDevice->count(), 4);
    for (int index = 1; index < 4; ++index) {
        SCOPED_TRACE(index);
        const auto [shown, whole] = lineFor(window, index);
        QLabel& line = *window.lbLink;
        const QString text = line.text();
        EXPECT_EQ(index == 3, text.endsWith(QChar(0x2026))) << shown;
        EXPECT_EQ(whole.rfind(index == 3 ? text.chopped(1).toStdString() : shown, 0), 0u);
        EXPECT_LE(line.heightForWidth(line.width()), line.height());
        EXPECT_LE(line.height(), 2 * line.fontMetrics().lineSpacing() + 2);
        EXPECT_GE(line.y(), window.cbDevice->geometry().bottom());
        EXPECT_LE(line.geometry().bottom(), window.cbWrite->y());
    }
    EXPECT_EQ(window.size(), layoutSize(layout::kMain));
}

}  // namespace
}  // namespace vorn::test
