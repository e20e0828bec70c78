#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/RunJob.h"
#include "app/gui/DriveListFollower.h"
#include "net/UpdateCheck.h"
#include "platform/DriveEvents.h"
#include "storage/DriveCatalog.h"
#include "storage/DriveList.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

namespace vorn {

class I_Dialogs;
class RunJobThread;
class TQkVornChart;
class TQkVornSelect;
class TRunTestForm;
class TformUpload;

// The window the user works from: the drive list, the write-test box and the four
// user functions. Hidden while a function shows its own windows; closing it ends the
// program. Run Test runs on a worker thread (RunJobThread) while this thread stays in
// its event loop; the window hides while the progress window shows, opens the chart
// on the run's result, and comes back when the user is done with it.
class TQkVornMain : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TQkVornMain)

public:
    // Shows itself and fills the drive list from `catalog`, which must outlive it.
    explicit TQkVornMain(I_Dialogs& dialogs, const DriveCatalog& catalog = systemCatalog(),
                         QWidget* parent = nullptr);
    ~TQkVornMain() override;

    // The windows Run Test works with; they are created after this one.
    void setRunWindows(TRunTestForm* progress, TQkVornChart* chart);
    // The selection window Graph Data shows; created after this one.
    void setSelectWindow(TQkVornSelect* select) { select_ = select; }
    // Graph Data: a stored result chosen in the selection window, in the chart window.
    void btGraphClick();
    // The notice window Check Updates shows while it downloads; created before this one.
    void setNoticeWindow(TformUpload* notice) { notice_ = notice; }
    // Check Updates: the update check with library download, this window hidden. It
    // runs on the notice window's job and this returns at once; updatesEnded() tells
    // when this window is back.
    void btUpdatesClick();
    bool updateGoing() const { return updateGoing_; }
    // Where Check Updates looks (the program's own settings unless replaced).
    void setUpdateSettings(UpdateCheckSettings settings) { updateSettings_ = std::move(settings); }
    // How web pages are opened (QDesktopServices::openUrl unless replaced).
    void setUrlOpener(std::function<void(const std::string&)> opener);

    // Follows the drives as they come and go (DriveListFollower), keeping the selected
    // drive selected while it is there. Not while a function of the window runs; it
    // catches up when the function is done. Nothing (no source) leaves the list to the
    // Refresh button.
    void watchDrives(std::unique_ptr<platform::I_DriveEvents> events);
    static constexpr int kSettleMs = DriveListFollower::kSettleMs;

    // Fills the list afresh with the first drive selected (the Refresh button, start-up
    // and the return from a test run).
    void fillDeviceList();
    void cbDeviceChange();
    // The selected drive's link under the list (hidden when nothing is known of it).
    void showLink();
    // Starts the run and returns; runEnded() tells when this window is back.
    void BtnRunTestClick();
    // A run's result in the chart window (nothing without a result or a chart window).
    // The result is kept (and "vorntest.log" open) until Done.
    bool showTestResults(RunResult result);
    bool runGoing() const { return runGoing_; }

    // The drive table: one entry per list entry, in list order.
    const std::vector<DeviceEntry>& devices() const { return drives_->listing().entries; }
    // The drives behind the entries, in list order.
    const std::vector<ListedDrive>& listedDrives() const { return drives_->listing().drives; }

    // The first fill of the process writes "vorninit.log", every later one
    // "vornrefresh.log"; tests start the process's count afresh.
    static void restartFirstFill() { DriveListFollower::restartFirstFill(); }

    QLabel* Image1;
    QLabel* Label1;
    QLabel* lbNoDrive;  // says why the list is empty
    QLabel* lbLink;     // the selected drive's link, two lines at most; whole in its tip
    QLabel* lbVelto;
    QComboBox* cbDevice;
    QPushButton* BtnRunTest;
    QPushButton* btUpdates;
    QPushButton* btHelp;
    QPushButton* BtnRefresh;
    QPushButton* btGraph;
    QCheckBox* cbWrite;
    QCheckBox* cbCapacity;
    QCheckBox* cbExtended;

signals:
    // Run Test is over: this window shows again with a fresh drive list.
    void runEnded();
    // Graph Data is over: this window shows again.
    void graphEnded();
    // Check Updates is over: this window shows again.
    void updatesEnded();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createControls();
    void arrangeControls();
    void connectControls();
    void BtnRefreshClick() { fillDeviceList(); }
    void showListing(int selected);
    bool following() const;
    void resumeFollowing();
    friend class FollowPause;
    void cbWriteToggle(bool ticked);
    void btHelpClick();
    void lbVeltoClick();
    void runFinished();
    void chartDone();
    void endRun();
    bool functionGoing() const;
    void updatesFinished();

    enum class ChartUse { None, Run, Graph };

    I_Dialogs& dialogs_;
    const DriveCatalog& catalog_;
    TRunTestForm* progress_ = nullptr;
    TQkVornChart* chart_ = nullptr;
    TformUpload* notice_ = nullptr;
    TQkVornSelect* select_ = nullptr;
    std::function<void(const std::string&)> openUrl_;
    DriveListFollower* drives_ = nullptr;
    int busy_ = 0;  // functions of the window running (they nest)
    std::unique_ptr<RunJobThread> job_;
    bool runGoing_ = false;
    ChartUse chartUse_ = ChartUse::None;
    RunResult shownRun_;
    bool updateGoing_ = false;
    UpdateCheckSettings updateSettings_ = programUpdateSettings();
};

}  // namespace vorn
