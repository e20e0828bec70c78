#pragma once

#include <QDialog>
#include <string>

#include "net/NoticeView.h"

class QLabel;
class QPushButton;

namespace vorn {

class I_Dialogs;
class TQkVornChart;
class TupdateDetails;

// The notice window shown, not modal, while a download or an upload works: one
// centred line of text. Created once at start and reused.
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
    void processEvents() override;

    QLabel* Label1 = nullptr;
    QPushButton* btCancel = nullptr;  // hidden: a transfer cannot be cancelled

protected:
    void closeEvent(QCloseEvent* event) override;

public slots:
    void reject() override;
};

// Upload Results of the chart window: the details window in upload mode for the first
// result on view, then the result file and the two logs sent to the results mailbox
// while this window shows the notice, with "vorninternet.log" as the diagnostic log.
// Only results measured with the write test may be sent.
void btUploadClick(TQkVornChart& chart, TupdateDetails& details, TformUpload& notice,
                   I_Dialogs& dialogs);

}  // namespace vorn
