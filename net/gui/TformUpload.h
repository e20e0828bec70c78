#pragma once

#include <QDialog>
#include <memory>
#include <string>

#include "net/NoticeView.h"
#include "net/SendBenchEmail.h"
#include "net/gui/NoticeJob.h"

class QLabel;
class QPushButton;

namespace vorn {

class I_Dialogs;
class TQkVornChart;
class TupdateDetails;

// The notice window shown, not modal, while a download or an upload works: one
// centred line of text. Created once at start and reused; the transfer runs on its
// job's worker while this thread stays in its event loop.
class TformUpload : public QDialog, public I_NoticeView {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TformUpload)

public:
    explicit TformUpload(QWidget* parent = nullptr);
    ~TformUpload() override;

    // I_NoticeView
    void setNoticeText(const std::string& text) override;
    void showNotice() override;
    void hideNotice() override { hide(); }

    // The worker the windows' downloads and uploads run on, one at a time.
    NoticeJob& job() { return *job_; }

    QLabel* Label1 = nullptr;
    QPushButton* btCancel = nullptr;  // hidden: a transfer cannot be cancelled

protected:
    void closeEvent(QCloseEvent* event) override;

public slots:
    void reject() override;

private:
    // Last: it is joined before the window's parts go.
    std::unique_ptr<NoticeJob> job_;
};

// Upload Results of the chart window: the details window in upload mode for the first
// result on view, then the result file and the two logs sent to the results mailbox
// while this window shows the notice, with "vorninternet.log" as the diagnostic log.
// Only results measured with the write test may be sent. The send runs on the notice
// window's job and this returns at once; the chart window shows again when it is over.
// Nothing starts while a job of the notice window runs.
void btUploadClick(TQkVornChart& chart, TupdateDetails& details, TformUpload& notice,
                   I_Dialogs& dialogs, const MailSettings& settings = MailSettings{});

}  // namespace vorn
