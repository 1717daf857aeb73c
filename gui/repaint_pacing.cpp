#include "gui/repaint_pacing.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

namespace gui {

TRepaintPacing::TRepaintPacing(QWidget* window)
    : QObject(window)
    , Window(window)
{
    HeldRepaint.setSingleShot(true);
    HeldRepaint.setTimerType(Qt::PreciseTimer);
    connect(&HeldRepaint, &QTimer::timeout, this, &TRepaintPacing::PaintHeld);
    window->installEventFilter(this);
}

bool TRepaintPacing::eventFilter(QObject* watched, QEvent* event)
{
    // Qt asks a window to bring its screen up to date with an update request; the widgets that
    // changed meanwhile stay marked, so one later request paints all of them.
    if (watched != Window || event->type() != QEvent::UpdateRequest)
        return false;
    if (SinceRepaint.isValid() && SinceRepaint.elapsed() < FrameMs) {
        if (!HeldRepaint.isActive())
            HeldRepaint.start(static_cast<int>(FrameMs - SinceRepaint.elapsed()));
        return true;
    }
    HeldRepaint.stop();
    SinceRepaint.start();
    return false;
}

void TRepaintPacing::PaintHeld()
{
    QCoreApplication::postEvent(Window, new QEvent(QEvent::UpdateRequest), Qt::LowEventPriority);
}

TFramePacedCall::TFramePacedCall(QObject* parent, std::function<void()> call)
    : QObject(parent)
    , Call(std::move(call))
{
    Held.setSingleShot(true);
    Held.setTimerType(Qt::PreciseTimer);
    connect(&Held, &QTimer::timeout, this, &TFramePacedCall::Run);
}

void TFramePacedCall::Request()
{
    if (SinceCall.isValid() && SinceCall.elapsed() < TRepaintPacing::FrameMs) {
        if (!Held.isActive())
            Held.start(static_cast<int>(TRepaintPacing::FrameMs - SinceCall.elapsed()));
        return;
    }
    Run();
}

void TFramePacedCall::Run()
{
    Held.stop();
    SinceCall.start();
    Call();
}

} // namespace gui
