#pragma once

#include <QDialog>

namespace vorn {

// The test details window. For now only its frame:
// caption and fixed client size, no controls yet.
class TupdateDetails : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TupdateDetails)

public:
    explicit TupdateDetails(QWidget* parent = nullptr);
    ~TupdateDetails() override;
};

}  // namespace vorn
