// Pictures of the windows for a person to look at (and for the package's metadata):
// each window is opened offscreen in a state a run shows it in and saved as a PNG into
// the folder given on the command line. Usage: vorn-screenshots FOLDER
#include <QApplication>
#include <QDir>
#include <QWidget>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "app/gui/TQkVornMain.h"
#include "app/gui/TRunTestForm.h"
#include "net/gui/TformUpload.h"
#include "results/Collections.h"
#include "results/RunSteps.h"
#include "support/FakeSysfs.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"
#include "view/ChartResults.h"
#include "view/gui/TQkVornChart.h"

namespace vorn::test {
namespace {

// Lets animations (the chart's axes) end before the picture is taken.
void settle() {
    for (int i = 0; i < 50; ++i) {
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

bool save(QWidget& window, const QString& folder, const char* fileName) {
    const QString path = folder + "/" + fileName;
    if (!window.grab().save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

StoredResult sampleResult(const std::string& id, std::vector<uint32_t> read,
                          std::vector<uint32_t> write) {
    StoredResult result;
    result.driveId = id;
    result.tests = tableTests(readTests, read);
    for (const StoredTest& test : tableTests(writeTests, write)) {
        result.tests.push_back(test);
    }
    result.randomHundredths = 152;
    result.sequentialHundredths = 31;
    result.testTime = 1205531250;
    return result;
}

// The chart window comparing four drives; their result files live in `folder`.
bool chartWithFourResults(const QString& folder) {
    TQkVornChart window;
    const std::filesystem::path files = folder.toStdString();
    for (uint32_t i = 0; i < 4; ++i) {
        const std::string path = (files / ("chart-" + std::to_string(i) + ".qkc")).string();
        const StoredResult stored =
            sampleResult("Drive " + std::to_string(i), {(i + 2) * 9000000, (i + 3) * 9000000},
                         {(i + 1) * 3000000});
        const bool added =
            writeResultFile(path, stored) && window.addResult(openCollection(path.c_str()));
        std::filesystem::remove(path);
        if (!added) {
            std::fprintf(stderr, "cannot open the chart's result %s\n", path.c_str());
            return false;
        }
    }
    window.show();
    settle();
    return save(window, folder, "chart.png");
}

// The main window over a USB key and a card reader of a fake sysfs tree. It keeps
// its log in the current folder, so it works in a temporary one.
bool mainWindowWithTwoDrives(const QString& folder) {
    const std::filesystem::path previous = std::filesystem::current_path();
    TempDir work;
    std::filesystem::current_path(work.path());
    FakeSysfs fake;
    fake.addDisk(FakeSysfs::usbKey480());
    fake.addDisk(FakeSysfs::mmcCard());
    ScriptedDialogs dialogs;
    bool saved = false;
    {
        TQkVornMain window(dialogs, fake.catalog());
        window.show();
        QCoreApplication::processEvents();
        saved = save(window, folder, "main-window.png");
    }
    std::filesystem::current_path(previous);
    return saved;
}

// The notice shown while results are sent.
bool noticeWhileSending(const QString& folder) {
    TformUpload notice;
    notice.setNoticeText("Sending benchmark data to www.velto.example!");
    notice.showNotice();
    QCoreApplication::processEvents();
    const bool saved = save(notice, folder, "notice.png");
    notice.hideNotice();
    return saved;
}

// The progress window in the middle of a run with the write test on.
bool progressMidRun(const QString& folder) {
    TRunTestForm form;
    form.setRowLabel(RunRow::Read, "Read Test (16k block)");
    form.setWriteRow(true, true);
    form.setRowState(RunRow::Test, RowState::Passed);
    form.setRowState(RunRow::Read, RowState::Running);
    form.setRowActive(RunRow::Read, true);
    form.setProgressVisible(true);
    form.setProgress(60);
    form.showView(true);
    QCoreApplication::processEvents();
    return save(form, folder, "progress-window.png");
}

}  // namespace
}  // namespace vorn::test

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: vorn-screenshots FOLDER\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "cannot make the folder %s\n", argv[1]);
        return 1;
    }
    bool ok = vorn::test::mainWindowWithTwoDrives(folder);
    ok = vorn::test::progressMidRun(folder) && ok;
    ok = vorn::test::chartWithFourResults(folder) && ok;
    ok = vorn::test::noticeWhileSending(folder) && ok;
    return ok ? 0 : 1;
}
