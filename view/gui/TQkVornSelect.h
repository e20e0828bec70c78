#pragma once

#include <QDialog>

namespace vorn {

// The benchmark data selection window. For now only its frame:
// caption and fixed client size, no controls yet.
class TQkVornSelect : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TQkVornSelect)

public:
    explicit TQkVornSelect(QWidget* parent = nullptr);
    ~TQkVornSelect() override;
};

}  // namespace vorn
