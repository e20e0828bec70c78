// The window program's boxes: a question whose Yes destroys data answers No on Enter
// and names the drive; an ordinary question keeps Yes as its default.

#include <gtest/gtest.h>

#include <functional>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "app/gui/QtDialogs.h"

namespace vorn::test {
namespace {

struct SeenBox {
    QString text;
    bool defaultIsNo = false;
    bool defaultIsYes = false;
};

// Presses the default button of the next modal box, as Enter does, and notes it.
SeenBox pressDefault(const std::function<void()>& ask) {
    SeenBox seen;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || box->defaultButton() == nullptr) {
            return;
        }
        poll.stop();
        seen.text = box->text();
        seen.defaultIsNo = box->defaultButton() == box->button(QMessageBox::No);
        seen.defaultIsYes = box->defaultButton() == box->button(QMessageBox::Yes);
        box->defaultButton()->click();
    });
    poll.start(5);
    ask();
    return seen;
}

TEST(Dialogs, EnterNeverAgreesToOverwriteAndTheDriveIsNamed) {
    QtDialogs dialogs;
    bool yes = true;
    const SeenBox seen = pressDefault([&] {
        yes = dialogs.destructiveQuestion("All data WILL be lost.  Continue test?",
                                          "(/media/key) Generic Flash Disk (8.0GB)");
    });
    EXPECT_FALSE(yes);
    EXPECT_TRUE(seen.defaultIsNo);
    EXPECT_EQ(seen.text.toStdString(),
              "All data WILL be lost.  Continue test?\n\n(/media/key) Generic Flash Disk (8.0GB)");

    const SeenBox plain = pressDefault([&] { yes = dialogs.question("Continue anyway?"); });
    EXPECT_TRUE(yes);
    EXPECT_TRUE(plain.defaultIsYes);
}

}  // namespace
}  // namespace vorn::test
