// Repaints of a window, and calls that refresh what it shows, at most once a frame. A window that
// takes a report from a device with every pass of the event loop would otherwise be painted after
// each one, thousands of times a second, though no screen shows more than its frames. The first change after a quiet
// frame is painted at once; changes that follow within the frame are painted together once the frame has passed, so the
// last change always reaches the screen (a repaint() asked for within the frame waits too).
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <functional>

class QWidget;

namespace gui {

class TRepaintPacing : public QObject
{
public:
    // Paces the repaints of `window` (a top-level widget); lives as long as the window.
    static constexpr int FrameMs = 16;
    explicit TRepaintPacing(QWidget* window);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void PaintHeld();

    QWidget* Window;
    QElapsedTimer SinceRepaint;
    QTimer HeldRepaint;
};

// The same pace for a call that brings something shown up to date (the tray's picture and
// tooltip): the first request after a quiet frame runs at once; requests that follow within the
// frame run as one once the frame has passed, so the last state is always shown.
class TFramePacedCall : public QObject
{
public:
    TFramePacedCall(QObject* parent, std::function<void()> call);
    void Request();

private:
    void Run();

    std::function<void()> Call;
    QElapsedTimer SinceCall;
    QTimer Held;
};

} // namespace gui
