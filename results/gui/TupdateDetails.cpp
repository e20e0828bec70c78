#include "results/gui/TupdateDetails.h"

#include "app/gui/WindowPlacement.h"

namespace vorn {

TupdateDetails::TupdateDetails(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName("TupdateDetails");
    setWindowTitle("WP Vorn - Update Test Details");
    fixClientSize(this, 573, 550);
}

TupdateDetails::~TupdateDetails() = default;

}  // namespace vorn
