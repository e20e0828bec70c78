#include <gtest/gtest.h>

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <chrono>
#include <vector>

#include "app/gui/TRunTestForm.h"
#include "gui/WindowTestSupport.h"

namespace vorn::test {
namespace {

QImage pictureOf(const QLabel* label) {
    return label->pixmap().toImage();
}

TEST(ProgressWindowTest, StartsHiddenWithItsControlsAsDesigned) {
    TRunTestForm form;
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.windowTitle(), "QK Vorn - Executing Test");
    EXPECT_EQ(form.size(), layoutSize(layout::kProgress));
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    EXPECT_FALSE(form.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(form.windowFlags() & Qt::WindowSystemMenuHint);
    EXPECT_EQ(form.ProgressBar1->minimum(), 0);
    EXPECT_EQ(form.ProgressBar1->maximum(), 100);
    EXPECT_TRUE(form.ProgressBar1->isHidden());
    // Three distinct 20 x 20 pictures that are never shown themselves.
    for (const QLabel* source : {form.imX, form.imPlay, form.imCheck}) {
        EXPECT_TRUE(source->isHidden()) << source->objectName().toStdString();
        EXPECT_EQ(source->size(), QSize(20, 20));
        EXPECT_FALSE(source->pixmap().isNull());
    }
    EXPECT_NE(pictureOf(form.imX), pictureOf(form.imPlay));
    EXPECT_NE(pictureOf(form.imPlay), pictureOf(form.imCheck));
    EXPECT_NE(pictureOf(form.imX), pictureOf(form.imCheck));
}

// Pressing Cancel only sets the flag: the window stays. Closing it from its frame
// cancels the run the same way and leaves the window up for the run to hide.
TEST(ProgressWindowTest, SeveralCancelPressesAreOneAndClosingTheFrameCancels) {
    TRunTestForm form;
    form.showView(true);
    EXPECT_FALSE(form.cancelRequested());
    for (int press = 0; press < 3; ++press) {
        form.btnCancelOk->click();
    }
    EXPECT_TRUE(form.cancelRequested());
    EXPECT_TRUE(form.isVisible());
    EXPECT_TRUE(form.btnCancelOk->isEnabled());
    form.clearCancel();
    EXPECT_FALSE(form.cancelRequested());
    EXPECT_FALSE(form.close());
    EXPECT_TRUE(form.cancelRequested());
    EXPECT_TRUE(form.isVisible());
    form.showView(false);
    EXPECT_FALSE(form.isVisible());
}

TEST(ProgressWindowTest, RowStatesCopyTheirPictureIntoTheRowIcon) {
    TRunTestForm form;
    form.showView(true);
    const struct {
        RowState state;
        const QLabel* source;
    } states[] = {{RowState::Running, form.imPlay},
                  {RowState::Passed, form.imCheck},
                  {RowState::Failed, form.imX}};
    for (RunRow row : {RunRow::Test, RunRow::Read, RunRow::Write, RunRow::Access}) {
        QLabel* icon = form.rowIcon(row);
        for (const auto& expected : states) {
            form.setRowState(row, expected.state);
            EXPECT_TRUE(icon->isVisible());
            EXPECT_EQ(pictureOf(icon), pictureOf(expected.source));
        }
        form.setRowState(row, RowState::Hidden);
        EXPECT_FALSE(icon->isVisible());
    }
    // One row's state leaves the others alone: a failed step, nothing after it.
    form.setRowState(RunRow::Read, RowState::Failed);
    EXPECT_TRUE(form.imRead->isVisible());
    EXPECT_FALSE(form.imWrite->isVisible());
    EXPECT_FALSE(form.imAccess->isVisible());
}

TEST(ProgressWindowTest, RunningRowInCaptionColourAndGreyedWriteRowStaysGrey) {
    TRunTestForm form;
    form.showView(true);
    const QColor caption = form.palette().color(QPalette::Active, QPalette::Highlight);
    const QColor text = form.palette().color(QPalette::Active, QPalette::WindowText);
    ASSERT_NE(caption, text);

    form.setRowActive(RunRow::Read, true);
    EXPECT_EQ(form.lRead->palette().color(QPalette::Active, QPalette::WindowText), caption);
    EXPECT_EQ(form.lTest->palette().color(QPalette::Active, QPalette::WindowText), text);
    form.setRowActive(RunRow::Read, false);
    EXPECT_EQ(form.lRead->palette().color(QPalette::Active, QPalette::WindowText), text);

    form.setWriteRow(true, false);
    form.setRowActive(RunRow::Write, true);
    EXPECT_TRUE(form.lWrite->isVisible());
    EXPECT_FALSE(form.lWrite->isEnabled());
    EXPECT_NE(form.lWrite->palette().color(QPalette::Disabled, QPalette::WindowText), caption);
    form.setWriteRow(false, false);
    EXPECT_FALSE(form.lWrite->isVisible());
}

TEST(ProgressWindowTest, ProgressAndCaptionFollowTheRun) {
    TRunTestForm form;
    form.setProgressVisible(true);
    EXPECT_FALSE(form.ProgressBar1->isHidden());
    form.setProgress(42);
    EXPECT_EQ(form.ProgressBar1->value(), 42);
    form.setProgress(250);
    EXPECT_EQ(form.ProgressBar1->value(), 100);
    form.setButtonCaption("&OK");
    EXPECT_EQ(form.btnCancelOk->text(), "&OK");
    form.setRowLabel(RunRow::Access, "Random Access Test");
    EXPECT_EQ(form.lAccess->text(), "Random Access Test");
}

// The poll's pause belongs to the run's worker: it waits there and leaves the
// window's events to the window's own loop.
TEST(ProgressWindowTest, WaitingSleepsWithoutRunningTheWindowsEvents) {
    TRunTestForm form;
    bool delivered = false;
    QTimer::singleShot(0, &form, [&delivered] { delivered = true; });
    const auto start = std::chrono::steady_clock::now();
    form.sleepMs(30);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));
    EXPECT_FALSE(delivered);
    EXPECT_TRUE(waitUntil([&] { return delivered; }));
}

TEST(ProgressWindowTest, ShowingAndHidingIsTold) {
    TRunTestForm form;
    std::vector<bool> told;
    QObject::connect(&form, &TRunTestForm::viewShown,
                     [&told](bool visible) { told.push_back(visible); });
    form.showView(true);
    form.showView(false);
    EXPECT_EQ(told, (std::vector<bool>{true, false}));
}

}  // namespace
}  // namespace vorn::test
