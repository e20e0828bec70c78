#include "base/gui/LinkOpener.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QUrl>

#include "base/DiagLog.h"

namespace vorn {

bool openOrShowAddress(QWidget* parent, const std::string& url, const BrowserOpen& open) {
    const QUrl address(QString::fromStdString(url));
    if (open ? open(address) : QDesktopServices::openUrl(address)) {
        return true;
    }
    logMessage("No browser opened %s", url.c_str());
    QMessageBox box(QMessageBox::Information, QCoreApplication::applicationName(),
                    QString("No web browser could be opened. The page is at:\n\n%1")
                        .arg(QString::fromStdString(url)),
                    QMessageBox::Ok, parent);
    box.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    box.exec();
    return false;
}

}  // namespace vorn
