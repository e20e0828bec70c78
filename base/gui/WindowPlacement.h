#pragma once

class QWidget;

namespace vorn {

struct WindowLayout;

// Gives a top-level window a fixed client area of the given size.
void fixClientSize(QWidget* window, int width, int height);
// The same, at the size of the window's row of the layout table.
void fixClientSize(QWidget* window, const WindowLayout& layout);

// Chains the window's controls in the row's tab order. False when a named control is
// missing (the chain is left as far as it got).
bool chainTabOrder(QWidget* window, const WindowLayout& layout);

// Moves a top-level window to the middle of the primary screen's free area.
void centreOnScreen(QWidget* window);

}  // namespace vorn
