#pragma once

#include <QWidget>

#include "app/RunView.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace vorn {

// The progress window of a test run: four rows (flash check or wipe, read tests,
// write tests, access tests) with a state icon and a label each, one progress bar
// and the Cancel button. It keeps only the cancel flag; the run sets everything else
// through I_RunView. It cannot be closed from its frame.
class TRunTestForm : public QWidget, public I_RunView {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TRunTestForm)

public:
    explicit TRunTestForm(QWidget* parent = nullptr);
    ~TRunTestForm() override;

    // I_RunView
    void clearCancel() override { cancelFlag = false; }
    bool cancelRequested() override { return cancelFlag; }
    void setRowState(RunRow row, RowState state) override;
    void setRowLabel(RunRow row, const std::string& text) override;
    void setRowActive(RunRow row, bool active) override;
    void setWriteRow(bool visible, bool enabled) override;
    void setButtonCaption(const std::string& text) override;
    void setProgressVisible(bool visible) override;
    void setProgress(uint32_t percent) override;
    void showView(bool visible) override;
    void processEvents() override;
    void sleepMs(uint32_t milliseconds) override;

    // The state pictures, 20 x 20, never shown themselves.
    QLabel* imX;
    QLabel* imPlay;
    QLabel* imCheck;
    QLabel* lTest;
    QLabel* lRead;
    QLabel* lWrite;
    QLabel* imTest;
    QLabel* imRead;
    QLabel* imWrite;
    QLabel* lAccess;
    QLabel* imAccess;
    QProgressBar* ProgressBar1;
    QPushButton* btnCancelOk;

    QLabel* rowIcon(RunRow row) const;
    QLabel* rowLabel(RunRow row) const;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void btnCancelOkClick() { cancelFlag = true; }
    void createControls();
    void arrangeControls();

    bool cancelFlag = false;
};

}  // namespace vorn
