#pragma once

#include <functional>
#include <string>

class QUrl;
class QWidget;

namespace vorn {

// How a page is handed to the desktop; QDesktopServices::openUrl unless a test gives
// another.
using BrowserOpen = std::function<bool(const QUrl&)>;

// Opens a web page in the desktop's browser. Where nothing opens it (no browser, no
// desktop), a box over `parent` shows the address, selectable for copying, so the
// click is never silently lost. True when the browser took it.
bool openOrShowAddress(QWidget* parent, const std::string& url, const BrowserOpen& open = {});

}  // namespace vorn
