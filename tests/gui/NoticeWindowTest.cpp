#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>

#include "gui/WindowTestSupport.h"
#include "net/gui/TformUpload.h"
#include "results/gui/TupdateDetails.h"
#include "support/ScriptedDialogs.h"
#include "view/gui/TQkVornChart.h"

namespace vorn::test {
namespace {

TEST(NoticeWindowTest, CentredTextInAFixedWindowWithoutCancel) {
    TformUpload notice;
    EXPECT_EQ(notice.size(), layoutSize(layout::kNotice));
    EXPECT_EQ(notice.windowTitle(), "WP Vorn");
    for (const char* text :
         {"Sending benchmark data to www.velto.example!", "Downloading file: A"}) {
        notice.setNoticeText(text);
        notice.showNotice();
        EXPECT_EQ(notice.Label1->text(), text);
        EXPECT_EQ(notice.Label1->x(), 335 / 2 - notice.Label1->width() / 2);
        EXPECT_TRUE(notice.btCancel->isHidden());
        EXPECT_TRUE(saveScreenshot(notice, "notice.png"));
        notice.hideNotice();
        EXPECT_FALSE(notice.isVisible());
    }
}

// No notice loses the ends of its text, at the default font or one half larger: a text
// wider than the window wraps, centred, and the window grows only as tall as needed.
TEST(NoticeWindowTest, EveryTextFitsAtTheDefaultFontAndAtOneAndAHalfTimesIt) {
    const QFont original = QApplication::font();
    for (const double scale : {1.0, 1.5}) {
        QFont font = original;
        font.setPointSizeF(original.pointSizeF() * scale);
        QApplication::setFont(font);
        TformUpload notice;
        for (const char* text :
             {"Downloading file: A", "Checking for new benchmark data and QK Vorn updates.",
              "Sending benchmark data to www.velto.example! This text is long enough to need "
              "three lines in a notice of this width at any font."}) {
            SCOPED_TRACE(std::to_string(scale) + " " + text);
            notice.setNoticeText(text);
            const QRect label = notice.Label1->geometry();
            EXPECT_GE(label.left(), 0);
            EXPECT_LE(label.right(), notice.width() - 1);
            EXPECT_GE(label.top(), 0);
            EXPECT_LE(label.bottom(), notice.height() - 1);
            const QSize needs =
                notice.Label1->wordWrap()
                    ? QSize(label.width(), notice.Label1->heightForWidth(label.width()))
                    : notice.Label1->sizeHint();
            EXPECT_LE(needs.width(), label.width());
            EXPECT_LE(needs.height(), label.height());
            // Centred across the window, and never smaller than it always was.
            EXPECT_LE(std::abs(label.center().x() - notice.width() / 2), 1);
            EXPECT_EQ(notice.width(), 335);
            EXPECT_GE(notice.height(), 135);
        }
    }
    QApplication::setFont(original);
}

TEST(NoticeWindowTest, UploadOfAReadOnlyResultIsRefusedAndOneWithoutDeviceDoesNothing) {
    WorkingFolder folder;
    ScriptedDialogs dialogs;
    TformUpload notice;
    TupdateDetails details(dialogs);
    TQkVornChart chart;
    chart.show();
    btUploadClick(chart, details, notice, dialogs);
    EXPECT_EQ(dialogs.boxes,
              std::vector<DialogBox>({{DialogBox::Information,
                                       "Only tests with write enabled can be uploaded, please "
                                       "change your options, retest and then upload."}}));
    EXPECT_FALSE(folder.has("vorninternet.log"));

    dialogs.boxes.clear();
    chart.setUploadAllowed(true);
    btUploadClick(chart, details, notice, dialogs);
    EXPECT_TRUE(dialogs.boxes.empty());
    EXPECT_TRUE(folder.has("vorninternet.log"));
    EXPECT_TRUE(chart.isVisible());
}

}  // namespace
}  // namespace vorn::test
