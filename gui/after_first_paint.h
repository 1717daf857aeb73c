// Work a window's first picture does not need, run just after that picture: the window comes up
// as soon as it can, and what it does not show yet (an archive to open, texts of dialogs not yet
// opened) follows at once.
#pragma once

#include <functional>

class QWidget;

namespace gui {

// Runs `work` once, on the event loop, after `window` (or a widget in it) has been painted for the
// first time and that paint has gone out. Nothing runs if the window goes first.
void AfterFirstPaint(QWidget* window, std::function<void()> work);

} // namespace gui
