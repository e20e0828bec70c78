#include "net/gui/TformUpload.h"

#include "app/gui/WindowPlacement.h"

namespace vorn {

TformUpload::TformUpload(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName("TformUpload");
    setWindowTitle("WP Vorn");
    fixClientSize(this, 335, 135);
}

TformUpload::~TformUpload() = default;

}  // namespace vorn
