// A second start of the program asks the one already running to bring its windows forward
// (os/system_requests), so the user lands in the window that is open.
#pragma once

#include <functional>

class QWidget;

namespace gui {

// From now on a request brings every window of this program that is shown (or minimized) to the
// front and activates it, as far as the desktop lets a program do so. Call before the program can
// be found by a second start: the request's signal would end a program without this.
void BringForwardOnRequest();

// Brings every window of this program that is shown (or minimized) to the front now, and brings
// back first a window the program keeps hidden (in the tray).
void BringWindowsForward();

// `window`, hidden where the program keeps it, comes back through `show` at the next request; an
// empty `show` forgets it (shown again, or closing).
void ShowOnBringForward(QWidget* window, std::function<void()> show);

} // namespace gui
