#pragma once

#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "base/gui/WindowLayout.h"
#include "support/TempDir.h"

namespace vorn::test {

// The program writes its files into the current directory: a test that runs such
// code works in a fresh folder and goes back afterwards.
class WorkingFolder {
public:
    WorkingFolder() : previous_(std::filesystem::current_path()) {
        std::filesystem::current_path(dir_.path());
    }
    ~WorkingFolder() { std::filesystem::current_path(previous_); }
    WorkingFolder(const WorkingFolder&) = delete;
    WorkingFolder& operator=(const WorkingFolder&) = delete;

    bool has(const std::string& name) const { return std::filesystem::exists(dir_.file(name)); }
    std::string read(const std::string& name) const { return dir_.read(name); }
    void write(const std::string& name, const std::string& text) const { dir_.write(name, text); }

private:
    std::filesystem::path previous_;
    TempDir dir_;
};

// The test's own event loop until `done` holds (a worker's run ends, a window
// comes back); false when it did not within `timeoutMs`.
inline bool waitUntil(const std::function<bool()>& done, int timeoutMs = 120000) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Saves what a window shows (its client area) for a person to look at.
inline bool saveScreenshot(QWidget& window, const char* fileName) {
    QDir().mkpath(VORN_SCREENSHOT_DIR);
    return window.grab().save(QString(VORN_SCREENSHOT_DIR) + "/" + fileName);
}

// The client size a window's row of the layout table gives it.
inline QSize layoutSize(const WindowLayout& layout) {
    return QSize(layout.width, layout.height);
}

// The names of the row's controls in the order Tab visits them from the row's first
// one, skipping every other widget of the focus chain; a control missing from the
// window ends the list early.
inline std::vector<std::string> tabSequence(QWidget& window, const WindowLayout& layout) {
    std::vector<QWidget*> named;
    for (const char* name : layout.tabOrder) {
        named.push_back(window.findChild<QWidget*>(name));
        if (named.back() == nullptr) {
            return {};
        }
    }
    std::vector<std::string> visited;
    QWidget* widget = named.empty() ? nullptr : named.front();
    while (widget != nullptr && visited.size() < named.size()) {
        visited.push_back(widget->objectName().toStdString());
        do {
            widget = widget->nextInFocusChain();
        } while (std::find(named.begin(), named.end(), widget) == named.end());
    }
    return visited;
}

// The row's tab order as names, to compare with tabSequence.
inline std::vector<std::string> tabNames(const WindowLayout& layout) {
    return {layout.tabOrder.begin(), layout.tabOrder.end()};
}

// The first line of a text.
inline std::string firstLine(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

}  // namespace vorn::test
