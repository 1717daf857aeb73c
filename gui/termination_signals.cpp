#include "gui/termination_signals.h"

#include "os/system_requests.h"

#include <QPointer>
#include <QWidget>

namespace gui {

void CloseOnTerminationSignals(QWidget* window)
{
    const QPointer<QWidget> target(window);
    os::OnTerminationRequest(window, [target] {
        if (target)
            target->close();
    });
}

} // namespace gui
