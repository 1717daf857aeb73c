#include "gui/termination_signals.h"

#include "gui/program_ending.h"
#include "os/system_requests.h"

#include <QPointer>
#include <QWidget>

namespace gui {

void CloseOnTerminationSignals(QWidget* window)
{
    const QPointer<QWidget> target(window);
    os::OnTerminationRequest(window, [target] {
        // A box open over the window would keep the program running after the window closed.
        EndProgramDialogs();
        if (target)
            target->close();
    });
}

} // namespace gui
