// SIGTERM and SIGINT (logout, Ctrl+C, `kill`) reach the program as an ordinary call from the event
// loop, so a window can close the normal way (saving what must be saved) instead of the process
// just ending.
#pragma once

#include <functional>

class QObject;

namespace base {

// From now on the first SIGTERM or SIGINT runs `call` from the event loop, as long as `context`
// lives. Call once.
void OnTerminationSignals(QObject* context, std::function<void()> call);

} // namespace base
