#include "app/gui/QtDialogs.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QString>

namespace vorn {

namespace {

QString caption() {
    return QCoreApplication::applicationName();
}

QString qt(const std::string& text) {
    return QString::fromStdString(text);
}

void showBox(QWidget* parent, QMessageBox::Icon icon, const QString& title,
             const std::string& text) {
    QMessageBox box(icon, title, qt(text), QMessageBox::Ok, parent);
    box.exec();
}

}  // namespace

void QtDialogs::error(const std::string& text) {
    showBox(parent_, QMessageBox::Critical, caption(), text);
}

void QtDialogs::warning(const std::string& text) {
    showBox(parent_, QMessageBox::Warning, caption(), text);
}

void QtDialogs::information(const std::string& text) {
    showBox(parent_, QMessageBox::Information, caption(), text);
}

bool QtDialogs::question(const std::string& text) {
    QMessageBox box(QMessageBox::Question, caption(), qt(text), QMessageBox::Yes | QMessageBox::No,
                    parent_);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

bool QtDialogs::destructiveQuestion(const std::string& text, const std::string& drive) {
    QMessageBox box(QMessageBox::Question, caption(), qt(text + "\n\n" + drive),
                    QMessageBox::Yes | QMessageBox::No, parent_);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void QtDialogs::plain(const std::string& caption, const std::string& text) {
    showBox(parent_, QMessageBox::NoIcon, qt(caption), text);
}

std::string QtDialogs::saveFileName(const std::string& proposed) {
    // Overwriting is confirmed by the dialog itself. Qt's own dialog never changes the
    // working directory and, unlike the desktop's, adds nothing to recent documents.
    QFileDialog dialog(parent_, caption(), ".", "QK Vorn Consumer (*.qkc)");
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix("qkc");
    dialog.selectFile(qt(proposed));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().constFirst().toStdString();
}

}  // namespace vorn
