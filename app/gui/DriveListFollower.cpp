#include "app/gui/DriveListFollower.h"

#include <QSocketNotifier>
#include <QTimer>

#include "base/FileNames.h"

namespace vorn {

namespace {

bool firstFill = true;

}  // namespace

DriveListFollower::DriveListFollower(const DriveCatalog& catalog, std::string windowTitle,
                                     std::function<bool()> canRefresh, QObject* parent)
    : QObject(parent),
      catalog_(catalog),
      windowTitle_(std::move(windowTitle)),
      canRefresh_(std::move(canRefresh)),
      settle_(new QTimer(this)) {
    settle_->setSingleShot(true);
    settle_->setInterval(kSettleMs);
    connect(settle_, &QTimer::timeout, this, &DriveListFollower::follow);
}

// The notifier goes before the descriptor it watches closes.
DriveListFollower::~DriveListFollower() {
    delete notifier_;
}

void DriveListFollower::restartFirstFill() {
    firstFill = true;
}

void DriveListFollower::refresh() {
    list(nullptr);
}

void DriveListFollower::list(const ListedDrive* keep) {
    changed_ = false;
    const ListingHeading heading{windowTitle_};
    listing_ = listIntoLog(catalog_, firstFill ? kStartLog : kRefreshLog, &heading);
    firstFill = false;
    const int kept = keep != nullptr ? findDrive(listing_.drives, *keep) : -1;
    selected_ = listing_.entries.empty() ? -1 : (kept >= 0 ? kept : 0);
    emit listed(selected_);
}

void DriveListFollower::watch(std::unique_ptr<platform::I_DriveEvents> events) {
    delete notifier_;
    notifier_ = nullptr;
    events_ = std::move(events);
    if (events_ && events_->fd() < 0) {
        events_.reset();
    }
    if (!events_) {
        return;
    }
    notifier_ = new QSocketNotifier(events_->fd(), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &DriveListFollower::eventsReady);
}

void DriveListFollower::eventsReady() {
    if (events_ && events_->drain()) {
        changed_ = true;
        settle_->start();
    }
}

void DriveListFollower::follow() {
    if (!changed_ || !canRefresh_()) {
        return;
    }
    if (selected_ >= 0 && selected_ < static_cast<int>(listing_.drives.size())) {
        const ListedDrive kept = listing_.drives[static_cast<size_t>(selected_)];
        list(&kept);
    } else {
        list(nullptr);
    }
}

void DriveListFollower::resume() {
    if (changed_ && canRefresh_()) {
        settle_->start();
    }
}

}  // namespace vorn
