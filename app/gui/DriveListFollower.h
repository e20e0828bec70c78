#pragma once

#include <QObject>
#include <functional>
#include <memory>
#include <string>

#include "app/DriveListing.h"
#include "platform/DriveEvents.h"
#include "storage/DriveCatalog.h"

class QSocketNotifier;
class QTimer;

namespace vorn {

// The main window's drive list behind its controls: lists the drives (with the
// diagnostic log), keeps the selected drive selected across refreshes, and follows the
// drives as they come and go. A burst of events refreshes once, kSettleMs after its
// last, and only while the window can take it (`canRefresh`); otherwise it catches up at
// resume(). Everything runs on the interface thread; no drive is opened outside the
// listing.
class DriveListFollower : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DriveListFollower)

public:
    // `catalog` must outlive the follower; `windowTitle` heads every listing's log.
    DriveListFollower(const DriveCatalog& catalog, std::string windowTitle,
                      std::function<bool()> canRefresh, QObject* parent = nullptr);
    ~DriveListFollower() override;

    static constexpr int kSettleMs = 300;

    // Lists afresh with the first drive selected (start-up, Refresh, a run's end).
    void refresh();
    // The entry the user selected; -1 for none.
    void select(int index) { selected_ = index; }
    int selected() const { return selected_; }

    // Takes the event source; nothing (or a source without a descriptor) stops following.
    void watch(std::unique_ptr<platform::I_DriveEvents> events);
    // The window is free again: a refresh that events asked for meanwhile comes now.
    void resume();

    const DriveListing& listing() const { return listing_; }

    // The first listing of the process writes "vorninit.log", every later one
    // "vornrefresh.log"; tests start the process's count afresh.
    static void restartFirstFill();

signals:
    // A new listing with the entry to select (-1 when the list is empty).
    void listed(int selected);

private:
    void list(const ListedDrive* keep);
    void eventsReady();
    void follow();

    const DriveCatalog& catalog_;
    const std::string windowTitle_;
    const std::function<bool()> canRefresh_;
    DriveListing listing_;
    int selected_ = -1;
    std::unique_ptr<platform::I_DriveEvents> events_;
    QSocketNotifier* notifier_ = nullptr;
    QTimer* settle_ = nullptr;
    bool changed_ = false;  // events came that the list does not show yet
};

}  // namespace vorn
