#pragma once

#include <QApplication>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>

#include "storage/DriveCatalog.h"

namespace vorn {

class I_Dialogs;
class TQkVornChart;
class TQkVornMain;
class TQkVornSelect;
class TRunTestForm;
class TformUpload;
class TupdateDetails;

// The application object of the window program. An exception that escapes an event
// handler is shown in an error box and the program goes on, instead of unwinding
// through Qt's event loop.
class QkVornApplication : public QApplication {
public:
    QkVornApplication(int& argc, char** argv) : QApplication(argc, argv) {}
    bool notify(QObject* receiver, QEvent* event) override;
};

// What the start-up checks look at.
struct StartupFacts {
    bool linuxPresent = false;  // a Linux kernel with /sys/block
    uint32_t effectiveUid = 0;  // root opens drives itself
    int screenWidth = 0;        // the primary screen, in pixels
    int screenHeight = 0;
    bool udisksReachable = false;  // udisks2 on the system bus opens them for a user
};

// The facts of this machine. Needs the application object (for the screen).
StartupFacts currentStartupFacts();

// Every window of the program, created once in this order and kept to the end.
struct ProgramWindows {
    ProgramWindows();
    ~ProgramWindows();  // in reverse order
    std::unique_ptr<TformUpload> upload;
    std::unique_ptr<TQkVornMain> main;
    std::unique_ptr<TRunTestForm> progress;
    std::unique_ptr<TQkVornChart> chart;
    std::unique_ptr<TQkVornSelect> select;
    std::unique_ptr<TupdateDetails> details;
};

// The program's main routine: the checks, the locked-memory limit, the windows and
// the event loop, traced to "init.log" in the current directory one line before each
// step, so a start that dies early shows how far it got. The application object must
// exist before: Qt answers the screen size only once it does.
class MainRoutine {
public:
    MainRoutine(I_Dialogs& dialogs, const StartupFacts& facts,
                const DriveCatalog& catalog = systemCatalog());
    ~MainRoutine();  // closes "init.log"
    MainRoutine(const MainRoutine&) = delete;
    MainRoutine& operator=(const MainRoutine&) = delete;

    // Up to and including the windows. False when a check refused (its box shown) or
    // an exception ended the start (its box shown, "Exception" traced).
    bool start();
    // The event loop until the main window closes; `loop` replaces QApplication::exec.
    void run(const std::function<int()>& loop = {});

    ProgramWindows& windows() { return windows_; }

private:
    void trace(const char* line);
    bool refuse(const char* text);
    bool checksPass();
    void raiseLockedMemory();
    void createWindows();
    bool guarded(const std::function<void()>& step);

    I_Dialogs& dialogs_;
    StartupFacts facts_;
    const DriveCatalog& catalog_;
    FILE* initLog_ = nullptr;
    ProgramWindows windows_;
};

// start() and run(), then 0 whatever happened.
int runMainRoutine(I_Dialogs& dialogs, const StartupFacts& facts);

}  // namespace vorn
