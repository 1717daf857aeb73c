// Signals of the process turned into calls from the event loop. A signal handler may do next to
// nothing, so it only writes the signal's number to a socket that the main thread watches.
#pragma once

#include <functional>

class QObject;

namespace os {

// From now on every `signal` runs `action` on the main thread, from the event loop, as long as
// `context` lives. A later call for the same signal replaces the action. Main thread only, with
// the application object made.
void OnSignal(int signal, QObject* context, std::function<void()> action);

} // namespace os
