#include "app/gui/MainRoutine.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <cerrno>
#include <cstring>
#include <exception>
#include <filesystem>

#include "app/gui/TQkVornMain.h"
#include "app/gui/TRunTestForm.h"
#include "base/DiagLog.h"
#include "base/Dialogs.h"
#include "net/gui/TformUpload.h"
#include "platform/DriveEvents.h"
#include "platform/LockedBuffer.h"
#include "platform/UDisks.h"
#include "results/gui/DetailsSaving.h"
#include "results/gui/TupdateDetails.h"
#include "view/gui/TQkVornChart.h"
#include "view/gui/TQkVornSelect.h"

namespace vorn {

namespace {

constexpr const char* kCaption = "QK Vorn";
constexpr const char* kVersionRefused = "QK Vorn requires Linux 2.6 or later.";
constexpr const char* kRightsRefused =
    "QK Vorn needs udisks2 to open drives as a normal user. Install and start udisks2 (apt "
    "install udisks2), or run QK Vorn as root.";
constexpr const char* kScreenRefused = "QK Vorn requires a minimum display resolution of 800x600.";
constexpr int kMinimumWidth = 800;
constexpr int kMinimumHeight = 600;
// The device layer and the event log lock their memory.
constexpr size_t kExtraLockedBytes = 16u * 1024 * 1024;

}  // namespace

bool QkVornApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& exception) {
        QMessageBox::critical(nullptr, applicationName(), QString::fromLocal8Bit(exception.what()));
    } catch (...) {
        QMessageBox::critical(nullptr, applicationName(), "Unknown exception");
    }
    return false;
}

StartupFacts currentStartupFacts() {
    StartupFacts facts;
    utsname system{};
    std::error_code ignored;
    facts.linuxPresent = uname(&system) == 0 && std::strcmp(system.sysname, "Linux") == 0 &&
                         std::filesystem::is_directory("/sys/block", ignored);
    facts.effectiveUid = geteuid();
    // Root needs no service; a user's drives open through udisks2.
    facts.udisksReachable = facts.effectiveUid != 0 && platform::udisks::reachable();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        facts.screenWidth = screen->geometry().width();
        facts.screenHeight = screen->geometry().height();
    }
    return facts;
}

ProgramWindows::ProgramWindows() = default;

ProgramWindows::~ProgramWindows() {
    details.reset();
    select.reset();
    chart.reset();
    progress.reset();
    main.reset();
    upload.reset();
}

MainRoutine::MainRoutine(I_Dialogs& dialogs, const StartupFacts& facts, const DriveCatalog& catalog)
    : dialogs_(dialogs), facts_(facts), catalog_(catalog) {}

MainRoutine::~MainRoutine() {
    if (initLog_ != nullptr) {
        std::fclose(initLog_);
    }
}

void MainRoutine::trace(const char* line) {
    if (initLog_ != nullptr) {
        std::fputs(line, initLog_);
        // A start that dies must still leave its lines.
        std::fflush(initLog_);
    }
}

bool MainRoutine::refuse(const char* text) {
    dialogs_.plain(kCaption, text);
    return false;
}

bool MainRoutine::checksPass() {
    if (!facts_.linuxPresent) {
        return refuse(kVersionRefused);
    }
    if (facts_.effectiveUid != 0 && !facts_.udisksReachable) {
        return refuse(kRightsRefused);
    }
    trace("Screen size\n");
    if (facts_.screenHeight < kMinimumHeight || facts_.screenWidth < kMinimumWidth) {
        return refuse(kScreenRefused);
    }
    return true;
}

void MainRoutine::raiseLockedMemory() {
    if (!platform::raiseLockLimit(kExtraLockedBytes)) {
        // No diagnostic log is open yet, so this line is dropped; kept for the day
        // one is.
        logMessage("** Error SetProcessWorkingSetSize %u", static_cast<unsigned>(errno));
    }
}

bool MainRoutine::start() {
    initLog_ = std::fopen("init.log", "w+");
    if (!checksPass()) {
        return false;
    }
    trace("Increase set size\n");
    raiseLockedMemory();
    return guarded([this] {
        trace("Application->Initialize();\n");
        // Only the main window's closing ends the program (it quits explicitly); the
        // other windows come and go.
        QApplication::setQuitOnLastWindowClosed(false);
        trace("Application->Title\n");
        QCoreApplication::setApplicationName(kCaption);
        createWindows();
    });
}

void MainRoutine::createWindows() {
    windows_.upload = std::make_unique<TformUpload>();
    windows_.main = std::make_unique<TQkVornMain>(dialogs_, catalog_);
    windows_.main->watchDrives(platform::openDriveEvents());
    windows_.progress = std::make_unique<TRunTestForm>();
    windows_.chart = std::make_unique<TQkVornChart>();
    windows_.select = std::make_unique<TQkVornSelect>();
    windows_.details = std::make_unique<TupdateDetails>(dialogs_);
    windows_.main->setRunWindows(windows_.progress.get(), windows_.chart.get());
    windows_.main->setNoticeWindow(windows_.upload.get());
    windows_.main->setSelectWindow(windows_.select.get());
    ProgramWindows& w = windows_;
    w.chart->setHandlers({
        .compare = [&w] { compareAnotherDrive(*w.select, *w.chart); },
        .save = [&w] { btSaveClick(*w.chart, *w.details); },
        .upload = [&w, this] { btUploadClick(*w.chart, *w.details, *w.upload, dialogs_); },
    });
}

void MainRoutine::run(const std::function<int()>& loop) {
    guarded([this, &loop] {
        trace("Application->Run()\n");
        if (loop) {
            loop();
        } else {
            QApplication::exec();
        }
    });
}

bool MainRoutine::guarded(const std::function<void()>& step) {
    try {
        step();
        return true;
    } catch (const std::exception& exception) {
        trace("Exception\n");
        dialogs_.error(exception.what());
    } catch (...) {
        trace("Exception\n");
        dialogs_.error("Unknown exception");
    }
    return false;
}

int runMainRoutine(I_Dialogs& dialogs, const StartupFacts& facts) {
    MainRoutine routine(dialogs, facts);
    if (routine.start()) {
        routine.run();
    }
    return 0;
}

}  // namespace vorn
