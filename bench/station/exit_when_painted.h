// For the start-up benchmarks only: ends the event loop once `window` (or any widget in it) has
// been painted for the first time, after that paint has been flushed to the screen. When the
// launcher put its clock's time of the start into METEO_LAUNCH_NS (nanoseconds of CLOCK_REALTIME,
// as `date +%s%N` gives them), prints the milliseconds from then to the flushed paint: the start-up
// alone, without what the program does after it or at its end. Made after everything else that
// waits for the window's first paint: the application's last filter sees the paint first, so its
// end comes before their work.
#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QEvent>
#include <QMetaObject>
#include <QObject>
#include <QWidget>
#include <cstdio>
#include <ctime>

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
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [] {
                    PrintSinceLaunch();
                    QCoreApplication::quit();
                },
                Qt::QueuedConnection);
        }
        return false;
    }

private:
    static void PrintSinceLaunch()
    {
        bool ok = false;
        const long long launch = qgetenv("METEO_LAUNCH_NS").toLongLong(&ok);
        if (!ok)
            return;
        timespec now{};
        clock_gettime(CLOCK_REALTIME, &now);
        const long long ns = static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
        std::printf("painted %.3f\n", static_cast<double>(ns - launch) / 1e6);
        std::fflush(stdout);
    }

    QWidget* Window;
    bool Seen = false;
};
