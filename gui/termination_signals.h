// The system's request to end the program (SIGTERM and SIGINT on Linux: logout, Ctrl+C, `kill`; the
// end of the session on Windows) closes a window the normal way, so its close handling runs (saving
// what must be saved) instead of the process just ending.
#pragma once

class QWidget;

namespace gui {

// From now on the request to end closes `window` from the event loop.
void CloseOnTerminationSignals(QWidget* window);

} // namespace gui
