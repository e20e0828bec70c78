#include "view/gui/TQkVornSelect.h"

#include "app/gui/WindowPlacement.h"

namespace vorn {

TQkVornSelect::TQkVornSelect(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName("TQkVornSelect");
    setWindowTitle("QK Vorn - Benchmark Data Selection");
    fixClientSize(this, 613, 566);
}

TQkVornSelect::~TQkVornSelect() = default;

}  // namespace vorn
