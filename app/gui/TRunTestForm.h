#pragma once

#include <QWidget>
#include <atomic>

#include "app/RunView.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace vorn {

// The progress window of a test run: four rows (flash check or wipe, read tests,
// write tests, access tests) with a state icon and a label each, one progress bar
// and the Cancel button. It keeps only the cancel flag; the run sets everything else
// through I_RunView, on this window's thread (RunJobThread passes a worker's calls on).
// The cancel flag alone may be read and cleared from any thread. It cannot be closed
// from its frame.
class TRunTestForm : public QWidget, public I_RunView {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TRunTestForm)

public:
    explicit TRunTestForm(QWidget* parent = nullptr);
    ~TRunTestForm() override;

    // I_RunView
    void clearCancel() override { cancelFlag.store(false, std::memory_order_release); }
    bool cancelRequested() override { return cancelFlag.load(std::memory_order_acquire); }
    void setRowState(RunRow row, RowState state) override;
    void setRowLabel(RunRow row, const std::string& text) override;
    void setRowActive(RunRow row, bool active) override;
    void setWriteRow(bool visible, bool enabled) override;
    void setButtonCaption(const std::string& text) override;
    void setProgressVisible(bool visible) override;
    void setProgress(uint32_t percent) override;
    void showView(bool visible) override;
    // Sleeps on the calling thread (the run's worker); the window is not touched.
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

signals:
    // The run showed (true) or hid (false) this window.
    void viewShown(bool visible);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void btnCancelOkClick() { cancelFlag.store(true, std::memory_order_release); }
    void createControls();
    void arrangeControls();

    std::atomic<bool> cancelFlag{false};
};

}  // namespace vorn
