// A second start of the program asks the one already running to bring its windows forward
// (SIGUSR1 on Linux, a message to its windows on Windows), so the user lands in the window that is
// open.
#pragma once

#include <cstdint>

namespace gui {

// From now on a request brings every window of this program that is shown (or minimized) to the
// front and activates it, as far as the desktop lets a program do so. Call before the program can
// be found by a second start: the request's signal would end a program without this.
void BringForwardOnRequest();

// Asks the program `processId` to bring its windows forward; false when there is no such program.
bool RequestBringForward(std::int64_t processId);

// Brings every window of this program that is shown (or minimized) to the front now.
void BringWindowsForward();

} // namespace gui
