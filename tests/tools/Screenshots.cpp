// Pictures of the windows for a person to look at (and for the package's metadata):
// each window is opened offscreen in a state a run shows it in and saved as a PNG into
// the folder given on the command line. Usage: vorn-screenshots FOLDER
#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QWidget>
#include <chrono>
#include <cmath>
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
#include "view/gui/TimelineWindow.h"

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

// One of the four drives the chart window compares; with `extended` it has the
// extended tests too.
StoredResult chartDrive(uint32_t i, bool extended) {
    const std::string name = "Drive " + std::to_string(i);
    if (!extended) {
        return sampleResult(name, {(i + 2) * 9000000, (i + 3) * 9000000}, {(i + 1) * 3000000});
    }
    const uint64_t n = i + 1;
    return extendedSample(name, {n * 30'000'000, n * 40'000'000, n * 3'000'000, n * 8'000'000},
                          {n * 12'000'000, n * 15'000'000, n * 500'000, n * 900'000});
}

// The chart window comparing four drives, on the block sizes or on the extended
// tests; their result files live in `folder`.
bool chartWithFourResults(const QString& folder, bool extended, const char* fileName) {
    TQkVornChart window;
    const std::filesystem::path files = folder.toStdString();
    for (uint32_t i = 0; i < 4; ++i) {
        const std::string path = (files / ("chart-" + std::to_string(i) + ".qkc")).string();
        const bool added = writeResultFile(path, chartDrive(i, extended)) &&
                           window.addResult(openCollection(path.c_str()));
        std::filesystem::remove(path);
        if (!added) {
            std::fprintf(stderr, "cannot open the chart's result %s\n", path.c_str());
            return false;
        }
    }
    if (extended) {
        window.btExtended->click();
    }
    window.show();
    settle();
    return save(window, folder, fileName);
}

// The main window over a fake sysfs tree: with a USB key and a card reader, and with no
// removable drive (its list says why it is empty). It keeps its log in the current
// folder, so it works in a temporary one.
bool mainWindow(const QString& folder, bool withDrives, const char* fileName) {
    const std::filesystem::path previous = std::filesystem::current_path();
    TempDir work;
    std::filesystem::current_path(work.path());
    FakeSysfs fake;
    if (withDrives) {
        fake.addDisk(FakeSysfs::usbKey480());
        fake.addDisk(FakeSysfs::mmcCard());
    }
    ScriptedDialogs dialogs;
    bool saved = false;
    {
        TQkVornMain window(dialogs, fake.catalog());
        window.show();
        QCoreApplication::processEvents();
        saved = save(window, folder, fileName);
    }
    std::filesystem::current_path(previous);
    return saved;
}

// The notice with a text: one line while results are sent, wrapped for the update
// check's longest text.
bool noticeWith(const QString& folder, const char* text, const char* fileName) {
    TformUpload notice;
    notice.setNoticeText(text);
    notice.showNotice();
    QCoreApplication::processEvents();
    const bool saved = save(notice, folder, fileName);
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

// The timeline of a short made-up run: every kind of step, two zones each.
bool timelineOfARun(const QString& folder) {
    TempDir work;
    std::string log = "Event,Device,Success,Start(sec),Duration(ms),Sector,Count,Bps\n";
    double t = 0;
    auto step = [&](const char* name, const char* event, int rows, double rate, double ms) {
        log += std::string(",,,,,,,START -\n,,,,,,,") + name + "\n";
        for (int i = 0; i < rows; ++i) {
            const long sector = i < rows / 2 ? i * 64 : 500000 + i * 64;
            log += std::string(event) + ",1,YES," + std::to_string(t) + "," +
                   std::to_string(ms * (1 + (i % 7) * 0.05)) + "," + std::to_string(sector) +
                   ",64," + std::to_string(static_cast<long>(rate * (1 + (i % 5) * 0.04))) + "\n";
            t += ms / 1000 + 0.0002;
        }
        log += std::string(",,,,,,,END -\n,,,,,,,") + name + "\n";
    };
    step("Flash test:read", "READ", 32, 30e6, 2.2);
    step("WIPE FLASH DEVICE", "WIPE", 200, 12e6, 40);
    for (const RunStep& test : readTests) {
        step(test.name, "READ", 200, 4e6 * std::log2(test.blockSize / 1024.0 + 1), 0.6);
    }
    for (const RunStep& test : writeTests) {
        step(test.name, "WRITE", 200, 2e6 * std::log2(test.blockSize / 1024.0 + 1), 0.9);
    }
    step("Random Access", "READ", 512, 0.5e6, 1.1);
    step("Sequential Access", "READ", 512, 1.5e6, 0.35);
    work.write("event.log", log);
    TimelineWindow window;
    window.openRun(work.file("event.log"), "Generic Flash Disk 8.07, 2026-12-09 02:30");
    window.show();
    QCoreApplication::processEvents();
    return save(window, folder, "timeline.png");
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
    bool ok = vorn::test::mainWindow(folder, true, "main-window.png");
    ok = vorn::test::progressMidRun(folder) && ok;
    ok = vorn::test::chartWithFourResults(folder, false, "chart.png") && ok;
    ok = vorn::test::chartWithFourResults(folder, true, "chart-extended.png") && ok;
    ok = vorn::test::noticeWith(folder, "Sending benchmark data to www.velto.example!",
                                "notice.png") &&
         ok;
    ok = vorn::test::mainWindow(folder, false, "main-window-empty.png") && ok;
    ok = vorn::test::noticeWith(folder, "Checking for new benchmark data and QK Vorn updates.",
                                "notice-checking.png") &&
         ok;
    ok = vorn::test::timelineOfARun(folder) && ok;
    return ok ? 0 : 1;
}
