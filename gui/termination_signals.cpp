#include "gui/termination_signals.h"

#include "base/termination_signals.h"

#include <QWidget>

namespace gui {

void CloseOnTerminationSignals(QWidget* window)
{
    base::OnTerminationSignals(window, [window] { window->close(); });
}

} // namespace gui
