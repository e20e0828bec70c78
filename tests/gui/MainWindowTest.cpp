#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QTextEdit>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <atomic>

#include "app/gui/RunJobThread.h"
#include "app/gui/TQkVornMain.h"
#include "app/gui/TRunTestForm.h"
#include "base/MakerServers.h"
#include "base/gui/LinkOpener.h"
#include "gui/WindowTestSupport.h"
#include "platform/ProgramInfo.h"
#include "results/Collections.h"
#include "storage/LinuxDrive.h"
#include "support/FakeSysfs.h"
#include "support/ScriptedDialogs.h"
#include "view/gui/TQkVornChart.h"

namespace vorn::test {
namespace {

class MainWindowTest : public testing::Test {
protected:
    MainWindowTest() { TQkVornMain::restartFirstFill(); }

    std::unique_ptr<TQkVornMain> openWindow() {
        return std::make_unique<TQkVornMain>(dialogs, fake.catalog());
    }
    std::string listText(int drive) {
        auto disk = newLinuxDrive(drive, nullptr, 65536, fake.catalog());
        return disk ? listEntryText(*disk) : std::string();
    }

    WorkingFolder folder;
    FakeSysfs fake;
    ScriptedDialogs dialogs;
};

// Presses Run Test and runs the test's event loop until the main window is back.
bool pressRunTest(TQkVornMain& window) {
    bool ended = false;
    const QMetaObject::Connection told =
        QObject::connect(&window, &TQkVornMain::runEnded, [&ended] { ended = true; });
    window.BtnRunTest->click();
    const bool back = waitUntil([&ended] { return ended; });
    QObject::disconnect(told);
    return back;
}

// Scripted boxes that note on which thread each was shown.
struct ThreadNotingDialogs : ScriptedDialogs {
    using ScriptedDialogs::ScriptedDialogs;
    void warning(const std::string& text) override {
        threads.push_back(QThread::currentThread());
        ScriptedDialogs::warning(text);
    }
    bool question(const std::string& text) override {
        threads.push_back(QThread::currentThread());
        return ScriptedDialogs::question(text);
    }
    bool destructiveQuestion(const std::string& text, const std::string& drive) override {
        threads.push_back(QThread::currentThread());
        return ScriptedDialogs::destructiveQuestion(text, drive);
    }
    std::vector<QThread*> threads;
};

// The write box is offered only for a writable drive, never ticked for the user, and
// unticked again by a new selection or a refresh.
TEST_F(MainWindowTest, ListsEveryDriveAndOffersTheWriteBoxPerDrive) {
    FakeDisk readOnly = FakeSysfs::readOnlyCard();
    readOnly.name = "sda";  // drive 0
    fake.addDisk(readOnly);
    fake.addDisk(FakeSysfs::usbKey480());
    fake.addDisk(FakeSysfs::usb11Reader());
    auto window = openWindow();
    ASSERT_EQ(window->cbDevice->count(), 3);
    ASSERT_EQ(window->devices().size(), 3u);
    for (int entry = 0; entry < 3; ++entry) {
        EXPECT_EQ(window->devices()[entry].driveNumber, entry);
        EXPECT_EQ(window->devices()[entry].text, listText(entry));
        EXPECT_EQ(window->cbDevice->itemText(entry).toStdString(), listText(entry));
    }
    EXPECT_EQ(window->cbDevice->currentIndex(), 0);
    EXPECT_FALSE(window->cbWrite->isEnabled());
    window->cbDevice->setCurrentIndex(1);
    EXPECT_TRUE(window->cbWrite->isEnabled());
    EXPECT_FALSE(window->cbWrite->isChecked());
    window->cbWrite->setChecked(true);
    window->cbDevice->setCurrentIndex(2);
    EXPECT_TRUE(window->cbWrite->isEnabled());
    EXPECT_FALSE(window->cbWrite->isChecked());
    window->cbWrite->setChecked(true);
    window->BtnRefresh->click();
    EXPECT_EQ(window->cbDevice->currentIndex(), 0);
    EXPECT_FALSE(window->cbWrite->isEnabled());
    EXPECT_FALSE(window->cbWrite->isChecked());
}

TEST_F(MainWindowTest, FirstFillWritesTheInitLogLaterOnesTheRefreshLog) {
    fake.addDisk(FakeSysfs::usbKey480());
    const std::string title = std::string("QK Vorn Beta version ") + platform::programVersion();
    auto window = openWindow();
    EXPECT_EQ(window->windowTitle().toStdString(), title);
    ASSERT_TRUE(folder.has("vorninit.log"));
    EXPECT_FALSE(folder.has("vornrefresh.log"));
    EXPECT_EQ(firstLine(folder.read("vorninit.log")), title);
    EXPECT_NE(folder.read("vorninit.log").find("Processor\n"), std::string::npos);

    const std::string initLog = folder.read("vorninit.log");
    window->BtnRefresh->click();
    ASSERT_TRUE(folder.has("vornrefresh.log"));
    EXPECT_EQ(firstLine(folder.read("vornrefresh.log")), title);
    EXPECT_EQ(folder.read("vorninit.log"), initLog);

    // The process's first fill is behind it: a second window refreshes too.
    std::remove("vornrefresh.log");
    auto second = openWindow();
    EXPECT_TRUE(folder.has("vornrefresh.log"));
}

TEST_F(MainWindowTest, TriesDrivesZeroToThirtyOnly) {
    for (int i = 0; i < 33; ++i) {
        FakeDisk key = FakeSysfs::usbKey480();
        key.name =
            i < 26 ? std::string("sd") + char('a' + i) : std::string("sda") + char('a' + i - 26);
        key.devNumber.clear();
        key.model = FakeSysfs::padded("Key" + std::to_string(i), 16);
        key.imageBytes = 1024 * 1024;
        fake.addDisk(key);
    }
    auto window = openWindow();
    ASSERT_EQ(window->cbDevice->count(), 31);
    EXPECT_EQ(window->devices().back().driveNumber, 30);
    EXPECT_NE(window->devices().back().text.find("Key30 "), std::string::npos);
}

TEST_F(MainWindowTest, NoDriveNoWriteBoxAndRunTestOnlyRefreshes) {
    auto window = openWindow();
    TRunTestForm progress;
    window->setRunWindows(&progress, nullptr);
    EXPECT_EQ(window->cbDevice->count(), 0);
    EXPECT_FALSE(window->cbWrite->isEnabled());
    // The empty list says why it is empty, and Run Test says what is missing.
    EXPECT_FALSE(window->lbNoDrive->isHidden());
    EXPECT_NE(window->lbNoDrive->text().indexOf("No removable drive was found"), -1);
    ASSERT_TRUE(pressRunTest(*window));
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].kind, DialogBox::Information);
    EXPECT_NE(dialogs.boxes[0].text.find("No drive is selected"), std::string::npos);
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(folder.has("vornrefresh.log"));
    EXPECT_FALSE(folder.has("event.log"));
}

TEST_F(MainWindowTest, RunTestOnAnEmptyReaderStopsAndComesBack) {
    fake.addDisk(FakeSysfs::readerWithoutMedia());
    auto window = openWindow();
    TRunTestForm progress;
    window->setRunWindows(&progress, nullptr);
    ASSERT_EQ(window->cbDevice->count(), 1);
    ASSERT_TRUE(pressRunTest(*window));
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0],
              (DialogBox{DialogBox::Error,
                         "No media in device, insert media and press refresh or select a new "
                         "device.",
                         {}}));
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(folder.has("event.log"));
    EXPECT_TRUE(folder.has("vornrefresh.log"));
}

// The whole press through the real windows: progress window up and main window
// hidden while the run works, the chart window on its results, then back. The press
// returns at once; the window's own loop keeps running (its timer fires) throughout.
TEST_F(MainWindowTest, RunTestWithoutWriteTestGoesThroughEveryWindow) {
    fake.addDisk(FakeSysfs::usbKey480());
    ScriptedDialogs yes({}, true);  // an image file may not look like flash memory
    auto window = std::make_unique<TQkVornMain>(yes, fake.catalog());
    TRunTestForm progress;
    TQkVornChart chart;
    window->setRunWindows(&progress, &chart);
    bool progressAlone = false;
    int ticksWhileRunning = 0;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        progressAlone = progressAlone || (progress.isVisible() && !window->isVisible());
        ticksWhileRunning += progress.isVisible() ? 1 : 0;
        if (chart.isVisible()) {
            chart.btDone->click();
        }
    });
    watcher.start(5);
    bool ended = false;
    QObject::connect(window.get(), &TQkVornMain::runEnded, [&ended] { ended = true; });
    window->BtnRunTest->click();
    EXPECT_TRUE(window->runGoing());
    EXPECT_FALSE(ended);
    ASSERT_TRUE(waitUntil([&ended] { return ended; }));
    watcher.stop();
    EXPECT_FALSE(window->runGoing());
    EXPECT_GT(ticksWhileRunning, 10);

    for (const DialogBox& box : yes.boxes) {
        EXPECT_TRUE(box.kind == DialogBox::Question || box.kind == DialogBox::Destructive)
            << box.text;
    }
    EXPECT_TRUE(progressAlone);
    EXPECT_FALSE(progress.isVisible());
    EXPECT_EQ(chart.resultCount(), 1);
    EXPECT_FALSE(chart.uploadAllowed());
    EXPECT_FALSE(chart.isVisible());
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(progress.imWrite->isVisible());
    EXPECT_FALSE(progress.lWrite->isEnabled());
    for (const char* file : {"temp.qkt", "event.log", "vorntest.log", "vornrefresh.log"}) {
        EXPECT_TRUE(folder.has(file)) << file;
    }
}

// The capacity box is offered only while the write test is ticked and goes with it;
// ticked, its check runs first and its verdict reaches the chart's summary.
TEST_F(MainWindowTest, CapacityBoxFollowsTheWriteBoxAndItsCheckReachesTheChart) {
    fake.addDisk(FakeSysfs::usbKey480());
    ScriptedDialogs yes({}, true);
    auto window = std::make_unique<TQkVornMain>(yes, fake.catalog());
    EXPECT_EQ(window->cbCapacity->text(), "Check real c&apacity");
    EXPECT_GT(window->cbCapacity->y(), window->cbWrite->y());
    EXPECT_FALSE(window->cbCapacity->isEnabled());
    window->cbWrite->setChecked(true);
    EXPECT_TRUE(window->cbCapacity->isEnabled());
    window->cbCapacity->setChecked(true);
    window->cbWrite->setChecked(false);
    EXPECT_FALSE(window->cbCapacity->isEnabled());
    EXPECT_FALSE(window->cbCapacity->isChecked());
    window->cbWrite->setChecked(true);
    EXPECT_FALSE(window->cbCapacity->isChecked());  // never ticked for the user
    window->cbCapacity->setChecked(true);

    TRunTestForm progress;
    TQkVornChart chart;
    window->setRunWindows(&progress, &chart);
    QString summary;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        if (chart.isVisible()) {
            summary = chart.otherData->toPlainText();
            chart.btDone->click();
        }
    });
    watcher.start(5);
    ASSERT_TRUE(pressRunTest(*window));
    watcher.stop();
    EXPECT_TRUE(summary.contains("  Real capacity: verified ")) << summary.toStdString();
    EXPECT_NE(folder.read("event.log").find("CAPACITY CHECK"), std::string::npos);
    // A refresh unticks both.
    EXPECT_FALSE(window->cbWrite->isChecked());
    EXPECT_FALSE(window->cbCapacity->isChecked());
    EXPECT_FALSE(window->cbCapacity->isEnabled());
}

// The chart shows the result it is handed; no file of that name is read (none exists).
TEST_F(MainWindowTest, TestResultsOpenTheChartWindowOnTheRunsResult) {
    auto window = openWindow();
    TQkVornChart chart;
    window->setRunWindows(nullptr, &chart);
    EXPECT_FALSE(window->showTestResults(RunResult{}));
    EXPECT_FALSE(chart.isVisible());
    for (bool writeTest : {true, false}) {
        SCOPED_TRACE(writeTest);
        RunResult result;
        result.outcome = RunOutcome::Succeeded;
        result.writeTest = writeTest;
        result.stored = std::make_unique<MemberSnapshot>();
        result.stored->append("DRIVEID", "Generic Flash Disk", 0, nullptr);
        bool ended = false;
        QObject::connect(window.get(), &TQkVornMain::runEnded, [&ended] { ended = true; });
        window->hide();
        ASSERT_TRUE(window->showTestResults(std::move(result)));
        EXPECT_TRUE(chart.isVisible());
        EXPECT_FALSE(window->isVisible());
        EXPECT_EQ(chart.uploadAllowed(), writeTest);
        EXPECT_TRUE(chart.btSave->isEnabled());
        // The previous results are dropped: only this run's result is on view.
        EXPECT_EQ(chart.resultCount(), 1);
        ASSERT_EQ(chart.model().devices.size(), 1u);
        EXPECT_EQ(chart.model().devices[0].driveId, "Generic Flash Disk");
        chart.btDone->click();
        EXPECT_TRUE(ended);
        EXPECT_FALSE(chart.isVisible());
        EXPECT_TRUE(window->isVisible());
        window->disconnect(window.get(), &TQkVornMain::runEnded, nullptr, nullptr);
    }
    EXPECT_FALSE(folder.has("temp.qkt"));
}

// The run works on a worker, but its boxes show on the window thread, in order, and
// the run waits for their answers: No to the overwrite question stops it there.
TEST_F(MainWindowTest, QuestionsOfTheRunAreAnsweredOnTheWindowThread) {
    fake.addDisk(FakeSysfs::usbKey480());
    for (bool agree : {false, true}) {
        SCOPED_TRACE(agree);
        ThreadNotingDialogs asked({agree}, true);
        auto window = std::make_unique<TQkVornMain>(asked, fake.catalog());
        TRunTestForm progress;
        TQkVornChart chart;
        window->setRunWindows(&progress, &chart);
        window->cbWrite->setChecked(true);
        ASSERT_TRUE(window->cbWrite->isChecked());
        QTimer closer;
        QObject::connect(&closer, &QTimer::timeout, [&chart] {
            if (chart.isVisible()) {
                chart.close();
            }
        });
        closer.start(5);
        ASSERT_TRUE(pressRunTest(*window));
        ASSERT_FALSE(asked.boxes.empty());
        EXPECT_EQ(asked.boxes[0].kind, DialogBox::Destructive);
        EXPECT_NE(asked.boxes[0].text.find("WILL be lost"), std::string::npos);
        // The question names the drive it would overwrite, as the list shows it.
        EXPECT_EQ(asked.boxes[0].drive, window->cbDevice->currentText().toStdString());
        if (!agree) {
            EXPECT_EQ(asked.boxes.size(), 1u);  // nothing after the No
        }
        ASSERT_FALSE(asked.threads.empty());
        for (QThread* thread : asked.threads) {
            EXPECT_EQ(thread, QCoreApplication::instance()->thread());
        }
        // Agreed, the write test ran and its result reached the chart.
        EXPECT_EQ(chart.resultCount(), agree ? 1 : 0);
        EXPECT_EQ(chart.uploadAllowed(), agree);
        EXPECT_EQ(folder.read("event.log").find("Write Test (64k block)") != std::string::npos,
                  agree);
    }
}

// Cancel and closing the progress window both end the run on the worker as a
// cancelled step does: the warning box, no chart, "event.log" written, main window back.
TEST_F(MainWindowTest, CancelFromTheProgressWindowEndsTheRunAsAFailure) {
    fake.addDisk(FakeSysfs::usbKey480());
    for (bool byClosing : {false, true}) {
        SCOPED_TRACE(byClosing);
        ScriptedDialogs yes({}, true);
        auto window = std::make_unique<TQkVornMain>(yes, fake.catalog());
        TRunTestForm progress;
        TQkVornChart chart;
        window->setRunWindows(&progress, &chart);
        bool chartSeen = false;
        bool cancelled = false;
        QTimer watcher;
        QObject::connect(&watcher, &QTimer::timeout, [&] {
            chartSeen = chartSeen || chart.isVisible();
            if (!cancelled && progress.isVisible() &&
                progress.lRead->text().startsWith("Read Test (")) {
                cancelled = true;
                if (byClosing) {
                    progress.close();
                } else {
                    progress.btnCancelOk->click();
                }
            }
        });
        watcher.start(5);
        ASSERT_TRUE(pressRunTest(*window));
        watcher.stop();
        ASSERT_TRUE(cancelled);
        ASSERT_FALSE(yes.boxes.empty());
        EXPECT_EQ(
            yes.boxes.back(),
            (DialogBox{DialogBox::Warning, "Error during test or test cancelled by user.", {}}));
        EXPECT_FALSE(chartSeen);
        EXPECT_EQ(chart.resultCount(), 0);
        EXPECT_FALSE(progress.isVisible());
        EXPECT_TRUE(window->isVisible());
        const std::string events = folder.read("event.log");
        EXPECT_NE(events.find(",,,,,,,START -\n,,,,,,,Read Test ("), std::string::npos);
        EXPECT_EQ(events.find("Sequential Access"), std::string::npos);
        // Seen inside a step, the step fails; seen between steps, the run stops there.
        const std::string log = folder.read("vorntest.log");
        EXPECT_TRUE(log.find("** Test run cancelled") != std::string::npos ||
                    log.find("TEST ERROR") != std::string::npos)
            << log;
    }
}

// A question still open when the window goes is abandoned: the worker goes on with
// No instead of waiting for a box that will never be answered.
TEST(RunJobThreadTest, AnAbandonedQuestionAnswersNo) {
    QObject context;
    InterfaceCalls calls(context);
    ScriptedDialogs dialogs({true});
    WorkerDialogs asked(calls, dialogs);
    std::atomic<int> answer{-1};
    std::thread worker([&] { answer = asked.question("Continue?") ? 1 : 0; });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(answer.load(), -1);  // waiting for the window thread
    calls.abandon();
    worker.join();
    EXPECT_EQ(answer.load(), 0);
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(MainWindowTest, HelpAndLinkOpenTheMakersPages) {
    auto window = openWindow();
    std::vector<std::string> opened;
    window->setUrlOpener([&opened](const std::string& url) { opened.push_back(url); });
    window->btHelp->click();
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(2, 2), QPointF(2, 2), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window->lbVelto, &release);
    const std::vector<std::string> expected = {
        "http://www.velto.example/Public/index.php?request=QkVornHelp", kMakerWebSite};
    EXPECT_EQ(opened, expected);
    EXPECT_EQ(window->lbVelto->text(), kMakerWebSite);
    EXPECT_EQ(window->lbVelto->cursor().shape(), Qt::PointingHandCursor);
}

// Without a browser the click is not lost: a box shows the address, ready to copy.
TEST(LinkOpener, WithoutABrowserTheAddressIsShownSelectable) {
    const std::string url = "http://www.velto.example/Public/index.php?request=QkVornHelp";
    QString shown;
    Qt::TextInteractionFlags flags;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            poll.stop();
            shown = box->text();
            flags = box->textInteractionFlags();
            box->accept();
        }
    });
    poll.start(5);
    EXPECT_FALSE(openOrShowAddress(nullptr, url, [](const QUrl&) { return false; }));
    EXPECT_NE(shown.indexOf(QString::fromStdString(url)), -1) << shown.toStdString();
    EXPECT_TRUE(flags.testFlag(Qt::TextSelectableByMouse));
    // A browser that takes the page: no box.
    std::string opened;
    EXPECT_TRUE(openOrShowAddress(nullptr, url, [&](const QUrl& page) {
        opened = page.toString().toStdString();
        return true;
    }));
    EXPECT_EQ(opened, url);
}

TEST_F(MainWindowTest, ControlsTabOrderAndArrangement) {
    fake.addDisk(FakeSysfs::usbKey480());
    fake.addDisk(FakeSysfs::mmcCard());
    auto window = openWindow();
    EXPECT_EQ(window->size(), layoutSize(layout::kMain));
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    EXPECT_FALSE(window->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_FALSE(window->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(window->cbDevice->isEditable());
    EXPECT_FALSE(window->Image1->pixmap().isNull());

    // Every control Tab reaches, in the table's order, and no other.
    std::vector<std::string> tabs;
    QWidget* widget = window->cbDevice;
    do {
        if (widget->focusPolicy() & Qt::TabFocus) {
            tabs.push_back(widget->objectName().toStdString());
        }
        widget = widget->nextInFocusChain();
    } while (widget != window->cbDevice && tabs.size() < 20);
    EXPECT_EQ(tabs, tabNames(layout::kMain));

    const struct {
        QPushButton* button;
        const char* caption;
    } buttons[] = {{window->BtnRunTest, "&Run Test"},
                   {window->btGraph, "&Graph Data"},
                   {window->btUpdates, "&Check Updates"},
                   {window->btHelp, "&Online Help"}};
    int left = -1;
    for (const auto& row : buttons) {
        EXPECT_EQ(row.button->text(), row.caption);
        EXPECT_GT(row.button->x(), left);
        EXPECT_GE(row.button->width(), row.button->sizeHint().width());
        left = row.button->x();
    }
    // Nothing outside the window.
    for (QWidget* child : window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        EXPECT_TRUE(window->rect().contains(child->geometry()))
            << child->objectName().toStdString();
    }
    EXPECT_TRUE(saveScreenshot(*window, "main-window.png"));
}

TEST_F(MainWindowTest, ClosingEndsTheProgram) {
    auto window = openWindow();
    QApplication::setQuitOnLastWindowClosed(false);
    QTimer::singleShot(0, window.get(), [&window] { window->close(); });
    // Guard only: a window that did not end the loop fails with 7.
    QObject guard;
    QTimer::singleShot(10000, &guard, [] { QCoreApplication::exit(7); });
    EXPECT_EQ(QCoreApplication::exec(), 0);
}

}  // namespace
}  // namespace vorn::test
