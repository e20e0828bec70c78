#include "net/gui/TformUpload.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <algorithm>
#include <exception>
#include <memory>

#include "base/DiagLog.h"
#include "base/Dialogs.h"
#include "base/FileNames.h"
#include "base/gui/WindowLayout.h"
#include "base/gui/WindowPlacement.h"
#include "net/Upload.h"
#include "results/gui/TupdateDetails.h"
#include "storage/StoredDrive.h"
#include "view/gui/TQkVornChart.h"

namespace vorn {

namespace {

constexpr const char* kWriteTestsOnly =
    "Only tests with write enabled can be uploaded, please change your options, retest and "
    "then upload.";

}  // namespace

TformUpload::TformUpload(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName("TformUpload");
    setWindowTitle("WP Vorn");
    fixClientSize(this, layout::kNotice);
    Label1 = new QLabel(this);
    Label1->setObjectName("Label1");
    btCancel = new QPushButton("&Cancel", this);
    btCancel->setObjectName("btCancel");
    btCancel->setGeometry(130, 96, 75, 25);
    btCancel->hide();
    centreOnScreen(this);
    job_ = std::make_unique<NoticeJob>(*this, *this);
}

TformUpload::~TformUpload() = default;

void TformUpload::setNoticeText(const std::string& text) {
    Label1->setWordWrap(false);
    Label1->setText(QString::fromStdString(text));
    Label1->adjustSize();
    // A text wider than the window wraps, centred, instead of losing its ends; the window
    // grows below only when the wrapped lines need more height than it has.
    constexpr int kMargin = 8;
    const int room = width() - 2 * kMargin;
    if (Label1->width() > room) {
        Label1->setWordWrap(true);
        Label1->setAlignment(Qt::AlignCenter);
        Label1->resize(room, Label1->heightForWidth(room));
    }
    const int needed = std::max(layout::kNotice.height, Label1->height() + 2 * kMargin);
    if (needed != height()) {
        fixClientSize(this, width(), needed);
    }
    // Each half cut toward zero, as the window has always placed it.
    Label1->move(width() / 2 - Label1->width() / 2, (height() - Label1->height()) / 2);
}

void TformUpload::showNotice() {
    show();
    raise();
}

// The window goes when the transfer ends, not before: neither its frame nor Escape
// closes it.
void TformUpload::closeEvent(QCloseEvent* event) {
    event->ignore();
}

void TformUpload::reject() {}

namespace {

// The result file for the upload, written through the details window in upload mode
// with the chart window hidden; empty when the user gave up or there is no device.
std::string uploadFileOf(TQkVornChart& chart, TupdateDetails& details, std::string& typed,
                         bool& hidden) {
    I_VornCollection* result = chart.result(0);
    std::unique_ptr<StoredDrive> device = newStoredDisk(result);
    if (!device) {
        return {};
    }
    chart.hide();
    hidden = true;
    std::string fileName = details.showDetails(*device, *result, true);
    typed = details.emailText();
    return fileName;
}

}  // namespace

void btUploadClick(TQkVornChart& chart, TupdateDetails& details, TformUpload& notice,
                   I_Dialogs& dialogs, const MailSettings& settings) {
    if (!chart.uploadAllowed()) {
        dialogs.information(kWriteTestsOnly);
        return;
    }
    if (notice.job().running()) {
        return;
    }
    openLog(kInternetLog);
    bool hidden = false;
    bool started = false;
    try {
        std::string typed;
        const std::string fileName = uploadFileOf(chart, details, typed, hidden);
        if (!fileName.empty()) {
            QPointer<TQkVornChart> shown(&chart);
            started = notice.job().start(
                "btUploadClick", dialogs,
                [fileName, typed, settings](I_Dialogs& boxes, I_NoticeView& view,
                                            const std::atomic<int>&) {
                    uploadResultFile(fileName, typed, boxes, view, settings, true);
                },
                [shown] {
                    if (shown) {
                        shown->show();
                    }
                    closeLog();
                });
        }
    } catch (const std::exception& exception) {
        logException("btUploadClick", exception);
    } catch (...) {
        logUnknownException("btUploadClick", -1);
    }
    if (!started) {
        if (hidden) {
            chart.show();
        }
        closeLog();
    }
}

}  // namespace vorn
