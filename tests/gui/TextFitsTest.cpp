// No window cuts the text of a label or a button: every caption fits the room its
// control has.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLabel>
#include <memory>
#include <string>
#include <vector>

#include "app/gui/TQkVornMain.h"
#include "app/gui/TRunTestForm.h"
#include "net/gui/TformUpload.h"
#include "results/gui/TupdateDetails.h"
#include "support/FakeSysfs.h"
#include "support/ScriptedDialogs.h"
#include "view/gui/TQkVornChart.h"
#include "view/gui/TQkVornSelect.h"

namespace vorn::test {
namespace {

// Controls of a shown window whose text needs more room than they have.
std::vector<std::string> clipped(QWidget& window) {
    std::vector<std::string> out;
    auto check = [&](QWidget* control, const QString& text, QSize needs) {
        if (!control->isVisible() || text.isEmpty()) {
            return;
        }
        // A control that sticks out of its parent is cut by it.
        const bool inside = control->parentWidget() == nullptr ||
                            control->parentWidget()->rect().contains(control->geometry());
        if (!inside || needs.width() > control->width() || needs.height() > control->height()) {
            out.push_back(
                window.objectName().toStdString() + "." + control->objectName().toStdString() +
                " \"" + text.toStdString() + "\" needs " + std::to_string(needs.width()) + "x" +
                std::to_string(needs.height()) + ", has " + std::to_string(control->width()) + "x" +
                std::to_string(control->height()));
        }
    };
    for (QLabel* label : window.findChildren<QLabel*>()) {
        if (label->pixmap().isNull()) {
            const QSize needs = label->wordWrap() ? QSize(0, label->heightForWidth(label->width()))
                                                  : label->minimumSizeHint();
            check(label, label->text(), needs);
        }
    }
    for (QAbstractButton* button : window.findChildren<QAbstractButton*>()) {
        check(button, button->text(), button->minimumSizeHint());
    }
    return out;
}

// Display scaling (1.5 and so on) scales geometry and text together, so what fits at
// the default font fits there too.
TEST(TextFits, EveryLabelAndButtonAtTheDefaultFont) {
    FakeSysfs fake;
    fake.addDisk(FakeSysfs::usbKey480());
    ScriptedDialogs dialogs;
    TQkVornMain main(dialogs, fake.catalog());
    TRunTestForm progress;
    TQkVornChart chart;
    TQkVornSelect select;
    TupdateDetails details(dialogs);
    TformUpload notice;
    notice.setNoticeText("Checking for new benchmark data and QK Vorn updates.");
    for (QWidget* window :
         std::initializer_list<QWidget*>{&main, &progress, &chart, &select, &details, &notice}) {
        window->show();
        EXPECT_EQ(clipped(*window), std::vector<std::string>{});
        window->hide();
    }
}

}  // namespace
}  // namespace vorn::test
