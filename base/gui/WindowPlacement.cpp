#include "base/gui/WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include "base/gui/WindowLayout.h"

namespace vorn {

void fixClientSize(QWidget* window, int width, int height) {
    window->setFixedSize(width, height);
}

void fixClientSize(QWidget* window, const WindowLayout& layout) {
    fixClientSize(window, layout.width, layout.height);
}

bool chainTabOrder(QWidget* window, const WindowLayout& layout) {
    QWidget* previous = nullptr;
    for (const char* name : layout.tabOrder) {
        auto* control = window->findChild<QWidget*>(name, Qt::FindDirectChildrenOnly);
        if (control == nullptr) {
            return false;
        }
        if (previous != nullptr) {
            QWidget::setTabOrder(previous, control);
        }
        previous = control;
    }
    return true;
}

void centreOnScreen(QWidget* window) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        return;
    }
    QRect frame = window->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window->move(frame.topLeft());
}

}  // namespace vorn
