// SIGTERM and SIGINT (logout, Ctrl+C, `kill`) close a window the normal way, so its close
// handling runs (saving what must be saved) instead of the process just ending.
#pragma once

class QWidget;

namespace gui {

// From now on SIGTERM and SIGINT close `window` from the event loop.
void CloseOnTerminationSignals(QWidget* window);

} // namespace gui
