#include "app/gui/TQkVornMain.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "app/gui/RunJobThread.h"
#include "app/gui/TRunTestForm.h"
#include "base/MakerServers.h"
#include "base/gui/LinkOpener.h"
#include "base/gui/WindowLayout.h"
#include "base/gui/WindowPlacement.h"
#include "net/gui/TformUpload.h"
#include "platform/ProgramInfo.h"
#include "results/Collections.h"
#include "storage/DriveLinkText.h"
#include "view/gui/TQkVornChart.h"
#include "view/gui/TQkVornSelect.h"

// The picture lives in a resource of the window library; a static library's
// resources are registered by hand (outside any namespace, as Qt requires).
static void registerMainResources() {
    Q_INIT_RESOURCE(qkvornmain);
}

namespace vorn {

namespace {

constexpr int kSideMargin = 12;
constexpr int kLinkLines = 2;
constexpr const char* kNoDriveText =
    "No removable drive was found. Plug in a USB key or a memory card: the list follows "
    "drives as they come and go.";
constexpr const char* kNothingSelected =
    "No drive is selected. Plug in a USB key or a memory card and choose it in the list.";

QPushButton* newButton(QWidget* parent, const char* name, const char* caption) {
    auto* button = new QPushButton(QString::fromUtf8(caption), parent);
    button->setObjectName(name);
    return button;
}

}  // namespace

// While a function of the window runs, drive events only mark the list as stale.
class FollowPause {
public:
    explicit FollowPause(TQkVornMain& window) : window_(window) { ++window_.busy_; }
    ~FollowPause() {
        --window_.busy_;
        window_.resumeFollowing();
    }
    FollowPause(const FollowPause&) = delete;
    FollowPause& operator=(const FollowPause&) = delete;

private:
    TQkVornMain& window_;
};

TQkVornMain::TQkVornMain(I_Dialogs& dialogs, const DriveCatalog& catalog, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      dialogs_(dialogs),
      catalog_(catalog),
      openUrl_([this](const std::string& url) { openOrShowAddress(this, url); }) {
    registerMainResources();
    setObjectName("TQkVornMain");
    fixClientSize(this, layout::kMain);
    createControls();
    arrangeControls();
    connectControls();
    const char* version = platform::programVersion();
    setWindowTitle(QString("QK Vorn Beta") + " version " + (version ? version : ""));
    drives_ = new DriveListFollower(
        catalog_, windowTitle().toStdString(), [this] { return following(); }, this);
    connect(drives_, &DriveListFollower::listed, this, &TQkVornMain::showListing);
    centreOnScreen(this);
    show();
    fillDeviceList();
}

TQkVornMain::~TQkVornMain() = default;

void TQkVornMain::createControls() {
    Image1 = new QLabel(this);
    Image1->setObjectName("Image1");
    Image1->setPixmap(QPixmap(":/images/qkvorn.png"));
    Image1->setAttribute(Qt::WA_TranslucentBackground);
    Label1 = new QLabel("Select Storage Device", this);
    // Shown instead of an empty list, so a user without a drive learns why.
    lbNoDrive = new QLabel(kNoDriveText, this);
    lbNoDrive->setObjectName("lbNoDrive");
    lbNoDrive->setWordWrap(true);
    lbNoDrive->hide();
    Label1->setObjectName("Label1");
    lbLink = new QLabel(this);
    lbLink->setObjectName("lbLink");
    lbLink->setTextFormat(Qt::PlainText);
    lbLink->setWordWrap(true);
    lbVelto = new QLabel(kMakerWebSite, this);
    lbVelto->setObjectName("lbVelto");
    lbVelto->setCursor(Qt::PointingHandCursor);
    QPalette linkColours = lbVelto->palette();
    linkColours.setColor(QPalette::WindowText,
                         linkColours.color(QPalette::Active, QPalette::Highlight));
    lbVelto->setPalette(linkColours);
    cbDevice = new QComboBox(this);
    cbDevice->setObjectName("cbDevice");
    cbDevice->setEditable(false);
    // Long device texts are cut in the closed list; the open list shows them whole.
    cbDevice->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    cbDevice->setMinimumContentsLength(20);
    BtnRunTest = newButton(this, "BtnRunTest", "&Run Test");
    btUpdates = newButton(this, "btUpdates", "&Check Updates");
    btHelp = newButton(this, "btHelp", "&Online Help");
    BtnRefresh = newButton(this, "BtnRefresh", "R&efresh");
    btGraph = newButton(this, "btGraph", "&Graph Data");
    cbWrite = new QCheckBox("&Enable Write Test", this);
    cbWrite->setObjectName("cbWrite");
    cbWrite->setEnabled(false);
    cbCapacity = new QCheckBox("Check real c&apacity", this);
    cbCapacity->setObjectName("cbCapacity");
    cbCapacity->setEnabled(false);
    // Reading needs no consent: the extended tests are chosen on their own, and
    // include the extended writes only with the write test.
    cbExtended = new QCheckBox("E&xtended tests", this);
    cbExtended->setObjectName("cbExtended");
    cbExtended->setToolTip(
        "1 MiB sequential at queue depth 1 and 8, 4 KiB random at 1 and 32, about 6 s each");
    chainTabOrder(this, layout::kMain);
}

void TQkVornMain::arrangeControls() {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(kSideMargin, 10, kSideMargin, 12);
    column->setSpacing(6);

    auto* banner = new QHBoxLayout;
    banner->addWidget(Image1);
    banner->addStretch(1);
    banner->addWidget(lbVelto, 0, Qt::AlignRight | Qt::AlignVCenter);
    column->addLayout(banner);
    column->addSpacing(6);

    auto* title = new QHBoxLayout;
    title->addWidget(Label1);
    title->addSpacing(8);
    title->addWidget(BtnRefresh);
    title->addStretch(1);
    column->addLayout(title);
    column->addWidget(cbDevice);
    column->addWidget(lbLink);
    column->addWidget(lbNoDrive);
    column->addWidget(cbWrite);
    // Under the write test it belongs to, indented as its dependent.
    auto* capacityRow = new QHBoxLayout;
    capacityRow->addSpacing(20);
    capacityRow->addWidget(cbCapacity);
    column->addLayout(capacityRow);
    column->addWidget(cbExtended);
    column->addStretch(1);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(6);
    for (QPushButton* button : {BtnRunTest, btGraph, btUpdates, btHelp}) {
        buttons->addWidget(button, 1);
    }
    column->addLayout(buttons);
}

void TQkVornMain::connectControls() {
    connect(cbDevice, &QComboBox::currentIndexChanged, this, &TQkVornMain::cbDeviceChange);
    connect(cbWrite, &QCheckBox::toggled, this, &TQkVornMain::cbWriteToggle);
    connect(BtnRefresh, &QPushButton::clicked, this, &TQkVornMain::BtnRefreshClick);
    connect(BtnRunTest, &QPushButton::clicked, this, &TQkVornMain::BtnRunTestClick);
    connect(btHelp, &QPushButton::clicked, this, &TQkVornMain::btHelpClick);
    connect(btUpdates, &QPushButton::clicked, this, &TQkVornMain::btUpdatesClick);
    connect(btGraph, &QPushButton::clicked, this, &TQkVornMain::btGraphClick);
    lbVelto->installEventFilter(this);
}

void TQkVornMain::setRunWindows(TRunTestForm* progress, TQkVornChart* chart) {
    job_.reset();
    progress_ = progress;
    chart_ = chart;
    if (progress_ != nullptr) {
        job_ = std::make_unique<RunJobThread>(*progress_, *progress_, dialogs_);
        connect(job_.get(), &RunJobThread::finished, this, &TQkVornMain::runFinished);
        // This window goes once the run's own window is up.
        connect(progress_, &TRunTestForm::viewShown, this, [this](bool visible) {
            if (visible && runGoing_) {
                hide();
            }
        });
    }
    if (chart_ != nullptr) {
        connect(chart_, &TQkVornChart::doneRequested, this, &TQkVornMain::chartDone,
                Qt::UniqueConnection);
    }
}

void TQkVornMain::setUrlOpener(std::function<void(const std::string&)> opener) {
    openUrl_ = std::move(opener);
}

void TQkVornMain::fillDeviceList() {
    drives_->refresh();
}

// Filling is not a selection by the user; the write box follows once, at the end.
void TQkVornMain::showListing(int selected) {
    {
        const QSignalBlocker quiet(cbDevice);
        cbDevice->clear();
        for (const DeviceEntry& entry : drives_->listing().entries) {
            cbDevice->addItem(QString::fromStdString(entry.text));
        }
        cbDevice->setCurrentIndex(selected);
    }
    lbNoDrive->setVisible(drives_->listing().entries.empty());
    cbDeviceChange();
}

void TQkVornMain::watchDrives(std::unique_ptr<platform::I_DriveEvents> events) {
    drives_->watch(std::move(events));
}

// A run and the chart window after it outlast the click that started them: the list
// follows again when the window is back.
bool TQkVornMain::following() const {
    return busy_ == 0 && !functionGoing();
}

// One function of the window at a time: the others' buttons do nothing meanwhile.
bool TQkVornMain::functionGoing() const {
    return runGoing_ || chartUse_ != ChartUse::None || updateGoing_;
}

void TQkVornMain::resumeFollowing() {
    drives_->resume();
}

// The capacity check writes the medium, so it is offered only with the write test.
void TQkVornMain::cbWriteToggle(bool ticked) {
    if (!ticked) {
        cbCapacity->setChecked(false);
    }
    cbCapacity->setEnabled(ticked);
}

void TQkVornMain::cbDeviceChange() {
    cbWrite->setChecked(false);
    cbWrite->setEnabled(false);
    cbWriteToggle(false);
    // The listing already asked the drive; opening it again here would block this
    // thread on a slow or vanished drive.
    drives_->select(cbDevice->currentIndex());
    cbWrite->setEnabled(drives_->listing().writable(cbDevice->currentIndex()));
    showLink();
}

// The window's width is fixed: the line wraps once at most, a longer text is cut with
// "..." (a word's room left for the wrap) and shown whole in the tip.
void TQkVornMain::showLink() {
    const int index = cbDevice->currentIndex();
    const std::vector<ListedDrive>& drives = drives_->listing().drives;
    const QString text =
        index >= 0 && static_cast<size_t>(index) < drives.size()
            ? QString::fromStdString(driveLinkText(drives[static_cast<size_t>(index)].link))
            : QString();
    const QFontMetrics metrics = lbLink->fontMetrics();
    const int room = (width() - kSideMargin * 2) * kLinkLines - metrics.averageCharWidth() * 12;
    lbLink->setText(metrics.elidedText(text, Qt::ElideRight, room));
    lbLink->setToolTip(text);
    lbLink->setVisible(!text.isEmpty());
}

void TQkVornMain::BtnRunTestClick() {
    if (functionGoing()) {
        return;
    }
    if (cbDevice->currentIndex() < 0) {
        dialogs_.information(kNothingSelected);
    }
    runGoing_ = true;
    if (job_ != nullptr) {
        RunJobRequest request;
        request.entries = devices();
        request.selected = cbDevice->currentIndex();
        request.writeTest = cbWrite->isChecked();
        request.capacityCheck = request.writeTest && cbCapacity->isChecked();
        request.extended = cbExtended->isChecked();
        request.catalog = &catalog_;
        if (job_->start(std::move(request))) {
            return;
        }
    }
    endRun();
}

void TQkVornMain::runFinished() {
    RunResult result = job_->takeResult();
    if (result.outcome == RunOutcome::Succeeded && showTestResults(std::move(result))) {
        return;
    }
    endRun();
}

bool TQkVornMain::showTestResults(RunResult result) {
    if (chart_ == nullptr || !result.stored) {
        return false;
    }
    const bool writeTest = result.writeTest;
    std::unique_ptr<I_VornCollection> shown = copyOfStored(result);
    shownRun_ = std::move(result);
    chartUse_ = ChartUse::Run;
    chart_->openOn(std::move(shown), TQkVornChart::Origin::Run, writeTest);
    return true;
}

void TQkVornMain::chartDone() {
    const ChartUse use = chartUse_;
    if (use == ChartUse::None) {
        return;
    }
    chartUse_ = ChartUse::None;
    chart_->hide();
    if (use == ChartUse::Run) {
        // Closes "vorntest.log" before the refresh opens its own log.
        shownRun_ = RunResult{};
        endRun();
    } else {
        show();
        resumeFollowing();
        emit graphEnded();
    }
}

void TQkVornMain::endRun() {
    runGoing_ = false;
    show();
    fillDeviceList();
    emit runEnded();
}

// Graph Data --------------------------------------------------------------------

// A stored result is only looked at: nothing to save or upload.
void TQkVornMain::btGraphClick() {
    if (functionGoing()) {
        return;
    }
    const FollowPause pause(*this);
    hide();
    std::unique_ptr<I_VornCollection> chosen;
    if (select_ != nullptr) {
        select_->exec();
        chosen = select_->takeSelection();
    }
    if (chosen && chart_ != nullptr) {
        chartUse_ = ChartUse::Graph;
        chart_->openOn(std::move(chosen), TQkVornChart::Origin::Stored, false);
        return;
    }
    show();
    resumeFollowing();
    emit graphEnded();
}

// -------------------------------------------------------------------------------

void TQkVornMain::btUpdatesClick() {
    if (notice_ == nullptr || functionGoing()) {
        return;
    }
    updateGoing_ = true;
    hide();
    QPointer<TQkVornMain> window(this);
    const bool started = notice_->job().start(
        "btUpdatesClick", dialogs_,
        [settings = updateSettings_](I_Dialogs& dialogs, I_NoticeView& notice,
                                     const std::atomic<int>& cancel) mutable {
            if (settings.http.cancel == nullptr) {
                settings.http.cancel = &cancel;
            }
            checkForUpdates(dialogs, notice, settings);
        },
        [window] {
            if (window) {
                window->updatesFinished();
            }
        });
    if (!started) {
        updatesFinished();
    }
}

// The drive list stays as it was: nothing about the drives changed, and events that
// came meanwhile refresh it now.
void TQkVornMain::updatesFinished() {
    updateGoing_ = false;
    show();
    resumeFollowing();
    emit updatesEnded();
}

void TQkVornMain::btHelpClick() {
    openUrl_(std::string(kMakerWebSite) + kHelpPath);
}

void TQkVornMain::lbVeltoClick() {
    openUrl_(kMakerWebSite);
}

bool TQkVornMain::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lbVelto && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        lbVeltoClick();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TQkVornMain::closeEvent(QCloseEvent* event) {
    event->accept();
    QCoreApplication::quit();
}

}  // namespace vorn
