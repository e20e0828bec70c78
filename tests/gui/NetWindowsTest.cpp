// The update check from the main window on the notice window's worker, against a
// loopback web server: the window's thread stays in its event loop throughout.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/gui/TQkVornMain.h"
#include "gui/WindowTestSupport.h"
#include "net/LibraryBytes.h"
#include "net/LoopbackServers.h"
#include "net/gui/TformUpload.h"
#include "results/Collections.h"
#include "results/gui/TupdateDetails.h"
#include "storage/LinuxDrive.h"
#include "support/FakeSysfs.h"
#include "support/ScriptedDialogs.h"
#include "view/ChartResults.h"
#include "view/gui/TQkVornChart.h"

namespace vorn::test {
namespace {

constexpr const char* kChecking = "Checking for new benchmark data and QK Vorn updates.";
constexpr const char* kAsked = "1 new benchmark library files found.  Update now?";
constexpr const char* kUpdated = "Updated benchmark library files downloaded sucessfully.";

// Scripted boxes that note on which thread each was shown.
struct ThreadNotingDialogs : ScriptedDialogs {
    using ScriptedDialogs::ScriptedDialogs;
    void information(const std::string& text) override {
        threads.push_back(QThread::currentThread());
        ScriptedDialogs::information(text);
    }
    bool question(const std::string& text) override {
        threads.push_back(QThread::currentThread());
        return ScriptedDialogs::question(text);
    }
    std::vector<QThread*> threads;
};

class NetWindowsTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.ready());
        std::filesystem::create_directories(served.path() / "qkvorn");
        served.write("qkvorn/updates1.0.0.1", "1.0.0.1\nA.QKL\n");
        served.write("qkvorn/A.QKL", library);
    }
    UpdateCheckSettings settings() const {
        UpdateCheckSettings settings;
        settings.server = server.url();
        settings.programVersion = "1.0.0.1";
        // Long enough for the window's timer to fire many times while a notice shows.
        settings.minimumNotice = std::chrono::milliseconds(300);
        return settings;
    }

    const std::string library = libraryBytes(1);
    TempDir served;
    HttpServer server{served.path().string()};
    WorkingFolder folder;
    FakeSysfs fake;
};

// While the check runs the main window is hidden, its other functions do nothing and
// a timer on its thread keeps firing; the question and the boxes are shown there, the
// notice says what is fetched, and the window comes back when the worker has ended.
TEST_F(NetWindowsTest, UpdateCheckRunsOnAWorkerWhileTheWindowStaysResponsive) {
    fake.addDisk(FakeSysfs::usbKey480());
    for (const bool agree : {false, true}) {
        SCOPED_TRACE(agree);
        ThreadNotingDialogs asked({agree}, false);
        TformUpload notice;
        TQkVornMain window(asked, fake.catalog());
        window.setNoticeWindow(&notice);
        window.setUpdateSettings(settings());
        bool ended = false;
        QObject::connect(&window, &TQkVornMain::updatesEnded, [&ended] { ended = true; });
        int ticks = 0;
        std::set<std::string> noticed;
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            ++ticks;
            if (notice.isVisible()) {
                noticed.insert(notice.Label1->text().toStdString());
            }
        });
        ticker.start(5);

        window.btUpdates->click();
        EXPECT_TRUE(window.updateGoing());
        EXPECT_FALSE(window.isVisible());
        window.btUpdatesClick();  // a second check does not start
        window.BtnRunTestClick();
        EXPECT_FALSE(window.runGoing());
        ASSERT_TRUE(waitUntil([&ended] { return ended; }, 30000));

        EXPECT_TRUE(window.isVisible());
        EXPECT_FALSE(window.updateGoing());
        EXPECT_FALSE(notice.isVisible());
        EXPECT_FALSE(notice.job().running());
        // At least one notice's minimum time at a 5 ms tick.
        EXPECT_GT(ticks, 30);
        std::vector<DialogBox> expected = {{DialogBox::Question, kAsked}};
        std::set<std::string> texts = {kChecking};
        if (agree) {
            expected.push_back({DialogBox::Information, kUpdated});
            texts.insert("Downloading file: A.QKL");
        }
        EXPECT_EQ(asked.boxes, expected) << folder.read("vorninternet.log");
        EXPECT_EQ(noticed, texts);
        ASSERT_EQ(asked.threads.size(), expected.size());
        for (QThread* thread : asked.threads) {
            EXPECT_EQ(thread, QCoreApplication::instance()->thread());
        }
        EXPECT_EQ(folder.has("A.QKL"), agree);
        if (agree) {
            EXPECT_EQ(folder.read("A.QKL"), library);
        }
        EXPECT_FALSE(folder.has("updates1.0.0.1"));
        EXPECT_TRUE(folder.has("vorninternet.log"));
    }
}

// The notice window torn down while the check runs does not hang: its transfer is
// cancelled, any box abandoned (a question answers No) and the worker joined.
TEST_F(NetWindowsTest, ANoticeWindowGoingWhileTheCheckRunsEndsItsWorker) {
    ScriptedDialogs asked({}, true);
    auto notice = std::make_unique<TformUpload>();
    TQkVornMain window(asked, fake.catalog());
    window.setNoticeWindow(notice.get());
    window.setUpdateSettings(settings());
    window.btUpdatesClick();
    ASSERT_TRUE(notice->job().running());
    notice.reset();  // the question is still queued, never shown
    EXPECT_TRUE(asked.boxes.empty());
    EXPECT_FALSE(folder.has("A.QKL"));
}

// A write test's result of the fake key, with its device record, opened for reading.
std::unique_ptr<I_VornCollection> writeTestResult(const FakeSysfs& fake) {
    {
        auto file = createCollection("temp.qkt");
        auto disk = newLinuxDrive(0, nullptr, 65536, fake.catalog());
        const unsigned char time[4] = {0xd4, 0x1d, 0x49, 0x40};
        EXPECT_TRUE(file && disk && file->addEntry("VERSION", "1.0.0.1", 0, nullptr) &&
                    file->addEntry("DRIVEID", "Generic Flash Disk 8.07", 0, nullptr) &&
                    disk->saveDeviceInfo(file.get(), nullptr) &&
                    addAccess(*file, "QKCRACCESS", 152) &&
                    file->addEntry("QKCTIME", nullptr, 4, time));
    }
    return openCollection("temp.qkt");
}

// Upload Results from the chart window: the details window asks for the address, the
// send runs on the notice window's worker while a timer keeps firing here, the boxes
// are the ones the upload always showed, and the chart window comes back after it.
TEST_F(NetWindowsTest, UploadFromTheChartWindowRunsOnAWorker) {
    fake.addDisk(FakeSysfs::usbKey480());
    folder.write("vorninit.log", "start-up lines\n");
    folder.write("vorntest.log", "test lines\n");
    TempDir mail;
    const SmtpServer storing(mail, false);
    ASSERT_TRUE(storing.ready());
    MailSettings settings;
    settings.server = "127.0.0.1";
    settings.port = storing.port();
    ThreadNotingDialogs dialogs;
    TformUpload notice;
    TupdateDetails details(dialogs);
    details.setHardwareRoots(fake.sysRoot(), fake.procRoot());
    details.setSaveHooks({[] { return 2400; }, createCollection});
    TQkVornChart chart;
    ASSERT_TRUE(chart.openOn(writeTestResult(fake), TQkVornChart::Origin::Run, true));
    ASSERT_TRUE(chart.uploadAllowed());
    QTimer::singleShot(0, &details, [&details] {
        details.edEmail->setText("someone@example.org");
        details.btDone->click();
    });
    int ticks = 0;
    bool noticeSeen = false;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        ++ticks;
        noticeSeen = noticeSeen || notice.isVisible();
    });
    ticker.start(5);

    btUploadClick(chart, details, notice, dialogs, settings);
    EXPECT_TRUE(notice.job().running());
    EXPECT_FALSE(chart.isVisible());
    ASSERT_TRUE(waitUntil([&] { return !notice.job().running() && chart.isVisible(); }, 60000));

    EXPECT_GT(ticks, 0);
    EXPECT_TRUE(noticeSeen);
    EXPECT_FALSE(notice.isVisible());
    EXPECT_EQ(dialogs.boxes,
              std::vector<DialogBox>({{DialogBox::Information,
                                       "Benchmark results successfully updated.  Thank you!"}}));
    ASSERT_EQ(dialogs.threads.size(), 1u);
    EXPECT_EQ(dialogs.threads[0], QCoreApplication::instance()->thread());
    ASSERT_TRUE(std::filesystem::exists(mail.file("message-1.txt")));
    EXPECT_NE(mail.read("message-1.txt").find("envelope-from: someone@example.org"),
              std::string::npos);
    // The file written for the upload is gone again.
    for (const auto& entry : std::filesystem::directory_iterator(".")) {
        EXPECT_NE(entry.path().extension(), ".qkc") << entry.path();
    }
    EXPECT_TRUE(folder.has("vorninternet.log"));
}

}  // namespace
}  // namespace vorn::test
