#pragma once

class QWidget;

namespace vorn {

// Gives a top-level window a fixed client area of the given size.
void fixClientSize(QWidget* window, int width, int height);

// Moves a top-level window to the middle of the primary screen's free area.
void centreOnScreen(QWidget* window);

}  // namespace vorn
