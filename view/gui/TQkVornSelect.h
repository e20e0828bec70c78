#pragma once

#include <QDialog>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "results/BenchmarkEntries.h"

class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;

namespace vorn {

class I_VornCollection;
class TQkVornChart;

// The benchmark data selection window: every stored result of one source (library
// files, the last run, saved results) in a sortable table with the stored details
// of the highlighted one. Created once and reused, so its choices persist; each
// showing lists the source afresh. Shown modally; the caller then takes the chosen
// result with takeSelection.
class TQkVornSelect : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TQkVornSelect)

public:
    explicit TQkVornSelect(QWidget* parent = nullptr);
    ~TQkVornSelect() override;

    // The chosen result opened on its member, or nullptr (nothing chosen, Cancel, or
    // the file no longer opens). The caller owns it.
    std::unique_ptr<I_VornCollection> takeSelection();

    void loadEntries();
    void sortEntries();
    void fillList();
    void showInfo();

    // What the window holds, for its callers and tests.
    const std::vector<BenchmarkEntry>& entries() const { return entries_; }
    const std::vector<uint32_t>& order() const { return order_; }
    int selectedRow() const { return selectedRow_; }

    // Controls, named as the window's design names them, in creation order.
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QTreeWidget* lvData = nullptr;
    QComboBox* cbSource = nullptr;
    QComboBox* cbSort = nullptr;
    QPushButton* btSelect = nullptr;
    QPushButton* btCancel = nullptr;
    QPlainTextEdit* memInfo = nullptr;
    QComboBox* cbSort2 = nullptr;

public slots:
    // Escape and closing end the window as Cancel does.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createControls();
    void createList();
    void placeControls();
    void connectControls();
    void cbSourceChange();
    void cbSortChange();
    void lvDataSelectItem();
    void btSelectClick();
    void btCancelClick();
    void keepMinimumWidth(int column, int oldWidth, int newWidth);
    bool rowValid() const;

    std::vector<BenchmarkEntry> entries_;
    std::vector<uint32_t> order_;
    int selectedRow_ = -1;
};

// Compare Another Drive: the selection window modally, then the chart window keeps
// its first result and adds the chosen one. Cancel leaves the charts as they were.
void compareAnotherDrive(TQkVornSelect& select, TQkVornChart& chart);

}  // namespace vorn
