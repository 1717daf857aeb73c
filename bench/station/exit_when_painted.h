// For the start-up benchmarks only: ends the event loop once `window` (or any widget in it) has
// been painted for the first time, after that paint has been flushed to the screen.
#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QMetaObject>
#include <QObject>
#include <QWidget>

class TExitWhenPainted : public QObject
{
public:
    explicit TExitWhenPainted(QWidget* window)
        : Window(window)
    {
        QCoreApplication::instance()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (!Seen && event->type() == QEvent::Paint && watched->isWidgetType() &&
            static_cast<QWidget*>(watched)->window() == Window) {
            Seen = true;
            // Queued, so the paint in progress is finished and flushed first.
            QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
        }
        return false;
    }

private:
    QWidget* Window;
    bool Seen = false;
};
