#include <gtest/gtest.h>

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
