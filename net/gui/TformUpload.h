#pragma once

#include <QDialog>

namespace vorn {

// The notice window shown while a download or an upload works. For now only its frame:
// caption and fixed client size, no controls yet.
class TformUpload : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TformUpload)

public:
    explicit TformUpload(QWidget* parent = nullptr);
    ~TformUpload() override;
};

}  // namespace vorn
